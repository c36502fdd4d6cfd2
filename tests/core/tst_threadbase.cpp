#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "engine/ThreadBase.h"
#include "model/FileFilter.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include <QtTest>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>

using namespace trovalo;
using trovalo::test::ReadOrMissing;
using trovalo::test::TRecordingObserver;
using trovalo::test::TTestDrives;
using trovalo::test::WriteFile;

namespace {

const QByteArray Missing("<missing>");
const QString Stamp = QStringLiteral(" 2024-03-05 14-07");

TDateTime RunStart()
{
    return EncodeDateTime(QDate(2024, 3, 5), QTime(14, 7, 31));
}

// A worker whose job is whatever the test puts in Body; it makes the
// protected operations of the base callable.
class TProbeThread : public TThreadBase
{
public:
    std::function<void(TProbeThread &)> Body;
    QStringList ExcludedFolders;
    bool Restore = false;
    TDateTime StartAt = 0;

    using TThreadBase::CopyOneFile;
    using TThreadBase::DeleteFolderTree;
    using TThreadBase::DeleteOneFile;
    using TThreadBase::GetFileSize;
    using TThreadBase::LastError;
    using TThreadBase::ProtectedPath;
    using TThreadBase::ReportStatus;
    using TThreadBase::StartClock;

    bool IsRestoreThread() const override { return Restore; }
    void PlaceStart(TDateTime value) { OverrideStartTimeForTests(value); }
    void ReportCounters(qint64 processed, qint64 count)
    {
        PbarPosition = processed;
        FileNum = count;
        ReportStatus();
    }

protected:
    void Execute() override
    {
        BaseStart();
        if (StartAt != 0)
            OverrideStartTimeForTests(StartAt);
        if (Body)
            Body(*this);
    }
    bool IsExcludedFolder(const QString &path) override
    {
        return ExcludedFolders.contains(path, Qt::CaseInsensitive);
    }
};

// Removes the test seams whatever way a test ends.
struct THookGuard
{
    ~THookGuard()
    {
        SetCopyFaultHookForTests({});
        SetDiskSpaceHookForTests({});
    }
};

void SetModified(const QString &native, qint64 secondsSinceEpoch)
{
    const struct timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(native).constData(), times, 0) == 0);
}

// Files below a native folder as "relative/path=content", links as
// "relative/path@"; links to folders are not entered.
QStringList Tree(const QString &native, const QString &prefix = QString())
{
    QStringList result;
    const QFileInfoList entries = QDir(native).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString relative = prefix + entry.fileName();
        if (entry.isSymLink())
            result << relative + QLatin1Char('@');
        else if (entry.isDir())
            result << Tree(entry.filePath(), relative + QLatin1Char('/'));
        else
            result << relative + QLatin1Char('=') + QString::fromUtf8(ReadOrMissing(entry.filePath()));
    }
    result.sort(); // code-point order, whatever the locale's collation
    return result;
}

// A program database made from the schema, as start-up makes it.
void CreateProgramDatabase(const QString &native)
{
    CreateProgramDatabaseFile(native);
}

// DeleteDataLog as "FileName|FileSize" rows, in insertion order.
QStringList DeletedRows(const QString &native)
{
    TSqliteDatabase database(native);
    TSqliteStatement &select =
        database.Prepare(QStringLiteral("SELECT FileName, FileSize FROM DeleteDataLog ORDER BY rowid"));
    QStringList rows;
    while (select.Step())
        rows << select.ColumnText(0) + QLatin1Char('|') + QString::number(select.ColumnInt64(1));
    return rows;
}

// Drives C: and E:, a deleted-files folder C:\Deleted\ and a program
// database, as a protected run finds them.
struct TProtectedSetup
{
    TTestDrives Drives;
    QString DatabaseNative = Drives.Native('C', QStringLiteral("ProgramData.zjd"));
    QString DeletedNative = Drives.Native('C', QStringLiteral("Deleted"));

    TProtectedSetup()
    {
        QDir().mkpath(DeletedNative);
        CreateProgramDatabase(DatabaseNative);
    }
    TDeletionProtection Protection(bool enabled = true) const
    {
        return {enabled, QStringLiteral("C:\\Deleted\\"), DatabaseNative};
    }
    // The protected copy of E:\Docs\<name> in the run started at RunStart.
    QString ProtectedNative(const QString &name) const
    {
        return DeletedNative + QLatin1Char('/') + Stamp + QStringLiteral("/E/Docs/") + name;
    }
};

} // namespace

class TestThreadBase : public QObject
{
    Q_OBJECT

private slots:
    void position_data()
    {
        QTest::addColumn<qint64>("processed");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<int>("position");
        QTest::newRow("nothing to count") << qint64(5) << qint64(0) << -1;
        QTest::newRow("searching") << qint64(-1) << qint64(300) << 0;
        QTest::newRow("half") << qint64(150) << qint64(300) << 50;
        QTest::newRow("half a percent down to even") << qint64(1) << qint64(200) << 0;
        QTest::newRow("one and a half up to even") << qint64(3) << qint64(200) << 2;
        QTest::newRow("two and a half down to even") << qint64(5) << qint64(200) << 2;
        QTest::newRow("rounded up") << qint64(2) << qint64(3) << 67;
        QTest::newRow("done") << qint64(300) << qint64(300) << 100;
        QTest::newRow("beyond 32 bits") << qint64(6000000000) << qint64(8000000000) << 75;
    }
    void position()
    {
        QFETCH(qint64, processed);
        QFETCH(qint64, count);
        QFETCH(int, position);
        TRecordingObserver observer;
        TProbeThread thread;
        thread.SetObserver(&observer);
        thread.ReportCounters(processed, count);
        QCOMPARE(observer.Statuses.size(), 1);
        QCOMPARE(observer.Statuses.at(0).ProgressBarPosition, position);
    }

    void speed_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("speed");
        const qint64 gib = qint64(1) << 30;
        QTest::newRow("no time passed") << "en_US" << qint64(5000) << 0.0 << "N/A";
        QTest::newRow("bytes") << "en_US" << qint64(500) << 1.0 << "500.00B/s";
        QTest::newRow("just under a KB") << "en_US" << qint64(2046) << 2.0 << "1,023.00B/s";
        QTest::newRow("one KB") << "en_US" << qint64(1024) << 1.0 << "1.00KB/s";
        QTest::newRow("1536 B/s") << "en_US" << qint64(1536) << 1.0 << "1.50KB/s";
        QTest::newRow("over two seconds") << "en_US" << qint64(3072) << 2.0 << "1.50KB/s";
        QTest::newRow("megabytes") << "en_US" << qint64(5) * 1048576 << 2.0 << "2.50MB/s";
        QTest::newRow("exactly 1 GiB/s") << "en_US" << gib << 1.0 << "1,024.00MB/s";
        QTest::newRow("above 1 GiB/s") << "en_US" << 3 * gib << 2.0 << "1.50GB/s";
        QTest::newRow("German decimal comma") << "de_DE" << qint64(1536) << 1.0 << "1,50KB/s";
        QTest::newRow("German thousands dot") << "de_DE" << qint64(2046) << 2.0 << "1.023,00B/s";
        QTest::newRow("German 1 GiB/s") << "de_DE" << gib << 1.0 << "1.024,00MB/s";
    }
    void speed()
    {
        QFETCH(QString, locale);
        QFETCH(qint64, bytes);
        QFETCH(double, seconds);
        QFETCH(QString, speed);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        TStatusReport report;
        report.BytesProcessed = bytes;
        report.ElapsedSeconds = seconds;
        const QString text = report.Speed();
        QLocale::setDefault(previous);
        QCOMPARE(text, speed);
    }

    void remainingTime_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("processed");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("days");
        QTest::newRow("nothing processed") << qint64(1000) << qint64(0) << 10.0 << -1.0;
        QTest::newRow("no time passed") << qint64(1000) << qint64(500) << 0.0 << -1.0;
        // 1000 bytes a day, 2000 bytes to go.
        QTest::newRow("two days") << qint64(3000) << qint64(1000) << 86400.0 << 2.0;
        // 1000 bytes a minute, 1000 to go: one minute.
        QTest::newRow("one minute") << qint64(2000) << qint64(1000) << 60.0 << 60.0 / 86400.0;
        QTest::newRow("all done") << qint64(1000) << qint64(1000) << 5.0 << 0.0;
        QTest::newRow("more done than announced") << qint64(1000) << qint64(1500) << 5.0 << 0.0;
    }
    void remainingTime()
    {
        QFETCH(qint64, total);
        QFETCH(qint64, processed);
        QFETCH(double, seconds);
        QFETCH(double, days);
        TStatusReport report;
        report.BytesTotal = total;
        report.BytesProcessed = processed;
        report.ElapsedSeconds = seconds;
        QVERIFY2(qAbs(report.ATR() - days) < 1e-12, qPrintable(QString::number(report.ATR(), 'g', 17)));
    }

    void elapsedTimeFollowsTheClock()
    {
        TRecordingObserver observer;
        TProbeThread thread;
        thread.SetObserver(&observer);
        thread.Body = [](TProbeThread &t) {
            t.ReportStatus(); // before the measured phase: since day 0
            t.StartClock();
            t.ReportStatus();
        };
        thread.RunSynchronously();
        QCOMPARE(observer.Statuses.size(), 2);
        // 2024 is more than 45,000 days after day 0.
        QVERIFY(observer.Statuses.at(0).ElapsedSeconds > 45000.0 * 86400);
        QVERIFY(observer.Statuses.at(1).ElapsedSeconds >= 0);
        QVERIFY(observer.Statuses.at(1).ElapsedSeconds < 60);
        QCOMPARE(observer.Statuses.at(1).ProcessedItems, qint64(0));
    }

    void runLifecycle_data()
    {
        QTest::addColumn<bool>("stopFirst");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("plain run") << false << false << QString() << QString();
        QTest::newRow("stopped before the start") << true << false << "Canceled :(" << QString();
        QTest::newRow("uncaught failure")
            << false << true << QString() << "Thread Error : Class = TThreadBase : disk on fire";
    }
    void runLifecycle()
    {
        QFETCH(bool, stopFirst);
        QFETCH(bool, throws);
        QFETCH(QString, status);
        QFETCH(QString, error);
        const int before = TThreadBase::LiveWorkerCount();
        {
            TRecordingObserver observer;
            TProbeThread thread;
            QCOMPARE(TThreadBase::LiveWorkerCount(), before + 1);
            thread.SetObserver(&observer);
            if (stopFirst)
                thread.RequestStop();
            bool ran = false;
            thread.Body = [&](TProbeThread &) {
                ran = true;
                if (throws)
                    throw std::runtime_error("disk on fire");
            };
            thread.RunSynchronously();
            QVERIFY(ran);
            QVERIFY(observer.Finished);
            QCOMPARE(observer.LastStatus(), status);
            QCOMPARE(observer.Errors.isEmpty() ? QString() : observer.Errors.at(0).Message, error);
            if (!error.isEmpty())
                QCOMPARE(observer.Errors.at(0).Code, -1);
            QVERIFY(qAbs(thread.StartTime() - DateTimeNow()) < 60.0 / 86400);
        }
        // The panel lowers the count when it handles the end, not the worker.
        QCOMPARE(TThreadBase::LiveWorkerCount(), before + 1);
        TThreadBase::ReleaseLiveWorker();
        QCOMPARE(TThreadBase::LiveWorkerCount(), before);
    }

    void freesItselfOnItsOwnThread()
    {
        TRecordingObserver observer;
        auto *thread = new TProbeThread;
        QPointer<TProbeThread> alive(thread);
        Qt::HANDLE workerThread = nullptr;
        thread->Body = [&workerThread](TProbeThread &) { workerThread = QThread::currentThreadId(); };
        thread->SetObserver(&observer);
        thread->SetFreeOnTerminate(true);
        thread->start();
        QTRY_VERIFY(alive.isNull());
        QVERIFY(observer.Finished);
        QVERIFY(workerThread != nullptr);
        QVERIFY(workerThread != QThread::currentThreadId());
        TThreadBase::ReleaseLiveWorker();
    }

    void protectedPath_data()
    {
        QTest::addColumn<QString>("deletedFolder");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("path");
        QTest::newRow("drive path") << "C:\\Deleted\\"
                                    << "E:\\Docs\\a.txt"
                                    << "C:\\Deleted\\ 2024-03-05 14-07\\E\\Docs\\a.txt";
        QTest::newRow("network path") << "C:\\Deleted\\"
                                      << "\\\\srv\\share\\a.txt"
                                      << "C:\\Deleted\\ 2024-03-05 14-07\\__srv\\share\\a.txt";
        QTest::newRow("folder without its backslash") << "C:\\Deleted"
                                                      << "E:\\a.txt"
                                                      << "C:\\Deleted\\ 2024-03-05 14-07\\E\\a.txt";
    }
    void protectedPath()
    {
        QFETCH(QString, deletedFolder);
        QFETCH(QString, file);
        QFETCH(QString, path);
        TProbeThread thread;
        thread.SetDeletionProtection({true, deletedFolder, QString()});
        thread.PlaceStart(RunStart());
        QCOMPARE(thread.ProtectedPath(file), path);
    }

    void copyFailIfExists_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("withEntry");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("onto an existing file") << true << false << false << QByteArray("old");
        QTest::newRow("to a new name in a new folder") << false << false << true << QByteArray("new");
        QTest::newRow("date from the listing") << false << true << true << QByteArray("new");
    }
    void copyFailIfExists()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, withEntry);
        QFETCH(bool, ok);
        QFETCH(QByteArray, content);
        TTestDrives drives;
        const QString source = drives.Native('C', QStringLiteral("a.txt"));
        const QString target = drives.Native('E', QStringLiteral("Backup/Docs/a.txt"));
        WriteFile(source, "new");
        SetModified(source, 1404993605); // odd second: the file date rounds it
        if (targetExists) {
            QDir().mkpath(QFileInfo(target).absolutePath());
            WriteFile(target, "old");
            SetModified(target, 1000000000);
        }
        // As the walk lists it: the entry only spares the look-up.
        const TDateTime listedDate = FileDate(QStringLiteral("C:\\a.txt")).value();
        TFolderEntry entry;
        entry.Name = QStringLiteral("a.txt");
        entry.Size = 3;
        entry.Date = listedDate;
        TRecordingObserver observer;
        TProbeThread thread;
        thread.SetObserver(&observer);
        bool result = !ok;
        thread.Body = [&](TProbeThread &t) {
            result = t.CopyOneFile(QStringLiteral("C:\\a.txt"), QStringLiteral("E:\\Backup\\Docs\\a.txt"),
                                   true, true, withEntry ? &entry : nullptr);
        };
        thread.RunSynchronously();
        QCOMPARE(result, ok);
        QCOMPARE(thread.LastError, ok ? 0 : EEXIST);
        QCOMPARE(ReadOrMissing(target), content);
        // The move flag has no effect in this branch.
        QCOMPARE(ReadOrMissing(source), QByteArray("new"));
        const TDateTime expected = withEntry ? listedDate : FileDate(QStringLiteral("C:\\a.txt")).value();
        QCOMPARE(QFileInfo(target).lastModified(), DateTimeToQt(expected));
        QVERIFY(expected != DateTimeFromQt(QFileInfo(source).lastModified()) || withEntry);
    }

    void protectedOverwrite_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("takenBefore");
        QTest::addColumn<bool>("restoreThread");
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("targetAfter");
        QTest::addColumn<QStringList>("deleted");
        QTest::addColumn<QStringList>("rows");
        const QString folder = Stamp + QStringLiteral("/E/Docs/");
        const QString row = Stamp + QStringLiteral("\\E\\Docs\\");
        QTest::newRow("overwrite moves the old file aside")
            << true << false << false << 0 << false << true << QByteArray("new")
            << QStringList{folder + "a.txt=old"} << QStringList{row + "a.txt|3"};
        QTest::newRow("new target records nothing") << false << false << false << 0 << false << true
                                                    << QByteArray("new") << QStringList() << QStringList();
        QTest::newRow("taken path keeps both old versions")
            << true << true << false << 0 << false << true << QByteArray("new")
            << QStringList{folder + "a (2).txt=old", folder + "a.txt=older"}
            << QStringList{row + "a (2).txt|3"};
        QTest::newRow("failed copy puts the old file back")
            << true << false << false << EIO << false << false << QByteArray("old") << QStringList()
            << QStringList();
        QTest::newRow("cancelled copy puts the old file back")
            << true << false << false << 0 << true << false << QByteArray("old") << QStringList()
            << QStringList();
        QTest::newRow("restore threads never protect") << true << false << true << 0 << false << true
                                                       << QByteArray("new") << QStringList() << QStringList();
    }
    void protectedOverwrite()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, takenBefore);
        QFETCH(bool, restoreThread);
        QFETCH(int, fault);
        QFETCH(bool, cancel);
        QFETCH(bool, ok);
        QFETCH(QByteArray, targetAfter);
        QFETCH(QStringList, deleted);
        QFETCH(QStringList, rows);
        THookGuard guard;
        TProtectedSetup setup;
        const QString target = setup.Drives.Native('E', QStringLiteral("Docs/a.txt"));
        // Large enough for several progress reports, so a cancel lands mid-copy.
        const QByteArray sourceContent = cancel ? QByteArray(3 * CopyChunkSize, 'n') : QByteArray("new");
        WriteFile(setup.Drives.Native('C', QStringLiteral("a.txt")), sourceContent);
        if (targetExists) {
            QDir().mkpath(QFileInfo(target).absolutePath());
            WriteFile(target, "old");
        }
        if (takenBefore) {
            QDir().mkpath(QFileInfo(setup.ProtectedNative(QStringLiteral("a.txt"))).absolutePath());
            WriteFile(setup.ProtectedNative(QStringLiteral("a.txt")), "older");
        }
        if (fault != 0)
            SetCopyFaultHookForTests([fault](const QString &, const QString &, int) { return fault; });
        TRecordingObserver observer;
        TProbeThread thread;
        if (cancel)
            observer.OnProgress = [](TThreadBase &sender, double) { sender.RequestStop(); };
        thread.SetObserver(&observer);
        thread.SetDeletionProtection(setup.Protection());
        thread.Restore = restoreThread;
        thread.StartAt = RunStart();
        bool result = !ok;
        thread.Body = [&](TProbeThread &t) {
            result =
                t.CopyOneFile(QStringLiteral("C:\\a.txt"), QStringLiteral("E:\\Docs\\a.txt"), false, false);
        };
        thread.RunSynchronously();
        QCOMPARE(result, ok);
        QCOMPARE(thread.LastError, ok ? 0 : (cancel ? ECANCELED : fault));
        QCOMPARE(ReadOrMissing(target) == sourceContent ? QByteArray("new") : ReadOrMissing(target),
                 targetAfter);
        QCOMPARE(Tree(setup.DeletedNative), deleted);
        QCOMPARE(DeletedRows(setup.DatabaseNative), rows);
        if (!targetExists || restoreThread) // nothing to protect: no stamp folder either
            QVERIFY(QDir(setup.DeletedNative).isEmpty());
        QVERIFY(observer.Errors.isEmpty());
    }

    void unopenableDeleteLogStillProtects()
    {
        TProtectedSetup setup;
        const QString target = setup.Drives.Native('E', QStringLiteral("Docs/a.txt"));
        QDir().mkpath(QFileInfo(target).absolutePath());
        WriteFile(target, "old");
        WriteFile(setup.Drives.Native('C', QStringLiteral("a.txt")), "new");
        TRecordingObserver observer;
        TProbeThread thread;
        thread.SetObserver(&observer);
        TDeletionProtection protection = setup.Protection();
        protection.ProgramDatabaseNative =
            setup.Drives.Native('C', QStringLiteral("no such folder/ProgramData.zjd"));
        thread.SetDeletionProtection(protection);
        thread.StartAt = RunStart();
        bool result = false;
        thread.Body = [&](TProbeThread &t) {
            result =
                t.CopyOneFile(QStringLiteral("C:\\a.txt"), QStringLiteral("E:\\Docs\\a.txt"), false, false);
        };
        thread.RunSynchronously();
        QCOMPARE(observer.Errors.size(), 1);
        QVERIFY(observer.Errors.at(0).Message.startsWith(
            QStringLiteral("Thread Error : Class = TThreadBase : ")));
        QCOMPARE(observer.Errors.at(0).Code, -1);
        QVERIFY(result);
        QCOMPARE(ReadOrMissing(target), QByteArray("new"));
        QCOMPARE(Tree(setup.DeletedNative), QStringList{Stamp + "/E/Docs/a.txt=old"});
    }

    void protectedDelete_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::addColumn<bool>("restoreThread");
        QTest::addColumn<bool>("takenBefore");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("fileAfter");
        QTest::addColumn<QStringList>("deleted");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("operation");
        const QString folder = Stamp + QStringLiteral("/E/Docs/");
        QTest::newRow("unprotected") << false << false << false << true << Missing << QStringList()
                                     << QStringList() << "Deleting File: a.txt";
        QTest::newRow("protected") << true << false << false << true << Missing
                                   << QStringList{folder + "a.txt=old"}
                                   << QStringList{Stamp + "\\E\\Docs\\a.txt|3"} << QString();
        QTest::newRow("taken path: the file stays")
            << true << false << true << false << QByteArray("old") << QStringList{folder + "a.txt=older"}
            << QStringList() << QString();
        QTest::newRow("restore thread deletes directly")
            << true << true << false << true << Missing << QStringList() << QStringList()
            << "Deleting File: a.txt";
    }
    void protectedDelete()
    {
        QFETCH(bool, protect);
        QFETCH(bool, restoreThread);
        QFETCH(bool, takenBefore);
        QFETCH(bool, ok);
        QFETCH(QByteArray, fileAfter);
        QFETCH(QStringList, deleted);
        QFETCH(QStringList, rows);
        QFETCH(QString, operation);
        TProtectedSetup setup;
        const QString file = setup.Drives.Native('E', QStringLiteral("Docs/a.txt"));
        QDir().mkpath(QFileInfo(file).absolutePath());
        WriteFile(file, "old");
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0444) == 0); // read-only is no obstacle
        if (takenBefore) {
            QDir().mkpath(QFileInfo(setup.ProtectedNative(QStringLiteral("a.txt"))).absolutePath());
            WriteFile(setup.ProtectedNative(QStringLiteral("a.txt")), "older");
        }
        TRecordingObserver observer;
        TProbeThread thread;
        thread.SetObserver(&observer);
        thread.SetDeletionProtection(setup.Protection(protect));
        thread.Restore = restoreThread;
        thread.StartAt = RunStart();
        bool result = !ok;
        thread.Body = [&](TProbeThread &t) { result = t.DeleteOneFile(QStringLiteral("E:\\Docs\\a.txt")); };
        thread.RunSynchronously();
        QCOMPARE(result, ok);
        QCOMPARE(thread.LastError, ok ? 0 : EEXIST);
        QCOMPARE(ReadOrMissing(file), fileAfter);
        QCOMPARE(Tree(setup.DeletedNative), deleted);
        QCOMPARE(DeletedRows(setup.DatabaseNative), rows);
        QCOMPARE(observer.FileOperations.isEmpty() ? QString() : observer.FileOperations.at(0), operation);
    }

    void lowDiskSpace_data()
    {
        QTest::addColumn<qint64>("free"); // -1: the drive cannot tell
        QTest::addColumn<int>("lowAnswers");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("message");
        const QString message = QStringLiteral(
            "You are running low on disk space on drive \"E:\".Free up Space on drive or enter a new drive "
            "and try "
            "again.\r\n\r\nFile Name: E:\\out\\a.txt\r\nFile Size: 2 Kb\r\nAvailable On Disk: ");
        QTest::newRow("skip fails this file")
            << qint64(100) << 100 << int(ldaSkip) << false << false << 1 << message + "100 bytes";
        QTest::newRow("unknown free space")
            << qint64(-1) << 100 << int(ldaSkip) << false << false << 1 << message + "-1 bytes";
        QTest::newRow("abort stops the run")
            << qint64(100) << 100 << int(ldaAbort) << false << true << 1 << QString();
        QTest::newRow("retry after freeing space")
            << qint64(100) << 1 << int(ldaRetry) << true << false << 1 << QString();
        QTest::newRow("retry twice") << qint64(100) << 2 << int(ldaRetry) << true << false << 2 << QString();
        QTest::newRow("enough space asks nothing")
            << qint64(4096) << 100 << int(ldaAbort) << true << false << 0 << QString();
    }
    void lowDiskSpace()
    {
        QFETCH(qint64, free);
        QFETCH(int, lowAnswers);
        QFETCH(int, answer);
        QFETCH(bool, ok);
        QFETCH(bool, stopped);
        QFETCH(int, questions);
        QFETCH(QString, message);
        THookGuard guard;
        TTestDrives drives;
        WriteFile(drives.Native('C', QStringLiteral("a.txt")), QByteArray(2048, 'x'));
        int lowCalls = 0;
        SetDiskSpaceHookForTests([&](const QString &path) -> std::optional<TDiskSpace> {
            if (!path.startsWith(QLatin1String("E:")) || lowCalls >= lowAnswers)
                return TDiskSpace{qint64(1) << 40, qint64(1) << 41};
            ++lowCalls;
            if (free < 0)
                return std::nullopt;
            return TDiskSpace{free, qint64(1) << 41};
        });
        TRecordingObserver observer;
        observer.LowDiskAnswer = [answer](const QString &, int) { return TLowDiskAnswer(answer); };
        TProbeThread thread;
        thread.SetObserver(&observer);
        bool result = !ok;
        thread.Body = [&](TProbeThread &t) {
            result =
                t.CopyOneFile(QStringLiteral("C:\\a.txt"), QStringLiteral("E:\\out\\a.txt"), false, false);
        };
        thread.RunSynchronously();
        QCOMPARE(result, ok);
        QCOMPARE(thread.Terminated(), stopped);
        QCOMPARE(observer.LowDiskQuestions.size(), questions);
        if (!message.isEmpty())
            QCOMPARE(observer.LowDiskQuestions.at(0), message);
        QCOMPARE(ReadOrMissing(drives.Native('E', QStringLiteral("out/a.txt"))),
                 ok ? QByteArray(2048, 'x') : Missing);
        if (!ok)
            QCOMPARE(thread.LastError, 0);
    }

    void deleteFolderTree_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("filteredExtensions");
        QTest::addColumn<bool>("linkToFolder");
        QTest::addColumn<bool>("stopFirst");
        QTest::addColumn<QStringList>("remaining"); // below E:\tree\; "-" when the folder is gone
        QTest::addColumn<QStringList>("logs");
        const QString t = QStringLiteral("E:\\tree\\");
        QTest::newRow("everything goes")
            << QStringList{"a.txt", "sub/b.txt", "sub/deeper/c.txt"} << QStringList() << QStringList()
            << false << false << QStringList{"-"}
            << QStringList{t + "a.txt|Done", t + "sub\\b.txt|Done", t + "sub\\deeper\\c.txt|Done"};
        QTest::newRow("filtered files keep their folders")
            << QStringList{"a.txt", "b.tmp", "sub/c.TMP", "sub/d.txt"} << QStringList() << QStringList{".tmp"}
            << false << false << QStringList{"b.tmp=x", "sub/c.TMP=x"}
            << QStringList{t + "a.txt|Done", t + "sub\\d.txt|Done"};
        QTest::newRow("excluded folder kept whole")
            << QStringList{"a.txt", "keep/d.txt", "keep/inner/e.txt"} << QStringList{t + "KEEP\\"}
            << QStringList() << false << false << QStringList{"keep/d.txt=x", "keep/inner/e.txt=x"}
            << QStringList{t + "a.txt|Done"};
        QTest::newRow("link to a folder left in place")
            << QStringList{"a.txt"} << QStringList() << QStringList() << true << false << QStringList{"link@"}
            << QStringList{t + "a.txt|Done"};
        QTest::newRow("a stop returns at once")
            << QStringList{"a.txt", "sub/b.txt"} << QStringList() << QStringList() << false << true
            << QStringList{"a.txt=x", "sub/b.txt=x"} << QStringList();
    }
    void deleteFolderTree()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, excluded);
        QFETCH(QStringList, filteredExtensions);
        QFETCH(bool, linkToFolder);
        QFETCH(bool, stopFirst);
        QFETCH(QStringList, remaining);
        QFETCH(QStringList, logs);
        TTestDrives drives;
        const QString root = drives.Native('E', QStringLiteral("tree"));
        QDir().mkpath(root);
        for (const QString &file : files) {
            QDir().mkpath(QFileInfo(root + QLatin1Char('/') + file).absolutePath());
            WriteFile(root + QLatin1Char('/') + file, "x");
        }
        const QString outside = drives.Native('E', QStringLiteral("outside"));
        if (linkToFolder) {
            QDir().mkpath(outside);
            WriteFile(outside + QStringLiteral("/o.txt"), "o");
            QVERIFY(QFile::link(outside, root + QStringLiteral("/link")));
        }
        TRecordingObserver observer;
        TProbeThread thread;
        thread.SetObserver(&observer);
        thread.ExcludedFolders = excluded;
        thread.FileFilter().SetExcludeFileExtList(filteredExtensions);
        if (stopFirst)
            thread.RequestStop();
        thread.Body = [](TProbeThread &t) { t.DeleteFolderTree(QStringLiteral("E:\\tree\\")); };
        thread.RunSynchronously();
        QCOMPARE(QFileInfo::exists(root) ? Tree(root) : QStringList{"-"}, remaining);
        QStringList logged = observer.LogsOf(QStringLiteral("Delete File"));
        logged.sort();
        QCOMPARE(logged, logs);
        QCOMPARE(observer.Logs.size(), logs.size());
        if (linkToFolder)
            QCOMPARE(ReadOrMissing(outside + QStringLiteral("/o.txt")), QByteArray("o"));
    }

    void fileSize_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::newRow("file") << "E:\\five.txt" << qint64(5);
        QTest::newRow("missing") << "E:\\none.txt" << qint64(-1);
        QTest::newRow("link to a file: the target's size") << "E:\\link.txt" << qint64(5);
        QTest::newRow("broken link") << "E:\\broken" << qint64(-1);
        QTest::newRow("unknown drive") << "Q:\\five.txt" << qint64(-1);
    }
    void fileSize()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        TTestDrives drives;
        WriteFile(drives.Native('E', QStringLiteral("five.txt")), "12345");
        QVERIFY(QFile::link(drives.Native('E', QStringLiteral("five.txt")),
                            drives.Native('E', QStringLiteral("link.txt"))));
        QVERIFY(QFile::link(drives.Native('E', QStringLiteral("gone")),
                            drives.Native('E', QStringLiteral("broken"))));
        TProbeThread thread;
        QCOMPARE(thread.GetFileSize(name), size);
    }
};

QTEST_GUILESS_MAIN(TestThreadBase)
#include "tst_threadbase.moc"
