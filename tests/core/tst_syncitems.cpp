#include "base/Exceptions.h"
#include "model/SyncItems.h"

#include <QtTest>

using namespace trovalo;

class TestSyncItems : public QObject
{
    Q_OBJECT

private slots:
    void pairNormalisation_data();
    void pairNormalisation();
    void sortIgnoresCaseAndKeepsTies_data();
    void sortIgnoresCaseAndKeepsTies();
    void listOwnsAndFindsItsPairs();
};

void TestSyncItems::pairNormalisation_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<QString>("folderA");
    QTest::addColumn<QString>("folderB");

    QTest::newRow("drive root") << "<Root>"
                                << "C:\\Data" << true << "\\"
                                << "C:\\Data\\";
    QTest::newRow("backslash added once") << "Docs\\"
                                          << "C:\\Data\\" << true << "Docs\\"
                                          << "C:\\Data\\";
    QTest::newRow("both missing") << "Docs\\Work"
                                  << "D:\\Work" << true << "Docs\\Work\\"
                                  << "D:\\Work\\";
    QTest::newRow("share on side B") << "Team"
                                     << "\\\\srv\\team" << true << "Team\\"
                                     << "\\\\srv\\team\\";
    QTest::newRow("file pair untouched") << "notes.txt"
                                         << "C:\\notes.txt" << false << "notes.txt"
                                         << "C:\\notes.txt";
    QTest::newRow("file pair keeps the root marker") << "<Root>"
                                                     << "C:\\x" << false << "<Root>"
                                                     << "C:\\x";
}

void TestSyncItems::pairNormalisation()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, isFolder);
    QFETCH(QString, folderA);
    QFETCH(QString, folderB);
    TSyncItems items;
    const TSyncItem *item = items.Add(a, b, isFolder);
    QCOMPARE(item->FolderA(), folderA);
    QCOMPARE(item->FolderB(), folderB);
}

void TestSyncItems::sortIgnoresCaseAndKeepsTies_data()
{
    // Each entry is "FolderB=tag"; the result lists the tags in sorted order.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("order");
    QTest::newRow("case ignored") << QStringList{"c:\\b\\=1", "C:\\A\\=2", "c:\\c\\=3"} << "213";
    QTest::newRow("ties keep their order")
        << QStringList{"C:\\X\\=1", "c:\\a\\=2", "c:\\x\\=3", "C:\\A\\=4"} << "2413";
    QTest::newRow("prefix sorts first") << QStringList{"C:\\Data\\Sub\\=1", "C:\\Data\\=2"} << "21";
    QTest::newRow("already sorted") << QStringList{"A=1", "b=2", "C=3"} << "123";
    // Long enough that a sort which is not stable shows it.
    QStringList many;
    QString manyOrder[2];
    for (int i = 0; i < 24; ++i) {
        const QChar tag(u'a' + i);
        many << QStringLiteral("%1=%2").arg(i % 2 ? (i % 3 ? "b" : "B") : (i % 3 ? "a" : "A")).arg(tag);
        manyOrder[i % 2] += tag;
    }
    QTest::newRow("24 ties in two groups") << many << manyOrder[0] + manyOrder[1];
}

void TestSyncItems::sortIgnoresCaseAndKeepsTies()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, order);
    TSyncItems items;
    for (const QString &entry : entries)
        items.Add(entry.section(QLatin1Char('='), 1), entry.section(QLatin1Char('='), 0, 0), false);
    items.Sort();
    QString tags;
    for (int i = 0; i < items.Count(); ++i)
        tags += items[i]->FolderA();
    QCOMPARE(tags, order);
}

void TestSyncItems::listOwnsAndFindsItsPairs()
{
    TSyncItems items;
    TSyncItem *first = items.Add(QStringLiteral("a"), QStringLiteral("C:\\a"), true);
    TSyncItem *empty = items.Add();
    QCOMPARE(empty->FolderA(), QString());
    auto owned = std::make_unique<TSyncItem>(QStringLiteral("<Root>"), QStringLiteral("D:\\"), true);
    TSyncItem *inserted = owned.get();
    items.Insert(1, std::move(owned));
    QCOMPARE(items.Add(std::make_unique<TSyncItem>()), 3);

    QCOMPARE(items.IndexOf(first), 0);
    QCOMPARE(items.IndexOf(inserted), 1);
    QCOMPARE(items.IndexOf(empty), 2);
    QCOMPARE(items.Remove(inserted), 1);
    QCOMPARE(items.IndexOf(empty), 1);
    const TSyncItem outsider;
    QCOMPARE(items.Remove(&outsider), -1);
    QCOMPARE(items.Count(), 3);
    QVERIFY_THROWS_EXCEPTION(ECollectonException, items.Item(3));
    QVERIFY_THROWS_EXCEPTION(ECollectonException, items.Insert(5, std::make_unique<TSyncItem>()));
    QCOMPARE(items.Count(), 3);
}

QTEST_GUILESS_MAIN(TestSyncItems)
#include "tst_syncitems.moc"
