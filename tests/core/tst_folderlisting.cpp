#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include "TestDrives.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <ctime>

#include <sys/stat.h>
#include <unistd.h>

using namespace trovalo;

namespace {
// Sets the process's time zone for one test and puts the old one back.
class TTimeZoneGuard
{
public:
    explicit TTimeZoneGuard(const QByteArray &zone)
        : FOld(qgetenv("TZ"))
        , FHad(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TTimeZoneGuard()
    {
        if (FHad)
            qputenv("TZ", FOld);
        else
            qunsetenv("TZ");
        ::tzset();
    }

private:
    QByteArray FOld;
    bool FHad;
};
} // namespace

class TestFolderListing : public QObject
{
    Q_OBJECT
private slots:
    // The walk's file date must equal the one every other part computes.
    void fileDateMatchesLocalTime_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("UTC, odd second") << QByteArray("UTC") << qint64(1625708845);
        QTest::newRow("Berlin, summer") << QByteArray("Europe/Berlin") << qint64(1625708845);
        QTest::newRow("Berlin, hour after the autumn change")
            << QByteArray("Europe/Berlin") << qint64(1635643801);
        QTest::newRow("New York, spring change") << QByteArray("America/New_York") << qint64(1615705200);
        QTest::newRow("Kathmandu, 5:45 offset") << QByteArray("Asia/Kathmandu") << qint64(1700000003);
        QTest::newRow("before 1970") << QByteArray("Europe/Berlin") << qint64(-86400 * 400 + 7);
    }
    void fileDateMatchesLocalTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, seconds);
        TTimeZoneGuard guard(zone);
        const TDateTime expected = ToDosPrecision(DateTimeFromQt(QDateTime::fromSecsSinceEpoch(seconds)));
        QCOMPARE(FileDateOfTimes(seconds), expected);
    }

    void entryKinds()
    {
        test::TTestDrives drives;
        const QString root = drives.Native('C', QStringLiteral("tree"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/sub")));
        test::WriteFile(root + QStringLiteral("/file.txt"), "12345");
        QVERIFY(QFile::link(root + QStringLiteral("/file.txt"), root + QStringLiteral("/to-file")));
        QVERIFY(QFile::link(root, root + QStringLiteral("/sub/loop")));
        QVERIFY(QFile::link(root + QStringLiteral("/gone"), root + QStringLiteral("/broken")));
        QVERIFY(::mkfifo(QFile::encodeName(root + QStringLiteral("/pipe")).constData(), 0600) == 0);

        std::vector<TFolderEntry> entries;
        QVERIFY(ListFolder(QStringLiteral("C:\\tree\\"), entries));
        QMap<QString, TFolderEntry> byName;
        for (const TFolderEntry &entry : entries)
            byName.insert(entry.Name, entry);
        QCOMPARE(byName.keys(), (QStringList{"broken", "file.txt", "pipe", "sub", "to-file"}));
        QCOMPARE(byName["file.txt"].Kind, TFolderEntry::ekFile);
        QCOMPARE(byName["file.txt"].Size, 5);
        QCOMPARE(byName["file.txt"].Date, FileDate(QStringLiteral("C:\\tree\\file.txt")).value());
        QCOMPARE(byName["to-file"].Kind, TFolderEntry::ekFile);
        QVERIFY(byName["to-file"].IsLink);
        QCOMPARE(byName["to-file"].Size, 5);
        QCOMPARE(byName["sub"].Kind, TFolderEntry::ekFolder);
        QCOMPARE(byName["broken"].Kind, TFolderEntry::ekBrokenLink);
        QCOMPARE(byName["pipe"].Kind, TFolderEntry::ekOther);

        QVERIFY(ListFolder(QStringLiteral("C:\\tree\\sub"), entries));
        QCOMPARE(entries.size(), size_t(1));
        QCOMPARE(entries.front().Kind, TFolderEntry::ekLinkToFolder);

        int error = 0;
        QVERIFY(!ListFolder(QStringLiteral("C:\\missing\\"), entries, &error));
        QCOMPARE(error, ENOENT);
    }
};

QTEST_GUILESS_MAIN(TestFolderListing)
#include "tst_folderlisting.moc"
