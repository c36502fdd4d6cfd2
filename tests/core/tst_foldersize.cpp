#include "TestDrives.h"

#include "engine/FolderSizeCollection.h"
#include "engine/FolderSizeThread.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QtTest>

using namespace trovalo;
using foldersize::TFileCollection;
using foldersize::TFileData;
using foldersize::TFolderSizeThread;

namespace {
using TLayout = QMap<QString, qint64>; // drive-relative path -> size; size -1 makes a folder

void Create(const test::TTestDrives &drives, const TLayout &layout)
{
    for (auto it = layout.cbegin(); it != layout.cend(); ++it) {
        const QString path = drives.Native('E', it.key());
        if (it.value() < 0) {
            QVERIFY(QDir().mkpath(path));
            continue;
        }
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(it.value())); // sparse: big sizes cost nothing
    }
}

// Records every change notice of a collection.
struct TChangeLog
{
    QList<qint64> Sizes;
    QList<TFileData *> Items;

    void Attach(TFileCollection &collection)
    {
        collection.SetOnItemChnage([this](TFileCollection &, TFileData &item) {
            Sizes << item.FileSize();
            Items << &item;
        });
    }
};

// A tree big enough that its walk is still running when it is interrupted.
void CreateBigTree(const test::TTestDrives &drives, const QString &folder)
{
    TLayout layout;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 25; ++j)
            layout.insert(QStringLiteral("%1/d%2/f%3").arg(folder).arg(i).arg(j), 7);
    Create(drives, layout);
}
} // namespace

class TestFolderSize : public QObject
{
    Q_OBJECT

private slots:
    void measuresItem_data()
    {
        QTest::addColumn<TLayout>("layout");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dir");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("files");
        QTest::addColumn<qint64>("folders");
        QTest::newRow("3 files of 10 bytes in 1 sub-folder")
            << TLayout{{"data/a", 10}, {"data/b", 10}, {"data/sub/c", 10}} << "data" << true << qint64(30)
            << qint64(3) << qint64(1);
        QTest::newRow("name with trailing backslash")
            << TLayout{{"data/a", 10}, {"data/sub/c", 5}} << "data\\" << true << qint64(15) << qint64(2)
            << qint64(1);
        QTest::newRow("empty folder")
            << TLayout{{"data", -1}} << "data" << true << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("nested empty folders count") << TLayout{{"data/x/y/z", -1}, {"data/x/f", 4}} << "data"
                                                    << true << qint64(4) << qint64(1) << qint64(3);
        QTest::newRow("hidden entries count") << TLayout{{"data/.h", 8}, {"data/.hd/g", 2}} << "data" << true
                                              << qint64(10) << qint64(2) << qint64(1);
        QTest::newRow("beyond 4 GiB") << TLayout{{"data/big", 5LL << 30}, {"data/s", 1}} << "data" << true
                                      << qint64((5LL << 30) + 1) << qint64(2) << qint64(0);
        QTest::newRow("a file") << TLayout{{"data/a", 1234}} << "data\\a" << false << qint64(1234)
                                << qint64(1) << qint64(-1);
        QTest::newRow("nothing by that name")
            << TLayout{{"data", -1}} << "missing" << false << qint64(-1) << qint64(-1) << qint64(-1);
    }
    void measuresItem()
    {
        QFETCH(TLayout, layout);
        QFETCH(QString, name);
        QFETCH(bool, dir);
        QFETCH(qint64, size);
        QFETCH(qint64, files);
        QFETCH(qint64, folders);
        test::TTestDrives drives;
        Create(drives, layout);
        TFileCollection collection;
        collection.SetReadFileData(true);
        collection.SetRoot(QStringLiteral("E:"));
        QCOMPARE(collection.Root(), QStringLiteral("E:\\"));
        TChangeLog log;
        log.Attach(collection);

        TFileData *item = collection.Add(name, QStringLiteral("tag"));
        QTRY_COMPARE(log.Sizes.size(), 1);
        QCOMPARE(log.Items.first(), item);
        QCOMPARE(item->Data().toString(), QStringLiteral("tag"));
        QCOMPARE(item->Dir(), dir);
        QCOMPARE(item->FileSize(), size);
        QCOMPARE(item->FileCount(), files);
        QCOMPARE(item->FolderCount(), folders);
        QVERIFY(!item->FolderSizeThread());
    }

    // Without ReadFileData an item holds its name only.
    void namesOnlyWithoutReadFileData()
    {
        test::TTestDrives drives;
        Create(drives, {{"data/a", 10}});
        TFileCollection collection;
        collection.SetRoot(QStringLiteral("E:\\"));
        TChangeLog log;
        log.Attach(collection);
        TFileData *item = collection.Add(QStringLiteral("data"));
        QTest::qWait(50);
        QCOMPARE(item->FileName(), QStringLiteral("data"));
        QVERIFY(!item->Dir());
        QCOMPARE(item->FileSize(), qint64(-1));
        QVERIFY(log.Sizes.isEmpty());
    }

    // Setting the name again stops the first walk; only the second result
    // reaches the item, once.
    void restartDropsFirstResult_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("files");
        QTest::newRow("another folder") << "small" << qint64(21) << qint64(3);
        QTest::newRow("a file") << "small\\a" << qint64(7) << qint64(1);
        QTest::newRow("the same folder again") << "big" << qint64(40 * 25 * 7) << qint64(40 * 25);
    }
    void restartDropsFirstResult()
    {
        QFETCH(QString, second);
        QFETCH(qint64, size);
        QFETCH(qint64, files);
        test::TTestDrives drives;
        CreateBigTree(drives, QStringLiteral("big"));
        Create(drives, {{"small/a", 7}, {"small/b", 7}, {"small/c", 7}});
        TFileCollection collection;
        collection.SetReadFileData(true);
        collection.SetRoot(QStringLiteral("E:\\"));
        TChangeLog log;
        log.Attach(collection);

        TFileData *item = collection.Add(QStringLiteral("big"));
        QPointer<TFolderSizeThread> first = item->FolderSizeThread();
        QVERIFY(first);
        item->SetFileName(second);
        QVERIFY(item->FolderSizeThread() != first || !first);

        QTRY_COMPARE(log.Sizes.size(), 1);
        QTRY_VERIFY(!first); // the stopped walk freed itself
        QTRY_VERIFY(!item->FolderSizeThread());
        QTest::qWait(100);
        QCOMPARE(log.Sizes, QList<qint64>{size});
        QCOMPARE(item->FileSize(), size);
        QCOMPARE(item->FileCount(), files);
    }

    // An item destroyed while its walk runs: the walk stops and frees itself,
    // and its end reaches nobody.
    void destroyedItemGetsNoNotice_data()
    {
        QTest::addColumn<bool>("wholeCollection");
        QTest::newRow("item deleted") << false;
        QTest::newRow("collection destroyed") << true;
    }
    void destroyedItemGetsNoNotice()
    {
        QFETCH(bool, wholeCollection);
        test::TTestDrives drives;
        CreateBigTree(drives, QStringLiteral("big"));
        TChangeLog log;
        auto collection = std::make_unique<TFileCollection>();
        collection->SetReadFileData(true);
        collection->SetRoot(QStringLiteral("E:\\"));
        log.Attach(*collection);
        collection->Add(QStringLiteral("big"));
        TFileData *survivor = collection->Add(QStringLiteral("big"));
        QPointer<TFolderSizeThread> walk = collection->Items(0)->FolderSizeThread();
        QVERIFY(walk);
        if (wholeCollection)
            collection.reset();
        else
            collection->Delete(0);
        QTRY_VERIFY(!walk);
        if (wholeCollection) {
            QTest::qWait(100);
            QVERIFY(log.Items.isEmpty());
        } else {
            QTRY_COMPARE(log.Items.size(), 1);
            QCOMPARE(log.Items.first(), survivor);
        }
    }

    void sizeText_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << qint64(0) << "0 Bytes";
        QTest::newRow("below 1 KB") << qint64(1023) << "1023 Bytes";
        QTest::newRow("kilobytes") << qint64(1536) << "1.5 KB";
        QTest::newRow("megabytes") << qint64(1048576) << "1 MB";
        QTest::newRow("gigabytes") << qint64(3LL << 29) << "1.5 GB";
    }
    void sizeText()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        test::TTestDrives drives;
        Create(drives, {{"f", size}});
        TFileCollection collection;
        collection.SetReadFileData(true);
        TFileData *item = collection.Add();
        QCOMPARE(item->FileSizeAsString(), QStringLiteral("File Not Found"));
        item->SetFileName(QStringLiteral("E:\\f")); // no root: a full path
        QCOMPARE(item->FileSizeAsString(),
                 QString(text).replace(QLatin1Char('.'), QLocale::system().decimalPoint()));
    }

    // Assign takes the setting first, so the items are measured in the copy.
    void assignCopiesSettingAndItems()
    {
        test::TTestDrives drives;
        CreateBigTree(drives, QStringLiteral("big"));
        Create(drives, {{"f", 5}});
        TFileCollection source;
        source.SetReadFileData(true);
        source.SetRoot(QStringLiteral("E:\\"));
        source.Add(QStringLiteral("f"));
        source.Add(QStringLiteral("big"));
        TFileCollection copy;
        copy.SetRoot(QStringLiteral("E:\\"));
        TChangeLog log;
        log.Attach(copy);
        copy.Assign(source);
        QVERIFY(copy.ReadFileData());
        QCOMPARE(copy.Count(), 2);
        QCOMPARE(copy.Items(0)->FileSize(), qint64(5));
        QTRY_COMPARE(copy.Items(1)->FileSize(), qint64(40 * 25 * 7));
        QCOMPARE(copy.Items(1)->FolderCount(), qint64(40));
    }
};

QTEST_GUILESS_MAIN(TestFolderSize)
#include "tst_foldersize.moc"
