#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/JobDatabase.h"
#include "model/ArchiveData.h"
#include "platform/DriveTable.h"
#include "platform/JobRunLock.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>

using namespace trovalo;

namespace {
using test::RunCli;
using test::StartCli;
using TRun = test::TCliRun;

// What a new user has: documents on the computer, an empty backup folder on
// the stick E:, and an incremental backup job made with `new`. Returns the
// job file's name in E:\Config.
QString NewBackupJob(const test::TTestDrives &drives, const QStringList &sources)
{
    QDir().mkpath(drives.Native('E', QStringLiteral("Backup")));
    QStringList arguments = {"new",         "backup",        "--direction", "to-usb", "--type",
                             "incremental", "--destination", "E:\\Backup",  "--name", "Docs"};
    for (const QString &source : sources)
        arguments << QStringLiteral("--source") << source;
    const TRun made = RunCli(arguments);
    const QStringList jobs = QDir(drives.Native('E', QStringLiteral("Config"))).entryList(QDir::Files);
    return made.Status == 0 && jobs.size() == 1 ? jobs.first() : QString();
}

void WriteDocs(const test::TTestDrives &drives)
{
    QDir().mkpath(drives.Native('C', QStringLiteral("Users/ann/Docs/sub")));
    test::WriteFile(drives.Native('C', QStringLiteral("Users/ann/Docs/a.txt")), "alpha");
    test::WriteFile(drives.Native('C', QStringLiteral("Users/ann/Docs/sub/b.txt")), "beta");
}

QStringList EntriesOf(const QString &nativeFolder)
{
    return QDir(nativeFolder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}
} // namespace

class TestRunCommand : public QObject
{
    Q_OBJECT

private slots:
    void newUserRunsABackupTwiceThenUnderAnotherLetter();
    void jobOfAnotherComputerNeedsYes();
    void unattendedAnswers_data();
    void unattendedAnswers();
    void summaryNamesTheWork_data();
    void summaryNamesTheWork();
    void refused_data();
    void refused();
    void ctrlCCancels();
    void unreadableFileIsAnError();
    void runningJobIsNotStartedAgain();
};

void TestRunCommand::newUserRunsABackupTwiceThenUnderAnotherLetter()
{
    test::TTestDrives drives;
    WriteDocs(drives);
    const QString job = NewBackupJob(drives, {QStringLiteral("C:\\Users\\ann\\Docs")});
    QVERIFY(!job.isEmpty());
    const QString copyOfA = drives.Native('E', QStringLiteral("Backup/C/Users/ann/Docs/a.txt"));

    // Given by its Linux path.
    const TRun first = RunCli({QStringLiteral("run"), drives.Native('E', QStringLiteral("Config/") + job)});
    QVERIFY2(first.Status == 0, qPrintable(first.Out + first.Err));
    QVERIFY2(first.Out.contains(QStringLiteral("Copy File  C:\\Users\\ann\\Docs\\a.txt  Done\n")),
             qPrintable(first.Out));
    QVERIFY(first.Out.contains(QStringLiteral("Copy File  C:\\Users\\ann\\Docs\\sub\\b.txt  Done\n")));
    QVERIFY(first.Out.contains(QStringLiteral("Backup file operation completed !\nTotal Files : ")));
    QVERIFY(first.Out.contains(QStringLiteral("\nErrors : 0\n")));
    QVERIFY(!first.Out.contains(QLatin1Char('\r')));
    QCOMPARE(test::ReadOrMissing(copyOfA), QByteArray("alpha"));
    QCOMPARE(test::ReadOrMissing(drives.Native('E', QStringLiteral("Backup/C/Users/ann/Docs/sub/b.txt"))),
             QByteArray("beta"));
    TArchiveData saved;
    LoadFromFile(saved, QStringLiteral("E:\\Config\\") + job);
    QVERIFY(saved.LastUpdate() > 0);

    const TRun second = RunCli({QStringLiteral("run"), QStringLiteral("E:\\Config\\") + job});
    QVERIFY2(second.Status == 0, qPrintable(second.Out + second.Err));
    QVERIFY(!second.Out.contains(QStringLiteral("Copy File")));
    QVERIFY2(second.Out.contains(QStringLiteral("Nothing changed since the last run")),
             qPrintable(second.Out));

    // The same stick, plugged in as F: this time; a.txt was edited.
    qputenv("TROVALO_DRIVES",
            QStringLiteral("C=%1;F=%2,bus=USB").arg(drives.NativeRoot('C'), drives.NativeRoot('E')).toUtf8());
    TDriveTable::Instance().Refresh();
    const QString a = drives.Native('C', QStringLiteral("Users/ann/Docs/a.txt"));
    test::WriteFile(a, "changed");
    QFile edited(a);
    QVERIFY(edited.open(QIODevice::ReadWrite));
    QVERIFY(
        edited.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    edited.close();
    const TRun third = RunCli({QStringLiteral("run"), QStringLiteral("F:\\Config\\") + job});
    QVERIFY2(third.Status == 0, qPrintable(third.Out + third.Err));
    QVERIFY2(third.Out.contains(QStringLiteral("destination: F:\\Backup\\")), qPrintable(third.Out));
    QVERIFY(third.Out.contains(QStringLiteral("Copy File  C:\\Users\\ann\\Docs\\a.txt  Done\n")));
    QVERIFY(!third.Out.contains(QStringLiteral("b.txt")));
    QCOMPARE(test::ReadOrMissing(copyOfA), QByteArray("changed"));
}

void TestRunCommand::jobOfAnotherComputerNeedsYes()
{
    test::TTestDrives drives;
    WriteDocs(drives);
    const QString job = QStringLiteral("E:\\Config\\") + NewBackupJob(drives, {"C:\\Users\\ann\\Docs"});
    TArchiveData foreign;
    LoadFromFile(foreign, job);
    foreign.SetPCID(QStringLiteral("0000 - 0000"));
    SaveToFile(foreign, job);
    const QByteArray before = test::ReadOrMissing(NativePath(job));

    // Standard input is a pipe, not a terminal: nobody to ask.
    const TRun refused = RunCli({QStringLiteral("run"), job});
    QCOMPARE(refused.Status, 2);
    QVERIFY(
        refused.Err.contains(QStringLiteral("You have selected job settings that belong to a deferent pc.")));
    QVERIFY2(refused.Err.contains(QStringLiteral("pass --yes")), qPrintable(refused.Err));
    QVERIFY(EntriesOf(drives.Native('E', QStringLiteral("Backup"))).isEmpty());
    QCOMPARE(EntriesOf(drives.Native('E', QStringLiteral("Config"))).size(), 1); // no job database
    QCOMPARE(test::ReadOrMissing(NativePath(job)), before);

    const TRun confirmed = RunCli({QStringLiteral("run"), job, QStringLiteral("--yes")});
    QVERIFY2(confirmed.Status == 0, qPrintable(confirmed.Out + confirmed.Err));
    QCOMPARE(test::ReadOrMissing(drives.Native('E', QStringLiteral("Backup/C/Users/ann/Docs/a.txt"))),
             QByteArray("alpha"));
}

// Nobody is there (a scheduled run of the service): each question gets
// its fixed answer, said in the output.
void TestRunCommand::unattendedAnswers_data()
{
    QTest::addColumn<bool>("foreign");
    QTest::addColumn<QStringList>("gone"); // sources removed before the run
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("copied");
    QTest::newRow("another computer's job is not run")
        << true << QStringList() << 2 << "Answered No" << false;
    QTest::newRow("runs with the source that is left")
        << false << QStringList{QStringLiteral("Users/ann/Old")} << 0 << "Answered Yes" << true;
    QTest::newRow("no source left: not run")
        << false << QStringList{QStringLiteral("Users/ann/Old"), QStringLiteral("Users/ann/Docs")} << 2
        << "Answered No" << false;
}

void TestRunCommand::unattendedAnswers()
{
    QFETCH(bool, foreign);
    QFETCH(QStringList, gone);
    QFETCH(int, status);
    QFETCH(QString, answer);
    QFETCH(bool, copied);
    test::TTestDrives drives;
    WriteDocs(drives);
    QDir().mkpath(drives.Native('C', QStringLiteral("Users/ann/Old")));
    const QString job = QStringLiteral("E:\\Config\\") +
                        NewBackupJob(drives, {"C:\\Users\\ann\\Docs", "C:\\Users\\ann\\Old"});
    if (foreign) {
        TArchiveData record;
        LoadFromFile(record, job);
        record.SetPCID(QStringLiteral("0000 - 0000"));
        SaveToFile(record, job);
    }
    for (const QString &folder : gone)
        QVERIFY(QDir(drives.Native('C', folder)).removeRecursively());

    const TRun run = RunCli({QStringLiteral("run"), job, QStringLiteral("--unattended")});
    QVERIFY2(run.Status == status, qPrintable(run.Out + run.Err));
    QVERIFY2(run.Err.contains(answer + QStringLiteral(" (--unattended).")), qPrintable(run.Err));
    QCOMPARE(test::ReadOrMissing(drives.Native('E', QStringLiteral("Backup/C/Users/ann/Docs/a.txt"))),
             copied ? QByteArray("alpha") : QByteArray("<missing>"));

    const TRun both =
        RunCli({QStringLiteral("run"), job, QStringLiteral("--unattended"), QStringLiteral("--yes")});
    QCOMPARE(both.Status, 3);
    QVERIFY2(both.Err.contains(QStringLiteral("give one")), qPrintable(both.Err));
}

void TestRunCommand::summaryNamesTheWork_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("action"); // of the log rows
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("copyOfA"); // E:-relative
    QTest::newRow("plain copies") << "incremental"
                                  << "Copy File"
                                  << "Copied 2 file(s)."
                                  << "Backup/C/Users/ann/Docs/a.txt";
    QTest::newRow("zip archives") << "zip"
                                  << "Zip File"
                                  << "Added 2 file(s) to archives."
                                  << "Backup/C.Zip";
}

void TestRunCommand::summaryNamesTheWork()
{
    QFETCH(QString, type);
    QFETCH(QString, action);
    QFETCH(QString, summary);
    QFETCH(QString, copyOfA);
    test::TTestDrives drives;
    WriteDocs(drives);
    QDir().mkpath(drives.Native('E', QStringLiteral("Backup")));
    QVERIFY(RunCli({"new", "backup", "--direction", "to-usb", "--type", type, "--source",
                    "C:\\Users\\ann\\Docs", "--destination", "E:\\Backup"})
                .Status == 0);
    const QStringList jobs =
        QDir(drives.Native('E', QStringLiteral("Config"))).entryList({"*.Zja"}, QDir::Files);
    QCOMPARE(jobs.size(), 1);

    const TRun run = RunCli({QStringLiteral("run"), QStringLiteral("E:\\Config\\") + jobs.first()});
    QVERIFY2(run.Status == 0, qPrintable(run.Out + run.Err));
    QVERIFY2(run.Out.contains(action + QStringLiteral("  C:\\Users\\ann\\Docs\\a.txt  Done\n")),
             qPrintable(run.Out));
    QVERIFY2(run.Out.contains(action + QStringLiteral("  C:\\Users\\ann\\Docs\\sub\\b.txt  Done\n")),
             qPrintable(run.Out));
    QVERIFY2(run.Out.contains(QStringLiteral("\n") + summary + QStringLiteral("\n")), qPrintable(run.Out));
    QVERIFY(QFile::exists(drives.Native('E', copyOfA)));
}

void TestRunCommand::refused_data()
{
    QTest::addColumn<QString>("file"); // written on E: before the run, "" for none
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing job file") << "" << QStringList{"E:\\Config\\Backup1.Zja"} << "no such job file";
    QTest::newRow("garbage job file")
        << "Config/Backup1.Zja" << QStringList{"E:\\Config\\Backup1.Zja"} << "is not a readable job file";
    QTest::newRow("mistyped option") << "Config/Backup1.Zja"
                                     << QStringList{"E:\\Config\\Backup1.Zja", "--yse"}
                                     << "did you mean '--yes'";
    QTest::newRow("damaged sync job")
        << "Config/sync 1.Zjs" << QStringList{"E:\\Config\\sync 1.Zjs"} << "is not a readable sync job file";
}

void TestRunCommand::refused()
{
    QFETCH(QString, file);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    test::TTestDrives drives;
    QDir().mkpath(drives.Native('E', QStringLiteral("Config")));
    if (!file.isEmpty())
        test::WriteFile(drives.Native('E', file), "garbage");
    const TRun run = RunCli(QStringList{QStringLiteral("run")} + arguments);
    QCOMPARE(run.Status, 3);
    QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
    QCOMPARE(EntriesOf(drives.Native('E', QStringLiteral("Config"))).size(),
             file.startsWith("Config") ? 1 : 0);
}

void TestRunCommand::ctrlCCancels()
{
    test::TTestDrives drives;
    // Sources are run in sorted order: the small file's log line comes while
    // the big one is about to be copied.
    QDir().mkpath(drives.Native('C', QStringLiteral("A")));
    QDir().mkpath(drives.Native('C', QStringLiteral("B")));
    test::WriteFile(drives.Native('C', QStringLiteral("A/small.txt")), "small");
    QFile big(drives.Native('C', QStringLiteral("B/big.bin")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    const QByteArray chunk(1 << 20, 'x');
    for (int i = 0; i < 200; ++i)
        QCOMPARE(big.write(chunk), chunk.size());
    big.close();
    const QString job = NewBackupJob(drives, {QStringLiteral("C:\\A"), QStringLiteral("C:\\B")});
    QVERIFY(!job.isEmpty());

    QProcess process;
    StartCli(process, {QStringLiteral("run"), QStringLiteral("E:\\Config\\") + job});
    QByteArray out;
    while (!out.contains("Copy File") && process.waitForReadyRead(60000))
        out += process.readAllStandardOutput();
    QVERIFY2(out.contains("Copy File  C:\\A\\small.txt  Done"), out.constData());
    const QString jobFile = QStringLiteral("E:\\Config\\") + job;
    QVERIFY(TJobRunLock::IsJobFileRunning(jobFile));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(60000));
    QVERIFY(!TJobRunLock::IsJobFileRunning(jobFile));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY2(out.contains("Backup file operation Cancled !"), out.constData());

    TJobDatabase database(QStringLiteral("E:\\Config\\") + job.chopped(4) + QStringLiteral(".Zjd"));
    QCOMPARE(database.ArchiveRuns().constLast().Status, TJobDatabase::StatusCanceled);
    // Neither the big file nor a piece of it.
    QVERIFY(EntriesOf(drives.Native('E', QStringLiteral("Backup/C/B"))).isEmpty());
}

// A file that cannot be read is an error of the run: the summary never says
// "Errors : 0" and the exit status is not success.
void TestRunCommand::unreadableFileIsAnError()
{
    test::TTestDrives drives;
    WriteDocs(drives);
    const QString unreadable = drives.Native('C', QStringLiteral("Users/ann/Docs/sub/b.txt"));
    QVERIFY(QFile::setPermissions(unreadable, QFileDevice::Permissions()));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(unreadable, QFileDevice::ReadOwner); });
    const QString job = NewBackupJob(drives, {QStringLiteral("C:\\Users\\ann\\Docs")});
    QVERIFY(!job.isEmpty());

    const TRun run = RunCli({QStringLiteral("run"), QStringLiteral("E:\\Config\\") + job}, {}, 120000,
                            test::TCliAccess::HonourPermissions);
    QCOMPARE(run.Status, 1);
    const QRegularExpression message(
        QStringLiteral("Backup file operation completed !\nTotal Files : \\d+\nErrors : 1\n"));
    QVERIFY2(message.match(run.Out).hasMatch(), qPrintable(run.Out + run.Err));
    QVERIFY2(run.Out.contains(QStringLiteral("1 FAILED")), qPrintable(run.Out));
    QCOMPARE(test::ReadOrMissing(drives.Native('E', QStringLiteral("Backup/C/Users/ann/Docs/a.txt"))),
             QByteArray("alpha"));
}

void TestRunCommand::runningJobIsNotStartedAgain()
{
    test::TTestDrives drives;
    WriteDocs(drives);
    const QString job = QStringLiteral("E:\\Config\\") + NewBackupJob(drives, {QStringLiteral("C:\\Users")});
    TArchiveData record;
    LoadFromFile(record, job);
    const TJobRunLock running = TJobRunLock::Take(record.FileGUID(), job);
    for (const char *command : {"run", "restore"}) {
        const TRun run = RunCli({QString::fromLatin1(command), job, QStringLiteral("--yes")});
        QCOMPARE(run.Status, 3);
        QVERIFY2(run.Err.contains(QStringLiteral("is running already")), qPrintable(run.Err));
    }
    QVERIFY(EntriesOf(drives.Native('E', QStringLiteral("Backup"))).isEmpty());
}

QTEST_GUILESS_MAIN(TestRunCommand)
#include "tst_runcommand.moc"
