#pragma once

#include "progress/JobPanelHost.h"
#include "progress/ThreadStatuesFrame.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QDialog;
class QKeySequence;
class QMenu;
class QSessionManager;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QWidget;

namespace trovalo {

class TAboutWindow;
class TArchiveData;
class TOptionForm;
class TProgramData;
class TProgramDatabase;
class TDriveArrivalListener;
class TScheduleForm;
class TScheduleRunner;
class TScheduleRunnerLock;
class TSessionEndWatcher;
struct TScheduleDecisions;
class TSafeRemoval;
class TSliderForm;
class TTrayFallbackWindow;
struct TDeletionProtection;
struct TRestorableRun;
struct TRestoreSelection;

// The program's single long-lived controller, made at start-up and gone at
// exit: the tray icon and its menu, the running-job count and the tray
// animation, the deleted-files alert, and the one place where a job file
// becomes a running job with its progress panel and completion message.
// The window-free steps (loading, questions, engine set-up) are the core's
// launchers; this class adds what needs windows. Interface thread only.
class TDataModuleQuillonSuite : public QObject, public TJobPanelHost
{
    Q_OBJECT

public:
    struct TOptions
    {
        bool UseSystemTray = true; // false: the stand-in window instead of the tray icon
        QString PCID;
        TProgramData *ProgramData = nullptr;         // not owned; defaults when null
        TProgramDatabase *ProgramDatabase = nullptr; // not owned; no alert and no schedules without it
        // The schedules' clock; DateTimeNow when empty (tests set their own).
        std::function<double()> Clock;
    };

    explicit TDataModuleQuillonSuite(const TOptions &options, QObject *parent = nullptr);
    ~TDataModuleQuillonSuite() override;

    // The controller of this run; null before it was made and after it went.
    static TDataModuleQuillonSuite *Instance();

    // After start-up: the icon becomes visible (or the stand-in window shows).
    void Show();
    // Another copy of the program was started: bring this one forward.
    void RestoreRequested();

    // Runs the job stored in FileName with its panel on PageControl. Index
    // picks the item of a PC-to-PC job (-1: by PC ID); Schedule: started by
    // the schedule runner (no completion message). False only when a PC-to-PC
    // job has no item for this computer. A job file that cannot be read gets
    // an error message and starts nothing.
    bool RunFile(const QString &FileName, QTabWidget *PageControl, int Index, bool Schedule);
    // The backup and move part of RunFile; null when the user declined.
    // Raises the core's EFileError or EUserException for a job file that
    // cannot be read (RunFile shows those as a message).
    TThreadStatuesFrame *LaunchArchiveJob(const QString &FileName, QTabWidget *PageControl);

    // Starts the restore of Selection from Run of the backup job Job,
    // stored in JobFile, with its panel on PageControl; the run holds the
    // job's run lock until it ends. Raises EUserException when a run of the
    // job is going or the selection is refused, EFileError when the run
    // cannot be read: nothing starts then.
    TThreadStatuesFrame *RunRestore(const QString &JobFile, const TArchiveData &Job,
                                    const TRestorableRun &Run, const TRestoreSelection &Selection,
                                    QTabWidget *PageControl);

    // Completion handlers.
    void ArchiveCompletionHandler(TThreadStatuesFrame &Sender, TThreadTermStat Stat);
    void SyncCompletionHandler(TThreadStatuesFrame &Sender, TThreadTermStat Stat);
    void PCSyncCompletionHandler(TThreadStatuesFrame &Sender, TThreadTermStat Stat);
    void ReStoreTerminate(TThreadStatuesFrame &Sender, TThreadTermStat Stat);

    // Finds the backup job file of a backup set, asking the user to browse.
    bool GetBackupFileName(QString &FileName, const QString &GUID);

    void BringFormToFront(QWidget *Form);
    bool AddViewForm(QWidget *Form);
    bool FreeViewForm(QWidget *Form);

    // The schedule editor, made on first use; null without a program
    // database. "Schedules" shows it and brings it to the front.
    TScheduleForm *ScheduleForm();
    // The time the schedules are computed from (the runner's and the
    // editor's clock).
    double ScheduleNow() const;

    // Menu actions, shared by the tray menu and the consoles' main menus.
    void OpenDriveAction();
    void OptionsAction();
    void SchedulesAction();
    void UpdateAction();
    void UsersManualAction();
    void HelpAction();
    void AboutAction();
    void ExitAction();

    // The deleted-files alert (every 6 s; also called by the options window).
    void TimerAlertTimer();

    // The options window, made hidden when the start-up ends (or by the
    // first OptionsAction) and kept until the controller goes; null before.
    void CreateOptionForm();
    TOptionForm *OptionForm() const;

    // Schedules (none without a program database): the check every second
    // (time schedules at each new minute), the start-up schedules once the
    // splash has ended, the drive-insertion schedules of a drive that has
    // arrived. Each due job runs in the console of its drive; a job file on
    // no drive is asked about with one box at a time.
    void ScheduleTimerTick();
    void RunStartupSchedules();
    void RunDriveSchedules(const QString &DriveRoot);
    TScheduleRunner *ScheduleRunner() const { return FScheduleRunner.get(); }
    // Why this copy runs no schedules ("" when it does): another process
    // (the headless service, say) runs them for the same data folder.
    QString SchedulesRunElsewhere() const { return FSchedulesElsewhere; }

    // Once the splash has ended: drive arrival, and the end of the session
    // and of the computer (logind, the GNOME session manager, X11 session
    // management), each where the desktop has it.
    void StartWatching();
    // A drive has arrived (its root, "F:"): a drive set up on this
    // computer opens its console when the settings or the drive ask for it,
    // and runs its drive-insertion schedules; any other drive is left alone.
    void SHChangeNotifyDriveAdd(const QString &Path);
    TDriveArrivalListener *DriveArrivalListener() const { return FArrival.get(); }
    TSessionEndWatcher *SessionEndWatcher() const { return FSessionEnd.get(); }
    // Moves the default schedule clock by Days (the automation socket's
    // "clock" command, so an end-to-end test can reach a schedule's time).
    void SetScheduleClockShift(double Days) { FScheduleClockShift = Days; }
    QTimer *ScheduleTimer() const { return FScheduleTimer; }

    // TJobPanelHost
    int RunningThreadCount() const override;
    void SetRunningThreadCount(int Value) override;
    TSliderForm *SliderForm() override;
    bool AutoCloseJobTab() const override;
    void SetAutoCloseJobTab(bool value) override;
    void JobEnded() override;
    void RemoveDriveOfPanel(QWidget &panel) override;

    // "Safely Remove" of the tray menu, the consoles and the panels.
    TSafeRemoval &SafeRemoval() const;
    // The last notice the tray showed besides the ready balloon (a removed
    // drive), as title and text.
    QString LastNotice() const { return FLastNotice; }

    QString PCID() const;
    TProgramData &ProgramData() const;
    // The program database; null when it could not be opened.
    TProgramDatabase *ProgramDatabase() const;
    bool ShutDownSend() const;
    void SetShutDownSend(bool value);
    qint64 DeleteUsedFileSize() const;

    QMenu *TrayMenu() const;
    QSystemTrayIcon *TrayIcon() const;           // null without a notification area
    TTrayFallbackWindow *FallbackWindow() const; // null with a notification area
    TAboutWindow *AboutWindow() const;
    // TrayImages: 0 at rest, then the animation's frames.
    QIcon TrayImage(int index) const;
    int TrayImageIndex() const;

    // The start-up steps of the splash: the icon becomes visible (without a
    // notification area: "Open Drive", then the stand-in window), the
    // image shown is chosen, and the balloon is shown with its current text.
    void ShowTrayIcon();
    void SetTrayImageIndex(int index);
    void ShowBalloon();
    // A balloon of its own (or, without a notification area, the stand-in
    // window's notice).
    void ShowNotice(const QString &title, const QString &text, bool warning);
    // The mini-window rule, for the pointer over the tray icon.
    void TrayIconMouseMove();

    // What the deleted-files alert left for the next balloon.
    QString BalloonText() const;
    bool BalloonWarning() const;
    // How often a balloon was shown in this run.
    int BalloonShowCount() const;

    bool OpenDriveOpened() const;
    // The open editor windows that registered themselves (not owned).
    const QList<QWidget *> &FormList() const;
    QTimer *TimerAlert() const;
    QTimer *TrayAnimationTimer() const;

    // The web pages of the menu's "User's Manual" and "Help": the defaults,
    // or the addresses in TROVALO_MANUAL_URL and TROVALO_HELP_URL.
    static QString UsersManualAddress();
    static QString HelpAddress();

    static const QString DeletedSpaceWarning;
    static const QString ClickToOpenText;

private:
    void BuildMenu();
    QAction *AddItem(const char *name, const QString &caption, const QKeySequence &shortcut, bool enabled);
    void TrayIconActivated(int reason);
    void AnimateTray();
    void ShowTrayImage();
    // Opens "Open Drive", then keeps the stand-in window in reach.
    void StartWithoutTray();
    TDeletionProtection Protection() const;
    // Takes the right to run this data folder's schedules; false when
    // another process has it (FSchedulesElsewhere says which).
    bool TakeScheduleLock();
    void SessionQuery(QSessionManager &manager);
    // Starts the decided jobs and asks the runner's question, if any.
    void ActOnSchedules(TScheduleDecisions decisions);
    void ShowCompletion(TThreadStatuesFrame &Sender, TThreadTermStat Stat, const QString &finished,
                        const QString &cancelled);
    // The sync and PC-to-PC part of RunFile; false: no item for this computer.
    bool LaunchSyncJob(const QString &FileName, QTabWidget *PageControl, int Index, bool Schedule,
                       bool &started);

    static TDataModuleQuillonSuite *FInstance;

    TOptions FOptions;
    std::unique_ptr<TProgramData> FOwnProgramData; // when none was given
    std::unique_ptr<QMenu> FTrayMenu;
    std::unique_ptr<TAboutWindow> FAboutWindow;
    std::unique_ptr<TTrayFallbackWindow> FFallbackWindow;
    std::unique_ptr<TSliderForm> FSliderForm;
    std::unique_ptr<TOptionForm> FOptionForm;
    QSystemTrayIcon *FTrayIcon = nullptr;
    QTimer *FTimerAlert = nullptr;
    QTimer *FTrayAnimation = nullptr;
    QTimer *FScheduleTimer = nullptr;
    std::unique_ptr<TScheduleRunnerLock> FScheduleLock;
    std::unique_ptr<TScheduleRunner> FScheduleRunner;
    QString FSchedulesElsewhere;
    std::unique_ptr<TDriveArrivalListener> FArrival;
    std::unique_ptr<TSessionEndWatcher> FSessionEnd;
    std::unique_ptr<TScheduleForm> FScheduleForm;
    std::unique_ptr<TSafeRemoval> FSafeRemoval;
    QString FLastNotice;
    double FScheduleClockShift = 0;
    QList<QIcon> FTrayImages;
    int FTrayImageIndex = 0;
    QAction *FOpenDrive = nullptr;
    QPointer<QDialog> FOpenFlash; // the "Open Drive" window while it is shown
    QList<QWidget *> FFormList;
    QString FBalloonText;
    bool FBalloonWarning = false;
    int FBalloonShowCount = 0;
    int FRunningThreadCount = 0;
    bool FOpenDriveOpened = false;
    bool FShutDownSend = false;
    qint64 FDeleteUsedFileSize = 0;
};

} // namespace trovalo
