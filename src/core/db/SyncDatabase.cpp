#include "db/SyncDatabase.h"

#include "base/PathText.h"
#include "db/DatabaseTemplate.h"

#include <QHash>

#include <vector>

namespace trovalo {

namespace {

constexpr int SyncSchemaVersion = 1;

// The *Key columns hold case-folded copies that the two pair look-ups
// search through their indexes.
const QString SyncSchema = QStringLiteral(R"(
CREATE TABLE FileLog (
    ID INTEGER PRIMARY KEY,
    ListID INTEGER,
    FileName TEXT NOT NULL,
    FolderA TEXT NOT NULL,
    FolderB TEXT NOT NULL,
    DateFolderA REAL,
    DateFolderB REAL,
    FileKey TEXT NOT NULL,
    FolderAKey TEXT NOT NULL,
    FolderBKey TEXT NOT NULL
);
CREATE INDEX FileLogByFolderA ON FileLog (FileKey, FolderAKey);
CREATE INDEX FileLogByFolderB ON FileLog (FileKey, FolderBKey);

)");

const QString SelectColumns =
    QStringLiteral("SELECT ID, ListID, FileName, FolderA, FolderB, DateFolderA, DateFolderB FROM FileLog ");

std::optional<double> OptionalDouble(const TSqliteStatement &statement, int column)
{
    return statement.IsNull(column) ? std::nullopt : std::optional<double>(statement.ColumnDouble(column));
}

TSyncFileRow ReadRow(const TSqliteStatement &statement)
{
    TSyncFileRow row;
    row.ID = statement.ColumnInt64(0);
    if (!statement.IsNull(1))
        row.ListID = statement.ColumnInt64(1);
    row.FileName = statement.ColumnText(2);
    row.FolderA = statement.ColumnText(3);
    row.FolderB = statement.ColumnText(4);
    row.DateFolderA = OptionalDouble(statement, 5);
    row.DateFolderB = OptionalDouble(statement, 6);
    return row;
}

} // namespace

// The rows in memory, found by side folder and file name (both case-folded)
// or by ID. A key that several rows share finds the oldest of them, as the
// queries do. The per-folder tables are held by pointer so that a walk can
// keep the one of its root while rows are added.
struct TSyncDatabase::TIndex
{
    using TByFolder = QHash<QString, std::shared_ptr<TFolderRows>>;

    std::vector<TSyncFileRow> Rows;
    TByFolder ByFolderA;
    TByFolder ByFolderB;
    QHash<qint64, qsizetype> ById;

    static TFolderRows &Folder(TByFolder &byFolder, const QString &folderKey)
    {
        std::shared_ptr<TFolderRows> &rows = byFolder[folderKey];
        if (!rows)
            rows = std::make_shared<TFolderRows>();
        return *rows;
    }
    static const TFolderRows *FindFolder(const TByFolder &byFolder, const QString &folderKey)
    {
        const auto found = byFolder.constFind(folderKey);
        return found == byFolder.constEnd() ? nullptr : found->get();
    }
};

void TSyncDatabase::CreateSchema(TSqliteDatabase &database)
{
    TSqliteTransaction transaction(database);
    database.Exec(SyncSchema);
    database.SetSchemaVersion(SyncSchemaVersion);
    transaction.Commit();
}

TSyncDatabase::TSyncDatabase(const QString &databaseFile)
    : FDatabase(TDatabaseTemplate::OpenWithSchema(databaseFile, SyncSchemaVersion,
                                                  {QStringLiteral("FileLog")}, &TSyncDatabase::CreateSchema))
    // As for a job database: each commit of a run first syncs the drives
    // written to, so large batches let the disks write back while copying
    // goes on; a crash costs at most a few seconds of rows, whose pairs the
    // next run looks at again.
    , FBatch(std::make_unique<TSqliteBatchCommitter>(*FDatabase, 2000, 5000))
{
    // A job database holds a FileLog too; make sure this one has pairs.
    FDatabase->Prepare(SelectColumns + QStringLiteral("LIMIT 0")).Execute();
}

TSyncDatabase::~TSyncDatabase()
{
    FBatch.reset();
}

void TSyncDatabase::ResetListIds()
{
    FBatch->Commit();
    if (FIndex) {
        // The loaded rows tell whether there is anything to clear, which
        // spares the statement's pass over the whole table.
        bool anySet = false;
        for (TSyncFileRow &row : FIndex->Rows) {
            anySet = anySet || row.ListID.has_value();
            row.ListID.reset();
        }
        if (!anySet)
            return;
    }
    FDatabase->Exec(QStringLiteral("UPDATE FileLog SET ListID = NULL WHERE ListID IS NOT NULL;"));
}

void TSyncDatabase::LoadIndex()
{
    FIndex = std::make_unique<TIndex>();
    TSqliteStatement &count = FDatabase->Prepare(QStringLiteral("SELECT max(ID) FROM FileLog"));
    // Rows are never deleted, so the highest ID is about the row count.
    const qint64 expected = count.Step() ? count.ColumnInt64(0) : 0;
    count.Reset();
    if (expected > 0 && expected < (qint64(1) << 24)) {
        FIndex->Rows.reserve(std::size_t(expected));
        FIndex->ById.reserve(qsizetype(expected));
    }
    // The key columns are folded already: no folding per row here. Rows of
    // one folder pair follow each other, so the folder texts of the
    // previous row are shared instead of held once per row.
    TSqliteStatement &select = FDatabase->Prepare(
        QStringLiteral("SELECT ID, ListID, FileName, FolderA, FolderB, DateFolderA, DateFolderB, "
                       "FileKey, FolderAKey, FolderBKey FROM FileLog ORDER BY ID"));
    std::vector<QString> fileKeys;
    std::vector<std::pair<QString, QString>> folderKeys;
    fileKeys.reserve(FIndex->Rows.capacity());
    folderKeys.reserve(FIndex->Rows.capacity());
    TSyncFileRow previous;
    std::pair<QString, QString> previousKeys;
    while (select.Step()) {
        TSyncFileRow row = ReadRow(select);
        if (row.FolderA == previous.FolderA)
            row.FolderA = previous.FolderA;
        if (row.FolderB == previous.FolderB)
            row.FolderB = previous.FolderB;
        QString fileKey = select.ColumnText(7);
        if (fileKey == row.FileName)
            fileKey = row.FileName;
        std::pair<QString, QString> keys(select.ColumnText(8), select.ColumnText(9));
        if (keys.first == previousKeys.first)
            keys.first = previousKeys.first;
        if (keys.second == previousKeys.second)
            keys.second = previousKeys.second;
        previous.FolderA = row.FolderA;
        previous.FolderB = row.FolderB;
        previousKeys = keys;
        FIndex->ById.insert(row.ID, qsizetype(FIndex->Rows.size()));
        FIndex->Rows.push_back(std::move(row));
        fileKeys.push_back(std::move(fileKey));
        folderKeys.push_back(std::move(keys));
    }
    for (std::size_t i = 0; i < fileKeys.size(); ++i)
        IndexKeys(qsizetype(i), fileKeys[i], folderKeys[i].first, folderKeys[i].second);
}

void TSyncDatabase::IndexKeys(qsizetype position, const QString &fileKey, const QString &folderAKey,
                              const QString &folderBKey)
{
    for (auto [byFolder, folderKey] :
         {std::pair(&FIndex->ByFolderA, &folderAKey), std::pair(&FIndex->ByFolderB, &folderBKey)}) {
        TFolderRows &rows = TIndex::Folder(*byFolder, *folderKey);
        if (!rows.contains(fileKey))
            rows.insert(fileKey, position);
    }
}

qsizetype TSyncDatabase::IndexedRowCount() const
{
    return FIndex ? qsizetype(FIndex->Rows.size()) : 0;
}

const TSyncDatabase::TFolderRows &TSyncDatabase::FolderRowsA(const QString &folderA)
{
    return TIndex::Folder(FIndex->ByFolderA, LookupKey(folderA));
}

const TSyncDatabase::TFolderRows &TSyncDatabase::FolderRowsB(const QString &folderB)
{
    return TIndex::Folder(FIndex->ByFolderB, LookupKey(folderB));
}

const TSyncFileRow *TSyncDatabase::FindIndexed(const TFolderRows &rows, const QString &fileKey) const
{
    const auto found = rows.constFind(fileKey);
    return found == rows.constEnd() ? nullptr : &FIndex->Rows[std::size_t(*found)];
}

TSyncFileRow *TSyncDatabase::IndexedRow(qint64 id)
{
    const auto found = FIndex->ById.constFind(id);
    return found == FIndex->ById.constEnd() ? nullptr : &FIndex->Rows[std::size_t(*found)];
}

std::optional<TSyncFileRow> TSyncDatabase::FindOne(const QString &sql,
                                                   const std::function<void(TSqliteStatement &)> &bind)
{
    // Deferred writes are read back only once committed.
    FBatch->Commit();
    TSqliteStatement &select = FDatabase->Prepare(SelectColumns + sql);
    bind(select);
    if (!select.Step())
        return std::nullopt;
    TSyncFileRow row = ReadRow(select);
    select.Reset();
    return row;
}

std::optional<TSyncFileRow> TSyncDatabase::FindByFolderA(const QString &fileName, const QString &folderA)
{
    if (FIndex) {
        const TFolderRows *rows = TIndex::FindFolder(FIndex->ByFolderA, LookupKey(folderA));
        const TSyncFileRow *row = rows ? FindIndexed(*rows, LookupKey(fileName)) : nullptr;
        return row ? std::optional<TSyncFileRow>(*row) : std::nullopt;
    }
    return FindOne(
        QStringLiteral("WHERE FileKey = ?1 AND FolderAKey = ?2 ORDER BY ID LIMIT 1"),
        [&](TSqliteStatement &s) { s.BindText(1, LookupKey(fileName)).BindText(2, LookupKey(folderA)); });
}

std::optional<TSyncFileRow> TSyncDatabase::FindByFolderB(const QString &fileName, const QString &folderB)
{
    if (FIndex) {
        const TFolderRows *rows = TIndex::FindFolder(FIndex->ByFolderB, LookupKey(folderB));
        const TSyncFileRow *row = rows ? FindIndexed(*rows, LookupKey(fileName)) : nullptr;
        return row ? std::optional<TSyncFileRow>(*row) : std::nullopt;
    }
    return FindOne(
        QStringLiteral("WHERE FileKey = ?1 AND FolderBKey = ?2 ORDER BY ID LIMIT 1"),
        [&](TSqliteStatement &s) { s.BindText(1, LookupKey(fileName)).BindText(2, LookupKey(folderB)); });
}

std::optional<TSyncFileRow> TSyncDatabase::FindById(qint64 id)
{
    if (FIndex) {
        const TSyncFileRow *row = IndexedRow(id);
        return row ? std::optional<TSyncFileRow>(*row) : std::nullopt;
    }
    return FindOne(QStringLiteral("WHERE ID = ?1"), [&](TSqliteStatement &s) { s.BindInt64(1, id); });
}

QList<TSyncFileRow> TSyncDatabase::Rows()
{
    FBatch->Commit();
    QList<TSyncFileRow> rows;
    TSqliteStatement &select = FDatabase->Prepare(SelectColumns + QStringLiteral("ORDER BY ID"));
    while (select.Step())
        rows.append(ReadRow(select));
    return rows;
}

qint64 TSyncDatabase::Append(const QString &fileName, const QString &folderA, const QString &folderB,
                             std::optional<qint64> listId)
{
    qint64 id = 0;
    FBatch->Write([&] {
        TSqliteStatement &insert = FDatabase->Prepare(QStringLiteral(
            "INSERT INTO FileLog (ListID, FileName, FolderA, FolderB, FileKey, FolderAKey, FolderBKey) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"));
        if (listId)
            insert.BindInt64(1, *listId);
        insert.BindText(2, fileName).BindText(3, folderA).BindText(4, folderB);
        insert.BindText(5, LookupKey(fileName))
            .BindText(6, LookupKey(folderA))
            .BindText(7, LookupKey(folderB));
        insert.Execute();
        id = FDatabase->LastInsertRowId();
    });
    if (FIndex) {
        const qsizetype position = qsizetype(FIndex->Rows.size());
        FIndex->Rows.push_back({id, listId, fileName, folderA, folderB, std::nullopt, std::nullopt});
        FIndex->ById.insert(id, position);
        IndexKeys(position, LookupKey(fileName), LookupKey(folderA), LookupKey(folderB));
    }
    return id;
}

void TSyncDatabase::SetListId(qint64 id, std::optional<qint64> listId)
{
    FBatch->Write([&] {
        TSqliteStatement &update =
            FDatabase->Prepare(QStringLiteral("UPDATE FileLog SET ListID = ?1 WHERE ID = ?2"));
        if (listId)
            update.BindInt64(1, *listId);
        update.BindInt64(2, id).Execute();
    });
    if (FIndex) {
        if (TSyncFileRow *row = IndexedRow(id))
            row->ListID = listId;
    }
}

void TSyncDatabase::SetDates(qint64 id, TDateTime dateFolderA, TDateTime dateFolderB)
{
    WriteDates(id, dateFolderA, dateFolderB);
}

void TSyncDatabase::ClearDates(qint64 id)
{
    WriteDates(id, std::nullopt, std::nullopt);
}

void TSyncDatabase::WriteDates(qint64 id, std::optional<TDateTime> dateFolderA,
                               std::optional<TDateTime> dateFolderB)
{
    // Deferred: the dates claim a copy that must reach the disk first.
    FBatch->Defer([this, id, dateFolderA, dateFolderB] {
        TSqliteStatement &update = FDatabase->Prepare(
            QStringLiteral("UPDATE FileLog SET DateFolderA = ?1, DateFolderB = ?2 WHERE ID = ?3"));
        for (const auto &[index, date] : {std::pair(1, dateFolderA), std::pair(2, dateFolderB)}) {
            if (date)
                update.BindDouble(index, *date);
            else
                update.BindNull(index);
        }
        update.BindInt64(3, id).Execute();
    });
    if (FIndex) {
        if (TSyncFileRow *row = IndexedRow(id)) {
            row->DateFolderA = dateFolderA;
            row->DateFolderB = dateFolderB;
        }
    }
}

void TSyncDatabase::Flush()
{
    FBatch->Commit();
}

void TSyncDatabase::SetBeforeCommit(TSqliteBatchCommitter::TDurability hook)
{
    FBatch->SetBeforeCommit(std::move(hook));
}

} // namespace trovalo
