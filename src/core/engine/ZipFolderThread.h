#pragma once

#include "engine/BackUpThreadBase.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <optional>
#include <vector>

namespace trovalo {

class TZipArchive;
struct TFolderEntry;

// Backup jobs written as ZIP archives: one archive per source drive letter
// or network share in the destination (C:\... -> <Destination>C.Zip,
// \\srv\data\... -> <Destination>__srv~data.Zip), entries named by the path
// without the drive (Users/Ann/a.txt) or without the server (data/x/a.txt).
//
// The files chosen for one archive are gathered and the archive is written
// once, when the walk moves on to another archive or the run ends. Only
// then, with the archive on the disk, are the files recorded in FileLog,
// logged as done and, in a move, deleted at the source. A cancel or a failed
// write leaves the previous archive as it was, and records nothing.
class TZipFolderThread : public TArchiveThreadBase
{
    Q_OBJECT
public:
    explicit TZipFolderThread(QObject *parent = nullptr);
    ~TZipFolderThread() override;

    // Empty for no encryption; otherwise every entry is AES-256 encrypted.
    QString Password() const { return FPassword; }
    void SetPassword(const QString &value) { FPassword = value; }

    // The archive a source folder or file goes into.
    QString ArchiveName(const QString &path) const;
    // The entry name of a source file inside its archive.
    static QString EntryName(const QString &path);

protected:
    void Execute() override;
    // A FAT32 drive holds no archive of 4 GiB or more, so no file that size.
    QString RefusalCheckTarget() const override { return Destination(); }
    bool WritesFilesByName() const override { return false; }
    QString RefusalAction() const override;

private:
    struct TPendingAdd
    {
        QString Source;
        qint64 Size = 0;
        bool DeleteAfter = false; // a move: the source goes once it is safe
    };

    void ArchivePhases(bool move);
    void DeleteOldArchives();
    void SelectArchive(const QString &archive);
    void OpenArchive();
    // Writes the open archive with what is pending, then closes it.
    void WriteArchive();
    bool CommitPending();
    bool Reopen();
    void OnCommitFileStarted(const QString &source);
    void EndCommittedFile();
    void FinishPending();
    void FailPending(const QString &message, int code);
    void DropPending();
    void LogFailedAdd(const TPendingAdd &add, int code);

    void ZipFolder(const QString &dir, bool move);
    void ZipOneFile(const QString &path, bool move);
    // Adds the file, or keeps its entry as it is (an archive rebuilt from
    // its previous version), or skips it as the mode says.
    void TakeFile(const QString &source, qint64 size, TDateTime fileDate, bool move,
                  const QString &skipStatus);
    void SkipFile(qint64 size, const QString &status);
    bool ShouldAdd(const QString &source, qint64 size, TDateTime fileDate);
    // FileLog holds the file as unchanged since its last run (on a stick,
    // also a newer date that the entry carries by the stick's date rule).
    bool Unchanged(const QString &source, qint64 size, TDateTime fileDate);
    void QueueAdd(const TPendingAdd &add);
    // The archive selected holds exactly the files of this run: entries of
    // files not met are deleted, unchanged ones kept as they are.
    bool Rebuilding() const;
    bool CanKeepEntry(const QString &source, qint64 size, TDateTime fileDate);

    QString FPassword;
    std::unique_ptr<TZipArchive> FZip;
    QString FArchive;       // the archive selected (exact text), open in FZip unless it failed to open
    int FOpenErrorCode = 0; // why FArchive could not be opened (0: it is open)
    // Archives of a "Completely New" run that keep all their entries (an
    // include folder missing), and those that must not be written at all
    // (their previous version could not be kept in the protection folder).
    QSet<QString> FKeptArchives;
    QHash<QString, int> FUntouchedArchives; // -> the error that keeps it so
    // The entry names of the selected archive the walk met, and the files
    // whose entries are kept unchanged.
    QSet<QString> FMetEntries;
    std::vector<TPendingAdd> FKept;
    // Whether the password opens the selected archive's entries (nullopt:
    // not asked yet).
    std::optional<bool> FPasswordOpens;
    std::vector<TPendingAdd> FPending;
    QHash<QString, qsizetype> FPendingIndex; // source -> index in FPending
    qint64 FPendingBytes = 0;
    qsizetype FCommitFile = -1; // the pending file the commit reads now
};

} // namespace trovalo
