#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "TestProtection.h"

#include "base/Logging.h"
#include "db/JobDatabase.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "engine/CopyFolderThread.h"
#include "model/FileFilter.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"

#include <QtTest>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace trovalo;
using trovalo::test::ReadOrMissing;
using trovalo::test::TRecordingObserver;

namespace {

const QString JobDatabase = QStringLiteral("E:\\Config\\Job.Zjd");
const QString Backup = QStringLiteral("E:\\Backup\\");
const QString Data = QStringLiteral("C:\\Data\\");
const QString Mapped = QStringLiteral("E:\\Backup\\C\\Data\\");
const QString KeptText = QStringLiteral("Folder not available: its backup copy was kept");
const QString MirrorAction = QStringLiteral("Delete File / Folder ");
const QByteArray Missing("<missing>");
// 2023-01-01 12:00 UTC, an even second: every source is older than any run.
constexpr qint64 OldTime = 1672574400;

// A job as the controller configures the engine; every job filters *.tmp.
struct TJob
{
    TArchiveMode Mode = amIncremental;
    QStringList Include{Data};
    QStringList Exclude;
    QStringList FileList;
    QString Destination = Backup;
    bool MoveFile = false;
    TDeletionProtection Protection;
    QString Database = JobDatabase;
};

QString Native(const QString &letterPath)
{
    return NativePath(letterPath);
}

void SetTimes(const QString &letterPath, qint64 modified, qint64 accessed = -1)
{
    const struct timespec times[2] = {{accessed < 0 ? 0 : accessed, accessed < 0 ? UTIME_OMIT : 0},
                                      {modified < 0 ? 0 : modified, modified < 0 ? UTIME_OMIT : 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(Native(letterPath)).constData(), times, 0) == 0);
}

void Put(const QString &letterPath, const QByteArray &content, qint64 modified = OldTime)
{
    QDir().mkpath(QFileInfo(Native(letterPath)).path());
    trovalo::test::WriteFile(Native(letterPath), content);
    SetTimes(letterPath, modified);
}

QByteArray Read(const QString &letterPath)
{
    return ReadOrMissing(Native(letterPath));
}

void Remove(const QString &letterPath)
{
    QVERIFY(QFile::remove(Native(letterPath)));
}

std::unique_ptr<TRecordingObserver> Run(const TJob &job, std::unique_ptr<TRecordingObserver> observer = {})
{
    if (!observer)
        observer = std::make_unique<TRecordingObserver>();
    TCopyFolderThread thread;
    thread.SetArchiveMode(job.Mode);
    thread.SetInclude(job.Include);
    thread.SetExclude(job.Exclude);
    thread.SetFileList(job.FileList);
    thread.SetDestination(job.Destination);
    thread.SetMoveFile(job.MoveFile);
    thread.SetDeletionProtection(job.Protection);
    thread.SetLogFileName(job.Database);
    TFileFilter filter;
    filter.SetExcludeFileExtList({QStringLiteral(".tmp")});
    thread.SetFileFilter(filter);
    thread.SetObserver(observer.get());
    thread.RunSynchronously();
    TThreadBase::ReleaseLiveWorker();
    return observer;
}

// Source paths of the successful copies, sorted.
QStringList Copied(const TRecordingObserver &observer)
{
    QStringList files;
    for (const TRecordingObserver::TLogRow &row : observer.Logs)
        if (row.Action == QLatin1String("Copy File") && row.Event == eSuccess)
            files << row.FileName;
    files.sort();
    return files;
}

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

bool InFileLog(const QString &path)
{
    return TJobDatabase(JobDatabase).FileUpdate(path).has_value();
}

QString RunStatus()
{
    const QList<TArchiveLogRow> runs = TJobDatabase(JobDatabase).ArchiveRuns();
    return runs.isEmpty() ? QString() : runs.constLast().Status;
}

using test::Protection;

// DeleteDataLog rows (relative to the deleted-files folder), sorted.
QStringList DeletedRows()
{
    TProgramDatabase database(Protection().ProgramDatabaseNative);
    TSqliteStatement &select =
        database.Connection().Prepare(QStringLiteral("SELECT FileName FROM DeleteDataLog ORDER BY FileName"));
    QStringList rows;
    while (select.Step())
        rows << select.ColumnText(0);
    return rows;
}

// The protected row of a path, checked for its stamp folder, " yyyy-MM-dd hh-mm\".
QString ProtectedRowOf(const QString &mappedPath)
{
    for (const QString &row : DeletedRows())
        if (row.endsWith(QLatin1Char('\\') + mappedPath) && row.indexOf(QLatin1Char('\\')) == 17 &&
            row.startsWith(QLatin1Char(' ')))
            return row;
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(TArchiveMode)
Q_DECLARE_METATYPE(TLowDiskAnswer)

class TestCopyEngine : public QObject
{
    Q_OBJECT

    std::unique_ptr<trovalo::test::TTestDrives> FDrives;

    // The standard source: two files, one of them in a sub-folder, and a
    // file the filter leaves alone.
    void PutStandardSource()
    {
        Put(Data + QStringLiteral("a.txt"), "alpha");
        Put(Data + QStringLiteral("sub\\b.txt"), "beta");
        Put(Data + QStringLiteral("skip.tmp"), "filtered");
    }

private slots:
    void init()
    {
        FDrives = std::make_unique<trovalo::test::TTestDrives>(
            QMap<QChar, QString>{{'C', QString()}, {'D', QString()}, {'E', QStringLiteral("bus=USB")}});
    }
    void cleanup()
    {
        SetCopyFaultHookForTests({});
        SetDiskSpaceHookForTests({});
        FDrives.reset();
    }

    void mapToDestination_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << "C:\\Users\\Ann\\"
                                << "E:\\Job1\\C\\Users\\Ann\\";
        QTest::newRow("drive root") << "D:\\"
                                    << "E:\\Job1\\D\\";
        QTest::newRow("network folder") << "\\\\srv\\data\\x\\"
                                        << "E:\\Job1\\__srv\\data\\x\\";
        QTest::newRow("network file") << "\\\\srv\\data\\a.txt"
                                      << "E:\\Job1\\__srv\\data\\a.txt";
    }
    void mapToDestination()
    {
        QFETCH(QString, source);
        QFETCH(QString, expected);
        TCopyFolderThread thread;
        TThreadBase::ReleaseLiveWorker();
        thread.SetDestination(QStringLiteral("E:\\Job1\\"));
        QCOMPARE(thread.MapToDestination(source), expected);
    }

    void firstRun_data()
    {
        QTest::addColumn<TArchiveMode>("mode");
        QTest::addColumn<QString>("root");
        QTest::newRow("incremental") << amIncremental << Mapped;
        QTest::newRow("only new") << amOnlyNew << Mapped;
        QTest::newRow("completely new") << amCompletelyNew << Mapped;
        QTest::newRow("time stamped") << amTimeStamped << Mapped;
        QTest::newRow("time stamped incremental") << amTimeStampedIncremental << Mapped;
        QTest::newRow("mirror") << amMirror << Mapped;
        QTest::newRow("move without deleting") << amMove << Backup;
    }
    void firstRun()
    {
        QFETCH(TArchiveMode, mode);
        QFETCH(QString, root);
        PutStandardSource();
        // An include entry naming a file is a single file: mapped in every
        // mode and not filtered.
        Put(QStringLiteral("C:\\Single\\s.tmp"), "single");
        // A second folder on another drive: mapped under its own letter, or
        // merged into the same tree by a move.
        Put(QStringLiteral("D:\\B\\y.txt"), "why");
        TJob job;
        job.Mode = mode;
        job.Include << QStringLiteral("C:\\Single\\s.tmp") << QStringLiteral("D:\\B\\");
        const auto observer = Run(job);

        QCOMPARE(Read(root + "a.txt"), QByteArray("alpha"));
        QCOMPARE(Read(root + "sub\\b.txt"), QByteArray("beta"));
        QCOMPARE(Read(root + "skip.tmp"), Missing);
        QCOMPARE(Read(QStringLiteral("E:\\Backup\\C\\Single\\s.tmp")), QByteArray("single"));
        QCOMPARE(Read((mode == amMove ? Backup : QStringLiteral("E:\\Backup\\D\\B\\")) + "y.txt"),
                 QByteArray("why"));
        QCOMPARE(QFileInfo(Native(root + "a.txt")).lastModified().toSecsSinceEpoch(), OldTime);
        QCOMPARE(observer->FailedLogCount(), 0);
        QCOMPARE(Copied(*observer),
                 Sorted({Data + "a.txt", Data + "sub\\b.txt", "C:\\Single\\s.tmp", "D:\\B\\y.txt"}));
        QVERIFY(InFileLog(Data + "sub\\b.txt"));
        QVERIFY(InFileLog(QStringLiteral("C:\\Single\\s.tmp")));
        QVERIFY(!InFileLog(Data + "skip.tmp"));
        // Only a mirror remembers its folders.
        QCOMPARE(InFileLog(Data + "sub"), mode == amMirror);
        QCOMPARE(observer->LastStatus(), QStringLiteral("Finished !"));
        QCOMPARE(observer->Statuses.constLast().ProgressBarPosition, 100);
        QCOMPARE(RunStatus(), QStringLiteral("Finished !"));
    }

    void secondRun_data()
    {
        QTest::addColumn<TArchiveMode>("mode");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("copied");
        const QStringList none;
        const QStringList a{Data + "a.txt"};
        const QStringList all{Data + "a.txt", Data + "sub\\b.txt"};
        QTest::newRow("incremental, no change") << amIncremental << "none" << none;
        QTest::newRow("incremental, copy deleted") << amIncremental << "delete copy" << a;
        QTest::newRow("incremental, changed") << amIncremental << "modify" << a;
        QTest::newRow("incremental, time moved back") << amIncremental << "time back" << none;
        QTest::newRow("incremental, touched") << amIncremental << "touch" << none;
        QTest::newRow("only new, no change") << amOnlyNew << "none" << none;
        QTest::newRow("only new, copy deleted") << amOnlyNew << "delete copy" << none;
        QTest::newRow("only new, changed") << amOnlyNew << "modify" << none;
        QTest::newRow("stamped incremental, no change") << amTimeStampedIncremental << "none" << none;
        QTest::newRow("stamped incremental, copy deleted")
            << amTimeStampedIncremental << "delete copy" << none;
        QTest::newRow("stamped incremental, changed") << amTimeStampedIncremental << "modify" << a;
        QTest::newRow("mirror, no change") << amMirror << "none" << none;
        QTest::newRow("mirror, copy deleted") << amMirror << "delete copy" << a;
        QTest::newRow("mirror, changed") << amMirror << "modify" << a;
        QTest::newRow("move, no change") << amMove << "none" << none;
        QTest::newRow("move, copy deleted") << amMove << "delete copy" << a;
        QTest::newRow("completely new, no change") << amCompletelyNew << "none" << all;
        QTest::newRow("time stamped, new folder") << amTimeStamped << "none" << all;
    }
    void secondRun()
    {
        QFETCH(TArchiveMode, mode);
        QFETCH(QString, change);
        QFETCH(QStringList, copied);
        PutStandardSource();
        TJob job;
        job.Mode = mode;
        const QString root = mode == amMove ? Backup : Mapped;
        Run(job);

        const QString source = Data + "a.txt";
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        if (change == QLatin1String("delete copy"))
            Remove(root + "a.txt");
        else if (change == QLatin1String("modify"))
            Put(source, "changed", now + 3600);
        else if (change == QLatin1String("time back"))
            Put(source, "changed", OldTime - 86400);
        else if (change == QLatin1String("touch"))
            SetTimes(source, -1, now + 3600);
        if (mode == amTimeStamped)
            job.Destination = QStringLiteral("E:\\Backup\\ 2024-05-06 07-08\\");
        const auto observer = Run(job);

        QCOMPARE(Copied(*observer), copied);
        QCOMPARE(observer->FailedLogCount(), 0);
        if (copied.isEmpty()) {
            QVERIFY(observer->Logs.isEmpty());
            QCOMPARE(observer->Statuses.constLast().BytesTotal, 0);
        }
        if (copied.contains(source) && mode != amTimeStamped)
            QCOMPARE(Read(root + "a.txt"), Read(source));
        else if (change == QLatin1String("modify"))
            QCOMPARE(Read(root + "a.txt"), QByteArray("alpha"));
        QCOMPARE(observer->Statuses.constLast().ProgressBarPosition, 100);
        QCOMPARE(RunStatus(), QStringLiteral("Finished !"));
    }

    // A backup whose source is a stick: its dates moving by an hour after
    // the copy (daylight saving, another computer's local time) is no
    // change; a new size or another shift is. Also for a move, whose
    // unchanged sources are deleted only when their copy is really there.
    void stickSourceDatesMoved_data()
    {
        QTest::addColumn<QString>("stickFileSystem");
        QTest::addColumn<TArchiveMode>("mode");
        QTest::addColumn<int>("shift");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("copied");
        QTest::newRow("vfat, an hour") << "vfat" << amIncremental << 3600 << QByteArray("alpha") << false;
        QTest::newRow("vfat, an hour, mirror") << "vfat" << amMirror << 3600 << QByteArray("alpha") << false;
        QTest::newRow("vfat, an hour, move") << "vfat" << amMove << 3600 << QByteArray("alpha") << false;
        QTest::newRow("exfat, an hour and a step")
            << "exfat" << amIncremental << 3602 << QByteArray("alpha") << false;
        QTest::newRow("vfat, an hour, other size")
            << "vfat" << amIncremental << 3600 << QByteArray("alpha!") << true;
        QTest::newRow("vfat, not an exact hour")
            << "vfat" << amIncremental << 3610 << QByteArray("ALPHA") << true;
        QTest::newRow("ext4, an hour") << "ext4" << amIncremental << 3600 << QByteArray("ALPHA") << true;
    }
    void stickSourceDatesMoved()
    {
        QFETCH(QString, stickFileSystem);
        QFETCH(TArchiveMode, mode);
        QFETCH(int, shift);
        QFETCH(QByteArray, content);
        QFETCH(bool, copied);
        FDrives->AddDrive('F', FDrives->Base() + "/F", "bus=USB,fs=" + stickFileSystem);
        const QString source = QStringLiteral("F:\\Data\\a.txt");
        // Written shortly before the first run, so the moved date lies after it.
        const qint64 written = QDateTime::currentSecsSinceEpoch() / 2 * 2 - 1800;
        Put(source, "alpha", written);
        TJob job;
        job.Mode = mode;
        job.MoveFile = mode == amMove;
        job.Include = {QStringLiteral("F:\\Data\\")};
        const QString copy = mode == amMove ? Backup + "a.txt" : QStringLiteral("E:\\Backup\\F\\Data\\a.txt");
        Run(job);
        QCOMPARE(Read(copy), QByteArray("alpha"));
        if (mode == amMove)
            Put(source, "alpha", written); // put back, as the first run moved it
        Put(source, content, written + shift);

        const auto observer = Run(job);
        QCOMPARE(Copied(*observer), copied ? QStringList{source} : QStringList());
        QCOMPARE(observer->FailedLogCount(), 0);
        QCOMPARE(Read(copy), copied ? content : QByteArray("alpha"));
        if (mode == amMove) // its copy is there: the source is moved
            QCOMPARE(Read(source), Missing);
    }

    // A backup onto a FAT stick lists first what FAT cannot hold, copies
    // the rest, and never starts writing those.
    void fatDestinationListsWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<TArchiveMode>("mode");
        QTest::addColumn<bool>("bigFile");
        QTest::newRow("vfat") << "vfat" << amIncremental << true;
        QTest::newRow("vfat, move") << "vfat" << amMove << true;
        QTest::newRow("exfat: names only") << "exfat" << amIncremental << false;
    }
    void fatDestinationListsWhatItCannotHold()
    {
        QFETCH(QString, fileSystem);
        QFETCH(TArchiveMode, mode);
        QFETCH(bool, bigFile);
        FDrives->AddDrive('F', FDrives->Base() + "/F", "bus=USB,fs=" + fileSystem);
        for (const char *name : {"ok.txt", "colon:name.txt", "trailing dot.", "Case.txt", "case.txt",
                                 "bad|dir/inside.txt", "sub/fine.txt"})
            Put(LetterPath(Native(Data) + name), name);
        QStringList refused{Data + LetterName("colon:name.txt"), Data + "trailing dot.", Data + "bad|dir"};
        if (bigFile) { // sparse: nothing is read unless it is copied
            QFile big(Native(Data) + "big.bin");
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 32));
            refused << Data + "big.bin";
        }
        TJob job;
        job.Mode = mode;
        job.Destination = QStringLiteral("F:\\Backup\\");
        const QString copies = mode == amMove ? job.Destination : job.Destination + "C\\Data\\";
        const auto observer = Run(job);

        // Of two names differing in case only, the first met is copied.
        const bool upperFirst = QFileInfo::exists(Native(copies + "Case.txt"));
        refused << Data + (upperFirst ? "case.txt" : "Case.txt");
        QCOMPARE(Read(copies + (upperFirst ? "Case.txt" : "case.txt")), upperFirst ? "Case.txt" : "case.txt");
        // The list comes first, before any copy.
        QStringList listed;
        for (const TRecordingObserver::TLogRow &row : observer->Logs) {
            if (row.Event != eFailedorSkip)
                break;
            QVERIFY2(row.Info.startsWith("Not copied: "), qPrintable(row.Info));
            listed << row.FileName;
        }
        QCOMPARE(Sorted(listed), Sorted(refused));
        QCOMPARE(observer->FailedLogCount(), refused.size());
        QCOMPARE(Read(copies + "ok.txt"), QByteArray("ok.txt"));
        QCOMPARE(Read(copies + "sub\\fine.txt"), QByteArray("sub/fine.txt"));
        // What was not copied stays where it was, also in a move.
        for (const QString &path : std::as_const(refused))
            QVERIFY2(QFileInfo::exists(Native(path)), qPrintable(path));
        QCOMPARE(RunStatus(), QStringLiteral("Finished !"));
    }

    void databaseThatCannotBeOpened()
    {
        Put(Data + "a.txt", "alpha");
        TJob job;
        job.Database = QStringLiteral("Q:\\Config\\Job.Zjd"); // no such drive
        const auto observer = Run(job);
        // Nothing can be decided or recorded: the run ends after the report.
        QCOMPARE(observer->Errors.size(), 1);
        QVERIFY(observer->Errors.constFirst().Message.startsWith("Thread Error : Class = TThreadBase : "));
        QVERIFY(observer->Logs.isEmpty());
        QCOMPARE(Read(Mapped + "a.txt"), Missing);
    }

    void mirrorRemovesVanishedItems()
    {
        Put(Data + "a.txt", "alpha");
        Put(Data + "old.txt", "old");
        Put(Data + "gone\\c.txt", "gamma");
        Put(Data + "full\\d.txt", "delta");
        Put(QStringLiteral("C:\\Single\\s.txt"), "single");
        Put(Data + "swap", "a file, then a folder");
        TJob job;
        job.Mode = amMirror;
        job.FileList = QStringList{QStringLiteral("C:\\Single\\s.txt")};
        Run(job);
        Remove(Data + "old.txt");
        Remove(QStringLiteral("C:\\Single\\s.txt"));
        QVERIFY(QDir(Native(Data + "gone")).removeRecursively());
        QVERIFY(QDir(Native(Data + "full")).removeRecursively());
        Remove(Data + "swap");
        Put(Data + "swap\\x.txt", "x");
        Put(Mapped + "full\\mine.txt", "not from the job");
        job.Protection = Protection();
        const auto observer = Run(job);

        // A folder row follows the rows of its files, so it is empty by
        // then unless it holds something the job never copied; that one
        // stays with its row and the clean-up goes on.
        QCOMPARE(Sorted(observer->LogsOf(MirrorAction)),
                 Sorted({Mapped + "old.txt|Done", Mapped + "gone\\c.txt|Done", Mapped + "gone|Done",
                         Mapped + "full\\d.txt|Done", Mapped + "full|" + SystemErrorText(ENOTEMPTY),
                         "E:\\Backup\\C\\Single\\s.txt|Done", Mapped + "swap|Done"}));
        QCOMPARE(Read(Mapped + "swap\\x.txt"), QByteArray("x"));
        QCOMPARE(Read(Mapped + "old.txt"), Missing);
        QVERIFY(!QFileInfo::exists(Native(Mapped + "gone")));
        QCOMPARE(Read(Mapped + "full\\mine.txt"), QByteArray("not from the job"));
        QCOMPARE(Read(Mapped + "a.txt"), QByteArray("alpha"));
        QVERIFY(!InFileLog(Data + "old.txt") && !InFileLog(Data + "gone") &&
                !InFileLog(Data + "full\\d.txt"));
        QVERIFY(InFileLog(Data + "full") && InFileLog(Data + "a.txt"));
        const QString row = ProtectedRowOf(QStringLiteral("E\\Backup\\C\\Data\\old.txt"));
        QVERIFY2(!row.isEmpty(), qPrintable(DeletedRows().join(QLatin1Char(';'))));
        QCOMPARE(Read(QStringLiteral("C:\\Deleted\\") + row), QByteArray("old"));
        QCOMPARE(DeletedRows().size(), 5);
    }

    void mirrorKeepsUnavailableSources_data()
    {
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("fileList");
        QTest::addColumn<QString>("kept");
        QTest::newRow("include folder renamed") << QStringList{Data} << QStringList() << Data;
        QTest::newRow("drive gone") << QStringList{"D:\\Data\\"} << QStringList() << "D:\\Data\\";
        QTest::newRow("single file, drive gone")
            << QStringList{Data} << QStringList{"D:\\notes.txt"} << "D:\\";
    }
    void mirrorKeepsUnavailableSources()
    {
        QFETCH(QStringList, include);
        QFETCH(QStringList, fileList);
        QFETCH(QString, kept);
        Put(Data + "a.txt", "alpha");
        Put(QStringLiteral("D:\\Data\\sub\\d.txt"), "delta");
        Put(QStringLiteral("D:\\notes.txt"), "notes");
        TJob job;
        job.Mode = amMirror;
        job.Include = include;
        job.FileList = fileList;
        Run(job);
        const QList<TFileLogRow> before = TJobDatabase(JobDatabase).FileRows();
        const QString away =
            kept.startsWith(QLatin1Char('D')) ? FDrives->NativeRoot('D') : Native(QStringLiteral("C:\\Data"));
        QVERIFY(QDir().rename(away, away + QStringLiteral("-away")));
        const auto observer = Run(job);

        QCOMPARE(observer->LogsOf(MirrorAction), QStringList{kept + '|' + KeptText});
        QCOMPARE(observer->Logs.size(), 1);
        QCOMPARE(observer->FailedLogCount(), 1);
        QCOMPARE(TJobDatabase(JobDatabase).FileRows().size(), before.size());
        for (const TFileLogRow &row : before)
            QVERIFY2(QFileInfo::exists(Native(MapToBackup(row.FileName))), qPrintable(row.FileName));
    }

    void move_data()
    {
        QTest::addColumn<bool>("moveFile");
        QTest::addColumn<bool>("protect");
        QTest::addColumn<bool>("failing");
        QTest::addColumn<bool>("copyFirst");
        QTest::newRow("copy only") << false << false << false << false;
        QTest::newRow("move") << true << false << false << false;
        QTest::newRow("move, protected") << true << true << false << false;
        QTest::newRow("move, one copy fails") << true << false << true << false;
        QTest::newRow("move of copies already made") << true << false << false << true;
    }
    void move()
    {
        QFETCH(bool, moveFile);
        QFETCH(bool, protect);
        QFETCH(bool, failing);
        QFETCH(bool, copyFirst);
        PutStandardSource();
        Put(Data + "excl\\c.txt", "excluded");
        TJob job;
        job.Mode = amMove;
        job.Exclude = QStringList{Data + "excl\\"};
        job.Destination = QStringLiteral("E:\\Moved\\");
        if (copyFirst)
            Run(job);
        job.MoveFile = moveFile;
        if (protect)
            job.Protection = Protection();
        if (failing)
            SetCopyFaultHookForTests([](const QString &source, const QString &, int) {
                return source.endsWith(QLatin1String("/b.txt")) ? EACCES : 0;
            });
        const QString logFile = FDrives->Base() + QStringLiteral("/Trovalo.log");
        const QtMessageHandler previous = InstallLogHandler();
        OpenLogFile(logFile);
        const auto observer = Run(job);
        CloseLogFile();
        qInstallMessageHandler(previous);
        const QString logged = QString::fromUtf8(ReadOrMissing(logFile));
        const QString deletion = protect ? "Moved to the deleted-files folder: " : "Deleted ";
        QCOMPARE(logged.contains(" info     trovalo.engine: " + deletion + WithNative(Data + "a.txt")),
                 moveFile);
        QCOMPARE(logged.contains(" warning  trovalo.engine: Copy File not done: " +
                                 WithNative(Data + "sub\\b.txt") + ": " + SystemErrorText(EACCES)),
                 failing);

        QCOMPARE(Read(QStringLiteral("E:\\Moved\\a.txt")), QByteArray("alpha"));
        QCOMPARE(Read(QStringLiteral("E:\\Moved\\sub\\b.txt")), failing ? Missing : QByteArray("beta"));
        QCOMPARE(Read(QStringLiteral("E:\\Moved\\skip.tmp")), Missing);
        QVERIFY(!QFileInfo::exists(Native(QStringLiteral("E:\\Moved\\excl"))));
        // Filtered and excluded items stay; what could not be copied stays too.
        QVERIFY(QFileInfo(Native(Data)).isDir());
        QCOMPARE(Read(Data + "skip.tmp"), QByteArray("filtered"));
        QCOMPARE(Read(Data + "excl\\c.txt"), QByteArray("excluded"));
        QCOMPARE(Read(Data + "a.txt"), moveFile ? Missing : QByteArray("alpha"));
        QCOMPARE(Read(Data + "sub\\b.txt"), moveFile && !failing ? Missing : QByteArray("beta"));
        QCOMPARE(QFileInfo::exists(Native(Data + "sub")), !moveFile || failing);
        QCOMPARE(observer->FailedLogCount(), failing ? 1 : 0);
        if (copyFirst) {
            QVERIFY(Copied(*observer).isEmpty());
            QCOMPARE(observer->LogsOf(QStringLiteral("Delete File")).size(), 2);
        }
        if (protect) {
            QCOMPARE(Read(QStringLiteral("C:\\Deleted\\") + ProtectedRowOf(QStringLiteral("C\\Data\\a.txt"))),
                     QByteArray("alpha"));
            QVERIFY(!ProtectedRowOf(QStringLiteral("C\\Data\\sub\\b.txt")).isEmpty());
            QCOMPARE(DeletedRows().size(), 2);
        }
    }

    void completelyNew_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::newRow("backup folder") << Backup;
        QTest::newRow("drive root") << "E:\\";
    }
    void completelyNew()
    {
        QFETCH(QString, destination);
        Put(Data + "a.txt", "alpha");
        Put(destination + "old.txt", "old");
        Put(destination + "keep.tmp", "filtered");
        Put(QStringLiteral("E:\\Config\\Other.zja"), "another job");
        TJob job;
        job.Mode = amCompletelyNew;
        job.Destination = destination;
        job.Protection = Protection();
        const auto observer = Run(job);

        QCOMPARE(Read(destination + "old.txt"), Missing);
        QCOMPARE(Read(destination + "keep.tmp"), QByteArray("filtered"));
        QCOMPARE(Read(destination + "C\\Data\\a.txt"), QByteArray("alpha"));
        QCOMPARE(Read(QStringLiteral("E:\\Config\\Other.zja")), QByteArray("another job"));
        QVERIFY(!ProtectedRowOf(QString(destination).remove(1, 1) + "old.txt").isEmpty());
        QCOMPARE(RunStatus(), QStringLiteral("Finished !"));
        QCOMPARE(observer->FailedLogCount(), 0);
    }

    void links()
    {
        Put(QStringLiteral("C:\\Outside\\real.txt"), "real");
        Put(Data + "sub\\b.txt", "beta");
        const QByteArray data = QFile::encodeName(Native(Data));
        QVERIFY(::symlink(data.constData(), (data + "sub/loop").constData()) == 0);
        QVERIFY(::symlink(QFile::encodeName(Native(QStringLiteral("C:\\Outside\\real.txt"))).constData(),
                          (data + "lnk.txt").constData()) == 0);
        QVERIFY(::symlink((data + "nowhere").constData(), (data + "broken").constData()) == 0);
        QVERIFY(::mkfifo((data + "fifo").constData(), 0600) == 0);
        const auto observer = Run(TJob());

        QCOMPARE(
            Sorted(observer->LogsOf(QStringLiteral("Copy File"))),
            Sorted({Data + "broken|" + SystemErrorText(ENOENT), Data + "fifo|Not a regular file: not copied",
                    Data + "lnk.txt|Done", Data + "sub\\b.txt|Done",
                    Data + "sub\\loop|Symbolic link to a folder: not followed"}));
        QCOMPARE(observer->FailedLogCount(), 3);
        const QFileInfo copy(Native(Mapped + "lnk.txt"));
        QVERIFY(copy.isFile() && !copy.isSymLink());
        QCOMPARE(Read(Mapped + "lnk.txt"), QByteArray("real"));
        QVERIFY(!QFileInfo::exists(Native(Mapped + "sub\\loop")));
        QCOMPARE(observer->Statuses.constLast().ProgressBarPosition, 100);
    }

    void cancelDuringLargeFile_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::newRow("unprotected") << false;
        QTest::newRow("protected") << true;
    }
    void cancelDuringLargeFile()
    {
        QFETCH(bool, protect);
        Put(Data + "big.bin", QByteArray(8 << 20, 'n'));
        Put(Mapped + "big.bin", "old copy");
        TJob job;
        if (protect)
            job.Protection = Protection();
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnProgress = [](TThreadBase &thread, double) { thread.RequestStop(); };
        observer = Run(job, std::move(observer));

        QCOMPARE(Read(Mapped + "big.bin"), QByteArray("old copy"));
        QCOMPARE(QDir(Native(Mapped)).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
        QCOMPARE(observer->FailedLogCount(), 1);
        QVERIFY(!InFileLog(Data + "big.bin"));
        QCOMPARE(observer->LastStatus(), QStringLiteral("Canceled"));
        QCOMPARE(RunStatus(), QStringLiteral("Canceled"));
        if (protect)
            QVERIFY(DeletedRows().isEmpty());
    }

    void fileFails_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("error");
        QTest::newRow("unreadable source") << "source" << EACCES;
        QTest::newRow("read-only target") << "target" << EROFS;
        QTest::newRow("source vanishes") << "vanish" << ENOENT;
    }
    void fileFails()
    {
        QFETCH(QString, fault);
        QFETCH(int, error);
        PutStandardSource();
        Put(Mapped + "sub\\b.txt", "old copy");
        const QString failing = Data + "sub\\b.txt";
        auto observer = std::make_unique<TRecordingObserver>();
        if (fault == QLatin1String("vanish")) {
            observer->OnStatus = [&](TThreadBase &, const TStatusReport &report) {
                if (report.StatusMsg == QLatin1String("File : ") + failing)
                    QFile::remove(Native(failing));
            };
        } else {
            const bool atTarget = fault == QLatin1String("target");
            SetCopyFaultHookForTests([=](const QString &source, const QString &target, int) {
                return (atTarget ? target : source).endsWith(QLatin1String("/b.txt")) ? error : 0;
            });
        }
        observer = Run(TJob(), std::move(observer));

        QCOMPARE(observer->LogsOf(QStringLiteral("Copy File")).filter(QStringLiteral("b.txt")),
                 QStringList{failing + '|' + SystemErrorText(error)});
        QCOMPARE(Copied(*observer), QStringList{Data + "a.txt"});
        QVERIFY(!InFileLog(failing));
        QCOMPARE(Read(Mapped + "sub\\b.txt"), QByteArray("old copy"));
        QCOMPARE(RunStatus(), QStringLiteral("Finished !"));
        QCOMPARE(observer->Outcome.End, TRunEnd::Finished);
        QCOMPARE(observer->Outcome.Errors(), 1);
    }

    void lowDiskSpace_data()
    {
        QTest::addColumn<TLowDiskAnswer>("answer");
        QTest::addColumn<int>("copied");
        QTest::addColumn<QString>("status");
        QTest::newRow("skip") << ldaSkip << 2 << "Finished !";
        QTest::newRow("abort") << ldaAbort << 0 << "Canceled";
        QTest::newRow("retry") << ldaRetry << 3 << "Finished !";
    }
    void lowDiskSpace()
    {
        QFETCH(TLowDiskAnswer, answer);
        QFETCH(int, copied);
        QFETCH(QString, status);
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            Put(Data + name, "content");
        bool low = true;
        const qint64 plenty = qint64(1) << 40;
        SetDiskSpaceHookForTests([&](const QString &path) {
            return std::optional<TDiskSpace>({path.startsWith(QLatin1Char('E')) && low ? 0 : plenty, plenty});
        });
        auto observer = std::make_unique<TRecordingObserver>();
        // The answer frees space: only one file meets the shortage.
        observer->LowDiskAnswer = [&](const QString &, int) {
            low = false;
            return answer;
        };
        observer = Run(TJob(), std::move(observer));

        QCOMPARE(observer->LowDiskQuestions.size(), 1);
        QCOMPARE(Copied(*observer).size(), copied);
        QCOMPARE(observer->FailedLogCount(), answer == ldaRetry ? 0 : 1);
        if (answer != ldaRetry)
            QCOMPARE(observer->LogsOf(QStringLiteral("Copy File")).constFirst().section('|', 1), "Skiped");
        QCOMPARE(observer->LastStatus(), status);
        QCOMPARE(RunStatus(), status);
        // Abort stops the run; a skipped file counts as failed.
        QCOMPARE(observer->Outcome.End, answer == ldaAbort ? TRunEnd::AbortedLowDisk : TRunEnd::Finished);
        QCOMPARE(observer->Outcome.FailedFiles, answer == ldaRetry ? 0 : 1);
    }

    // Include folders of a move merge into one tree: a name that two of
    // them hold is moved once; the other file stays where it is.
    void moveOfTwoFoldersHoldingOneName_data()
    {
        QTest::addColumn<QString>("secondName");
        QTest::addColumn<bool>("protect");
        QTest::newRow("same name") << "notes.txt" << false;
        QTest::newRow("same name, protected") << "notes.txt" << true;
    }
    void moveOfTwoFoldersHoldingOneName()
    {
        QFETCH(QString, secondName);
        QFETCH(bool, protect);
        Put(QStringLiteral("C:\\Work\\notes.txt"), "work notes");
        Put(QStringLiteral("C:\\Home\\") + secondName, "home notes");
        TJob job;
        job.Mode = amMove;
        job.MoveFile = true;
        job.Include = QStringList{QStringLiteral("C:\\Work\\"), QStringLiteral("C:\\Home\\")};
        job.Destination = QStringLiteral("E:\\Moved\\");
        if (protect)
            job.Protection = Protection();
        const auto observer = Run(job);

        // Sorted include lines: Home is moved first.
        QCOMPARE(Read(QStringLiteral("E:\\Moved\\") + secondName), QByteArray("home notes"));
        QCOMPARE(Read(QStringLiteral("C:\\Home\\") + secondName), Missing);
        QCOMPARE(Read(QStringLiteral("C:\\Work\\notes.txt")), QByteArray("work notes"));
        QCOMPARE(observer->LogsOf(QStringLiteral("Copy File")).filter(QStringLiteral("Work")),
                 QStringList{QStringLiteral("C:\\Work\\notes.txt|") + SystemErrorText(EEXIST)});
        QVERIFY(!InFileLog(QStringLiteral("C:\\Work\\notes.txt")));
        if (protect)
            QCOMPARE(DeletedRows().size(), 1);
    }

    // A source put back into a moved folder after its first move is deleted
    // by the next move only once the destination holds its copy.
    void moveOfASourcePutBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("modified");
        QTest::addColumn<bool>("protect");
        QTest::addColumn<bool>("copied");
        QTest::newRow("the same file") << QByteArray("alpha") << OldTime << false << false;
        QTest::newRow("another file, older") << QByteArray("another file") << OldTime - 3600 << false << true;
        QTest::newRow("another file, older, protected")
            << QByteArray("another file") << OldTime - 3600 << true << true;
        QTest::newRow("same size, other date") << QByteArray("omega") << OldTime - 86400 << false << true;
    }
    void moveOfASourcePutBack()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, modified);
        QFETCH(bool, protect);
        QFETCH(bool, copied);
        const QString moved = QStringLiteral("E:\\Moved\\a.txt");
        Put(Data + "a.txt", "alpha");
        TJob job;
        job.Mode = amMove;
        job.MoveFile = true;
        job.Destination = QStringLiteral("E:\\Moved\\");
        Run(job);
        QCOMPARE(Read(moved), QByteArray("alpha"));
        Put(Data + "a.txt", content, modified);
        if (protect)
            job.Protection = Protection();
        const auto observer = Run(job);

        QCOMPARE(Read(Data + "a.txt"), Missing);
        QCOMPARE(Read(moved), content);
        QCOMPARE(Copied(*observer), copied ? QStringList{Data + "a.txt"} : QStringList());
        QCOMPARE(observer->FailedLogCount(), 0);
        if (protect)
            QCOMPARE(
                Read(QStringLiteral("C:\\Deleted\\") + ProtectedRowOf(QStringLiteral("E\\Moved\\a.txt"))),
                QByteArray("alpha"));
    }

    // A new file's name is taken without a look first; a file another
    // program put there during the copy is replaced as any other: kept in
    // the deleted-files folder when the job protects what it replaces.
    void nameTakenDuringTheCopyIsReplacedAsUsual_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::newRow("unprotected") << false;
        QTest::newRow("protected") << true;
    }
    void nameTakenDuringTheCopyIsReplacedAsUsual()
    {
        QFETCH(bool, protect);
        Put(Data + "a.txt", "alpha");
        TJob job;
        if (protect)
            job.Protection = Protection();
        const QString nativeTarget = Native(Mapped + "a.txt");
        SetCopyFaultHookForTests([&](const QString &, const QString &target, int chunk) {
            if (target == nativeTarget && chunk == 0 && !QFileInfo::exists(target)) {
                QFile file(target);
                if (file.open(QIODevice::WriteOnly))
                    file.write("intruder");
            }
            return 0;
        });
        const auto observer = Run(job);
        SetCopyFaultHookForTests({});

        QCOMPARE(Read(Mapped + "a.txt"), QByteArray("alpha"));
        QCOMPARE(Copied(*observer), QStringList{Data + "a.txt"});
        QCOMPARE(observer->FailedLogCount(), 0);
        if (protect)
            QCOMPARE(Read(QStringLiteral("C:\\Deleted\\") +
                          ProtectedRowOf(QStringLiteral("E\\Backup\\C\\Data\\a.txt"))),
                     QByteArray("intruder"));
    }

    // A file written to while it is being moved keeps what its copy lacks;
    // the next run moves it whole.
    void moveOfAFileWrittenDuringItsCopy_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::newRow("unprotected") << false;
        QTest::newRow("protected") << true;
    }
    void moveOfAFileWrittenDuringItsCopy()
    {
        QFETCH(bool, protect);
        Put(Data + "log.txt", "first line\n");
        TJob job;
        job.Mode = amMove;
        job.MoveFile = true;
        job.Destination = QStringLiteral("E:\\Moved\\");
        if (protect)
            job.Protection = Protection();
        const QString nativeSource = Native(Data + "log.txt");
        SetCopyFaultHookForTests([&](const QString &source, const QString &, int chunk) {
            if (source == nativeSource && chunk == 0) {
                QFile file(nativeSource);
                if (file.open(QIODevice::Append))
                    file.write("second line\n");
            }
            return 0;
        });
        Run(job);
        SetCopyFaultHookForTests({});

        QCOMPARE(Read(Data + "log.txt"), QByteArray("first line\nsecond line\n"));
        QCOMPARE(Read(QStringLiteral("E:\\Moved\\log.txt")), QByteArray("first line\n"));
        if (protect)
            QVERIFY(DeletedRows().isEmpty());
        const auto observer = Run(job);
        QCOMPARE(Read(Data + "log.txt"), Missing);
        QCOMPARE(Read(QStringLiteral("E:\\Moved\\log.txt")), QByteArray("first line\nsecond line\n"));
        QCOMPARE(observer->FailedLogCount(), 0);
    }

private:
    static QString MapToBackup(const QString &source)
    {
        TCopyFolderThread thread;
        TThreadBase::ReleaseLiveWorker();
        thread.SetDestination(Backup);
        return thread.MapToDestination(source);
    }
};

QTEST_GUILESS_MAIN(TestCopyEngine)
#include "tst_copyengine.moc"
