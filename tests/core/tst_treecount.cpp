#include "TestDrives.h"

#include "engine/TreeCount.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <atomic>

#include <unistd.h>

using namespace trovalo;

namespace {

void PutFile(const QString &native, qsizetype size)
{
    QVERIFY(QDir().mkpath(QFileInfo(native).path()));
    QFile file(native);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
}

} // namespace

// The count lists a tree on two threads; what it finds must be what one
// thread walking the tree would find, whichever thread lists which folder.
class TestTreeCount : public QObject
{
    Q_OBJECT

private slots:
    void countsAndListsEveryFolderOnce_data()
    {
        QTest::addColumn<int>("folders");
        QTest::addColumn<bool>("excludeOne");
        QTest::newRow("one folder") << 1 << false;
        QTest::newRow("many folders") << 300 << false;
        QTest::newRow("many folders, one excluded") << 300 << true;
    }
    void countsAndListsEveryFolderOnce()
    {
        QFETCH(int, folders);
        QFETCH(bool, excludeOne);
        test::TTestDrives drives({{'C', QString()}});
        // Folder k holds k % 3 files of 10 bytes, below folder k / 4 (a
        // tree several levels deep), and folder 1 a link to a folder, a
        // broken link and the excluded folder.
        QStringList paths{QStringLiteral("T")};
        for (int k = 1; k < folders; ++k)
            paths << paths.at(k / 4) + QStringLiteral("/f%1").arg(k);
        for (int k = 0; k < folders; ++k) {
            QVERIFY(QDir().mkpath(drives.Native('C', paths.at(k))));
            for (int n = 0; n < k % 3; ++n)
                PutFile(drives.Native('C', paths.at(k) + QStringLiteral("/file%1.txt").arg(n)), 10);
        }
        const QString extra = paths.value(1, paths.at(0));
        QVERIFY(::symlink(qPrintable(drives.Native('C', paths.at(0))),
                          qPrintable(drives.Native('C', extra + QStringLiteral("/link")))) == 0);
        QVERIFY(::symlink("/nowhere/at/all",
                          qPrintable(drives.Native('C', extra + QStringLiteral("/broken")))) == 0);
        PutFile(drives.Native('C', extra + QStringLiteral("/skip/inside.txt")), 1000);
        const QString skipped =
            QStringLiteral("C:\\") + QString(extra).replace('/', '\\') + QStringLiteral("\\skip\\");

        std::atomic<int> excludedAsked{0};
        TTreeCount count(
            [&](const QString &folder) {
                ++excludedAsked;
                return excludeOne && folder == skipped;
            },
            [] { return false; });
        QStringList listedHere;
        count.Run(QStringLiteral("C:\\T\\"), [&](const QString &folder) { listedHere << folder; });
        QHash<QString, std::vector<TFolderEntry>> listings;
        count.TakeListings(listings);

        qint64 files = 0;
        for (int k = 0; k < folders; ++k)
            files += k % 3;
        // Items: files, folders entered (all but the root), the two links;
        // the skip folder and its file unless excluded.
        const qint64 items = files + (folders - 1) + 2 + (excludeOne ? 0 : 2);
        QCOMPARE(count.Items(), items);
        QCOMPARE(count.Bytes(), files * 10 + (excludeOne ? 0 : 1000));
        QCOMPARE(listings.size(), qsizetype(folders + (excludeOne ? 0 : 1)));
        QVERIFY(listings.contains(QStringLiteral("C:\\T\\")));
        QVERIFY(!listings.contains(QStringLiteral("C:\\") + QString(extra).replace('/', '\\') +
                                   QStringLiteral("\\link\\")));
        QCOMPARE(listings.contains(skipped), !excludeOne);
        QCOMPARE(excludedAsked.load(), folders); // every folder met, the root not
        QVERIFY(!listedHere.isEmpty());
    }

    // A stop leaves no folder half counted among the listings.
    void stopKeepsNoHalfListing()
    {
        test::TTestDrives drives({{'C', QString()}});
        for (int k = 0; k < 50; ++k)
            PutFile(drives.Native('C', QStringLiteral("T/f%1/a.txt").arg(k)), 1);
        std::atomic<int> asked{0};
        TTreeCount count([](const QString &) { return false; }, [&] { return ++asked > 20; });
        count.Run(QStringLiteral("C:\\T\\"), [](const QString &) {});
        QHash<QString, std::vector<TFolderEntry>> listings;
        count.TakeListings(listings);
        QVERIFY(listings.size() < 51);
        for (auto it = listings.cbegin(); it != listings.cend(); ++it)
            QCOMPARE(it.value().size(), std::size_t(it.key() == QLatin1String("C:\\T\\") ? 50 : 1));
    }
};

QTEST_GUILESS_MAIN(TestTreeCount)
#include "tst_treecount.moc"
