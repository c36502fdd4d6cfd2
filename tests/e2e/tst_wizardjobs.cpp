#include "CliProcess.h"
#include "E2eSession.h"
#include "E2eSteps.h"
#include "TestFiles.h"

#include "platform/DriveTable.h"
#include "platform/ZipArchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace trovalo;
using test::TE2eSession;
using namespace trovalo::test::e2e;

namespace {

const QString BackupWizard = QStringLiteral("trovalo::TBackupWizard");
const QString MoveWizard = QStringLiteral("trovalo::TMoveWizard");

} // namespace

class TestWizardJobs : public QObject
{
    Q_OBJECT

private slots:
    void backupAndMoveJobsMadeInTheWizards();
};

void TestWizardJobs::backupAndMoveJobsMadeInTheWizards()
{
    TE2eSession session;
    if (const QString missing = TE2eSession::MissingTools(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    const QMap<QString, QByteArray> files = {{"Users/ann/Docs/letter.txt", "Dear Ann"},
                                             {"Users/ann/Docs/Sub/notes.doc", "notes"},
                                             {"Users/ann/Docs/draft.tmp", "scratch"},
                                             {"Users/ann/Docs/Private/diary.txt", "secret"},
                                             {"Users/ann/Outbox/photo.jpg", test::RandomBytes(4096)}};
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        test::PutNative(session.Drives().Native('C', file.key()), file.value());
    QString startError;
    QVERIFY2(session.Start(&startError), qPrintable(startError));
    CHECK_STEP(OpenConsoleOfStick(session, false));

    // Backup files between computers and USB drives: from the computer to the stick.
    QVERIFY(Ok(Click(session, Console + QStringLiteral("/btnBackup"))));
    CHECK_STEP(ChooseDirection(session, 0));
    QVERIFY2(!session.WaitForWindow(BackupWizard).isEmpty(), "no backup wizard");
    QCOMPARE(PageOf(session, BackupWizard), QStringLiteral("TabSheet2"));
    QVERIFY(Ok(SetText(session, BackupWizard + QStringLiteral("/BackupName"), QStringLiteral("Docs"))));
    QVERIFY(Ok(Click(session, BackupWizard + QStringLiteral("/BackupTypeZip"))));
    QVERIFY(Visible(session, BackupWizard + QStringLiteral("/GroupZip")));
    QVERIFY(Ok(SetText(session, BackupWizard + QStringLiteral("/Password"), QStringLiteral("s3cret"))));
    QVERIFY(Ok(SetText(session, BackupWizard + QStringLiteral("/Password1"), QStringLiteral("s3cret"))));
    CHECK_STEP(Shot(session, BackupWizard, QStringLiteral("backup-1-settings.png")));
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("TargatFolder")));

    const QString destination = BackupWizard + QStringLiteral("/stvDestination");
    QVERIFY(Ok(TreePath(session, destination, QStringLiteral("E:\\"))));
    CHECK_STEP(MakeFolder(session, BackupWizard, QStringLiteral("Backups")));
    QVERIFY2(TE2eSession::Until([&] {
                 return Find(session, destination).value(QStringLiteral("selectedPath")).toString() ==
                        QLatin1String("E:\\Backups\\");
             }),
             "the new folder is not selected");
    QVERIFY(QFileInfo(session.Drives().Native('E', QStringLiteral("Backups"))).isDir());
    CHECK_STEP(Shot(session, BackupWizard, QStringLiteral("backup-2-destination.png")));
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("SourceFolderTab")));

    const QString source = BackupWizard + QStringLiteral("/stvPC");
    QVERIFY(Ok(CheckPath(session, source, QStringLiteral("C:\\Users\\ann\\Docs\\"), true)));
    QVERIFY(Ok(CheckPath(session, source, QStringLiteral("C:\\Users\\ann\\Docs\\Private\\"), false)));
    QVERIFY(TE2eSession::Until(
        [&] { return !Find(session, source).value(QStringLiteral("counting")).toBool(); }));
    QCOMPARE(Find(session, BackupWizard + QStringLiteral("/lblFilesFolders"))
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("3 / 1"));
    CHECK_STEP(Shot(session, BackupWizard, QStringLiteral("backup-3-sources.png")));
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("Exclude")));

    QVERIFY(Ok(SetText(session, BackupWizard + QStringLiteral("/Edit1"), QStringLiteral(".TMP"))));
    QVERIFY(Ok(Click(session, BackupWizard + QStringLiteral("/Edit1Add"))));
    QVERIFY(TE2eSession::Until([&] {
        return Texts(Find(session, BackupWizard + QStringLiteral("/ListBox2"))
                         .value(QStringLiteral("items"))) == QStringList{QStringLiteral(".tmp")};
    }));
    CHECK_STEP(Shot(session, BackupWizard, QStringLiteral("backup-4-filter.png")));
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("TabSheet4")));
    CHECK_STEP(Shot(session, BackupWizard, QStringLiteral("backup-5-finish.png")));
    QVERIFY(Ok(Click(session, BackupWizard + QStringLiteral("/BtnSaveandRun"))));
    CHECK_STEP(RunFinished(session));
    QVERIFY(session.Screenshot(QStringLiteral("backup-run-finished.png"), Console));

    const QString backupJob = SavedJob(session, QStringLiteral("Backup*.Zja"));
    QVERIFY2(!backupJob.isEmpty(), "the wizard saved no backup job");
    QVERIFY2(TE2eSession::Until([&] {
                 const QList<QStringList> rows = Rows(session, JobList);
                 return rows.size() == 1 && rows.constFirst().value(0) == QLatin1String("Backup To USB") &&
                        rows.constFirst().value(1) == QLatin1String("Docs");
             }),
             "the console does not list the new job");

    // What was saved is what was chosen, as the command line reads it.
    const test::TCliRun shown =
        test::RunCli({QStringLiteral("show"), backupJob, QStringLiteral("--show-password")});
    QCOMPARE(shown.Status, 0);
    const QJsonValue job = QJsonDocument::fromJson(shown.OutBytes).object();
    QCOMPARE(Texts(FindKey(job, QStringLiteral("FolderList.Strings"))),
             QStringList{QStringLiteral("C:\\Users\\ann\\Docs\\")});
    QCOMPARE(Texts(FindKey(job, QStringLiteral("ExcludeList.Strings"))),
             QStringList{QStringLiteral("C:\\Users\\ann\\Docs\\Private\\")});
    QCOMPARE(Texts(FindKey(job, QStringLiteral("FileFilter.ExcludeFileExtList.Strings"))),
             QStringList{QStringLiteral(".tmp")});
    QCOMPARE(FindKey(job, QStringLiteral("ArchiveType")).toString(), QStringLiteral("atImage"));
    QCOMPARE(FindKey(job, QStringLiteral("ArchiveMode")).toString(), QStringLiteral("amCompletelyNew"));
    QCOMPARE(FindKey(job, QStringLiteral("ArchiveDir")).toString(), QStringLiteral("amPcToUsb"));
    QCOMPARE(FindKey(job, QStringLiteral("Password")).toString(), QStringLiteral("s3cret"));
    QCOMPARE(FindKey(job, QStringLiteral("Destination")).toString(), QStringLiteral("E:\\Backups\\"));
    // The archives hold the chosen files only, encrypted.
    QStringList entries;
    QDirIterator archives(session.Drives().Native('E', QStringLiteral("Backups")), {QStringLiteral("*.zip")},
                          QDir::Files, QDirIterator::Subdirectories);
    while (archives.hasNext()) {
        const QString archive = archives.next();
        TZipArchive zip;
        zip.Open(LetterPath(archive), TZipOpenMode::Read);
        for (const TZipEntryInfo &entry : zip.Entries()) {
            if (entry.IsFolder())
                continue;
            QVERIFY2(entry.IsEncrypted(), qPrintable(entry.Name));
            entries << entry.Name.section(QLatin1Char('/'), -1);
        }
    }
    entries.sort();
    QCOMPARE(entries, (QStringList{QStringLiteral("letter.txt"), QStringLiteral("notes.doc")}));
    const test::TCliRun again = test::RunCli({QStringLiteral("run"), backupJob});
    QVERIFY2(again.Status == 0, qPrintable(again.Out + again.Err));

    // The finished run's tab is closed, which shows the job list again;
    // "Edit" reopens the job with the same choices.
    QVERIFY(Ok(Click(session, Panel + QStringLiteral("/BtnClose"))));
    QVERIFY(TE2eSession::Until([&] { return Visible(session, Console + QStringLiteral("/BtnEdit")); }));
    QVERIFY(Ok(session.Call(QStringLiteral("select"),
                            {{QStringLiteral("path"), JobList}, {QStringLiteral("row"), 0}})));
    const QJsonObject edit = Click(session, Console + QStringLiteral("/BtnEdit"));
    QVERIFY2(Ok(edit), qPrintable(Json(edit)));
    QVERIFY2(!session.WaitForWindow(BackupWizard).isEmpty(), "\"Edit\" opened no wizard");
    QVERIFY(!Find(session, BackupWizard + QStringLiteral("/BackupType"))
                 .value(QStringLiteral("enabled"))
                 .toBool());
    QCOMPARE(
        Find(session, BackupWizard + QStringLiteral("/BackupName")).value(QStringLiteral("text")).toString(),
        QStringLiteral("Docs"));
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("TargatFolder")));
    QCOMPARE(Find(session, destination).value(QStringLiteral("selectedPath")).toString(),
             QStringLiteral("E:\\Backups\\"));
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("SourceFolderTab")));
    const QJsonObject reopened = Find(session, source);
    QCOMPARE(Texts(reopened.value(QStringLiteral("include"))),
             QStringList{QStringLiteral("C:\\Users\\ann\\Docs\\")});
    QCOMPARE(Texts(reopened.value(QStringLiteral("exclude"))),
             QStringList{QStringLiteral("C:\\Users\\ann\\Docs\\Private\\")});
    CHECK_STEP(NextTo(session, BackupWizard, QStringLiteral("Exclude")));
    QCOMPARE(Texts(Find(session, BackupWizard + QStringLiteral("/ListBox2")).value(QStringLiteral("items"))),
             QStringList{QStringLiteral(".tmp")});
    QVERIFY(Ok(Click(session, BackupWizard + QStringLiteral("/BtnCancle"))));
    QVERIFY(TE2eSession::Until([&] { return !Visible(session, BackupWizard); }));

    // Move files between computers and USB drives: from the computer to the stick, deleting the originals.
    QVERIFY(Ok(Click(session, Console + QStringLiteral("/BtnMove"))));
    CHECK_STEP(ChooseDirection(session, 1));
    QVERIFY2(!session.WaitForWindow(MoveWizard).isEmpty(), "no move wizard");
    QVERIFY(Ok(SetText(session, MoveWizard + QStringLiteral("/BackupName"), QStringLiteral("Outbox"))));
    QVERIFY(Ok(TreePath(session, MoveWizard + QStringLiteral("/stvDestination"), QStringLiteral("E:\\"))));
    CHECK_STEP(MakeFolder(session, MoveWizard, QStringLiteral("Inbox")));
    QVERIFY(TE2eSession::Until([&] {
        return Find(session, MoveWizard + QStringLiteral("/stvDestination"))
                   .value(QStringLiteral("selectedPath"))
                   .toString() == QLatin1String("E:\\Inbox\\");
    }));
    CHECK_STEP(Shot(session, MoveWizard, QStringLiteral("move-1-destination.png")));
    CHECK_STEP(NextTo(session, MoveWizard, QStringLiteral("SoruceTab")));
    QVERIFY(Ok(TreePath(session, MoveWizard + QStringLiteral("/stvPC"),
                        QStringLiteral("C:\\Users\\ann\\Outbox\\"))));
    QVERIFY(Ok(Click(session, MoveWizard + QStringLiteral("/BtnAnalize"))));
    QVERIFY(TE2eSession::Until([&] {
        return Find(session, MoveWizard + QStringLiteral("/lblFilesFolders"))
                   .value(QStringLiteral("text"))
                   .toString() == QLatin1String("1 / 0");
    }));
    CHECK_STEP(Shot(session, MoveWizard, QStringLiteral("move-2-source.png")));
    CHECK_STEP(NextTo(session, MoveWizard, QStringLiteral("DeleteFilesTab")));
    QVERIFY(Ok(Click(session, MoveWizard + QStringLiteral("/DeleteFiles"))));
    CHECK_STEP(Shot(session, MoveWizard, QStringLiteral("move-3-delete.png")));
    CHECK_STEP(NextTo(session, MoveWizard, QStringLiteral("Exclude")));
    CHECK_STEP(Shot(session, MoveWizard, QStringLiteral("move-4-filter.png")));
    CHECK_STEP(NextTo(session, MoveWizard, QStringLiteral("TabSheet4")));
    CHECK_STEP(Shot(session, MoveWizard, QStringLiteral("move-5-finish.png")));
    QVERIFY(Ok(Click(session, MoveWizard + QStringLiteral("/BtnSaveandRun"))));
    CHECK_STEP(RunFinished(session));
    QVERIFY(session.Screenshot(QStringLiteral("move-run-finished.png"), Console));
    QVERIFY(Ok(Click(session, Panel + QStringLiteral("/BtnClose"))));

    QVERIFY2(!SavedJob(session, QStringLiteral("Move *.Zjm")).isEmpty(), "the wizard saved no move job");
    QCOMPARE(test::ReadOrMissing(session.Drives().Native('E', QStringLiteral("Inbox/photo.jpg"))),
             files.value(QStringLiteral("Users/ann/Outbox/photo.jpg")));
    QVERIFY2(!QFile::exists(session.Drives().Native('C', QStringLiteral("Users/ann/Outbox/photo.jpg"))),
             "the moved file is still at its source");
    QVERIFY2(TE2eSession::Until([&] { return Rows(session, JobList).size() == 2; }),
             "the move job is not listed");
}

QTEST_MAIN(TestWizardJobs)
#include "tst_wizardjobs.moc"
