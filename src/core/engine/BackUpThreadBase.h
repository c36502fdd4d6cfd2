#pragma once

#include "base/RecordEnums.h"
#include "db/SqliteDatabase.h"
#include "engine/ThreadBase.h"
#include "platform/FileDateRule.h"
#include "platform/FileSystemLimits.h"
#include "platform/FolderListing.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

namespace trovalo {

class TJobDatabase;

// The base of the backup, move and restore engines: the run's inputs, the
// job database, and the preparation every such run shares (single files
// taken out of the folder list, items and bytes counted).
//
// Include, Exclude and FileList compare ignoring letter case.
class TBackUpThreadBase : public TThreadBase
{
    Q_OBJECT
public:
    explicit TBackUpThreadBase(QObject *parent = nullptr);
    ~TBackUpThreadBase() override;

    TArchiveMode ArchiveMode() const { return FArchiveMode; }
    void SetArchiveMode(TArchiveMode value) { FArchiveMode = value; }
    TDateTime FromDate() const { return FFromDate; }
    void SetFromDate(TDateTime value) { FFromDate = value; }
    // With a trailing "\".
    QString Destination() const { return FDestination; }
    void SetDestination(const QString &value) { FDestination = value; }

    QStringList Include() const { return FInclude; }
    void SetInclude(const QStringList &value) { FInclude = value; }
    QStringList Exclude() const { return FExclude; }
    void SetExclude(const QStringList &value);
    QStringList FileList() const { return FFileList; }
    void SetFileList(const QStringList &value) { FFileList = value; }

    QString Source() const { return FSource; }
    void SetSource(const QString &value) { FSource = value; }
    QString RestoreDir() const { return FRestoreDir; }
    void SetRestoreDir(const QString &value) { FRestoreDir = value; }
    QString SourcePrefix() const { return FSourcePrefix; }
    void SetSourcePrefix(const QString &value) { FSourcePrefix = value; }
    QString DestPrefix() const { return FDestPrefix; }
    void SetDestPrefix(const QString &value) { FDestPrefix = value; }

    bool CalcFileSize() const { return FCalcFileSize; }
    void SetCalcFileSize(bool value) { FCalcFileSize = value; }

protected:
    // The run preparation; engines call it first.
    void Execute() override;

    bool IsExcludedFolder(const QString &path) override;
    virtual qint64 CountFolder(const QString &path);
    // The listing of a source folder for the walk: the one the count made a
    // moment ago (handed over once, so the tree is examined once per run),
    // or a fresh one.
    bool ListSourceFolder(const QString &path, std::vector<TFolderEntry> &entries);
    // The FileLog key of a path of the walk (LookupKey of it): the folder
    // is folded once for all its files.
    QString FileLogKey(const QString &path);
    // The count's listing of a source folder (exact path, with "\"), while
    // the walk has not taken it; nullptr when there is none.
    const std::vector<TFolderEntry> *CountedListing(const QString &path) const;

    // The job database (FileLog), open for the run when LogFileName is set.
    std::unique_ptr<TJobDatabase> DataBase;
    // The date rules of the drives the run reads and writes.
    TFileDateRules FDateRules;
    // The run's ArchiveLog row (archive threads with a database); 0: none.
    qint64 ArchiveLogRow = 0;
    // Writes the final status into the run's ArchiveLog row, if any.
    void SetArchiveLogStatus(const QString &status);

    // The file filter or the exclude list leaves a file of the walk out.
    bool IsFiltered(const QString &name, const QString &folder, const QString &path);
    // A walk met an entry it does not copy (a link to a folder, a broken
    // link, a device): one log row under the engine's action, unless the
    // filter leaves it out anyway. Counted as one item.
    void LogSkippedEntry(const QString &sourceDir, const TFolderEntry &entry, const QString &action);
    // Where the copies of the run go, when one drive takes them all: what
    // its file system cannot hold is listed before anything is copied.
    // Empty: such entries are listed as the walk meets them.
    virtual QString RefusalCheckTarget() const { return {}; }
    // Whether the run writes each file under its own name, rather than into
    // an archive, whose entries may have any name.
    virtual bool WritesFilesByName() const { return true; }
    // The action of the rows that list what the destination cannot hold.
    virtual QString RefusalAction() const { return QStringLiteral("Copy File"); }
    // The entries of a source folder that the file system of TargetDir
    // cannot hold, with why, by name (empty for most folders). Of names
    // that differ only in letter case the first keeps its place.
    QHash<QString, QString> RefusedEntries(const std::vector<TFolderEntry> &entries,
                                           const QString &targetDir);
    // A single file the file system of TargetDir cannot hold under Name:
    // listed as not copied and counted as done; false when it can.
    bool LeaveOutRefusedFile(const QString &source, const QString &name, qint64 size,
                             const QString &targetDir);
    // Leaves out an entry RefusedEntries gave: listed as not copied unless
    // the list before the run had it, and counted as done with all it holds.
    void SkipRefusedEntry(const QString &sourceDir, const TFolderEntry &entry, const QString &reason);
    // The exclude list or the filter leaves the entry out anyway.
    bool LeftOut(const QString &sourceDir, const TFolderEntry &entry);
    // An error of the archive work as the user sees it: "(code) message".
    void ReportArchiveError(const QString &message, int code);

private:
    void OpenDatabase();
    void MoveFilesToFileList();
    // The list before the run, from the count's listings.
    void ListRefusedEntries();
    TFileSystemLimits TargetLimits(const QString &targetDir);
    void LogRefused(const QString &path, const QString &reason);
    // Takes a folder left out from the count's totals and listings.
    void ForgetCountedTree(const QString &folder);

    TArchiveMode FArchiveMode = amIncremental;
    TDateTime FFromDate = 0;
    QString FDestination;
    QStringList FExclude;
    QSet<QString> FExcludeKeys; // case-folded Exclude, for IsExcludedFolder
    QStringList FInclude;
    QStringList FFileList;
    QString FSource;
    QString FRestoreDir;
    QString FSourcePrefix;
    QString FDestPrefix;
    bool FCalcFileSize = true;
    QHash<QString, std::vector<TFolderEntry>> FCountedListings;
    TPathKeys FPathKeys;
    TFileSystemLimitsOfDrives FTargetLimits;
    QSet<QString> FListedRefusals; // paths the list before the run named
};

// The engines that write backups (copy and zip); they keep an ArchiveLog.
class TArchiveThreadBase : public TBackUpThreadBase
{
    Q_OBJECT
public:
    using TBackUpThreadBase::TBackUpThreadBase;
};

// The engines that restore; they never protect what they replace.
class TRestoreThreadBase : public TBackUpThreadBase
{
    Q_OBJECT
public:
    using TBackUpThreadBase::TBackUpThreadBase;
    bool IsRestoreThread() const override { return true; }
};

} // namespace trovalo
