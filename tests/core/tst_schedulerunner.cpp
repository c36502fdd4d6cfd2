#include "control/ScheduleRunner.h"
#include "model/NextRunTime.h"
#include "model/ProgramData.h"
#include "model/Schedule.h"

#include "TestDrives.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace trovalo;

namespace {

const TWeekDays EveryDay(dMonday | dTuesday | dWednesday | dThursday | dFriday | dSaturday | dSunday);
const QString Job = QStringLiteral(":\\Config\\Backup2014-07-01 09-00-00 000.Zja");

// 8 July 2014 is a Tuesday.
TDateTime At(int day, int hour, int minute = 0, int second = 0, int month = 7)
{
    return EncodeDateTime(QDate(2014, month, day), QTime(hour, minute, second));
}

QByteArray Rule(TScheduleMode mode, int hour)
{
    TSchedule schedule;
    schedule.SetScheduleMode(mode);
    schedule.SetWeekDays(EveryDay);
    schedule.SetMonth(7);
    schedule.SetDayOfMonthYearMode(8);
    schedule.SetTimeH(hour);
    return schedule.SaveToBytes();
}

struct TFixture
{
    test::TTestDrives Drives{{{'C', {}}, {'E', {}}, {'F', {}}}};
    QTemporaryDir Folder;
    std::unique_ptr<TProgramDatabase> Database;
    TProgramData Settings;
    TDateTime Now = 0;

    TFixture()
    {
        const QString file = Folder.filePath(QStringLiteral("ProgramData.zjd"));
        CreateProgramDatabaseFile(file);
        Database = std::make_unique<TProgramDatabase>(file);
    }
    void PutJob(QChar letter)
    {
        const QString file =
            Drives.Native(letter, QStringLiteral("Config/Backup2014-07-01 09-00-00 000.Zja"));
        QDir().mkpath(QFileInfo(file).path());
        QFile(file).open(QIODevice::WriteOnly);
    }
    qint64 AddRow(QChar letter, int mode, std::optional<TDateTime> next, const QByteArray &rule)
    {
        TScheduleRunRow row;
        row.ID = Database->AddSchedule(QString(letter) + Job, QStringLiteral("Nightly"));
        row.FileName = QString(letter) + Job;
        row.JobName = QStringLiteral("Nightly");
        row.Mode = mode;
        row.NextRunTime = next;
        row.Data = rule;
        Database->UpdateSchedule(row);
        return row.ID;
    }
    std::optional<TDateTime> NextRun() { return Database->AllSchedules().first().NextRunTime; }
    TScheduleRunner Runner()
    {
        return TScheduleRunner(*Database, Settings, [this] { return Now; });
    }
};

} // namespace

Q_DECLARE_METATYPE(std::optional<TDateTime>)

class TestScheduleRunner : public QObject
{
    Q_OBJECT

private slots:
    void nextFutureRun_data();
    void nextFutureRun();
    void minuteCheck_data();
    void minuteCheck();
    void answerToTheQuestion_data();
    void answerToTheQuestion();
    void driveInsertionAndStartUp();
};

void TestScheduleRunner::nextFutureRun_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("weekDays");
    QTest::addColumn<int>("dayOfMonth");
    QTest::addColumn<int>("hour");
    QTest::addColumn<TDateTime>("now");
    QTest::addColumn<bool>("afterRun");
    QTest::addColumn<std::optional<TDateTime>>("expected");

    const int all = EveryDay.toInt();
    const std::optional<TDateTime> none;
    QTest::newRow("daily, just ran: tomorrow, not again today")
        << int(smWeekly) << all << 1 << 10 << At(8, 10, 0, 30) << true << std::optional(At(9, 10));
    QTest::newRow("daily, not yet today")
        << int(smWeekly) << all << 1 << 10 << At(8, 9) << true << std::optional(At(8, 10));
    QTest::newRow("daily 00:00 a minute before midnight")
        << int(smWeekly) << all << 1 << 0 << At(8, 23, 59) << true << std::optional(At(9, 0));
    QTest::newRow("daily 00:00 at exactly 00:00")
        << int(smWeekly) << all << 1 << 0 << At(9, 0) << true << std::optional(At(10, 0));
    QTest::newRow("monthly 1st 00:00 from the month's last day")
        << int(smMonthly) << 0 << 1 << 0 << At(31, 22) << true << std::optional(At(1, 0, 0, 0, 8));
    QTest::newRow("monthly 31st, April's cut day has passed")
        << int(smMonthly) << 0 << 31 << 9 << At(30, 10, 0, 0, 4) << true << std::optional(At(31, 9, 0, 0, 5));
    QTest::newRow("weekly without days") << int(smWeekly) << 0 << 1 << 10 << At(8, 9) << false << none;
    QTest::newRow("once-only in the editor")
        << int(smOnesOnly) << 0 << 1 << 10 << At(8, 11) << false << std::optional(At(8, 10) + 365);
    QTest::newRow("once-only after its run") << int(smOnesOnly) << 0 << 1 << 10 << At(8, 10) << true << none;
}

void TestScheduleRunner::nextFutureRun()
{
    QFETCH(int, mode);
    QFETCH(int, weekDays);
    QFETCH(int, dayOfMonth);
    QFETCH(int, hour);
    QFETCH(TDateTime, now);
    QFETCH(bool, afterRun);
    QFETCH(std::optional<TDateTime>, expected);
    TSchedule schedule;
    schedule.SetScheduleMode(TScheduleMode(mode));
    schedule.SetWeekDays(TWeekDays::fromInt(weekDays));
    schedule.SetDayOfMonth(quint8(dayOfMonth));
    schedule.SetMonth(7);
    schedule.SetDayOfMonthYearMode(8);
    schedule.SetTimeH(hour);
    QCOMPARE(afterRun ? NextRunAfterRun(schedule, now) : NextFutureRun(schedule, now), expected);
}

void TestScheduleRunner::minuteCheck_data()
{
    QTest::addColumn<TDateTime>("startedAt");
    QTest::addColumn<int>("rule");
    QTest::addColumn<QString>("presentOn");
    QTest::addColumn<int>("runMode");
    QTest::addColumn<TDateTime>("tick");
    QTest::addColumn<QString>("startedOn");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<std::optional<TDateTime>>("next");
    QTest::addColumn<std::optional<TDateTime>>("nextAfterAMinute");

    // Every row is a schedule of E:'s job due at 10:00 on 8 July.
    const std::optional<TDateTime> due(At(8, 10)), tomorrow(At(9, 10)), none;
    QTest::newRow("program started 10:20: missed, moved to tomorrow")
        << At(8, 10, 20) << int(smWeekly) << "E" << int(srmAsk) << At(8, 10, 21) << "" << false << tomorrow
        << tomorrow;
    QTest::newRow("running since 9:00: runs once")
        << At(8, 9) << int(smWeekly) << "E" << int(srmAsk) << At(8, 10, 0, 1) << "E:\\" << false << tomorrow
        << tomorrow;
    QTest::newRow("job moved from E: to F:") << At(8, 9) << int(smWeekly) << "F" << int(srmAsk)
                                             << At(8, 10, 0, 1) << "F:\\" << false << tomorrow << tomorrow;
    QTest::newRow("missing, next time: unchanged, then missed")
        << At(8, 9) << int(smWeekly) << "" << int(srmNext) << At(8, 10, 0, 1) << "" << false << due
        << tomorrow;
    QTest::newRow("missing, skip") << At(8, 9) << int(smWeekly) << "" << int(srmSkip) << At(8, 10, 0, 1) << ""
                                   << false << tomorrow << tomorrow;
    QTest::newRow("missing, ask: the next tick neither asks nor checks")
        << At(8, 9) << int(smWeekly) << "" << int(srmAsk) << At(8, 10, 0, 1) << "" << true << due << due;
    QTest::newRow("once-only runs once") << At(8, 9) << int(smOnesOnly) << "E" << int(srmAsk)
                                         << At(8, 10, 0, 1) << "E:\\" << false << none << none;
}

void TestScheduleRunner::minuteCheck()
{
    QFETCH(TDateTime, startedAt);
    QFETCH(int, rule);
    QFETCH(QString, presentOn);
    QFETCH(int, runMode);
    QFETCH(TDateTime, tick);
    QFETCH(QString, startedOn);
    QFETCH(bool, asked);
    QFETCH(std::optional<TDateTime>, next);
    QFETCH(std::optional<TDateTime>, nextAfterAMinute);
    TFixture fixture;
    if (!presentOn.isEmpty())
        fixture.PutJob(presentOn.at(0));
    fixture.Settings.SetScheduleRunMode(TScheduleRunMode(runMode));
    const qint64 id = fixture.AddRow('E', stTime, At(8, 10), Rule(TScheduleMode(rule), 10));
    fixture.Now = startedAt;
    TScheduleRunner runner = fixture.Runner();

    fixture.Now = tick;
    TScheduleDecisions decisions = runner.MinuteTick();
    QCOMPARE(decisions.Starts.size(), startedOn.isEmpty() ? 0 : 1);
    if (!startedOn.isEmpty()) {
        const TScheduledStart &start = decisions.Starts.first();
        QCOMPARE(start.JobFile, startedOn.left(1) + Job);
        QCOMPARE(start.Drive, startedOn);
        QCOMPARE(start.ScheduleId, id);
        QVERIFY(start.Unattended);
    }
    QCOMPARE(decisions.Question.has_value(), asked);
    if (asked)
        QCOMPARE(decisions.Question->Text(),
                 QStringLiteral("Backup file not found in pc.\nPlease insert the disk "
                                "with backup file and click ok to continue\nFile Name : "
                                "E") +
                     Job + QStringLiteral("\nJob Name : Nightly"));
    QCOMPARE(fixture.NextRun(), next);

    // A second tick in the same minute checks nothing; the next minute's
    // check never runs the job a second time that day.
    QVERIFY(runner.MinuteTick().Starts.isEmpty());
    fixture.Now = tick + 1.0 / 1440;
    decisions = runner.MinuteTick();
    QVERIFY(decisions.Starts.isEmpty());
    QVERIFY(!decisions.Question);
    QCOMPARE(fixture.NextRun(), nextAfterAMinute);
    // The waiting check did not queue the row a second time.
    if (asked)
        QVERIFY(!runner.AnswerFileNotFound(false).Question);
}

void TestScheduleRunner::answerToTheQuestion_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("inserted");
    QTest::addColumn<int>("starts");
    QTest::addColumn<int>("askedAbout");
    QTest::addColumn<std::optional<TDateTime>>("next");

    // The time row is asked about; a start-up row of the same job waits
    // behind the question. askedAbout: 0 nothing, 1 the time row, 2 the
    // start-up row.
    QTest::newRow("OK after the stick came as F:") << true << true << 2 << 0 << std::optional(At(9, 10));
    QTest::newRow("OK, still missing: asked again") << true << false << 0 << 1 << std::optional(At(8, 10));
    QTest::newRow("Cancel: passed over, the next row asks")
        << false << false << 0 << 2 << std::optional(At(9, 10));
}

void TestScheduleRunner::answerToTheQuestion()
{
    QFETCH(bool, ok);
    QFETCH(bool, inserted);
    QFETCH(int, starts);
    QFETCH(int, askedAbout);
    QFETCH(std::optional<TDateTime>, next);
    TFixture fixture;
    const qint64 timeRow = fixture.AddRow('E', stTime, At(8, 10), Rule(smWeekly, 10));
    const qint64 startRow = fixture.AddRow('E', stStartup, std::nullopt, {});
    fixture.Now = At(8, 9);
    TScheduleRunner runner = fixture.Runner();
    fixture.Now = At(8, 10, 0, 1);
    QCOMPARE(runner.MinuteTick().Question->ScheduleId, timeRow);
    QVERIFY(runner.RunStartupSchedules().Starts.isEmpty());
    QVERIFY(runner.QuestionOpen());

    if (inserted)
        fixture.PutJob('F');
    const TScheduleDecisions decisions = runner.AnswerFileNotFound(ok);
    QCOMPARE(decisions.Starts.size(), starts);
    for (const TScheduledStart &start : decisions.Starts)
        QCOMPARE(start.Drive, QStringLiteral("F:\\"));
    QCOMPARE(decisions.Question.has_value(), askedAbout != 0);
    QCOMPARE(runner.QuestionOpen(), askedAbout != 0);
    if (askedAbout)
        QCOMPARE(decisions.Question->ScheduleId, askedAbout == 1 ? timeRow : startRow);
    QCOMPARE(fixture.NextRun(), next);
}

void TestScheduleRunner::driveInsertionAndStartUp()
{
    TFixture fixture;
    fixture.PutJob('F');
    const qint64 id = fixture.AddRow('E', stDriveInsertion, std::nullopt, {});
    fixture.Now = At(8, 9);
    TScheduleRunner runner = fixture.Runner();

    QVERIFY(runner.RunDriveSchedules(QStringLiteral("C:\\")).Starts.isEmpty());
    const TScheduleDecisions decisions = runner.RunDriveSchedules(QStringLiteral("F:\\"));
    QCOMPARE(decisions.Starts.size(), 1);
    QCOMPARE(decisions.Starts.first().JobFile, QStringLiteral("F") + Job);
    QCOMPARE(decisions.Starts.first().Drive, QStringLiteral("F:\\"));
    QCOMPARE(decisions.Starts.first().ScheduleId, id);
    // Plugged in by the user: the completion message is shown.
    QVERIFY(!decisions.Starts.first().Unattended);
    QVERIFY(runner.RunStartupSchedules().Starts.isEmpty());
}

QTEST_GUILESS_MAIN(TestScheduleRunner)
#include "tst_schedulerunner.moc"
