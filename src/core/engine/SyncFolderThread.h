#pragma once

#include "base/RecordEnums.h"
#include "engine/ThreadBase.h"
#include "model/SyncItems.h"
#include "platform/FileDateRule.h"
#include "platform/FileSystemLimits.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

namespace trovalo {

class TSyncDatabase;
class TFileCollection;
class TFilePair;
class TFolderTreeListing;
struct TFolderEntry;
struct TSyncFileRow;

// The sync engine's scan: both sides of every folder pair and file pair
// are walked and matched against the job's sync database (LogFileName).
// Side A lies on the USB drive and is stored without its drive (the drive
// of the database's path is put in front); side B is on the computer.
class TSyncThreadBase : public TThreadBase
{
    Q_OBJECT
public:
    explicit TSyncThreadBase(QObject *parent = nullptr);
    ~TSyncThreadBase() override;

    // Setting copies the entries.
    const TSyncItems &SyncItems() const { return FSyncItems; }
    void SetSyncItems(const TSyncItems &items);
    const TSyncItems &SyncFiles() const { return FSyncFiles; }
    void SetSyncFiles(const TSyncItems &items);
    TSyncDirection SyncDirection() const { return FSyncDirection; }
    void SetSyncDirection(TSyncDirection value) { FSyncDirection = value; }
    TSyncDefaultAction SyncDefaultAction() const { return FSyncDefaultAction; }
    void SetSyncDefaultAction(TSyncDefaultAction value) { FSyncDefaultAction = value; }

protected:
    void Execute() override; // the scan
    bool IsExcludedFolder(const QString &path) override;

    TSyncItems FSyncItems;
    TSyncItems FSyncFiles;
    TSyncDirection FSyncDirection = sdBidi;
    TSyncDefaultAction FSyncDefaultAction = sdaAsk;
    std::unique_ptr<TSyncDatabase> SyncFileLog;
    std::unique_ptr<TFileCollection> FileCollection;

    // The drive of side A: that of the sync database ("E:").
    QString SideADrive() const { return FDrive; }
    // Sets StatuesInfo and reports it.
    void ReportStatusText(const QString &text);
    // "Thread Error : Class = TThreadBase : " with the message.
    void ReportThreadError(const QString &message);
    // The scan ended early on an error: the pairs are incomplete, so
    // nothing may be decided from them.
    bool ScanFailed() const { return FScanFailed; }

private:
    // A folder a walk could not list, relative to its pair's root on that side.
    struct TUnreadFolder
    {
        QChar Side;
        QString RelativeKey; // case-folded, "" for the root itself
    };

    // Both sides of a folder pair, listed ahead of their walks.
    struct TPairListing
    {
        std::unique_ptr<TFolderTreeListing> A;
        std::unique_ptr<TFolderTreeListing> B;
    };

    void OpenSyncFileLog();
    TPairListing StartListing(const TSyncItem &item);
    void ScanFolderPair(const TSyncItem &item, TPairListing &listing);
    // Walks the folder at Position of the listing and the folders below it.
    void WalkFolder(TFolderTreeListing &listing, std::size_t &position);
    void MatchFile(const QString &folder, const QString &relativeFolder, const QString &relativeKey,
                   const TFolderEntry &entry);
    // Pairs a file met on Side ('A' or 'B') with its row (Row, or a new
    // one appended with Key and both folders). The file is Name in Folder
    // (Folder empty when Name is the whole path).
    void MatchSide(QChar side, const TSyncFileRow *row, const QString &key, const QString &folderA,
                   const QString &folderB, const QString &folder, const QString &name, qint64 size,
                   TDateTime date);
    void ScanFilePair(const TSyncItem &item);
    // The pair a row has in this run, or a new one.
    TFilePair &PairOfRow(qint64 rowId);
    bool IsDatabaseFile(const QString &folder, const QString &name) const;
    void HoldUnreadFolders(int firstPair);

    QString FDrive;
    QChar FActiveFolder = QLatin1Char('A');
    QString FActiveRootFolderA;
    QString FActiveRootFolderB;
    // ListID of the rows met in this run: the index of their pair. Kept in
    // memory only, as it lives for one run; set by whichever side meets the
    // row first, so a row never gets two pairs.
    QHash<qint64, int> FListIds;
    // The rows under the walked side's root, and a buffer for the
    // case-folded key of each file looked up in them.
    const QHash<QString, qsizetype> *FActiveRows = nullptr;
    QString FKeyBuffer;
    std::vector<TUnreadFolder> FUnreadFolders;
    QString FDatabaseFolderKey;
    QSet<QString> FDatabaseNameKeys;
    bool FScanFailed = false;
};

// A sync run: the scan, then every pair gets its action (asking the
// observer about conflicts), then the actions are carried out.
class TSyncFolderThread : public TSyncThreadBase
{
    Q_OBJECT
public:
    using TSyncThreadBase::TSyncThreadBase;

protected:
    void Execute() override;

private:
    void DecideAndAct();
    void Decide();
    void DecideBothDirections(TFilePair &pair);
    void DecideOneWay(TFilePair &pair, bool towardsB);
    // Whether a side's file changed since its last copy, and whether the
    // two sides hold the same date, by the date rules of their drives.
    bool Changed(const TFilePair &pair, bool sideA);
    bool SameDates(const TFilePair &pair);
    // Copies the target's file system cannot hold (FAT: names, sizes) are
    // listed before anything is copied, and left out.
    void LeaveOutRefusedCopies();
    void SettleConflict(TFilePair &pair, TFileAction preferred);
    // The unmet side's path, rebuilt from the pair's row.
    void RebuildTarget(TFilePair &pair, TFileAction copy);
    void CountTotals();
    bool AskConflicts();
    void ApplyAnswer(TFilePair &pair, TFileAction answer);
    void Act();
    void ActOn(TFilePair &pair);
    void RecordCopiedDates(const TFilePair &pair);
    void SyncWrittenDrives();
    static void SyncDrives(const QSet<QString> &drives);
    void CloseSyncFileLog();

    QSet<QString> FWrittenDrives; // drive roots copied to since the last commit
    TFileDateRules FDateRules;
    TFileSystemLimitsOfDrives FTargetLimits;
};

} // namespace trovalo
