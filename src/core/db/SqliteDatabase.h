#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace trovalo {

class TSqliteDatabase;

// One prepared statement. Bind parameters by 1-based index or by name
// (":name", "@name", "$name" as written in the SQL), Step() through the
// rows, read columns by 0-based index. Failures raise EDatabaseError naming
// the database file.
class TSqliteStatement
{
public:
    TSqliteStatement(TSqliteDatabase &database, const QString &sql);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement &) = delete;
    TSqliteStatement &operator=(const TSqliteStatement &) = delete;

    TSqliteStatement &BindText(int index, const QString &value);
    TSqliteStatement &BindInt64(int index, qint64 value);
    TSqliteStatement &BindDouble(int index, double value);
    TSqliteStatement &BindBlob(int index, const QByteArray &value);
    TSqliteStatement &BindNull(int index);

    TSqliteStatement &BindText(const char *name, const QString &value);
    TSqliteStatement &BindInt64(const char *name, qint64 value);
    TSqliteStatement &BindDouble(const char *name, double value);
    TSqliteStatement &BindBlob(const char *name, const QByteArray &value);
    TSqliteStatement &BindNull(const char *name);

    // True when a row is ready, false when the statement is done.
    bool Step();
    // Runs a statement that returns no rows (or ignores them) and resets it.
    void Execute();
    // Makes the statement ready to run again and clears its bindings.
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int column) const;
    // Index of a result column by name, ignoring case; raises when absent.
    int ColumnIndex(const QString &name) const;
    bool IsNull(int column) const;
    QString ColumnText(int column) const;
    qint64 ColumnInt64(int column) const;
    double ColumnDouble(int column) const;
    QByteArray ColumnBlob(int column) const;

    const QString &Sql() const { return FSql; }

private:
    int ParameterIndex(const char *name) const;
    void Check(int resultCode) const;

    TSqliteDatabase &FDatabase;
    sqlite3_stmt *FStatement = nullptr;
    QString FSql;
};

// How a database file keeps its rollback information. WAL lets readers and
// one writer work at once but needs shared memory beside the file, which
// FAT/exFAT sticks, FUSE and network mounts do not offer reliably; there the
// classic rollback journal is used.
enum class TJournalMode { Wal, Delete };

enum class TOpenMode {
    OpenExisting, // the file must exist and be a readable database
    CreateNew,    // the file must not exist; it is created empty
    ReadOnly,     // the file must exist; nothing is ever written
};

struct TSqliteOpenOptions
{
    TOpenMode Mode = TOpenMode::OpenExisting;
    // Chosen from the file system holding the file when not given.
    std::optional<TJournalMode> Journal;
    int BusyTimeoutMs = 5000;
};

// The text stored in a key column that a case-insensitive look-up searches
// through its index: Unicode case folding, so "Ä" and "ä" meet.
inline QString LookupKey(const QString &text)
{
    return text.toCaseFolded();
}

// LookupKey of paths met folder by folder (a walk): the folder's part is
// folded once for all its names. Case folding maps each character alone,
// so the parts fold apart.
class TPathKeys
{
public:
    QString KeyOf(const QString &path)
    {
        const qsizetype cut = path.lastIndexOf(QLatin1Char('\\')) + 1;
        const QStringView folder = QStringView(path).left(cut);
        if (folder != FFolder) {
            FFolder = folder.toString();
            FFolderKey = LookupKey(FFolder);
        }
        return FFolderKey + LookupKey(path.mid(cut));
    }

private:
    QString FFolder;
    QString FFolderKey;
};

// One connection to a database file (native path). Opening an existing file
// first checks its header and reads its schema without writing, so a file
// that is not a database, or is damaged, raises EDatabaseError naming the
// file and is left exactly as it was. A connection belongs to one thread.
class TSqliteDatabase
{
public:
    explicit TSqliteDatabase(const QString &nativeFile, const TSqliteOpenOptions &options = {});
    ~TSqliteDatabase();
    TSqliteDatabase(const TSqliteDatabase &) = delete;
    TSqliteDatabase &operator=(const TSqliteDatabase &) = delete;

    // Runs one or more statements that return no rows.
    void Exec(const QString &sql);
    // A statement cached by its SQL text, reset with cleared bindings. The
    // reference stays valid while the connection lives; do not hold two uses
    // of the same SQL text at once.
    TSqliteStatement &Prepare(const QString &sql);

    qint64 LastInsertRowId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int Changes() const;

    // The schema version kept in the file header (0 for a new file).
    int SchemaVersion() const;
    void SetSchemaVersion(int version);
    bool TableExists(const QString &table) const;

    TJournalMode JournalMode() const;
    const QString &FileName() const { return FFileName; }

    // The journal mode that suits the file system holding the (possibly not
    // yet existing) file.
    static TJournalMode JournalModeFor(const QString &nativeFile);

    // Raises EDatabaseError with "<file>: <message>".
    [[noreturn]] void Fail(const QString &message) const;
    // Raises with SQLite's message of the last failure on this connection.
    [[noreturn]] void FailWithLastError() const;

    sqlite3 *Handle() const { return FHandle; }

private:
    void CheckExistingFile() const;
    void Configure(const TSqliteOpenOptions &options);
    void Close() noexcept;

    sqlite3 *FHandle = nullptr;
    QString FFileName;
    QHash<QString, std::shared_ptr<TSqliteStatement>> FStatements;
};

// RAII write transaction: begins at once (taking the write lock up front so
// a later write cannot fail half-way on a lock), rolls back unless committed.
class TSqliteTransaction
{
public:
    explicit TSqliteTransaction(TSqliteDatabase &database);
    ~TSqliteTransaction();
    TSqliteTransaction(const TSqliteTransaction &) = delete;
    TSqliteTransaction &operator=(const TSqliteTransaction &) = delete;

    void Commit();

private:
    TSqliteDatabase &FDatabase;
    bool FOpen = true;
};

// Groups many small writes into few transactions: a run that records every
// file it copies commits every WritesPerCommit writes (or after MaxOpenMs,
// so other connections are not kept waiting), and at the end, instead of
// paying one journal sync per file. Whatever was written is committed on
// destruction too, so rows written before a failure stay.
//
// Rows that claim something another file system must keep first (a copy is
// on the disk) are deferred: they wait in memory while the durability work
// of their batch (see SetBeforeCommit) runs on a helper thread, and the next
// batch is collected meanwhile, so the copying never stops for a flush; a
// batch is committed only once its flush returned.
class TSqliteBatchCommitter
{
public:
    // Asked on the writing thread when a batch closes, it returns the work
    // that makes what the batch's rows describe durable. That work may run
    // on a helper thread (it must not touch what the writing thread uses).
    using TDurability = std::function<std::function<void()>()>;

    explicit TSqliteBatchCommitter(TSqliteDatabase &database, int writesPerCommit = 500,
                                   int maxOpenMs = 2000);
    ~TSqliteBatchCommitter();
    TSqliteBatchCommitter(const TSqliteBatchCommitter &) = delete;
    TSqliteBatchCommitter &operator=(const TSqliteBatchCommitter &) = delete;

    // Call before each write: opens the batch's transaction when none is
    // (committing the deferred rows first, so the order of writes holds).
    void BeginWrite();
    // Call after each write: commits when the batch is full or old.
    void EndWrite();
    // Runs one write inside the batch, now.
    template <class TWrite>
    void Write(TWrite &&write)
    {
        BeginWrite();
        write();
        EndWrite();
    }
    // Runs one write later, in order with the other deferred ones, once the
    // durability work of its batch returned. The write must own what it
    // uses (capture by value).
    void Defer(std::function<void()> write);
    // Commits what is pending now, deferred rows included (their durability
    // work runs first, in this thread if it had not started).
    void Commit();
    bool Pending() const { return FOpen || !FDeferred.empty() || !FFlushing.empty(); }
    void SetBeforeCommit(TDurability hook) { FBeforeCommit = std::move(hook); }

private:
    struct TFlush;
    void CloseDeferredBatch();
    void CommitFlushedBatch();
    void ApplyInTransaction(std::vector<std::function<void()>> &writes);
    std::function<void()> DurabilityWork() const;

    TSqliteDatabase &FDatabase;
    int FWritesPerCommit;
    int FMaxOpenMs;
    int FWrites = 0;
    bool FOpen = false;
    TDurability FBeforeCommit;
    QElapsedTimer FOpened;
    std::vector<std::function<void()>> FDeferred; // the batch being collected
    QElapsedTimer FDeferredSince;
    std::vector<std::function<void()>> FFlushing; // the batch whose flush runs
    std::unique_ptr<TFlush> FFlush;
};

} // namespace trovalo
