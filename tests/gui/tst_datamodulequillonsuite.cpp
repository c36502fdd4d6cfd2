#include "DialogAnswers.h"
#include "StandInEngine.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "UDisks2Mock.h"

#include "AboutWindow.h"
#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "TrayFallbackWindow.h"
#include "base/Exceptions.h"
#include "base/Logging.h"
#include "console/NewDrive.h"
#include "control/DriveConfig.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "drives/OpenFlash.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"
#include "model/ProgramData.h"
#include "model/Schedule.h"
#include "model/SyncData.h"
#include "model/SyncDataItems.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/JobRunLock.h"
#include "platform/RecordFile.h"
#include "platform/ScheduleRunnerLock.h"
#include "progress/ThreadStatuesFrame.h"
#include "tray/SliderForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUuid>
#include <QtTest>

using namespace trovalo;

namespace {

const QString ThisPc = QStringLiteral("1A2B - 3C4D");
const QString OtherPc = QStringLiteral("9999 - 0000");

TDataModuleQuillonSuite::TOptions TrayOptions(bool useSystemTray, TProgramData *data = nullptr,
                                              TProgramDatabase *database = nullptr)
{
    TDataModuleQuillonSuite::TOptions options;
    options.UseSystemTray = useSystemTray;
    options.PCID = ThisPc;
    options.ProgramData = data;
    options.ProgramDatabase = database;
    return options;
}

// Every message box asked, answered with Answer (or by title).
struct TAskedBoxes
{
    QList<TMessageRequest> Asked;
    QMap<QString, int> AnswerByTitle;
    int Answer = mrOk;

    TAskedBoxes()
    {
        SetMessageBoxHandler([this](const TMessageRequest &request) {
            Asked << request;
            return AnswerByTitle.value(request.Title, Answer);
        });
    }
    ~TAskedBoxes() { SetMessageBoxHandler({}); }
    QStringList Titles() const
    {
        QStringList titles;
        for (const TMessageRequest &request : Asked)
            titles << request.Title;
        return titles;
    }
};

// Drives C: (the computer) and E: (a USB stick) with two files to copy.
struct TJobDrives
{
    test::TTestDrives Drives{{{'C', QString()}, {'E', QStringLiteral("bus=USB")}}};
    TJobDrives()
    {
        test::PutAt(QStringLiteral("C:\\Docs\\a.txt"), "alpha");
        test::PutAt(QStringLiteral("C:\\Docs\\b.txt"), "beta");
        QDir().mkpath(Drives.Native('E', QStringLiteral("Config")));
        QDir().mkpath(Drives.Native('E', QStringLiteral("Backup")));
        QDir().mkpath(Drives.Native('E', QStringLiteral("Moved")));
        // The sync jobs' USB folders: a missing one is logged as not read.
        QDir().mkpath(Drives.Native('E', QStringLiteral("Synced")));
        QDir().mkpath(Drives.Native('E', QStringLiteral("Shared1")));
    }
};

QString SaveArchiveJob(const QString &jobFile, TArchiveMode mode, TArchiveDir dir, const QString &destination,
                       const QStringList &folders, const QString &name = QStringLiteral("My Backup"))
{
    TArchiveData job;
    job.SetBackupName(name);
    job.SetArchiveDir(dir);
    job.SetArchiveMode(mode);
    job.SetDeleteFile(mode == amMove);
    job.SetDestination(destination);
    job.SetFolderList(folders);
    job.SetPCID(ThisPc);
    job.SetGUID(QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
    SaveToFile(job, jobFile);
    return jobFile;
}

QString SaveSyncJob(const QString &jobFile)
{
    TSyncData job;
    job.SetSyncName(QStringLiteral("Docs sync"));
    job.SetPCID(ThisPc);
    job.SetFolderAList({QStringLiteral("\\Synced")});
    job.SetFolderBList({QStringLiteral("C:\\Docs")});
    SaveToFile(job, jobFile);
    return jobFile;
}

QString SavePCSyncJob(const QString &jobFile, const QStringList &pcIds)
{
    TPCSyncData job;
    job.SetSyncName(QStringLiteral("Office"));
    for (int i = 0; i < pcIds.size(); ++i) {
        TSyncDataItem *item = job.SyncDataItems()->Add();
        item->SetID(QStringLiteral("item%1").arg(i + 1));
        item->SetSyncName(QStringLiteral("Item %1").arg(i + 1));
        item->SetPCID(pcIds[i]);
        item->SetFolderAList({QStringLiteral("\\Shared%1").arg(i + 1)});
        item->SetFolderBList({QStringLiteral("C:\\Docs")});
    }
    SaveToFile(job, jobFile);
    return jobFile;
}

// The job file of a kind on E: (the restore handler is tried on a backup run).
QString SaveJobOfKind(const QString &kind)
{
    if (kind == QLatin1String("backup") || kind == QLatin1String("restore"))
        return SaveArchiveJob(QStringLiteral("E:\\Config\\Backup1.Zja"), amIncremental, amPcToUsb,
                              QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
    if (kind == QLatin1String("move"))
        return SaveArchiveJob(QStringLiteral("E:\\Config\\Move1.Zjm"), amMove, amPcToUsb,
                              QStringLiteral("E:\\Moved\\"), {QStringLiteral("C:\\Docs\\")});
    if (kind == QLatin1String("sync"))
        return SaveSyncJob(QStringLiteral("E:\\Config\\Sync1.Zjs"));
    return SavePCSyncJob(QStringLiteral("E:\\Config\\Office.Zjp"), {ThisPc});
}

TThreadStatuesFrame *WaitForEnd(QTabWidget &page)
{
    auto *panel = page.findChild<TThreadStatuesFrame *>();
    if (panel && !QTest::qWaitFor([&] { return !panel->Running(); }, 15000))
        return nullptr;
    QCoreApplication::processEvents();
    return panel;
}

QString CreateProgramDatabase(const QString &path)
{
    CreateProgramDatabaseFile(path);
    return path;
}

// Takes the addresses QDesktopServices is asked to open.
class TUrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Opened;

public slots:
    void Open(const QUrl &url) { Opened << url; }
};

} // namespace

class TestDataModuleQuillonSuite : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void schedulesRunInTheConsoleOfTheirDrive();
    void arrivalOfADrive_data();
    void arrivalOfADrive();
    void schedulesLeftToTheServiceThatRunsThem();
    void menuItems_data();
    void menuItems();
    void menuShape();
    void exitAsksAndQuitsOnlyOnYes_data();
    void exitAsksAndQuitsOnlyOnYes();
    void aboutShowsVersionAndHidesOnClick_data();
    void aboutShowsVersionAndHidesOnClick();
    void completionMessage_data();
    void completionMessage();
    void completionMessageFollowsTheOutcome_data();
    void completionMessageFollowsTheOutcome();
    void moveLeavesItsDeletionsInTheLog();
    void slideOutRowOfTheJob_data();
    void slideOutRowOfTheJob();
    void pcSyncWithoutItemForThisComputer();
    void declinedQuestionsStartNothing_data();
    void declinedQuestionsStartNothing();
    void toUsbJobFollowsTheDriveLetter();
    void unreadableJobFile_data();
    void unreadableJobFile();
    void otherExtensionRunsNothing();
    void trayAnimation();
    void trayImagesDiffer();
    void deletedFilesAlert_data();
    void deletedFilesAlert();
    void openDriveGuard_data();
    void openDriveGuard();
    void miniWindowRule_data();
    void miniWindowRule();
    void webPages_data();
    void webPages();
    void backupFileName_data();
    void backupFileName();
    void viewForms();
    void panelHostIsTheController();
    void windowStandsInWithoutNotificationArea();
    void safelyRemovesTheDriveWhenItsJobEnds();
};

void TestDataModuleQuillonSuite::cleanup()
{
    SetMessageBoxHandler({});
    SetModalHandler({});
}

// A time schedule due at the injected time runs its job on the tab of its
// drive's console; a job file on no drive is asked about in one box, however
// many ticks pass while it is open; a drive-insertion job runs on arrival.
void TestDataModuleQuillonSuite::schedulesRunInTheConsoleOfTheirDrive()
{
    TJobDrives drives;
    QTemporaryDir folder;
    TProgramDatabase database(CreateProgramDatabase(folder.filePath(QStringLiteral("ProgramData.zjd"))));
    const QString job = SaveArchiveJob(QStringLiteral("E:\\Config\\Backup1.Zja"), amIncremental, amPcToUsb,
                                       QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
    TSchedule rule;
    rule.SetScheduleMode(smWeekly);
    rule.SetWeekDays(TWeekDays(dMonday | dTuesday | dWednesday | dThursday | dFriday | dSaturday | dSunday));
    rule.SetTimeH(10);
    const auto add = [&](const QString &file, int trigger) {
        TScheduleRunRow row;
        row.ID = database.AddSchedule(file, QStringLiteral("My Backup"));
        row.FileName = file;
        row.JobName = QStringLiteral("My Backup");
        row.Mode = trigger;
        row.NextRunTime = EncodeDateTime(QDate(2026, 5, 4), QTime(10, 0));
        row.Data = rule.SaveToBytes();
        database.UpdateSchedule(row);
    };
    add(job, stTime);
    add(QStringLiteral("E:\\Config\\Gone.Zja"), stTime);
    // A second stick with a job due at the same time.
    drives.Drives.AddDrive('F', drives.Drives.Base() + QStringLiteral("/f"), QStringLiteral("bus=USB"));
    QDir().mkpath(drives.Drives.Native('F', QStringLiteral("Config")));
    QDir().mkpath(drives.Drives.Native('F', QStringLiteral("Backup")));
    add(SaveArchiveJob(QStringLiteral("F:\\Config\\Backup2.Zja"), amIncremental, amPcToUsb,
                       QStringLiteral("F:\\Backup\\"), {QStringLiteral("C:\\Docs\\")},
                       QStringLiteral("Other")),
        stTime);

    TDateTime now = EncodeDateTime(QDate(2026, 5, 4), QTime(9, 59, 30));
    TDataModuleQuillonSuite::TOptions options = TrayOptions(false, nullptr, &database);
    options.Clock = [&now] { return now; };
    TDataModuleQuillonSuite tray(options);
    QStringList asked;
    SetMessageBoxHandler([&](const TMessageRequest &request) {
        asked << request.Title;
        if (request.Title == QLatin1String("File Not Found")) {
            // Ticks while the box is open neither ask again nor start anything.
            now += 1.0 / 24 / 60;
            tray.ScheduleTimerTick();
            tray.ScheduleTimerTick();
            return int(mrCancel);
        }
        return int(mrOk);
    });
    const auto consoles = qScopeGuard([] {
        SetMessageBoxHandler({});
        qDeleteAll(TNewDrive::OpenConsoles());
    });
    tray.ScheduleTimerTick();
    QVERIFY(TNewDrive::OpenConsoles().isEmpty()); // nothing due in the runner's first minute

    now = EncodeDateTime(QDate(2026, 5, 4), QTime(10, 0, 20));
    tray.ScheduleTimerTick();
    // Each job in the console of its own drive.
    QCOMPARE(TNewDrive::OpenConsoles().size(), 2);
    TNewDrive *console = TNewDrive::OpenConsoles().constFirst();
    TNewDrive *other = TNewDrive::OpenConsoles().constLast();
    QCOMPARE(console->DriveLetter(), QStringLiteral("E:\\"));
    QCOMPARE(other->DriveLetter(), QStringLiteral("F:\\"));
    QVERIFY(WaitForEnd(*console->ThreadState()));
    QVERIFY(WaitForEnd(*other->ThreadState()));
    QCOMPARE(console->ThreadState()->tabText(1), QStringLiteral("My Backup"));
    QCOMPARE(other->ThreadState()->tabText(1), QStringLiteral("Other"));
    QCOMPARE(test::ReadAt(QStringLiteral("E:\\Backup\\C\\Docs\\a.txt")), QByteArray("alpha"));
    QCOMPARE(test::ReadAt(QStringLiteral("F:\\Backup\\C\\Docs\\a.txt")), QByteArray("alpha"));
    QCOMPARE(asked,
             QStringList{QStringLiteral("File Not Found")}); // a scheduled run ends without its message
    QCOMPARE(console->ThreadState()->count(), 2);

    // Plugged in: the drive-insertion job runs in the same console.
    delete other;
    add(job, stDriveInsertion);
    test::PutAt(QStringLiteral("C:\\Docs\\c.txt"), "gamma");
    tray.RunDriveSchedules(QStringLiteral("E:\\"));
    QVERIFY(WaitForEnd(*console->ThreadState()));
    QTRY_COMPARE(test::ReadAt(QStringLiteral("E:\\Backup\\C\\Docs\\c.txt")), QByteArray("gamma"));
    QCOMPARE(TNewDrive::OpenConsoles().size(), 1);
}

// Only a drive set up on this computer is acted on: its console opens when
// the settings or the drive ask for it, and its drive-insertion job runs
// (opening the console for itself when it must).
void TestDataModuleQuillonSuite::arrivalOfADrive_data()
{
    QTest::addColumn<QStringList>("setUpOn");
    QTest::addColumn<bool>("autoLoad");
    QTest::addColumn<bool>("driveAutoRun");
    QTest::addColumn<bool>("insertionJob");
    QTest::addColumn<bool>("consoleOpens");
    QTest::newRow("never set up") << QStringList() << true << true << true << false;
    QTest::newRow("set up on other computers only")
        << QStringList{QStringLiteral("0000 - 0001")} << true << true << true << false;
    QTest::newRow("known, the setting opens it") << QStringList{ThisPc} << false << true << false << true;
    QTest::newRow("known, the drive asks for it") << QStringList{ThisPc} << true << false << false << true;
    QTest::newRow("known, neither asks") << QStringList{ThisPc} << false << false << false << false;
    QTest::newRow("known, neither asks, its job opens it")
        << QStringList{QStringLiteral("0000 - 0001"), ThisPc} << false << false << true << true;
}

void TestDataModuleQuillonSuite::arrivalOfADrive()
{
    QFETCH(QStringList, setUpOn);
    QFETCH(bool, autoLoad);
    QFETCH(bool, driveAutoRun);
    QFETCH(bool, insertionJob);
    QFETCH(bool, consoleOpens);
    TJobDrives drives;
    QTemporaryDir folder;
    TProgramDatabase database(CreateProgramDatabase(folder.filePath(QStringLiteral("ProgramData.zjd"))));
    for (const QString &pc : setUpOn)
        AddPCToDrive(QStringLiteral("E:\\"), pc, autoLoad);
    const QString job = SaveArchiveJob(QStringLiteral("E:\\Config\\Backup1.Zja"), amIncremental, amPcToUsb,
                                       QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
    if (insertionJob) {
        TScheduleRunRow row;
        row.ID = database.AddSchedule(job, QStringLiteral("My Backup"));
        row.FileName = job;
        row.JobName = QStringLiteral("My Backup");
        row.Mode = stDriveInsertion;
        database.UpdateSchedule(row);
    }
    TProgramData settings;
    settings.SetDriveAutoRun(driveAutoRun);
    TDataModuleQuillonSuite tray(TrayOptions(false, &settings, &database));
    TAskedBoxes boxes;
    const auto consoles = qScopeGuard([] { qDeleteAll(TNewDrive::OpenConsoles()); });

    tray.SHChangeNotifyDriveAdd(QStringLiteral("E:\\"));
    QCOMPARE(TNewDrive::OpenConsoles().size(), consoleOpens ? 1 : 0);
    const bool runs = insertionJob && setUpOn.contains(ThisPc);
    if (runs) {
        QVERIFY(WaitForEnd(*TNewDrive::OpenConsoles().constFirst()->ThreadState()));
        QTRY_COMPARE(test::ReadAt(QStringLiteral("E:\\Backup\\C\\Docs\\a.txt")), QByteArray("alpha"));
        // Plugged in by the user, so the run ends with its message.
        QCOMPARE(boxes.Titles().size(), 1);
    } else {
        QVERIFY(!QFileInfo::exists(drives.Drives.Native('E', QStringLiteral("Backup/C"))));
        QVERIFY(boxes.Titles().isEmpty());
    }
}

// The headless service runs this data folder's schedules: the tray program
// runs none (every job would start twice) and says who does.
void TestDataModuleQuillonSuite::schedulesLeftToTheServiceThatRunsThem()
{
    TJobDrives drives;
    QTemporaryDir folder;
    TProgramDatabase database(CreateProgramDatabase(folder.filePath(QStringLiteral("ProgramData.zjd"))));
    {
        std::optional<TScheduleRunnerLock> service =
            TScheduleRunnerLock::TryTake(NativePath(AppDataFolder()), QStringLiteral("trovalo-cli service"));
        QVERIFY(service);
        TDataModuleQuillonSuite tray(TrayOptions(false, nullptr, &database));
        QVERIFY(!tray.ScheduleRunner());
        QVERIFY2(
            tray.SchedulesRunElsewhere().contains(
                QStringLiteral("trovalo-cli service (process %1)").arg(QCoreApplication::applicationPid())),
            qPrintable(tray.SchedulesRunElsewhere()));
        QCOMPARE(tray.BalloonText(), tray.SchedulesRunElsewhere());
    }
    // The service has gone: the next start runs them.
    TDataModuleQuillonSuite tray(TrayOptions(false, nullptr, &database));
    QVERIFY(tray.ScheduleRunner());
    QVERIFY(tray.SchedulesRunElsewhere().isEmpty());
}

void TestDataModuleQuillonSuite::menuItems_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("Open Drive") << 0 << "OpenDrive1"
                                << "Open Drive" << true << QKeySequence();
    QTest::newRow("Safely Remove") << 1 << "SafelyRemove1"
                                   << "Safely Remove" << true << QKeySequence();
    QTest::newRow("separator N2") << 2 << "N2"
                                  << "" << true << QKeySequence();
    QTest::newRow("Options") << 3 << "Settings1"
                             << "Options" << true << QKeySequence();
    QTest::newRow("Schedules") << 4 << "Schedules1"
                               << "Schedules" << true << QKeySequence();
    QTest::newRow("separator N11") << 5 << "N11"
                                   << "" << true << QKeySequence();
    QTest::newRow("Update") << 6 << "Update1"
                            << "Update" << false << QKeySequence();
    QTest::newRow("User's Manual") << 7 << "UsersManual1"
                                   << "User's Manual" << true << QKeySequence();
    QTest::newRow("Help") << 8 << "Help1"
                          << "Help" << true << QKeySequence(QStringLiteral("F1"));
    QTest::newRow("About") << 9 << "About1"
                           << "About" << true << QKeySequence(QStringLiteral("Ctrl+A"));
    QTest::newRow("separator N1") << 10 << "N1"
                                  << "" << true << QKeySequence();
    QTest::newRow("Exit") << 11 << "Exit1"
                          << "Exit" << true << QKeySequence(QStringLiteral("Ctrl+X"));
}

void TestDataModuleQuillonSuite::menuItems()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(QKeySequence, shortcut);
    TDataModuleQuillonSuite tray(TrayOptions(false));
    const QList<QAction *> actions = tray.TrayMenu()->actions();
    QVERIFY(index < actions.size());
    const QAction *action = actions.at(index);
    QCOMPARE(action->objectName(), name);
    QCOMPARE(action->isSeparator(), caption.isEmpty());
    if (!caption.isEmpty())
        QCOMPARE(action->text(), caption);
    QCOMPARE(action->isEnabled(), enabled);
    QCOMPARE(action->shortcut(), shortcut);
}

void TestDataModuleQuillonSuite::menuShape()
{
    TDataModuleQuillonSuite tray(TrayOptions(true));
    QMenu *menu = tray.TrayMenu();
    QCOMPARE(menu->actions().size(), 12);
    QCOMPARE(menu->defaultAction()->objectName(), QStringLiteral("OpenDrive1"));
    QCOMPARE(menu->findChild<QAction *>(QStringLiteral("Exit1"))->toolTip(), QStringLiteral("Exit Program"));
    QSystemTrayIcon *icon = tray.TrayIcon();
    QCOMPARE(icon->toolTip(), QStringLiteral("Trovalo"));
    QCOMPARE(icon->contextMenu(), menu);
    QVERIFY(!icon->icon().isNull());
    QVERIFY(!icon->isVisible());
    QCOMPARE(tray.TimerAlert()->interval(), 6000);
    QVERIFY(tray.TimerAlert()->isActive());
    QCOMPARE(tray.TrayAnimationTimer()->interval(), 200);
    QVERIFY(!tray.TrayAnimationTimer()->isActive());
    tray.Show();
    QVERIFY(icon->isVisible());
    QCOMPARE(tray.BalloonShowCount(), 1);
}

void TestDataModuleQuillonSuite::exitAsksAndQuitsOnlyOnYes_data()
{
    QTest::addColumn<bool>("systemTray");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("quits");
    QTest::newRow("Yes, tray icon") << true << int(mrYes) << true;
    QTest::newRow("Yes, stand-in window") << false << int(mrYes) << true;
    QTest::newRow("No, tray icon") << true << int(mrNo) << false;
    QTest::newRow("No, stand-in window") << false << int(mrNo) << false;
    QTest::newRow("closed without a button") << true << int(mrNone) << false;
}

void TestDataModuleQuillonSuite::exitAsksAndQuitsOnlyOnYes()
{
    QFETCH(bool, systemTray);
    QFETCH(int, answer);
    QFETCH(bool, quits);
    TAskedBoxes boxes;
    boxes.Answer = answer;
    // Without a notification area "Open Drive" comes first; it is closed.
    SetModalHandler([](QDialog &) { return int(QDialog::Rejected); });
    TDataModuleQuillonSuite tray(TrayOptions(systemTray));
    tray.Show();
    QAction *exit = tray.TrayMenu()->findChild<QAction *>(QStringLiteral("Exit1"));
    QVERIFY(exit);

    // A program that keeps running is ended by the fallback timer with 42;
    // both timers go with the controller, so none reaches the next row.
    QTimer::singleShot(50, exit, &QAction::trigger);
    QTimer::singleShot(600, &tray, [] { QCoreApplication::exit(42); });
    const int status = QApplication::exec();
    QCOMPARE(status, quits ? 0 : 42);

    QCOMPARE(boxes.Asked.size(), 1);
    const TMessageRequest &request = boxes.Asked.constFirst();
    QCOMPARE(request.Message, QStringLiteral("Are you sure you want to exit Trovalo?"));
    QCOMPARE(request.Title, QStringLiteral("Trovalo"));
    QCOMPARE(request.Caption, QStringLiteral("Trovalo"));
    QCOMPARE(request.Kind, mtConfirmation);
    QCOMPARE(request.Buttons, (QList<TModalResult>{mrYes, mrNo}));
    if (systemTray)
        QCOMPARE(tray.TrayIcon()->isVisible(), !quits);
    else
        QCOMPARE(tray.FallbackWindow()->isVisible(), !quits);
}

void TestDataModuleQuillonSuite::aboutShowsVersionAndHidesOnClick_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("centre") << "centre";
    QTest::newRow("top left corner") << "corner";
    QTest::newRow("on the text") << "text";
}

void TestDataModuleQuillonSuite::aboutShowsVersionAndHidesOnClick()
{
    QFETCH(QString, where);
    TDataModuleQuillonSuite tray(TrayOptions(false));
    TAboutWindow *about = tray.AboutWindow();
    tray.TrayMenu()->findChild<QAction *>(QStringLiteral("About1"))->trigger();
    QVERIFY(about->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->Text(), QStringLiteral("Trovalo V 4.0.1"));
    QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);

    QPoint position = about->rect().center();
    if (where == QStringLiteral("corner"))
        position = QPoint(2, 2);
    else if (where == QStringLiteral("text"))
        position = about->findChild<QLabel *>()->geometry().center();
    // Through the window, as a real click arrives: the widget under the
    // pointer is found by position.
    QTest::mouseClick(about->windowHandle(), Qt::LeftButton, {}, position);
    QTRY_VERIFY(!about->isVisible());
}

void TestDataModuleQuillonSuite::completionMessage_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("schedule");
    QTest::addColumn<bool>("shuttingDown");
    QTest::addColumn<QString>("headline"); // empty: no message
    QTest::addColumn<QString>("title");
    QTest::newRow("backup finished") << "backup" << false << false << false
                                     << "Backup file operation completed !"
                                     << "Job Completed.";
    QTest::newRow("backup cancelled")
        << "backup" << true << false << false << "Backup file operation Cancled !"
        << "Job Cancled.";
    QTest::newRow("move finished") << "move" << false << false << false << "File moves cmpleted !"
                                   << "Job Completed.";
    QTest::newRow("move cancelled") << "move" << true << false << false << "File moves Cancled !"
                                    << "Job Cancled.";
    QTest::newRow("sync finished") << "sync" << false << false << false << "Sync file operation completed !"
                                   << "Job Completed.";
    QTest::newRow("sync cancelled") << "sync" << true << false << false << "Sync file operation Cancled !"
                                    << "Job Cancled.";
    QTest::newRow("PC sync finished")
        << "pcsync" << false << false << false << "PC Sync file operation completed !"
        << "Job Completed.";
    QTest::newRow("PC sync cancelled")
        << "pcsync" << true << false << false << "PC Sync file operation Cancled !"
        << "Job Cancled.";
    QTest::newRow("restore finished")
        << "restore" << false << false << false << "Restore file operation completed !"
        << "Job Completed.";
    QTest::newRow("restore cancelled")
        << "restore" << true << false << false << "Restore file operation Cancled !"
        << "Job Cancled.";
    QTest::newRow("backup by a schedule") << "backup" << false << true << false << ""
                                          << "";
    QTest::newRow("move by a schedule") << "move" << false << true << false << ""
                                        << "";
    QTest::newRow("sync by a schedule") << "sync" << false << true << false << ""
                                        << "";
    QTest::newRow("PC sync by a schedule") << "pcsync" << false << true << false << ""
                                           << "";
    QTest::newRow("backup while shutting down") << "backup" << false << false << true << ""
                                                << "";
    QTest::newRow("sync cancelled while shutting down") << "sync" << true << false << true << ""
                                                        << "";
    QTest::newRow("PC sync while shutting down") << "pcsync" << false << false << true << ""
                                                 << "";
    QTest::newRow("restore while shutting down") << "restore" << false << false << true << ""
                                                 << "";
}

void TestDataModuleQuillonSuite::completionMessage()
{
    QFETCH(QString, kind);
    QFETCH(bool, cancel);
    QFETCH(bool, schedule);
    QFETCH(bool, shuttingDown);
    QFETCH(QString, headline);
    QFETCH(QString, title);
    TJobDrives drives;
    const QString jobFile = SaveJobOfKind(kind);
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    tray.SetShutDownSend(shuttingDown);
    QTabWidget page;

    QVERIFY(tray.RunFile(jobFile, &page, -1, schedule));
    QCOMPARE(page.count(), 1);
    auto *panel = page.findChild<TThreadStatuesFrame *>();
    QVERIFY(panel);
    // Nothing reached the interface thread yet: the handler and the cancel
    // come before the run's end can be delivered.
    if (kind == QLatin1String("restore"))
        panel->SetOnTerminate([&tray](TThreadStatuesFrame &sender, TThreadTermStat stat) {
            tray.ReStoreTerminate(sender, stat);
        });
    if (cancel)
        panel->findChild<QPushButton *>(QStringLiteral("BtnCancel"))->click();
    QVERIFY(WaitForEnd(page));

    if (headline.isEmpty()) {
        QVERIFY2(boxes.Asked.isEmpty(), qPrintable(boxes.Titles().join(',')));
        return;
    }
    QCOMPARE(boxes.Asked.size(), 1);
    const TMessageRequest &request = boxes.Asked.constFirst();
    QCOMPARE(request.Title, title);
    QCOMPARE(request.Caption, QStringLiteral("Trovalo"));
    QVERIFY2(request.Kind == mtInformation, qPrintable(request.Message));
    QCOMPARE(request.Buttons, QList<TModalResult>{mrOk});
    if (cancel) {
        // How far a cancelled run got is not fixed; the layout is.
        const QRegularExpression layout(QRegularExpression::escape(headline) +
                                        QStringLiteral("\nTotal Files : [0-2]\nErrors : 0"));
        QVERIFY2(layout.match(request.Message).hasMatch(), qPrintable(request.Message));
        QVERIFY(request.Message.startsWith(headline + QLatin1Char('\n')));
    } else {
        // Both files of C:\Docs were processed, without error.
        QCOMPARE(request.Message, headline + QStringLiteral("\nTotal Files : 2\nErrors : 0"));
    }
}

void TestDataModuleQuillonSuite::completionMessageFollowsTheOutcome_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("warning");
    QTest::newRow("finished") << "finished"
                              << "Sync file operation completed !\nTotal Files : 2\nErrors : 0"
                              << "Job Completed." << false;
    // A failed file is an error: never "Errors : 0" after it.
    QTest::newRow("a file failed") << "failed file"
                                   << "Sync file operation completed !\nTotal Files : 2\nErrors : 1"
                                   << "Job Completed." << true;
    QTest::newRow("cancelled") << "cancelled"
                               << "Sync file operation Cancled !\nTotal Files : 2\nErrors : 0"
                               << "Job Cancled." << false;
    // Abort stops the job: it did not complete.
    QTest::newRow("low-disk abort") << "low-disk abort"
                                    << "Sync file operation Cancled !\nTotal Files : 2\nErrors : 0"
                                    << "Job Cancled." << false;
    QTest::newRow("thread error") << "thread error"
                                  << "Sync file operation completed !\nTotal Files : 2\nErrors : 1"
                                  << "Job Completed." << true;
}

void TestDataModuleQuillonSuite::completionMessageFollowsTheOutcome()
{
    QFETCH(QString, ending);
    QFETCH(QString, message);
    QFETCH(QString, title);
    QFETCH(bool, warning);
    TJobDrives drives;
    TAskedBoxes boxes;
    // The low-disk question is answered Abort.
    test::TModalAnswer abort([](QDialog &) { return int(ldaAbort); });
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    TThreadStatuesFrame *panel =
        TThreadStatuesFrame::MakeFrame(QStringLiteral("Stand-in"), &page, QUuid::createUuid().toString());
    panel->SetOnTerminate([&tray](TThreadStatuesFrame &sender, TThreadTermStat stat) {
        tray.SyncCompletionHandler(sender, stat);
    });
    test::TStandInEngine engine(ending);
    panel->AttachThread(engine, itSync, nullptr);
    engine.RunSynchronously();
    QVERIFY(WaitForEnd(page));

    QCOMPARE(boxes.Asked.size(), 1);
    QCOMPARE(boxes.Asked.constFirst().Message, message);
    QCOMPARE(boxes.Asked.constFirst().Title, title);
    QCOMPARE(boxes.Asked.constFirst().Kind, warning ? mtWarning : mtInformation);
    QCOMPARE(panel->findChild<QProgressBar *>(QStringLiteral("pbTotal"))->property("errorState").toBool(),
             ending == QLatin1String("thread error"));
}

// What the tray program's log file keeps of a job: start, deletions, end.
void TestDataModuleQuillonSuite::moveLeavesItsDeletionsInTheLog()
{
    TJobDrives drives;
    const QString logFile = drives.Drives.Base() + QStringLiteral("/Trovalo.log");
    const QtMessageHandler previous = InstallLogHandler();
    QVERIFY(OpenLogFile(logFile));
    const auto restore = qScopeGuard([previous] {
        CloseLogFile();
        qInstallMessageHandler(previous);
    });
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    QVERIFY(tray.RunFile(SaveJobOfKind(QStringLiteral("move")), &page, -1, false));
    QVERIFY(WaitForEnd(page));
    CloseLogFile();

    const QStringList lines = QString::fromUtf8(test::ReadOrMissing(logFile)).split(QLatin1Char('\n'));
    const auto lineWith = [&](const QString &text) {
        return std::find_if(lines.cbegin(), lines.cend(),
                            [&](const QString &line) { return line.contains(text); }) -
               lines.cbegin();
    };
    const qsizetype started =
        lineWith(QStringLiteral("trovalo.engine: Run started: TCopyFolderThread \"My Backup\""));
    const qsizetype deleted = lineWith(QStringLiteral("trovalo.engine: Deleted C:\\Docs\\a.txt"));
    const qsizetype ended = lineWith(
        QStringLiteral("\"My Backup\" (E:\\Config\\Move1.Zjm): finished; 2 files done, 0 failed, 0 errors"));
    QVERIFY2(started < deleted && deleted < ended && ended < lines.size(), qPrintable(lines.join('\n')));
}

void TestDataModuleQuillonSuite::slideOutRowOfTheJob_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("rowKind");
    QTest::newRow("backup") << "backup"
                            << "My Backup" << int(itBackup);
    QTest::newRow("move") << "move"
                          << "My Backup" << int(itMove);
    QTest::newRow("sync") << "sync"
                          << "Docs sync" << int(itPCSync);
    QTest::newRow("PC sync item") << "pcsync"
                                  << "Item 1" << int(itPCSync);
}

void TestDataModuleQuillonSuite::slideOutRowOfTheJob()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(int, rowKind);
    TJobDrives drives;
    const QString jobFile = SaveJobOfKind(kind);
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    QVERIFY(tray.RunFile(jobFile, &page, -1, true));

    auto *list = tray.SliderForm()->findChild<QTreeWidget *>(QStringLiteral("ListView"));
    QVERIFY(list);
    QCOMPARE(list->topLevelItemCount(), 1);
    const QTreeWidgetItem *row = list->topLevelItem(0);
    QCOMPARE(row->text(0), caption);
    QCOMPARE(row->icon(0).pixmap(16).toImage(),
             TSliderForm::KindIcon(TItemType(rowKind)).pixmap(16).toImage());
    QCOMPARE(page.tabText(0), caption);

    QVERIFY(WaitForEnd(page));
    QCOMPARE(list->topLevelItemCount(), 0);
}

void TestDataModuleQuillonSuite::pcSyncWithoutItemForThisComputer()
{
    TJobDrives drives;
    const QString jobFile = SavePCSyncJob(QStringLiteral("E:\\Config\\Office.Zjp"), {OtherPc, OtherPc});
    const QByteArray before = test::ReadAt(jobFile);
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    QVERIFY(!tray.RunFile(jobFile, &page, -1, false));
    QCOMPARE(page.count(), 0);
    QVERIFY(boxes.Asked.isEmpty());
    QVERIFY(!page.isVisible());
    QCOMPARE(test::ReadAt(jobFile), before);
    QCOMPARE(tray.RunningThreadCount(), 0);
}

void TestDataModuleQuillonSuite::declinedQuestionsStartNothing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("asked");
    QTest::newRow("from USB, source missing") << "missing source" << QStringList{"Folder Missing"};
    QTest::newRow("to USB, destination folder missing on the stick")
        << "missing destination" << QStringList{"Folder Missing"};
    QTest::newRow("backup job of another computer") << "foreign backup" << QStringList{"Load Job"};
    QTest::newRow("sync job of another computer") << "foreign sync" << QStringList{"Load Job"};
}

void TestDataModuleQuillonSuite::declinedQuestionsStartNothing()
{
    QFETCH(QString, situation);
    QFETCH(QStringList, asked);
    TJobDrives drives;
    QDir().mkpath(drives.Drives.Native('C', QStringLiteral("Restore")));
    QDir().mkpath(drives.Drives.Native('E', QStringLiteral("Backup")));
    QString jobFile;
    if (situation == QLatin1String("missing source")) {
        jobFile = SaveArchiveJob(QStringLiteral("E:\\Config\\Back.Zja"), amIncremental, amUsbToPc,
                                 QStringLiteral("C:\\Restore\\"), {QStringLiteral("E:\\Gone\\")});
    } else if (situation == QLatin1String("missing destination")) {
        jobFile = SaveArchiveJob(QStringLiteral("E:\\Config\\Back.Zja"), amIncremental, amPcToUsb,
                                 QStringLiteral("E:\\NotThere\\"), {QStringLiteral("C:\\Docs\\")});
    } else if (situation == QLatin1String("foreign backup")) {
        jobFile = SaveArchiveJob(QStringLiteral("E:\\Config\\Back.Zja"), amIncremental, amPcToUsb,
                                 QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
        TArchiveData job;
        LoadFromFile(job, jobFile);
        job.SetPCID(OtherPc);
        SaveToFile(job, jobFile);
    } else {
        jobFile = SaveSyncJob(QStringLiteral("E:\\Config\\Sync1.Zjs"));
        TSyncData job;
        LoadFromFile(job, jobFile);
        job.SetPCID(OtherPc);
        SaveToFile(job, jobFile);
    }
    const QByteArray before = test::ReadAt(jobFile);
    TAskedBoxes boxes;
    boxes.Answer = mrNo;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;

    QVERIFY(tray.RunFile(jobFile, &page, -1, false));
    QCOMPARE(boxes.Titles(), asked);
    const TMessageRequest &question = boxes.Asked.constFirst();
    QCOMPARE(question.Kind, mtWarning);
    QCOMPARE(question.Caption, QStringLiteral("Trovalo"));
    QCOMPARE(question.Buttons, (QList<TModalResult>{mrYes, mrNo}));
    QCOMPARE(page.count(), 0);
    QVERIFY(!page.isVisible());
    QCOMPARE(test::ReadAt(jobFile), before);
    QCOMPARE(tray.RunningThreadCount(), 0);
    QCOMPARE(tray.SliderForm()->findChild<QTreeWidget *>(QStringLiteral("ListView"))->topLevelItemCount(), 0);
}

void TestDataModuleQuillonSuite::toUsbJobFollowsTheDriveLetter()
{
    // The stick was E: when the job was saved and is F: now.
    test::TTestDrives drives({{'C', QString()}, {'F', QStringLiteral("bus=USB")}});
    test::PutAt(QStringLiteral("C:\\Docs\\a.txt"), "alpha");
    QDir().mkpath(drives.Native('F', QStringLiteral("Config")));
    QDir().mkpath(drives.Native('F', QStringLiteral("Backup")));
    const QString jobFile =
        SaveArchiveJob(QStringLiteral("F:\\Config\\Backup1.Zja"), amIncremental, amPcToUsb,
                       QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    QVERIFY(tray.RunFile(jobFile, &page, -1, false));
    QVERIFY(WaitForEnd(page));
    QCOMPARE(boxes.Titles(), QStringList{"Job Completed."});
    QCOMPARE(test::ReadAt(QStringLiteral("F:\\Backup\\C\\Docs\\a.txt")), QByteArray("alpha"));
    // The job file now holds the run's start time.
    TArchiveData job;
    LoadFromFile(job, jobFile);
    QVERIFY(job.LastUpdate() > 0);
    QCOMPARE(job.Destination(), QStringLiteral("E:\\Backup\\"));
}

void TestDataModuleQuillonSuite::unreadableJobFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::newRow("backup job that does not exist") << "E:\\Config\\Gone.Zja" << QByteArray();
    QTest::newRow("damaged backup job") << "E:\\Config\\Bad.Zja" << QByteArray("not a job at all");
    QTest::newRow("damaged sync job") << "E:\\Config\\Bad.Zjs" << QByteArray("\x78\x9c garbage");
    QTest::newRow("PC sync job that does not exist") << "E:\\Config\\Gone.Zjp" << QByteArray();
}

void TestDataModuleQuillonSuite::unreadableJobFile()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    TJobDrives drives;
    if (!content.isEmpty())
        test::PutAt(fileName, content);
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    QVERIFY(tray.RunFile(fileName, &page, -1, false));
    QCOMPARE(boxes.Asked.size(), 1);
    QCOMPARE(boxes.Asked.constFirst().Kind, mtError);
    QCOMPARE(boxes.Asked.constFirst().Title, QStringLiteral("Job Not Run"));
    QVERIFY(!boxes.Asked.constFirst().Message.isEmpty());
    QCOMPARE(page.count(), 0);
    QCOMPARE(tray.RunningThreadCount(), 0);
    if (!content.isEmpty())
        QCOMPARE(test::ReadAt(fileName), content);
}

void TestDataModuleQuillonSuite::otherExtensionRunsNothing()
{
    TJobDrives drives;
    test::PutAt(QStringLiteral("E:\\Config\\notes.txt"), "hello");
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QTabWidget page;
    QVERIFY(tray.RunFile(QStringLiteral("E:\\Config\\notes.txt"), &page, -1, false));
    QCOMPARE(page.count(), 0);
    QVERIFY(boxes.Asked.isEmpty());
    // The console is still brought forward.
    QVERIFY(page.isVisible());
}

void TestDataModuleQuillonSuite::trayAnimation()
{
    TDataModuleQuillonSuite tray(TrayOptions(true));
    QTimer *animation = tray.TrayAnimationTimer();
    QList<int> seen;
    connect(animation, &QTimer::timeout, this, [&] { seen << tray.TrayImageIndex(); });

    // Two jobs start, one ends: the icon keeps animating.
    tray.SetRunningThreadCount(1);
    tray.SetRunningThreadCount(2);
    QVERIFY(animation->isActive());
    tray.SetRunningThreadCount(1);
    QVERIFY(animation->isActive());
    QCOMPARE(tray.RunningThreadCount(), 1);
    // Each step shows the next image and wraps from the last to image 0.
    QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 9, 5000);
    QCOMPARE(seen.mid(0, 9), (QList<int>{1, 2, 3, 4, 5, 6, 7, 0, 1}));
    QCOMPARE(tray.TrayIcon()->icon().cacheKey(), tray.TrayImage(tray.TrayImageIndex()).cacheKey());

    // The second job ends: image 0, no more steps.
    tray.SetRunningThreadCount(0);
    QVERIFY(!animation->isActive());
    QCOMPARE(tray.TrayImageIndex(), 0);
    QCOMPARE(tray.TrayIcon()->icon().cacheKey(), tray.TrayImage(0).cacheKey());
    QCOMPARE(tray.RunningThreadCount(), 0);

    // A count below 0 is taken as 0.
    tray.SetRunningThreadCount(-1);
    QCOMPARE(tray.RunningThreadCount(), 0);
    QVERIFY(!animation->isActive());
}

void TestDataModuleQuillonSuite::trayImagesDiffer()
{
    TDataModuleQuillonSuite tray(TrayOptions(true));
    QList<QImage> images;
    for (int i = 0; i < 8; ++i) {
        QVERIFY2(!tray.TrayImage(i).isNull(), qPrintable(QString::number(i)));
        images << tray.TrayImage(i).pixmap(32).toImage();
    }
    QVERIFY(tray.TrayImage(8).isNull());
    for (int i = 0; i < images.size(); ++i)
        for (int j = i + 1; j < images.size(); ++j)
            QVERIFY2(images[i] != images[j], qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
}

void TestDataModuleQuillonSuite::deletedFilesAlert_data()
{
    QTest::addColumn<bool>("systemTray");
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addColumn<bool>("warning");
    QTest::newRow("empty log") << true << QList<qint64>{} << false;
    QTest::newRow("below the limit") << true << QList<qint64>{100, 899} << false;
    QTest::newRow("at the limit") << true << QList<qint64>{600, 400} << false;
    QTest::newRow("one byte above") << true << QList<qint64>{600, 401} << true;
    QTest::newRow("far above, one file") << true << QList<qint64>{5000000000LL} << true;
    QTest::newRow("stand-in window, at the limit") << false << QList<qint64>{1000} << false;
    QTest::newRow("stand-in window, above") << false << QList<qint64>{1001} << true;
}

void TestDataModuleQuillonSuite::deletedFilesAlert()
{
    QFETCH(bool, systemTray);
    QFETCH(QList<qint64>, sizes);
    QFETCH(bool, warning);
    QTemporaryDir folder;
    TProgramDatabase database(CreateProgramDatabase(folder.filePath(QStringLiteral("ProgramData.zjd"))));
    qint64 total = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        database.AddDeletedFile(QStringLiteral("file%1.txt").arg(i), sizes[i]);
        total += sizes[i];
    }
    TProgramData settings;
    settings.SetMaxDeletedSize(1000);
    TDataModuleQuillonSuite tray(TrayOptions(systemTray, &settings, &database));

    for (int tick = 1; tick <= 2; ++tick) {
        tray.TimerAlertTimer();
        QCOMPARE(tray.DeleteUsedFileSize(), total);
        QCOMPARE(tray.BalloonWarning(), warning);
        QCOMPARE(tray.BalloonText(),
                 warning ? QStringLiteral("Deleted files space overload. Please clear deleted "
                                          "files.")
                         : QStringLiteral("Click here to open Trovalo"));
        // The warning is shown again at every tick while it holds.
        QCOMPARE(tray.BalloonShowCount(), warning ? tick : 0);
        // Without a notification area the warning is written in the window.
        if (!systemTray)
            QCOMPARE(tray.FallbackWindow()->Notice(), warning ? tray.BalloonText() : QString());
    }

    // Clearing the folder takes the warning back at the next tick.
    database.ClearDeletedFiles();
    tray.TimerAlertTimer();
    QVERIFY(!tray.BalloonWarning());
    QCOMPARE(tray.BalloonText(), QStringLiteral("Click here to open Trovalo"));
    QCOMPARE(tray.DeleteUsedFileSize(), 0);
    if (!systemTray)
        QCOMPARE(tray.FallbackWindow()->Notice(), QString());
}

void TestDataModuleQuillonSuite::openDriveGuard_data()
{
    QTest::addColumn<bool>("systemTray");
    QTest::addColumn<bool>("fails");
    QTest::newRow("tray item clicked again while open") << true << false;
    QTest::newRow("stand-in window, clicked again while open") << false << false;
    QTest::newRow("the window fails") << true << true;
}

void TestDataModuleQuillonSuite::openDriveGuard()
{
    QFETCH(bool, systemTray);
    QFETCH(bool, fails);
    TJobDrives drives;
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(systemTray));
    QAction *openDrive = tray.TrayMenu()->findChild<QAction *>(QStringLiteral("OpenDrive1"));
    int shown = 0;
    bool openWhileShown = false;
    SetModalHandler([&](QDialog &dialog) {
        ++shown;
        openWhileShown = tray.OpenDriveOpened();
        if (!dynamic_cast<TOpenFlash *>(&dialog))
            return int(QDialog::Rejected);
        // A second click while the window is shown does nothing.
        openDrive->trigger();
        tray.OpenDriveAction();
        if (fails)
            throw EUserException(QStringLiteral("The drive list could not be read."));
        return int(QDialog::Rejected);
    });
    openDrive->trigger();
    QCOMPARE(shown, 1);
    QVERIFY(openWhileShown);
    QVERIFY(!tray.OpenDriveOpened());
    QCOMPARE(boxes.Titles(), fails ? QStringList{"Open Drive"} : QStringList{});
    // Closed: the next click opens it again.
    openDrive->trigger();
    QCOMPARE(shown, 2);
}

void TestDataModuleQuillonSuite::miniWindowRule_data()
{
    QTest::addColumn<bool>("miniWindows");
    QTest::addColumn<bool>("shown");
    QTest::newRow("mini windows on") << true << true;
    QTest::newRow("mini windows off") << false << false;
}

void TestDataModuleQuillonSuite::miniWindowRule()
{
    QFETCH(bool, miniWindows);
    QFETCH(bool, shown);
    TProgramData settings;
    settings.SetMiniWindows(miniWindows);
    TDataModuleQuillonSuite tray(TrayOptions(true, &settings));
    QVERIFY(!tray.SliderForm()->isVisible());
    // The middle click stands for the pointer over the icon.
    emit tray.TrayIcon()->activated(QSystemTrayIcon::MiddleClick);
    QCOMPARE(tray.SliderForm()->isVisible(), shown);
}

void TestDataModuleQuillonSuite::webPages_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("configured"); // empty: the default
    QTest::addColumn<QString>("expected");
    QTest::newRow("manual, default") << "UsersManual1" << QByteArray("TROVALO_MANUAL_URL") << ""
                                     << "https://trovalo.example/manual/";
    QTest::newRow("manual, configured")
        << "UsersManual1" << QByteArray("TROVALO_MANUAL_URL") << "https://docs.local/manual.html"
        << "https://docs.local/manual.html";
    QTest::newRow("help, default") << "Help1" << QByteArray("TROVALO_HELP_URL") << ""
                                   << "https://trovalo.example/support/";
    QTest::newRow("help, configured") << "Help1" << QByteArray("TROVALO_HELP_URL") << "https://help.local/x"
                                      << "https://help.local/x";
}

void TestDataModuleQuillonSuite::webPages()
{
    QFETCH(QString, item);
    QFETCH(QByteArray, variable);
    QFETCH(QString, configured);
    QFETCH(QString, expected);
    const auto restore = qScopeGuard([&] { qunsetenv(variable.constData()); });
    if (configured.isEmpty())
        qunsetenv(variable.constData());
    else
        qputenv(variable.constData(), configured.toUtf8());
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); });
    TDataModuleQuillonSuite tray(TrayOptions(true));
    tray.TrayMenu()->findChild<QAction *>(item)->trigger();
    QCOMPARE(catcher.Opened, QList<QUrl>{QUrl(expected)});
}

void TestDataModuleQuillonSuite::backupFileName_data()
{
    QTest::addColumn<QString>("start");      // the file name given
    QTest::addColumn<int>("browseAnswer");   // the answer to "Backup File Not Found"
    QTest::addColumn<QStringList>("picked"); // files chosen in turn, "" cancels
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("found where it was") << "E:\\Config\\Right.Zja" << int(mrNo) << QStringList{} << true
                                        << "E:\\Config\\Right.Zja" << QStringList{};
    QTest::newRow("missing, not browsing") << "E:\\Config\\Gone.Zja" << int(mrNo) << QStringList{} << false
                                           << "E:\\Config\\Gone.Zja" << QStringList{"Backup File Not Found"};
    QTest::newRow("missing, browsed to the right file")
        << "E:\\Config\\Gone.Zja" << int(mrYes) << QStringList{"Config/Right.Zja"} << true
        << "E:\\Config\\Right.Zja" << QStringList{"Backup File Not Found"};
    QTest::newRow("another backup's file, then cancelled")
        << "E:\\Config\\Other.Zja" << int(mrYes) << QStringList{""} << false << "E:\\Config\\Other.Zja"
        << QStringList{"File Mismatch "};
    QTest::newRow("a damaged file, then the right one")
        << "E:\\Config\\Gone.Zja" << int(mrYes) << QStringList{"Config/Damaged.Zja", "Config/Right.Zja"}
        << true << "E:\\Config\\Right.Zja" << QStringList{"Backup File Not Found", "Unknown Error"};
}

void TestDataModuleQuillonSuite::backupFileName()
{
    QFETCH(QString, start);
    QFETCH(int, browseAnswer);
    QFETCH(QStringList, picked);
    QFETCH(bool, result);
    QFETCH(QString, fileName);
    QFETCH(QStringList, titles);
    TJobDrives drives;
    SaveArchiveJob(QStringLiteral("E:\\Config\\Right.Zja"), amIncremental, amPcToUsb,
                   QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
    SaveArchiveJob(QStringLiteral("E:\\Config\\Other.Zja"), amIncremental, amPcToUsb,
                   QStringLiteral("E:\\Backup\\"), {QStringLiteral("C:\\Docs\\")});
    test::PutAt(QStringLiteral("E:\\Config\\Damaged.Zja"), "damaged");
    TArchiveData right;
    LoadFromFile(right, QStringLiteral("E:\\Config\\Right.Zja"));
    TAskedBoxes boxes;
    boxes.AnswerByTitle[QStringLiteral("Backup File Not Found")] = browseAnswer;
    QStringList toPick = picked;
    SetModalHandler([&](QDialog &dialog) {
        auto *files = qobject_cast<QFileDialog *>(&dialog);
        if (!files || toPick.isEmpty() || toPick.constFirst().isEmpty())
            return int(QDialog::Rejected);
        files->selectFile(drives.Drives.Native('E', toPick.takeFirst()));
        return int(QDialog::Accepted);
    });
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QString name = start;
    QCOMPARE(tray.GetBackupFileName(name, right.GUID()), result);
    QCOMPARE(name, fileName);
    QCOMPARE(boxes.Titles(), titles);
    if (titles.contains(QStringLiteral("File Mismatch ")))
        QCOMPARE(
            boxes.Asked.constLast().Message,
            QStringLiteral("Selected file does not belong to this backup. Please select a deferent file."));
    if (titles.contains(QStringLiteral("Unknown Error")))
        QVERIFY(boxes.Asked.constLast().Message.startsWith(QStringLiteral("Error : ")));
}

void TestDataModuleQuillonSuite::viewForms()
{
    TDataModuleQuillonSuite tray(TrayOptions(false));
    QWidget first, second;
    QVERIFY(tray.AddViewForm(&first));
    QVERIFY(tray.AddViewForm(&second));
    QCOMPARE(tray.FormList(), (QList<QWidget *>{&first, &second}));
    QVERIFY(tray.FreeViewForm(&first));
    QVERIFY(!tray.FreeViewForm(&first));
    QCOMPARE(tray.FormList(), QList<QWidget *>{&second});
    tray.BringFormToFront(&second);
    QVERIFY(second.isVisible());
}

void TestDataModuleQuillonSuite::panelHostIsTheController()
{
    QCOMPARE(TJobPanelHost::Current(), nullptr);
    TProgramData settings;
    settings.SetAutoCloseJobTab(true);
    {
        TDataModuleQuillonSuite tray(TrayOptions(false, &settings));
        QCOMPARE(TJobPanelHost::Current(), &tray);
        QCOMPARE(TDataModuleQuillonSuite::Instance(), &tray);
        QVERIFY(tray.AutoCloseJobTab());
        tray.SetAutoCloseJobTab(false);
        QVERIFY(!settings.AutoCloseJobTab());
    }
    QCOMPARE(TJobPanelHost::Current(), nullptr);
    QCOMPARE(TDataModuleQuillonSuite::Instance(), nullptr);
}

void TestDataModuleQuillonSuite::windowStandsInWithoutNotificationArea()
{
    TJobDrives drives;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    TTrayFallbackWindow *window = tray.FallbackWindow();
    QVERIFY(window && !tray.TrayIcon());
    QVERIFY(!window->isVisible());

    // At start "Open Drive" comes first; a second start brings it forward.
    int shown = 0;
    bool raisedWhileOpen = false;
    SetModalHandler([&](QDialog &dialog) {
        ++shown;
        if (dynamic_cast<TOpenFlash *>(&dialog)) {
            tray.RestoreRequested();
            raisedWhileOpen = dialog.isVisible() && !window->isVisible();
        }
        return int(QDialog::Rejected);
    });
    tray.Show();
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(shown, 1);
    QVERIFY(raisedWhileOpen);

    QStringList captions;
    QList<bool> enabled;
    for (const QToolButton *button : window->findChildren<QToolButton *>()) {
        captions << button->text();
        enabled << button->isEnabled();
    }
    QCOMPARE(captions, (QStringList{"Open Drive", "Safely Remove", "Options", "Schedules", "Update",
                                    "User's Manual", "Help", "About", "Exit"}));
    QCOMPARE(enabled, (QList<bool>{true, true, true, true, false, true, true, true, true}));

    // Closing must not leave the program out of reach.
    window->close();
    QVERIFY(window->isVisible());
    window->hide();
    tray.RestoreRequested();
    QVERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
}

// The user runs a backup from the stick's console with "Safely remove the
// drive when the job ends" checked, and walks away: the stick is unmounted
// and powered off while the completion message waits, its console closes
// and the balloon says so. Before, the tray's sub-menu offers the stick
// alone, and refuses it while the job runs. dbusmock stands in for UDisks2.
void TestDataModuleQuillonSuite::safelyRemovesTheDriveWhenItsJobEnds()
{
    if (!test::TPrivateBus::Available())
        QSKIP(test::NeedsDBusMock);
    test::TUDisks2OnPrivateBus bus;
    QVERIFY(bus.Start());
    TJobDrives drives;
    const test::TMockStick stick = test::TMockStick::MountedAt(drives.Drives.NativeRoot('E'));
    QVERIFY(bus.UDisks2.AddStick(stick));
    const QString jobFile = SaveJobOfKind(QStringLiteral("backup"));
    TAskedBoxes boxes;
    TDataModuleQuillonSuite tray(TrayOptions(false));
    const QPointer<TNewDrive> console = TNewDrive::OpenDrive(QStringLiteral("E:\\"));
    QVERIFY(console);

    QVERIFY(tray.RunFile(jobFile, console->ThreadState(), -1, false));
    auto *panel = console->findChild<TThreadStatuesFrame *>();
    QVERIFY(panel);
    QMenu *removal = tray.TrayMenu()->findChild<QMenu *>(QStringLiteral("SafelyRemoveMenu"));
    emit removal->aboutToShow();
    QStringList offered;
    for (const QAction *item : removal->actions())
        offered << item->objectName();
    QCOMPARE(offered, QStringList{QStringLiteral("SafelyRemoveE")});
    removal->actions().constFirst()->trigger();
    QCOMPARE(boxes.Titles(), QStringList{QStringLiteral("The drive cannot be removed")});
    QVERIFY2(boxes.Asked.constFirst().Message.contains(QStringLiteral("while a job of it runs: ") + jobFile),
             qPrintable(boxes.Asked.constFirst().Message));

    panel->findChild<QCheckBox *>(QStringLiteral("cbSafelyRemove"))->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(tray.LastNotice().contains(QStringLiteral("may be pulled out now")), 20000);
    QCOMPARE(bus.UDisks2.RemovalCalls(), (QStringList{stick.Block + QStringLiteral(" Unmount"),
                                                      stick.Drive + QStringLiteral(" PowerOff")}));
    QTRY_VERIFY(!console);
    QCOMPARE(boxes.Titles(),
             (QStringList{QStringLiteral("The drive cannot be removed"), QStringLiteral("Job Completed.")}));
    QCOMPARE(test::ReadOrMissing(drives.Drives.Native('E', QStringLiteral("Backup/C/Docs/a.txt"))),
             QByteArray("alpha"));
}

QTEST_MAIN(TestDataModuleQuillonSuite)
#include "tst_datamodulequillonsuite.moc"
