#include "CommandLine.h"
#include "Commands.h"
#include "EngineRun.h"

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/DriveConfig.h"
#include "control/ScheduleRunner.h"
#include "control/SessionEndWatcher.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "model/JobFiles.h"
#include "model/ProgramIdentity.h"
#include "platform/AppPaths.h"
#include "platform/DriveArrivalListener.h"
#include "platform/DriveTable.h"
#include "platform/ScheduleRunnerLock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <map>
#include <memory>

namespace trovalo::cli {

namespace {

const QString ServiceUsage = QStringLiteral("trovalo-cli service [--conflicts=skip|usb|computer|newest]");
// How long a stop waits for the runs it asked to stop before it leaves them.
constexpr int StopWaitMs = 60'000;

std::atomic<int> StopSignal{0};

void RememberStopSignal(int signal)
{
    StopSignal = signal;
}

QString TriggerText(TScheduleTrigger trigger)
{
    switch (trigger) {
    case stStartup:
        return QStringLiteral("at start-up");
    case stShutdown:
        return QStringLiteral("at shut-down");
    case stTime:
        return QStringLiteral("at its time");
    case stDriveInsertion:
        return QStringLiteral("on drive insertion");
    }
    return {};
}

// The schedules of this data folder, run without windows: each due job as a
// `trovalo-cli run --unattended` of its own, so a run that fails or hangs
// never takes the service down, and the service's loop stays free for the
// clock, drive arrival and the shut-down announcement.
class TScheduleService : public QObject
{
public:
    TScheduleService(TCliContext &context, TStartUp &startUp, QString conflicts)
        : FContext(context)
        , FStartUp(startUp)
        , FConflicts(std::move(conflicts))
        , FRunner(*startUp.ProgramDatabase(), *startUp.ProgramData(), [] { return DateTimeNow(); })
    {}

    int Exec()
    {
        StartWatching();
        Log(QStringLiteral("runs the schedules of %1").arg(NativePath(AppDataFolder())));
        Act(FRunner.RunStartupSchedules());
        QTimer clock;
        connect(&clock, &QTimer::timeout, this, &TScheduleService::Tick);
        clock.start(1000);
        return QCoreApplication::exec();
    }

private:
    struct TRun
    {
        TScheduledStart Start;
        QByteArray Pending; // output not yet ended by a line break
    };

    void StartWatching()
    {
        FArrival = std::make_unique<TDriveArrivalListener>();
        connect(FArrival.get(), &TDriveArrivalListener::DriveArrived, this, &TScheduleService::DriveArrived);
        connect(FArrival.get(), &TDriveArrivalListener::UnmountedFileSystemAppeared, this,
                &TScheduleService::MountFileSystem);
        if (FArrival->Start())
            Log(QStringLiteral("watches drive arrival through %1").arg(FArrival->SourceDescription()));
        else
            Log(QStringLiteral("cannot watch drive arrival: drive-insertion schedules will not run"));

        TSessionEndWatcher::THooks hooks;
        hooks.RunShutdownSchedules = [this] { Act(FRunner.RunShutdownSchedules()); };
        hooks.RunningJobs = [this] { return int(FRuns.size()); };
        hooks.Refused = [this](const QString &) {
            Log(QStringLiteral("holds the shut-down back: jobs run"));
        };
        FSessionEnd = std::make_unique<TSessionEndWatcher>(std::move(hooks));
        FSessionEnd->Start(false, ProgramApplicationId);
    }

    void Tick()
    {
        if (const int signal = StopSignal.exchange(0)) {
            Stop(signal);
            return;
        }
        if (!FStopping)
            Act(FRunner.MinuteTick());
    }

    // Nobody can be asked here: a job file on no drive is passed over.
    void Act(TScheduleDecisions decisions)
    {
        try {
            for (;;) {
                for (const TScheduledStart &start : decisions.Starts)
                    StartRun(start);
                if (!decisions.Question)
                    return;
                Log(QStringLiteral("schedule %1: the job file %2 (\"%3\") is on no drive; skipped")
                        .arg(decisions.Question->ScheduleId)
                        .arg(decisions.Question->FileName, decisions.Question->JobName));
                decisions = FRunner.AnswerFileNotFound(false);
            }
        } catch (const ETrovaloError &error) {
            Log(QStringLiteral("the schedules could not be checked: %1").arg(error.Message()));
        }
    }

    void StartRun(const TScheduledStart &start)
    {
        if (FStopping)
            return;
        QStringList arguments{QStringLiteral("run"), start.JobFile, QStringLiteral("--unattended")};
        const std::optional<TJobKind> kind = JobKindOfFile(start.JobFile);
        if (!FConflicts.isEmpty() && (kind == TJobKind::Sync || kind == TJobKind::PCSync))
            arguments << QStringLiteral("--conflicts=") + FConflicts;
        auto *process = new QProcess(this);
        process->setProcessChannelMode(QProcess::MergedChannels);
        FRuns[process] = TRun{start, {}};
        connect(process, &QProcess::readyReadStandardOutput, this,
                [this, process] { Forward(process, false); });
        connect(process, &QProcess::finished, this,
                [this, process](int code, QProcess::ExitStatus status) { Finished(process, code, status); });
        connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                Finished(process, -1, QProcess::CrashExit);
        });
        Log(QStringLiteral("start: schedule %1 (%2), %3")
                .arg(start.ScheduleId)
                .arg(TriggerText(start.Trigger), WithNative(start.JobFile)));
        process->start(QCoreApplication::applicationFilePath(), arguments);
        FSessionEnd->JobsChanged();
    }

    // The run's own lines, each marked with its schedule.
    void Forward(QProcess *process, bool all)
    {
        const auto found = FRuns.find(process);
        if (found == FRuns.end())
            return;
        TRun &run = found->second;
        run.Pending += process->readAllStandardOutput();
        qsizetype end;
        while ((end = run.Pending.indexOf('\n')) >= 0 || (all && !run.Pending.isEmpty())) {
            const QByteArray line = end >= 0 ? run.Pending.left(end) : run.Pending;
            run.Pending.remove(0, end >= 0 ? end + 1 : run.Pending.size());
            FContext.Out << "  [" << run.Start.ScheduleId << "] " << QString::fromUtf8(line) << "\n";
        }
        FContext.Out.flush();
    }

    void Finished(QProcess *process, int code, QProcess::ExitStatus status)
    {
        const auto found = FRuns.find(process);
        if (found == FRuns.end())
            return; // FailedToStart and finished both came
        Forward(process, true);
        const TScheduledStart start = found->second.Start;
        FRuns.erase(found);
        process->deleteLater();
        QString result;
        if (status != QProcess::NormalExit)
            result = code < 0 ? QStringLiteral("could not be started: %1").arg(process->errorString())
                              : QStringLiteral("crashed");
        else
            result = code == ExitOk          ? QStringLiteral("finished")
                     : code == ExitErrors    ? QStringLiteral("finished with errors (status 1)")
                     : code == ExitCancelled ? QStringLiteral("not run or cancelled (status 2)")
                                             : QStringLiteral("refused (status %1)").arg(code);
        Log(QStringLiteral("end: schedule %1, %2: %3").arg(start.ScheduleId).arg(start.JobFile, result));
        FSessionEnd->JobsChanged();
        if (FStopping && FRuns.empty())
            QCoreApplication::exit(ExitOk);
    }

    void DriveArrived(const QString &root)
    {
        TDriveCheck check;
        try {
            check = CheckDrive(root, FStartUp.PCID());
        } catch (const ETrovaloError &error) {
            Log(QStringLiteral("drive %1 arrived; its configuration cannot be read: %2")
                    .arg(root, error.Message()));
            return;
        }
        const std::optional<QString> native = ToNativePath(root);
        const QString mountPoint = native ? QDir::cleanPath(*native) : QString();
        if (!check.Known) {
            Log(QStringLiteral("drive %1 arrived; it is not set up on this computer").arg(WithNative(root)));
            // Mounted only to look: give it back as it was.
            if (const auto mounted = FMountedHere.find(mountPoint); mounted != FMountedHere.end()) {
                QString error;
                if (!UDisks2Unmount(mounted->second, &error))
                    Log(QStringLiteral("could not unmount %1 again: %2").arg(mountPoint, error));
                FMountedHere.erase(mounted);
            }
            return;
        }
        Log(QStringLiteral("drive %1 arrived; its drive-insertion schedules run").arg(WithNative(root)));
        Act(FRunner.RunDriveSchedules(root));
    }

    // A machine without a desktop mounts nothing by itself.
    void MountFileSystem(const QString &objectPath)
    {
        QString error;
        const std::optional<QString> mountPoint = UDisks2Mount(objectPath, &error);
        if (!mountPoint) {
            Log(QStringLiteral("could not mount %1 to look for its jobs: %2").arg(objectPath, error));
            return;
        }
        Log(QStringLiteral("mounted %1 at %2 to look for its jobs").arg(objectPath, *mountPoint));
        FMountedHere[QDir::cleanPath(*mountPoint)] = objectPath;
    }

    void Stop(int signal)
    {
        if (FStopping) {
            Log(QStringLiteral("stops now (signal %1 again), leaving %2 run(s)")
                    .arg(signal)
                    .arg(FRuns.size()));
            QCoreApplication::exit(ExitCancelled);
            return;
        }
        FStopping = true;
        if (FRuns.empty()) {
            Log(QStringLiteral("stops (signal %1)").arg(signal));
            QCoreApplication::exit(ExitOk);
            return;
        }
        // Each run stops at a safe point, as after Ctrl-C.
        Log(QStringLiteral("stops (signal %1) once its %2 run(s) have stopped")
                .arg(signal)
                .arg(FRuns.size()));
        for (const auto &[process, run] : FRuns)
            ::kill(static_cast<pid_t>(process->processId()), SIGINT);
        QTimer::singleShot(StopWaitMs, this, [] { QCoreApplication::exit(ExitCancelled); });
    }

    void Log(const QString &text)
    {
        FContext.Out << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     << "  service " << text << "\n";
        FContext.Out.flush();
    }

    TCliContext &FContext;
    TStartUp &FStartUp;
    QString FConflicts;
    TScheduleRunner FRunner;
    std::unique_ptr<TDriveArrivalListener> FArrival;
    std::unique_ptr<TSessionEndWatcher> FSessionEnd;
    std::map<QProcess *, TRun> FRuns;
    // Mount point -> UDisks2 object of the file systems this service mounted.
    std::map<QString, QString> FMountedHere;
    bool FStopping = false;
};

} // namespace

int ServiceCommand(TCliContext &context)
{
    const QCommandLineOption conflicts{
        QStringLiteral("conflicts"),
        QStringLiteral("sync jobs: settle every conflict this way (default: skip, leave both files)"),
        QStringLiteral("skip|usb|computer|newest")};
    QCommandLineParser parser;
    ParseCommand(parser, {ServiceUsage, {conflicts}, 0, 0}, context.Arguments);
    QString conflictAnswer = parser.value(conflicts).toLower();
    const QStringList answers{QStringLiteral("skip"), QStringLiteral("usb"), QStringLiteral("computer"),
                              QStringLiteral("newest")};
    if (parser.isSet(conflicts) && !answers.contains(conflictAnswer))
        throw TCliFailure{QStringLiteral("--conflicts: '%1' is none of %2")
                              .arg(parser.value(conflicts), answers.join(QLatin1Char('|')))};

    TStartUp startUp;
    RunStartUp(startUp, true);

    const QString dataFolder = NativePath(AppDataFolder());
    QString heldBy;
    const std::optional<TScheduleRunnerLock> lock =
        TScheduleRunnerLock::TryTake(dataFolder, QStringLiteral("trovalo-cli service"), &heldBy);
    if (!lock)
        throw TCliFailure{
            QStringLiteral("the schedules of %1 are already run by %2; a second runner would start "
                           "every job twice. Quit it first.")
                .arg(dataFolder, heldBy),
            ExitErrors};

    std::signal(SIGTERM, RememberStopSignal);
    std::signal(SIGINT, RememberStopSignal);
    TScheduleService service(context, startUp, conflictAnswer);
    return service.Exec();
}

} // namespace trovalo::cli
