#include "DataModuleQuillonSuite.h"

#include "AboutWindow.h"
#include "JobLaunchQuestions.h"
#include "MessageBoxes.h"
#include "TrayFallbackWindow.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Logging.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "control/ArchiveJobLauncher.h"
#include "control/DriveConfig.h"
#include "control/RestoreLauncher.h"
#include "control/ScheduleRunner.h"
#include "control/SessionEndWatcher.h"
#include "control/StartUp.h"
#include "control/SyncJobLauncher.h"
#include "db/ProgramDatabase.h"
#include "drives/OpenFlash.h"
#include "drives/SafeRemoval.h"
#include "engine/BackUpThreadBase.h"
#include "engine/SyncFolderThread.h"
#include "model/ArchiveData.h"
#include "model/ProgramData.h"
#include "model/ProgramIdentity.h"
#include "options/OptionForm.h"
#include "platform/AppPaths.h"
#include "platform/DriveArrivalListener.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/JobRunLock.h"
#include "platform/ScheduleRunnerLock.h"
#include "schedules/ScheduleForm.h"
#include "tray/DrivePicture.h"
#include "tray/SliderForm.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScopeGuard>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace trovalo {

namespace {

constexpr int TrayImageCount = 8;
constexpr int TrayAnimationInterval = 200;
constexpr int AlertInterval = 6000;

const QString DefaultManualAddress = QStringLiteral("https://trovalo.example/manual/");
const QString DefaultHelpAddress = QStringLiteral("https://trovalo.example/support/");

// The drive picture at one size: frame 0 at rest, 1 to 7 animating.
QPixmap DrawDriveImage(int size, int frame)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    PaintDrivePicture(painter, frame);
    return pixmap;
}

QIcon DrawTrayImage(int frame)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(DrawDriveImage(size, frame));
    return icon;
}

QString AddressFromEnvironment(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable).trimmed();
    return value.isEmpty() ? fallback : value;
}

// Extension of a job file in lower case, with its dot.
QString JobExtension(const QString &fileName)
{
    return ExtractFileExt(fileName).toLower();
}

void ShowJobFileError(const ETrovaloError &error)
{
    ShowInfoDialog(error.Message(), QStringLiteral("Job Not Run"), ProgramTitle, mtError);
}

// The run has started; a job file that cannot take the run's start time
// does not stop it, but the user must know the file was not updated.
template <typename TLaunch, typename TSave>
void SaveStartedJob(TLaunch &launch, TSave save)
{
    try {
        save(launch);
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(QStringLiteral("The job is running, but its job file could not be saved with this "
                                      "run's start time:\n") +
                           error.Message(),
                       QStringLiteral("Save Job"), ProgramTitle, mtWarning);
    }
}

} // namespace

const QString TDataModuleQuillonSuite::DeletedSpaceWarning =
    QStringLiteral("Deleted files space overload. Please clear deleted files.");
const QString TDataModuleQuillonSuite::ClickToOpenText = QStringLiteral("Click here to open Trovalo");

TDataModuleQuillonSuite *TDataModuleQuillonSuite::FInstance = nullptr;

TDataModuleQuillonSuite::TDataModuleQuillonSuite(const TOptions &options, QObject *parent)
    : QObject(parent)
    , FOptions(options)
    , FTrayMenu(std::make_unique<QMenu>())
    , FAboutWindow(std::make_unique<TAboutWindow>())
    , FSafeRemoval(std::make_unique<TSafeRemoval>())
    , FBalloonText(ClickToOpenText)
{
    if (!FOptions.ProgramData) {
        FOwnProgramData = std::make_unique<TProgramData>();
        FOptions.ProgramData = FOwnProgramData.get();
    }
    for (int frame = 0; frame < TrayImageCount; ++frame)
        FTrayImages << DrawTrayImage(frame);
    QGuiApplication::setWindowIcon(FTrayImages.constFirst());
    BuildMenu();
    connect(FSafeRemoval.get(), &TSafeRemoval::Removed, this, [this](const QString &, const QString &text) {
        ShowNotice(QStringLiteral("Safely Remove"), text, false);
    });
    if (FOptions.UseSystemTray) {
        FTrayIcon = new QSystemTrayIcon(FTrayImages.constFirst(), this);
        FTrayIcon->setObjectName(QStringLiteral("TrayIcon"));
        FTrayIcon->setToolTip(ProgramTitle);
        FTrayIcon->setContextMenu(FTrayMenu.get());
        connect(FTrayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { TrayIconActivated(int(reason)); });
    } else {
        FFallbackWindow = std::make_unique<TTrayFallbackWindow>(FTrayMenu->actions());
        FFallbackWindow->setWindowIcon(FTrayImages.constFirst());
    }
    FSliderForm = std::make_unique<TSliderForm>();

    FTrayAnimation = new QTimer(this);
    FTrayAnimation->setObjectName(QStringLiteral("TrayAnimation"));
    FTrayAnimation->setInterval(TrayAnimationInterval);
    connect(FTrayAnimation, &QTimer::timeout, this, &TDataModuleQuillonSuite::AnimateTray);

    FTimerAlert = new QTimer(this);
    FTimerAlert->setObjectName(QStringLiteral("TimerAlert"));
    FTimerAlert->setInterval(AlertInterval);
    connect(FTimerAlert, &QTimer::timeout, this, &TDataModuleQuillonSuite::TimerAlertTimer);
    FTimerAlert->start();

    if (FOptions.ProgramDatabase && TakeScheduleLock()) {
        FScheduleRunner = std::make_unique<TScheduleRunner>(*FOptions.ProgramDatabase, *FOptions.ProgramData,
                                                            [this] { return ScheduleNow(); });
        FScheduleTimer = new QTimer(this);
        FScheduleTimer->setObjectName(QStringLiteral("ScheduleTimer"));
        FScheduleTimer->setInterval(1000);
        connect(FScheduleTimer, &QTimer::timeout, this, &TDataModuleQuillonSuite::ScheduleTimerTick);
        FScheduleTimer->start();
    }

    FInstance = this;
    TJobPanelHost::SetCurrent(this);
}

bool TDataModuleQuillonSuite::TakeScheduleLock()
{
    try {
        QString heldBy;
        std::optional<TScheduleRunnerLock> lock = TScheduleRunnerLock::TryTake(
            NativePath(AppDataFolder()), QStringLiteral("the tray program (trovalo)"), &heldBy);
        if (!lock) {
            FSchedulesElsewhere =
                QStringLiteral("Schedules are not run by this window: %1 runs them.").arg(heldBy);
            qCWarning(LogSchedule).noquote() << FSchedulesElsewhere;
            FBalloonText = FSchedulesElsewhere;
            return false;
        }
        FScheduleLock = std::make_unique<TScheduleRunnerLock>(std::move(*lock));
    } catch (const ETrovaloError &error) {
        // Without a runtime folder there is no one to collide with either.
        qCWarning(LogSchedule).noquote() << "The schedules run without their lock:" << error.Message();
    }
    return true;
}

void TDataModuleQuillonSuite::StartWatching()
{
    if (!FArrival) {
        FArrival = std::make_unique<TDriveArrivalListener>();
        connect(FArrival.get(), &TDriveArrivalListener::DriveArrived, this,
                &TDataModuleQuillonSuite::SHChangeNotifyDriveAdd);
        if (!FArrival->Start())
            qCWarning(LogDrives) << "Drive arrival is not watched: no source could be started";
    }
    if (!FSessionEnd) {
        TSessionEndWatcher::THooks hooks;
        hooks.RunShutdownSchedules = [this] {
            if (FScheduleRunner)
                ActOnSchedules(FScheduleRunner->RunShutdownSchedules());
        };
        hooks.RunningJobs = [this] { return FRunningThreadCount; };
        hooks.Refused = [this](const QString &reason) {
            FBalloonText = reason;
            FBalloonWarning = false;
            ShowBalloon();
        };
        FSessionEnd = std::make_unique<TSessionEndWatcher>(std::move(hooks));
        FSessionEnd->Start(true, ProgramApplicationId);
        // The session manager ends the session now: leave as Exit does.
        connect(FSessionEnd.get(), &TSessionEndWatcher::SessionEnding, this,
                [] { QCoreApplication::exit(0); });
        if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            connect(application, &QGuiApplication::commitDataRequest, this,
                    &TDataModuleQuillonSuite::SessionQuery, Qt::DirectConnection);
    }
}

void TDataModuleQuillonSuite::SessionQuery(QSessionManager &manager)
{
    // X11 session management: a refusal needs the right to interact first.
    if (!FSessionEnd->QueryEnd() && manager.allowsInteraction()) {
        manager.cancel();
        manager.release();
    }
}

void TDataModuleQuillonSuite::SHChangeNotifyDriveAdd(const QString &Path)
{
    TDriveCheck check;
    try {
        check = CheckDrive(Path, FOptions.PCID);
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Drive Config"), ProgramTitle, mtError);
        return;
    }
    qCInfo(LogDrives).noquote() << "Drive" << Path << "arrived;"
                                << (check.Known ? "set up on this computer" : "not set up here: left alone");
    if (!check.Known)
        return;
    if (ProgramData().DriveAutoRun() || check.AutoLoad)
        TNewDrive::OpenDrive(Path);
    RunDriveSchedules(Path);
}

void TDataModuleQuillonSuite::JobEnded()
{
    if (FSessionEnd)
        FSessionEnd->JobsChanged();
}

TDataModuleQuillonSuite::~TDataModuleQuillonSuite()
{
    if (FScheduleTimer)
        FScheduleTimer->stop();
    FTimerAlert->stop();
    FTrayAnimation->stop();
    if (TJobPanelHost::Current() == this)
        TJobPanelHost::SetCurrent(nullptr);
    if (FInstance == this)
        FInstance = nullptr;
}

TDataModuleQuillonSuite *TDataModuleQuillonSuite::Instance()
{
    return FInstance;
}

void TDataModuleQuillonSuite::BuildMenu()
{
    FTrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    FTrayMenu->setToolTipsVisible(true);
    FOpenDrive = AddItem("OpenDrive1", QStringLiteral("Open Drive"), QKeySequence(), true);
    connect(FOpenDrive, &QAction::triggered, this, &TDataModuleQuillonSuite::OpenDriveAction);
    FTrayMenu->setDefaultAction(FOpenDrive);
    QMenu *removal = FTrayMenu->addMenu(QStringLiteral("Safely Remove"));
    removal->setObjectName(QStringLiteral("SafelyRemoveMenu"));
    removal->menuAction()->setObjectName(QStringLiteral("SafelyRemove1"));
    // The drives are read when the menu opens: sticks come and go.
    connect(removal, &QMenu::aboutToShow, this, [this, removal] { FSafeRemoval->FillMenu(*removal); });
    FTrayMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    QAction *options = AddItem("Settings1", QStringLiteral("Options"), QKeySequence(), true);
    connect(options, &QAction::triggered, this, &TDataModuleQuillonSuite::OptionsAction);
    QAction *schedules = AddItem("Schedules1", QStringLiteral("Schedules"), QKeySequence(), true);
    connect(schedules, &QAction::triggered, this, &TDataModuleQuillonSuite::SchedulesAction);
    // The update window comes later; its item is there but disabled so the
    // menu already has its final shape.
    FTrayMenu->addSeparator()->setObjectName(QStringLiteral("N11"));
    AddItem("Update1", QStringLiteral("Update"), QKeySequence(), false);
    QAction *manual = AddItem("UsersManual1", QStringLiteral("User's Manual"), QKeySequence(), true);
    connect(manual, &QAction::triggered, this, &TDataModuleQuillonSuite::UsersManualAction);
    QAction *help = AddItem("Help1", QStringLiteral("Help"), QKeySequence(Qt::Key_F1), true);
    connect(help, &QAction::triggered, this, &TDataModuleQuillonSuite::HelpAction);
    QAction *about = AddItem("About1", QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_A), true);
    connect(about, &QAction::triggered, this, &TDataModuleQuillonSuite::AboutAction);
    FTrayMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction *exit = AddItem("Exit1", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_X), true);
    exit->setToolTip(QStringLiteral("Exit Program"));
    exit->setStatusTip(QStringLiteral("Exit Program"));
    connect(exit, &QAction::triggered, this, &TDataModuleQuillonSuite::ExitAction);
}

QAction *TDataModuleQuillonSuite::AddItem(const char *name, const QString &caption,
                                          const QKeySequence &shortcut, bool enabled)
{
    QAction *action = FTrayMenu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    action->setEnabled(enabled);
    return action;
}

// A click opens "Open Drive". Qt reports no pointer movement over a tray
// icon, so the mini-window rule runs on a middle click, the one activation
// the menu and "Open Drive" leave free.
void TDataModuleQuillonSuite::TrayIconActivated(int reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        FOpenDrive->trigger();
    else if (reason == QSystemTrayIcon::MiddleClick)
        TrayIconMouseMove();
}

void TDataModuleQuillonSuite::TrayIconMouseMove()
{
    if (FOptions.ProgramData->MiniWindows() && FSliderForm && !FSliderForm->isVisible())
        FSliderForm->ShowSlider();
}

void TDataModuleQuillonSuite::Show()
{
    ShowTrayIcon();
    ShowBalloon();
}

void TDataModuleQuillonSuite::ShowTrayIcon()
{
    if (FTrayIcon) {
        FTrayIcon->show();
        return;
    }
    // After the caller's step is done (the splash closes first).
    QTimer::singleShot(0, this, &TDataModuleQuillonSuite::StartWithoutTray);
}

void TDataModuleQuillonSuite::StartWithoutTray()
{
    OpenDriveAction();
    // Without a notification area this window is the only way back to the
    // program once "Open Drive" is closed.
    FFallbackWindow->show();
}

void TDataModuleQuillonSuite::ShowBalloon()
{
    ++FBalloonShowCount;
    if (FTrayIcon)
        FTrayIcon->showMessage(QStringLiteral("Trovalo is ready for your computer"), FBalloonText,
                               FBalloonWarning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    else
        // No balloons without a notification area: a warning stays written
        // in the stand-in window instead.
        FFallbackWindow->ShowNotice(FBalloonWarning ? FBalloonText : QString());
}

void TDataModuleQuillonSuite::ShowNotice(const QString &title, const QString &text, bool warning)
{
    FLastNotice = title + QStringLiteral(": ") + text;
    if (FTrayIcon)
        FTrayIcon->showMessage(title, text,
                               warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    else
        FFallbackWindow->ShowNotice(text);
}

TSafeRemoval &TDataModuleQuillonSuite::SafeRemoval() const
{
    return *FSafeRemoval;
}

void TDataModuleQuillonSuite::RemoveDriveOfPanel(QWidget &panel)
{
    for (TNewDrive *console : TNewDrive::OpenConsoles())
        if (console->isAncestorOf(&panel))
            return FSafeRemoval->Remove(console->DriveLetter());
}

void TDataModuleQuillonSuite::RestoreRequested()
{
    if (FOpenFlash) {
        BringFormToFront(FOpenFlash);
        return;
    }
    if (FTrayIcon) {
        // There is no main window to bring forward; say where the program is.
        FTrayIcon->showMessage(ProgramTitle, QStringLiteral("Trovalo is already running"),
                               QSystemTrayIcon::Information);
    } else {
        FFallbackWindow->BringToFront();
    }
}

TDeletionProtection TDataModuleQuillonSuite::Protection() const
{
    TDeletionProtection protection;
    protection.Enabled = FOptions.ProgramData->MoveToDeleted() && FOptions.ProgramDatabase;
    protection.DeletedFolder = IncludeTrailingBackslash(FOptions.ProgramData->DeletedFolder());
    if (protection.Enabled)
        protection.ProgramDatabaseNative = NativePath(TStartUp::ProgramDatabaseFileName());
    return protection;
}

bool TDataModuleQuillonSuite::RunFile(const QString &FileName, QTabWidget *PageControl, int Index,
                                      bool Schedule)
{
    if (!PageControl) {
        qWarning("RunFile needs the page control that takes the job's panel");
        return true;
    }
    const QString extension = JobExtension(FileName);
    bool result = true;
    bool started = false;
    try {
        if (extension == QLatin1String(".zja") || extension == QLatin1String(".zjm")) {
            TThreadStatuesFrame *panel = LaunchArchiveJob(FileName, PageControl);
            if (!panel)
                return true;
            if (Schedule)
                panel->SetOnTerminate({});
            started = true;
        } else if (extension == QLatin1String(".zjs") || extension == QLatin1String(".zjp")) {
            result = LaunchSyncJob(FileName, PageControl, Index, Schedule, started);
            if (!started)
                return result;
        }
    } catch (const ETrovaloError &error) {
        // A job file that cannot be opened or read starts nothing.
        ShowJobFileError(error);
        return true;
    }
    if (started && PageControl->currentWidget())
        PageControl->currentWidget()->update();
    BringFormToFront(PageControl->window());
    return result;
}

TThreadStatuesFrame *TDataModuleQuillonSuite::LaunchArchiveJob(const QString &FileName,
                                                               QTabWidget *PageControl)
{
    TJobLaunchQuestions questions;
    TArchiveJobLauncher launcher(PCID(), Protection(), questions);
    std::unique_ptr<TArchiveLaunch> launch = launcher.Prepare(FileName, DateTimeNow());
    if (!launch)
        return nullptr;

    const TArchiveData &job = *launch->Job;
    TThreadStatuesFrame *panel =
        TThreadStatuesFrame::MakeFrame(job.BackupName(), PageControl, job.FileGUID());
    panel->SetOnTerminate([this](TThreadStatuesFrame &Sender, TThreadTermStat Stat) {
        ArchiveCompletionHandler(Sender, Stat);
    });
    if (TSliderForm *slider = SliderForm())
        panel->SetMiniFrameItem(
            slider->AddListItem(job.BackupName(), job.ArchiveMode() == amMove ? itMove : itBackup));

    TThreadBase &thread = *launch->Thread;
    std::shared_ptr<TArchiveLaunch> owner(std::move(launch));
    // Move jobs too: the panel shows every backup-engine run alike.
    panel->AttachThread(thread, itBackup, owner);
    thread.start();
    SaveStartedJob(*owner, &TArchiveJobLauncher::SaveStartedJob);
    return panel;
}

bool TDataModuleQuillonSuite::LaunchSyncJob(const QString &FileName, QTabWidget *PageControl, int Index,
                                            bool Schedule, bool &started)
{
    TJobLaunchQuestions questions;
    TSyncJobLauncher launcher(PCID(), Protection(), questions);
    std::unique_ptr<TSyncLaunch> launch = launcher.Prepare(FileName, DateTimeNow(), Index);
    if (!launch)
        return launcher.Refusal() != TSyncLaunchRefusal::NoItemForComputer;

    const bool pcSync = launch->Kind == TJobKind::PCSync;
    TThreadStatuesFrame *panel =
        TThreadStatuesFrame::MakeFrame(launch->Caption, PageControl, launch->PanelKey);
    if (!Schedule) {
        if (pcSync)
            panel->SetOnTerminate([this](TThreadStatuesFrame &Sender, TThreadTermStat Stat) {
                PCSyncCompletionHandler(Sender, Stat);
            });
        else
            panel->SetOnTerminate([this](TThreadStatuesFrame &Sender, TThreadTermStat Stat) {
                SyncCompletionHandler(Sender, Stat);
            });
    }
    if (TSliderForm *slider = SliderForm())
        panel->SetMiniFrameItem(slider->AddListItem(launch->Caption, itPCSync));

    TThreadBase &thread = *launch->Thread;
    std::shared_ptr<TSyncLaunch> owner(std::move(launch));
    panel->AttachThread(thread, pcSync ? itPCSync : itSync, owner);
    thread.start();
    started = true;
    SaveStartedJob(*owner, &TSyncJobLauncher::SaveStartedJob);
    return true;
}

TThreadStatuesFrame *TDataModuleQuillonSuite::RunRestore(const QString &JobFile, const TArchiveData &Job,
                                                         const TRestorableRun &Run,
                                                         const TRestoreSelection &Selection,
                                                         QTabWidget *PageControl)
{
    // A restore reads what a run of the job writes: neither starts while
    // the other goes on.
    struct TRestoreLaunch
    {
        TJobRunLock Lock;
        std::unique_ptr<TRestoreThreadBase> Thread;
    };
    auto launch = std::make_shared<TRestoreLaunch>();
    launch->Lock = TJobRunLock::Take(Job.FileGUID(), JobFile);
    launch->Thread = TRestoreLauncher::Prepare(Job, Run, Selection);

    TThreadStatuesFrame *panel =
        TThreadStatuesFrame::MakeFrame(Job.BackupName(), PageControl, Job.FileGUID());
    panel->SetOnTerminate(
        [this](TThreadStatuesFrame &Sender, TThreadTermStat Stat) { ReStoreTerminate(Sender, Stat); });
    if (TSliderForm *slider = SliderForm())
        panel->SetMiniFrameItem(slider->AddListItem(Job.BackupName(), itResotre));
    TThreadBase &thread = *launch->Thread;
    panel->AttachThread(thread, itUnknown, launch);
    thread.start();
    BringFormToFront(PageControl->window());
    return panel;
}

void TDataModuleQuillonSuite::ScheduleTimerTick()
{
    if (FScheduleRunner)
        ActOnSchedules(FScheduleRunner->MinuteTick());
}

void TDataModuleQuillonSuite::RunStartupSchedules()
{
    if (FScheduleRunner)
        ActOnSchedules(FScheduleRunner->RunStartupSchedules());
}

void TDataModuleQuillonSuite::RunDriveSchedules(const QString &DriveRoot)
{
    if (FScheduleRunner)
        ActOnSchedules(FScheduleRunner->RunDriveSchedules(DriveRoot));
}

void TDataModuleQuillonSuite::ActOnSchedules(TScheduleDecisions decisions)
{
    try {
        for (;;) {
            for (const TScheduledStart &start : decisions.Starts) {
                qCInfo(LogSchedule).noquote() << "Schedule" << start.ScheduleId << "starts" << start.JobFile;
                // A drive that went away since the decision opens nothing.
                if (TNewDrive *console = TNewDrive::OpenDrive(start.Drive))
                    RunFile(start.JobFile, console->ThreadState(), -1, start.Unattended);
                else
                    qCWarning(LogSchedule).noquote() << "Schedule" << start.ScheduleId << ": drive"
                                                     << start.Drive << "is gone; not started";
            }
            if (!decisions.Question)
                return;
            // The runner keeps every tick quiet while this box is open.
            const TFileNotFoundQuestion question = *decisions.Question;
            const bool ok = ShowOKCancleDialog(question.Text(), TFileNotFoundQuestion::Title(), ProgramTitle,
                                               mtConfirmation) == mrOk;
            decisions = FScheduleRunner->AnswerFileNotFound(ok);
        }
    } catch (const ETrovaloError &error) {
        // A damaged program database must not stop the tray program.
        qCWarning(LogSchedule).noquote() << "Schedules not checked:" << error.Message();
    }
}

void TDataModuleQuillonSuite::ShowCompletion(TThreadStatuesFrame &Sender, TThreadTermStat Stat,
                                             const QString &finished, const QString &cancelled)
{
    if (ShutDownSend())
        return;
    // Decided by how the run ended, never by the status texts.
    Q_UNUSED(Stat);
    const TRunOutcome &outcome = Sender.Outcome();
    const bool wasCancelled = outcome.Cancelled();
    const QString message = (wasCancelled ? cancelled : finished) + QStringLiteral("\nTotal Files : ") +
                            QString::number(outcome.FilesDone) + QStringLiteral("\nErrors : ") +
                            QString::number(outcome.Errors());
    const QString title = wasCancelled ? QStringLiteral("Job Cancled.") : QStringLiteral("Job Completed.");
    // A run with failed files or errors is not shown like a clean one.
    const TMsgDlgType kind =
        outcome.Errors() > 0 || outcome.End == TRunEnd::ThreadError ? mtWarning : mtInformation;
    ShowInfoDialog(message, title, ProgramTitle, kind);
}

void TDataModuleQuillonSuite::ArchiveCompletionHandler(TThreadStatuesFrame &Sender, TThreadTermStat Stat)
{
    const auto *engine = dynamic_cast<const TBackUpThreadBase *>(Sender.Worker());
    if (engine && engine->ArchiveMode() == amMove)
        ShowCompletion(Sender, Stat, QStringLiteral("File moves cmpleted !"),
                       QStringLiteral("File moves Cancled !"));
    else
        ShowCompletion(Sender, Stat, QStringLiteral("Backup file operation completed !"),
                       QStringLiteral("Backup file operation Cancled !"));
}

void TDataModuleQuillonSuite::SyncCompletionHandler(TThreadStatuesFrame &Sender, TThreadTermStat Stat)
{
    ShowCompletion(Sender, Stat, QStringLiteral("Sync file operation completed !"),
                   QStringLiteral("Sync file operation Cancled !"));
}

void TDataModuleQuillonSuite::PCSyncCompletionHandler(TThreadStatuesFrame &Sender, TThreadTermStat Stat)
{
    ShowCompletion(Sender, Stat, QStringLiteral("PC Sync file operation completed !"),
                   QStringLiteral("PC Sync file operation Cancled !"));
}

void TDataModuleQuillonSuite::ReStoreTerminate(TThreadStatuesFrame &Sender, TThreadTermStat Stat)
{
    ShowCompletion(Sender, Stat, QStringLiteral("Restore file operation completed !"),
                   QStringLiteral("Restore file operation Cancled !"));
}

bool TDataModuleQuillonSuite::GetBackupFileName(QString &FileName, const QString &GUID)
{
    bool browse = !FileExists(FileName);
    if (browse &&
        ShowYesNoDialog(QStringLiteral("Backup file not found. Would you like to browse for it?"),
                        QStringLiteral("Backup File Not Found"), ProgramTitle, mtWarning, false) != mrYes)
        return false;
    const QList<TFileType> types{
        {QStringLiteral("Trovalo Suite Backup File (*.Zja)"), QStringLiteral("*.Zja")}};
    // The file dialog speaks native paths; jobs name files by drive letter.
    QString chosen = ToNativePath(FileName).value_or(QString());
    for (;;) {
        if (browse && !ShowFileOpenDialog(chosen, types))
            return false;
        try {
            const QString candidate = browse ? LetterPath(chosen) : FileName;
            TArchiveData job;
            TArchiveJobLauncher::LoadJob(job, candidate);
            if (job.GUID() == GUID) {
                FileName = candidate;
                return true;
            }
            ShowInfoDialog(
                QStringLiteral(
                    "Selected file does not belong to this backup. Please select a deferent file."),
                QStringLiteral("File Mismatch "), ProgramTitle, mtInformation);
        } catch (const ETrovaloError &error) {
            ShowInfoDialog(QStringLiteral("Error : ") + error.Message(), QStringLiteral("Unknown Error"),
                           ProgramTitle, mtError);
        }
        browse = true;
    }
}

void TDataModuleQuillonSuite::BringFormToFront(QWidget *Form)
{
    if (!Form)
        return;
    if (Form->isMinimized())
        Form->showNormal();
    else
        Form->show();
    Form->raise();
    Form->activateWindow();
}

bool TDataModuleQuillonSuite::AddViewForm(QWidget *Form)
{
    FFormList.append(Form);
    return true;
}

bool TDataModuleQuillonSuite::FreeViewForm(QWidget *Form)
{
    return FFormList.removeOne(Form);
}

void TDataModuleQuillonSuite::OpenDriveAction()
{
    if (FOpenDriveOpened)
        return;
    FOpenDriveOpened = true;
    const auto reset = qScopeGuard([this] { FOpenDriveOpened = false; });
    try {
        TOpenFlash dialog;
        FOpenFlash = &dialog;
        dialog.SetDriveTypes(QStringLiteral("USB"));
        if (ExecModal(dialog) == QDialog::Accepted)
            TNewDrive::OpenDrive(dialog.DefaultStr());
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Open Drive"), ProgramTitle, mtError);
    }
}

void TDataModuleQuillonSuite::OptionsAction()
{
    CreateOptionForm();
    BringFormToFront(FOptionForm.get());
}

void TDataModuleQuillonSuite::CreateOptionForm()
{
    if (!FOptionForm)
        FOptionForm = std::make_unique<TOptionForm>(*this);
}

TOptionForm *TDataModuleQuillonSuite::OptionForm() const
{
    return FOptionForm.get();
}

// The schedule and update windows are built in later steps; their menu
// items stay disabled until then.

double TDataModuleQuillonSuite::ScheduleNow() const
{
    return FOptions.Clock ? FOptions.Clock() : DateTimeNow() + FScheduleClockShift;
}

TScheduleForm *TDataModuleQuillonSuite::ScheduleForm()
{
    if (!FScheduleForm && FOptions.ProgramDatabase) {
        FScheduleForm =
            std::make_unique<TScheduleForm>(*FOptions.ProgramDatabase, [this] { return ScheduleNow(); });
        connect(FScheduleForm.get(), &TScheduleForm::Hidden, this,
                [this] { FreeViewForm(FScheduleForm.get()); });
    }
    return FScheduleForm.get();
}

void TDataModuleQuillonSuite::SchedulesAction()
{
    TScheduleForm *form = ScheduleForm();
    if (!form) {
        ShowInfoDialog(QStringLiteral("The schedules cannot be shown: the program database could not be "
                                      "opened at start-up."),
                       QStringLiteral("Schedules"), ProgramTitle, mtError);
        return;
    }
    if (!FFormList.contains(form))
        AddViewForm(form);
    BringFormToFront(form);
}

void TDataModuleQuillonSuite::UpdateAction()
{}

QString TDataModuleQuillonSuite::UsersManualAddress()
{
    return AddressFromEnvironment("TROVALO_MANUAL_URL", DefaultManualAddress);
}

QString TDataModuleQuillonSuite::HelpAddress()
{
    return AddressFromEnvironment("TROVALO_HELP_URL", DefaultHelpAddress);
}

void TDataModuleQuillonSuite::UsersManualAction()
{
    QDesktopServices::openUrl(QUrl::fromUserInput(UsersManualAddress()));
}

void TDataModuleQuillonSuite::HelpAction()
{
    QDesktopServices::openUrl(QUrl::fromUserInput(HelpAddress()));
}

void TDataModuleQuillonSuite::AboutAction()
{
    FAboutWindow->adjustSize();
    FAboutWindow->show();
    FAboutWindow->raise();
}

void TDataModuleQuillonSuite::ExitAction()
{
    const int answer =
        ShowYesNoDialog(QStringLiteral("Are you sure you want to exit ") + ProgramTitle + QLatin1Char('?'),
                        ProgramTitle, ProgramTitle, mtConfirmation, false);
    if (answer != mrYes)
        return;
    // Running jobs are not waited for; their threads end with the process.
    if (FTrayIcon)
        FTrayIcon->hide();
    if (FFallbackWindow)
        FFallbackWindow->hide();
    FSliderForm->hide();
    FAboutWindow->hide();
    // exit() rather than quit(): quit() first asks every window to close and
    // gives up when one refuses, and the stand-in window refuses.
    QCoreApplication::exit(0);
}

void TDataModuleQuillonSuite::TimerAlertTimer()
{
    if (!FOptions.ProgramDatabase)
        return;
    const qint64 used = FOptions.ProgramDatabase->DeletedFilesSize();
    if (used > FOptions.ProgramData->MaxDeletedSize()) {
        FBalloonText = DeletedSpaceWarning;
        FBalloonWarning = true;
        ShowBalloon();
    } else {
        FBalloonText = ClickToOpenText;
        FBalloonWarning = false;
        if (FFallbackWindow)
            FFallbackWindow->ShowNotice(QString());
    }
    FDeleteUsedFileSize = used;
}

int TDataModuleQuillonSuite::RunningThreadCount() const
{
    return FRunningThreadCount;
}

void TDataModuleQuillonSuite::SetRunningThreadCount(int Value)
{
    if (Value > 0) {
        const bool started = Value > FRunningThreadCount;
        FRunningThreadCount = Value;
        if (started && FSessionEnd)
            FSessionEnd->JobsChanged(); // hold a shut-down back from the first moment
        if (!FTrayAnimation->isActive())
            FTrayAnimation->start();
        return;
    }
    FRunningThreadCount = 0;
    FTrayAnimation->stop();
    SetTrayImageIndex(0);
}

void TDataModuleQuillonSuite::AnimateTray()
{
    SetTrayImageIndex((FTrayImageIndex + 1) % TrayImageCount);
}

void TDataModuleQuillonSuite::SetTrayImageIndex(int index)
{
    FTrayImageIndex = qBound(0, index, TrayImageCount - 1);
    ShowTrayImage();
}

void TDataModuleQuillonSuite::ShowTrayImage()
{
    const QIcon &image = FTrayImages.at(FTrayImageIndex);
    if (FTrayIcon)
        FTrayIcon->setIcon(image);
    else
        FFallbackWindow->setWindowIcon(image);
}

TSliderForm *TDataModuleQuillonSuite::SliderForm()
{
    return FSliderForm.get();
}

bool TDataModuleQuillonSuite::AutoCloseJobTab() const
{
    return FOptions.ProgramData->AutoCloseJobTab();
}

void TDataModuleQuillonSuite::SetAutoCloseJobTab(bool value)
{
    FOptions.ProgramData->SetAutoCloseJobTab(value);
}

QString TDataModuleQuillonSuite::PCID() const
{
    return FOptions.PCID;
}

TProgramData &TDataModuleQuillonSuite::ProgramData() const
{
    return *FOptions.ProgramData;
}

TProgramDatabase *TDataModuleQuillonSuite::ProgramDatabase() const
{
    return FOptions.ProgramDatabase;
}

bool TDataModuleQuillonSuite::ShutDownSend() const
{
    return FShutDownSend || (FSessionEnd && FSessionEnd->Policy().ShutDownSend());
}

void TDataModuleQuillonSuite::SetShutDownSend(bool value)
{
    FShutDownSend = value;
}

qint64 TDataModuleQuillonSuite::DeleteUsedFileSize() const
{
    return FDeleteUsedFileSize;
}

QMenu *TDataModuleQuillonSuite::TrayMenu() const
{
    return FTrayMenu.get();
}

QSystemTrayIcon *TDataModuleQuillonSuite::TrayIcon() const
{
    return FTrayIcon;
}

TTrayFallbackWindow *TDataModuleQuillonSuite::FallbackWindow() const
{
    return FFallbackWindow.get();
}

TAboutWindow *TDataModuleQuillonSuite::AboutWindow() const
{
    return FAboutWindow.get();
}

QIcon TDataModuleQuillonSuite::TrayImage(int index) const
{
    return FTrayImages.value(index);
}

int TDataModuleQuillonSuite::TrayImageIndex() const
{
    return FTrayImageIndex;
}

QString TDataModuleQuillonSuite::BalloonText() const
{
    return FBalloonText;
}

bool TDataModuleQuillonSuite::BalloonWarning() const
{
    return FBalloonWarning;
}

int TDataModuleQuillonSuite::BalloonShowCount() const
{
    return FBalloonShowCount;
}

bool TDataModuleQuillonSuite::OpenDriveOpened() const
{
    return FOpenDriveOpened;
}

const QList<QWidget *> &TDataModuleQuillonSuite::FormList() const
{
    return FFormList;
}

QTimer *TDataModuleQuillonSuite::TimerAlert() const
{
    return FTimerAlert;
}

QTimer *TDataModuleQuillonSuite::TrayAnimationTimer() const
{
    return FTrayAnimation;
}

} // namespace trovalo
