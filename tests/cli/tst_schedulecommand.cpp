#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "base/DateTime.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "model/NextRunTime.h"
#include "model/Schedule.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QtTest>

using namespace trovalo;

namespace {
using test::RunCli;
using TRun = test::TCliRun;

// A backup job on the stick, made as a user makes it; its file name.
QString NewJob(const test::TTestDrives &drives)
{
    QDir().mkpath(drives.Native('E', QStringLiteral("Backup")));
    test::PutNative(drives.Native('C', QStringLiteral("Docs/a.txt")), "alpha");
    const TRun made = RunCli({"new", "backup", "--direction", "to-usb", "--type", "incremental",
                              "--destination", "E:\\Backup", "--name", "Docs", "--source", "C:\\Docs"});
    const QStringList jobs = QDir(drives.Native('E', QStringLiteral("Config"))).entryList(QDir::Files);
    return made.Status == 0 && jobs.size() == 1 ? QStringLiteral("E:\\Config\\") + jobs.first() : QString();
}

QList<TScheduleRunRow> StoredRows()
{
    TProgramDatabase database(NativePath(TStartUp::ProgramDatabaseFileName()));
    return database.AllSchedules();
}
} // namespace

class TestScheduleCommand : public QObject
{
    Q_OBJECT

private slots:
    void addListAndChange_data();
    void addListAndChange();
    void refused_data();
    void refused();
};

void TestScheduleCommand::addListAndChange_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("trigger");
    QTest::addColumn<QString>("listed"); // the trigger column
    QTest::newRow("weekly") << QStringList{"--weekly", "mon,FRI", "--at", "18:30"} << int(stTime) << "time";
    QTest::newRow("monthly, last day, every 2")
        << QStringList{"--monthly", "last", "--every", "2", "--at", "7:05"} << int(stTime) << "time";
    QTest::newRow("yearly") << QStringList{"--yearly", "03-15", "--at", "00:00"} << int(stTime) << "time";
    QTest::newRow("once") << QStringList{"--once", "02-29", "--at", "12:00"} << int(stTime) << "time";
    QTest::newRow("on insert") << QStringList{"--on-insert"} << int(stDriveInsertion) << "on insert";
    QTest::newRow("at start-up") << QStringList{"--at-startup"} << int(stStartup) << "at start-up";
    QTest::newRow("at shut-down") << QStringList{"--at-shutdown"} << int(stShutdown) << "at shut-down";
}

// What a user does: add a schedule, see it listed with its next run, turn
// it off and on, remove it. The row is the one the tray program's runner
// reads: its rule blob gives the next run stored.
void TestScheduleCommand::addListAndChange()
{
    QFETCH(QStringList, options);
    QFETCH(int, trigger);
    QFETCH(QString, listed);
    test::TTestDrives drives;
    const QString job = NewJob(drives);
    QVERIFY(!job.isEmpty());

    const TRun added = RunCli(QStringList{"schedule", "add", job} + options);
    QVERIFY2(added.Status == 0, qPrintable(added.Out + added.Err));
    QList<TScheduleRunRow> rows = StoredRows();
    QCOMPARE(rows.size(), 1);
    const TScheduleRunRow row = rows.first();
    QCOMPARE(row.FileName, job);
    QCOMPARE(row.JobName, QStringLiteral("Docs"));
    QCOMPARE(row.Mode, trigger);
    QVERIFY(row.Active);
    QString nextRun = QStringLiteral("-");
    if (trigger == stTime) {
        QVERIFY(row.Data && row.NextRunTime);
        TSchedule rule;
        rule.LoadFromBytes(*row.Data);
        const std::optional<TDateTime> expected = NextFutureRun(rule, DateTimeNow());
        QVERIFY(expected);
        // Written a moment ago: the same run unless a minute turned meanwhile.
        QVERIFY(qAbs(*row.NextRunTime - *expected) < 1e-6 || *row.NextRunTime < *expected);
        QVERIFY(*row.NextRunTime > DateTimeNow());
        nextRun = DateTimeToQt(*row.NextRunTime).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        QVERIFY2(added.Out.contains(QStringLiteral("next run ") + nextRun), qPrintable(added.Out));
    } else {
        QVERIFY(!row.NextRunTime);
    }

    const TRun list = RunCli({"schedule", "list"});
    QVERIFY2(list.Status == 0, qPrintable(list.Err));
    const QStringList lines = list.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(1).startsWith(QString::number(row.ID) + QStringLiteral("  ")), qPrintable(list.Out));
    for (const QString &cell : {QStringLiteral("Docs"), job, listed, nextRun, QStringLiteral("yes")})
        QVERIFY2(lines.at(1).contains(cell), qPrintable(cell + QStringLiteral(" missing in: ") + list.Out));

    QCOMPARE(RunCli({"schedule", "disable", QString::number(row.ID)}).Status, 0);
    QVERIFY(!StoredRows().first().Active);
    QVERIFY(RunCli({"schedule", "list"}).Out.trimmed().endsWith(QStringLiteral("no")));
    QCOMPARE(RunCli({"schedule", "enable", QString::number(row.ID)}).Status, 0);
    QVERIFY(StoredRows().first().Active);

    // One row per job, as the console keeps it.
    const TRun again = RunCli({"schedule", "add", job, "--at-startup"});
    QCOMPARE(again.Status, 3);
    QVERIFY2(again.Err.contains(QStringLiteral("has a schedule already (ID %1)").arg(row.ID)),
             qPrintable(again.Err));
    QCOMPARE(StoredRows().size(), 1);

    QCOMPARE(RunCli({"schedule", "remove", QString::number(row.ID)}).Status, 0);
    QVERIFY(StoredRows().isEmpty());
    QCOMPARE(RunCli({"schedule", "list"}).Out, QStringLiteral("No schedules.\n"));
}

void TestScheduleCommand::refused_data()
{
    QTest::addColumn<QStringList>("arguments"); // JOB stands for the job file
    QTest::addColumn<QString>("message");
    QTest::newRow("no trigger") << QStringList{"add", "JOB"} << "say when the job runs";
    QTest::newRow("two triggers") << QStringList{"add", "JOB", "--on-insert", "--at-startup"}
                                  << "--on-insert, --at-startup: a job has one schedule";
    QTest::newRow("weekly without days") << QStringList{"add", "JOB", "--weekly", ",", "--at", "10:00"}
                                         << "--weekly: a weekly rule without days never runs";
    QTest::newRow("mistyped day") << QStringList{"add", "JOB", "--weekly", "mon,frj", "--at", "10:00"}
                                  << "--weekly: 'frj' is no day";
    QTest::newRow("day 32") << QStringList{"add", "JOB", "--monthly", "32", "--at", "10:00"}
                            << "--monthly: '32' is no day of the month (1 to 31)";
    QTest::newRow("30 February") << QStringList{"add", "JOB", "--yearly", "02-30", "--at", "10:00"}
                                 << "--yearly: '02-30' is no day of the year";
    QTest::newRow("every with once") << QStringList{"add",     "JOB", "--once", "01-05",
                                                    "--every", "2",   "--at",   "9:00"}
                                     << "--every is for --monthly and --yearly; --once runs once";
    QTest::newRow("every with weekly")
        << QStringList{"add", "JOB", "--weekly", "mon", "--every", "2", "--at", "9:00"}
        << "--every is for --monthly and --yearly; --weekly runs every week on its days";
    QTest::newRow("time without a time rule") << QStringList{"add", "JOB", "--on-insert", "--at", "10:00"}
                                              << "--at is for time rules; --on-insert has no time";
    QTest::newRow("time rule without time")
        << QStringList{"add", "JOB", "--monthly", "15"} << "--monthly needs the time of day: --at HH:MM";
    QTest::newRow("25:00") << QStringList{"add", "JOB", "--monthly", "15", "--at", "25:00"}
                           << "--at: '25:00' is no time of day";
    QTest::newRow("mistyped option") << QStringList{"add", "JOB", "--weekley", "mon"}
                                     << "unknown option '--weekley'; did you mean '--weekly'?";
    QTest::newRow("not a job") << QStringList{"add", "E:\\Backup"} << "not a job file";
    QTest::newRow("no such ID") << QStringList{"remove", "999"} << "there is no schedule with the ID '999'";
    QTest::newRow("mistyped action") << QStringList{"lst"}
                                     << "'lst' is none of list, add, remove, enable, disable; "
                                        "did you mean 'list'?";
}

// A mistyped rule gets a message naming the option, and nothing is written.
void TestScheduleCommand::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    test::TTestDrives drives;
    const QString job = NewJob(drives);
    QVERIFY(!job.isEmpty());
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^JOB$")), job);
    const TRun run = RunCli(QStringList{QStringLiteral("schedule")} + arguments);
    QCOMPARE(run.Status, 3);
    QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
    if (QFile::exists(NativePath(TStartUp::ProgramDatabaseFileName())))
        QVERIFY(StoredRows().isEmpty());
}

QTEST_GUILESS_MAIN(TestScheduleCommand)
#include "tst_schedulecommand.moc"
