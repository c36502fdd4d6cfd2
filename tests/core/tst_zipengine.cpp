#include "LockingProcess.h"
#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "TestProtection.h"

#include "db/JobDatabase.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "engine/ZipFolderThread.h"
#include "model/FileFilter.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/ZipArchive.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

using namespace trovalo;
using trovalo::test::RandomBytes;
using trovalo::test::ReadOrMissing;
using trovalo::test::TRecordingObserver;

namespace {

constexpr qint64 OldTime = 1672574400; // 2023-01-01, before every run

void Put(const QString &letterPath, const QByteArray &content, qint64 modified = OldTime)
{
    trovalo::test::PutAt(letterPath, content, modified);
}

QByteArray Read(const QString &letterPath)
{
    return trovalo::test::ReadAt(letterPath);
}

const QString JobDatabase = QStringLiteral("E:\\Config\\Job.Zjd");
const QString Backup = QStringLiteral("E:\\Backup\\");
const QString Data = QStringLiteral("C:\\Data\\");
const QString CZip = QStringLiteral("E:\\Backup\\C.Zip");
const QString Password = QStringLiteral("correct horse");

struct TJob
{
    TArchiveMode Mode = amIncremental;
    QStringList Include{Data};
    QStringList FileList;
    QString Password;
    TDeletionProtection Protection;
};

QString Native(const QString &letterPath)
{
    return NativePath(letterPath);
}

using test::Protection;

// A file date after every run of the test (the runs record their start).
qint64 Later()
{
    return QDateTime::currentSecsSinceEpoch() + 3600;
}

std::unique_ptr<TRecordingObserver> Run(const TJob &job, std::unique_ptr<TRecordingObserver> observer = {})
{
    if (!observer)
        observer = std::make_unique<TRecordingObserver>();
    TZipFolderThread thread;
    thread.SetArchiveMode(job.Mode);
    thread.SetInclude(job.Include);
    thread.SetFileList(job.FileList);
    thread.SetDestination(Backup);
    thread.SetPassword(job.Password);
    thread.SetDeletionProtection(job.Protection);
    thread.SetLogFileName(JobDatabase);
    TFileFilter filter;
    filter.SetExcludeFileExtList({QStringLiteral(".tmp")});
    thread.SetFileFilter(filter);
    thread.SetObserver(observer.get());
    thread.RunSynchronously();
    TThreadBase::ReleaseLiveWorker();
    return observer;
}

// Entry name -> (content, encryption) of an archive, read with its password.
struct TEntry
{
    QByteArray Content;
    TZipEncryption Encryption = TZipEncryption::None;
    bool operator==(const TEntry &) const = default;
};
QMap<QString, TEntry> ArchiveContent(const QString &archive, const QString &password = {})
{
    QMap<QString, TEntry> content;
    TZipArchive zip;
    zip.Open(archive, TZipOpenMode::Read);
    zip.SetPassword(password);
    const QString target = QStringLiteral("E:\\Extracted\\entry");
    for (const TZipEntryInfo &entry : zip.Entries()) {
        zip.ExtractEntry(entry.Name, target);
        content.insert(entry.Name, {Read(target), entry.Encryption});
    }
    return content;
}

// Entry name -> the entry's stored bytes (packed and, with a password,
// encrypted) as the archive holds them, read from its local headers (the
// archives written here give the sizes there).
QMap<QString, QByteArray> StoredBytes(const QString &archive)
{
    const QByteArray bytes = Read(archive);
    const auto number = [&](qsizetype at, int size) {
        quint32 value = 0;
        for (int k = size - 1; k >= 0; --k)
            value = (value << 8) | quint8(bytes.at(at + k));
        return qsizetype(value);
    };
    QMap<QString, QByteArray> stored;
    qsizetype at = 0;
    while (at + 30 <= bytes.size() && bytes.mid(at, 4) == QByteArray("PK\x03\x04", 4)) {
        const qsizetype packed = number(at + 18, 4), nameSize = number(at + 26, 2),
                        extraSize = number(at + 28, 2);
        const qsizetype data = at + 30 + nameSize + extraSize;
        stored.insert(QString::fromUtf8(bytes.mid(at + 30, nameSize)), bytes.mid(data, packed));
        at = data + packed;
    }
    return stored;
}

QList<TFileLogRow> FileLogRows()
{
    return TJobDatabase(JobDatabase).FileRows();
}

QStringList RowsOf(const TRecordingObserver &observer, const QString &action, TEvent event)
{
    QStringList rows;
    for (const TRecordingObserver::TLogRow &row : observer.Logs)
        if (row.Action == action && row.Event == event)
            rows << row.FileName;
    rows.sort();
    return rows;
}

QStringList Added(const TRecordingObserver &observer)
{
    return RowsOf(observer, QStringLiteral("Zip File"), eSuccess);
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

} // namespace

class TestZipEngine : public QObject
{
    Q_OBJECT

    std::unique_ptr<trovalo::test::TTestDrives> FDrives;

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
    void cleanup() { FDrives.reset(); }

    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("entry");
        QTest::newRow("drive folder file") << "C:\\Users\\Ann\\a.txt"
                                           << "E:\\Backup\\C.Zip"
                                           << "Users/Ann/a.txt";
        QTest::newRow("drive root file") << "D:\\x.txt"
                                         << "E:\\Backup\\D.Zip"
                                         << "x.txt";
        QTest::newRow("share folder") << "\\\\srv\\data\\x\\"
                                      << "E:\\Backup\\__srv~data.Zip"
                                      << "data/x/";
        QTest::newRow("share file") << "\\\\srv\\data\\x\\a.txt"
                                    << "E:\\Backup\\__srv~data.Zip"
                                    << "data/x/a.txt";
        QTest::newRow("share root") << "\\\\srv\\data\\"
                                    << "E:\\Backup\\__srv~data.Zip"
                                    << "data/";
    }
    void names()
    {
        QFETCH(QString, path);
        QFETCH(QString, archive);
        QFETCH(QString, entry);
        TZipFolderThread thread;
        thread.SetDestination(Backup);
        QCOMPARE(thread.ArchiveName(path), archive);
        QCOMPARE(TZipFolderThread::EntryName(path), entry);
        TThreadBase::ReleaseLiveWorker();
    }

    // Two include folders of one drive share its archive; a single file of
    // another drive gets its own.
    void oneArchivePerDrive()
    {
        Put(QStringLiteral("C:\\A\\a.txt"), "a");
        Put(QStringLiteral("C:\\B\\deep\\b.txt"), "b");
        Put(QStringLiteral("D:\\x.txt"), "x");
        TJob job;
        job.Include = {QStringLiteral("C:\\A\\"), QStringLiteral("C:\\B\\")};
        job.FileList = {QStringLiteral("D:\\x.txt")};
        const auto observer = Run(job);
        QVERIFY(observer->Errors.isEmpty());
        QCOMPARE(ArchiveContent(CZip).keys(), (QStringList{"A/a.txt", "B/deep/b.txt"}));
        QCOMPARE(ArchiveContent(QStringLiteral("E:\\Backup\\D.Zip")).value("x.txt").Content, QByteArray("x"));
        QCOMPARE(Added(*observer), (QStringList{"C:\\A\\a.txt", "C:\\B\\deep\\b.txt", "D:\\x.txt"}));
        QVERIFY(InFileLog(QStringLiteral("C:\\B\\deep\\b.txt")));
        QVERIFY(InFileLog(QStringLiteral("D:\\x.txt")));
        QCOMPARE(RunStatus(), TJobDatabase::StatusFinished);
        QCOMPARE(observer->Statuses.constLast().StatusMsg, TJobDatabase::StatusFinished);
    }

    void encryption_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<TZipEncryption>("encryption");
        QTest::newRow("no password") << QString() << TZipEncryption::None;
        QTest::newRow("password") << Password << TZipEncryption::Aes;
    }
    void encryption()
    {
        QFETCH(QString, password);
        QFETCH(TZipEncryption, encryption);
        PutStandardSource();
        TJob job;
        job.Password = password;
        const auto observer = Run(job);
        const QMap<QString, TEntry> content = ArchiveContent(CZip, password);
        QCOMPARE(content, (QMap<QString, TEntry>{{"Data/a.txt", {"alpha", encryption}},
                                                 {"Data/sub/b.txt", {"beta", encryption}}}));
        // The password shows nowhere.
        if (!password.isEmpty()) {
            for (const TStatusReport &status : observer->Statuses)
                QVERIFY(!status.StatusMsg.contains(password));
            for (const TRecordingObserver::TLogRow &row : observer->Logs)
                QVERIFY(!(row.FileName + row.Info).contains(password));
            for (const TRecordingObserver::TErrorRow &error : observer->Errors)
                QVERIFY(!error.Message.contains(password));
        }
    }

    // An incremental run adds only what changed, and leaves the archive
    // alone when nothing did.
    void incremental()
    {
        PutStandardSource();
        Run({});
        const QByteArray first = Read(CZip);

        const auto unchanged = Run({});
        QVERIFY(Added(*unchanged).isEmpty());
        QCOMPARE(Read(CZip), first);

        Put(Data + QStringLiteral("sub\\b.txt"), "beta 2", Later());
        const auto changed = Run({});
        QCOMPARE(Added(*changed), QStringList{"C:\\Data\\sub\\b.txt"});
        const QMap<QString, TEntry> content = ArchiveContent(CZip);
        QCOMPARE(content.value("Data/sub/b.txt").Content, QByteArray("beta 2"));
        QCOMPARE(content.value("Data/a.txt").Content, QByteArray("alpha"));

        // The archive was lost: the unchanged files are added again.
        QVERIFY(QFile::remove(Native(CZip)));
        const auto rebuilt = Run({});
        QCOMPARE(Added(*rebuilt), (QStringList{"C:\\Data\\a.txt", "C:\\Data\\sub\\b.txt"}));
    }

    void modes_data()
    {
        QTest::addColumn<TArchiveMode>("mode");
        QTest::addColumn<QStringList>("secondRun"); // added by a run after a change of a.txt and a new c.txt
        QTest::newRow("only new") << amOnlyNew << QStringList{"C:\\Data\\c.txt"};
        QTest::newRow("time stamped")
            << amTimeStamped << QStringList{"C:\\Data\\a.txt", "C:\\Data\\c.txt", "C:\\Data\\sub\\b.txt"};
        QTest::newRow("mirror") << amMirror << QStringList{};
    }
    void modes()
    {
        QFETCH(TArchiveMode, mode);
        QFETCH(QStringList, secondRun);
        PutStandardSource();
        Run({});
        Put(Data + QStringLiteral("a.txt"), "alpha 2", Later());
        Put(Data + QStringLiteral("c.txt"), "gamma");
        TJob job;
        job.Mode = mode;
        const auto observer = Run(job);
        QCOMPARE(Added(*observer), secondRun);
        QCOMPARE(RunStatus(), TJobDatabase::StatusFinished);
    }

    // "Completely New" rebuilds its archives and removes the others.
    void completelyNew()
    {
        PutStandardSource();
        Run({});
        QVERIFY(QFile::remove(Native(Data + QStringLiteral("a.txt"))));
        Put(QStringLiteral("E:\\Backup\\X.Zip"), "an archive of a drive no longer in the job");
        TJob job;
        job.Mode = amCompletelyNew;
        const auto observer = Run(job);
        QVERIFY(observer->Errors.isEmpty());
        QCOMPARE(ArchiveContent(CZip).keys(), QStringList{"Data/sub/b.txt"});
        QCOMPARE(Read(QStringLiteral("E:\\Backup\\X.Zip")), QByteArray("<missing>"));
    }

    // A "Completely New" run rebuilds its archive from the previous one:
    // an unchanged file keeps its stored bytes (nothing packed or encrypted
    // again) unless the password changed; changed and new files are added,
    // a file gone loses its entry, and every file of the run is logged and
    // recorded as a rebuild would.
    void completelyNewKeepsUnchangedEntries_data()
    {
        QTest::addColumn<QString>("firstPassword");
        QTest::addColumn<QString>("secondPassword");
        QTest::addColumn<bool>("kept");
        const QString other = QStringLiteral("battery staple");
        QTest::newRow("no password") << QString() << QString() << true;
        QTest::newRow("password") << Password << Password << true;
        QTest::newRow("password changed") << Password << other << false;
        QTest::newRow("password removed") << Password << QString() << false;
        QTest::newRow("password added") << QString() << Password << false;
    }
    void completelyNewKeepsUnchangedEntries()
    {
        QFETCH(QString, firstPassword);
        QFETCH(QString, secondPassword);
        QFETCH(bool, kept);
        PutStandardSource();
        Put(Data + QStringLiteral("c.txt"), "gamma");
        TJob job;
        job.Mode = amCompletelyNew;
        job.Password = firstPassword;
        Run(job);
        const QMap<QString, QByteArray> before = StoredBytes(CZip);
        QCOMPARE(before.size(), 3);

        Put(Data + QStringLiteral("sub\\b.txt"), "beta 2", Later());
        QVERIFY(QFile::remove(Native(Data + QStringLiteral("c.txt"))));
        Put(Data + QStringLiteral("d.txt"), "delta");
        job.Password = secondPassword;
        const auto observer = Run(job);

        const TZipEncryption encryption =
            secondPassword.isEmpty() ? TZipEncryption::None : TZipEncryption::Aes;
        QCOMPARE(ArchiveContent(CZip, secondPassword),
                 (QMap<QString, TEntry>{{"Data/a.txt", {"alpha", encryption}},
                                        {"Data/d.txt", {"delta", encryption}},
                                        {"Data/sub/b.txt", {"beta 2", encryption}}}));
        const QMap<QString, QByteArray> after = StoredBytes(CZip);
        QCOMPARE(after.value("Data/a.txt") == before.value("Data/a.txt"), kept);
        QVERIFY(after.value("Data/sub/b.txt") != before.value("Data/sub/b.txt"));
        QCOMPARE(Added(*observer),
                 (QStringList{"C:\\Data\\a.txt", "C:\\Data\\d.txt", "C:\\Data\\sub\\b.txt"}));
        for (const char *file : {"a.txt", "d.txt", "sub\\b.txt"})
            QVERIFY(InFileLog(Data + file));
        QVERIFY(observer->Errors.isEmpty());
        QCOMPARE(RunStatus(), TJobDatabase::StatusFinished);
        const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
        if (!unzip.isEmpty() && secondPassword.isEmpty())
            QCOMPARE(QProcess::execute(unzip, {QStringLiteral("-tq"), Native(CZip)}), 0);
    }

    // With protection, the previous archive goes to the deleted-files
    // folder as it was, while the new one is built from it.
    void completelyNewProtectsThePreviousArchive()
    {
        PutStandardSource();
        TJob job;
        job.Mode = amCompletelyNew;
        job.Protection = Protection();
        Run(job);
        const QByteArray previous = Read(CZip);
        Put(Data + QStringLiteral("a.txt"), "alpha 2", Later());
        const auto observer = Run(job);

        QVERIFY(observer->Errors.isEmpty());
        QCOMPARE(ArchiveContent(CZip).value("Data/a.txt").Content, QByteArray("alpha 2"));
        QStringList protectedArchives;
        QDirIterator found(Native(QStringLiteral("C:\\Deleted")), {QStringLiteral("C.Zip")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (found.hasNext())
            protectedArchives << found.next();
        QCOMPARE(protectedArchives.size(), 1);
        QFile kept(protectedArchives.constFirst());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), previous);
    }

    // An include folder that is not there when a "Completely New" run
    // starts (an unplugged disk, a share offline) is not an empty folder:
    // the archive holding its backup is kept, with or without protection,
    // and the folders that are there are rebuilt into it.
    void completelyNewKeepsBackupOfMissingFolder_data()
    {
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<bool>("protect");
        QTest::addColumn<QStringList>("entries");
        const QString a = QStringLiteral("C:\\A\\"), gone = QStringLiteral("C:\\Gone\\");
        const QStringList all{"A/a.txt", "Gone/g.txt"};
        QTest::newRow("one of two folders") << QStringList{a, gone} << false << all;
        QTest::newRow("one of two folders, protected") << QStringList{a, gone} << true << all;
        QTest::newRow("the only folder") << QStringList{gone} << false << all;
        QTest::newRow("the only folder, protected") << QStringList{gone} << true << all;
        QTest::newRow("all folders there") << QStringList{a} << false << QStringList{"A/a.txt"};
    }
    void completelyNewKeepsBackupOfMissingFolder()
    {
        QFETCH(QStringList, include);
        QFETCH(bool, protect);
        QFETCH(QStringList, entries);
        Put(QStringLiteral("C:\\A\\a.txt"), "a");
        Put(QStringLiteral("C:\\Gone\\g.txt"), "g");
        TJob job;
        job.Include = {QStringLiteral("C:\\A\\"), QStringLiteral("C:\\Gone\\")};
        Run(job);
        QVERIFY(QDir(Native(QStringLiteral("C:\\Gone"))).removeRecursively());
        Put(QStringLiteral("C:\\A\\a.txt"), "a 2", Later());

        job.Mode = amCompletelyNew;
        job.Include = include;
        if (protect)
            job.Protection = Protection();
        const auto observer = Run(job);
        const QMap<QString, TEntry> content = ArchiveContent(CZip);
        QCOMPARE(content.keys(), entries);
        QCOMPARE(content.value("Gone/g.txt").Content, entries.contains("Gone/g.txt") ? "g" : QByteArray());
        if (include.contains(QStringLiteral("C:\\A\\")))
            QCOMPARE(content.value("A/a.txt").Content, QByteArray("a 2"));
        const QStringList kept = RowsOf(*observer, QStringLiteral("Zip File"), eFailedorSkip);
        QCOMPARE(kept,
                 include.contains(QStringLiteral("C:\\Gone\\")) ? QStringList{"C:\\Gone\\"} : QStringList{});
        for (const TRecordingObserver::TLogRow &row : observer->Logs) {
            if (row.FileName == QLatin1String("C:\\Gone\\"))
                QCOMPARE(row.Info, QStringLiteral("Folder not available: its backup copy was kept"));
        }
        QVERIFY2(observer->Errors.isEmpty(), qPrintable(observer->Errors.value(0).Message));
        QCOMPARE(RunStatus(), TJobDatabase::StatusFinished);
    }

    // A cancel while the archive is written keeps the previous archive and
    // records nothing; so does a "Completely New" run.
    void cancelKeepsOldArchive_data()
    {
        QTest::addColumn<TArchiveMode>("mode");
        QTest::newRow("incremental") << amIncremental;
        QTest::newRow("completely new") << amCompletelyNew;
    }
    void cancelKeepsOldArchive()
    {
        QFETCH(TArchiveMode, mode);
        PutStandardSource();
        Run({});
        const QByteArray before = Read(CZip);
        Put(Data + QStringLiteral("large.bin"), RandomBytes(24 << 20));
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnProgress = [](TThreadBase &sender, double percent) {
            if (percent > 10)
                sender.RequestStop();
        };
        const QList<TFileLogRow> rowsBefore = FileLogRows();
        TJob job;
        job.Mode = mode;
        observer = Run(job, std::move(observer));
        QCOMPARE(Read(CZip), before);
        QCOMPARE(FileLogRows(), rowsBefore);
        QVERIFY(!InFileLog(QStringLiteral("C:\\Data\\large.bin")));
        QVERIFY(Added(*observer).isEmpty());
        QCOMPARE(RunStatus(), TJobDatabase::StatusCanceled);
        QCOMPARE(observer->Statuses.constLast().StatusMsg, TJobDatabase::StatusCanceled);
        const QStringList leftovers = QDir(Native(Backup)).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(leftovers, QStringList{"C.Zip"});
    }

    // An archive on a FAT32 stick cannot hold a file of 4 GiB: it is listed
    // before anything is written, the others are archived; names FAT
    // refuses are fine inside an archive.
    void fatStickLeavesOutWhatItsArchiveCannotHold()
    {
        FDrives.reset();
        FDrives = std::make_unique<trovalo::test::TTestDrives>(
            QMap<QChar, QString>{{'C', QString()}, {'E', QStringLiteral("bus=USB,fs=vfat")}});
        Put(Data + QStringLiteral("a.txt"), "alpha");
        Put(LetterPath(Native(Data) + "colon:name.txt"), "colon");
        QFile big(Native(Data) + "big.bin"); // sparse: never read
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 32));
        big.close();
        const auto observer = Run({});

        QCOMPARE(observer->Logs.first().FileName, Data + "big.bin");
        QVERIFY2(
            observer->Logs.first().Info.startsWith("Not copied: a FAT32 drive cannot hold a file of 4 GB"),
            qPrintable(observer->Logs.first().Info));
        QCOMPARE(observer->FailedLogCount(), 1);
        QCOMPARE(ArchiveContent(CZip).keys(), (QStringList{"Data/a.txt", "Data/colon:name.txt"}));
        QVERIFY(!InFileLog(Data + "big.bin"));
    }

    // What a killed run left beside the archive goes before the archive is
    // written, with a row each; what a running job holds, and a user's file
    // that merely looks similar, stay.
    void leftoversBesideTheArchive()
    {
        PutStandardSource();
        const QString folder = Native(Backup);
        QVERIFY(QDir().mkpath(folder));
        const QString killed = ".~trovalo-00c0ffee.part", running = ".~trovalo-0000beef.part";
        test::WriteFile(folder + killed, "half an archive");
        test::WriteFile(folder + running, "a running job's");
        test::WriteFile(folder + ".~report.part", "a user's");
        const test::TLockingProcess holder(folder + running);
        QVERIFY(holder.Holding());
        const auto observer = Run({});

        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList({".~report.part", running, "C.Zip"}));
        QCOMPARE(observer->LogsOf("Remove Leftover"),
                 QStringList{Backup + killed + "|Removed leftover of an interrupted run (15 bytes)"});
        QCOMPARE(observer->Outcome.LeftoversRemoved, 1);
        QCOMPARE(observer->Outcome.LeftoverBytes, 15);
        QCOMPARE(observer->Outcome.FailedFiles, 0);
    }

    // An archive growing past the largest file the drive holds (EFBIG, as
    // at 4 GiB on FAT32; here a file-size limit on the process) fails
    // cleanly: the previous archive stays as it was, nothing is recorded.
    void archiveTooLargeForTheDrive()
    {
        PutStandardSource();
        Run({});
        const QByteArray before = Read(CZip);
        Put(Data + QStringLiteral("large.bin"), RandomBytes(4 << 20), Later());
        struct rlimit old
        {
        };
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = rlim_t(before.size() + (1 << 20));
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const auto observer = Run({});
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);

        QCOMPARE(Read(CZip), before);
        QVERIFY(!InFileLog(QStringLiteral("C:\\Data\\large.bin")));
        QCOMPARE(observer->Errors.size(), 1);
        QVERIFY2(observer->Errors.first().Message.contains("(4 GB on FAT32); the previous archive is kept"),
                 qPrintable(observer->Errors.first().Message));
        QCOMPARE(QDir(Native(Backup)).entryList(QDir::Files | QDir::Hidden), QStringList{"C.Zip"});
    }

    // A file that vanishes before the archive is written is reported; the
    // others are still added and recorded.
    void unreadableFileLeftOut()
    {
        const QStringList files{"C:\\Data\\a.txt", "C:\\Data\\b.txt", "C:\\Data\\c.txt"};
        for (const QString &file : files)
            Put(file, file.toUtf8());
        // When the write begins, one of the files not read yet goes.
        QString vanished;
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnStatus = [&](TThreadBase &, const TStatusReport &report) {
            const QString prefix = QStringLiteral("Adding File : ");
            if (!vanished.isEmpty() || !report.StatusMsg.startsWith(prefix))
                return;
            vanished = files.at(files.indexOf(report.StatusMsg.mid(prefix.size())) == 2 ? 0 : 2);
            QVERIFY(QFile::remove(Native(vanished)));
        };
        observer = Run({}, std::move(observer));
        QStringList kept = files;
        kept.removeOne(vanished);
        QStringList entries;
        for (const QString &file : kept)
            entries << TZipFolderThread::EntryName(file);
        QCOMPARE(ArchiveContent(CZip).keys(), entries);
        QCOMPARE(Added(*observer), kept);
        QCOMPARE(RowsOf(*observer, QStringLiteral("Zip File"), eFailedorSkip), QStringList{vanished});
        QVERIFY(!InFileLog(vanished));
        QVERIFY(InFileLog(kept.constLast()));
        QCOMPARE(observer->Errors.size(), 1);
        QVERIFY(observer->Errors.first().Message.startsWith(QLatin1String("(11) ")));
        QCOMPARE(RunStatus(), TJobDatabase::StatusFinished);
    }

    // A damaged archive takes no file (nothing recorded, so the next run
    // tries again); the job's other archives are written.
    void damagedArchive()
    {
        Put(Data + QStringLiteral("a.txt"), "alpha");
        Put(QStringLiteral("D:\\x.txt"), "x");
        Put(CZip, "not an archive at all, but long enough to look for a directory");
        TJob job;
        job.FileList = {QStringLiteral("D:\\x.txt")};
        const auto observer = Run(job);
        QCOMPARE(Read(CZip), QByteArray("not an archive at all, but long enough to look for a directory"));
        QCOMPARE(RowsOf(*observer, QStringLiteral("Zip File"), eFailedorSkip),
                 QStringList{"C:\\Data\\a.txt"});
        QVERIFY(!InFileLog(QStringLiteral("C:\\Data\\a.txt")));
        QCOMPARE(Added(*observer), QStringList{"D:\\x.txt"});
        QCOMPARE(observer->Errors.size(), 1);
        QVERIFY(observer->Errors.first().Message.startsWith(QLatin1String("(19) ")));
    }

    // A move deletes the files directly in its folders, once the archive
    // holding them is written; files in sub-folders stay.
    void move()
    {
        PutStandardSource();
        TJob job;
        job.Mode = amMove;
        const auto observer = Run(job);
        QCOMPARE(ArchiveContent(CZip).keys(), (QStringList{"Data/a.txt", "Data/sub/b.txt"}));
        QCOMPARE(Read(Data + QStringLiteral("a.txt")), QByteArray("<missing>"));
        QCOMPARE(Read(Data + QStringLiteral("sub\\b.txt")), QByteArray("beta"));
        QCOMPARE(Read(Data + QStringLiteral("skip.tmp")), QByteArray("filtered"));
    }

    // What this engine writes, Info-ZIP lists and tests.
    void readableByUnzip()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
            QSKIP("unzip is not installed (scripts/install-deps.sh installs it)");
        PutStandardSource();
        Put(Data + QStringLiteral("photo.jpg"), RandomBytes(100000));
        Run({});
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-t"), Native(CZip)});
        QVERIFY(unzip.waitForFinished());
        const QString output = QString::fromLocal8Bit(unzip.readAllStandardOutput());
        QCOMPARE(unzip.exitCode(), 0);
        QVERIFY2(output.contains(QLatin1String("No errors detected")), qPrintable(output));
        for (const char *name : {"Data/a.txt", "Data/sub/b.txt", "Data/photo.jpg"})
            QVERIFY2(output.contains(QLatin1String(name)), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestZipEngine)
#include "tst_zipengine.moc"
