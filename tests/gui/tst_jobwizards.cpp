#include "DialogAnswers.h"
#include "NestedDrives.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "base/PathText.h"
#include "drives/DrivePie.h"
#include "model/ArchiveData.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"
#include "wizards/BackupWizard.h"
#include "wizards/ExcludeFilterPage.h"
#include "wizards/MoveWizard.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace trovalo;

namespace {

template <class T>
T *Child(QWidget *wizard, const char *name)
{
    T *child = wizard->findChild<T *>(QLatin1String(name));
    if (!child)
        qWarning("no %s", name);
    return child;
}

// A wizard as the console makes it, with the pages built from the job.
template <class TWizard>
std::unique_ptr<TWizard> OpenWizard(const QString &jobFile, bool isNew, TArchiveDir dir = amPcToUsb,
                                    const QString &backupDrive = {})
{
    auto wizard = std::make_unique<TWizard>();
    wizard->SetNew(isNew);
    if (isNew)
        wizard->ArchiveData().SetArchiveDir(dir);
    wizard->SetBackUpDrive(backupDrive);
    wizard->SetFileName(jobFile);
    wizard->show();
    return wizard;
}

std::unique_ptr<TArchiveData> LoadJob(const QString &jobFile)
{
    auto job = std::make_unique<TArchiveData>();
    LoadFromFile(*job, jobFile);
    return job;
}

void SaveJob(const QString &jobFile, TArchiveDir dir, TArchiveMode mode, const QStringList &folders,
             const QString &destination, const QString &pcid = ComputePCID())
{
    TArchiveData job;
    job.SetBackupName(QStringLiteral("Stored"));
    job.SetArchiveDir(dir);
    job.SetArchiveMode(mode);
    job.SetBackupSystem(mode == amMirror ? 0 : 1);
    job.SetFolderList(folders);
    job.SetDestination(destination);
    job.SetPCID(pcid);
    job.SetGUID(QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    QVERIFY(ForceFolder(ExtractFilePath(jobFile)));
    SaveToFile(job, jobFile);
}

QStringList Titles(const QList<TMessageRequest> &requests)
{
    QStringList titles;
    for (const TMessageRequest &request : requests)
        titles << request.Title;
    return titles;
}

const QString NewBackup = QStringLiteral("E:\\Config\\Backup2026-01-31 14-05-09 042.Zja");
const QString NewMove = QStringLiteral("E:\\Config\\Move 2026-01-31 14-05-09 042.Zjm");

} // namespace

class TestJobWizards : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void settingsPage_data();
    void settingsPage();
    void missingDestinationStays();
    void overlappingFoldersRefused_data();
    void overlappingFoldersRefused();
    void moveScratchOfHomeRefused_data();
    void moveScratchOfHomeRefused();
    void editMovesListsToJobDrive_data();
    void editMovesListsToJobDrive();
    void foreignOrUnreadableJob_data();
    void foreignOrUnreadableJob();
    void savesKeepOneGuidAndEnableReset();
    void filterLists_data();
    void filterLists();
    void spaceFiguresFollowTheCount();
};

void TestJobWizards::cleanup()
{
    SetDiskSpaceHookForTests({});
}

void TestJobWizards::settingsPage_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("stored");

    QTest::newRow("zip, two passwords") << "BackupTypeZip" << true << "s3cret"
                                        << "s3cr3t"
                                        << "Password Mismatch"
                                        << "";
    QTest::newRow("zip, no password") << "BackupTypeZip" << true << ""
                                      << ""
                                      << "No Password"
                                      << "";
    QTest::newRow("zip, encrypted") << "BackupTypeZip" << true << "s3cret"
                                    << "s3cret"
                                    << ""
                                    << "s3cret";
    // Typed, then "No": the archive must not be encrypted behind the user's back.
    QTest::newRow("zip, not encrypted") << "BackupTypeZip" << false << "typed"
                                        << "other"
                                        << ""
                                        << "";
    QTest::newRow("versions zip, mismatch") << "BackupTypeVersionsZip" << true << "a"
                                            << "b"
                                            << "Password Mismatch"
                                            << "";
    QTest::newRow("mirror never asks") << "BackupTypeMirror" << true << "typed"
                                       << ""
                                       << ""
                                       << "";
}

void TestJobWizards::settingsPage()
{
    QFETCH(QString, type);
    QFETCH(bool, encrypt);
    QFETCH(QString, password);
    QFETCH(QString, confirmation);
    QFETCH(QString, refusal);
    QFETCH(QString, stored);
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    auto wizard = OpenWizard<TBackupWizard>(NewBackup, true);
    QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet2"));
    Child<QRadioButton>(wizard.get(), qPrintable(type))->click();
    Child<QRadioButton>(wizard.get(), encrypt ? "RadioButtonyes" : "RadioButtonNo")->click();
    QCOMPARE(Child<QLineEdit>(wizard.get(), "Password")->isEnabled(), encrypt);
    Child<QLineEdit>(wizard.get(), "Password")->setText(password);
    Child<QLineEdit>(wizard.get(), "Password1")->setText(confirmation);
    wizard->btnNextClick();
    QCOMPARE(Titles(messages.Requests), refusal.isEmpty() ? QStringList() : QStringList{refusal});
    QCOMPARE(wizard->PageName(),
             refusal.isEmpty() ? QStringLiteral("TargatFolder") : QStringLiteral("TabSheet2"));
    if (refusal.isEmpty())
        QCOMPARE(wizard->ArchiveData().Password(), stored);
}

void TestJobWizards::missingDestinationStays()
{
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    QVERIFY(ForceFolder(QStringLiteral("E:\\Backups\\")));
    auto wizard = OpenWizard<TBackupWizard>(NewBackup, true);
    wizard->btnNextClick();
    auto *tree = Child<TNvShellTreeViewEx>(wizard.get(), "stvDestination");
    QVERIFY(tree->SelectPath(QStringLiteral("E:\\Backups\\")));
    QVERIFY(QDir(drives.Native('E', QStringLiteral("Backups"))).removeRecursively());
    wizard->btnNextClick();
    QCOMPARE(Titles(messages.Requests), QStringList{QStringLiteral("Destination Folder Not Found")});
    QCOMPARE(wizard->PageName(), QStringLiteral("TargatFolder"));
}

void TestJobWizards::overlappingFoldersRefused_data()
{
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QStringList>("unchecked");
    QTest::addColumn<bool>("refused");

    // The stick's own folder on the computer holds the destination.
    QTest::newRow("destination inside source") << QStringList{"C:\\media\\ann\\"} << QStringList() << true;
    QTest::newRow("source inside destination")
        << QStringList{"C:\\media\\ann\\STICK\\Backup\\Inner\\"} << QStringList() << true;
    QTest::newRow("destination left out of the source")
        << QStringList{"C:\\media\\ann\\"} << QStringList{"C:\\media\\ann\\STICK\\"} << false;
    QTest::newRow("a name that only starts alike")
        << QStringList{"C:\\media\\ann\\STICK\\Backups\\"} << QStringList() << false;
    QTest::newRow("apart") << QStringList{"C:\\home\\ann\\"} << QStringList() << false;
}

void TestJobWizards::overlappingFoldersRefused()
{
    QFETCH(QStringList, checked);
    QFETCH(QStringList, unchecked);
    QFETCH(bool, refused);
    test::TNestedDrives drives;
    for (const QString folder : {"media/ann/STICK/Backup/Inner", "media/ann/STICK/Backups", "home/ann/Docs"})
        QVERIFY(QDir().mkpath(drives.Native(folder)));
    test::TMessageRecorder messages;
    auto wizard = OpenWizard<TBackupWizard>(NewBackup, true);
    Child<QRadioButton>(wizard.get(), "BackupTypeMirror")->click();
    wizard->btnNextClick();
    QVERIFY(Child<TNvShellTreeViewEx>(wizard.get(), "stvDestination")
                ->SelectPath(QStringLiteral("E:\\Backup\\")));
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("SourceFolderTab"));
    auto *tree = Child<TNvShellTreeViewEx>(wizard.get(), "stvPC");
    for (const QString &path : checked)
        tree->ClickFolder(path, true);
    for (const QString &path : unchecked)
        tree->ClickFolder(path, false);
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), refused ? QStringLiteral("SourceFolderTab") : QStringLiteral("Exclude"));
    QCOMPARE(Titles(messages.Requests),
             refused ? QStringList{QStringLiteral("Check the Folders")} : QStringList());
}

void TestJobWizards::moveScratchOfHomeRefused_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("scratch");
    QTest::addColumn<bool>("refused");

    QTest::newRow("home, deleted") << "C:\\home\\ann\\" << true << true;
    QTest::newRow("home, kept") << "C:\\home\\ann\\" << false << false;
    QTest::newRow("a folder of home, deleted") << "C:\\home\\ann\\Docs\\" << true << false;
}

void TestJobWizards::moveScratchOfHomeRefused()
{
    QFETCH(QString, source);
    QFETCH(bool, scratch);
    QFETCH(bool, refused);
    test::TNestedDrives drives;
    QVERIFY(QDir().mkpath(drives.Native(QStringLiteral("home/ann/Docs"))));
    QVERIFY(QDir().mkpath(drives.Native(QStringLiteral("media/ann/STICK/Moved"))));
    test::TMessageRecorder messages;
    auto wizard = OpenWizard<TMoveWizard>(NewMove, true, amPcToUsb);
    QVERIFY(
        Child<TNvShellTreeViewEx>(wizard.get(), "stvDestination")->SelectPath(QStringLiteral("E:\\Moved\\")));
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("SoruceTab"));
    QVERIFY(!Child<QPushButton>(wizard.get(), "btnNext")->isEnabled());
    QVERIFY(Child<TNvShellTreeViewEx>(wizard.get(), "stvPC")->SelectPath(source));
    QVERIFY(Child<QPushButton>(wizard.get(), "btnNext")->isEnabled());
    wizard->btnNextClick();
    Child<QCheckBox>(wizard.get(), "DeleteFiles")->setChecked(scratch);
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), refused ? QStringLiteral("DeleteFilesTab") : QStringLiteral("Exclude"));
    QCOMPARE(messages.Requests.size(), refused ? 1 : 0);
    QCOMPARE(wizard->ArchiveData().FolderList(), QStringList{source});
    QVERIFY(wizard->ArchiveData().FileList().isEmpty());
}

void TestJobWizards::editMovesListsToJobDrive_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("backup from USB") << false;
    QTest::newRow("move from USB") << true;
}

// A job made while the stick was F: is edited while it is E:.
void TestJobWizards::editMovesListsToJobDrive()
{
    QFETCH(bool, move);
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    QVERIFY(ForceFolder(QStringLiteral("E:\\Photos\\")));
    QVERIFY(ForceFolder(QStringLiteral("C:\\Out\\")));
    const QString file = move ? NewMove : NewBackup;
    SaveJob(file, amUsbToPc, move ? amMove : amIncremental, {QStringLiteral("F:\\Photos\\")},
            QStringLiteral("C:\\Out\\"));

    std::unique_ptr<TJobWizardBase> wizard;
    if (move)
        wizard = OpenWizard<TMoveWizard>(file, false);
    else
        wizard = OpenWizard<TBackupWizard>(file, false);
    QCOMPARE(wizard->ArchiveData().FolderList(), QStringList{QStringLiteral("E:\\Photos\\")});
    auto *destination = Child<TNvShellTreeViewEx>(wizard.get(), "stvDestination");
    QCOMPARE(destination->SelectedPath(), QStringLiteral("C:\\Out\\"));
    for (int page = 0; page < 4; ++page)
        wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet4"));
    auto *source = Child<TNvShellTreeViewEx>(wizard.get(), "stvPC");
    if (move)
        QCOMPARE(source->SelectedPath(), QStringLiteral("E:\\Photos\\"));
    else
        QVERIFY2(
            source->isClick(QStringLiteral("E:\\Photos\\")),
            qPrintable(source->RootPath() + QLatin1Char(' ') + source->IncludeList().join(QLatin1Char(','))));
    QVERIFY(wizard->BtnSaveClick());
    QCOMPARE(messages.Requests.size(), 0);
    const auto saved = LoadJob(file);
    QCOMPARE(saved->FolderList(), QStringList{QStringLiteral("E:\\Photos\\")});
    QCOMPARE(saved->Destination(), QStringLiteral("C:\\Out\\"));
    QCOMPARE(saved->GUID(), QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
}

void TestJobWizards::foreignOrUnreadableJob_data()
{
    QTest::addColumn<bool>("foreign");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("title");

    QTest::newRow("another computer's, declined") << true << int(mrNo) << false << "Load Backup";
    QTest::newRow("another computer's, accepted") << true << int(mrYes) << true << "Load Backup";
    QTest::newRow("damaged") << false << int(mrOk) << false << "Invalied File Format.";
}

void TestJobWizards::foreignOrUnreadableJob()
{
    QFETCH(bool, foreign);
    QFETCH(int, answer);
    QFETCH(bool, opens);
    QFETCH(QString, title);
    test::TTestDrives drives;
    if (foreign)
        SaveJob(NewBackup, amPcToUsb, amIncremental, {QStringLiteral("C:\\")}, QStringLiteral("E:\\B\\"),
                QStringLiteral("9F9F - 0001"));
    else
        test::PutAt(NewBackup, "not a job file");
    QStringList titles;
    SetMessageBoxHandler([&](const TMessageRequest &request) {
        titles << request.Title;
        return answer;
    });
    bool opened = true;
    try {
        OpenWizard<TBackupWizard>(NewBackup, false);
    } catch (const EAbortByUser &) {
        opened = false;
    }
    SetMessageBoxHandler({});
    QCOMPARE(opened, opens);
    QCOMPARE(titles, QStringList{title});
}

void TestJobWizards::savesKeepOneGuidAndEnableReset()
{
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    QVERIFY(ForceFolder(QStringLiteral("C:\\Data\\")));
    // A database left by an earlier job of the same name must not be taken over.
    const QString database = ChangeFileExt(NewBackup, QStringLiteral(".Zjd"));
    test::PutAt(database, "stale");
    auto wizard = OpenWizard<TBackupWizard>(NewBackup, true);
    Child<QRadioButton>(wizard.get(), "BackupTypeVersions")->click();
    QVERIFY(!Child<QPushButton>(wizard.get(), "btnResetBackup")->isEnabled());
    wizard->btnNextClick();
    wizard->btnNextClick();
    Child<TNvShellTreeViewEx>(wizard.get(), "stvPC")->ClickFolder(QStringLiteral("C:\\Data\\"), true);
    wizard->btnNextClick();
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet4"));
    QVERIFY(wizard->BtnSaveClick());
    QVERIFY(!FileExists(database));
    const QString guid = LoadJob(NewBackup)->GUID();
    QVERIFY(!QUuid::fromString(guid).isNull());
    QVERIFY(wizard->BtnSaveClick());
    QCOMPARE(LoadJob(NewBackup)->GUID(), guid);
    QCOMPARE(messages.Requests.size(), 0);

    auto reopened = OpenWizard<TBackupWizard>(NewBackup, false);
    QVERIFY(Child<QPushButton>(reopened.get(), "btnResetBackup")->isEnabled());
    QVERIFY(!Child<QWidget>(reopened.get(), "BackupType")->isEnabled());
    const auto saved = LoadJob(NewBackup);
    QCOMPARE(saved->ArchiveMode(), amTimeStampedIncremental);
    QCOMPARE(saved->FolderList(), QStringList{QStringLiteral("C:\\Data\\")});
    QCOMPARE(saved->Destination(), QStringLiteral("E:\\"));
}

void TestJobWizards::filterLists_data()
{
    QTest::addColumn<bool>("extensions");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("extension without a dot") << true << QStringList{"TXT"} << QStringList();
    QTest::newRow("extension in lower case, once")
        << true << QStringList{".TXT", ".txt"} << QStringList{".txt"};
    QTest::newRow("a dot alone") << true << QStringList{"."} << QStringList();
    QTest::newRow("masks") << false << QStringList{"~*.DOC", "t?mp.doc", "~*.doc", ""}
                           << QStringList{"~*.doc", "t?mp.doc"};
}

void TestJobWizards::filterLists()
{
    QFETCH(bool, extensions);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, listed);
    TExcludeFilterPage page;
    auto *edit = page.findChild<QLineEdit *>(extensions ? QStringLiteral("Edit1") : QStringLiteral("Edit2"));
    auto *add =
        page.findChild<QPushButton *>(extensions ? QStringLiteral("Edit1Add") : QStringLiteral("Edit2Add"));
    for (const QString &text : typed) {
        edit->setText(text);
        add->click();
    }
    QCOMPARE(extensions ? page.Extensions() : page.Masks(), listed);
}

// More data than the destination holds: a negative "after" and an overload.
void TestJobWizards::spaceFiguresFollowTheCount()
{
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    SetDiskSpaceHookForTests([](const QString &) { return TDiskSpace{1000, 5000}; });
    test::PutAt(QStringLiteral("C:\\Data\\a.bin"), QByteArray(1800, 'a'));
    test::PutAt(QStringLiteral("C:\\Data\\Sub\\b.bin"), QByteArray(1200, 'b'));
    auto wizard = OpenWizard<TBackupWizard>(NewBackup, true);
    Child<QRadioButton>(wizard.get(), "BackupTypeMirror")->click();
    wizard->btnNextClick();
    wizard->btnNextClick();
    auto *tree = Child<TNvShellTreeViewEx>(wizard.get(), "stvPC");
    tree->ClickFolder(QStringLiteral("C:\\Data\\"), true);
    QTRY_VERIFY(!tree->Counting());
    QCOMPARE(Child<QLabel>(wizard.get(), "lblSpaceRequred")->text(), QStringLiteral("2.93 Kb"));
    QCOMPARE(Child<QLabel>(wizard.get(), "lblFilesFolders")->text(), QStringLiteral("2 / 1"));
    QCOMPARE(Child<QLabel>(wizard.get(), "LblAfterBackup")->text(), QStringLiteral("-1.95 Kb"));
    auto *chart = Child<TDrivePie>(wizard.get(), "Chart");
    QVERIFY(chart->HasData());
    QCOMPARE(chart->Value(0), qint64(4000)); // used
    QCOMPARE(chart->Value(1), qint64(0));    // free after
    QCOMPARE(chart->Value(2), qint64(3000)); // required
    QCOMPARE(chart->Value(3), qint64(2000)); // over load
}

QTEST_MAIN(TestJobWizards)
#include "tst_jobwizards.moc"
