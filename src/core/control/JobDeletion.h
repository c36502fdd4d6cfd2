#pragma once

#include <QString>
#include <QStringList>

namespace trovalo {

// What deleting a job did.
struct TJobDeletion
{
    bool JobFileDeleted = false;
    QStringList Deleted;    // the files removed, the job file first
    QStringList NotDeleted; // "<file>: <reason>" for each file that is still there
    int SchedulesRemoved = 0;
    QString ScheduleError; // why the job's schedules could not be removed; empty when they were

    bool Complete() const { return JobFileDeleted && NotDeleted.isEmpty() && ScheduleError.isEmpty(); }
    // The problems as lines for a message; empty when there were none.
    QString Problems() const;
};

// Deletes the job stored in JobFile with everything that belongs to it: the
// job file, its job or sync database, for a PC-to-PC job the database of
// each of its items, the side files SQLite keeps beside those databases
// ("-journal", "-wal", "-shm"), and the job's schedules in the program
// database (ProgramDatabaseFile, drive-letter form; empty: this computer's),
// which would otherwise report a missing file at every due time. Files that
// are missing are not a problem.
//
// The job's run lock is held meanwhile, so no run starts halfway. Raises
// EUserException, changing nothing, for a job that is running and for a
// file that is no job file. When the job file itself cannot be deleted
// nothing else is touched: the job stays whole.
TJobDeletion DeleteJob(const QString &jobFile, const QString &programDatabaseFile = {});

// Each database followed by the side files SQLite may keep beside it
// ("-journal", "-wal", "-shm"): whatever of these exists goes with it.
QStringList WithDatabaseSideFiles(const QStringList &databases);

} // namespace trovalo
