#include "db/JobDatabase.h"

#include "base/PathText.h"
#include "db/DatabaseTemplate.h"
#include "platform/DriveTable.h"

#include <QFileInfo>

namespace trovalo {

namespace {

constexpr int JobSchemaVersion = 1;

// FileKey and ArchiveKey hold the case-folded path so that the
// case-insensitive look-ups are plain index searches.
const QString JobSchema = QStringLiteral(R"(
CREATE TABLE FileLog (
    FileName TEXT NOT NULL,
    "Update" REAL,
    FileKey TEXT NOT NULL
);
CREATE UNIQUE INDEX FileLogByKey ON FileLog (FileKey);
CREATE TABLE ArchiveLog (
    ArchiveFolder TEXT NOT NULL,
    "DateTime" REAL,
    Status TEXT NOT NULL DEFAULT '',
    Format TEXT NOT NULL DEFAULT '',
    ArchiveKey TEXT NOT NULL
);
CREATE UNIQUE INDEX ArchiveLogByKey ON ArchiveLog (ArchiveKey);
)");

} // namespace

QString TJobDatabase::FormatText(TArchiveMode mode)
{
    switch (mode) {
    case amIncremental:
        return QStringLiteral("Incremental");
    case amOnlyNew:
        return QStringLiteral("Only New");
    case amCompletelyNew:
        return QStringLiteral("Completely New");
    case amTimeStamped:
        return QStringLiteral("Time Stamped");
    case amTimeStampedIncremental:
        return QStringLiteral("Incremental Time Stamped");
    case amMove:
    case amMirror:
        break;
    }
    return QString();
}

QString TJobDatabase::ArchiveKeyFor(const QString &destination, const QString &databaseFile)
{
    const QString drive = ExtractFileDrive(destination);
    if (!drive.isEmpty() && drive == ExtractFileDrive(databaseFile))
        return destination.mid(drive.size());
    return destination;
}

std::optional<QString> TJobDatabase::ArchiveFolderOnDisk(const QString &jobFile, const QString &archiveFolder)
{
    for (const QString &candidate : {ExtractFileDrive(jobFile) + archiveFolder, archiveFolder}) {
        const std::optional<QString> native = ToNativePath(candidate);
        if (native && QFileInfo(*native).isDir())
            return candidate;
    }
    return std::nullopt;
}

void TJobDatabase::CreateSchema(TSqliteDatabase &database)
{
    TSqliteTransaction transaction(database);
    database.Exec(JobSchema);
    database.SetSchemaVersion(JobSchemaVersion);
    transaction.Commit();
}

TJobDatabase::TJobDatabase(const QString &databaseFile)
    : FFileName(databaseFile)
    , FDatabase(TDatabaseTemplate::OpenWithSchema(databaseFile, JobSchemaVersion,
                                                  {QStringLiteral("FileLog"), QStringLiteral("ArchiveLog")},
                                                  &TJobDatabase::CreateSchema))
    // Each batch is committed once the destination was synced (see
    // SetBeforeFileLogCommit), which runs while the next batch is copied; a
    // crash costs at most two batches of rows, whose files the next run
    // copies again.
    , FBatch(std::make_unique<TSqliteBatchCommitter>(*FDatabase, 2000, 5000))
{}

TJobDatabase::~TJobDatabase()
{
    // The batch commits what is pending before the connection closes.
    FBatch.reset();
}

TJobDatabase::TFileIndex TJobDatabase::ReadFileIndex(TSqliteDatabase &database)
{
    TFileIndex index;
    TSqliteStatement &select = database.Prepare(QStringLiteral(R"(SELECT FileKey, "Update" FROM FileLog)"));
    while (select.Step())
        index.insert(select.ColumnText(0), select.IsNull(1) ? 0 : select.ColumnDouble(1));
    return index;
}

void TJobDatabase::LoadFileIndex()
{
    AwaitFileIndex();
    FBatch->Commit();
    FIndex = ReadFileIndex(*FDatabase);
}

void TJobDatabase::LoadFileIndexInBackground()
{
    AwaitFileIndex();
    FBatch->Commit();
    FIndexLoad =
        std::async(std::launch::async, [native = FDatabase->FileName()]() -> std::optional<TFileIndex> {
            try {
                TSqliteDatabase reader(native);
                return ReadFileIndex(reader);
            } catch (const std::exception &) {
                return std::nullopt;
            }
        });
}

void TJobDatabase::AwaitFileIndex()
{
    if (!FIndexLoad.valid())
        return;
    std::optional<TFileIndex> loaded = FIndexLoad.get();
    // A file system where a second connection cannot read (locks refused)
    // still gets its copy, through this connection.
    FIndex = loaded ? std::move(*loaded) : ReadFileIndex(*FDatabase);
}

void TJobDatabase::SetBeforeFileLogCommit(TSqliteBatchCommitter::TDurability hook)
{
    FBatch->SetBeforeCommit(std::move(hook));
}

std::optional<TDateTime> TJobDatabase::FileUpdate(const QString &fileName)
{
    return FileUpdateByKey(LookupKey(fileName));
}

std::optional<TDateTime> TJobDatabase::FileUpdateByKey(const QString &key)
{
    AwaitFileIndex();
    if (FIndex) {
        const auto found = FIndex->constFind(key);
        if (found == FIndex->constEnd())
            return std::nullopt;
        return *found;
    }
    FBatch->Commit();
    TSqliteStatement &select =
        FDatabase->Prepare(QStringLiteral(R"(SELECT "Update" FROM FileLog WHERE FileKey = ?1)"));
    select.BindText(1, key);
    if (!select.Step())
        return std::nullopt;
    const TDateTime update = select.IsNull(0) ? 0 : select.ColumnDouble(0);
    select.Reset();
    return update;
}

void TJobDatabase::RecordFile(const QString &fileName, TDateTime update)
{
    AwaitFileIndex();
    const QString key = LookupKey(fileName);
    // Deferred: the row claims a copy that must reach the disk first.
    FBatch->Defer([this, fileName, update, key] {
        // The first spelling met stays in FileName; later runs only move the date.
        TSqliteStatement &upsert = FDatabase->Prepare(QStringLiteral(
            R"(INSERT INTO FileLog (FileName, "Update", FileKey) VALUES (?1, ?2, ?3)
               ON CONFLICT (FileKey) DO UPDATE SET "Update" = excluded."Update")"));
        upsert.BindText(1, fileName).BindDouble(2, update).BindText(3, key).Execute();
    });
    if (FIndex)
        FIndex->insert(key, update);
}

void TJobDatabase::DeleteFile(const QString &fileName)
{
    AwaitFileIndex();
    const QString key = LookupKey(fileName);
    // In order with the deferred records.
    FBatch->Defer([this, key] {
        FDatabase->Prepare(QStringLiteral("DELETE FROM FileLog WHERE FileKey = ?1"))
            .BindText(1, key)
            .Execute();
    });
    if (FIndex)
        FIndex->remove(key);
}

QList<TFileLogRow> TJobDatabase::FileRows()
{
    FBatch->Commit();
    QList<TFileLogRow> rows;
    TSqliteStatement &select =
        FDatabase->Prepare(QStringLiteral(R"(SELECT FileName, "Update" FROM FileLog ORDER BY rowid)"));
    while (select.Step())
        rows.append({select.ColumnText(0), select.IsNull(1) ? 0 : select.ColumnDouble(1)});
    return rows;
}

void TJobDatabase::ResetFileLog()
{
    AwaitFileIndex();
    FBatch->Commit();
    FDatabase->Exec(QStringLiteral("DELETE FROM FileLog"));
    if (FIndex)
        FIndex->clear();
}

void TJobDatabase::Flush()
{
    FBatch->Commit();
}

qint64 TJobDatabase::StartRun(const QString &destination, TDateTime startTime, TArchiveMode mode)
{
    FBatch->Commit();
    const QString folder = ArchiveKeyFor(destination, FFileName);
    const QString format = FormatText(mode);
    TSqliteTransaction transaction(*FDatabase);

    TSqliteStatement &find =
        FDatabase->Prepare(QStringLiteral("SELECT rowid FROM ArchiveLog WHERE ArchiveKey = ?1"));
    find.BindText(1, LookupKey(folder));
    qint64 rowId = 0;
    if (find.Step()) {
        rowId = find.ColumnInt64(0);
        find.Reset();
    } else {
        FDatabase
            ->Prepare(QStringLiteral("INSERT INTO ArchiveLog (ArchiveFolder, ArchiveKey) VALUES (?1, ?2)"))
            .BindText(1, folder)
            .BindText(2, LookupKey(folder))
            .Execute();
        rowId = FDatabase->LastInsertRowId();
    }

    TSqliteStatement &update = FDatabase->Prepare(QStringLiteral(
        R"(UPDATE ArchiveLog SET "DateTime" = ?1, Status = ?2, Format = coalesce(?3, Format) WHERE rowid = ?4)"));
    update.BindDouble(1, startTime).BindText(2, StatusNotCompleted).BindInt64(4, rowId);
    if (!format.isEmpty())
        update.BindText(3, format);
    update.Execute();
    transaction.Commit();
    return rowId;
}

void TJobDatabase::FinishRun(qint64 rowId, const QString &status)
{
    FBatch->Commit();
    FDatabase->Prepare(QStringLiteral("UPDATE ArchiveLog SET Status = ?1 WHERE rowid = ?2"))
        .BindText(1, status)
        .BindInt64(2, rowId)
        .Execute();
}

QList<TArchiveLogRow> TJobDatabase::ArchiveRuns()
{
    QList<TArchiveLogRow> rows;
    TSqliteStatement &select = FDatabase->Prepare(QStringLiteral(
        R"(SELECT rowid, ArchiveFolder, "DateTime", Status, Format FROM ArchiveLog ORDER BY "DateTime", rowid)"));
    while (select.Step()) {
        rows.append({select.ColumnInt64(0), select.ColumnText(1),
                     select.IsNull(2) ? 0 : select.ColumnDouble(2), select.ColumnText(3),
                     select.ColumnText(4)});
    }
    return rows;
}

} // namespace trovalo
