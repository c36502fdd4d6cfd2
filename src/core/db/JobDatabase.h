#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "db/SqliteDatabase.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <future>
#include <memory>
#include <optional>

namespace trovalo {

struct TFileLogRow
{
    QString FileName;
    TDateTime Update = 0;
    bool operator==(const TFileLogRow &) const = default;
};

struct TArchiveLogRow
{
    qint64 RowId = 0;
    QString ArchiveFolder;
    TDateTime DateTime = 0; // 0 when never set
    QString Status;
    QString Format;
};

// The database each backup and move job keeps beside its job file: FileLog
// remembers when each source item was last copied, ArchiveLog the runs into
// each destination folder. Paths are in drive-letter form. Look-ups ignore
// letter case (Unicode case folding) through indexed key columns.
//
// FileLog writes are grouped into batches; the run's ArchiveLog row and its
// final status are committed as soon as they are written, so a run that
// dies leaves "Not Completed" behind.
class TJobDatabase
{
public:
    static inline const QString TemplateName = QStringLiteral("Database.Zjd");
    static inline const QString StatusNotCompleted = QStringLiteral("Not Completed");
    static inline const QString StatusFinished = QStringLiteral("Finished !");
    static inline const QString StatusCanceled = QStringLiteral("Canceled");

    // "Incremental", "Only New", ...; empty for modes that write no format.
    static QString FormatText(TArchiveMode mode);
    // The ArchiveLog key of a destination: without its drive when it lies
    // on the database's drive (compared exactly), otherwise the whole path.
    static QString ArchiveKeyFor(const QString &destination, const QString &databaseFile);
    // Where a listed run's folder is now: the job file's drive followed by
    // the stored folder, else the stored folder itself; nullopt when neither
    // is an existing folder.
    static std::optional<QString> ArchiveFolderOnDisk(const QString &jobFile, const QString &archiveFolder);

    // Writes the empty tables into a new database (the template).
    static void CreateSchema(TSqliteDatabase &database);

    // Opens an existing database (drive-letter path).
    explicit TJobDatabase(const QString &databaseFile);
    ~TJobDatabase();
    TJobDatabase(const TJobDatabase &) = delete;
    TJobDatabase &operator=(const TJobDatabase &) = delete;

    // Reads all of FileLog into memory once; from then on FileUpdate answers
    // from memory (a run looks up every file it meets) and the writes keep
    // the copy in step. For one connection that is the only writer.
    void LoadFileIndex();
    // The same, read on a helper thread through a connection of its own
    // while the caller goes on (a run counts its files meanwhile); the
    // calls that need the copy wait for it.
    void LoadFileIndexInBackground();
    // Makes the copies FileLog rows claim durable before the rows are
    // committed (see TSqliteBatchCommitter::SetBeforeCommit). RecordFile and
    // DeleteFile are deferred until then.
    void SetBeforeFileLogCommit(TSqliteBatchCommitter::TDurability hook);

    // FileLog: when the item was last copied; nullopt when it has no row.
    std::optional<TDateTime> FileUpdate(const QString &fileName);
    // The same by the item's key, LookupKey(fileName), which a walk builds
    // from its folder's key without folding the whole path for each file.
    std::optional<TDateTime> FileUpdateByKey(const QString &key);
    // Sets the item's Update, adding its row when it has none.
    void RecordFile(const QString &fileName, TDateTime update);
    // Removes the item's row (a mirror run removed its copy).
    void DeleteFile(const QString &fileName);
    QList<TFileLogRow> FileRows();
    // "Delete * from FileLog": the next run copies everything again.
    void ResetFileLog();
    // Commits the pending FileLog writes.
    void Flush();

    // ArchiveLog row at the start of a run: found by the destination's key
    // (ignoring case) or added; DateTime = start time, Status "Not
    // Completed", Format as the mode gives (kept for move and mirror runs).
    // Returns the row's id for FinishRun.
    qint64 StartRun(const QString &destination, TDateTime startTime, TArchiveMode mode);
    void FinishRun(qint64 rowId, const QString &status);
    // All runs, oldest first.
    QList<TArchiveLogRow> ArchiveRuns();

    TSqliteDatabase &Database() { return *FDatabase; }

private:
    QString FFileName;
    std::unique_ptr<TSqliteDatabase> FDatabase;
    std::unique_ptr<TSqliteBatchCommitter> FBatch;
    using TFileIndex = QHash<QString, TDateTime>;
    static TFileIndex ReadFileIndex(TSqliteDatabase &database);
    void AwaitFileIndex();

    // Case-folded key -> Update, when LoadFileIndex was called.
    std::optional<TFileIndex> FIndex;
    // The copy being read by LoadFileIndexInBackground; nullopt when its
    // connection could not read it.
    std::future<std::optional<TFileIndex>> FIndexLoad;
};

} // namespace trovalo
