#pragma once

#include "base/DateTime.h"
#include "db/SqliteDatabase.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo {

// What starts a scheduled job (column Mode of ScheduleRun).
enum TScheduleTrigger { stStartup = 0, stShutdown = 1, stTime = 2, stDriveInsertion = 3 };

// Answer of IsScheduled, shown as the job list's schedule mark.
enum TScheduleState { ssNotScheduled = 0, ssActive = 1, ssInactive = 2 };

// One row of ScheduleRun.
struct TScheduleRunRow
{
    qint64 ID = 0;
    // Full path of the job file, drive letter included.
    QString FileName;
    int Mode = stTime;
    // No value: no run pending.
    std::optional<TDateTime> NextRunTime;
    bool Active = true;
    // The TSchedule blob; no value when never saved.
    std::optional<QByteArray> Data;
    QString JobName;
};

// Creates the tables, their index and the schema version in an empty
// database; used for new program databases and their template file.
void CreateProgramDatabaseSchema(TSqliteDatabase &database);
// Makes a new, empty program database file (native path) with that schema;
// raises EDatabaseError when the file exists or cannot be made.
void CreateProgramDatabaseFile(const QString &nativeFile);

// The program database of this computer: schedules (ScheduleRun) and the
// files moved into the deleted-files folder (DeleteDataLog). Each thread
// opens its own; every value reaches SQL as a bound parameter.
//
// Job files are matched by their path without the drive letter, ignoring
// letter case, because a USB drive may come back under another letter. The
// look-up uses the column FileNameKey, the case-folded drive-less path kept
// in step with FileName, so it is served by an index.
class TProgramDatabase
{
public:
    static constexpr int SchemaVersion = 1;

    // Opens an existing program database (native path). A file that is not a
    // program database, or one written by a newer version, raises
    // EDatabaseError and is left untouched.
    explicit TProgramDatabase(const QString &nativeFile);

    // Active rows of one trigger, in row order.
    QList<TScheduleRunRow> ActiveSchedules(TScheduleTrigger trigger);
    // Active time rows whose next run is at or before Now (taken to the
    // whole second); rows with no next run are never due.
    QList<TScheduleRunRow> DueTimeSchedules(TDateTime now);
    // Every row, in row order (the schedule editor's list).
    QList<TScheduleRunRow> AllSchedules();
    // The first row, in row order, that belongs to the job file.
    std::optional<TScheduleRunRow> FindScheduleOfJobFile(const QString &fileName);
    TScheduleState IsScheduled(const QString &fileName);

    // A new active time schedule for a job file, with no next run and no
    // timing yet; returns its ID.
    qint64 AddSchedule(const QString &fileName, const QString &jobName);
    // Writes every column of the row with the row's ID; raises
    // EDatabaseError when no such row exists.
    void UpdateSchedule(const TScheduleRunRow &row);
    void SetNextRunTime(qint64 id, std::optional<TDateTime> nextRunTime);
    void DeleteSchedule(qint64 id);
    // Removes rows that never got a job file; returns how many.
    int DeleteSchedulesWithoutFile();
    // Removes every row of the job file (under any drive letter, as
    // FindScheduleOfJobFile matches); returns how many.
    int DeleteSchedulesOfJobFile(const QString &fileName);

    // FileName relative to the deleted-files folder.
    void AddDeletedFile(const QString &fileName, qint64 fileSize);
    qint64 DeletedFilesSize();
    void ClearDeletedFiles();
    // The first folder of every logged file name (the time-stamped folders
    // deletion protection makes), each once, in no particular order.
    QStringList DeletedFileFolders();
    // Removes the rows of the files logged below that first folder.
    void ForgetDeletedFilesUnder(const QString &folder);

    // For batching many AddDeletedFile calls in one transaction.
    TSqliteDatabase &Connection() { return FDatabase; }

    // The key that matches a job file under any drive letter.
    static QString FileNameKey(const QString &fileName);

private:
    QList<TScheduleRunRow> ReadRows(TSqliteStatement &statement);
    void RequireChange(qint64 id);

    TSqliteDatabase FDatabase;
};

} // namespace trovalo
