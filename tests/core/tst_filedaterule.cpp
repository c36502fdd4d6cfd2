#include "platform/FileDateRule.h"

#include <QtTest>

using namespace trovalo;

namespace {
constexpr TDateTime Base = 45000.5; // 2023-03-15 12:00
TDateTime Plus(int seconds)
{
    return Base + double(seconds) / 86400.0;
}
} // namespace

Q_DECLARE_METATYPE(TDateKeeping)

class TestFileDateRule : public QObject
{
    Q_OBJECT

private slots:
    void keepingOfFileSystem_data()
    {
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<TDateKeeping>("keeping");
        for (const char *name : {"vfat", "VFAT", "msdos", "exfat", "fuseblk", "fuse.fusefat"})
            QTest::newRow(name) << name << TDateKeeping::LocalTime;
        for (const char *name : {"ext4", "ntfs3", "btrfs", "fuse", "tmpfs", ""})
            QTest::newRow(name[0] ? name : "unknown") << name << TDateKeeping::Exact;
    }
    void keepingOfFileSystem()
    {
        QFETCH(QString, fileSystem);
        QFETCH(TDateKeeping, keeping);
        QCOMPARE(DateKeepingOf(fileSystem), keeping);
    }

    void sameFileDate_data()
    {
        QTest::addColumn<int>("shift");
        QTest::addColumn<bool>("sameSize");
        QTest::addColumn<int>("utcOffset");
        QTest::addColumn<bool>("sameOnFat");
        QTest::newRow("equal") << 0 << false << 0 << true;
        QTest::newRow("2 s, other size") << 2 << false << 0 << true;
        QTest::newRow("-2 s") << -2 << true << 0 << true;
        QTest::newRow("3 s") << 3 << true << 0 << false;
        QTest::newRow("one hour later") << 3600 << true << 0 << true;
        QTest::newRow("one hour earlier") << -3600 << true << 0 << true;
        QTest::newRow("one hour and 2 s") << 3602 << true << 0 << true;
        QTest::newRow("one hour less 2 s") << -3598 << true << 0 << true;
        QTest::newRow("one hour and 3 s") << 3603 << true << 0 << false;
        QTest::newRow("one hour, other size") << 3600 << false << 0 << false;
        QTest::newRow("UTC offset +5:30") << 19800 << true << 19800 << true;
        QTest::newRow("UTC offset, other direction") << -19801 << true << 19800 << true;
        QTest::newRow("UTC offset of another zone") << 19800 << true << 7200 << false;
        QTest::newRow("UTC offset, other size") << 7200 << false << 7200 << false;
        QTest::newRow("two hours in UTC") << 7200 << true << 0 << false;
        QTest::newRow("a day") << 86400 << true << 0 << false;
    }
    void sameFileDate()
    {
        QFETCH(int, shift);
        QFETCH(bool, sameSize);
        QFETCH(int, utcOffset);
        QFETCH(bool, sameOnFat);
        QCOMPARE(SameFileDate(Base, Plus(shift), sameSize, TDateKeeping::LocalTime, utcOffset), sameOnFat);
        QCOMPARE(SameFileDate(Plus(shift), Base, sameSize, TDateKeeping::LocalTime, utcOffset), sameOnFat);
        QCOMPARE(SameFileDate(Base, Plus(shift), sameSize, TDateKeeping::Exact, utcOffset), shift == 0);
    }

    // "Never" is no date a shift could reach.
    void neverMatchesNothing()
    {
        QVERIFY(!SameFileDate(0, Plus(0), true, TDateKeeping::LocalTime, 0));
        QVERIFY(!SameFileDate(Base, 0, true, TDateKeeping::LocalTime, 0));
        QVERIFY(SameFileDate(0, 0, true, TDateKeeping::LocalTime, 0));
    }
};

QTEST_GUILESS_MAIN(TestFileDateRule)
#include "tst_filedaterule.moc"
