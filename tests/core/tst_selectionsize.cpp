#include "TestDrives.h"
#include "TestFiles.h"

#include "engine/SelectionSizeCounter.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {
// On C:, drive-relative path -> size.
const QMap<QString, qint64> Layout{
    {"Data/a.txt", 10},          {"Data/b.txt", 20},     {"Data/a.txt.bak", 70},      {"Data/Sub/c.txt", 30},
    {"Data/Sub/Deep/d.txt", 40}, {"Data/Tmp/e.txt", 50}, {"Data/Tmp/Keep/f.txt", 60}, {"Other/g.txt", 80},
};

int LiveCounts(const TSelectionSizeCounter &counter)
{
    return int(counter.findChildren<QThread *>().size());
}
} // namespace

class TestSelectionSize : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TTestDrives> FDrives;

private slots:
    void initTestCase()
    {
        FDrives = std::make_unique<test::TTestDrives>(QMap<QChar, QString>{{'C', QString()}});
        for (auto it = Layout.cbegin(); it != Layout.cend(); ++it)
            test::PutNative(FDrives->Native('C', it.key()), QByteArray(it.value(), 'x'));
        QVERIFY(QDir().mkpath(FDrives->Native('C', "Data/Empty")));
        // A link to a folder is never entered, a link to a file counts as the file.
        QVERIFY(QFile::link(FDrives->Native('C', "Other"), FDrives->Native('C', "Data/LinkToOther")));
        QVERIFY(
            QFile::link(FDrives->Native('C', "Other/g.txt"), FDrives->Native('C', "Data/Sub/g-link.txt")));
        // Many files: a count that is still running when the next starts.
        for (int i = 0; i < 3000; ++i)
            test::PutNative(FDrives->Native('C', QStringLiteral("Big/d%1/f%2").arg(i / 50).arg(i)), {});
    }
    void cleanupTestCase() { FDrives.reset(); }

    void countSelection_data()
    {
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("exclude");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("files");
        QTest::addColumn<qint64>("folders");
        const QString data = "C:\\Data\\";
        QTest::newRow("one folder") << QStringList{data} << QStringList() << 360LL << 8LL << 5LL;
        QTest::newRow("an excluded folder")
            << QStringList{data} << QStringList{"C:\\Data\\Tmp\\"} << 250LL << 6LL << 3LL;
        QTest::newRow("included again inside an excluded folder")
            << QStringList{data, "C:\\Data\\Tmp\\Keep\\"} << QStringList{"C:\\Data\\Tmp\\"} << 310LL << 7LL
            << 3LL;
        QTest::newRow("a nested include entry counts once")
            << QStringList{data, "C:\\Data\\Sub\\"} << QStringList() << 360LL << 8LL << 5LL;
        QTest::newRow("the same entry twice")
            << QStringList{data, "c:\\data\\"} << QStringList() << 360LL << 8LL << 5LL;
        QTest::newRow("an excluded file leaves its namesake")
            << QStringList{data} << QStringList{"C:\\Data\\a.txt"} << 350LL << 7LL << 5LL;
        QTest::newRow("an included file")
            << QStringList{"C:\\Data\\a.txt"} << QStringList() << 10LL << 1LL << 0LL;
        QTest::newRow("two folders") << QStringList{"C:\\Data\\Sub\\", "C:\\Other\\"} << QStringList()
                                     << 230LL << 4LL << 1LL;
        QTest::newRow("a link to a folder")
            << QStringList{"C:\\Data\\LinkToOther\\"} << QStringList() << 0LL << 0LL << 0LL;
        QTest::newRow("a missing folder") << QStringList{"C:\\Gone\\"} << QStringList() << 0LL << 0LL << 0LL;
    }
    void countSelection()
    {
        QFETCH(QStringList, include);
        QFETCH(QStringList, exclude);
        QFETCH(qint64, size);
        QFETCH(qint64, files);
        QFETCH(qint64, folders);
        const TSelectionTotals totals = CountSelection(TSelectionLists(include, exclude));
        QCOMPARE(totals.Size, size);
        QCOMPARE(totals.Files, files);
        QCOMPARE(totals.Folders, folders);
    }

    void stopEndsTheWalk()
    {
        const std::atomic_bool stop{true};
        QCOMPARE(CountSelection(TSelectionLists({"C:\\Data\\"}, {}), &stop), TSelectionTotals());
    }

    void supersededOrStoppedCountNeverReports()
    {
        TSelectionSizeCounter counter;
        QSignalSpy counted(&counter, &TSelectionSizeCounter::Counted);
        counter.Start(TSelectionLists({"C:\\Big\\"}, {}));
        const TSelectionLists latest({"C:\\Data\\"}, {"C:\\Data\\Tmp\\"});
        counter.Start(latest);
        QVERIFY(counter.Counting());
        QTRY_COMPARE(LiveCounts(counter), 0);
        QCOMPARE(counted.size(), 1);
        const TSelectionTotals expected = CountSelection(latest);
        QCOMPARE(counted.at(0).at(0).value<TSelectionTotals>(), expected);
        QCOMPARE(counter.Totals(), expected);
        QVERIFY(!counter.Counting());

        counter.Start(TSelectionLists({"C:\\Big\\"}, {}));
        counter.Stop();
        QVERIFY(!counter.Counting());
        QTRY_COMPARE(LiveCounts(counter), 0);
        QCOMPARE(counted.size(), 1);
    }

    void destroyedWhileCounting()
    {
        auto counter = std::make_unique<TSelectionSizeCounter>();
        counter->Start(TSelectionLists({"C:\\Big\\"}, {}));
        counter->Start(TSelectionLists({"C:\\Big\\d1\\"}, {}));
        counter.reset(); // stops and waits for both, or the process aborts
    }

    // A count reuses an include folder's totals only while the exclude
    // entries below it are the same.
    void laterCountsFollowTheLists_data()
    {
        QTest::addColumn<QStringList>("exclude");
        QTest::newRow("the same lists") << QStringList{"C:\\Data\\Tmp\\"};
        QTest::newRow("another exclude entry below") << QStringList{"C:\\Data\\Sub\\"};
        QTest::newRow("the exclude entry moved to the other folder") << QStringList{"C:\\Other\\g.txt"};
    }
    void laterCountsFollowTheLists()
    {
        QFETCH(QStringList, exclude);
        TSelectionSizeCounter counter;
        QSignalSpy counted(&counter, &TSelectionSizeCounter::Counted);
        counter.Start(TSelectionLists({"C:\\Data\\", "C:\\Other\\"}, {"C:\\Data\\Tmp\\"}));
        QTRY_COMPARE(counted.size(), 1);
        const TSelectionLists next({"C:\\Data\\", "C:\\Other\\"}, exclude);
        counter.Start(next);
        QTRY_COMPARE(counted.size(), 2);
        QCOMPARE(counter.Totals(), CountSelection(next));
    }

    void forgetCountsWalksAgain()
    {
        TSelectionSizeCounter counter;
        QSignalSpy counted(&counter, &TSelectionSizeCounter::Counted);
        const TSelectionLists lists({"C:\\Other\\"}, {});
        counter.Start(lists);
        QTRY_COMPARE(counted.size(), 1);
        test::PutNative(FDrives->Native('C', "Other/new.txt"), QByteArray(5, 'n'));
        counter.ForgetCounts();
        counter.Start(lists);
        QTRY_COMPARE(counted.size(), 2);
        QVERIFY(QFile::remove(FDrives->Native('C', "Other/new.txt")));
        QCOMPARE(counter.Totals(), (TSelectionTotals{85, 2, 0}));
    }
};

QTEST_GUILESS_MAIN(TestSelectionSize)
#include "tst_selectionsize.moc"
