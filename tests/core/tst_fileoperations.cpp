#include "TestDrives.h"
#include "TestFiles.h"

#include "platform/DriveTable.h"
#include "platform/FileOperations.h"

#include <QtTest>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

using namespace trovalo;
using trovalo::test::ReadOrMissing;
using trovalo::test::WriteFile;

namespace {

const QByteArray Missing("<missing>");

// Every entry of a native folder, hidden ones (temporary files) included.
QStringList Listing(const QString &native)
{
    return QDir(native).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A recognisable content of the given size.
QByteArray Pattern(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
    return data;
}

struct stat StatOf(const QString &native)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(native).constData(), &info) != 0)
        info.st_mode = 0;
    return info;
}

// Gives the source a modification time with nanoseconds and odd permissions.
void PrepareSource(const QString &native, const QByteArray &content)
{
    WriteFile(native, content);
    const struct timespec times[2] = {{1404993604, 0}, {1404993604, 123456789}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(native).constData(), times, 0) == 0);
    QVERIFY(::chmod(QFile::encodeName(native).constData(), 0640) == 0);
}

// Removes the fault hook whatever way a test ends.
struct TFaultHookGuard
{
    ~TFaultHookGuard() { SetCopyFaultHookForTests({}); }
};

} // namespace

Q_DECLARE_METATYPE(TCopyMode)

class TestFileOperations : public QObject
{
    Q_OBJECT

private slots:
    void copy_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<TCopyMode>("mode");
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("chunks");
        const qint64 mib = qint64(1) << 20;
        const auto fail = TCopyMode::FailIfExists;
        QTest::newRow("empty") << qint64(0) << fail << Missing << 0 << 0;
        QTest::newRow("small") << qint64(10) << fail << Missing << 0 << 1;
        QTest::newRow("exactly two chunks") << 2 * mib << fail << Missing << 0 << 2;
        QTest::newRow("three MiB and a bit") << 3 * mib + 3 << fail << Missing << 0 << 4;
        QTest::newRow("fail if exists keeps the target")
            << qint64(10) << fail << QByteArray("old") << EEXIST << 0;
        QTest::newRow("fail if exists keeps an empty target")
            << qint64(10) << fail << QByteArray() << EEXIST << 0;
        // Taken after it was seen free: the copy is written, then refused.
        QTest::newRow("name seen free but taken keeps the target")
            << qint64(10) << TCopyMode::NameSeenFree << QByteArray("old") << EEXIST << 1;
        QTest::newRow("name seen free") << qint64(10) << TCopyMode::NameSeenFree << Missing << 0 << 1;
        QTest::newRow("replace") << 3 * mib << TCopyMode::Replace << QByteArray("old") << 0 << 3;
        QTest::newRow("replace with empty") << qint64(0) << TCopyMode::Replace << QByteArray("old") << 0 << 0;
        QTest::newRow("replace, no target") << qint64(5) << TCopyMode::Replace << Missing << 0 << 1;
    }
    void copy()
    {
        QFETCH(qint64, size);
        QFETCH(TCopyMode, mode);
        QFETCH(QByteArray, old);
        QFETCH(int, error);
        QFETCH(int, chunks);
        test::TTestDrives drives;
        const QByteArray content = Pattern(size);
        PrepareSource(drives.Native('C', QStringLiteral("src.bin")), content);
        const QString out = drives.Native('E', QStringLiteral("Out"));
        QVERIFY(QDir().mkpath(out));
        if (old != Missing)
            WriteFile(out + QStringLiteral("/t.bin"), old);

        QList<TCopyProgress> reports;
        const TFileOpResult result =
            CopyFileChunked(QStringLiteral("C:\\src.bin"), QStringLiteral("E:\\Out\\t.bin"), mode,
                            [&](const TCopyProgress &progress) {
                                reports.append(progress);
                                return true;
                            });
        QCOMPARE(result.Ok, error == 0);
        QCOMPARE(result.Errno, error);
        QVERIFY(!result.Cancelled);
        QCOMPARE(Listing(out), QStringList{"t.bin"});
        QCOMPARE(reports.size(), chunks);
        if (error != 0) {
            QCOMPARE(result.Message, QString::fromLocal8Bit(std::strerror(error)));
            QCOMPARE(ReadOrMissing(out + QStringLiteral("/t.bin")), old);
            return;
        }
        QCOMPARE(ReadOrMissing(out + QStringLiteral("/t.bin")), content);
        for (int i = 0; i < reports.size(); ++i) {
            QCOMPARE(reports[i].Total, size);
            QCOMPARE(reports[i].Done, std::min(size, (i + 1) * CopyChunkSize));
        }
        const struct stat copied = StatOf(out + QStringLiteral("/t.bin"));
        QCOMPARE(copied.st_mtim.tv_sec, time_t(1404993604));
        QCOMPARE(copied.st_mtim.tv_nsec, 123456789L);
        QCOMPARE(copied.st_mode & 0777, mode_t(0640));
    }

    // Cancelled or failed copies: no temporary file, the old target as it was.
    void interrupted_data()
    {
        QTest::addColumn<TCopyMode>("mode");
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<int>("cancelAfter"); // progress report that answers "stop", -1 none
        QTest::addColumn<int>("faultChunk");  // chunk failing with faultErrno, -1 none
        QTest::addColumn<int>("faultErrno");
        const auto replace = TCopyMode::Replace;
        const QByteArray old("old target");
        QTest::newRow("cancel after the first chunk") << replace << old << 1 << -1 << 0;
        QTest::newRow("cancel after the last chunk") << replace << old << 4 << -1 << 0;
        QTest::newRow("cancel a new file") << TCopyMode::FailIfExists << Missing << 2 << -1 << 0;
        QTest::newRow("disk full in the middle") << replace << old << -1 << 1 << ENOSPC;
        QTest::newRow("disk full at once, new file")
            << TCopyMode::FailIfExists << Missing << -1 << 0 << ENOSPC;
        QTest::newRow("I/O error in the last chunk") << replace << old << -1 << 3 << EIO;
    }
    void interrupted()
    {
        QFETCH(TCopyMode, mode);
        QFETCH(QByteArray, old);
        QFETCH(int, cancelAfter);
        QFETCH(int, faultChunk);
        QFETCH(int, faultErrno);
        test::TTestDrives drives;
        TFaultHookGuard guard;
        PrepareSource(drives.Native('C', QStringLiteral("src.bin")), Pattern(3 * CopyChunkSize + 100));
        const QString out = drives.Native('E', QStringLiteral("Out"));
        QVERIFY(QDir().mkpath(out));
        if (old != Missing)
            WriteFile(out + QStringLiteral("/t.bin"), old);
        SetCopyFaultHookForTests([&](const QString &, const QString &, int chunk) {
            return chunk == faultChunk ? faultErrno : 0;
        });

        int reports = 0;
        const TFileOpResult result =
            CopyFileChunked(QStringLiteral("C:\\src.bin"), QStringLiteral("E:\\Out\\t.bin"), mode,
                            [&](const TCopyProgress &) { return ++reports != cancelAfter; });
        QVERIFY(!result.Ok);
        QCOMPARE(result.Cancelled, cancelAfter > 0);
        QCOMPARE(result.Errno, cancelAfter > 0 ? ECANCELED : faultErrno);
        QCOMPARE(result.Message, QString::fromLocal8Bit(std::strerror(result.Errno)));
        QCOMPARE(reports, cancelAfter > 0 ? cancelAfter : faultChunk);
        QCOMPARE(Listing(out), old == Missing ? QStringList() : QStringList{"t.bin"});
        QCOMPARE(ReadOrMissing(out + QStringLiteral("/t.bin")), old);
    }

    // A file created under the target's name while the copy is written:
    // a new-file copy keeps it, a replacing copy replaces it whole.
    void nameTakenDuringCopy_data()
    {
        QTest::addColumn<TCopyMode>("mode");
        QTest::addColumn<bool>("copied");
        QTest::newRow("new file only: the other file stays") << TCopyMode::FailIfExists << false;
        QTest::newRow("replace: the copy takes the name") << TCopyMode::Replace << true;
    }
    void nameTakenDuringCopy()
    {
        QFETCH(TCopyMode, mode);
        QFETCH(bool, copied);
        test::TTestDrives drives;
        TFaultHookGuard guard;
        const QByteArray content = Pattern(3 * CopyChunkSize + 100);
        PrepareSource(drives.Native('C', QStringLiteral("src.bin")), content);
        const QString out = drives.Native('E', QStringLiteral("Out"));
        QVERIFY(QDir().mkpath(out));
        bool created = false;
        SetCopyFaultHookForTests([&](const QString &, const QString &, int chunk) {
            if (chunk == 1 && !created) {
                created = true;
                WriteFile(out + QStringLiteral("/t.bin"), "other");
            }
            return 0;
        });
        const TFileOpResult result =
            CopyFileChunked(QStringLiteral("C:\\src.bin"), QStringLiteral("E:\\Out\\t.bin"), mode);
        QCOMPARE(result.Ok, copied);
        if (!copied)
            QCOMPARE(result.Errno, EEXIST);
        QCOMPARE(Listing(out), QStringList{"t.bin"});
        QCOMPARE(ReadOrMissing(out + QStringLiteral("/t.bin")), copied ? content : QByteArray("other"));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("error");
        QTest::newRow("source missing") << "C:\\none.bin"
                                        << "E:\\Out\\t.bin" << ENOENT;
        QTest::newRow("source is a folder") << "C:\\Folder"
                                            << "E:\\Out\\t.bin" << EISDIR;
        QTest::newRow("target folder missing") << "C:\\src.bin"
                                               << "E:\\None\\t.bin" << ENOENT;
        QTest::newRow("target is a folder") << "C:\\src.bin"
                                            << "E:\\Out\\Sub" << EISDIR;
        QTest::newRow("target in folder form") << "C:\\src.bin"
                                               << "E:\\Out\\t.bin\\" << EISDIR;
        QTest::newRow("drive unknown") << "Q:\\src.bin"
                                       << "E:\\Out\\t.bin" << ENOENT;
        QTest::newRow("climbing out") << "C:\\src.bin"
                                      << "E:\\Out\\..\\..\\x.bin" << ENOENT;
    }
    void refused()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, error);
        test::TTestDrives drives;
        WriteFile(drives.Native('C', QStringLiteral("src.bin")), "data");
        QVERIFY(QDir().mkpath(drives.Native('C', QStringLiteral("Folder"))));
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Out/Sub"))));
        for (const TCopyMode mode : {TCopyMode::FailIfExists, TCopyMode::Replace}) {
            const TFileOpResult result = CopyFileChunked(from, to, mode);
            QVERIFY(!result.Ok);
            QCOMPARE(result.Errno, error);
            QVERIFY(!result.Message.isEmpty());
            QCOMPARE(Listing(drives.Native('E', QStringLiteral("Out"))), QStringList{"Sub"});
            QCOMPARE(Listing(drives.Native('E', QStringLiteral("Out/Sub"))), QStringList());
        }
    }

    void move_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<int>("error");
        QTest::newRow("within a drive") << "E:\\Out\\moved.bin" << false << 0;
        QTest::newRow("to another drive") << "C:\\moved.bin" << false << 0;
        QTest::newRow("existing target") << "E:\\Out\\moved.bin" << true << EEXIST;
        QTest::newRow("target folder missing") << "E:\\None\\moved.bin" << false << ENOENT;
    }
    void move()
    {
        QFETCH(QString, to);
        QFETCH(bool, targetExists);
        QFETCH(int, error);
        test::TTestDrives drives;
        const QString source = drives.Native('E', QStringLiteral("a.bin"));
        PrepareSource(source, "content");
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Out"))));
        if (targetExists)
            WriteFile(drives.Native('E', QStringLiteral("Out/moved.bin")), "keep");
        const QString target = NativePath(to);

        const TFileOpResult result = MoveFile(QStringLiteral("E:\\a.bin"), to);
        QCOMPARE(result.Ok, error == 0);
        QCOMPARE(result.Errno, error);
        QCOMPARE(ReadOrMissing(source), error == 0 ? Missing : QByteArray("content"));
        QCOMPARE(ReadOrMissing(target), error == 0 ? QByteArray("content") : targetExists ? "keep" : Missing);
        if (error == 0)
            QCOMPARE(StatOf(target).st_mtim.tv_nsec, 123456789L);
    }

    // Across file systems the move is a copy and a delete; only reachable
    // where the temporary folder and /dev/shm are different file systems.
    void moveAcrossFileSystems()
    {
        QTemporaryDir shm(QStringLiteral("/dev/shm/trovalo-test-XXXXXX"));
        test::TTestDrives drives;
        if (!shm.isValid() || StatOf(shm.path()).st_dev == StatOf(drives.NativeRoot('E')).st_dev)
            QSKIP("no second file system here");
        qputenv("TROVALO_DRIVES", drives.DrivesVariable().toUtf8() + ";M=" + QFile::encodeName(shm.path()));
        TDriveTable::Instance().Refresh();
        PrepareSource(shm.path() + QStringLiteral("/a.bin"), Pattern(2 * CopyChunkSize + 1));
        int reports = 0;
        const TFileOpResult result = MoveFile(QStringLiteral("M:\\a.bin"), QStringLiteral("E:\\a.bin"),
                                              [&](const TCopyProgress &) { return ++reports > 0; });
        qputenv("TROVALO_DRIVES", drives.DrivesVariable().toUtf8());
        TDriveTable::Instance().Refresh();
        QVERIFY(result.Ok);
        QCOMPARE(reports, 3);
        QCOMPARE(Listing(shm.path()), QStringList());
        QCOMPARE(ReadOrMissing(drives.Native('E', QStringLiteral("a.bin"))), Pattern(2 * CopyChunkSize + 1));
    }

    void modificationTime_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<int>("error");
        QTest::newRow("with milliseconds") << QDateTime(QDate(2014, 7, 10), QTime(12, 0, 4, 500)) << 0;
        QTest::newRow("before 1970") << QDateTime(QDate(1965, 1, 2), QTime(3, 4, 5, 250)) << 0;
        QTest::newRow("never") << QDateTime() << EINVAL;
    }
    void modificationTime()
    {
        QFETCH(QDateTime, when);
        QFETCH(int, error);
        test::TTestDrives drives;
        const QString native = drives.Native('E', QStringLiteral("a.txt"));
        PrepareSource(native, "x");
        const TFileOpResult result =
            SetFileModificationTime(QStringLiteral("E:\\a.txt"), DateTimeFromQt(when));
        QCOMPARE(result.Errno, error);
        const struct stat info = StatOf(native);
        const qint64 ms = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
        QCOMPARE(ms, error == 0 ? when.toMSecsSinceEpoch() : qint64(1404993604123));
    }

    void remove_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("error");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("file") << "E:\\a.txt" << 0 << QStringList{"Folder"};
        QTest::newRow("missing") << "E:\\b.txt" << ENOENT << QStringList{"Folder", "a.txt"};
        QTest::newRow("folder") << "E:\\Folder" << EISDIR << QStringList{"Folder", "a.txt"};
    }
    void remove()
    {
        QFETCH(QString, path);
        QFETCH(int, error);
        QFETCH(QStringList, left);
        test::TTestDrives drives;
        WriteFile(drives.Native('E', QStringLiteral("a.txt")), "x");
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Folder"))));
        const TFileOpResult result = DeleteFileChecked(path);
        QCOMPARE(result.Ok, error == 0);
        QCOMPARE(result.Errno, error);
        QCOMPARE(Listing(drives.NativeRoot('E')), left);
    }
};

QTEST_GUILESS_MAIN(TestFileOperations)
#include "tst_fileoperations.moc"
