#include "base/Exceptions.h"
#include "model/ProgramData.h"
#include "model/RecordRegistry.h"
#include "model/Schedule.h"
#include "model/ZlibContainer.h"

#include <QtTest>

using namespace trovalo;

namespace {

const QString Guid = QStringLiteral("{0123ABCD-4567-89EF-0123-456789ABCDEF}");

QDateTime At(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

QByteArray Name(const char *name)
{
    return QByteArray(1, char(qstrlen(name))) + name;
}

QByteArray Int8Property(const char *name, quint8 value)
{
    return Name(name) + QByteArray(1, '\x02') + QByteArray(1, char(value));
}

// The stream of a schedule with a fixed FileGUID: what precedes DayOfMonth,
// then DayOfMonth and everything after it.
QByteArray ExpectedStream(const QByteArray &changedBeforeDay, const QByteArray &rest)
{
    QByteArray stream("TPF0", 4);
    stream += Name("TSchedule") + QByteArray(1, '\0');
    stream += Name("FileGUID") + QByteArray("\x06\x26") + Guid.toLatin1();
    stream += changedBeforeDay;
    stream += rest;
    stream += QByteArray(2, '\0');
    return stream;
}

QByteArray DefaultTail()
{
    return Int8Property("DayOfMonth", 1) + Int8Property("Month", 1) + Int8Property("DayOfMonthYearMode", 1) +
           Int8Property("TimeH", 0) + Int8Property("TimeM", 0);
}

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void nextTransfer_data();
    void nextTransfer();
    void weeklyWithoutDaysIsExactlyOneDayEarlier();
    void objectStream_data();
    void objectStream();
    void everyFieldSurvivesBlobRoundTrip();
    void assignCopiesTheRuleButNotTheTime();
    void assignFromOtherObjectsFails_data();
    void assignFromOtherObjectsFails();
};

void TestSchedule::nextTransfer_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("weekDays");
    QTest::addColumn<int>("dayOfMonth");
    QTest::addColumn<bool>("lastDay");
    QTest::addColumn<int>("every");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("dayOfYearMode");
    QTest::addColumn<int>("timeH");
    QTest::addColumn<int>("timeM");
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("expected");

    const int monThu = dMonday | dThursday;
    // 8 July 2014 is a Tuesday.
    QTest::newRow("weekly Mon+Thu from Tuesday") << int(smWeekly) << monThu << 1 << false << 1 << 1 << 1 << 10
                                                 << 0 << At(2014, 7, 8, 15) << At(2014, 7, 10, 10);
    QTest::newRow("weekly own weekday, time passed")
        << int(smWeekly) << int(dTuesday) << 1 << false << 1 << 1 << 1 << 10 << 0 << At(2014, 7, 8, 15)
        << At(2014, 7, 8, 10);
    QTest::newRow("weekly no day") << int(smWeekly) << 0 << 1 << false << 1 << 1 << 1 << 10 << 0
                                   << At(2014, 7, 8, 15) << At(2014, 7, 7, 15);
    QTest::newRow("weekly Sunday only") << int(smWeekly) << int(dSunday) << 1 << false << 1 << 1 << 1 << 10
                                        << 0 << At(2014, 7, 8, 15) << At(2014, 7, 13, 10);
    QTest::newRow("weekly Monday only, last of seven")
        << int(smWeekly) << int(dMonday) << 1 << false << 1 << 1 << 1 << 10 << 0 << At(2014, 7, 8, 15)
        << At(2014, 7, 14, 10);
    QTest::newRow("weekly ignores Every") << int(smWeekly) << int(dFriday) << 1 << false << 5 << 1 << 1 << 7
                                          << 30 << At(2014, 7, 8, 15) << At(2014, 7, 11, 7, 30);
    QTest::newRow("weekly unknown day bit only") << int(smWeekly) << 0x80 << 1 << false << 1 << 1 << 1 << 10
                                                 << 0 << At(2014, 7, 8, 15) << At(2014, 7, 7, 15);
    QTest::newRow("weekly across the year end") << int(smWeekly) << int(dFriday) << 1 << false << 1 << 1 << 1
                                                << 6 << 0 << At(2014, 12, 30, 12) << At(2015, 1, 2, 6);

    QTest::newRow("last day at midnight equals Start")
        << int(smMonthly) << 0 << 1 << true << 1 << 1 << 1 << 0 << 0 << At(2014, 7, 31, 8) << At(2014, 8, 31);
    QTest::newRow("last day, passed time same day") << int(smMonthly) << 0 << 1 << true << 1 << 1 << 1 << 18
                                                    << 30 << At(2014, 7, 31, 20) << At(2014, 7, 31, 18, 30);
    QTest::newRow("last day ignores Every")
        << int(smMonthly) << 0 << 1 << true << 6 << 1 << 1 << 0 << 0 << At(2015, 1, 31, 8) << At(2015, 2, 28);
    QTest::newRow("last day into the new year") << int(smMonthly) << 0 << 1 << true << 1 << 1 << 1 << 0 << 0
                                                << At(2014, 12, 31, 8) << At(2015, 1, 31);
    QTest::newRow("last day, leap February") << int(smMonthly) << 0 << 1 << true << 1 << 1 << 1 << 12 << 0
                                             << At(2016, 2, 3, 8) << At(2016, 2, 29, 12);
    QTest::newRow("day 31 in April is cut") << int(smMonthly) << 0 << 31 << false << 2 << 1 << 1 << 9 << 0
                                            << At(2014, 4, 15, 11) << At(2014, 4, 30, 9);
    QTest::newRow("day 5 passed, every 3") << int(smMonthly) << 0 << 5 << false << 3 << 1 << 1 << 9 << 0
                                           << At(2014, 1, 20, 11) << At(2014, 4, 5, 9);
    QTest::newRow("31 Jan + 1 month") << int(smMonthly) << 0 << 31 << false << 1 << 1 << 1 << 0 << 0
                                      << At(2014, 1, 31, 10) << At(2014, 2, 28);
    QTest::newRow("31 Jan + 1 month, leap year") << int(smMonthly) << 0 << 31 << false << 1 << 1 << 1 << 0
                                                 << 0 << At(2016, 1, 31, 10) << At(2016, 2, 29);
    QTest::newRow("cut 30 April keeps the cut") << int(smMonthly) << 0 << 31 << false << 1 << 1 << 1 << 0 << 0
                                                << At(2014, 4, 30, 10) << At(2014, 5, 30);
    QTest::newRow("midnight on its day moves on") << int(smMonthly) << 0 << 15 << false << 1 << 1 << 1 << 0
                                                  << 0 << At(2014, 3, 15, 5) << At(2014, 4, 15);
    QTest::newRow("one minute past midnight stays") << int(smMonthly) << 0 << 15 << false << 1 << 1 << 1 << 0
                                                    << 1 << At(2014, 3, 15, 23) << At(2014, 3, 15, 0, 1);
    QTest::newRow("day still ahead this month") << int(smMonthly) << 0 << 20 << false << 4 << 1 << 1 << 9 << 0
                                                << At(2014, 3, 15, 23) << At(2014, 3, 20, 9);
    QTest::newRow("every 2 across the year end") << int(smMonthly) << 0 << 10 << false << 2 << 1 << 1 << 9
                                                 << 0 << At(2014, 12, 15, 9) << At(2015, 2, 10, 9);
    QTest::newRow("every 12 months") << int(smMonthly) << 0 << 20 << false << 12 << 1 << 1 << 9 << 0
                                     << At(2014, 11, 25, 9) << At(2015, 11, 20, 9);

    QTest::newRow("yearly 1 March passed") << int(smYearly) << 0 << 1 << false << 1 << 3 << 1 << 6 << 15
                                           << At(2014, 3, 2, 10) << At(2015, 3, 1, 6, 15);
    QTest::newRow("once-only like yearly") << int(smOnesOnly) << 0 << 1 << false << 1 << 3 << 1 << 7 << 45
                                           << At(2014, 3, 2, 10) << At(2015, 3, 1, 7, 45);
    QTest::newRow("yearly still ahead") << int(smYearly) << 0 << 1 << false << 1 << 10 << 3 << 6 << 15
                                        << At(2014, 3, 2, 10) << At(2014, 10, 3, 6, 15);
    QTest::newRow("yearly every 4") << int(smYearly) << 0 << 1 << false << 4 << 3 << 1 << 6 << 15
                                    << At(2014, 3, 2, 10) << At(2018, 3, 1, 6, 15);
    QTest::newRow("yearly 31 Dec at midnight moves on") << int(smYearly) << 0 << 1 << false << 1 << 12 << 31
                                                        << 0 << 0 << At(2014, 12, 31, 10) << At(2015, 12, 31);
    QTest::newRow("29 Feb + 1 year") << int(smYearly) << 0 << 1 << false << 1 << 2 << 29 << 8 << 0
                                     << At(2016, 3, 1, 10) << At(2017, 2, 28, 8);
    QTest::newRow("29 Feb in a common year") << int(smYearly) << 0 << 1 << false << 1 << 2 << 29 << 8 << 0
                                             << At(2015, 1, 10, 10) << At(2015, 2, 28, 8);
    QTest::newRow("29 Feb returns in the leap year") << int(smYearly) << 0 << 1 << false << 1 << 2 << 29 << 8
                                                     << 0 << At(2015, 3, 1, 10) << At(2016, 2, 29, 8);
    QTest::newRow("30 Feb once-only") << int(smOnesOnly) << 0 << 1 << false << 1 << 2 << 30 << 8 << 0
                                      << At(2016, 1, 1, 10) << At(2016, 2, 29, 8);
    QTest::newRow("31 April is the 30th") << int(smYearly) << 0 << 1 << false << 1 << 4 << 31 << 8 << 0
                                          << At(2014, 1, 1, 10) << At(2014, 4, 30, 8);

    QTest::newRow("time above range clamped") << int(smYearly) << 0 << 1 << false << 1 << 3 << 1 << 30 << 75
                                              << At(2014, 1, 2, 10) << At(2014, 3, 1, 23, 59);
    QTest::newRow("negative time clamped to midnight") << int(smMonthly) << 0 << 10 << false << 1 << 1 << 1
                                                       << -5 << -1 << At(2014, 1, 2, 10) << At(2014, 1, 10);
    QTest::newRow("clamped midnight on its day moves on")
        << int(smMonthly) << 0 << 10 << false << 1 << 1 << 1 << -5 << 0 << At(2014, 1, 10, 10)
        << At(2014, 2, 10);
    QTest::newRow("day of month 0 is 1") << int(smMonthly) << 0 << 0 << false << 1 << 1 << 1 << 9 << 0
                                         << At(2014, 1, 2, 9) << At(2014, 2, 1, 9);
    QTest::newRow("day of month 200 is the last") << int(smMonthly) << 0 << 200 << false << 1 << 1 << 1 << 9
                                                  << 0 << At(2014, 2, 1, 9) << At(2014, 2, 28, 9);
    QTest::newRow("every 0 counts as 1") << int(smMonthly) << 0 << 5 << false << 0 << 1 << 1 << 9 << 0
                                         << At(2014, 1, 20, 9) << At(2014, 2, 5, 9);
    QTest::newRow("month 0 is January") << int(smYearly) << 0 << 1 << false << 1 << 0 << 15 << 9 << 0
                                        << At(2014, 1, 1, 9) << At(2014, 1, 15, 9);
    QTest::newRow("month 13 is December") << int(smYearly) << 0 << 1 << false << 1 << 13 << 15 << 9 << 0
                                          << At(2014, 1, 1, 9) << At(2014, 12, 15, 9);
    QTest::newRow("month 200, day 40") << int(smYearly) << 0 << 1 << false << 1 << 200 << 40 << 9 << 0
                                       << At(2014, 1, 1, 9) << At(2014, 12, 31, 9);
    QTest::newRow("year day 0 is 1") << int(smOnesOnly) << 0 << 1 << false << 1 << 6 << 0 << 9 << 0
                                     << At(2014, 1, 1, 9) << At(2014, 6, 1, 9);
    QTest::newRow("every 0 years counts as 1") << int(smYearly) << 0 << 1 << false << 0 << 3 << 1 << 6 << 15
                                               << At(2014, 3, 2, 10) << At(2015, 3, 1, 6, 15);
    QTest::newRow("unknown mode returns FromDate")
        << 7 << 0 << 1 << false << 1 << 1 << 1 << 9 << 0 << At(2014, 3, 2, 10, 17) << At(2014, 3, 2, 10, 17);
}

void TestSchedule::nextTransfer()
{
    QFETCH(int, mode);
    QFETCH(int, weekDays);
    QFETCH(int, dayOfMonth);
    QFETCH(bool, lastDay);
    QFETCH(int, every);
    QFETCH(int, month);
    QFETCH(int, dayOfYearMode);
    QFETCH(int, timeH);
    QFETCH(int, timeM);
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, expected);

    TSchedule schedule;
    schedule.SetScheduleMode(static_cast<TScheduleMode>(mode));
    schedule.SetWeekDays(TWeekDays::fromInt(weekDays));
    schedule.SetDayOfMonth(static_cast<quint8>(dayOfMonth));
    schedule.SetLastDayOFMonth(lastDay);
    schedule.SetEvery(static_cast<quint8>(every));
    schedule.SetMonth(static_cast<quint8>(month));
    schedule.SetDayOfMonthYearMode(static_cast<quint8>(dayOfYearMode));
    schedule.SetTimeH(timeH);
    schedule.SetTimeM(timeM);
    QCOMPARE(DateTimeToQt(schedule.GetNextTransfer(DateTimeFromQt(from))), expected);
}

void TestSchedule::weeklyWithoutDaysIsExactlyOneDayEarlier()
{
    TSchedule schedule;
    schedule.SetScheduleMode(smWeekly);
    const TDateTime from = DateTimeFromQt(QDateTime(QDate(2014, 7, 8), QTime(15, 42, 17, 123)));
    QCOMPARE(schedule.GetNextTransfer(from), from - 1);
}

void TestSchedule::objectStream_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("weekDays");
    QTest::addColumn<bool>("lastDay");
    QTest::addColumn<int>("every");
    QTest::addColumn<int>("dayOfMonth");
    QTest::addColumn<int>("timeH");
    QTest::addColumn<QByteArray>("expected");

    // Worked out by hand: ScheduleMode (smMonthly), WeekDays ([]),
    // LastDayOFMonth (false) and Every (1) are left out at their declared
    // defaults; the bytes and integers without one are always written.
    QTest::newRow("fresh") << int(smMonthly) << 0 << false << 1 << 1 << 0
                           << ExpectedStream({}, DefaultTail());
    QTest::newRow("weekly Monday and Thursday")
        << int(smWeekly) << int(dMonday | dThursday) << false << 1 << 1 << 0
        << ExpectedStream(Name("ScheduleMode") + QByteArray("\x07") + Name("smWeekly") + Name("WeekDays") +
                              QByteArray("\x0B") + Name("dMonday") + Name("dThursday") + QByteArray(1, '\0'),
                          DefaultTail());
    QTest::newRow("Sunday alone is bit 6")
        << int(smMonthly) << int(dSunday) << false << 1 << 1 << 0
        << ExpectedStream(Name("WeekDays") + QByteArray("\x0B") + Name("dSunday") + QByteArray(1, '\0'),
                          DefaultTail());
    // 200 does not fit a signed byte, so it takes the 16-bit tag.
    QTest::newRow("non-default values")
        << int(smOnesOnly) << 0 << true << 3 << 200 << 200
        << ExpectedStream(Name("ScheduleMode") + QByteArray("\x07") + Name("smOnesOnly"),
                          Name("DayOfMonth") + QByteArray("\x03\xC8\x00", 3) + Name("LastDayOFMonth") +
                              QByteArray("\x09") + Int8Property("Every", 3) + Int8Property("Month", 1) +
                              Int8Property("DayOfMonthYearMode", 1) + Name("TimeH") +
                              QByteArray("\x03\xC8\x00", 3) + Int8Property("TimeM", 0));
}

void TestSchedule::objectStream()
{
    QFETCH(int, mode);
    QFETCH(int, weekDays);
    QFETCH(bool, lastDay);
    QFETCH(int, every);
    QFETCH(int, dayOfMonth);
    QFETCH(int, timeH);
    QFETCH(QByteArray, expected);

    TSchedule schedule;
    schedule.SetFileGUID(Guid);
    schedule.SetScheduleMode(static_cast<TScheduleMode>(mode));
    schedule.SetWeekDays(TWeekDays::fromInt(weekDays));
    schedule.SetLastDayOFMonth(lastDay);
    schedule.SetEvery(static_cast<quint8>(every));
    schedule.SetDayOfMonth(static_cast<quint8>(dayOfMonth));
    schedule.SetTimeH(timeH);
    QCOMPARE(schedule.ToObjectStream(), expected);
    QCOMPARE(InflateContainer(schedule.SaveToBytes()), expected);

    TSchedule loaded;
    loaded.ReadObjectStream(expected);
    QCOMPARE(loaded.ScheduleMode(), schedule.ScheduleMode());
    QCOMPARE(loaded.WeekDays(), schedule.WeekDays());
    QCOMPARE(loaded.LastDayOFMonth(), lastDay);
    QCOMPARE(int(loaded.Every()), every);
    QCOMPARE(int(loaded.DayOfMonth()), dayOfMonth);
    QCOMPARE(loaded.TimeH(), timeH);
}

void TestSchedule::everyFieldSurvivesBlobRoundTrip()
{
    TSchedule schedule;
    schedule.SetScheduleMode(smWeekly);
    schedule.SetWeekDays(dTuesday | dWednesday | dSaturday);
    schedule.SetDayOfMonth(27);
    schedule.SetLastDayOFMonth(true);
    schedule.SetEvery(11);
    schedule.SetMonth(9);
    schedule.SetDayOfMonthYearMode(13);
    schedule.SetTimeH(21);
    schedule.SetTimeM(48);

    // The registry is how tools build a record from its class name.
    const std::unique_ptr<TSaveLoadComponent> record = CreateRecord(QStringLiteral("TSchedule"), QString());
    auto *loaded = qobject_cast<TSchedule *>(record.get());
    QVERIFY(loaded);
    loaded->LoadFromBlob(schedule.SaveToBytes());
    QCOMPARE(loaded->FileGUID(), schedule.FileGUID());
    QCOMPARE(loaded->ScheduleMode(), smWeekly);
    QCOMPARE(loaded->WeekDays(), dTuesday | dWednesday | dSaturday);
    QCOMPARE(int(loaded->DayOfMonth()), 27);
    QCOMPARE(loaded->LastDayOFMonth(), true);
    QCOMPARE(int(loaded->Every()), 11);
    QCOMPARE(int(loaded->Month()), 9);
    QCOMPARE(int(loaded->DayOfMonthYearMode()), 13);
    QCOMPARE(loaded->TimeH(), 21);
    QCOMPARE(loaded->TimeM(), 48);
}

void TestSchedule::assignCopiesTheRuleButNotTheTime()
{
    TSchedule source;
    source.SetScheduleMode(smYearly);
    source.SetWeekDays(dFriday);
    source.SetDayOfMonth(17);
    source.SetLastDayOFMonth(true);
    source.SetEvery(4);
    source.SetMonth(11);
    source.SetDayOfMonthYearMode(23);
    source.SetTimeH(5);
    source.SetTimeM(6);

    TSchedule target;
    target.SetTimeH(14);
    target.SetTimeM(35);
    target.Assign(&source);
    QCOMPARE(target.ScheduleMode(), smYearly);
    QCOMPARE(target.WeekDays(), TWeekDays(dFriday));
    QCOMPARE(int(target.DayOfMonth()), 17);
    QCOMPARE(target.LastDayOFMonth(), true);
    QCOMPARE(int(target.Every()), 4);
    QCOMPARE(int(target.Month()), 11);
    QCOMPARE(int(target.DayOfMonthYearMode()), 23);
    QCOMPARE(target.TimeH(), 14);
    QCOMPARE(target.TimeM(), 35);
}

void TestSchedule::assignFromOtherObjectsFails_data()
{
    QTest::addColumn<bool>("useSettings");
    QTest::addColumn<QString>("message");
    QTest::newRow("settings record") << true << "Cannot assign a TProgramData to a TSchedule";
    QTest::newRow("nothing") << false << "Cannot assign a nil to a TSchedule";
}

void TestSchedule::assignFromOtherObjectsFails()
{
    QFETCH(bool, useSettings);
    QFETCH(QString, message);
    TProgramData settings;
    TSchedule target;
    target.SetDayOfMonth(9);
    try {
        target.Assign(useSettings ? static_cast<QObject *>(&settings) : nullptr);
        QFAIL("Assign accepted an object that is not a schedule");
    } catch (const EConvertError &error) {
        QCOMPARE(error.Message(), message);
    }
    QCOMPARE(int(target.DayOfMonth()), 9);
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
