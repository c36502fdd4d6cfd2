#include "TestDrives.h"
#include "TestFiles.h"

#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QStorageInfo>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace trovalo;
using trovalo::test::ReadOrMissing;
using trovalo::test::WriteFile;

namespace {

QStringList Listing(const QString &native)
{
    return QDir(native).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Sets a file's modification time to a local date and time.
bool SetModified(const QString &native, const QDateTime &local)
{
    const qint64 ms = local.toMSecsSinceEpoch();
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(std::floor(ms / 1000.0)),
                                       static_cast<long>(((ms % 1000) + 1000) % 1000) * 1000000L}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(native).constData(), times, 0) == 0;
}

} // namespace

class TestFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void exists_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("folder");
        QTest::newRow("file") << "E:\\Docs\\a.txt" << true << false;
        QTest::newRow("folder") << "E:\\Docs" << false << true;
        QTest::newRow("folder form") << "E:\\Docs\\" << false << true;
        QTest::newRow("file in folder form") << "E:\\Docs\\a.txt\\" << false << false;
        QTest::newRow("missing") << "E:\\Docs\\b.txt" << false << false;
        QTest::newRow("climbing out to a real folder") << "E:\\..\\c" << false << false;
    }
    void exists()
    {
        QFETCH(QString, path);
        QFETCH(bool, file);
        QFETCH(bool, folder);
        test::TTestDrives drives;
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Docs"))));
        WriteFile(drives.Native('E', QStringLiteral("Docs/a.txt")), "x");
        QCOMPARE(FileExists(path), file);
        QCOMPARE(DirectoryExists(path), folder);
        QCOMPARE(PathExists(path), file || folder);
    }

    void forceFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("native"); // the folder that must exist afterwards; "" for none
        QTest::addColumn<bool>("result");
        QTest::newRow("nested") << "E:\\a\\b\\c"
                                << "E|a/b/c" << true;
        QTest::newRow("existing") << "E:\\Docs"
                                  << "E|Docs" << true;
        QTest::newRow("forward slashes") << "E:/fwd/sub"
                                         << "E|fwd/sub" << true;
        QTest::newRow("trailing backslash") << "E:\\new\\sub\\"
                                            << "E|new/sub" << true;
        QTest::newRow("without drive part") << "Data\\Sub"
                                            << "C|Data/Sub" << true;
        QTest::newRow("root") << "E:\\"
                              << "E|" << true;
        QTest::newRow("a file in the way") << "E:\\Docs\\a.txt\\x"
                                           << "" << false;
        QTest::newRow("climbing out") << "E:\\..\\escape"
                                      << "" << false;
        QTest::newRow("unknown drive") << "F:\\x"
                                       << "" << false;
    }
    void forceFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, native);
        QFETCH(bool, result);
        test::TTestDrives drives;
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Docs"))));
        WriteFile(drives.Native('E', QStringLiteral("Docs/a.txt")), "x");
        const QStringList before = Listing(drives.Base());
        QCOMPARE(ForceFolder(path), result);
        if (!native.isEmpty())
            QVERIFY(QFileInfo(drives.Native(native.at(0), native.mid(2))).isDir());
        else
            QCOMPARE(Listing(drives.Base()), before);
        QVERIFY(!QFileInfo::exists(drives.Native('E', QStringLiteral("Docs/a.txt/x"))));
    }

    void dosPrecision_data()
    {
        QTest::addColumn<TDateTime>("value");
        QTest::addColumn<TDateTime>("reduced");
        const auto at = [](int y, int mo, int d, int h, int mi, int s, int ms) {
            return EncodeDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
        };
        QTest::newRow("odd second with ms") << at(2014, 7, 10, 12, 0, 3, 750) << at(2014, 7, 10, 12, 0, 2, 0);
        QTest::newRow("even second") << at(2014, 7, 10, 12, 0, 4, 0) << at(2014, 7, 10, 12, 0, 4, 0);
        QTest::newRow("end of day") << at(2014, 7, 10, 23, 59, 59, 999) << at(2014, 7, 10, 23, 59, 58, 0);
        QTest::newRow("before 1899-12-30") << at(1899, 12, 29, 6, 0, 1, 500) << -1.25;
        QTest::newRow("never") << 0.0 << 0.0;
        QTest::newRow("rounding noise") << 41830.5 - 1e-11 << 41830.5;
    }
    void dosPrecision()
    {
        QFETCH(TDateTime, value);
        QFETCH(TDateTime, reduced);
        QCOMPARE(ToDosPrecision(value), reduced);
    }

    void fileDate_data()
    {
        QTest::addColumn<QDateTime>("modified");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("odd second") << QDateTime(QDate(2014, 7, 10), QTime(12, 0, 3, 750))
                                    << QDateTime(QDate(2014, 7, 10), QTime(12, 0, 2));
        QTest::newRow("1980") << QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1))
                              << QDateTime(QDate(1980, 1, 1), QTime(0, 0, 0));
    }
    void fileDate()
    {
        QFETCH(QDateTime, modified);
        QFETCH(QDateTime, expected);
        test::TTestDrives drives;
        const QString native = drives.Native('E', QStringLiteral("f.txt"));
        WriteFile(native, "x");
        QVERIFY(SetModified(native, modified));
        QCOMPARE(FileDate(QStringLiteral("E:\\f.txt")), std::optional<TDateTime>(DateTimeFromQt(expected)));
        QVERIFY(!FileDate(QStringLiteral("E:\\missing.txt")));
    }

    void fileDateBeforeEpochUsesCreationTime()
    {
        test::TTestDrives drives;
        const QString native = drives.Native('E', QStringLiteral("old.txt"));
        WriteFile(native, "x");
        const QDateTime ancient(QDate(1850, 6, 1), QTime(12, 0));
        QVERIFY(SetModified(native, ancient));
        if (QFileInfo(native).lastModified().date().year() != 1850 ||
            !QFileInfo(native).birthTime().isValid())
            QSKIP("this file system keeps no such modification time or no creation time");
        const TDateTime created = DateTimeFromQt(QFileInfo(native).birthTime());
        const std::optional<TDateTime> date = FileDate(QStringLiteral("E:\\old.txt"));
        QVERIFY(date);
        QCOMPARE(*date, ToDosPrecision(created));
    }

    void diskSpace()
    {
        test::TTestDrives drives;
        const std::optional<TDiskSpace> space = DiskSpace(QStringLiteral("E:\\"));
        QVERIFY(space);
        const QStorageInfo storage(drives.NativeRoot('E'));
        QCOMPARE(space->Total, storage.bytesTotal());
        QVERIFY(space->Free > 0 && space->Free <= space->Total);
        // A folder still to be made is measured by its drive.
        QCOMPARE(DiskSpace(QStringLiteral("E:\\not\\yet\\made\\"))->Total, space->Total);
        QVERIFY(!DiskSpace(QStringLiteral("F:\\")));
        // A drive whose folder is gone has no space, not its parent's.
        QVERIFY(QDir(drives.NativeRoot('E')).removeRecursively());
        QVERIFY(!DiskSpace(QStringLiteral("E:\\x")));
    }

    void copyNoReplace_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("listing"); // of E:\Out afterwards
        QTest::newRow("new file") << "C:\\src.bin"
                                  << "E:\\Out\\copy.bin" << true
                                  << QStringList{"copy.bin", "existing.bin", "link"};
        QTest::newRow("target exists")
            << "C:\\src.bin"
            << "E:\\Out\\existing.bin" << false << QStringList{"existing.bin", "link"};
        QTest::newRow("target is a dangling link")
            << "C:\\src.bin"
            << "E:\\Out\\link" << false << QStringList{"existing.bin", "link"};
        QTest::newRow("source missing")
            << "C:\\none.bin"
            << "E:\\Out\\copy.bin" << false << QStringList{"existing.bin", "link"};
        QTest::newRow("source is a folder")
            << "C:\\"
            << "E:\\Out\\copy.bin" << false << QStringList{"existing.bin", "link"};
        QTest::newRow("target folder missing")
            << "C:\\src.bin"
            << "E:\\None\\copy.bin" << false << QStringList{"existing.bin", "link"};
        QTest::newRow("climbing out")
            << "C:\\src.bin"
            << "E:\\Out\\..\\..\\c\\x.bin" << false << QStringList{"existing.bin", "link"};
    }
    void copyNoReplace()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, result);
        QFETCH(QStringList, listing);
        test::TTestDrives drives;
        QByteArray content(3 << 20, 'a'); // more than one buffer
        content.append("end");
        WriteFile(drives.Native('C', QStringLiteral("src.bin")), content);
        QVERIFY(SetModified(drives.Native('C', QStringLiteral("src.bin")),
                            QDateTime(QDate(2014, 7, 10), QTime(12, 0, 4))));
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Out"))));
        WriteFile(drives.Native('E', QStringLiteral("Out/existing.bin")), "keep me");
        QVERIFY(QFile::link(QStringLiteral("/nonexistent-trovalo"),
                            drives.Native('E', QStringLiteral("Out/link"))));

        QCOMPARE(CopyFileNoReplace(from, to), result);
        QCOMPARE(Listing(drives.Native('E', QStringLiteral("Out"))), listing);
        QCOMPARE(ReadOrMissing(drives.Native('E', QStringLiteral("Out/existing.bin"))),
                 QByteArray("keep me"));
        if (result) {
            QCOMPARE(ReadOrMissing(NativePath(to)), content);
            QCOMPARE(FileDate(to), FileDate(from));
        }
    }

    void failedReadLeavesNothing()
    {
        // Reading this process's memory file from offset 0 fails with EIO
        // after the target's temporary file exists.
        QTemporaryDir dir;
        const QByteArray old = qgetenv("TROVALO_DRIVES");
        qputenv("TROVALO_DRIVES", QStringLiteral("P=/proc/self;E=%1").arg(dir.path()).toUtf8());
        TDriveTable::Instance().Refresh();
        const bool copied = CopyFileNoReplace(QStringLiteral("P:\\mem"), QStringLiteral("E:\\mem.bin"));
        const QStringList left = Listing(dir.path());
        qputenv("TROVALO_DRIVES", old);
        if (old.isEmpty())
            qunsetenv("TROVALO_DRIVES");
        TDriveTable::Instance().Refresh();
        QVERIFY(!copied);
        QCOMPARE(left, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
