#include "ArchiveJobLauncher.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/ArchiveJobEditing.h"
#include "control/StrictJobLoad.h"
#include "engine/CopyFolderThread.h"
#include "engine/ZipFolderThread.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/ObjectStream.h"
#include "model/ZlibContainer.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

#include <algorithm>

#include <QFile>

namespace trovalo {

// Strict: see LoadJobStrictly.
void TArchiveJobLauncher::LoadJob(TArchiveData &job, const QString &jobFile)
{
    LoadJobStrictly(job, jobFile, QStringLiteral("job file"), QStringLiteral("backup or move job"));
}

namespace {

// Values outside the enumerations come only from damaged or foreign files;
// the engines have no behaviour for them.
void CheckRunnable(const TArchiveData &job, const QString &jobFile)
{
    if (job.ArchiveMode() < amIncremental || job.ArchiveMode() > amMirror || job.ArchiveType() < atFile ||
        job.ArchiveType() > atImage || job.ArchiveDir() < amUsbToPc || job.ArchiveDir() > amUsbToUSB)
        throw EUserException(
            QStringLiteral("\"%1\" cannot be run: its backup mode, type or direction is damaged")
                .arg(jobFile));
    // An empty destination would be re-based to the drive root, or stay a
    // relative path the engine would resolve against nothing sensible.
    if (job.Destination().trimmed().isEmpty())
        throw EUserException(
            QStringLiteral("\"%1\" cannot be run: it has no destination folder").arg(jobFile));
}

bool IsTimeStamped(TArchiveMode mode)
{
    return mode == amTimeStamped || mode == amTimeStampedIncremental;
}

} // namespace

TArchiveLaunch::TArchiveLaunch() = default;
TArchiveLaunch::~TArchiveLaunch() = default;
TArchiveLaunch::TArchiveLaunch(TArchiveLaunch &&) noexcept = default;
TArchiveLaunch &TArchiveLaunch::operator=(TArchiveLaunch &&) noexcept = default;

TArchiveJobLauncher::TArchiveJobLauncher(QString pcId, TDeletionProtection protection,
                                         TLaunchQuestions &questions)
    : FPcId(std::move(pcId))
    , FProtection(std::move(protection))
    , FQuestions(questions)
{}

std::unique_ptr<TArchiveLaunch> TArchiveJobLauncher::Prepare(const QString &jobFile, TDateTime now)
{
    auto launch = std::make_unique<TArchiveLaunch>();
    launch->JobFile = jobFile;
    launch->Job = std::make_unique<TArchiveData>();
    TArchiveData &job = *launch->Job;
    LoadJob(job, jobFile);
    // Checked before any question: a job that cannot run should not first
    // ask the user to take a risk for it.
    CheckRunnable(job, jobFile);
    launch->RunLock = TJobRunLock::Take(job.FileGUID(), jobFile);

    if (IsJobOfOtherComputer(job.PCID(), FPcId) && !FQuestions.ConfirmForeignJob(jobFile, job.PCID()))
        return nullptr;

    // The saved job keeps the destination as the user chose it; only the run
    // uses the re-based one (the source lists of "From USB" jobs are stored
    // re-based, as other installations expect).
    const QString storedDestination = job.Destination();
    job.SetDestination(IncludeTrailingBackslash(job.Destination()));
    RebaseToJobDrive(job, jobFile);
    const QStringList missing = MissingItems(job, job.Destination());
    if (!missing.isEmpty() && !FQuestions.ConfirmMissingItems(missing, SourcesLeft(job)))
        return nullptr;

    launch->PreviousLastUpdate = job.LastUpdate();
    job.SetLastUpdate(now);
    const TArchiveMode mode = job.ArchiveMode();
    launch->Destination = RunDestination(job.Destination(), mode, now);
    job.SetDestination(storedDestination);

    std::unique_ptr<TArchiveThreadBase> thread;
    if (job.ArchiveType() == atImage) {
        auto zip = std::make_unique<TZipFolderThread>();
        zip->SetPassword(job.Password());
        thread = std::move(zip);
    } else {
        auto copy = std::make_unique<TCopyFolderThread>();
        copy->SetMoveFile(job.DeleteFile());
        thread = std::move(copy);
    }
    thread->SetFreeOnTerminate(false);
    thread->SetExclude(job.ExcludeList());
    thread->SetInclude(job.FolderList());
    thread->SetFileList(job.FileList());
    thread->SetFileFilter(*job.FileFilter());
    thread->SetLogFileName(JobDatabaseFileName(jobFile, ArchiveJobKind(job)));
    thread->SetJobTitle(QStringLiteral("\"%1\" (%2)").arg(job.BackupName(), jobFile));
    thread->SetArchiveMode(mode);
    thread->SetDestination(launch->Destination);
    thread->SetFromDate(RunFromDate(mode, now));
    thread->SetDeletionProtection(FProtection);
    launch->Thread = std::move(thread);
    return launch;
}

void TArchiveJobLauncher::SaveStartedJob(TArchiveLaunch &launch)
{
    SaveToFile(*launch.Job, launch.JobFile);
}

void TArchiveJobLauncher::RebaseToJobDrive(TArchiveData &job, const QString &jobFile)
{
    const QString jobDrive = ExtractFileDrive(jobFile);
    switch (job.ArchiveDir()) {
    case amPcToUsb:
        job.SetDestination(OnDrive(job.Destination(), jobDrive));
        break;
    case amUsbToPc:
        MoveListsToDrive(job, jobDrive);
        break;
    case amUsbToUSB:
        break;
    }
}

int TArchiveJobLauncher::SourcesLeft(const TArchiveData &job)
{
    const QStringList folders = job.FolderList();
    const QStringList files = job.FileList();
    return int(
        std::count_if(folders.cbegin(), folders.cend(), [](const QString &f) { return PathExists(f); }) +
        std::count_if(files.cbegin(), files.cend(), [](const QString &f) { return FileExists(f); }));
}

QStringList TArchiveJobLauncher::MissingItems(const TArchiveData &job, const QString &destination)
{
    QStringList missing;
    if (!DirectoryExists(destination))
        missing << destination;
    for (const QString &folder : job.FolderList())
        if (!PathExists(folder))
            missing << folder;
    for (const QString &excluded : job.ExcludeList())
        if (!PathExists(excluded))
            missing << excluded;
    for (const QString &file : job.FileList())
        if (!FileExists(file))
            missing << file;
    return missing;
}

QString TArchiveJobLauncher::RunDestination(const QString &destination, TArchiveMode mode, TDateTime start)
{
    const QString folder = IncludeTrailingBackslash(destination);
    if (!IsTimeStamped(mode))
        return folder;
    return folder + QLatin1Char(' ') + DateTimeToQt(start).toString(QStringLiteral("yyyy-MM-dd HH-mm")) +
           QLatin1Char('\\');
}

TDateTime TArchiveJobLauncher::RunFromDate(TArchiveMode mode, TDateTime start)
{
    return mode == amCompletelyNew || mode == amTimeStamped ? 0 : start;
}

} // namespace trovalo
