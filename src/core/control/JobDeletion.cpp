#include "control/JobDeletion.h"

#include "base/Exceptions.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/JobRunLock.h"
#include "platform/RecordFile.h"

#include <cerrno>
#include <memory>
#include <optional>

namespace trovalo {

namespace {

// The record as far as it can be read: a damaged job must still go, and
// what it names (its GUID, its items) is all that is wanted of it.
std::unique_ptr<TSaveLoadComponent> ReadJob(const QString &jobFile, TJobKind kind)
{
    std::unique_ptr<TSaveLoadComponent> job;
    switch (kind) {
    case TJobKind::Backup:
    case TJobKind::Move:
        job = std::make_unique<TArchiveData>();
        break;
    case TJobKind::Sync:
        job = std::make_unique<TSyncData>();
        break;
    case TJobKind::PCSync:
        job = std::make_unique<TPCSyncData>();
        break;
    }
    // Without a GUID of its own in the file the job is known by its path,
    // as a run of it would be.
    job->SetFileGUID(QString());
    try {
        LoadFromFile(*job, jobFile);
    } catch (const EFileError &) {
        // Unreadable: deleting it says what is wrong.
    }
    return job;
}

// False when the file is still there.
bool Remove(const QString &file, TJobDeletion &result)
{
    const TFileOpResult removed = DeleteFileChecked(file);
    if (removed.Ok) {
        result.Deleted << file;
        return true;
    }
    if (removed.Errno == ENOENT)
        return true;
    result.NotDeleted << QStringLiteral("%1: %2").arg(file, removed.Message);
    return false;
}

void RemoveSchedules(const QString &jobFile, QString programDatabaseFile, TJobDeletion &result)
{
    if (programDatabaseFile.isEmpty()) {
        try {
            programDatabaseFile = TStartUp::ProgramDatabaseFileName();
        } catch (const EPathError &) {
            return; // no data folder in drive-letter form: no program database either
        }
    }
    if (!FileExists(programDatabaseFile))
        return;
    try {
        TProgramDatabase database(NativePath(programDatabaseFile));
        result.SchedulesRemoved = database.DeleteSchedulesOfJobFile(jobFile);
    } catch (const ETrovaloError &error) {
        result.ScheduleError = error.Message();
    }
}

} // namespace

QString TJobDeletion::Problems() const
{
    QStringList lines;
    if (!NotDeleted.isEmpty())
        lines << QStringLiteral("These files could not be deleted:") << NotDeleted;
    if (!ScheduleError.isEmpty())
        lines << QStringLiteral("The job's schedules could not be removed: ") + ScheduleError;
    return lines.join(QLatin1Char('\n'));
}

QStringList WithDatabaseSideFiles(const QStringList &databases)
{
    QStringList files;
    for (const QString &database : databases)
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            files << database + QLatin1String(suffix);
    return files;
}

TJobDeletion DeleteJob(const QString &jobFile, const QString &programDatabaseFile)
{
    const std::optional<TJobKind> kind = JobKindOfFile(jobFile);
    if (!kind)
        throw EUserException(QStringLiteral("\"%1\" is no job file: it was not deleted").arg(jobFile));
    const std::unique_ptr<TSaveLoadComponent> job = ReadJob(jobFile, *kind);
    const auto running = [&] {
        return EUserException(
            QStringLiteral("The job \"%1\" is running; it can be deleted once its run has ended.")
                .arg(jobFile));
    };
    // By file as well: a run keyed by another GUID may be on this very file.
    if (TJobRunLock::IsJobFileRunning(jobFile))
        throw running();
    const std::optional<TJobRunLock> lock = TJobRunLock::TryTake(job->FileGUID(), jobFile);
    if (!lock)
        throw running();

    TJobDeletion result;
    // The databases go only with their job: a job whose file stays keeps its
    // history.
    result.JobFileDeleted = Remove(jobFile, result);
    if (!result.JobFileDeleted)
        return result;
    for (const QString &file :
         WithDatabaseSideFiles(JobDatabaseFileNames(jobFile, qobject_cast<const TPCSyncData *>(job.get()))))
        Remove(file, result);
    RemoveSchedules(jobFile, programDatabaseFile, result);
    return result;
}

} // namespace trovalo
