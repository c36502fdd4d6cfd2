#include "CliProcess.h"
#include "E2eSession.h"
#include "E2eSteps.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QThread>
#include <QtTest>

using namespace trovalo;
using test::TE2eSession;
using namespace trovalo::test::e2e;

namespace {

const QString SyncWizard = QStringLiteral("trovalo::TSyncWizard");
const QString ConflictDialog = QStringLiteral("trovalo::TFileSyncPromptDlg");
const QString RestoreWizard = QStringLiteral("trovalo::TRestoreWizard");

// A file of a side with a modification time of its own, so that the change
// is seen whatever the clock's resolution.
void Change(const TE2eSession &session, QChar drive, const QString &relative, const QByteArray &content,
            qint64 secondsAhead)
{
    test::PutNative(session.Drives().Native(drive, relative), content);
    QFile file(session.Drives().Native(drive, relative));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(secondsAhead),
                             QFileDevice::FileModificationTime));
}

QByteArray Read(const TE2eSession &session, QChar drive, const QString &relative)
{
    return test::ReadOrMissing(session.Drives().Native(drive, relative));
}

// The console's job list shown again (the finished run's tab closed), its
// only job selected.
QString BackToJobList(TE2eSession &session)
{
    if (Visible(session, Panel + QStringLiteral("/BtnClose")) &&
        !Ok(Click(session, Panel + QStringLiteral("/BtnClose"))))
        return QStringLiteral("the finished run's tab does not close");
    if (!TE2eSession::Until([&] {
            return Visible(session, Console + QStringLiteral("/btnRun")) &&
                   Rows(session, JobList).size() == 1;
        }))
        return QStringLiteral("the job list does not show the job");
    const QJsonObject selected = session.Call(
        QStringLiteral("select"), {{QStringLiteral("path"), JobList}, {QStringLiteral("row"), 0}});
    return Ok(selected) ? QString() : Json(selected);
}

// Every file below a native folder by name, with its content.
QMap<QString, QByteArray> FilesByName(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        files.insert(QFileInfo(file).fileName(), test::ReadOrMissing(file));
    }
    return files;
}

} // namespace

class TestSyncRestoreJobs : public QObject
{
    Q_OBJECT

private slots:
    void syncJobAsksAboutConflicts();
    void restoreOfAnEarlierRun_data();
    void restoreOfAnEarlierRun();
};

void TestSyncRestoreJobs::syncJobAsksAboutConflicts()
{
    TE2eSession session;
    if (const QString missing = TE2eSession::MissingTools(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/both.txt")), "computer 1");
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/gone.txt")), "gone 1");
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Photos/other.txt")), "other 1");
    QVERIFY(QDir().mkpath(session.Drives().Native('E', QStringLiteral("Docs"))));
    QVERIFY(QDir().mkpath(session.Drives().Native('E', QStringLiteral("Photos"))));
    QString startError;
    QVERIFY2(session.Start(&startError), qPrintable(startError));
    CHECK_STEP(OpenConsoleOfStick(session, false));

    // "Synchronize files between computers and USB drives": two pairs, conflicts asked.
    QVERIFY(Ok(Click(session, Console + QStringLiteral("/BtnSync"))));
    QVERIFY2(!session.WaitForWindow(SyncWizard).isEmpty(), "no sync wizard");
    QVERIFY(Ok(SetText(session, SyncWizard + QStringLiteral("/BackupName"), QStringLiteral("Pairs"))));
    for (const auto &[usb, computer] : {std::pair{"E:\\Docs\\", "C:\\Users\\ann\\Docs\\"},
                                        std::pair{"E:\\Photos\\", "C:\\Users\\ann\\Photos\\"}}) {
        QVERIFY(Ok(TreePath(session, SyncWizard + QStringLiteral("/stvFolderA"), QString::fromLatin1(usb))));
        QVERIFY(
            Ok(TreePath(session, SyncWizard + QStringLiteral("/stvFolderB"), QString::fromLatin1(computer))));
        QVERIFY(Ok(Click(session, SyncWizard + QStringLiteral("/AddFolder"))));
    }
    QVERIFY2(TE2eSession::Until([&] {
                 const QList<QStringList> rows = Rows(session, SyncWizard + QStringLiteral("/ListView1"));
                 return rows.size() == 2 && rows.at(1).value(3) == QLatin1String("\\Photos") &&
                        rows.at(1).value(2) == QLatin1String("1");
             }),
             "the pair list does not show both pairs with their measured sizes");
    QVERIFY(Ok(Click(session, SyncWizard + QStringLiteral("/DefaultAction0"))));
    CHECK_STEP(Shot(session, SyncWizard, QStringLiteral("sync-1-pairs.png")));
    CHECK_STEP(NextTo(session, SyncWizard, QStringLiteral("Exclude")));
    CHECK_STEP(Shot(session, SyncWizard, QStringLiteral("sync-2-filter.png")));
    CHECK_STEP(NextTo(session, SyncWizard, QStringLiteral("TabSheet4")));
    CHECK_STEP(Shot(session, SyncWizard, QStringLiteral("sync-3-finish.png")));
    QVERIFY(Ok(Click(session, SyncWizard + QStringLiteral("/BtnSaveandRun"))));
    CHECK_STEP(RunFinished(session));
    QVERIFY2(!SavedJob(session, QStringLiteral("sync *.Zjs")).isEmpty(), "the wizard saved no sync job");
    QCOMPARE(Read(session, 'E', QStringLiteral("Docs/both.txt")), QByteArray("computer 1"));
    QCOMPARE(Read(session, 'E', QStringLiteral("Photos/other.txt")), QByteArray("other 1"));

    // Changed on both sides, twice; changed on the stick and deleted on the computer.
    Change(session, 'E', QStringLiteral("Docs/both.txt"), "stick 2", 100);
    Change(session, 'C', QStringLiteral("Users/ann/Docs/both.txt"), "computer 2", 200);
    Change(session, 'E', QStringLiteral("Photos/other.txt"), "stick other 2", 100);
    Change(session, 'C', QStringLiteral("Users/ann/Photos/other.txt"), "computer other 2", 200);
    Change(session, 'E', QStringLiteral("Docs/gone.txt"), "stick gone 2", 100);
    QVERIFY(QFile::remove(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/gone.txt"))));

    CHECK_STEP(BackToJobList(session));
    QVERIFY(Ok(Click(session, Console + QStringLiteral("/btnRun"))));
    QVERIFY2(!session.WaitForWindow(ConflictDialog).isEmpty(), "no conflict dialog");
    const QString list = ConflictDialog + QStringLiteral("/ListView");
    QList<QStringList> conflicts;
    QVERIFY(TE2eSession::Until([&] { return (conflicts = Rows(session, list)).size() == 3; }));
    QCOMPARE(conflicts.at(0).value(0), QStringLiteral("both.txt"));
    QCOMPARE(conflicts.at(1).value(0), QStringLiteral("gone.txt"));
    QCOMPARE(conflicts.at(1).value(2), QStringLiteral("File Not Found"));
    QCOMPARE(conflicts.at(2).value(0), QStringLiteral("other.txt"));
    // Both changed: the newer side is pre-selected; the deleted one keeps the stick's change.
    for (const QStringList &row : conflicts)
        QVERIFY2(!row.value(3).isEmpty(), qPrintable(row.join(QLatin1Char('|'))));
    CHECK_STEP(Shot(session, ConflictDialog, QStringLiteral("sync-conflicts.png")));

    // The stick's version for every row through "Repeat…", then the computer's for one.
    QVERIFY(Ok(session.Call(QStringLiteral("select"),
                            {{QStringLiteral("path"), list}, {QStringLiteral("match"), "gone.txt"}})));
    QVERIFY(Ok(Click(session, ConflictDialog + QStringLiteral("/ActionUsbDriveVersion"))));
    QVERIFY(Ok(Click(session, ConflictDialog + QStringLiteral("/chkRepeat"))));
    QVERIFY(Ok(session.Call(QStringLiteral("select"),
                            {{QStringLiteral("path"), list}, {QStringLiteral("match"), "both.txt"}})));
    QVERIFY(Ok(Click(session, ConflictDialog + QStringLiteral("/ActionComputerVersion"))));
    QVERIFY(TE2eSession::Until([&] {
        const QList<QStringList> rows = Rows(session, list);
        return rows.size() == 3 && rows.at(0).value(3) == QLatin1String("Use this computer's version") &&
               rows.at(1).value(3) == QLatin1String("Use this USB drive's version") &&
               rows.at(2).value(3) == QLatin1String("Use this USB drive's version");
    }));
    CHECK_STEP(Shot(session, ConflictDialog, QStringLiteral("sync-conflicts-answered.png")));
    QVERIFY(Ok(Click(session, ConflictDialog + QStringLiteral("/OKBtn"))));
    CHECK_STEP(RunFinished(session));

    QCOMPARE(Read(session, 'E', QStringLiteral("Docs/both.txt")), QByteArray("computer 2"));
    QCOMPARE(Read(session, 'C', QStringLiteral("Users/ann/Docs/both.txt")), QByteArray("computer 2"));
    QCOMPARE(Read(session, 'E', QStringLiteral("Photos/other.txt")), QByteArray("stick other 2"));
    QCOMPARE(Read(session, 'C', QStringLiteral("Users/ann/Photos/other.txt")), QByteArray("stick other 2"));
    QCOMPARE(Read(session, 'E', QStringLiteral("Docs/gone.txt")), QByteArray("stick gone 2"));
    QCOMPARE(Read(session, 'C', QStringLiteral("Users/ann/Docs/gone.txt")), QByteArray("stick gone 2"));
}

void TestSyncRestoreJobs::restoreOfAnEarlierRun_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("password");
    QTest::newRow("versions tracking") << "versions"
                                       << "";
    QTest::newRow("versions tracking with zip, encrypted") << "versions-zip"
                                                           << "s3cret";
}

void TestSyncRestoreJobs::restoreOfAnEarlierRun()
{
    QFETCH(QString, type);
    QFETCH(QString, password);
    const bool zip = !password.isEmpty();
    const QString shot = zip ? QStringLiteral("restore-zip-") : QStringLiteral("restore-");
    TE2eSession session;
    if (const QString missing = TE2eSession::MissingTools(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/a.txt")), "a 1");
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/Sub/b.txt")), "b 1");
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Notes/n.txt")), "n 1");
    QVERIFY(QDir().mkpath(session.Drives().Native('E', QStringLiteral("Backups"))));
    QStringList made{QStringLiteral("new"),           QStringLiteral("backup"),
                     QStringLiteral("--direction"),   QStringLiteral("to-usb"),
                     QStringLiteral("--type"),        type,
                     QStringLiteral("--source"),      QStringLiteral("C:\\Users\\ann\\Docs"),
                     QStringLiteral("--source"),      QStringLiteral("C:\\Users\\ann\\Notes"),
                     QStringLiteral("--destination"), QStringLiteral("E:\\Backups"),
                     QStringLiteral("--name"),        QStringLiteral("Docs")};
    if (zip) {
        const QString passwordFile = session.Drives().Native('C', QStringLiteral("password.txt"));
        test::PutNative(passwordFile, password.toUtf8() + "\n");
        made << QStringLiteral("--password-file") << passwordFile;
    }
    const test::TCliRun created = test::RunCli(made);
    QVERIFY2(created.Status == 0, qPrintable(created.Out + created.Err));
    const QString job = SavedJob(session, QStringLiteral("Backup*.Zja"));
    QVERIFY(!job.isEmpty());
    // Two runs with a file changed between them; a run's folder is named by
    // the minute, so the second waits for the next one.
    QCOMPARE(test::RunCli({QStringLiteral("run"), job}).Status, 0);
    const int minute = QTime::currentTime().minute();
    while (QTime::currentTime().minute() == minute)
        QThread::msleep(200);
    Change(session, 'C', QStringLiteral("Users/ann/Docs/a.txt"), "a 2", 100);
    QCOMPARE(test::RunCli({QStringLiteral("run"), job}).Status, 0);

    QString startError;
    QVERIFY2(session.Start(&startError), qPrintable(startError));
    CHECK_STEP(OpenConsoleOfStick(session, false));
    CHECK_STEP(BackToJobList(session));
    QVERIFY(Ok(Click(session, Console + QStringLiteral("/btnRestore"))));
    QVERIFY2(!session.WaitForWindow(RestoreWizard).isEmpty(), "no restore wizard");
    const QString runs = RestoreWizard + QStringLiteral("/ListView1");
    QVERIFY2(TE2eSession::Until([&] { return Rows(session, runs).size() == 2; }, 10000),
             qPrintable(Json(session.Call(QStringLiteral("rows"), {{QStringLiteral("path"), runs}}))));
    QVERIFY(Ok(session.Call(QStringLiteral("select"),
                            {{QStringLiteral("path"), runs}, {QStringLiteral("row"), 0}})));
    CHECK_STEP(Shot(session, RestoreWizard, shot + QStringLiteral("1-runs.png")));

    if (zip) {
        // A wrong password keeps the first page, without a word.
        QVERIFY(Ok(Click(session, RestoreWizard + QStringLiteral("/btnNext"))));
        QVERIFY2(!session.WaitForWindow(InputBox).isEmpty(), "no password question");
        QVERIFY(Ok(SetText(session, InputBox + QStringLiteral("/Edit1"), QStringLiteral("wrong"))));
        QVERIFY(Ok(Click(session, InputBox + QStringLiteral("/BtnOK"))));
        QVERIFY(TE2eSession::Until([&] { return !Visible(session, InputBox); }));
        QCOMPARE(PageOf(session, RestoreWizard), QStringLiteral("TabSheet1"));
        QVERIFY(!MessageBoxShown(session));
        QVERIFY(Ok(Click(session, RestoreWizard + QStringLiteral("/btnNext"))));
        QVERIFY2(!session.WaitForWindow(InputBox).isEmpty(), "no password question");
        QVERIFY(Ok(SetText(session, InputBox + QStringLiteral("/Edit1"), password)));
        QVERIFY(Ok(Click(session, InputBox + QStringLiteral("/BtnOK"))));
        QVERIFY(
            TE2eSession::Until([&] { return PageOf(session, RestoreWizard) == QLatin1String("TabSheet2"); }));
    } else {
        CHECK_STEP(NextTo(session, RestoreWizard, QStringLiteral("TabSheet2")));
    }

    // A folder checked, and one file of another folder added by itself.
    const QString tree = RestoreWizard + QStringLiteral("/NvShellTreeViewEx1");
    const QString run = Find(session, tree).value(QStringLiteral("root")).toString();
    QVERIFY2(!run.isEmpty(), "the tree shows no run folder");
    const QString drive = run + (zip ? QStringLiteral("C.Zip\\") : QStringLiteral("C\\"));
    QVERIFY(Ok(CheckPath(session, tree, drive + QStringLiteral("Users\\ann\\Notes\\"), true)));
    QVERIFY(Ok(TreePath(session, tree, drive + QStringLiteral("Users\\ann\\Docs\\"))));
    QVERIFY(TE2eSession::Until([&] {
        return Ok(session.Call(QStringLiteral("select"),
                               {{QStringLiteral("path"), RestoreWizard + QStringLiteral("/ShellListView1")},
                                {QStringLiteral("match"), "a.txt"}}));
    }));
    QVERIFY(Ok(Click(session, RestoreWizard + QStringLiteral("/AddFiles"))));
    QVERIFY(TE2eSession::Until(
        [&] { return Rows(session, RestoreWizard + QStringLiteral("/LbFileList")).size() == 1; }));
    CHECK_STEP(Shot(session, RestoreWizard, shot + QStringLiteral("2-selection.png")));
    CHECK_STEP(NextTo(session, RestoreWizard, QStringLiteral("TabSheet4")));

    // To a folder made here.
    QVERIFY(Ok(Click(session, RestoreWizard + QStringLiteral("/RadioButton2"))));
    const QString location = RestoreWizard + QStringLiteral("/ShellTreeView1");
    QVERIFY(Ok(TreePath(session, location, QStringLiteral("C:\\"))));
    CHECK_STEP(MakeFolder(session, RestoreWizard, QStringLiteral("Restored")));
    QVERIFY(TE2eSession::Until([&] {
        return Find(session, location).value(QStringLiteral("selectedPath")).toString() ==
               QLatin1String("C:\\Restored\\");
    }));
    CHECK_STEP(Shot(session, RestoreWizard, shot + QStringLiteral("3-location.png")));
    CHECK_STEP(NextTo(session, RestoreWizard, QStringLiteral("Finish")));
    CHECK_STEP(Shot(session, RestoreWizard, shot + QStringLiteral("4-finish.png")));
    QVERIFY(Ok(Click(session, RestoreWizard + QStringLiteral("/BtnSaveandRun"))));
    const QJsonObject confirm = session.WaitForMessageBox();
    QCOMPARE(confirm.value(QStringLiteral("title")).toString(), QStringLiteral("Trovalo"));
    QVERIFY(Ok(session.Call(QStringLiteral("press"), {{QStringLiteral("text"), QStringLiteral("Yes")}})));
    CHECK_STEP(RunFinished(session));

    // The first run's files: a.txt as it was then, the checked folder, nothing else.
    const QMap<QString, QByteArray> restored =
        FilesByName(session.Drives().Native('C', QStringLiteral("Restored")));
    QCOMPARE(restored.keys(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("n.txt")}));
    QCOMPARE(restored.value(QStringLiteral("a.txt")), QByteArray("a 1"));
    QCOMPARE(restored.value(QStringLiteral("n.txt")), QByteArray("n 1"));
}

QTEST_MAIN(TestSyncRestoreJobs)
#include "tst_syncrestorejobs.moc"
