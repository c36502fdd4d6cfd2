#include "base/DateTime.h"

#include <QtTest>

#include <cmath>

using namespace trovalo;

namespace {
QDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}
} // namespace

class TestDateTime : public QObject
{
    Q_OBJECT

private slots:
    void knownValues_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::newRow("never") << 0.0 << QDateTime();
        QTest::newRow("one") << 1.0 << At(1899, 12, 31);
        QTest::newRow("two") << 2.0 << At(1900, 1, 1);
        QTest::newRow("noon of the epoch day") << 0.5 << At(1899, 12, 30, 12);
        QTest::newRow("2000") << 36526.0 << At(2000, 1, 1);
        QTest::newRow("afternoon") << 41830.5 << At(2014, 7, 10, 12);
        QTest::newRow("evening") << 45658.75 << At(2025, 1, 1, 18);
        QTest::newRow("negative: days back, time forward") << -1.25 << At(1899, 12, 29, 6);
        QTest::newRow("negative whole day") << -2.0 << At(1899, 12, 28);
        QTest::newRow("1900 is no leap year") << 61.0 << At(1900, 3, 1);
    }
    void knownValues()
    {
        QFETCH(double, value);
        QFETCH(QDateTime, dateTime);
        QCOMPARE(DateTimeToQt(value), dateTime);
        QCOMPARE(DateTimeFromQt(dateTime), value);
    }

    void millisecondRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("dateTime");
        QTest::newRow("recent") << At(2014, 7, 10, 12, 34, 56, 789);
        QTest::newRow("one ms after midnight") << At(2020, 3, 1, 0, 0, 0, 1);
        QTest::newRow("last ms of a day") << At(2099, 12, 31, 23, 59, 59, 999);
        QTest::newRow("before 1899-12-30") << At(1899, 12, 29, 23, 59, 59, 999);
        QTest::newRow("long ago") << At(1753, 1, 1, 4, 5, 6, 7);
    }
    void millisecondRoundTrip()
    {
        QFETCH(QDateTime, dateTime);
        QCOMPARE(DateTimeToQt(DateTimeFromQt(dateTime)), dateTime);
    }

    // A fraction a hair below a whole day is the next midnight: the calendar
    // day after, whatever the sign of the value.
    void roundingCarriesToTheNextDay_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::newRow("positive") << 1.9999999999 << At(1900, 1, 1);
        QTest::newRow("negative") << -1.9999999999 << At(1899, 12, 30);
        QTest::newRow("negative, further back") << -10.9999999999 << At(1899, 12, 21);
    }
    void roundingCarriesToTheNextDay()
    {
        QFETCH(double, value);
        QFETCH(QDateTime, dateTime);
        QCOMPARE(DateTimeToQt(value), dateTime);
    }

    void parts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("date");
        QTest::addColumn<double>("time");
        QTest::newRow("positive") << 41830.75 << qint64(41830) << 0.75;
        QTest::newRow("negative") << -1.25 << qint64(-1) << 0.25;
        QTest::newRow("whole") << 2.0 << qint64(2) << 0.0;
    }
    void parts()
    {
        QFETCH(double, value);
        QFETCH(qint64, date);
        QFETCH(double, time);
        QCOMPARE(DateOf(value), date);
        QCOMPARE(TimeOf(value) + 1.0, time + 1.0);
    }

    void invalidInputs()
    {
        QVERIFY(!DateTimeToQt(std::nan("")).isValid());
        QVERIFY(!DateTimeToQt(INFINITY).isValid());
        QCOMPARE(DateTimeFromQt(QDateTime()), 0.0);
        const double now = DateTimeNow();
        QVERIFY(std::fabs(now - DateTimeFromQt(QDateTime::currentDateTime())) < 1.0 / 86400);
    }
};

QTEST_GUILESS_MAIN(TestDateTime)
#include "tst_datetime.moc"
