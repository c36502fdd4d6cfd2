#include "base/Exceptions.h"
#include "control/ScheduleEditing.h"
#include "control/ScheduleRunner.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"
#include "model/ProgramData.h"
#include "model/Schedule.h"
#include "model/ScheduleText.h"
#include "model/SyncData.h"

#include "TestDrives.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace trovalo;

namespace {

// 8 July 2014 is a Tuesday.
TDateTime At(int year, int month, int day, int hour, int minute = 0)
{
    return EncodeDateTime(QDate(year, month, day), QTime(hour, minute));
}

// A rule from a short text: "weekly Mon,Fri 10:00", "monthly 15/2 08:30"
// (day / every; "last" for the last day), "yearly 29.2/1 06:15"
// (day.month / every), "once 5.1 09:00".
void ReadRule(TSchedule &rule, const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    static const QStringList modes = {"weekly", "monthly", "yearly", "once"};
    static const QStringList days = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    rule.SetScheduleMode(TScheduleMode(modes.indexOf(parts.at(0))));
    const QStringList time = parts.at(2).split(QLatin1Char(':'));
    rule.SetTimeH(time.at(0).toInt());
    rule.SetTimeM(time.at(1).toInt());
    const QStringList when = parts.at(1).split(QLatin1Char('/'));
    rule.SetEvery(quint8(when.value(1, QStringLiteral("1")).toInt()));
    if (rule.ScheduleMode() == smWeekly) {
        TWeekDays chosen;
        for (const QString &day : when.at(0).split(QLatin1Char(','), Qt::SkipEmptyParts))
            chosen |= TWeekDay(1 << days.indexOf(day));
        rule.SetWeekDays(chosen);
    } else if (rule.ScheduleMode() == smMonthly) {
        rule.SetLastDayOFMonth(when.at(0) == QLatin1String("last"));
        rule.SetDayOfMonth(quint8(when.at(0).toInt()));
    } else {
        rule.SetDayOfMonthYearMode(quint8(when.at(0).section(QLatin1Char('.'), 0, 0).toInt()));
        rule.SetMonth(quint8(when.at(0).section(QLatin1Char('.'), 1, 1).toInt()));
    }
}

struct TProgramDatabaseFile
{
    QTemporaryDir Folder;
    std::unique_ptr<TProgramDatabase> Database;

    TProgramDatabaseFile()
    {
        const QString file = Folder.filePath(QStringLiteral("ProgramData.zjd"));
        CreateProgramDatabaseFile(file);
        Database = std::make_unique<TProgramDatabase>(file);
    }
};

template <typename TJob>
QByteArray JobNamed(void (TJob::*setName)(const QString &))
{
    TJob job;
    (job.*setName)(QStringLiteral("Holiday photos"));
    return job.SaveToBytes();
}

// A job file of the kind its extension names.
QString SaveJob(const QString &file)
{
    const QString extension = file.right(4).toLower();
    if (extension == QLatin1String(".zjs"))
        test::PutAt(file, JobNamed(&TSyncData::SetSyncName));
    else if (extension == QLatin1String(".zjp"))
        test::PutAt(file, JobNamed(&TPCSyncData::SetSyncName));
    else
        test::PutAt(file, JobNamed(&TArchiveData::SetBackupName));
    return file;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<TDateTime>)

class TestScheduleEditing : public QObject
{
    Q_OBJECT

private slots:
    void ruleText_data();
    void ruleText();
    void rowToSave_data();
    void rowToSave();
    void jobFileGetsOneSchedule_data();
    void jobFileGetsOneSchedule();
    void refusedJobFilesAddNothing_data();
    void refusedJobFilesAddNothing();
    void savedScheduleIsStartedByTheRunner();
};

void TestScheduleEditing::ruleText_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("text");
    QTest::newRow("weekly") << "weekly Fri,Mon 10:00"
                            << "Every week on Mon, Fri at 10:00";
    QTest::newRow("every day") << "weekly Mon,Tue,Wed,Thu,Fri,Sat,Sun 07:05"
                               << "Every day at 07:05";
    QTest::newRow("weekly without days") << "weekly /1 07:05"
                                         << "Weekly on no day (never runs)";
    QTest::newRow("monthly") << "monthly 15/2 08:30"
                             << "Every 2 months on day 15 at 08:30";
    QTest::newRow("monthly, day some months lack")
        << "monthly 31/1 09:00"
        << "Every month on day 31 (the last day in shorter months) at 09:00";
    QTest::newRow("monthly, last day, every unused") << "monthly last/3 18:00"
                                                     << "Every month on the last day at 18:00";
    QTest::newRow("yearly, leap day") << "yearly 29.2/2 06:15"
                                      << "Every 2 years on 29 Feb (28 Feb outside leap years) at 06:15";
    QTest::newRow("once, day April lacks") << "once 31.4 09:00"
                                           << "Once on the last day of Apr at 09:00";
    QTest::newRow("once") << "once 5.1 09:00"
                          << "Once on 05 Jan at 09:00";
    QTest::newRow("time out of range, as the rule clamps it") << "once 5.12 25:75"
                                                              << "Once on 05 Dec at 23:59";
}

void TestScheduleEditing::ruleText()
{
    QFETCH(QString, rule);
    QFETCH(QString, text);
    TSchedule schedule;
    ReadRule(schedule, rule);
    QCOMPARE(ScheduleRuleText(schedule), text);
}

void TestScheduleEditing::rowToSave_data()
{
    QTest::addColumn<int>("trigger");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<std::optional<TDateTime>>("next"); // none: no next run
    QTest::addColumn<QString>("refusal");               // part of the message; "" saved

    const std::optional<TDateTime> none;
    // Saved on Tuesday 8 July 2014 at 15:00.
    QTest::newRow("weekly, later today")
        << int(stTime) << "weekly Tue 16:00" << std::optional(At(2014, 7, 8, 16)) << "";
    QTest::newRow("weekly, passed today: next week")
        << int(stTime) << "weekly Tue 10:00" << std::optional(At(2014, 7, 15, 10)) << "";
    QTest::newRow("monthly, passed today: next interval")
        << int(stTime) << "monthly 8/2 09:00" << std::optional(At(2014, 9, 8, 9)) << "";
    QTest::newRow("yearly, day April lacks, passed")
        << int(stTime) << "yearly 31.4/1 09:00" << std::optional(At(2015, 4, 30, 9)) << "";
    QTest::newRow("once, passed today: its next date, not a past one")
        << int(stTime) << "once 8.7 09:00" << std::optional(At(2015, 7, 8, 9)) << "";
    QTest::newRow("drive insertion keeps its rule but has no run time")
        << int(stDriveInsertion) << "weekly /1 10:00" << none << "";
    QTest::newRow("start-up") << int(stStartup) << "monthly 8/1 16:00" << none << "";
    QTest::newRow("weekly without days")
        << int(stTime) << "weekly /1 10:00" << none << "at least one day of the week";
    QTest::newRow("unknown trigger") << 7 << "weekly Tue 10:00" << none << "Unknown schedule mode 7";
}

void TestScheduleEditing::rowToSave()
{
    QFETCH(int, trigger);
    QFETCH(QString, rule);
    QFETCH(std::optional<TDateTime>, next);
    QFETCH(QString, refusal);
    TSchedule schedule;
    ReadRule(schedule, rule);
    TScheduleRunRow row;
    row.ID = 4;
    row.FileName = QStringLiteral("E:\\Config\\Backup1.Zja");
    row.Mode = trigger;
    row.NextRunTime = At(2000, 1, 1, 0); // stale
    try {
        const TScheduleRunRow saved = ScheduleRowToSave(row, schedule, At(2014, 7, 8, 15));
        QVERIFY2(refusal.isEmpty(), "saved although it should be refused");
        QCOMPARE(saved.NextRunTime, next);
        QVERIFY(saved.Data);
        TSchedule stored;
        stored.LoadFromBlob(saved.Data);
        QCOMPARE(stored.ToObjectStream(), schedule.ToObjectStream());
        QCOMPARE(saved.FileName, row.FileName);
    } catch (const EUserException &error) {
        QVERIFY2(!refusal.isEmpty() && error.Message().contains(refusal), qPrintable(error.Message()));
    }
}

void TestScheduleEditing::jobFileGetsOneSchedule_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sameJob"); // the same file as a stick under another letter sees it
    QTest::newRow("backup") << "E:\\Config\\Backup1.Zja"
                            << "F:\\config\\BACKUP1.zja";
    QTest::newRow("move") << "E:\\Config\\Move 1.Zjm"
                          << "G:\\Config\\Move 1.Zjm";
    QTest::newRow("sync") << "E:\\Config\\sync 1.Zjs"
                          << "F:\\Config\\sync 1.Zjs";
    QTest::newRow("PC-to-PC") << "E:\\Config\\Office.Zjp"
                              << "F:\\CONFIG\\office.zjp";
}

void TestScheduleEditing::jobFileGetsOneSchedule()
{
    QFETCH(QString, file);
    QFETCH(QString, sameJob);
    test::TTestDrives drives;
    SaveJob(file);
    TProgramDatabaseFile program;
    const qint64 id = ScheduleJobFile(*program.Database, file);
    QCOMPARE(ScheduleJobFile(*program.Database, sameJob), id);
    const QList<TScheduleRunRow> rows = program.Database->AllSchedules();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().FileName, file);
    QCOMPARE(rows.first().JobName, QStringLiteral("Holiday photos"));
    QCOMPARE(rows.first().Mode, int(stTime));
    QVERIFY(rows.first().Active);
    QVERIFY(!rows.first().NextRunTime);
    QVERIFY(!rows.first().Data);
}

void TestScheduleEditing::refusedJobFilesAddNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no job file") << "E:\\Config\\Drive Config.cfg"
                                 << "is not a job file";
    QTest::newRow("missing") << "E:\\Config\\Gone.Zja"
                             << "does not exist";
    QTest::newRow("empty") << ""
                           << "is not a job file";
}

void TestScheduleEditing::refusedJobFilesAddNothing()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    test::TTestDrives drives;
    test::PutAt(QStringLiteral("E:\\Config\\Drive Config.cfg"), "x");
    TProgramDatabaseFile program;
    try {
        ScheduleJobFile(*program.Database, file);
        QFAIL("a schedule was added");
    } catch (const EUserException &error) {
        QVERIFY2(error.Message().contains(reason), qPrintable(error.Message()));
    }
    QVERIFY(program.Database->AllSchedules().isEmpty());
}

// What the editor saves is what the runner starts: not before the next run,
// once at it, and then at the run after it.
void TestScheduleEditing::savedScheduleIsStartedByTheRunner()
{
    test::TTestDrives drives;
    const QString job = SaveJob(QStringLiteral("E:\\Config\\Backup1.Zja"));
    TProgramDatabaseFile program;
    TSchedule rule;
    ReadRule(rule, QStringLiteral("weekly Tue,Thu 10:00"));
    ScheduleJobFile(*program.Database, job);
    const TScheduleRunRow row = program.Database->AllSchedules().first();
    SaveSchedule(*program.Database, row, rule, At(2014, 7, 8, 15));

    TDateTime now = At(2014, 7, 10, 9, 58);
    TProgramData settings;
    TScheduleRunner runner(*program.Database, settings, [&now] { return now; });
    now = At(2014, 7, 10, 9, 59);
    QVERIFY(runner.MinuteTick().Starts.isEmpty());
    now = At(2014, 7, 10, 10, 0) + 1.0 / 86400;
    const QList<TScheduledStart> starts = runner.MinuteTick().Starts;
    QCOMPARE(starts.size(), 1);
    QCOMPARE(starts.first().JobFile, job);
    QCOMPARE(program.Database->AllSchedules().first().NextRunTime, std::optional(At(2014, 7, 15, 10)));
}

QTEST_GUILESS_MAIN(TestScheduleEditing)
#include "tst_scheduleediting.moc"
