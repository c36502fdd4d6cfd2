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
#include "picker/ShellTreeModel.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"
#include "platform/ZipArchive.h"
#include "wizards/RestoreWizard.h"

#include <QApplication>
#include <QDialog>
#include <QJsonObject>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

using namespace trovalo;

namespace {

const QString JobFile = QStringLiteral("E:\\Config\\Backup1.Zja");
const QString Run = QStringLiteral("E:\\Backups\\Job1\\R1\\");

template <class T>
T *Child(QWidget *wizard, const char *name)
{
    T *child = wizard->findChild<T *>(QLatin1String(name));
    if (!child)
        qWarning("no %s", name);
    return child;
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

void WriteArchive(const QString &archive, const QStringList &entries, const QString &password = {})
{
    TZipArchive zip;
    zip.SetPassword(password);
    zip.Open(archive, TZipOpenMode::Replace);
    for (const QString &entry : entries) {
        const QString scratch = QStringLiteral("C:\\Scratch\\") + QString(entry).replace('/', '_');
        test::PutAt(scratch, entry.toUtf8());
        zip.AddFile(scratch, entry);
    }
    QVERIFY(zip.Commit());
}

std::unique_ptr<TRestoreWizard> OpenWizard()
{
    auto wizard = std::make_unique<TRestoreWizard>();
    wizard->SetFileName(JobFile);
    wizard->show();
    return wizard;
}

// Selects the file list's row of Name in the folder the tree shows.
void SelectInList(TRestoreWizard &wizard, const QString &folder, const QString &name)
{
    QVERIFY(Child<TNvShellTreeViewEx>(&wizard, "NvShellTreeViewEx1")->SelectPath(folder));
    auto *list = Child<QListView>(&wizard, "ShellListView1");
    const QModelIndexList found =
        list->model()->match(list->model()->index(0, 0, list->rootIndex()), Qt::DisplayRole, name);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list->selectionModel()->select(found.first(), QItemSelectionModel::ClearAndSelect);
}

} // namespace

class TestRestoreWizard : public QObject
{
    Q_OBJECT

private slots:
    void runList_data();
    void runList();
    void password_data();
    void password();
    void singleFilesOnly();
    void customLocationRefused();
    void restoreToNewFolder_data();
    void restoreToNewFolder();
    void consoleWithoutRestore_data();
    void consoleWithoutRestore();
};

void TestRestoreWizard::runList_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("not completed") << "Not Completed" << QColor(255, 0, 128);
    QTest::newRow("cancelled") << "Canceled" << QColor(254, 174, 10);
    QTest::newRow("finished") << "Finished !" << QColor(0, 128, 255);
}

// The runs were made while the stick was F:; it is E: now.
void TestRestoreWizard::runList()
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

void TestRestoreWizard::password_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("page");
    QTest::newRow("unchanged") << "S3cret" << false << "TabSheet2";
    QTest::newRow("changed") << "guess" << false << "TabSheet1";
    QTest::newRow("cancelled keeps the stored one") << "guess" << true << "TabSheet2";
}

void TestRestoreWizard::password()
{
    QFETCH(QString, typed);
    QFETCH(bool, cancel);
    QFETCH(QString, page);
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    SaveJob(true, QStringLiteral("S3cret"));
    QVERIFY(ForceFolder(Run));
    WriteArchive(Run + QStringLiteral("C.Zip"), {QStringLiteral("Data/a.txt")}, QStringLiteral("S3cret"));
    AddRun(Run, TJobDatabase::StatusFinished);
    auto wizard = OpenWizard();
    QString preset;
    test::TModalAnswer answer([&](QDialog &dialog) {
        auto *edit = Child<QLineEdit>(&dialog, "Edit1");
        preset = edit->text();
        edit->setText(typed);
        QTest::keyClick(edit, cancel ? Qt::Key_Escape : Qt::Key_Return);
        return dialog.result();
    });
    wizard->btnNextClick();
    QCOMPARE(preset, QStringLiteral("S3cret"));
    QCOMPARE(wizard->PageName(), page);
    QCOMPARE(messages.Requests.size(), 0);
    if (page == QLatin1String("TabSheet2"))
        QCOMPARE(wizard->PasswordTxt(), QStringLiteral("S3cret"));
}

void TestRestoreWizard::singleFilesOnly()
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
    // As the end-to-end suites drive it.
    const auto command = [](const QString &cmd, const QString &path, const QString &key,
                            const QString &value) {
        const QJsonObject reply = TAutomationCommands::Execute(
            {{QStringLiteral("cmd"), cmd}, {QStringLiteral("path"), path}, {key, value}});
        return reply.value(QStringLiteral("ok")).toBool();
    };
    QVERIFY(
        command("treepath", "TRestoreWizard/NvShellTreeViewEx1", "item", Run + QStringLiteral("C\\Data\\")));
    QVERIFY(command("select", "TRestoreWizard/ShellListView1", "match", "a.txt"));
    QVERIFY(command("click", "TRestoreWizard/AddFiles", {}, {}));
    auto *files = Child<QListWidget>(wizard.get(), "LbFileList");
    QTRY_COMPARE(files->count(), 1);
    Child<QPushButton>(wizard.get(), "AddFiles")->click();
    QCOMPARE(files->count(), 1);
    QVERIFY(next->isEnabled());
    wizard->btnNextClick();
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("Finish"));
    const TRestoreSelection selection = wizard->Selection();
    QCOMPARE(selection.Items, QStringList{QStringLiteral("C\\Data\\a.txt")});
    QCOMPARE(selection.RestoreDir, QString());
    wizard->btnBackClick();
    wizard->btnBackClick();
    files->selectAll();
    QTest::keyClick(files, Qt::Key_Delete);
    QCOMPARE(files->count(), 0);
    QVERIFY(!next->isEnabled());
}

void TestRestoreWizard::customLocationRefused()
{
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    SaveJob(false);
    test::PutAt(Run + QStringLiteral("C\\Data\\a.txt"), "a");
    AddRun(Run, TJobDatabase::StatusFinished);
    QVERIFY(ForceFolder(QStringLiteral("C:\\Gone\\")));
    auto wizard = OpenWizard();
    wizard->btnNextClick();
    Child<TNvShellTreeViewEx>(wizard.get(), "NvShellTreeViewEx1")
        ->ClickFolder(Run + QStringLiteral("C\\"), true);
    wizard->btnNextClick();
    auto *location = Child<TNvShellTreeViewEx>(wizard.get(), "ShellTreeView1");
    QVERIFY(!location->isEnabled());
    Child<QRadioButton>(wizard.get(), "RadioButton2")->click();
    QVERIFY(location->SelectPath(QStringLiteral("C:\\Gone\\")));
    QVERIFY(Child<QPushButton>(wizard.get(), "NewFolder")->isEnabled());
    QVERIFY(QDir(drives.Native('C', QStringLiteral("Gone"))).removeRecursively());
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet4"));
    QCOMPARE(messages.Requests.size(), 1);
    QCOMPARE(messages.Requests.first().Title, QStringLiteral("Invalied Folder."));
}

void TestRestoreWizard::restoreToNewFolder_data()
{
    QTest::addColumn<bool>("zip");
    // Two archives: each gets its drive's level below the chosen folder,
    // as the copies of a copy backup have.
    QTest::newRow("copies") << false;
    QTest::newRow("zip archives") << true;
}

// From the console's "Restore": a folder with a sub-folder left out and a
// single file, into a folder made on the location page.
void TestRestoreWizard::restoreToNewFolder()
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
        WriteArchive(Run + QStringLiteral("C.Zip"), entries);
        WriteArchive(Run + QStringLiteral("D.Zip"), {QStringLiteral("Data/a.txt")});
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
    TNewDrive *console = TNewDrive::OpenDrive(QStringLiteral("E:\\"));
    QVERIFY(console);
    QTRY_VERIFY(!console->Searching());
    auto *jobs = console->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
    QCOMPARE(jobs->topLevelItemCount(), 1);
    jobs->setCurrentItem(jobs->topLevelItem(0));
    console->findChild<QPushButton *>(QStringLiteral("btnRestore"))->click();
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
    SelectInList(*wizard, top + QStringLiteral("Data\\"), QStringLiteral("a.txt"));
    Child<QPushButton>(wizard, "AddFiles")->click();
    wizard->btnNextClick();
    Child<QRadioButton>(wizard, "RadioButton2")->click();
    QVERIFY(Child<TNvShellTreeViewEx>(wizard, "ShellTreeView1")->SelectPath(QStringLiteral("D:\\Restore\\")));
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
    QCOMPARE(test::ReadOrMissing(base + "C/Data/Docs/b.txt"), QByteArray("Data/Docs/b.txt"));
    console->close();
}

void TestRestoreWizard::consoleWithoutRestore_data()
{
    QTest::addColumn<bool>("foreign");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("never ran") << false << QStringList{"No Backup Data"};
    QTest::newRow("another computer's, declined") << true << QStringList{"Load Backup"};
}

void TestRestoreWizard::consoleWithoutRestore()
{
    QFETCH(bool, foreign);
    QFETCH(QStringList, titles);
    test::TTestDrives drives;
    QStringList asked;
    SetMessageBoxHandler([&](const TMessageRequest &request) {
        asked << request.Title;
        return int(mrNo);
    });
    const auto restoreHandler = qScopeGuard([] { SetMessageBoxHandler({}); });
    SaveJob(false);
    if (foreign) {
        TArchiveData job;
        LoadFromFile(job, JobFile);
        job.SetPCID(QStringLiteral("9F9F - 0001"));
        SaveToFile(job, JobFile);
        AddRun(Run, TJobDatabase::StatusFinished);
    }
    TNewDrive *console = TNewDrive::OpenDrive(QStringLiteral("E:\\"));
    QTRY_VERIFY(!console->Searching());
    auto *jobs = console->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
    jobs->setCurrentItem(jobs->topLevelItem(0));
    console->findChild<QPushButton *>(QStringLiteral("btnRestore"))->click();
    QCOMPARE(asked, titles);
    QVERIFY(console->SubForms().isEmpty());
    console->close();
}

QTEST_MAIN(TestRestoreWizard)
#include "tst_restorewizard.moc"
