#include "ProgramDatabase.h"

#include <QTime>

namespace trovalo {

namespace {

const QString ScheduleColumns =
    QStringLiteral("SELECT ID, FileName, Mode, NextRunTime, Active, Data, JobName FROM ScheduleRun ");

QString ActiveText(bool active)
{
    return active ? QStringLiteral("T") : QStringLiteral("F");
}

// Now without its milliseconds, so a run due within the current second is
// not yet due, as with the second-precision literals older versions used.
TDateTime WholeSecond(TDateTime now)
{
    const QDateTime moment = DateTimeToQt(now);
    if (!moment.isValid())
        return now;
    const QTime time = moment.time();
    return EncodeDateTime(moment.date(), QTime(time.hour(), time.minute(), time.second()));
}

void BindOptionalDate(TSqliteStatement &statement, int index, const std::optional<TDateTime> &value)
{
    if (value)
        statement.BindDouble(index, *value);
    else
        statement.BindNull(index);
}

} // namespace

void CreateProgramDatabaseFile(const QString &nativeFile)
{
    TSqliteOpenOptions options;
    options.Mode = TOpenMode::CreateNew;
    TSqliteDatabase created(nativeFile, options);
    CreateProgramDatabaseSchema(created);
}

void CreateProgramDatabaseSchema(TSqliteDatabase &database)
{
    TSqliteTransaction transaction(database);
    // FileNameKey is the case-folded job file path without its drive letter
    // (TProgramDatabase::FileNameKey), for look-ups under any letter.
    database.Exec(QStringLiteral("CREATE TABLE ScheduleRun ("
                                 " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                                 " FileName TEXT NOT NULL DEFAULT '',"
                                 " Mode INTEGER NOT NULL DEFAULT 2,"
                                 " NextRunTime REAL,"
                                 " Active TEXT NOT NULL DEFAULT 'T',"
                                 " Data BLOB,"
                                 " JobName TEXT NOT NULL DEFAULT '',"
                                 " FileNameKey TEXT NOT NULL DEFAULT '');"
                                 "CREATE INDEX ScheduleRunFileNameKey ON ScheduleRun (FileNameKey, ID);"
                                 "CREATE TABLE DeleteDataLog ("
                                 " FileName TEXT NOT NULL,"
                                 " FileSize INTEGER NOT NULL);"));
    database.SetSchemaVersion(TProgramDatabase::SchemaVersion);
    transaction.Commit();
}

TProgramDatabase::TProgramDatabase(const QString &nativeFile)
    : FDatabase(nativeFile)
{
    const int version = FDatabase.SchemaVersion();
    if (version > SchemaVersion)
        FDatabase.Fail(QStringLiteral("the program database was written by a newer version of the program"));
    if (version != SchemaVersion || !FDatabase.TableExists(QStringLiteral("ScheduleRun")) ||
        !FDatabase.TableExists(QStringLiteral("DeleteDataLog")))
        FDatabase.Fail(QStringLiteral("the file is not a program database"));
}

QString TProgramDatabase::FileNameKey(const QString &fileName)
{
    const bool hasDrive = fileName.size() >= 2 && fileName.at(1) == QLatin1Char(':');
    return LookupKey(hasDrive ? fileName.mid(2) : fileName);
}

QList<TScheduleRunRow> TProgramDatabase::ReadRows(TSqliteStatement &statement)
{
    QList<TScheduleRunRow> rows;
    while (statement.Step()) {
        TScheduleRunRow row;
        row.ID = statement.ColumnInt64(0);
        row.FileName = statement.ColumnText(1);
        row.Mode = int(statement.ColumnInt64(2));
        if (!statement.IsNull(3))
            row.NextRunTime = statement.ColumnDouble(3);
        row.Active = statement.ColumnText(4) == QLatin1String("T");
        if (!statement.IsNull(5))
            row.Data = statement.ColumnBlob(5);
        row.JobName = statement.ColumnText(6);
        rows << row;
    }
    statement.Reset();
    return rows;
}

QList<TScheduleRunRow> TProgramDatabase::ActiveSchedules(TScheduleTrigger trigger)
{
    TSqliteStatement &statement =
        FDatabase.Prepare(ScheduleColumns + QStringLiteral("WHERE Active = 'T' AND Mode = ?1 ORDER BY ID"));
    statement.BindInt64(1, trigger);
    return ReadRows(statement);
}

QList<TScheduleRunRow> TProgramDatabase::DueTimeSchedules(TDateTime now)
{
    // NULL never compares true, so rows with no next run stay out.
    TSqliteStatement &statement = FDatabase.Prepare(
        ScheduleColumns +
        QStringLiteral("WHERE Active = 'T' AND Mode = ?1 AND NextRunTime <= ?2 ORDER BY ID"));
    statement.BindInt64(1, stTime).BindDouble(2, WholeSecond(now));
    return ReadRows(statement);
}

QList<TScheduleRunRow> TProgramDatabase::AllSchedules()
{
    return ReadRows(FDatabase.Prepare(ScheduleColumns + QStringLiteral("ORDER BY ID")));
}

std::optional<TScheduleRunRow> TProgramDatabase::FindScheduleOfJobFile(const QString &fileName)
{
    const QString key = FileNameKey(fileName);
    if (key.isEmpty())
        return std::nullopt;
    TSqliteStatement &statement =
        FDatabase.Prepare(ScheduleColumns + QStringLiteral("WHERE FileNameKey = ?1 ORDER BY ID LIMIT 1"));
    statement.BindText(1, key);
    const QList<TScheduleRunRow> rows = ReadRows(statement);
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first();
}

TScheduleState TProgramDatabase::IsScheduled(const QString &fileName)
{
    const std::optional<TScheduleRunRow> row = FindScheduleOfJobFile(fileName);
    if (!row)
        return ssNotScheduled;
    return row->Active ? ssActive : ssInactive;
}

qint64 TProgramDatabase::AddSchedule(const QString &fileName, const QString &jobName)
{
    TSqliteStatement &statement = FDatabase.Prepare(
        QStringLiteral("INSERT INTO ScheduleRun (FileName, Mode, Active, JobName, FileNameKey) "
                       "VALUES (?1, ?2, 'T', ?3, ?4)"));
    statement.BindText(1, fileName)
        .BindInt64(2, stTime)
        .BindText(3, jobName)
        .BindText(4, FileNameKey(fileName));
    statement.Execute();
    return FDatabase.LastInsertRowId();
}

void TProgramDatabase::UpdateSchedule(const TScheduleRunRow &row)
{
    TSqliteStatement &statement = FDatabase.Prepare(
        QStringLiteral("UPDATE ScheduleRun SET FileName = ?1, Mode = ?2, NextRunTime = ?3, Active = ?4, "
                       "Data = ?5, JobName = ?6, FileNameKey = ?7 WHERE ID = ?8"));
    statement.BindText(1, row.FileName).BindInt64(2, row.Mode);
    BindOptionalDate(statement, 3, row.NextRunTime);
    statement.BindText(4, ActiveText(row.Active));
    if (row.Data)
        statement.BindBlob(5, *row.Data);
    else
        statement.BindNull(5);
    statement.BindText(6, row.JobName).BindText(7, FileNameKey(row.FileName)).BindInt64(8, row.ID);
    statement.Execute();
    RequireChange(row.ID);
}

void TProgramDatabase::SetNextRunTime(qint64 id, std::optional<TDateTime> nextRunTime)
{
    TSqliteStatement &statement =
        FDatabase.Prepare(QStringLiteral("UPDATE ScheduleRun SET NextRunTime = ?1 WHERE ID = ?2"));
    BindOptionalDate(statement, 1, nextRunTime);
    statement.BindInt64(2, id);
    statement.Execute();
    RequireChange(id);
}

void TProgramDatabase::DeleteSchedule(qint64 id)
{
    TSqliteStatement &statement = FDatabase.Prepare(QStringLiteral("DELETE FROM ScheduleRun WHERE ID = ?1"));
    statement.BindInt64(1, id);
    statement.Execute();
}

int TProgramDatabase::DeleteSchedulesWithoutFile()
{
    FDatabase.Prepare(QStringLiteral("DELETE FROM ScheduleRun WHERE FileName = ''")).Execute();
    return FDatabase.Changes();
}

int TProgramDatabase::DeleteSchedulesOfJobFile(const QString &fileName)
{
    const QString key = FileNameKey(fileName);
    if (key.isEmpty())
        return 0;
    FDatabase.Prepare(QStringLiteral("DELETE FROM ScheduleRun WHERE FileNameKey = ?1"))
        .BindText(1, key)
        .Execute();
    return FDatabase.Changes();
}

void TProgramDatabase::AddDeletedFile(const QString &fileName, qint64 fileSize)
{
    TSqliteStatement &statement =
        FDatabase.Prepare(QStringLiteral("INSERT INTO DeleteDataLog (FileName, FileSize) VALUES (?1, ?2)"));
    statement.BindText(1, fileName).BindInt64(2, fileSize);
    statement.Execute();
}

qint64 TProgramDatabase::DeletedFilesSize()
{
    TSqliteStatement &statement =
        FDatabase.Prepare(QStringLiteral("SELECT SUM(FileSize) FROM DeleteDataLog"));
    // SUM of no rows is NULL: an empty log holds nothing.
    const qint64 total = statement.Step() && !statement.IsNull(0) ? statement.ColumnInt64(0) : 0;
    statement.Reset();
    return total;
}

void TProgramDatabase::ClearDeletedFiles()
{
    FDatabase.Prepare(QStringLiteral("DELETE FROM DeleteDataLog")).Execute();
}

QStringList TProgramDatabase::DeletedFileFolders()
{
    TSqliteStatement &statement = FDatabase.Prepare(
        QStringLiteral("SELECT DISTINCT CASE WHEN instr(FileName, '\\') > 0"
                       " THEN substr(FileName, 1, instr(FileName, '\\') - 1) ELSE FileName END"
                       " FROM DeleteDataLog"));
    QStringList folders;
    while (statement.Step())
        folders << statement.ColumnText(0);
    statement.Reset();
    return folders;
}

void TProgramDatabase::ForgetDeletedFilesUnder(const QString &folder)
{
    TSqliteStatement &statement = FDatabase.Prepare(
        QStringLiteral("DELETE FROM DeleteDataLog"
                       " WHERE FileName = ?1 OR substr(FileName, 1, length(?1) + 1) = ?1 || '\\'"));
    statement.BindText(1, folder);
    statement.Execute();
}

void TProgramDatabase::RequireChange(qint64 id)
{
    if (FDatabase.Changes() == 0)
        FDatabase.Fail(QStringLiteral("there is no schedule with the ID %1").arg(id));
}

} // namespace trovalo
