#include "control/ArchiveJobEditing.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/JobDeletion.h"
#include "db/JobDatabase.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderOverlap.h"
#include "platform/RecordFile.h"

#include <QUuid>

#include <cerrno>

namespace trovalo {

namespace {

QStringList EachOnDrive(const QStringList &paths, const QString &drive)
{
    QStringList moved;
    moved.reserve(paths.size());
    for (const QString &path : paths)
        moved << OnDrive(path, drive);
    return moved;
}

// The database of a backup or move job file (both kinds keep a ".Zjd"); a
// file of another kind is taken as a backup, whose database it then lacks.
QString ArchiveJobDatabase(const QString &jobFile)
{
    return JobDatabaseFileName(jobFile,
                               JobKindOfFile(jobFile) == TJobKind::Move ? TJobKind::Move : TJobKind::Backup);
}

// A job file made anew must not inherit the file log of an earlier job
// saved under its name: it would skip files it never copied.
void RemoveStaleDatabase(const QString &database)
{
    for (const QString &file : WithDatabaseSideFiles({database})) {
        const TFileOpResult removed = DeleteFileChecked(file);
        if (!removed.Ok && removed.Errno != ENOENT)
            throw EFileError(QStringLiteral("Cannot delete the old job database \"%1\": %2")
                                 .arg(WithNative(file), removed.Message));
    }
}

} // namespace

void InitNewArchiveJob(TArchiveData &job, const QString &pcId, TDateTime now)
{
    ApplyNewArchiveJobDefaults(job, pcId);
    job.SetCreateDate(now);
}

QString NewJobFileName(const QString &driveRoot, const QString &prefix, const QString &extension,
                       const QDateTime &now)
{
    return IncludeTrailingBackslash(driveRoot) + QStringLiteral("Config\\") + prefix + JobFileNameTime(now) +
           extension;
}

void MoveListsToDrive(TArchiveData &job, const QString &drive)
{
    job.SetFolderList(EachOnDrive(job.FolderList(), drive));
    job.SetExcludeList(EachOnDrive(job.ExcludeList(), drive));
    job.SetFileList(EachOnDrive(job.FileList(), drive));
}

QString OnDrive(const QString &path, const QString &drive)
{
    QString rest = path.mid(ExtractFileDrive(path).size());
    if (rest.startsWith(QLatin1Char('\\')))
        rest.remove(0, 1);
    return IncludeTrailingBackslash(drive) + rest;
}

QString ArchiveJobFolderProblem(const TArchiveData &job)
{
    // First: the graver mistake, and a source that holds everything holds
    // the destination too.
    if (job.ArchiveMode() == amMove && job.DeleteFile()) {
        for (const QString &folder : job.FolderList())
            if (IsRootOrHomeFolder(folder))
                return QStringLiteral("This move job would delete every file in %1 after copying it.\r\n"
                                      "Choose a folder inside it, or untick \"Scratch\" to keep the source "
                                      "files.")
                    .arg(WithNative(folder));
    }
    if (const std::optional<TFolderOverlap> overlap =
            FindFolderOverlap(job.Destination(), job.FolderList(), job.ExcludeList())) {
        switch (overlap->Kind) {
        case TFolderOverlap::DestinationInsideSource:
            return QStringLiteral("The destination folder is inside a folder you chose to back up:\r\n%1\r\n"
                                  "Every run would copy its own backup again. Choose a destination outside "
                                  "it, or exclude the destination from it.")
                .arg(WithNative(overlap->Source));
        case TFolderOverlap::SourceInsideDestination:
            return QStringLiteral("A folder you chose to back up is inside the destination folder:\r\n%1\r\n"
                                  "Choose a destination outside the folders you back up.")
                .arg(WithNative(overlap->Source));
        }
    }
    return {};
}

void SaveArchiveJob(TArchiveData &job, const QString &jobFile, bool isNew, const QString &pcId)
{
    job.SetPCID(pcId);
    if (isNew && QUuid::fromString(job.GUID().trimmed()).isNull())
        job.SetGUID(TSaveLoadComponent::NewGuidText());
    SaveEditedJob(job, jobFile, isNew, JobDatabaseFileName(jobFile, ArchiveJobKind(job)));
}

void SaveEditedJob(const TSaveLoadComponent &job, const QString &jobFile, bool isNew, const QString &database)
{
    const QString folder = ExtractFilePath(jobFile);
    if (!folder.isEmpty() && !ForceFolder(folder))
        throw EFileError(QStringLiteral("Cannot save \"%1\": the folder %2 cannot be made")
                             .arg(jobFile, WithNative(folder)));
    if (isNew)
        RemoveStaleDatabase(database);
    // Written beside the old file and renamed over it: never deleted first,
    // so a failed save keeps the job that was there.
    SaveToFile(job, jobFile);
}

bool HasJobDatabase(const QString &jobFile)
{
    return FileExists(ArchiveJobDatabase(jobFile));
}

bool ResetBackupJob(const QString &jobFile)
{
    const QString database = ArchiveJobDatabase(jobFile);
    if (!FileExists(database))
        return false;
    try {
        TJobDatabase(database).ResetFileLog();
    } catch (const ETrovaloError &error) {
        throw EFileError(QStringLiteral("Cannot reset the job database \"%1\": %2")
                             .arg(WithNative(database), error.Message()));
    }
    return true;
}

} // namespace trovalo
