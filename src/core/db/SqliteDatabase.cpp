#include "db/SqliteDatabase.h"

#include "base/Exceptions.h"
#include "base/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <chrono>
#include <future>

#include <sys/vfs.h>

namespace trovalo {

namespace {

// statfs() magic numbers of the local Linux file systems on which WAL's
// shared-memory index works; everything else gets the rollback journal.
constexpr unsigned long LocalFileSystemsWithWal[] = {
    0xEF53,     // ext2/3/4
    0x9123683E, // btrfs
    0x58465342, // xfs
    0x01021994, // tmpfs
    0xF2F52010, // f2fs
    0x794C7630, // overlayfs
    0x2FC12FC1, // zfs
    0x52654973, // reiserfs
    0x3153464A, // jfs
    0xCA451A4E, // bcachefs
};

const char SqliteHeader[] = "SQLite format 3";

} // namespace

// --- TSqliteStatement ------------------------------------------------------

TSqliteStatement::TSqliteStatement(TSqliteDatabase &database, const QString &sql)
    : FDatabase(database)
    , FSql(sql)
{
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(database.Handle(), text.constData(), int(text.size()),
                                      SQLITE_PREPARE_PERSISTENT, &FStatement, nullptr);
    if (rc != SQLITE_OK || !FStatement) {
        sqlite3_finalize(FStatement);
        FStatement = nullptr;
        if (rc == SQLITE_OK)
            database.Fail(QStringLiteral("empty statement"));
        database.FailWithLastError();
    }
}

TSqliteStatement::~TSqliteStatement()
{
    sqlite3_finalize(FStatement);
}

void TSqliteStatement::Check(int resultCode) const
{
    if (resultCode != SQLITE_OK)
        FDatabase.FailWithLastError();
}

int TSqliteStatement::ParameterIndex(const char *name) const
{
    const int index = sqlite3_bind_parameter_index(FStatement, name);
    if (index == 0)
        FDatabase.Fail(QStringLiteral("no parameter %1 in \"%2\"").arg(QString::fromUtf8(name), FSql));
    return index;
}

TSqliteStatement &TSqliteStatement::BindText(int index, const QString &value)
{
    const QByteArray text = value.toUtf8();
    Check(sqlite3_bind_text64(FStatement, index, text.constData(), sqlite3_uint64(text.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

TSqliteStatement &TSqliteStatement::BindInt64(int index, qint64 value)
{
    Check(sqlite3_bind_int64(FStatement, index, value));
    return *this;
}

TSqliteStatement &TSqliteStatement::BindDouble(int index, double value)
{
    Check(sqlite3_bind_double(FStatement, index, value));
    return *this;
}

TSqliteStatement &TSqliteStatement::BindBlob(int index, const QByteArray &value)
{
    // A null QByteArray would bind NULL; an empty blob stays an empty blob.
    Check(sqlite3_bind_blob64(FStatement, index, value.isNull() ? "" : value.constData(),
                              sqlite3_uint64(value.size()), SQLITE_TRANSIENT));
    return *this;
}

TSqliteStatement &TSqliteStatement::BindNull(int index)
{
    Check(sqlite3_bind_null(FStatement, index));
    return *this;
}

TSqliteStatement &TSqliteStatement::BindText(const char *name, const QString &value)
{
    return BindText(ParameterIndex(name), value);
}

TSqliteStatement &TSqliteStatement::BindInt64(const char *name, qint64 value)
{
    return BindInt64(ParameterIndex(name), value);
}

TSqliteStatement &TSqliteStatement::BindDouble(const char *name, double value)
{
    return BindDouble(ParameterIndex(name), value);
}

TSqliteStatement &TSqliteStatement::BindBlob(const char *name, const QByteArray &value)
{
    return BindBlob(ParameterIndex(name), value);
}

TSqliteStatement &TSqliteStatement::BindNull(const char *name)
{
    return BindNull(ParameterIndex(name));
}

bool TSqliteStatement::Step()
{
    const int rc = sqlite3_step(FStatement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = QString::fromUtf8(sqlite3_errmsg(FDatabase.Handle()));
    sqlite3_reset(FStatement);
    FDatabase.Fail(message);
}

void TSqliteStatement::Execute()
{
    while (Step()) {
    }
    sqlite3_reset(FStatement);
}

void TSqliteStatement::Reset()
{
    sqlite3_reset(FStatement);
    sqlite3_clear_bindings(FStatement);
}

int TSqliteStatement::ColumnCount() const
{
    return sqlite3_column_count(FStatement);
}

QString TSqliteStatement::ColumnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(FStatement, column));
}

int TSqliteStatement::ColumnIndex(const QString &name) const
{
    for (int column = 0; column < ColumnCount(); ++column) {
        if (ColumnName(column).compare(name, Qt::CaseInsensitive) == 0)
            return column;
    }
    FDatabase.Fail(QStringLiteral("no column %1 in \"%2\"").arg(name, FSql));
}

bool TSqliteStatement::IsNull(int column) const
{
    return sqlite3_column_type(FStatement, column) == SQLITE_NULL;
}

QString TSqliteStatement::ColumnText(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(FStatement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(FStatement, column));
}

qint64 TSqliteStatement::ColumnInt64(int column) const
{
    return sqlite3_column_int64(FStatement, column);
}

double TSqliteStatement::ColumnDouble(int column) const
{
    return sqlite3_column_double(FStatement, column);
}

QByteArray TSqliteStatement::ColumnBlob(int column) const
{
    const void *data = sqlite3_column_blob(FStatement, column);
    return QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(FStatement, column));
}

// --- TSqliteDatabase -------------------------------------------------------

TSqliteDatabase::TSqliteDatabase(const QString &nativeFile, const TSqliteOpenOptions &options)
    : FFileName(nativeFile)
{
    const bool exists = QFileInfo::exists(nativeFile);
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (options.Mode) {
    case TOpenMode::CreateNew:
        if (exists)
            Fail(QStringLiteral("the file already exists"));
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case TOpenMode::OpenExisting:
    case TOpenMode::ReadOnly:
        if (!exists)
            Fail(QStringLiteral("the database file does not exist"));
        CheckExistingFile();
        flags |= options.Mode == TOpenMode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
        break;
    }

    const QByteArray path = QFile::encodeName(nativeFile);
    if (sqlite3_open_v2(path.constData(), &FHandle, flags, nullptr) != SQLITE_OK) {
        const QString message =
            FHandle ? QString::fromUtf8(sqlite3_errmsg(FHandle)) : QStringLiteral("out of memory");
        Close();
        Fail(message);
    }
    sqlite3_extended_result_codes(FHandle, 1);
    sqlite3_busy_timeout(FHandle, options.BusyTimeoutMs);

    try {
        // Reading the schema proves the file is a database before anything
        // is written to it.
        Prepare(QStringLiteral("SELECT count(*) FROM sqlite_master")).Execute();
        if (options.Mode != TOpenMode::ReadOnly)
            Configure(options);
    } catch (...) {
        Close();
        throw;
    }
}

TSqliteDatabase::~TSqliteDatabase()
{
    Close();
}

void TSqliteDatabase::Close() noexcept
{
    FStatements.clear();
    if (FHandle) {
        sqlite3_close_v2(FHandle);
        FHandle = nullptr;
    }
}

void TSqliteDatabase::CheckExistingFile() const
{
    QFile file(FFileName);
    if (!file.open(QIODevice::ReadOnly))
        Fail(file.errorString());
    const QByteArray header = file.read(sizeof SqliteHeader);
    if (header.size() < qsizetype(sizeof SqliteHeader) ||
        header != QByteArray(SqliteHeader, sizeof SqliteHeader))
        Fail(QStringLiteral("file is not a database"));
}

void TSqliteDatabase::Configure(const TSqliteOpenOptions &options)
{
    Exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    // A run looks up every file of its sources in random order; 16 MiB of
    // page cache keeps a job database of some 100,000 files in memory.
    Exec(QStringLiteral("PRAGMA cache_size = -16384"));
    const TJournalMode wanted = options.Journal.value_or(JournalModeFor(FFileName));
    if (JournalMode() != wanted) {
        // Leaving WAL needs the file to itself; while another connection
        // has it open the current mode simply stays.
        const QString sql = wanted == TJournalMode::Wal ? QStringLiteral("PRAGMA journal_mode = WAL")
                                                        : QStringLiteral("PRAGMA journal_mode = DELETE");
        char *error = nullptr;
        sqlite3_exec(FHandle, sql.toUtf8().constData(), nullptr, nullptr, &error);
        sqlite3_free(error);
    }
    if (JournalMode() == TJournalMode::Wal)
        Exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
}

void TSqliteDatabase::Fail(const QString &message) const
{
    const QString text = QStringLiteral("%1: %2").arg(FFileName, message);
    qCWarning(LogDb).noquote() << text;
    throw EDatabaseError(text);
}

void TSqliteDatabase::FailWithLastError() const
{
    Fail(FHandle ? QString::fromUtf8(sqlite3_errmsg(FHandle)) : QStringLiteral("not open"));
}

void TSqliteDatabase::Exec(const QString &sql)
{
    char *error = nullptr;
    const int rc = sqlite3_exec(FHandle, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString message = error ? QString::fromUtf8(error) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(error);
        Fail(message);
    }
}

TSqliteStatement &TSqliteDatabase::Prepare(const QString &sql)
{
    auto found = FStatements.find(sql);
    if (found == FStatements.end())
        found = FStatements.insert(sql, std::make_shared<TSqliteStatement>(*this, sql));
    TSqliteStatement &statement = **found;
    statement.Reset();
    return statement;
}

qint64 TSqliteDatabase::LastInsertRowId() const
{
    return sqlite3_last_insert_rowid(FHandle);
}

int TSqliteDatabase::Changes() const
{
    return sqlite3_changes(FHandle);
}

int TSqliteDatabase::SchemaVersion() const
{
    TSqliteStatement statement(const_cast<TSqliteDatabase &>(*this), QStringLiteral("PRAGMA user_version"));
    return statement.Step() ? int(statement.ColumnInt64(0)) : 0;
}

void TSqliteDatabase::SetSchemaVersion(int version)
{
    Exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

bool TSqliteDatabase::TableExists(const QString &table) const
{
    TSqliteStatement statement(
        const_cast<TSqliteDatabase &>(*this),
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 "
                       "COLLATE NOCASE"));
    statement.BindText(1, table);
    return statement.Step();
}

TJournalMode TSqliteDatabase::JournalMode() const
{
    TSqliteStatement statement(const_cast<TSqliteDatabase &>(*this), QStringLiteral("PRAGMA journal_mode"));
    const bool wal =
        statement.Step() && statement.ColumnText(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    return wal ? TJournalMode::Wal : TJournalMode::Delete;
}

TJournalMode TSqliteDatabase::JournalModeFor(const QString &nativeFile)
{
    // The file may not exist yet: ask about the nearest existing folder.
    QString probe = QFileInfo(nativeFile).absoluteFilePath();
    while (!probe.isEmpty() && !QFileInfo::exists(probe)) {
        const QString parent = QFileInfo(probe).absolutePath();
        if (parent == probe)
            break;
        probe = parent;
    }
    struct statfs info
    {
    };
    if (statfs(QFile::encodeName(probe).constData(), &info) != 0)
        return TJournalMode::Delete;
    for (unsigned long magic : LocalFileSystemsWithWal) {
        if ((static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFul) == magic)
            return TJournalMode::Wal;
    }
    return TJournalMode::Delete;
}

// --- TSqliteTransaction ----------------------------------------------------

TSqliteTransaction::TSqliteTransaction(TSqliteDatabase &database)
    : FDatabase(database)
{
    FDatabase.Exec(QStringLiteral("BEGIN IMMEDIATE"));
}

TSqliteTransaction::~TSqliteTransaction()
{
    if (FOpen)
        sqlite3_exec(FDatabase.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TSqliteTransaction::Commit()
{
    if (!FOpen)
        return;
    FDatabase.Exec(QStringLiteral("COMMIT"));
    FOpen = false;
}

// --- TSqliteBatchCommitter -------------------------------------------------

TSqliteBatchCommitter::TSqliteBatchCommitter(TSqliteDatabase &database, int writesPerCommit, int maxOpenMs)
    : FDatabase(database)
    , FWritesPerCommit(qMax(1, writesPerCommit))
    , FMaxOpenMs(maxOpenMs)
{}

struct TSqliteBatchCommitter::TFlush
{
    std::future<void> Done;
};

TSqliteBatchCommitter::~TSqliteBatchCommitter()
{
    try {
        Commit();
    } catch (const std::exception &error) {
        // A destructor must not throw; rows not committed are looked at again
        // by the next run.
        qCWarning(LogDb).noquote() << QStringLiteral("%1: the last rows could not be committed: %2")
                                          .arg(FDatabase.FileName(), QString::fromLocal8Bit(error.what()));
        if (FOpen)
            sqlite3_exec(FDatabase.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void TSqliteBatchCommitter::BeginWrite()
{
    if (FOpen)
        return;
    if (!FDeferred.empty() || FFlush)
        Commit();
    FDatabase.Exec(QStringLiteral("BEGIN IMMEDIATE"));
    FOpen = true;
    FWrites = 0;
    FOpened.start();
}

void TSqliteBatchCommitter::EndWrite()
{
    if (!FOpen)
        return;
    ++FWrites;
    if (FWrites >= FWritesPerCommit || FOpened.elapsed() >= FMaxOpenMs)
        Commit();
}

void TSqliteBatchCommitter::Defer(std::function<void()> write)
{
    if (FOpen)
        Commit();
    if (FDeferred.empty())
        FDeferredSince.start();
    FDeferred.push_back(std::move(write));
    // A flush that has returned lets its rows in without waiting for the
    // next batch to fill.
    if (FFlush && FFlush->Done.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        CommitFlushedBatch();
    if (qsizetype(FDeferred.size()) >= FWritesPerCommit || FDeferredSince.elapsed() >= FMaxOpenMs)
        CloseDeferredBatch();
}

void TSqliteBatchCommitter::Commit()
{
    if (FOpen) {
        if (const std::function<void()> work = DurabilityWork())
            work();
        FDatabase.Exec(QStringLiteral("COMMIT"));
        FOpen = false;
        FWrites = 0;
    }
    CommitFlushedBatch();
    if (!FDeferred.empty()) {
        if (const std::function<void()> work = DurabilityWork())
            work();
        ApplyInTransaction(FDeferred);
    }
}

void TSqliteBatchCommitter::CloseDeferredBatch()
{
    CommitFlushedBatch();
    FFlushing = std::move(FDeferred);
    FDeferred.clear();
    FFlush = std::make_unique<TFlush>();
    FFlush->Done = std::async(std::launch::async, [work = DurabilityWork()] {
        if (work)
            work();
    });
}

void TSqliteBatchCommitter::CommitFlushedBatch()
{
    if (!FFlush)
        return;
    const std::unique_ptr<TFlush> flush = std::move(FFlush);
    try {
        flush->Done.get();
    } catch (...) {
        // Rows whose files may not be on the disk are never committed.
        FFlushing.clear();
        throw;
    }
    ApplyInTransaction(FFlushing);
}

void TSqliteBatchCommitter::ApplyInTransaction(std::vector<std::function<void()>> &writes)
{
    // Taken out first: a write that fails drops its batch instead of
    // failing again at every later commit.
    const std::vector<std::function<void()>> batch = std::move(writes);
    writes.clear();
    if (batch.empty())
        return;
    TSqliteTransaction transaction(FDatabase);
    for (const std::function<void()> &write : batch)
        write();
    transaction.Commit();
}

std::function<void()> TSqliteBatchCommitter::DurabilityWork() const
{
    return FBeforeCommit ? FBeforeCommit() : std::function<void()>();
}

} // namespace trovalo
