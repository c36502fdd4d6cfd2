#include "SyncJobLauncher.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/StrictJobLoad.h"
#include "engine/SyncFolderThread.h"
#include "model/ObjectStream.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "model/SyncDataItems.h"
#include "model/ZlibContainer.h"
#include "platform/DriveTable.h"
#include "platform/RecordFile.h"

#include <QFile>

namespace trovalo {

namespace {

QString ClassNameOf(const QObject &object)
{
    return QString::fromLatin1(object.metaObject()->className()).section(QStringLiteral("::"), -1);
}

EUserException CannotRun(const QString &jobFile, const QString &reason)
{
    return EUserException(QStringLiteral("\"%1\" cannot be run: %2").arg(jobFile, reason));
}

// Values outside the enumerations come only from damaged or foreign files;
// the engine has no behaviour for them.
void CheckRunnable(TSyncDirection direction, TSyncDefaultAction rule, const QString &jobFile)
{
    if (direction < sdBidi || direction > sdToUsbDriveOnly || rule < sdaAsk || rule > sdaNewVersion)
        throw CannotRun(jobFile, QStringLiteral("its transfer direction or conflict rule is damaged"));
}

// Side A is kept without a drive: the engine puts the drive of the sync
// database in front. A value that still names a drive (or lacks the
// leading backslash) would otherwise become a path on no drive at all.
QString SideAValue(const QString &value)
{
    if (value == TSyncItem::RootMarker())
        return value;
    QString rest = value.mid(ExtractFileDrive(value).size());
    if (!rest.startsWith(QLatin1Char('\\')))
        rest.prepend(QLatin1Char('\\'));
    return rest;
}

} // namespace

TSyncLaunch::TSyncLaunch() = default;
TSyncLaunch::~TSyncLaunch() = default;
TSyncLaunch::TSyncLaunch(TSyncLaunch &&) noexcept = default;
TSyncLaunch &TSyncLaunch::operator=(TSyncLaunch &&) noexcept = default;

TSyncDataItem *TSyncLaunch::Item() const
{
    return PCJob && ItemIndex >= 0 ? PCJob->SyncDataItems()->Items(ItemIndex) : nullptr;
}

TSyncJobLauncher::TSyncJobLauncher(QString pcId, TDeletionProtection protection, TLaunchQuestions &questions)
    : FPcId(std::move(pcId))
    , FProtection(std::move(protection))
    , FQuestions(questions)
{}

void TSyncJobLauncher::LoadJob(TSaveLoadComponent &job, const QString &jobFile)
{
    LoadJobStrictly(job, jobFile, QStringLiteral("sync job file"), ClassNameOf(job));
}

TSyncItems TSyncJobLauncher::Pairs(const QStringList &sideA, const QStringList &sideB, bool folders,
                                   const QString &jobFile)
{
    const QString kind = folders ? QStringLiteral("folder") : QStringLiteral("file");
    // Pairs are matched by position: lists of different lengths would pair
    // folders the user never paired.
    if (sideA.size() != sideB.size())
        throw CannotRun(jobFile, QStringLiteral("its %1 lists differ in length (%2 on the USB drive, %3 on "
                                                "the computer)")
                                     .arg(kind)
                                     .arg(sideA.size())
                                     .arg(sideB.size()));
    TSyncItems pairs;
    for (qsizetype i = 0; i < sideA.size(); ++i) {
        const QString a = sideA[i].trimmed();
        const QString b = sideB[i].trimmed();
        if (a.isEmpty() || b.isEmpty())
            throw CannotRun(jobFile, QStringLiteral("its %1 pair %2 has an empty side").arg(kind).arg(i + 1));
        // A relative computer path would be resolved against whatever the
        // current folder happens to be.
        if (!IsAbsolutePath(b))
            throw CannotRun(jobFile,
                            QStringLiteral("the computer side of its %1 pair %2 (%3) is no full path")
                                .arg(kind)
                                .arg(i + 1)
                                .arg(b));
        pairs.Add(SideAValue(a), b, folders);
    }
    return pairs;
}

bool TSyncJobLauncher::AcceptedComputer(const QString &jobFile, const QString &jobPcId)
{
    if (!IsJobOfOtherComputer(jobPcId, FPcId) || FQuestions.ConfirmForeignJob(jobFile, jobPcId))
        return true;
    FRefusal = TSyncLaunchRefusal::Declined;
    return false;
}

std::unique_ptr<TSyncLaunch> TSyncJobLauncher::Prepare(const QString &jobFile, TDateTime now, int itemIndex)
{
    FRefusal = TSyncLaunchRefusal::None;
    const std::optional<TJobKind> kind = JobKindOfFile(jobFile);
    if (kind != TJobKind::Sync && kind != TJobKind::PCSync)
        throw EUserException(QStringLiteral("\"%1\" is no sync job file (.zjs or .zjp)").arg(jobFile));
    auto launch = std::make_unique<TSyncLaunch>();
    launch->JobFile = jobFile;
    launch->Kind = *kind;
    const bool ready = *kind == TJobKind::Sync ? PrepareSyncJob(*launch, now, itemIndex)
                                               : PreparePCSyncJob(*launch, now, itemIndex);
    return ready ? std::move(launch) : nullptr;
}

bool TSyncJobLauncher::PrepareSyncJob(TSyncLaunch &launch, TDateTime now, int itemIndex)
{
    launch.Job = std::make_unique<TSyncData>();
    TSyncData &job = *launch.Job;
    LoadJob(job, launch.JobFile);
    if (itemIndex >= 0)
        throw EUserException(
            QStringLiteral("\"%1\" is a sync job: it has no items to choose from").arg(launch.JobFile));
    // Checked before the question: a job that cannot run should not first
    // ask the user to take a risk for it.
    const TRunPairs pairs = RunPairs(launch.JobFile, job.FolderAList(), job.FolderBList(), job.FileAList(),
                                     job.FileBList(), job.SyncDirection(), job.SyncDefaultAction());
    launch.RunLock = TJobRunLock::Take(job.FileGUID(), launch.JobFile);
    if (!AcceptedComputer(launch.JobFile, job.PCID()))
        return false;
    launch.Caption = job.SyncName();
    launch.PanelKey = job.FileGUID();
    launch.DatabaseFile = JobDatabaseFileName(launch.JobFile, TJobKind::Sync);
    launch.Thread = MakeThread(pairs, launch.DatabaseFile, *job.FileFilter(), job.SyncDirection(),
                               job.SyncDefaultAction());
    launch.Thread->SetJobTitle(QStringLiteral("\"%1\" (%2)").arg(launch.Caption, launch.JobFile));
    launch.PreviousLastUpdate = job.LastUpdate();
    job.SetLastUpdate(now);
    return true;
}

bool TSyncJobLauncher::PreparePCSyncJob(TSyncLaunch &launch, TDateTime now, int itemIndex)
{
    launch.PCJob = std::make_unique<TPCSyncData>();
    const TPCSyncData &job = *launch.PCJob;
    LoadJob(*launch.PCJob, launch.JobFile);
    const int count = job.SyncDataItems()->Count();
    if (itemIndex >= count || itemIndex < -1)
        throw EUserException(QStringLiteral("\"%1\" has %2 item(s): there is no item %3")
                                 .arg(launch.JobFile)
                                 .arg(count)
                                 .arg(itemIndex + 1));
    const bool chosenByHand = itemIndex >= 0;
    if (!chosenByHand) {
        itemIndex = ChoosePCSyncItem(job, FPcId);
        if (itemIndex < 0) {
            FRefusal = TSyncLaunchRefusal::NoItemForComputer;
            return false;
        }
    }
    TSyncDataItem &item = *job.SyncDataItems()->Items(itemIndex);
    const QString database = PCSyncDatabaseFileName(launch.JobFile, item.ID());
    if (database.isEmpty())
        throw CannotRun(launch.JobFile,
                        QStringLiteral("its item %1 has no usable ID (\"%2\") to name its sync database")
                            .arg(itemIndex + 1)
                            .arg(item.ID()));
    const TRunPairs pairs = RunPairs(launch.JobFile, item.FolderAList(), item.FolderBList(), item.FileAList(),
                                     item.FileBList(), item.SyncDirection(), item.SyncDefaultAction());
    // The whole job: its items share the job file, saved at every start.
    launch.RunLock = TJobRunLock::Take(job.FileGUID(), launch.JobFile);
    // An item chosen by hand may be another computer's: its computer
    // folders and history belong there, so it runs only when confirmed.
    if (chosenByHand && !AcceptedComputer(launch.JobFile, item.PCID()))
        return false;
    launch.ItemIndex = itemIndex;
    launch.Caption = item.SyncName();
    launch.PanelKey = item.FileGUID();
    launch.DatabaseFile = database;
    launch.Thread =
        MakeThread(pairs, database, *item.FileFilter(), item.SyncDirection(), item.SyncDefaultAction());
    launch.Thread->SetJobTitle(
        QStringLiteral("\"%1\" (%2, item %3)").arg(launch.Caption, launch.JobFile).arg(itemIndex));
    launch.PreviousLastUpdate = item.LastUpdate();
    item.SetLastUpdate(now);
    return true;
}

TSyncJobLauncher::TRunPairs TSyncJobLauncher::RunPairs(const QString &jobFile, const QStringList &folderA,
                                                       const QStringList &folderB, const QStringList &fileA,
                                                       const QStringList &fileB, TSyncDirection direction,
                                                       TSyncDefaultAction rule)
{
    CheckRunnable(direction, rule, jobFile);
    TRunPairs pairs{Pairs(folderA, folderB, true, jobFile), Pairs(fileA, fileB, false, jobFile)};
    if (pairs.Folders.Count() + pairs.Files.Count() == 0)
        throw CannotRun(jobFile, QStringLiteral("it pairs no folders and no files"));
    return pairs;
}

std::unique_ptr<TSyncFolderThread>
TSyncJobLauncher::MakeThread(const TRunPairs &pairs, const QString &databaseFile, const TFileFilter &filter,
                             TSyncDirection direction, TSyncDefaultAction rule) const
{
    auto thread = std::make_unique<TSyncFolderThread>();
    thread->SetFreeOnTerminate(false);
    thread->SetSyncItems(pairs.Folders);
    thread->SetSyncFiles(pairs.Files);
    thread->SetLogFileName(databaseFile);
    thread->SetFileFilter(filter);
    thread->SetSyncDirection(direction);
    thread->SetSyncDefaultAction(rule);
    thread->SetDeletionProtection(FProtection);
    return thread;
}

void TSyncJobLauncher::SaveStartedJob(TSyncLaunch &launch)
{
    if (launch.PCJob)
        SaveToFile(*launch.PCJob, launch.JobFile);
    else
        SaveToFile(*launch.Job, launch.JobFile);
}

} // namespace trovalo
