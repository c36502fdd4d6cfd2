#include "TestDrives.h"
#include "TestFiles.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "control/ScheduleLookup.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "dialogs/RatioBoxEx.h"
#include "engine/ThreadBase.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "model/SyncDataItems.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "progress/ThreadStatuesFrame.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUuid>
#include <QtTest>

using namespace trovalo;

namespace {

const QString OwnPCID = QStringLiteral("1A2B - 3C4D");
const QString OtherPCID = QStringLiteral("9F9F - 0001");
const QString Unreadable = QStringLiteral("<Error Loading Data>");

// C: carries the serial that makes this computer's PC ID.
QMap<QChar, QString> Drives()
{
    return {{'C', QStringLiteral("serial=1A2B3C4D")},
            {'E', QStringLiteral("bus=USB,label=STICK")},
            {'F', QStringLiteral("bus=USB")}};
}

QByteArray ArchiveJob(const QString &name, TArchiveDir dir, TArchiveMode mode, const QString &pcid)
{
    TArchiveData job;
    job.SetBackupName(name);
    job.SetArchiveDir(dir);
    job.SetArchiveMode(mode);
    job.SetPCID(pcid);
    return job.SaveToBytes();
}

QByteArray SyncJob(const QString &name, const QString &pcid)
{
    TSyncData job;
    job.SetSyncName(name);
    job.SetPCID(pcid);
    job.SetFolderAList({QStringLiteral("\\Pairs")});
    job.SetFolderBList({QStringLiteral("C:\\Pairs")});
    return job.SaveToBytes();
}

QByteArray PCSyncJob(const QString &name, const QString &itemId = {})
{
    TPCSyncData job;
    job.SetSyncName(name);
    TSyncDataItem *item = job.SyncDataItems()->Add();
    item->SetID(itemId);
    item->SetPCID(OwnPCID);
    item->SetFolderAList({QStringLiteral("\\Shared")});
    item->SetFolderBList({QStringLiteral("C:\\Work")});
    return job.SaveToBytes();
}

QTreeWidget *JobList(TNewDrive *console)
{
    return console->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
}

// Opens the drive's console and waits until its search has listed the jobs.
TNewDrive *OpenListed(const QString &drive)
{
    TNewDrive *console = TNewDrive::OpenDrive(drive);
    if (console && !QTest::qWaitFor([console] { return !console->Searching(); }, 10000))
        return nullptr;
    return console;
}

QTreeWidgetItem *RowOfFile(TNewDrive *console, const QString &file)
{
    const QList<QTreeWidgetItem *> rows = JobList(console)->findItems(file, Qt::MatchExactly, 2);
    return rows.size() == 1 ? rows.first() : nullptr;
}

void SelectFile(TNewDrive *console, const QString &file)
{
    QTreeWidgetItem *row = RowOfFile(console, file);
    QVERIFY2(row, qPrintable(file));
    JobList(console)->setCurrentItem(row);
    QVERIFY(row->isSelected());
}

QColor ForegroundOf(const QTreeWidgetItem *row, int column)
{
    const QVariant brush = row->data(column, Qt::ForegroundRole);
    return brush.isValid() ? brush.value<QBrush>().color() : QColor();
}

// An empty program database of this computer, as start-up makes it.
void CreateProgramDatabase()
{
    ResetAppPathsForTesting();
    const QString file = TStartUp::ProgramDatabaseFileName();
    QVERIFY(ForceFolder(ExtractFilePath(file)));
    CreateProgramDatabaseFile(NativePath(file));
}

void AddSchedule(const QString &jobFile, bool active)
{
    TProgramDatabase database(NativePath(TStartUp::ProgramDatabaseFileName()));
    TScheduleRunRow row;
    row.ID = database.AddSchedule(jobFile, QStringLiteral("Scheduled"));
    row.FileName = jobFile;
    row.Active = active;
    row.JobName = QStringLiteral("Scheduled");
    database.UpdateSchedule(row);
}

// A worker that runs until it is told to stop, standing for a long job.
class TWaitingWorker : public TThreadBase
{
protected:
    void Execute() override
    {
        while (!Terminated())
            msleep(5);
    }
    bool IsExcludedFolder(const QString &) override { return false; }
};

} // namespace

class TestNewDrive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneConsolePerDrive_data();
    void oneConsolePerDrive();
    void vanishedDriveGivesNone_data();
    void vanishedDriveGivesNone();
    void rowOfJob_data();
    void rowOfJob();
    void rowsSortedByType();
    void deleteJob_data();
    void deleteJob();
    void rowsThatDoNotRun_data();
    void rowsThatDoNotRun();
    void closing_data();
    void closing();
    void scheduleMark_data();
    void scheduleMark();
    void tipFollowsTab();
    void directionChoosers_data();
    void directionChoosers();

private:
    QList<TMessageRequest> FMessages;
    int FAnswer = mrYes;
};

void TestNewDrive::init()
{
    FMessages.clear();
    FAnswer = mrYes;
    SetMessageBoxHandler([this](const TMessageRequest &request) {
        FMessages << request;
        return FAnswer;
    });
}

void TestNewDrive::cleanup()
{
    SetMessageBoxHandler({});
    SetModalHandler({});
    const QList<TNewDrive *> consoles = TNewDrive::OpenConsoles();
    qDeleteAll(consoles);
    QVERIFY(TNewDrive::OpenConsoles().isEmpty());
    ResetAppPathsForTesting();
}

void TestNewDrive::oneConsolePerDrive_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("hideFirst");
    QTest::addColumn<bool>("same");

    QTest::newRow("arrival then Open Drive") << "E:\\"
                                             << "E:\\" << false << true;
    QTest::newRow("hidden console comes back") << "E:\\"
                                               << "E:\\" << true << true;
    QTest::newRow("two drives") << "E:\\"
                                << "F:\\" << false << false;
}

void TestNewDrive::oneConsolePerDrive()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, hideFirst);
    QFETCH(bool, same);
    test::TTestDrives drives(Drives());

    TNewDrive *one = OpenListed(first);
    QVERIFY(one);
    QCOMPARE(one->windowTitle(), QStringLiteral("New Drive Detected. ") + first);
    if (hideFirst)
        one->hide();
    TNewDrive *two = OpenListed(second);
    QVERIFY(two);
    QCOMPARE(two == one, same);
    QVERIFY(two->isVisible());
    QCOMPARE(two->DriveLetter(), second);
    QCOMPARE(TNewDrive::OpenConsoles().size(), same ? 1 : 2);
    QCOMPARE(TNewDrive::OpenConsoles().first(), one);
    // The Linux user sees where the drive lives.
    QVERIFY(two->findChild<QLabel *>(QStringLiteral("lblDriveRoot"))
                ->text()
                .contains(drives.NativeRoot(second[0])));
}

void TestNewDrive::vanishedDriveGivesNone_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("removeFolder");

    QTest::newRow("letter without a drive") << "Q:\\" << false;
    QTest::newRow("drive folder gone") << "F:\\" << true;
}

void TestNewDrive::vanishedDriveGivesNone()
{
    QFETCH(QString, drive);
    QFETCH(bool, removeFolder);
    test::TTestDrives drives(Drives());
    if (removeFolder)
        QVERIFY(QDir(drives.NativeRoot(drive[0])).removeRecursively());

    QCOMPARE(TNewDrive::OpenDrive(drive), nullptr);
    QVERIFY(TNewDrive::OpenConsoles().isEmpty());
}

void TestNewDrive::rowOfJob_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("cells"); // Type, Job Name, Last Run At, PC ID
    QTest::addColumn<QColor>("typeColor");  // invalid: the list's own colour
    QTest::addColumn<QColor>("pcidColor");

    const QColor blue(0, 128, 255), rose(255, 0, 128), orange(254, 174, 10);
    QTest::newRow("backup of this computer")
        << "Backup1.Zja" << ArchiveJob("Docs", amPcToUsb, amIncremental, OwnPCID)
        << QStringList{"Backup To USB", "Docs", "N/A", OwnPCID} << QColor(255, 0, 0) << blue;
    QTest::newRow("backup of another computer")
        << "Backup2.Zja" << ArchiveJob("Photos", amUsbToPc, amMirror, OtherPCID)
        << QStringList{"Backup From USB", "Photos", "N/A", OtherPCID} << QColor(128, 0, 0) << orange;
    QTest::newRow("stick to stick") << "Backup3.Zja" << ArchiveJob("Twin", amUsbToUSB, amIncremental, OwnPCID)
                                    << QStringList{"USB To USB", "Twin", "N/A", OwnPCID}
                                    << QColor(255, 128, 128) << blue;
    // One blank more than this computer's ID is another computer.
    QTest::newRow("move, ID differs by a blank")
        << "Move 1.Zjm" << ArchiveJob("Out", amPcToUsb, amMove, OwnPCID + QLatin1Char(' '))
        << QStringList{"Move To USB", "Out", "N/A", OwnPCID + QLatin1Char(' ')} << QColor(128, 0, 255)
        << orange;
    QTest::newRow("move from usb") << "Move 2.Zjm" << ArchiveJob("In", amUsbToPc, amMove, OwnPCID)
                                   << QStringList{"Move From USB", "In", "N/A", OwnPCID}
                                   << QColor(0, 128, 128) << blue;
    QTest::newRow("sync") << "sync 1.Zjs" << SyncJob("Pairs", OwnPCID)
                          << QStringList{"File / Folder Sync", "Pairs", "N/A", OwnPCID} << rose << blue;
    QTest::newRow("pc-pc sync") << "Shared.Zjp" << PCSyncJob("Shared")
                                << QStringList{"PC-PC Sync", "Shared", "<N/A>", "<N/A>"} << blue << orange;
    QTest::newRow("unreadable") << "Junk.Zja" << QByteArray("not a job")
                                << QStringList{"<Error>", Unreadable, Unreadable, Unreadable} << QColor()
                                << rose;
}

void TestNewDrive::rowOfJob()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, cells);
    QFETCH(QColor, typeColor);
    QFETCH(QColor, pcidColor);
    test::TTestDrives drives(Drives());
    test::PutAt(QStringLiteral("E:\\Config\\") + file, content);

    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);
    QCOMPARE(JobList(console)->topLevelItemCount(), 1);
    const QTreeWidgetItem *row = JobList(console)->topLevelItem(0);
    QCOMPARE((QStringList{row->text(0), row->text(1), row->text(3), row->text(4)}), cells);
    QCOMPARE(row->text(2), QStringLiteral("E:\\Config\\") + file);
    QCOMPARE(row->data(0, TNewDrive::ExtraDataRole).toString(), QString());
    QCOMPARE(ForegroundOf(row, 0), typeColor);
    QCOMPARE(ForegroundOf(row, 1), typeColor);
    QCOMPARE(ForegroundOf(row, 4), pcidColor);
}

void TestNewDrive::rowsSortedByType()
{
    test::TTestDrives drives(Drives());
    test::PutAt(QStringLiteral("E:\\Config\\a.Zjs"), SyncJob("S", OwnPCID));
    test::PutAt(QStringLiteral("E:\\Config\\b.Zjp"), PCSyncJob("P"));
    test::PutAt(QStringLiteral("E:\\Config\\c.Zja"), ArchiveJob("U", amUsbToUSB, amIncremental, OwnPCID));
    test::PutAt(QStringLiteral("E:\\Config\\d.Zja"), QByteArray("broken"));
    test::PutAt(QStringLiteral("E:\\Config\\e.Zja"), ArchiveJob("T", amPcToUsb, amIncremental, OwnPCID));
    test::PutAt(QStringLiteral("E:\\Config\\f.Zjm"), ArchiveJob("M", amUsbToPc, amMove, OwnPCID));
    test::PutAt(QStringLiteral("E:\\Config\\Readme.txt"), QByteArray("no job"));

    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);
    QStringList types;
    for (int index = 0; index < JobList(console)->topLevelItemCount(); ++index)
        types << JobList(console)->topLevelItem(index)->text(0);
    QCOMPARE(types, (QStringList{"<Error>", "Backup To USB", "File / Folder Sync", "Move From USB",
                                 "PC-PC Sync", "USB To USB"}));

    // "Refresh" lists the drive again: a job added since appears once.
    test::PutAt(QStringLiteral("E:\\Config\\g.Zja"), ArchiveJob("T2", amPcToUsb, amIncremental, OwnPCID));
    console->findChild<QPushButton *>(QStringLiteral("btnRefresh"))->click();
    QTRY_VERIFY(!console->Searching());
    QCOMPARE(JobList(console)->topLevelItemCount(), 7);
    QCOMPARE(JobList(console)->topLevelItem(2)->text(0), QStringLiteral("Backup To USB"));
}

void TestNewDrive::deleteJob_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("companions");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("jobName");

    const QByteArray backup = ArchiveJob("Docs", amPcToUsb, amIncremental, OwnPCID);
    QTest::newRow("backup with its database")
        << "Backup1.Zja" << backup << QStringList{"Backup1.Zjd"} << int(mrYes) << "Docs";
    QTest::newRow("sync with its file log")
        << "sync 1.Zjs" << SyncJob("Pairs", OwnPCID) << QStringList{"sync 1.Zjt"} << int(mrYes) << "Pairs";
    QTest::newRow("pc-pc sync with its computer's database")
        << "Shared.Zjp" << PCSyncJob("Shared", "OFFICE") << QStringList{"OFFICE.Zjt"} << int(mrYes)
        << "Shared";
    QTest::newRow("no companions") << "Backup2.Zja" << backup << QStringList{} << int(mrYes) << "Docs";
    QTest::newRow("unreadable job") << "Junk.Zja" << QByteArray("junk") << QStringList{"Junk.Zjd"}
                                    << int(mrYes) << Unreadable;
    QTest::newRow("answered No") << "Backup3.Zja" << backup << QStringList{"Backup3.Zjd"} << int(mrNo)
                                 << "Docs";
}

void TestNewDrive::deleteJob()
{
    QFETCH(QString, job);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, companions);
    QFETCH(int, answer);
    QFETCH(QString, jobName);
    test::TTestDrives drives(Drives());
    const QString config = QStringLiteral("E:\\Config\\");
    test::PutAt(config + job, content);
    for (const QString &companion : companions)
        test::PutAt(config + companion, QByteArray("database"));
    // Another job's database, and a file of the same name elsewhere, stay.
    const QStringList bystanders = {config + QStringLiteral("Other.Zjd"),
                                    QStringLiteral("E:\\") + ChangeFileExt(job, QStringLiteral(".Zjd"))};
    for (const QString &bystander : bystanders)
        test::PutAt(bystander, QByteArray("keep"));
    CreateProgramDatabase();
    AddSchedule(config + job, true);

    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);
    SelectFile(console, config + job);
    FAnswer = answer;
    console->findChild<QPushButton *>(QStringLiteral("BtnDelete"))->click();

    QCOMPARE(FMessages.size(), 1);
    QCOMPARE(FMessages.first().Message,
             QStringLiteral("Are you sure you want to permanently delete this job ?\r\nJob Name : ") +
                 jobName);
    QCOMPARE(FMessages.first().Title, QStringLiteral("Delete Job"));
    QCOMPARE(FMessages.first().Kind, mtConfirmation);
    QVERIFY(!FMessages.first().Buttons.contains(mrCancel));
    const bool deleted = answer == mrYes;
    QCOMPARE(FileExists(config + job), !deleted);
    for (const QString &companion : companions)
        QCOMPARE(FileExists(config + companion), !deleted);
    for (const QString &bystander : bystanders)
        QVERIFY2(FileExists(bystander), qPrintable(bystander));
    QCOMPARE(RowOfFile(console, config + job) == nullptr, deleted);
    QCOMPARE(isScheduled(config + job) == ssNotScheduled, deleted);
}

void TestNewDrive::rowsThatDoNotRun_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("how");

    QTest::newRow("pc-pc: double click") << "Shared.Zjp" << PCSyncJob("Shared") << "double click";
    QTest::newRow("pc-pc: Run button") << "Shared.Zjp" << PCSyncJob("Shared") << "btnRun";
    QTest::newRow("pc-pc: Run menu") << "Shared.Zjp" << PCSyncJob("Shared") << "Run1";
    QTest::newRow("unreadable: Run button") << "Junk.Zjs" << QByteArray("junk") << "btnRun";
}

void TestNewDrive::rowsThatDoNotRun()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, how);
    test::TTestDrives drives(Drives());
    const QString config = QStringLiteral("E:\\Config\\");
    test::PutAt(config + file, content);
    // Every job here could run: a row that must not run would show.
    for (const char *folder : {"C:\\Pairs\\", "E:\\Pairs\\", "C:\\Work\\", "E:\\Shared\\"})
        QVERIFY(ForceFolder(QString::fromLatin1(folder)));
    test::PutAt(config + QStringLiteral("sync 1.Zjs"), SyncJob("Pairs", OwnPCID));

    TDataModuleQuillonSuite::TOptions options;
    options.UseSystemTray = false;
    options.PCID = OwnPCID;
    TDataModuleQuillonSuite controller(options);

    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);
    auto act = [&] {
        if (how == QLatin1String("double click")) {
            QTreeWidget *list = JobList(console);
            const QRect cell = list->visualItemRect(list->currentItem());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        } else if (how == QLatin1String("btnRun")) {
            console->findChild<QPushButton *>(how)->click();
        } else {
            console->findChild<QAction *>(how)->trigger();
        }
    };
    SelectFile(console, config + file);
    act();
    QTest::qWait(50);
    QCOMPARE(console->ThreadState()->count(), 1);
    QCOMPARE(FMessages.size(), 0);

    if (how == QLatin1String("double click"))
        return; // edit mode: nothing runs for any row
    SelectFile(console, config + QStringLiteral("sync 1.Zjs"));
    act();
    QTRY_VERIFY2(console->ThreadState()->count() == 2,
                 qPrintable(FMessages.isEmpty() ? QString() : FMessages.first().Message));
    QTRY_VERIFY(!console->HasRunningJobs());
}

void TestNewDrive::closing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("refused"); // the message, the console stays visible
    QTest::addColumn<bool>("hidden");  // no message, hidden but kept

    QTest::newRow("nothing open") << "none" << false << false;
    QTest::newRow("wizard open") << "wizard" << true << false;
    QTest::newRow("job running") << "job" << false << true;
}

void TestNewDrive::closing()
{
    QFETCH(QString, situation);
    QFETCH(bool, refused);
    QFETCH(bool, hidden);
    test::TTestDrives drives(Drives());
    TNewDrive *opened = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(opened);
    QPointer<TNewDrive> console(opened);

    // Wizards leave the console's list when they are destroyed.
    QPointer<QWidget> wizard = new QWidget;
    std::shared_ptr<TWaitingWorker> worker;
    if (situation == QLatin1String("wizard")) {
        console->AddSubForm(wizard);
        wizard->show();
    } else if (situation == QLatin1String("job")) {
        worker = std::make_shared<TWaitingWorker>();
        TThreadStatuesFrame *panel = TThreadStatuesFrame::MakeFrame(
            QStringLiteral("Long job"), console->ThreadState(), QUuid::createUuid().toString().toUpper());
        panel->AttachThread(*worker, itBackup, worker);
        worker->start();
        QVERIFY(console->HasRunningJobs());
    }

    console->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool kept = refused || hidden;
    QCOMPARE(!console.isNull(), kept);
    QCOMPARE(TNewDrive::OpenConsoles().size(), kept ? 1 : 0);
    if (refused) {
        QCOMPARE(FMessages.size(), 1);
        QCOMPARE(FMessages.first().Message,
                 QStringLiteral("Backup jobs are open. please close all the backup jobs and try again."));
        QCOMPARE(FMessages.first().Title, QStringLiteral("Canot Close Window."));
        QCOMPARE(FMessages.first().Kind, mtInformation);
        QVERIFY(console->isVisible());
    } else {
        QCOMPARE(FMessages.size(), 0);
    }
    if (!kept) {
        delete wizard;
        return;
    }
    if (hidden) {
        QVERIFY(!console->isVisible());
        QCOMPARE(TNewDrive::OpenDrive(QStringLiteral("E:\\")), console.data());
        QVERIFY(console->isVisible());
        QCOMPARE(console->ThreadState()->count(), 2); // the panel's tab is still there
        worker->RequestStop();
        QTRY_VERIFY(!console->HasRunningJobs());
        QTRY_VERIFY(!console->Searching());
    } else {
        // Once the wizard has gone, the console closes.
        delete wizard;
        QVERIFY(console->SubForms().isEmpty());
    }
    FMessages.clear();
    console->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(console.isNull());
    QVERIFY(TNewDrive::OpenConsoles().isEmpty());
    delete wizard;
}

void TestNewDrive::scheduleMark_data()
{
    QTest::addColumn<bool>("database");
    QTest::addColumn<QString>("scheduled"); // the job file a schedule row names; "" none
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("mark");

    // The job lives at E:\Config\Backup1.Zja.
    QTest::newRow("no schedule") << true << "" << true << 0;
    QTest::newRow("same drive, active") << true << "E:\\Config\\Backup1.Zja" << true << 1;
    QTest::newRow("other letter, active") << true << "F:\\Config\\Backup1.Zja" << true << 1;
    QTest::newRow("other letter and case, inactive") << true << "G:\\CONFIG\\backup1.zja" << false << 2;
    QTest::newRow("another job") << true << "F:\\Config\\Backup10.Zja" << true << 0;
    QTest::newRow("same name in another folder") << true << "F:\\Old\\Config\\Backup1.Zja" << true << 0;
    QTest::newRow("no program database") << false << "" << true << 0;
}

void TestNewDrive::scheduleMark()
{
    QFETCH(bool, database);
    QFETCH(QString, scheduled);
    QFETCH(bool, active);
    QFETCH(int, mark);
    test::TTestDrives drives(Drives());
    const QString job = QStringLiteral("E:\\Config\\Backup1.Zja");
    test::PutAt(job, ArchiveJob("Docs", amPcToUsb, amIncremental, OwnPCID));
    if (database)
        CreateProgramDatabase();
    if (!scheduled.isEmpty())
        AddSchedule(scheduled, active);

    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);
    QTreeWidgetItem *row = RowOfFile(console, job);
    QVERIFY(row);
    QCOMPARE(row->data(0, TNewDrive::ScheduleMarkRole).toInt(), mark);
    if (!database)
        return;

    // A schedule saved while the console is open shows after the refresh.
    AddSchedule(QStringLiteral("H:\\Config\\Backup1.Zja"), false);
    TNewDrive::RefreshAllScheduleInfo();
    QCOMPARE(row->data(0, TNewDrive::ScheduleMarkRole).toInt(), mark == 0 ? 2 : mark);
}

void TestNewDrive::tipFollowsTab()
{
    test::TTestDrives drives(Drives());
    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);
    auto *tip = console->findChild<QLabel *>(QStringLiteral("lblTip"));
    QCOMPARE(tip->text(), QStringLiteral("Tips : Click a button on the top to create a new job."));
    console->ThreadState()->addTab(new QWidget, QStringLiteral("Job"));
    console->ThreadState()->setCurrentIndex(1);
    QCOMPARE(tip->text(),
             QStringLiteral("Tips:Check the \"Auto close after job completed\" if you don't want to "
                            "manually close the current tab after the job is completed."));
    console->ThreadState()->setCurrentIndex(0);
    QCOMPARE(tip->text(), QStringLiteral(" Tips : Click a button on the top to create a new job."));
}

void TestNewDrive::directionChoosers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("choices");

    QTest::newRow("backup") << "btnBackup"
                            << QStringList{"From Computer to USB drive", "From USB drive to Computer",
                                           "From USB drive to USB drive"};
    QTest::newRow("move") << "BtnMove"
                          << QStringList{"USB drive to Local PC or LAN drive",
                                         "Local PC or LAN drive to USB drive"};
}

void TestNewDrive::directionChoosers()
{
    QFETCH(QString, button);
    QFETCH(QStringList, choices);
    test::TTestDrives drives(Drives());
    TNewDrive *console = OpenListed(QStringLiteral("E:\\"));
    QVERIFY(console);

    QStringList shown;
    int selected = -2;
    QString caption;
    SetModalHandler([&](QDialog &dialog) {
        if (auto *chooser = qobject_cast<TRatioBoxEx *>(&dialog)) {
            shown = chooser->Items();
            selected = chooser->ItemIndex();
            caption = chooser->windowTitle();
        }
        return int(mrCancel);
    });
    console->findChild<QPushButton *>(button)->click();
    QCOMPARE(shown, choices);
    QCOMPARE(selected, 0);
    QCOMPARE(caption, QStringLiteral("Trovalo"));
    QCOMPARE(FMessages.size(), 0);
}

QTEST_MAIN(TestNewDrive)
#include "tst_newdrive.moc"
