#include "db/SyncDatabase.h"

#include "db/DatabaseTemplate.h"
#include "platform/PathText.h"

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

// The key of a case-insensitive pair look-up in memory.
QString PairKey(const QString &fileName, const QString &folder)
{
    return LookupKey(fileName) + QChar(0) + LookupKey(folder);
}

} // namespace

// The rows in memory, found by either pair key or by ID. A key that several
// rows share finds the oldest of them, as the queries do.
struct TSyncDatabase::TIndex
{
    std::vector<TSyncFileRow> Rows;
    QHash<QString, qsizetype> ByFolderA;
    QHash<QString, qsizetype> ByFolderB;
    QHash<qint64, qsizetype> ById;
};

QString TSyncDatabase::PathForJobFile(const QString &jobFile)
{
    return ChangeFileExt(jobFile, QStringLiteral(".Zjt"));
}

QString TSyncDatabase::PathForComputerEntry(const QString &jobFile, const QString &entryId)
{
    return ExtractFilePath(jobFile) + entryId + QStringLiteral(".Zjt");
}

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
    , FBatch(std::make_unique<TSqliteBatchCommitter>(*FDatabase))
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
    FDatabase->Exec(QStringLiteral("UPDATE FileLog SET ListID = NULL WHERE ListID IS NOT NULL;"));
    if (FIndex) {
        for (TSyncFileRow &row : FIndex->Rows)
            row.ListID.reset();
    }
}

void TSyncDatabase::LoadIndex()
{
    FIndex = std::make_unique<TIndex>();
    // The key columns are folded already: no folding per row here.
    TSqliteStatement &select = FDatabase->Prepare(
        QStringLiteral("SELECT ID, ListID, FileName, FolderA, FolderB, DateFolderA, DateFolderB, "
                       "FileKey, FolderAKey, FolderBKey FROM FileLog ORDER BY ID"));
    while (select.Step()) {
        const QString fileKey = select.ColumnText(7) + QChar(0);
        IndexRow(ReadRow(select), fileKey + select.ColumnText(8), fileKey + select.ColumnText(9));
    }
}

void TSyncDatabase::IndexRow(const TSyncFileRow &row, const QString &keyA, const QString &keyB)
{
    const qsizetype position = qsizetype(FIndex->Rows.size());
    FIndex->Rows.push_back(row);
    if (!FIndex->ByFolderA.contains(keyA))
        FIndex->ByFolderA.insert(keyA, position);
    if (!FIndex->ByFolderB.contains(keyB))
        FIndex->ByFolderB.insert(keyB, position);
    FIndex->ById.insert(row.ID, position);
}

TSyncFileRow *TSyncDatabase::IndexedRow(qint64 id)
{
    const auto found = FIndex->ById.constFind(id);
    return found == FIndex->ById.constEnd() ? nullptr : &FIndex->Rows[std::size_t(*found)];
}

std::optional<TSyncFileRow> TSyncDatabase::FindOne(const QString &sql,
                                                   const std::function<void(TSqliteStatement &)> &bind)
{
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
        const auto found = FIndex->ByFolderA.constFind(PairKey(fileName, folderA));
        if (found == FIndex->ByFolderA.constEnd())
            return std::nullopt;
        return FIndex->Rows[std::size_t(*found)];
    }
    return FindOne(
        QStringLiteral("WHERE FileKey = ?1 AND FolderAKey = ?2 ORDER BY ID LIMIT 1"),
        [&](TSqliteStatement &s) { s.BindText(1, LookupKey(fileName)).BindText(2, LookupKey(folderA)); });
}

std::optional<TSyncFileRow> TSyncDatabase::FindByFolderB(const QString &fileName, const QString &folderB)
{
    if (FIndex) {
        const auto found = FIndex->ByFolderB.constFind(PairKey(fileName, folderB));
        if (found == FIndex->ByFolderB.constEnd())
            return std::nullopt;
        return FIndex->Rows[std::size_t(*found)];
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
    if (FIndex)
        IndexRow({id, listId, fileName, folderA, folderB, std::nullopt, std::nullopt},
                 PairKey(fileName, folderA), PairKey(fileName, folderB));
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
    FBatch->Write([&] {
        FDatabase
            ->Prepare(QStringLiteral("UPDATE FileLog SET DateFolderA = ?1, DateFolderB = ?2 WHERE ID = ?3"))
            .BindDouble(1, dateFolderA)
            .BindDouble(2, dateFolderB)
            .BindInt64(3, id)
            .Execute();
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

void TSyncDatabase::SetBeforeCommit(std::function<void()> hook)
{
    FBatch->SetBeforeCommit(std::move(hook));
}

} // namespace trovalo
