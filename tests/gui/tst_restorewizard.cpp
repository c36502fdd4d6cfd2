#include "DialogAnswers.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "DataModuleQuillonSuite.h"
#include "automation/AutomationCommands.h"
#include "base/DateTime.h"
#include "console/NewDrive.h"
#include "db/DatabaseTemplate.h"
#include "db/JobDatabase.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"
#include "wizards/RestoreWizard.h"

#include <QApplication>
#include <QDialog>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QtTest>

using namespace trovalo;

namespace {

const QString JobFile = QStringLiteral("E:\\Config\\Backup1.Zja");
const QString Run = QStringLiteral("E:\\Backups\\Job1\\R1\\");

template <class T>
T *Child(QWidget *wizard, const char *name)
{
    return wizard->findChild<T *>(QLatin1String(name));
}

void SaveJob(bool zip, const QString &password = {})
{
    TArchiveData job;
    job.SetBackupName(QStringLiteral("Docs"));
    job.SetArchiveDir(amPcToUsb);
    job.SetArchiveMode(zip ? amCompletelyNew : amIncremental);
    job.SetArchiveType(zip ? atImage : atFile);
    job.SetPassword(password);
    job.SetFolderList({QStringLiteral("C:\\Data\\")});
    job.SetDestination(QStringLiteral("E:\\Backups\\Job1\\"));
    job.SetPCID(ComputePCID());
    job.SetGUID(QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    QVERIFY(ForceFolder(QStringLiteral("E:\\Config\\")));
    SaveToFile(job, JobFile);
}

// A run as the engine records it: the folder without the drive of the
// job's database, so it is found again after a drive-letter change.
void AddRun(const QString &folder, const QString &status)
{
    const QString file = JobDatabaseFileName(JobFile);
    TDatabaseTemplate::CreateIfMissing(file, TJobDatabase::TemplateName, &TJobDatabase::CreateSchema);
    TJobDatabase database(file);
    database.FinishRun(database.StartRun(folder, DateTimeNow(), amIncremental), status);
}

std::unique_ptr<TRestoreWizard> OpenWizard()
{
    auto wizard = std::make_unique<TRestoreWizard>();
    wizard->SetFileName(JobFile);
    wizard->show();
    return wizard;
}

// A request of the automation socket, as the end-to-end suites send it.
bool Command(const QString &cmd, const QString &path, const QString &key = {}, const QString &value = {})
{
    const QJsonObject reply = TAutomationCommands::Execute(
        {{QStringLiteral("cmd"), cmd}, {QStringLiteral("path"), path}, {key, value}});
    return reply.value(QStringLiteral("ok")).toBool();
}

// The drive's console with the job selected and its "Restore" pressed.
TNewDrive *PressRestore()
{
    TNewDrive *console = TNewDrive::OpenDrive(QStringLiteral("E:\\"));
    if (!console || !QTest::qWaitFor([console] { return !console->Searching(); }))
        return nullptr;
    auto *jobs = console->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
    jobs->setCurrentItem(jobs->topLevelItem(0));
    console->findChild<QPushButton *>(QStringLiteral("btnRestore"))->click();
    return console;
}

} // namespace

class TestRestoreWizard : public QObject
{
    Q_OBJECT

private slots:
    void runList_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("not completed") << "Not Completed" << QColor(255, 0, 128);
        QTest::newRow("cancelled") << "Canceled" << QColor(254, 174, 10);
        QTest::newRow("finished") << "Finished !" << QColor(0, 128, 255);
    }

    // The runs were made while the stick was F:; it is E: now.
    void runList()
    {
        QFETCH(QString, status);
        QFETCH(QColor, colour);
        test::TTestDrives drives;
        test::TMessageRecorder messages;
        SaveJob(false);
        QVERIFY(ForceFolder(Run));
        AddRun(QStringLiteral("E:\\Backups\\Job1\\R1\\"), status);
        AddRun(QStringLiteral("E:\\Backups\\Gone\\"), status);
        auto wizard = OpenWizard();
        auto *runs = Child<QTreeWidget>(wizard.get(), "ListView1");
        QCOMPARE(runs->topLevelItemCount(), 1);
        QCOMPARE(runs->topLevelItem(0)->text(1), QStringLiteral("\\Backups\\Job1\\R1\\"));
        QCOMPARE(runs->topLevelItem(0)->foreground(3).color(), colour);
        QVERIFY(Child<QPushButton>(wizard.get(), "btnNext")->isEnabled());
        // No run chosen: the first one.
        runs->clearSelection();
        wizard->btnNextClick();
        QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet2"));
        QCOMPARE(Child<TNvShellTreeViewEx>(wizard.get(), "NvShellTreeViewEx1")->RootPath(), Run);
        QCOMPARE(messages.Requests.size(), 0);
    }

    void password_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("page");
        QTest::newRow("unchanged") << "S3cret" << false << "TabSheet2";
        QTest::newRow("changed") << "guess" << false << "TabSheet1";
        QTest::newRow("cancelled keeps the stored one") << "guess" << true << "TabSheet2";
    }

    void password()
    {
        QFETCH(QString, typed);
        QFETCH(bool, cancel);
        QFETCH(QString, page);
        test::TTestDrives drives;
        test::TMessageRecorder messages;
        SaveJob(true, QStringLiteral("S3cret"));
        QVERIFY(ForceFolder(Run));
        test::PutZip(Run + QStringLiteral("C.Zip"), {QStringLiteral("Data/a.txt")}, QStringLiteral("S3cret"));
        AddRun(Run, TJobDatabase::StatusFinished);
        auto wizard = OpenWizard();
        test::TModalAnswer answer([&](QDialog &dialog) {
            auto *edit = Child<QLineEdit>(&dialog, "Edit1");
            edit->setText(typed);
            QTest::keyClick(edit, cancel ? Qt::Key_Escape : Qt::Key_Return);
            return dialog.result();
        });
        wizard->btnNextClick();
        QCOMPARE(wizard->PageName(), page);
        QCOMPARE(messages.Requests.size(), 0);
        if (page == QLatin1String("TabSheet2"))
            QCOMPARE(wizard->PasswordTxt(), QStringLiteral("S3cret"));
    }

    // Single files only, then the location page: the former places, or a
    // folder that must exist.
    void singleFilesAndLocation()
    {
        test::TTestDrives drives;
        test::TMessageRecorder messages;
        SaveJob(false);
        test::PutAt(Run + QStringLiteral("C\\Data\\a.txt"), "a");
        AddRun(Run, TJobDatabase::StatusFinished);
        auto wizard = OpenWizard();
        wizard->btnNextClick();
        auto *next = Child<QPushButton>(wizard.get(), "btnNext");
        QVERIFY(!next->isEnabled());
        QVERIFY(Command("treepath", "TRestoreWizard/NvShellTreeViewEx1", "item",
                        Run + QStringLiteral("C\\Data\\")));
        QVERIFY(Command("select", "TRestoreWizard/ShellListView1", "match", "a.txt"));
        QVERIFY(Command("click", "TRestoreWizard/AddFiles"));
        auto *files = Child<QListWidget>(wizard.get(), "LbFileList");
        QTRY_COMPARE(files->count(), 1);
        files->selectAll();
        QTest::keyClick(files, Qt::Key_Delete);
        QVERIFY(files->count() == 0 && !next->isEnabled());
        Child<QPushButton>(wizard.get(), "AddFiles")->click();
        Child<QPushButton>(wizard.get(), "AddFiles")->click();
        QCOMPARE(files->count(), 1);
        QVERIFY(next->isEnabled());
        wizard->btnNextClick();
        QCOMPARE(wizard->Selection().Items, QStringList{QStringLiteral("C\\Data\\a.txt")});
        QCOMPARE(wizard->Selection().RestoreDir, QString());

        auto *location = Child<TNvShellTreeViewEx>(wizard.get(), "ShellTreeView1");
        QVERIFY(!location->isEnabled());
        Child<QRadioButton>(wizard.get(), "RadioButton2")->click();
        QVERIFY(ForceFolder(QStringLiteral("C:\\Gone\\")));
        QVERIFY(location->SelectPath(QStringLiteral("C:\\Gone\\")));
        QVERIFY(Child<QPushButton>(wizard.get(), "NewFolder")->isEnabled());
        QVERIFY(QDir(drives.Native('C', QStringLiteral("Gone"))).removeRecursively());
        wizard->btnNextClick();
        QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet4"));
        QCOMPARE(messages.Requests.size(), 1);
        QCOMPARE(messages.Requests.first().Title, QStringLiteral("Invalied Folder."));
        Child<QRadioButton>(wizard.get(), "RadioButton1")->click();
        wizard->btnNextClick();
        QCOMPARE(wizard->PageName(), QStringLiteral("Finish"));
    }

    void restoreToNewFolder_data()
    {
        QTest::addColumn<bool>("zip");
        // Two archives: each gets its drive's level below the chosen folder,
        // as the copies of a copy backup have.
        QTest::newRow("copies") << false;
        QTest::newRow("zip archives") << true;
    }

    // From the console's "Restore": a folder with a sub-folder left out and a
    // single file, into a folder made on the location page.
    void restoreToNewFolder()
    {
        QFETCH(bool, zip);
        test::TTestDrives drives({{'C', QString()}, {'D', QString()}, {'E', QStringLiteral("bus=USB")}});
        QStringList titles;
        SetMessageBoxHandler([&](const TMessageRequest &request) {
            titles << request.Title;
            return int(mrYes);
        });
        const auto restoreHandler = qScopeGuard([] { SetMessageBoxHandler({}); });
        SaveJob(zip);
        const QStringList entries{"Data/a.txt", "Data/Docs/b.txt", "Data/Docs/Old/o.txt", "Data/Other/x.txt"};
        if (zip) {
            QVERIFY(ForceFolder(Run));
            test::PutZip(Run + QStringLiteral("C.Zip"), entries);
            test::PutZip(Run + QStringLiteral("D.Zip"), {QStringLiteral("Data/a.txt")});
        } else {
            for (const QString &entry : entries)
                test::PutAt(Run + QStringLiteral("C\\") + QString(entry).replace('/', '\\'), entry.toUtf8());
        }
        AddRun(Run, TJobDatabase::StatusFinished);
        QVERIFY(ForceFolder(QStringLiteral("D:\\Restore\\")));
        const QString top = Run + (zip ? QStringLiteral("C.Zip\\") : QStringLiteral("C\\"));

        TDataModuleQuillonSuite::TOptions options;
        options.UseSystemTray = false;
        options.PCID = ComputePCID();
        TDataModuleQuillonSuite controller(options);
        TNewDrive *console = PressRestore();
        QVERIFY(console);
        QPointer<TRestoreWizard> wizard;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<TRestoreWizard *>(window); found && found->isVisible())
                wizard = found;
        QVERIFY(wizard);
        QCOMPARE(console->SubForms(), QList<QWidget *>{wizard.data()});

        wizard->btnNextClick();
        auto *tree = Child<TNvShellTreeViewEx>(wizard, "NvShellTreeViewEx1");
        tree->ClickFolder(top + QStringLiteral("Data\\Docs\\"), true);
        tree->ClickFolder(top + QStringLiteral("Data\\Docs\\Old\\"), false);
        QVERIFY(
            Command("treepath", "TRestoreWizard/NvShellTreeViewEx1", "item", top + QStringLiteral("Data\\")));
        QVERIFY(Command("select", "TRestoreWizard/ShellListView1", "match", "a.txt"));
        QVERIFY(Command("click", "TRestoreWizard/AddFiles"));
        QTRY_COMPARE(Child<QListWidget>(wizard, "LbFileList")->count(), 1);
        wizard->btnNextClick();
        Child<QRadioButton>(wizard, "RadioButton2")->click();
        QVERIFY(
            Child<TNvShellTreeViewEx>(wizard, "ShellTreeView1")->SelectPath(QStringLiteral("D:\\Restore\\")));
        test::TModalAnswer name([&](QDialog &dialog) {
            auto *edit = Child<QLineEdit>(&dialog, "Edit1");
            edit->setText(QStringLiteral("Made"));
            QTest::keyClick(edit, Qt::Key_Return);
            return dialog.result();
        });
        Child<QPushButton>(wizard, "NewFolder")->click();
        QCOMPARE(Child<TNvShellTreeViewEx>(wizard, "ShellTreeView1")->SelectedPath(), "D:\\Restore\\Made\\");
        wizard->btnNextClick();
        Child<QPushButton>(wizard, "BtnSaveandRun")->click();
        QTRY_VERIFY(wizard.isNull());
        QTRY_VERIFY(!console->HasRunningJobs());
        QTRY_COMPARE(titles, (QStringList{"Continue with restore ?", "Job Completed."}));

        const QString base = drives.Native('D', QStringLiteral("Restore/Made/"));
        QCOMPARE(test::FilesBelow(base), (QStringList{"C/Data/Docs/b.txt", "C/Data/a.txt"}));
        console->close();
    }

    // A job that never ran has no runs to restore.
    void consoleWithoutBackupData()
    {
        test::TTestDrives drives;
        test::TMessageRecorder messages;
        SaveJob(false);
        TNewDrive *console = PressRestore();
        QVERIFY(console);
        QCOMPARE(messages.Requests.size(), 1);
        QCOMPARE(messages.Requests.first().Title, QStringLiteral("No Backup Data"));
        QVERIFY(console->SubForms().isEmpty());
        console->close();
    }
};
QTEST_MAIN(TestRestoreWizard)
#include "tst_restorewizard.moc"
