#pragma once

#include "base/DateTime.h"
#include "db/SqliteDatabase.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace trovalo {

// One file pair a sync job has met: the same relative file under a folder
// on the USB drive (side A, stored without its drive) and one on the
// computer (side B).
struct TSyncFileRow
{
    qint64 ID = 0;
    std::optional<qint64> ListID;
    QString FileName;
    QString FolderA;
    QString FolderB;
    std::optional<TDateTime> DateFolderA; // file dates after the last copy
    std::optional<TDateTime> DateFolderB;

    TDateTime DateA() const { return DateFolderA.value_or(0); }
    TDateTime DateB() const { return DateFolderB.value_or(0); }
};

// The file log each sync job keeps between runs. All look-ups ignore letter
// case and are served by indexes on case-folded key columns. Writes are
// grouped into batches; reads on the same object see them at once.
class TSyncDatabase
{
public:
    static inline const QString TemplateName = QStringLiteral("SyncDatabase.Zjt");

    static void CreateSchema(TSqliteDatabase &database);

    // Opens an existing database (drive-letter path).
    explicit TSyncDatabase(const QString &databaseFile);
    ~TSyncDatabase();
    TSyncDatabase(const TSyncDatabase &) = delete;
    TSyncDatabase &operator=(const TSyncDatabase &) = delete;

    // Clears every ListID at the start of a run, committed. Only rows that
    // hold one are written, so a database whose ListIDs are already clear
    // (the usual case) is not rewritten.
    void ResetListIds();

    // Reads every row into memory once. From then on the look-ups are hash
    // hits instead of one query each (a run over tens of thousands of
    // unchanged files would otherwise spend most of its time in them), and
    // Append, SetListId and SetDates keep the copy current. Rows are never
    // deleted, so the copy stays complete for as long as this object is the
    // only writer, which it is during a run.
    void LoadIndex();
    bool Indexed() const { return FIndex != nullptr; }
    qsizetype IndexedRowCount() const;

    // The loaded rows of one folder of one side by case-folded file name,
    // to their position for IndexedRowAt. A walk asks for its root's once
    // and then looks up every file it meets without building a pair key.
    // Needs LoadIndex; the object lives as long as this one (Append adds to
    // it).
    using TFolderRows = QHash<QString, qsizetype>;
    const TFolderRows &FolderRowsA(const QString &folderA);
    const TFolderRows &FolderRowsB(const QString &folderB);
    // The loaded row with that case-folded file name, or nullptr. Valid
    // until the next Append.
    const TSyncFileRow *FindIndexed(const TFolderRows &rows, const QString &fileKey) const;

    std::optional<TSyncFileRow> FindByFolderA(const QString &fileName, const QString &folderA);
    std::optional<TSyncFileRow> FindByFolderB(const QString &fileName, const QString &folderB);
    std::optional<TSyncFileRow> FindById(qint64 id);
    // Every row in the order they were added.
    QList<TSyncFileRow> Rows();

    // Adds a row with NULL dates; returns the ID the database gave it.
    qint64 Append(const QString &fileName, const QString &folderA, const QString &folderB,
                  std::optional<qint64> listId = std::nullopt);
    void SetListId(qint64 id, std::optional<qint64> listId);
    // After a successful copy of the pair.
    void SetDates(qint64 id, TDateTime dateFolderA, TDateTime dateFolderB);
    // After one of the pair's files was deleted: the pair is no longer in
    // step, and a file that appears there again is new.
    void ClearDates(qint64 id);
    // Commits the pending writes.
    void Flush();
    // Makes what the dates claim (copied files) durable before they are
    // committed; see TSqliteBatchCommitter::SetBeforeCommit. SetDates and
    // ClearDates are deferred until then.
    void SetBeforeCommit(TSqliteBatchCommitter::TDurability hook);

    TSqliteDatabase &Database() { return *FDatabase; }

private:
    std::optional<TSyncFileRow> FindOne(const QString &sql,
                                        const std::function<void(TSqliteStatement &)> &bind);

    struct TIndex;
    // Adds the row at Position to the look-ups by folder, unless its key is
    // taken already (the oldest row keeps a key, as the queries find it).
    void IndexKeys(qsizetype position, const QString &fileKey, const QString &folderAKey,
                   const QString &folderBKey);
    TSyncFileRow *IndexedRow(qint64 id);
    void WriteDates(qint64 id, std::optional<TDateTime> dateFolderA, std::optional<TDateTime> dateFolderB);

    std::unique_ptr<TSqliteDatabase> FDatabase;
    std::unique_ptr<TSqliteBatchCommitter> FBatch;
    std::unique_ptr<TIndex> FIndex;
};

} // namespace trovalo
