#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/JobDatabase.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

using namespace trovalo;

namespace {
using test::RunCli;
using TRun = test::TCliRun;

const QString AText = QStringLiteral("Users/ann/Docs/a.txt");
const QString BText = QStringLiteral("Users/ann/Docs/sub/b.txt");
const QByteArray Missing("<missing>");

// Drives C: (the computer), D: (a second disk to restore to) and the stick E:.
QMap<QChar, QString> ThreeDrives()
{
    return {{'C', QString()}, {'D', QString()}, {'E', QStringLiteral("bus=USB")}};
}

void WriteDocs(const test::TTestDrives &drives)
{
    QDir().mkpath(drives.Native('C', QStringLiteral("Users/ann/Docs/sub")));
    test::WriteFile(drives.Native('C', AText), "alpha");
    test::WriteFile(drives.Native('C', BText), "beta");
}

// The damage a restore should undo: a.txt edited (and newer), b.txt gone.
void DamageDocs(const test::TTestDrives &drives)
{
    const QString a = drives.Native('C', AText);
    test::WriteFile(a, "changed");
    QFile edited(a);
    QVERIFY(edited.open(QIODevice::ReadWrite));
    QVERIFY(
        edited.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    QVERIFY(QFile::remove(drives.Native('C', BText)));
}

// A backup job of C:\Users\ann\Docs onto E:\Backup made with `new`; its
// job file in drive-letter form, "" when `new` failed.
QString NewJob(const test::TTestDrives &drives, const QString &type, const QStringList &more = {})
{
    QDir().mkpath(drives.Native('E', QStringLiteral("Backup")));
    const TRun made =
        RunCli(QStringList{"new", "backup", "--direction", "to-usb", "--type", type, "--source",
                           "C:\\Users\\ann\\Docs", "--destination", "E:\\Backup", "--name", "Docs"} +
               more);
    const QStringList jobs =
        QDir(drives.Native('E', QStringLiteral("Config"))).entryList({"*.Zja"}, QDir::Files);
    return made.Status == 0 && jobs.size() == 1 ? QStringLiteral("E:\\Config\\") + jobs.first() : QString();
}

bool RunJob(const QString &job)
{
    const TRun run = RunCli({QStringLiteral("run"), job, QStringLiteral("--yes")});
    if (run.Status != 0)
        qWarning("run failed: %s%s", qPrintable(run.Out), qPrintable(run.Err));
    return run.Status == 0;
}

// The data rows of the `runs` table (they start with the run's number).
QStringList RunRows(const QString &out)
{
    static const QRegularExpression row(QStringLiteral("^\\d+  "));
    QStringList rows;
    for (const QString &line : out.split(QLatin1Char('\n')))
        if (row.match(line).hasMatch())
            rows << line;
    return rows;
}

// A versions (incremental time-stamped) job with two listed runs: one
// recorded as made on 2020-01-02 at 03:04 holding a.txt "alpha" and
// b.txt, and one of now holding only the edited a.txt.
QString TwoRuns(const test::TTestDrives &drives)
{
    WriteDocs(drives);
    const QString job = NewJob(drives, QStringLiteral("versions"));
    if (job.isEmpty() || !RunJob(job))
        return {};
    // The first run is moved back in time: its folder renamed, and its row
    // written as the engine writes one.
    const QStringList folders =
        QDir(drives.Native('E', QStringLiteral("Backup"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (folders.size() != 1 || !QDir().rename(drives.Native('E', QStringLiteral("Backup/") + folders.first()),
                                              drives.Native('E', QStringLiteral("Backup/ 2020-01-02 03-04"))))
        return {};
    {
        TJobDatabase database(JobDatabaseFileName(job));
        const qint64 row =
            database.StartRun(QStringLiteral("E:\\Backup\\ 2020-01-02 03-04\\"),
                              EncodeDateTime(QDate(2020, 1, 2), QTime(3, 4)), amTimeStampedIncremental);
        database.FinishRun(row, TJobDatabase::StatusFinished);
    }
    DamageDocs(drives);
    return RunJob(job) ? job : QString();
}
} // namespace

class TestRestoreCommand : public QObject
{
    Q_OBJECT

private slots:
    void runsListing_data();
    void runsListing();
    void olderRunByNumber();
    void restoresCopies_data();
    void restoresCopies();
    void restoresZip_data();
    void restoresZip();
    void nothingRestored_data();
    void nothingRestored();
    void demoRestoresTheLetter();
};

void TestRestoreCommand::runsListing_data()
{
    QTest::addColumn<QString>("change");      // what happens after the two runs
    QTest::addColumn<QStringList>("folders"); // the Archive Folder of each listed run
    QTest::addColumn<QString>("letter");      // the drive the listed folders are on now
    QTest::newRow("two runs") << "" << QStringList{"\\Backup\\ 2020-01-02 03-04\\", "\\Backup\\ 20"} << "E";
    QTest::newRow("a run folder gone") << "gone" << QStringList{"\\Backup\\ 20"} << "E";
    QTest::newRow("stick plugged in as F:")
        << "F:" << QStringList{"\\Backup\\ 2020-01-02 03-04\\", "\\Backup\\ 20"} << "F";
}

void TestRestoreCommand::runsListing()
{
    QFETCH(QString, change);
    QFETCH(QStringList, folders);
    QFETCH(QString, letter);
    test::TTestDrives drives(ThreeDrives());
    QString job = TwoRuns(drives);
    QVERIFY(!job.isEmpty());
    if (change == QLatin1String("gone")) {
        QVERIFY(QDir(drives.Native('E', QStringLiteral("Backup/ 2020-01-02 03-04"))).removeRecursively());
    } else if (change == QLatin1String("F:")) {
        qputenv(
            "TROVALO_DRIVES",
            QStringLiteral("C=%1;F=%2,bus=USB").arg(drives.NativeRoot('C'), drives.NativeRoot('E')).toUtf8());
        TDriveTable::Instance().Refresh();
        job.replace(0, 1, QStringLiteral("F"));
    }

    const TRun runs = RunCli({QStringLiteral("runs"), job});
    QVERIFY2(runs.Status == 0, qPrintable(runs.Out + runs.Err));
    QVERIFY2(runs.Out.contains(QRegularExpression(
                 QStringLiteral("#  Date / Time +Archive Folder +Last Backup Action +Status +Folder now\n"))),
             qPrintable(runs.Out));
    const QStringList rows = RunRows(runs.Out);
    QCOMPARE(rows.size(), folders.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QVERIFY2(rows[i].startsWith(QString::number(i + 1) + QStringLiteral("  ")), qPrintable(rows[i]));
        QVERIFY2(rows[i].contains(QStringLiteral("  ") + folders[i]), qPrintable(rows[i]));
        QVERIFY2(rows[i].contains(QStringLiteral("Incremental Time Stamped  Finished !  ")),
                 qPrintable(rows[i]));
        QVERIFY2(rows[i].contains(letter + QStringLiteral(":") + folders[i]), qPrintable(rows[i]));
    }
    if (folders.size() == 2) {
        const QString day = QLocale().toString(QDate(2020, 1, 2), QLocale::ShortFormat);
        QVERIFY2(rows[0].contains(day + QStringLiteral(" 03:04")), qPrintable(rows[0]));
    }
}

void TestRestoreCommand::olderRunByNumber()
{
    test::TTestDrives drives(ThreeDrives());
    const QString job = TwoRuns(drives);
    QVERIFY(!job.isEmpty());
    QDir().mkpath(drives.Native('D', QStringLiteral("Old")));
    QDir().mkpath(drives.Native('D', QStringLiteral("New")));

    const TRun older = RunCli({"restore", job, "--run", "1", "--to", "D:\\Old", "--yes"});
    QVERIFY2(older.Status == 0, qPrintable(older.Out + older.Err));
    QCOMPARE(test::ReadOrMissing(drives.Native('D', QStringLiteral("Old/C/") + AText)), QByteArray("alpha"));
    QCOMPARE(test::ReadOrMissing(drives.Native('D', QStringLiteral("Old/C/") + BText)), QByteArray("beta"));

    // The latest run by default: it holds only what changed.
    const TRun latest = RunCli({"restore", job, "--to", "D:\\New", "--yes"});
    QVERIFY2(latest.Status == 0, qPrintable(latest.Out + latest.Err));
    QCOMPARE(test::ReadOrMissing(drives.Native('D', QStringLiteral("New/C/") + AText)),
             QByteArray("changed"));
    QCOMPARE(test::ReadOrMissing(drives.Native('D', QStringLiteral("New/C/") + BText)), Missing);
}

void TestRestoreCommand::restoresCopies_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("below"); // D:-relative folder restored into; "" for the former places
    QTest::addColumn<bool>("restoresA");
    QTest::addColumn<bool>("restoresB");
    QTest::newRow("whole run in place") << QStringList{} << "" << true << true;
    QTest::newRow("whole run to a folder") << QStringList{"--to", "D:\\Restore"} << "Restore" << true << true;
    QTest::newRow("whole run to a Linux folder")
        << QStringList{"--to", "<native>"} << "Restore" << true << true;
    QTest::newRow("a chosen folder") << QStringList{"--item", "C\\Users\\ann\\Docs\\sub"} << "" << false
                                     << true;
    QTest::newRow("a chosen file") << QStringList{"--item", "C/Users/ann/Docs/a.txt"} << "" << true << false;
    QTest::newRow("a chosen file by its full path")
        << QStringList{"--item", "E:\\Backup\\C\\Users\\ann\\Docs\\a.txt", "--to", "D:\\Restore"} << "Restore"
        << true << false;
}

void TestRestoreCommand::restoresCopies()
{
    QFETCH(QStringList, options);
    QFETCH(QString, below);
    QFETCH(bool, restoresA);
    QFETCH(bool, restoresB);
    test::TTestDrives drives(ThreeDrives());
    WriteDocs(drives);
    const QString job = NewJob(drives, QStringLiteral("incremental"));
    QVERIFY(!job.isEmpty());
    QVERIFY(RunJob(job));
    DamageDocs(drives);
    QDir().mkpath(drives.Native('D', QStringLiteral("Restore")));
    options.replaceInStrings(QStringLiteral("<native>"), drives.Native('D', QStringLiteral("Restore")));

    const TRun restore =
        RunCli(QStringList{QStringLiteral("restore"), job, QStringLiteral("--yes")} + options);
    QVERIFY2(restore.Status == 0, qPrintable(restore.Out + restore.Err));
    QVERIFY2(restore.Out.contains(QStringLiteral("Restore file operation completed !\nTotal Files : ")),
             qPrintable(restore.Out));
    QVERIFY(restore.Out.contains(QStringLiteral("\nErrors : 0\n")));
    QVERIFY2(
        restore.Out.contains(QStringLiteral("Restored %1 file(s).").arg(int(restoresA) + int(restoresB))),
        qPrintable(restore.Out));

    const auto placed = [&](const QString &file) {
        return below.isEmpty() ? drives.Native('C', file)
                               : drives.Native('D', below + QStringLiteral("/C/") + file);
    };
    QCOMPARE(test::ReadOrMissing(placed(AText)), restoresA ? QByteArray("alpha") : QByteArray("changed"));
    QCOMPARE(test::ReadOrMissing(placed(BText)), restoresB ? QByteArray("beta") : Missing);
    if (!below.isEmpty()) { // the former places are left alone
        QCOMPARE(test::ReadOrMissing(drives.Native('C', AText)), QByteArray("changed"));
        QCOMPARE(test::ReadOrMissing(drives.Native('C', BText)), Missing);
    }
}

void TestRestoreCommand::restoresZip_data()
{
    QTest::addColumn<QByteArray>("password"); // the --password-file content
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("below"); // D:-relative folder restored into; "" for the former places
    QTest::addColumn<bool>("restoresA");
    QTest::addColumn<bool>("restoresB");
    QTest::newRow("right password") << QByteArray("s3cret pass\n") << QStringList{} << 0 << "" << true
                                    << true;
    QTest::newRow("wrong password") << QByteArray("guess\n") << QStringList{} << 3 << "" << false << false;
    // The engine restores only the entries stored directly in a folder line.
    QTest::newRow("a folder with a sub-folder")
        << QByteArray("s3cret pass") << QStringList{"--item", "C.Zip\\Users\\ann"} << 0 << "" << true << true;
    QTest::newRow("a sub-folder") << QByteArray("s3cret pass")
                                  << QStringList{"--item", "c.zip\\users\\ann\\docs\\sub"} << 0 << "" << false
                                  << true;
    QTest::newRow("a chosen file to a folder")
        << QByteArray("s3cret pass")
        << QStringList{"--item", "C.Zip\\Users\\ann\\Docs\\a.txt", "--to", "D:\\Restore"} << 0 << "Restore"
        << true << false;
}

void TestRestoreCommand::restoresZip()
{
    QFETCH(QByteArray, password);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, below);
    QFETCH(bool, restoresA);
    QFETCH(bool, restoresB);
    test::TTestDrives drives(ThreeDrives());
    WriteDocs(drives);
    const QString secret = drives.Native('C', QStringLiteral("secret.txt"));
    test::WriteFile(secret, "s3cret pass\n");
    const QString job = NewJob(drives, QStringLiteral("zip"), {QStringLiteral("--password-file"), secret});
    QVERIFY(!job.isEmpty());
    QVERIFY(RunJob(job));
    DamageDocs(drives);
    QDir().mkpath(drives.Native('D', QStringLiteral("Restore")));
    const QString given = drives.Native('C', QStringLiteral("given.txt"));
    test::WriteFile(given, password);

    // Verbose: no log line may show the password either.
    const TRun restore =
        RunCli(QStringList{"restore", job, "--yes", "--verbose", "--password-file", given} + options);
    QVERIFY2(restore.Status == status, qPrintable(restore.Out + restore.Err));
    QVERIFY2(!(restore.Out + restore.Err).contains(QStringLiteral("s3cret")),
             qPrintable(restore.Out + restore.Err));
    if (status != 0)
        QVERIFY2(restore.Err.contains(QStringLiteral("the password is not the one of this backup job")),
                 qPrintable(restore.Err));

    const auto placed = [&](const QString &file) {
        return below.isEmpty() ? drives.Native('C', file)
                               : drives.Native('D', below + QLatin1Char('/') + file);
    };
    QCOMPARE(test::ReadOrMissing(placed(AText)), restoresA ? QByteArray("alpha") : QByteArray("changed"));
    QCOMPARE(test::ReadOrMissing(placed(BText)), restoresB ? QByteArray("beta") : Missing);
}

void TestRestoreCommand::nothingRestored_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("jobState"); // "ran", "never ran", "foreign" (ran, saved by another PC), "move"
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("no terminal and no --yes")
        << "restore" << QStringList{} << "ran" << 2 << "there is no terminal to answer on; pass --yes";
    QTest::newRow("job of another computer") << "restore" << QStringList{} << "foreign" << 2
                                             << "You have selected backup settings that belong to a deferent "
                                                "pc. Continue using this settings might "
                                                "cause data corruption. Do you want to Continue?";
    QTest::newRow("mistyped option") << "restore" << QStringList{"--yes", "--itme", "C"} << "ran" << 3
                                     << "did you mean '--item'";
    QTest::newRow("never ran")
        << "restore" << QStringList{"--yes"} << "never ran" << 3
        << "No backup data found for this backup job. please run the job at lest ones.";
    QTest::newRow("runs of a job that never ran")
        << "runs" << QStringList{} << "never ran" << 0
        << "No backup data found for this backup job. please run the job at lest ones.";
    QTest::newRow("item not in the run") << "restore" << QStringList{"--yes", "--item", "C\\Users\\bob"}
                                         << "ran" << 3 << "\"C\\Users\\bob\" is not in the backup run";
    QTest::newRow("item climbing out") << "restore" << QStringList{"--yes", "--item", "C\\..\\..\\Config"}
                                       << "ran" << 3 << "is no path inside a backup run";
    QTest::newRow("item outside the drive folders")
        << "restore" << QStringList{"--yes", "--item", "Docs"} << "ran" << 3 << "is not in the backup run";
    QTest::newRow("missing target folder")
        << "restore" << QStringList{"--yes", "--to", "D:\\Nowhere"} << "ran" << 3
        << "Can not restore to the selected folder.Please select a deferent folder.";
    QTest::newRow("run number too high")
        << "restore" << QStringList{"--yes", "--run", "2"} << "ran" << 3 << "it has 1 restorable run(s)";
    QTest::newRow("move job") << "runs" << QStringList{} << "move" << 3 << "move jobs are not restored";
    QTest::newRow("password for plain copies")
        << "restore" << QStringList{"--yes", "--password-file", "C:\\secret.txt"} << "ran" << 3
        << "only zip backups have a password";
}

void TestRestoreCommand::nothingRestored()
{
    QFETCH(QString, command);
    QFETCH(QStringList, options);
    QFETCH(QString, jobState);
    QFETCH(int, status);
    QFETCH(QString, message);
    test::TTestDrives drives(ThreeDrives());
    WriteDocs(drives);
    test::WriteFile(drives.Native('C', QStringLiteral("secret.txt")), "pass");
    QString job;
    if (jobState == QLatin1String("move")) {
        QDir().mkpath(drives.Native('E', QStringLiteral("Moved")));
        QVERIFY(RunCli({"new", "move", "--direction", "to-usb", "--source", "C:\\Users\\ann\\Docs",
                        "--destination", "E:\\Moved", "--keep-sources"})
                    .Status == 0);
        const QStringList jobs =
            QDir(drives.Native('E', QStringLiteral("Config"))).entryList({"*.Zjm"}, QDir::Files);
        QCOMPARE(jobs.size(), 1);
        job = QStringLiteral("E:\\Config\\") + jobs.first();
        QVERIFY(RunJob(job));
    } else {
        job = NewJob(drives, QStringLiteral("incremental"));
        QVERIFY(!job.isEmpty());
        if (jobState != QLatin1String("never ran"))
            QVERIFY(RunJob(job));
    }
    if (jobState == QLatin1String("foreign")) {
        TArchiveData foreign;
        LoadFromFile(foreign, job);
        foreign.SetPCID(QStringLiteral("0000 - 0000"));
        SaveToFile(foreign, job);
    }
    DamageDocs(drives);
    const QByteArray jobBefore = test::ReadOrMissing(NativePath(job));

    const TRun run = RunCli(QStringList{command, job} + options);
    QVERIFY2(run.Status == status, qPrintable(run.Out + run.Err));
    QVERIFY2((run.Out + run.Err).contains(message), qPrintable(run.Out + run.Err));
    QCOMPARE(test::ReadOrMissing(drives.Native('C', AText)), QByteArray("changed"));
    QCOMPARE(test::ReadOrMissing(drives.Native('C', BText)), Missing);
    QCOMPARE(test::ReadOrMissing(NativePath(job)), jobBefore);
    if (jobState == QLatin1String("never ran")) // listing made no database
        QVERIFY(!QFile::exists(NativePath(JobDatabaseFileName(job))));
}

void TestRestoreCommand::demoRestoresTheLetter()
{
    const TRun demo = RunCli({QStringLiteral("demo")});
    QVERIFY2(demo.Status == 0, qPrintable(demo.Out + demo.Err));
    const QString letter = QStringLiteral("C:\\Users\\Demo\\Documents\\letter.txt");
    QVERIFY2(demo.Out.contains(letter + QStringLiteral(" now:  Oops, the letter was overwritten.\n")),
             qPrintable(demo.Out));
    QVERIFY(demo.Out.contains(QStringLiteral("UnZip File  Users\\Demo\\Documents\\letter.txt  Done\n")));
    QVERIFY(demo.Out.contains(
        letter + QStringLiteral(" is back:  Dear Ann, the stick keeps a copy of this letter.\n")));
}

QTEST_GUILESS_MAIN(TestRestoreCommand)
#include "tst_restorecommand.moc"
