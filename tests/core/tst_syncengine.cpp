#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/SyncDatabase.h"
#include "engine/SyncFileData.h"
#include "engine/SyncFolderThread.h"
#include "engine/ThreadHandOffObserver.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"

#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <memory>

using namespace trovalo;
using trovalo::test::PutAt;
using trovalo::test::ReadAt;
using trovalo::test::TRecordingObserver;

namespace {

const QString DatabaseFile = QStringLiteral("E:\\Config\\Sync.Zjt");
const QString UsbDocs = QStringLiteral("E:\\Docs\\");
const QString PcDocs = QStringLiteral("C:\\Docs\\");
const QByteArray Missing("<missing>");
const QString CopyAction = QStringLiteral("Copy File");
const QString DeleteAction = QStringLiteral("Delete File");
// Even seconds, so the file dates (two-second precision) keep them apart.
constexpr qint64 BaseTime = 1672574400;
constexpr qint64 ATime = BaseTime + 1000;
constexpr qint64 BTime = BaseTime + 2000;

struct TSyncJob
{
    QList<QPair<QString, QString>> Folders{{QStringLiteral("\\Docs\\"), PcDocs}};
    QList<QPair<QString, QString>> Files;
    TSyncDirection Direction = sdBidi;
    TSyncDefaultAction Rule = sdaNewVersion;
    QString Database = DatabaseFile;
};

// Sets a thread up as the job controller does.
void Configure(TSyncFolderThread &thread, const TSyncJob &job, TWorkerObserver *observer)
{
    TSyncItems folders;
    for (const auto &pair : job.Folders)
        folders.Add(pair.first, pair.second, true);
    TSyncItems files;
    for (const auto &pair : job.Files)
        files.Add(pair.first, pair.second, false);
    thread.SetLogFileName(job.Database);
    thread.SetSyncItems(folders);
    thread.SetSyncFiles(files);
    thread.SetSyncDirection(job.Direction);
    thread.SetSyncDefaultAction(job.Rule);
    thread.SetObserver(observer);
}

std::unique_ptr<TRecordingObserver> Run(const TSyncJob &job,
                                        std::unique_ptr<TRecordingObserver> observer = {})
{
    if (!observer)
        observer = std::make_unique<TRecordingObserver>();
    TSyncFolderThread thread;
    Configure(thread, job, observer.get());
    thread.RunSynchronously();
    TThreadBase::ReleaseLiveWorker();
    return observer;
}

int SuccessCount(const TRecordingObserver &observer, const QString &action)
{
    int count = 0;
    for (const TRecordingObserver::TLogRow &row : observer.Logs)
        count += row.Action == action && row.Event == eSuccess ? 1 : 0;
    return count;
}

// Status texts with consecutive repeats folded into one.
QStringList StatusTexts(const TRecordingObserver &observer)
{
    QStringList texts;
    for (const TStatusReport &report : observer.Statuses)
        if (texts.isEmpty() || texts.constLast() != report.StatusMsg)
            texts << report.StatusMsg;
    return texts;
}

QList<TSyncFileRow> Rows(const QString &database = DatabaseFile)
{
    return TSyncDatabase(database).Rows();
}

std::optional<TSyncFileRow> RowOf(const QString &fileName)
{
    for (const TSyncFileRow &row : Rows())
        if (row.FileName.compare(fileName, Qt::CaseInsensitive) == 0)
            return row;
    return std::nullopt;
}

void Remove(const QString &letterPath)
{
    QVERIFY(QFile::remove(NativePath(letterPath)));
}

// What a test does to one side's file before the run it looks at.
void Apply(const QString &step, const QString &path, const QByteArray &content, qint64 time)
{
    if (step == QLatin1String("put") || step == QLatin1String("change"))
        PutAt(path, content, time);
    else if (step == QLatin1String("delete"))
        Remove(path);
}

} // namespace

Q_DECLARE_METATYPE(TSyncDirection)
Q_DECLARE_METATYPE(TSyncDefaultAction)
Q_DECLARE_METATYPE(TFileAction)

class TestSyncEngine : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TTestDrives> FDrives;

    // A pair synced once: "base" on both sides with both dates recorded.
    void SyncOnce(const QString &name, TSyncJob job = {})
    {
        PutAt(UsbDocs + name, "base", BaseTime);
        job.Direction = sdBidi;
        Run(job);
        QCOMPARE(ReadAt(PcDocs + name), QByteArray("base"));
        const std::optional<TSyncFileRow> row = RowOf(name);
        QVERIFY(row && row->DateFolderA && row->DateFolderB);
    }

private slots:
    void init() { FDrives = std::make_unique<test::TTestDrives>(); }
    void cleanup()
    {
        SetCopyFaultHookForTests({});
        FDrives.reset();
    }

    void sizeText_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("no file") << qint64(-1) << "File Not Found";
        QTest::newRow("empty") << qint64(0) << "0 Bytes";
        QTest::newRow("largest byte count") << qint64(1023) << "1023 Bytes";
        QTest::newRow("kilobytes") << qint64(1536) << "1.5 KB";
        QTest::newRow("kilobytes, two decimals") << qint64(1034) << "1.01 KB";
        QTest::newRow("megabytes") << qint64(3 * 1024 * 1024 / 2) << "1.5 MB";
        QTest::newRow("gigabytes") << qint64(3) * 1024 * 1024 * 1024 << "3 GB";
    }
    void sizeText()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        TFileData data;
        data.FFileSize = size;
        QCOMPARE(data.SizeText(), text);
    }

    void fileDataReadsTheFile()
    {
        TFileData data;
        data.SetFileName(QStringLiteral("C:\\none.txt"));
        QVERIFY(data.FError);
        QCOMPARE(data.FFileSize, qint64(-1));
        PutAt(QStringLiteral("C:\\some.txt"), "12345", BaseTime);
        data.SetFileName(QStringLiteral("C:\\some.txt"));
        QVERIFY(!data.FError);
        QCOMPARE(data.FFileSize, qint64(5));
        QCOMPARE(data.FLastChangeTime, FileDate(QStringLiteral("C:\\some.txt")).value());
    }

    // The in-memory index answers as the queries do, and follows the
    // writes made after it was loaded.
    void indexedLookups_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("folderA");
        QTest::addColumn<QString>("folderB");
        QTest::newRow("same spelling") << "Sub\\file.txt"
                                       << "\\Docs\\"
                                       << "C:\\Docs\\";
        QTest::newRow("other case") << "SUB\\FILE.TXT"
                                    << "\\docs\\"
                                    << "c:\\docs\\";
        QTest::newRow("non-ASCII, other case") << "ÄRGER.doc"
                                               << "\\Docs\\"
                                               << "C:\\DOCS\\";
        QTest::newRow("key shared by two rows") << "twice.txt"
                                                << "\\Docs\\"
                                                << "C:\\Docs\\";
        QTest::newRow("other folder") << "Sub\\file.txt"
                                      << "\\Doc\\"
                                      << "D:\\Docs\\";
        QTest::newRow("no such file") << "none.txt"
                                      << "\\Docs\\"
                                      << "C:\\Docs\\";
    }
    void indexedLookups()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, folderA);
        QFETCH(QString, folderB);
        PutAt(UsbDocs + QStringLiteral("seed.txt"), "s", ATime);
        Run({}); // creates the database
        TSyncDatabase database(DatabaseFile);
        database.Append(QStringLiteral("Sub\\file.txt"), QStringLiteral("\\Docs\\"), PcDocs);
        database.Append(QStringLiteral("ärger.DOC"), QStringLiteral("\\Docs\\"), PcDocs);
        database.Append(QStringLiteral("twice.txt"), QStringLiteral("\\Docs\\"), PcDocs);
        database.Append(QStringLiteral("TWICE.txt"), QStringLiteral("\\Docs\\"), PcDocs);
        const auto idOf = [](const std::optional<TSyncFileRow> &row) { return row ? row->ID : qint64(-1); };
        const qint64 queriedA = idOf(database.FindByFolderA(fileName, folderA));
        const qint64 queriedB = idOf(database.FindByFolderB(fileName, folderB));
        database.LoadIndex();
        QVERIFY(database.Indexed());
        QCOMPARE(idOf(database.FindByFolderA(fileName, folderA)), queriedA);
        QCOMPARE(idOf(database.FindByFolderB(fileName, folderB)), queriedB);

        const qint64 added = database.Append(fileName + QStringLiteral(".new"), folderA, folderB);
        QCOMPARE(idOf(database.FindByFolderA(fileName.toUpper() + QStringLiteral(".NEW"), folderA)), added);
        database.SetDates(added, 1.5, 2.5);
        const std::optional<TSyncFileRow> row =
            database.FindByFolderB(fileName + QStringLiteral(".new"), folderB);
        QVERIFY(row && row->DateFolderA == 1.5 && row->DateFolderB == 2.5);
        QCOMPARE(database.FindById(added)->FileName, fileName + QStringLiteral(".new"));
    }

    // Both directions, row by row: History "synced" means one earlier run
    // brought "base" to both sides; then each side is kept, changed (A to
    // "a-new", B to "b-new", B the later), deleted, or, without history,
    // put there or left absent.
    void bothDirections_data()
    {
        QTest::addColumn<bool>("history");
        QTest::addColumn<QString>("stepA");
        QTest::addColumn<QString>("stepB");
        QTest::addColumn<TSyncDefaultAction>("rule");
        QTest::addColumn<QByteArray>("expectA");
        QTest::addColumn<QByteArray>("expectB");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("deletes");
        const QByteArray a("a-new"), b("b-new"), base("base");
        QTest::newRow("only A, no row: copied to B") << false << "put"
                                                     << "absent" << sdaAsk << a << a << 1 << 0;
        QTest::newRow("only B, no row: copied to A") << false << "absent"
                                                     << "put" << sdaAsk << b << b << 1 << 0;
        QTest::newRow("A unchanged, B deleted: nothing")
            << true << "keep"
            << "delete" << sdaNewVersion << base << Missing << 0 << 0;
        QTest::newRow("A deleted, B unchanged: nothing")
            << true << "delete"
            << "keep" << sdaNewVersion << Missing << base << 0 << 0;
        QTest::newRow("A changed, B deleted, newest: copied back")
            << true << "change"
            << "delete" << sdaNewVersion << a << a << 1 << 0;
        QTest::newRow("A changed, B deleted, USB version: copied back")
            << true << "change"
            << "delete" << sdaUseUsbDriveVersion << a << a << 1 << 0;
        QTest::newRow("A changed, B deleted, computer version: copied back")
            << true << "change"
            << "delete" << sdaUseComputerVersion << a << a << 1 << 0;
        QTest::newRow("A changed, B deleted, do nothing: kept")
            << true << "change"
            << "delete" << sdaNothing << a << Missing << 0 << 0;
        QTest::newRow("A deleted, B changed, computer version: copied back")
            << true << "delete"
            << "change" << sdaUseComputerVersion << b << b << 1 << 0;
        QTest::newRow("both unchanged: nothing") << true << "keep"
                                                 << "keep" << sdaNewVersion << base << base << 0 << 0;
        QTest::newRow("B changed, newest: copied to A") << true << "keep"
                                                        << "change" << sdaNewVersion << b << b << 1 << 0;
        // Changed on one side only is no conflict: every rule passes the
        // change on.
        QTest::newRow("B changed, USB version: copied to A")
            << true << "keep"
            << "change" << sdaUseUsbDriveVersion << b << b << 1 << 0;
        QTest::newRow("B changed, do nothing: copied to A") << true << "keep"
                                                            << "change" << sdaNothing << b << b << 1 << 0;
        QTest::newRow("B changed, ask: copied to A unasked") << true << "keep"
                                                             << "change" << sdaAsk << b << b << 1 << 0;
        QTest::newRow("A changed, computer version: copied to B")
            << true << "change"
            << "keep" << sdaUseComputerVersion << a << a << 1 << 0;
        QTest::newRow("both changed, newest: B wins") << true << "change"
                                                      << "change" << sdaNewVersion << b << b << 1 << 0;
        QTest::newRow("both changed, USB version: A wins")
            << true << "change"
            << "change" << sdaUseUsbDriveVersion << a << a << 1 << 0;
        QTest::newRow("both new, different dates, newest: B wins")
            << false << "put"
            << "put" << sdaNewVersion << b << b << 1 << 0;
        QTest::newRow("both new, different dates, computer version: B wins")
            << false << "put"
            << "put" << sdaUseComputerVersion << b << b << 1 << 0;
        QTest::newRow("both new, different dates, USB version: A wins")
            << false << "put"
            << "put" << sdaUseUsbDriveVersion << a << a << 1 << 0;
        QTest::newRow("both new, different dates, do nothing: skipped")
            << false << "put"
            << "put" << sdaNothing << a << b << 0 << 0;
    }
    void bothDirections()
    {
        QFETCH(bool, history);
        QFETCH(QString, stepA);
        QFETCH(QString, stepB);
        QFETCH(TSyncDefaultAction, rule);
        QFETCH(QByteArray, expectA);
        QFETCH(QByteArray, expectB);
        QFETCH(int, copies);
        QFETCH(int, deletes);
        const QString fileA = UsbDocs + QStringLiteral("f.txt");
        const QString fileB = PcDocs + QStringLiteral("f.txt");
        QDir().mkpath(NativePath(PcDocs));
        QDir().mkpath(NativePath(UsbDocs));
        if (history)
            SyncOnce(QStringLiteral("f.txt"));
        Apply(stepA, fileA, "a-new", ATime);
        Apply(stepB, fileB, "b-new", BTime);
        TSyncJob job;
        job.Rule = rule;
        auto observer = Run(job);
        QVERIFY(observer->Errors.isEmpty());
        QCOMPARE(ReadAt(fileA), expectA);
        QCOMPARE(ReadAt(fileB), expectB);
        QCOMPARE(SuccessCount(*observer, CopyAction), copies);
        QCOMPARE(SuccessCount(*observer, DeleteAction), deletes);
        QCOMPARE(observer->FailedLogCount(), 0);
        QCOMPARE(observer->LastStatus(), QStringLiteral("Finished !"));
        // A copy recorded both dates, so the next run finds nothing to do.
        auto again = Run(job);
        QCOMPARE(again->Logs.size(), 0);
        QCOMPARE(ReadAt(fileA), expectA);
        QCOMPARE(ReadAt(fileB), expectB);
    }

    void sameDatesAreSkippedWithoutHistory()
    {
        PutAt(UsbDocs + QStringLiteral("f.txt"), "usb", ATime);
        PutAt(PcDocs + QStringLiteral("f.txt"), "pc!", ATime);
        for (int run = 0; run < 2; ++run) {
            auto observer = Run({});
            QCOMPARE(observer->Logs.size(), 0);
        }
        const std::optional<TSyncFileRow> row = RowOf(QStringLiteral("f.txt"));
        QVERIFY(row);
        QVERIFY(!row->DateFolderA && !row->DateFolderB);
        QCOMPARE(ReadAt(UsbDocs + QStringLiteral("f.txt")), QByteArray("usb"));
    }

    // A FAT stick shows its files' dates an hour off after a daylight-saving
    // change: that alone is no change. A real change still syncs.
    void stickDatesMoved_data()
    {
        QTest::addColumn<QString>("stickFileSystem");
        QTest::addColumn<int>("shift");
        QTest::addColumn<QByteArray>("stickContent");
        QTest::addColumn<QByteArray>("computerContent");
        QTest::newRow("an hour later") << "vfat" << 3600 << QByteArray("base") << QByteArray("base");
        QTest::newRow("an hour earlier") << "exfat" << -3600 << QByteArray("base") << QByteArray("base");
        QTest::newRow("an hour and a step") << "vfat" << 3602 << QByteArray("base") << QByteArray("base");
        QTest::newRow("an hour, other size")
            << "vfat" << 3600 << QByteArray("changed") << QByteArray("changed");
        QTest::newRow("not an exact hour") << "vfat" << 3610 << QByteArray("BASE") << QByteArray("BASE");
        QTest::newRow("an hour on ext4") << "ext4" << 3600 << QByteArray("BASE") << QByteArray("BASE");
    }
    void stickDatesMoved()
    {
        QFETCH(QString, stickFileSystem);
        QFETCH(int, shift);
        QFETCH(QByteArray, stickContent);
        QFETCH(QByteArray, computerContent);
        FDrives.reset();
        FDrives = std::make_unique<test::TTestDrives>(
            QMap<QChar, QString>{{'C', QString()}, {'E', "bus=USB,fs=" + stickFileSystem}});
        SyncOnce(QStringLiteral("f.txt"));
        PutAt(UsbDocs + QStringLiteral("f.txt"), stickContent, BaseTime + shift);
        auto observer = Run({});
        QCOMPARE(observer->SyncConflictQuestions.size(), 0);
        QCOMPARE(SuccessCount(*observer, CopyAction), computerContent == "base" ? 0 : 1);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("f.txt")), computerContent);
        // The next run finds nothing to do either way.
        QCOMPARE(SuccessCount(*Run({}), CopyAction), 0);
    }

    // Files a FAT stick cannot hold are listed before any copy and left
    // where they are; the rest is synced.
    void fatStickListsWhatItCannotHold()
    {
        FDrives.reset();
        FDrives = std::make_unique<test::TTestDrives>(
            QMap<QChar, QString>{{'C', QString()}, {'E', "bus=USB,fs=vfat"}});
        for (const QString &name : {QString("ok.txt"), QString("a:b.txt"), QString("dir?/in.txt")})
            PutAt(LetterPath(NativePath(PcDocs) + name), name.toUtf8(), ATime);
        QVERIFY(QDir().mkpath(NativePath(UsbDocs)));
        auto observer = Run({});
        QCOMPARE(observer->Logs.size(), 3);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(observer->Logs.at(i).Event, eFailedorSkip);
            QVERIFY2(observer->Logs.at(i).Info.startsWith("Not copied: a FAT drive cannot hold a name with"),
                     qPrintable(observer->Logs.at(i).Info));
        }
        QCOMPARE(observer->Logs.at(2).Event, eSuccess);
        QCOMPARE(test::FilesBelow(NativePath(UsbDocs)), QStringList{"ok.txt"});
        QCOMPARE(ReadAt(LetterPath(NativePath(PcDocs) + "a:b.txt")), QByteArray("a:b.txt"));
    }

    // One-way: Source is side A for "only to USB drive" (A over B) and side B
    // for the other direction; its counterpart is the target.
    void oneWay_data()
    {
        QTest::addColumn<TSyncDirection>("direction");
        QTest::addColumn<bool>("history");
        QTest::addColumn<QString>("stepSource");
        QTest::addColumn<QString>("stepTarget");
        QTest::addColumn<QByteArray>("expectSource");
        QTest::addColumn<QByteArray>("expectTarget");
        const QByteArray src("src-new"), dst("dst-new"), base("base");
        for (const TSyncDirection direction : {sdToComputerOnly, sdToUsbDriveOnly}) {
            const char *name = direction == sdToComputerOnly ? "A to B" : "B to A";
            QTest::addRow("%s: both new, target newer: source copied", name) << direction << false << "put"
                                                                             << "put" << src << src;
            QTest::addRow("%s: target changed: source copied over it", name) << direction << true << "keep"
                                                                             << "change" << base << base;
            QTest::addRow("%s: only source, new: copied", name) << direction << false << "put"
                                                                << "absent" << src << src;
            QTest::addRow("%s: only target, new: deleted", name) << direction << false << "absent"
                                                                 << "put" << Missing << Missing;
            QTest::addRow("%s: only source changed, target deleted: skipped", name)
                << direction << true << "change"
                << "delete" << src << Missing;
            QTest::addRow("%s: source deleted, target changed: deleted", name)
                << direction << true << "delete"
                << "change" << Missing << Missing;
            QTest::addRow("%s: source deleted, target unchanged: nothing", name)
                << direction << true << "delete"
                << "keep" << Missing << base;
        }
    }
    void oneWay()
    {
        QFETCH(TSyncDirection, direction);
        QFETCH(bool, history);
        QFETCH(QString, stepSource);
        QFETCH(QString, stepTarget);
        QFETCH(QByteArray, expectSource);
        QFETCH(QByteArray, expectTarget);
        const bool towardsB = direction == sdToComputerOnly;
        const QString source = (towardsB ? UsbDocs : PcDocs) + QStringLiteral("f.txt");
        const QString target = (towardsB ? PcDocs : UsbDocs) + QStringLiteral("f.txt");
        QDir().mkpath(NativePath(PcDocs));
        QDir().mkpath(NativePath(UsbDocs));
        if (history)
            SyncOnce(QStringLiteral("f.txt"));
        Apply(stepSource, source, "src-new", ATime);
        Apply(stepTarget, target, "dst-new", BTime);
        TSyncJob job;
        job.Direction = direction;
        job.Rule = sdaAsk; // never consulted one way
        auto observer = Run(job);
        QVERIFY(observer->SyncConflictQuestions.isEmpty());
        QCOMPARE(observer->FailedLogCount(), 0);
        QCOMPARE(ReadAt(source), expectSource);
        QCOMPARE(ReadAt(target), expectTarget);
    }

    // A one-way run that deleted the target (the source was deleted and
    // the target changed) leaves the pair unsynced: a file made again at
    // the source is copied as new, not skipped as one the user deleted at
    // the target.
    void sourceMadeAgainAfterDeleteIsCopied_data()
    {
        QTest::addColumn<TSyncDirection>("direction");
        QTest::newRow("A to B") << sdToComputerOnly;
        QTest::newRow("B to A") << sdToUsbDriveOnly;
    }
    void sourceMadeAgainAfterDeleteIsCopied()
    {
        QFETCH(TSyncDirection, direction);
        const bool towardsB = direction == sdToComputerOnly;
        const QString source = (towardsB ? UsbDocs : PcDocs) + QStringLiteral("f.txt");
        const QString target = (towardsB ? PcDocs : UsbDocs) + QStringLiteral("f.txt");
        QDir().mkpath(NativePath(PcDocs));
        SyncOnce(QStringLiteral("f.txt"));
        TSyncJob job;
        job.Direction = direction;
        Remove(source);
        PutAt(target, "changed", BTime);
        Run(job);
        QCOMPARE(ReadAt(target), Missing);

        PutAt(source, "again", ATime);
        auto observer = Run(job);
        QCOMPARE(observer->LogsOf(CopyAction), QStringList{UsbDocs + QStringLiteral("f.txt|Done")});
        QCOMPARE(ReadAt(target), QByteArray("again"));
    }

    // Two conflicts: x.txt newer on the computer, y.txt newer on the USB
    // drive; z.txt is new on the USB drive only and is copied unasked.
    void askedConflicts_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QList<int>>("answers"); // -1 keeps the pre-selection
        QTest::addColumn<QByteArray>("expectXA");
        QTest::addColumn<QByteArray>("expectYB");
        QTest::addColumn<QByteArray>("expectZB");
        QTest::newRow("pre-selection kept")
            << true << QList<int>{-1, -1} << QByteArray("x-pc!") << QByteArray("y-usb") << QByteArray("z");
        QTest::newRow("USB version for x, nothing for y")
            << true << QList<int>{faCopyAB, faSkip} << QByteArray("x-usb") << QByteArray("y-pc")
            << QByteArray("z");
        QTest::newRow("computer version for both")
            << true << QList<int>{faCopyBA, faCopyBA} << QByteArray("x-pc!") << QByteArray("y-pc")
            << QByteArray("z");
        QTest::newRow("delete is no answer to two copies")
            << true << QList<int>{faDelete, faDelete} << QByteArray("x-usb") << QByteArray("y-pc")
            << QByteArray("z");
        QTest::newRow("cancelled") << false << QList<int>{-1, -1} << QByteArray("x-usb") << QByteArray("y-pc")
                                   << Missing;
    }
    void askedConflicts()
    {
        QFETCH(bool, confirm);
        QFETCH(QList<int>, answers);
        QFETCH(QByteArray, expectXA);
        QFETCH(QByteArray, expectYB);
        QFETCH(QByteArray, expectZB);
        PutAt(UsbDocs + QStringLiteral("x.txt"), "x-usb", ATime);
        PutAt(PcDocs + QStringLiteral("x.txt"), "x-pc!", BTime);
        PutAt(UsbDocs + QStringLiteral("y.txt"), "y-usb", BTime);
        PutAt(PcDocs + QStringLiteral("y.txt"), "y-pc", ATime);
        PutAt(UsbDocs + QStringLiteral("z.txt"), "z", ATime);
        const TDateTime dateXB = FileDate(PcDocs + QStringLiteral("x.txt")).value();
        const TDateTime dateYB = FileDate(PcDocs + QStringLiteral("y.txt")).value();
        QVERIFY(dateXB != dateYB);
        auto observer = std::make_unique<TRecordingObserver>();
        observer->SyncConflictAnswer = [&](QList<TSyncConflict> &conflicts) {
            for (TSyncConflict &conflict : conflicts) {
                const int answer = answers.at(conflict.FileA.endsWith(QLatin1String("x.txt")) ? 0 : 1);
                if (answer >= 0)
                    conflict.Action = TFileAction(answer);
            }
            return confirm;
        };
        TSyncJob job;
        job.Rule = sdaAsk;
        observer = Run(job, std::move(observer));
        QCOMPARE(observer->SyncConflictQuestions.size(), 1);
        const QList<TSyncConflict> asked = observer->SyncConflictQuestions.constFirst();
        QCOMPARE(asked.size(), 2);
        for (const TSyncConflict &conflict : asked) {
            const bool isX = conflict.FileA.endsWith(QLatin1String("x.txt"));
            QCOMPARE(conflict.FileA, UsbDocs + (isX ? "x.txt" : "y.txt"));
            QCOMPARE(conflict.FileB, PcDocs + (isX ? "x.txt" : "y.txt"));
            QCOMPARE(conflict.Action, isX ? faCopyBA : faCopyAB);
            QCOMPARE(conflict.SizeB, isX ? qint64(5) : qint64(4));
            QCOMPARE(conflict.DateB, isX ? dateXB : dateYB);
        }
        QCOMPARE(ReadAt(UsbDocs + QStringLiteral("x.txt")), expectXA);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("y.txt")), expectYB);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("z.txt")), expectZB);
        const QStringList statuses = StatusTexts(*observer);
        if (confirm) {
            QVERIFY(statuses.contains(QStringLiteral("Processing User Action")));
            QCOMPARE(observer->LastStatus(), QStringLiteral("Finished !"));
        } else {
            QVERIFY(!statuses.contains(QStringLiteral("Processing User Action")));
            QVERIFY(statuses.contains(QStringLiteral("Canceled :(")));
            QCOMPARE(observer->LastStatus(), QStringLiteral("Canceled"));
            QCOMPARE(observer->Logs.size(), 0);
            for (const TSyncFileRow &row : Rows())
                QVERIFY(!row.DateFolderA && !row.DateFolderB);
        }
    }

    // A file changed on one side and deleted on the other is asked about
    // with bringing it back pre-selected; the answers act as the rows say.
    void changedAndDeleted_data()
    {
        QTest::addColumn<bool>("changedOnA");
        QTest::addColumn<int>("answer"); // -1 keeps the pre-selection
        QTest::addColumn<QByteArray>("expectA");
        QTest::addColumn<QByteArray>("expectB");
        QTest::newRow("A changed, copied back") << true << -1 << QByteArray("new") << QByteArray("new");
        QTest::newRow("A changed, deleted") << true << int(faDelete) << Missing << Missing;
        QTest::newRow("A changed, computer's version deletes it")
            << true << int(faCopyBA) << Missing << Missing;
        QTest::newRow("A changed, nothing") << true << int(faSkip) << QByteArray("new") << Missing;
        QTest::newRow("B changed, copied back") << false << -1 << QByteArray("new") << QByteArray("new");
        QTest::newRow("B changed, USB drive's version deletes it")
            << false << int(faCopyAB) << Missing << Missing;
    }
    void changedAndDeleted()
    {
        QFETCH(bool, changedOnA);
        QFETCH(int, answer);
        QFETCH(QByteArray, expectA);
        QFETCH(QByteArray, expectB);
        QDir().mkpath(NativePath(PcDocs));
        SyncOnce(QStringLiteral("f.txt"));
        const QString fileA = UsbDocs + QStringLiteral("f.txt");
        const QString fileB = PcDocs + QStringLiteral("f.txt");
        PutAt(changedOnA ? fileA : fileB, "new", ATime);
        Remove(changedOnA ? fileB : fileA);
        auto observer = std::make_unique<TRecordingObserver>();
        observer->SyncConflictAnswer = [&](QList<TSyncConflict> &conflicts) {
            if (answer >= 0)
                conflicts.first().Action = TFileAction(answer);
            return true;
        };
        TSyncJob job;
        job.Rule = sdaAsk;
        observer = Run(job, std::move(observer));
        QCOMPARE(observer->SyncConflictQuestions.size(), 1);
        const TSyncConflict conflict = observer->SyncConflictQuestions.constFirst().constFirst();
        QCOMPARE(conflict.Action, changedOnA ? faCopyAB : faCopyBA);
        // The deleted side shows where the file would come back.
        QCOMPARE(conflict.FileA, fileA);
        QCOMPARE(conflict.FileB, fileB);
        QCOMPARE(changedOnA ? conflict.SizeB : conflict.SizeA, qint64(-1));
        QCOMPARE(ReadAt(fileA), expectA);
        QCOMPARE(ReadAt(fileB), expectB);
        QCOMPARE(observer->FailedLogCount(), 0);
    }

    // File names that differ only in letter case, across the sides: one pair.
    void caseInsensitivePairing_data()
    {
        QTest::addColumn<QString>("nameA");
        QTest::addColumn<QString>("nameB");
        QTest::newRow("file name") << "Report.TXT"
                                   << "report.txt";
        QTest::newRow("folder name") << "Sub\\a.txt"
                                     << "SUB\\a.txt";
        QTest::newRow("non-ASCII") << "Ärger.txt"
                                   << "äRGER.TXT";
    }
    void caseInsensitivePairing()
    {
        QFETCH(QString, nameA);
        QFETCH(QString, nameB);
        PutAt(UsbDocs + nameA, "usb", ATime);
        PutAt(PcDocs + nameB, "pc", BTime);
        auto observer = Run({});
        QCOMPARE(SuccessCount(*observer, CopyAction), 1);
        QCOMPARE(ReadAt(UsbDocs + nameA), QByteArray("pc"));
        QCOMPARE(test::FilesBelow(FDrives->Native('E', QStringLiteral("Docs"))).size(), 1);
        QCOMPARE(test::FilesBelow(FDrives->Native('C', QStringLiteral("Docs"))).size(), 1);
        QCOMPARE(Rows().size(), 1);
        QCOMPARE(Run({})->Logs.size(), 0);
    }

    // Two computer files whose names differ only in letter case share one
    // row: one is synced, the other is left alone and logged every run.
    void caseCollisionOnComputer_data()
    {
        QTest::addColumn<TSyncDirection>("direction");
        QTest::newRow("both directions") << sdBidi;
        QTest::newRow("B to A") << sdToUsbDriveOnly;
        QTest::newRow("A to B") << sdToComputerOnly;
    }
    void caseCollisionOnComputer()
    {
        QFETCH(TSyncDirection, direction);
        QDir().mkpath(NativePath(UsbDocs));
        PutAt(PcDocs + QStringLiteral("a.txt"), "lower", ATime);
        PutAt(PcDocs + QStringLiteral("A.txt"), "upper", ATime);
        TSyncJob job;
        job.Direction = direction;
        // One way to the computer deletes the new file there that was
        // paired, so only the first run meets both.
        const int runs = direction == sdToComputerOnly ? 1 : 2;
        for (int run = 0; run < runs; ++run) {
            auto observer = Run(job);
            QCOMPARE(observer->FailedLogCount(), 1);
            const TRecordingObserver::TLogRow skipped = observer->Logs.constFirst();
            QVERIFY2(skipped.Info.startsWith(
                         QLatin1String("Not synced: its name differs only in letter case from ")),
                     qPrintable(skipped.Info));
            QVERIFY(skipped.FileName.endsWith(QLatin1String("a.txt"), Qt::CaseInsensitive));
            // The skipped file is untouched.
            const QByteArray expected = skipped.FileName.endsWith(QLatin1String("a.txt")) ? "lower" : "upper";
            QCOMPARE(ReadAt(skipped.FileName), expected);
        }
        QCOMPARE(Rows().size(), 1);
        if (direction != sdToComputerOnly)
            QCOMPARE(test::FilesBelow(FDrives->Native('E', QStringLiteral("Docs"))).size(), 1);
    }

    // A pair whose first copy failed has a row but no recorded dates: the
    // next run copies it as a new pair, whatever the direction and rule
    // (one-way syncs would otherwise skip it for good as "deleted").
    void failedCopyIsRetried_data()
    {
        QTest::addColumn<TSyncDirection>("direction");
        QTest::addColumn<TSyncDefaultAction>("rule");
        QTest::addColumn<bool>("toComputer");
        QTest::newRow("both ways, to the computer") << sdBidi << sdaNewVersion << true;
        QTest::newRow("both ways, to the USB drive") << sdBidi << sdaNewVersion << false;
        QTest::newRow("both ways, rule do nothing") << sdBidi << sdaNothing << true;
        QTest::newRow("both ways, rule ask") << sdBidi << sdaAsk << false;
        QTest::newRow("USB drive to computer only") << sdToComputerOnly << sdaNewVersion << true;
        QTest::newRow("computer to USB drive only") << sdToUsbDriveOnly << sdaNewVersion << false;
    }
    void failedCopyIsRetried()
    {
        QFETCH(TSyncDirection, direction);
        QFETCH(TSyncDefaultAction, rule);
        QFETCH(bool, toComputer);
        const QString from = toComputer ? UsbDocs : PcDocs;
        const QString to = toComputer ? PcDocs : UsbDocs;
        QDir().mkpath(NativePath(PcDocs));
        QDir().mkpath(NativePath(UsbDocs));
        PutAt(from + QStringLiteral("bad.txt"), "data", ATime);
        PutAt(from + QStringLiteral("good.txt"), "good", ATime);
        SetCopyFaultHookForTests([](const QString &nativeSource, const QString &, int) {
            return nativeSource.endsWith(QLatin1String("bad.txt")) ? EIO : 0;
        });
        TSyncJob job;
        job.Direction = direction;
        job.Rule = rule;
        auto observer = Run(job);
        QCOMPARE(observer->FailedLogCount(), 1);
        QCOMPARE(observer->LogsOf(CopyAction).filter(QStringLiteral("bad.txt")),
                 QStringList{UsbDocs + QStringLiteral("bad.txt|") + SystemErrorText(EIO)});
        QCOMPARE(ReadAt(to + QStringLiteral("bad.txt")), Missing);
        QCOMPARE(ReadAt(to + QStringLiteral("good.txt")), QByteArray("good"));
        const std::optional<TSyncFileRow> row = RowOf(QStringLiteral("bad.txt"));
        QVERIFY(row && !row->DateFolderA && !row->DateFolderB);

        SetCopyFaultHookForTests({});
        observer = Run(job);
        QCOMPARE(observer->LogsOf(CopyAction), QStringList{UsbDocs + QStringLiteral("bad.txt|Done")});
        QCOMPARE(ReadAt(to + QStringLiteral("bad.txt")), QByteArray("data"));
        QVERIFY(observer->SyncConflictQuestions.isEmpty());
    }

    // A 10-byte copy and a 5-byte delete: the act phase starts with 15
    // bytes to go and ends with 10, all of them processed.
    void totals()
    {
        PutAt(UsbDocs + QStringLiteral("ten.txt"), "0123456789", ATime);
        PutAt(PcDocs + QStringLiteral("five.txt"), "12345", ATime);
        TSyncJob job;
        job.Direction = sdToComputerOnly;
        auto observer = Run(job);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("ten.txt")), QByteArray("0123456789"));
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("five.txt")), Missing);
        const auto first =
            std::find_if(observer->Statuses.cbegin(), observer->Statuses.cend(),
                         [](const TStatusReport &r) { return r.StatusMsg.startsWith("File : "); });
        QVERIFY(first != observer->Statuses.cend());
        QCOMPARE(first->BytesTotal, qint64(15));
        QCOMPARE(first->ItemCount, qint64(2));
        QCOMPARE(first->ProcessedItems, qint64(0));
        const TStatusReport last = observer->Statuses.constLast();
        QCOMPARE(last.StatusMsg, QStringLiteral("Finished !"));
        QCOMPARE(last.BytesTotal, qint64(10));
        QCOMPARE(last.BytesProcessed, qint64(10));
        QCOMPARE(last.ProcessedItems, qint64(2));
    }

    void statusTexts()
    {
        PutAt(UsbDocs + QStringLiteral("a.txt"), "a", ATime);
        PutAt(QStringLiteral("E:\\Notes\\n.txt"), "n", ATime);
        TSyncJob job;
        job.Files = {{QStringLiteral("\\Notes\\n.txt"), QStringLiteral("C:\\Notes\\n.txt")}};
        auto observer = Run(job);
        QCOMPARE(StatusTexts(*observer),
                 QStringList({"Prepareing... ", "Searching... ", " Searching...E:\\Docs\\",
                              " Searching...C:\\Docs\\", " Searching...\\Notes\\n.txt", "Processing Data....",
                              "File : E:\\Docs\\a.txt", "File : E:\\Notes\\n.txt", "Finished !"}));
        QCOMPARE(ReadAt(QStringLiteral("C:\\Notes\\n.txt")), QByteArray("n"));
        // The computer's folder did not exist: said once, nothing lost.
        QCOMPARE(observer->LogsOf(QStringLiteral("Read Folder")).size(), 1);
    }

    // Single-file pairs follow the same tables.
    void filePairs_data()
    {
        QTest::addColumn<QString>("stepA");
        QTest::addColumn<QString>("stepB");
        QTest::addColumn<QByteArray>("expectA");
        QTest::addColumn<QByteArray>("expectB");
        QTest::newRow("only on the USB drive") << "put"
                                               << "absent" << QByteArray("a") << QByteArray("a");
        QTest::newRow("only on the computer") << "absent"
                                              << "put" << QByteArray("b") << QByteArray("b");
        QTest::newRow("both, computer newer") << "put"
                                              << "put" << QByteArray("b") << QByteArray("b");
    }
    void filePairs()
    {
        QFETCH(QString, stepA);
        QFETCH(QString, stepB);
        QFETCH(QByteArray, expectA);
        QFETCH(QByteArray, expectB);
        const QString fileA = QStringLiteral("E:\\Notes\\n.txt");
        const QString fileB = QStringLiteral("C:\\Work\\n.txt");
        Apply(stepA, fileA, "a", ATime);
        Apply(stepB, fileB, "b", BTime);
        TSyncJob job;
        job.Folders.clear();
        job.Files = {{QStringLiteral("\\Notes\\n.txt"), fileB}};
        auto observer = Run(job);
        QCOMPARE(ReadAt(fileA), expectA);
        QCOMPARE(ReadAt(fileB), expectB);
        QCOMPARE(Rows().size(), 1);
        QCOMPARE(Run(job)->Logs.size(), 0);
    }

    // Side A at the drive's root (the job's own database beside it is never
    // synced), in a folder, and in a folder written without its leading "\".
    void sideAFolders_data()
    {
        QTest::addColumn<QString>("folderA");
        QTest::addColumn<QString>("usbFolder");
        QTest::addColumn<QString>("storedFolderA");
        QTest::newRow("drive root") << TSyncItem::RootMarker() << "E:\\"
                                    << "\\";
        QTest::newRow("folder") << "\\Docs"
                                << "E:\\Docs\\"
                                << "\\Docs\\";
        QTest::newRow("folder without leading backslash") << "Docs"
                                                          << "E:\\Docs\\"
                                                          << "\\Docs\\";
    }
    void sideAFolders()
    {
        QFETCH(QString, folderA);
        QFETCH(QString, usbFolder);
        QFETCH(QString, storedFolderA);
        PutAt(usbFolder + QStringLiteral("top.txt"), "top", ATime);
        PutAt(usbFolder + QStringLiteral("sub\\s.txt"), "s", ATime);
        TSyncJob job;
        job.Folders = {{folderA, PcDocs}};
        auto observer = Run(job);
        QCOMPARE(observer->FailedLogCount(), 1); // C:\Docs\ did not exist yet
        QCOMPARE(test::FilesBelow(FDrives->Native('C', QStringLiteral("Docs"))),
                 QStringList({QStringLiteral("sub/s.txt"), QStringLiteral("top.txt")}));
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("sub\\s.txt")), QByteArray("s"));
        const std::optional<TSyncFileRow> row = RowOf(QStringLiteral("sub\\s.txt"));
        QVERIFY(row);
        QCOMPARE(row->FolderA, storedFolderA);
        QCOMPARE(Run(job)->Logs.size(), 0);
    }

    // The USB drive comes back under another letter: the history is kept,
    // since side-A folders are stored without their drive.
    void driveLetterChangeKeepsHistory()
    {
        PutAt(UsbDocs + QStringLiteral("f.txt"), "base", BaseTime);
        Run({});
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("f.txt")), QByteArray("base"));
        const QByteArray oldDrives = qgetenv("TROVALO_DRIVES");
        qputenv("TROVALO_DRIVES", QStringLiteral("C=%1;G=%2,bus=USB")
                                      .arg(FDrives->NativeRoot('C'), FDrives->NativeRoot('E'))
                                      .toUtf8());
        TDriveTable::Instance().Refresh();
        TSyncJob job;
        job.Database = QStringLiteral("G:\\Config\\Sync.Zjt");
        // Nothing changed: nothing to do (without the history, both files
        // would count as new and be compared).
        QCOMPARE(Run(job)->Logs.size(), 0);
        Remove(PcDocs + QStringLiteral("f.txt"));
        // Unchanged on the drive, deleted on the computer: nothing happens.
        QCOMPARE(Run(job)->Logs.size(), 0);
        QCOMPARE(ReadAt(QStringLiteral("G:\\Docs\\f.txt")), QByteArray("base"));
        QCOMPARE(Rows(job.Database).size(), 1);
        qputenv("TROVALO_DRIVES", oldDrives);
        TDriveTable::Instance().Refresh();
    }

    // A side whose folder is missing is not an empty side: files with
    // history on the other side are neither deleted nor copied back.
    void missingFolderHoldsHistory_data()
    {
        QTest::addColumn<TSyncDirection>("direction");
        QTest::addColumn<QString>("stepA");
        QTest::newRow("B to A: no deletes on the USB drive") << sdToUsbDriveOnly << "keep";
        QTest::newRow("B to A, changed: no deletes") << sdToUsbDriveOnly << "change";
        QTest::newRow("both directions, changed: not copied back") << sdBidi << "change";
    }
    void missingFolderHoldsHistory()
    {
        QFETCH(TSyncDirection, direction);
        QFETCH(QString, stepA);
        SyncOnce(QStringLiteral("f.txt"));
        Apply(stepA, UsbDocs + QStringLiteral("f.txt"), "a-new", ATime);
        PutAt(UsbDocs + QStringLiteral("new.txt"), "new", ATime);
        QVERIFY(QDir(NativePath(PcDocs)).removeRecursively());
        TSyncJob job;
        job.Direction = direction;
        auto observer = Run(job);
        QCOMPARE(observer->LogsOf(QStringLiteral("Read Folder")).size(), 1);
        QVERIFY(observer->LogsOf(QStringLiteral("Read Folder")).constFirst().startsWith(PcDocs + "|"));
        QVERIFY(ReadAt(UsbDocs + QStringLiteral("f.txt")) != Missing);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("f.txt")), Missing);
        QCOMPARE(SuccessCount(*observer, DeleteAction), 0);
        // A new file is never deleted because of it either; in both
        // directions it is copied, which makes the folder again.
        QCOMPARE(ReadAt(UsbDocs + QStringLiteral("new.txt")), QByteArray("new"));
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("new.txt")),
                 direction == sdBidi ? QByteArray("new") : Missing);
    }

    void cancelDuringScan()
    {
        SyncOnce(QStringLiteral("f.txt"));
        PutAt(UsbDocs + QStringLiteral("f.txt"), "a-new", ATime);
        PutAt(PcDocs + QStringLiteral("new.txt"), "new", ATime);
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnStatus = [](TThreadBase &thread, const TStatusReport &report) {
            if (report.StatusMsg.startsWith(QLatin1String(" Searching...")))
                thread.RequestStop();
        };
        const TSyncFileRow before = RowOf(QStringLiteral("f.txt")).value();
        observer = Run({}, std::move(observer));
        QCOMPARE(observer->Logs.size(), 0);
        QCOMPARE(observer->LastStatus(), QStringLiteral("Canceled"));
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("f.txt")), QByteArray("base"));
        QCOMPARE(ReadAt(UsbDocs + QStringLiteral("new.txt")), Missing);
        QCOMPARE(RowOf(QStringLiteral("f.txt"))->DateFolderA, before.DateFolderA);
    }

    // Both sides are listed ahead of the walk; what the walk reports must
    // still come in walk order: each folder, its subfolders right after it,
    // the folder again after each subfolder, side A before side B, pairs
    // in the order of their computer folders.
    void walkOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("stopAt");
        QTest::addColumn<QStringList>("expected");
        const QStringList start{"Prepareing... ", "Searching... "};
        QTest::newRow("nested folders on both sides")
            << QStringList{"E:\\Docs\\x\\y\\f.txt", "E:\\Docs\\g.txt", "C:\\Docs\\z\\h.txt"} << QString()
            << start + QStringList{" Searching...E:\\Docs\\",
                                   " Searching...E:\\Docs\\x\\",
                                   " Searching...E:\\Docs\\x\\y\\",
                                   " Searching...E:\\Docs\\x\\",
                                   " Searching...E:\\Docs\\",
                                   " Searching...C:\\Docs\\",
                                   " Searching...C:\\Docs\\z\\",
                                   " Searching...C:\\Docs\\",
                                   " Searching...E:\\Extra\\",
                                   " Searching...C:\\Extra\\",
                                   "Processing Data...."};
        QTest::newRow("second pair nested")
            << QStringList{"C:\\Extra\\a\\b\\f.txt", "E:\\Docs\\g.txt"} << QString()
            << start + QStringList{" Searching...E:\\Docs\\",     " Searching...C:\\Docs\\",
                                   " Searching...E:\\Extra\\",    " Searching...C:\\Extra\\",
                                   " Searching...C:\\Extra\\a\\", " Searching...C:\\Extra\\a\\b\\",
                                   " Searching...C:\\Extra\\a\\", " Searching...C:\\Extra\\",
                                   "Processing Data...."};
        // After the stop the folder being left and the other side's root
        // are still named, nothing below them; nothing is carried out.
        QTest::newRow("stopped in a subfolder")
            << QStringList{"E:\\Docs\\x\\y\\f.txt", "C:\\Docs\\z\\h.txt"}
            << QString(" Searching...E:\\Docs\\x\\")
            << start + QStringList{" Searching...E:\\Docs\\", " Searching...E:\\Docs\\x\\",
                                   " Searching...E:\\Docs\\", " Searching...C:\\Docs\\",
                                   "Processing Data....",     "Canceled"};
    }
    void walkOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, stopAt);
        QFETCH(QStringList, expected);
        for (const QString &path :
             {UsbDocs, PcDocs, QStringLiteral("E:\\Extra\\"), QStringLiteral("C:\\Extra\\")})
            QVERIFY(QDir().mkpath(NativePath(path)));
        for (const QString &file : files)
            PutAt(file, "f", ATime);
        TSyncJob job;
        // Given in the wrong order: the pairs are walked by computer folder.
        job.Folders = {{QStringLiteral("\\Extra\\"), QStringLiteral("C:\\Extra\\")},
                       {QStringLiteral("\\Docs\\"), PcDocs}};
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnStatus = [stopAt](TThreadBase &thread, const TStatusReport &report) {
            if (!stopAt.isEmpty() && report.StatusMsg == stopAt)
                thread.RequestStop();
        };
        observer = Run(job, std::move(observer));
        QStringList statuses = StatusTexts(*observer);
        if (stopAt.isEmpty()) {
            const qsizetype end = statuses.indexOf(QStringLiteral("Processing Data...."));
            QVERIFY(end >= 0);
            statuses = statuses.mid(0, end + 1);
        } else {
            QCOMPARE(observer->Logs.size(), 0);
        }
        QCOMPARE(statuses, expected);
    }

    // A source changed after the scan listed it: the copy takes the new
    // content and date, and the history records the dates both files have
    // now, so the next run finds nothing to do.
    void sourceChangedBeforeItsCopy_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::newRow("to the computer")
            << UsbDocs + QStringLiteral("f.txt") << PcDocs + QStringLiteral("f.txt");
        QTest::newRow("to the USB drive")
            << PcDocs + QStringLiteral("f.txt") << UsbDocs + QStringLiteral("f.txt");
    }
    void sourceChangedBeforeItsCopy()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QVERIFY(QDir().mkpath(NativePath(UsbDocs)));
        QVERIFY(QDir().mkpath(NativePath(PcDocs)));
        PutAt(source, "listed", ATime);
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnStatus = [source](TThreadBase &, const TStatusReport &report) {
            if (report.StatusMsg.startsWith(QLatin1String("File : ")))
                PutAt(source, "changed", BTime);
        };
        Run({}, std::move(observer));
        QCOMPARE(ReadAt(target), QByteArray("changed"));
        const TSyncFileRow row = RowOf(QStringLiteral("f.txt")).value();
        QCOMPARE(row.DateFolderA, FileDate(UsbDocs + QStringLiteral("f.txt")));
        QCOMPARE(row.DateFolderB, FileDate(PcDocs + QStringLiteral("f.txt")));
        QCOMPARE(row.DateFolderA, FileDate(source));
        auto second = Run({});
        QCOMPARE(second->Logs.size(), 0);
    }

    // Cancelled in the middle of a large copy: no partial file, and the
    // pairs not done keep their history.
    void cancelDuringLargeCopy()
    {
        TSyncJob job;
        job.Folders = {{QStringLiteral("\\A\\"), QStringLiteral("C:\\A\\")},
                       {QStringLiteral("\\B\\"), QStringLiteral("C:\\B\\")}};
        PutAt(QStringLiteral("E:\\B\\later.txt"), "base", BaseTime);
        Run(job);
        QCOMPARE(ReadAt(QStringLiteral("C:\\B\\later.txt")), QByteArray("base"));
        const TSyncFileRow before = RowOf(QStringLiteral("later.txt")).value();
        PutAt(QStringLiteral("E:\\B\\later.txt"), "changed", ATime);
        PutAt(QStringLiteral("E:\\A\\big.bin"), test::RandomBytes(3 * CopyChunkSize), ATime);
        QDir().mkpath(FDrives->Native('C', QStringLiteral("A")));
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnProgress = [](TThreadBase &thread, double percentage) {
            if (percentage > 0)
                thread.RequestStop();
        };
        observer = Run(job, std::move(observer));
        QCOMPARE(observer->LastStatus(), QStringLiteral("Canceled"));
        QCOMPARE(observer->Logs.size(), 1);
        QCOMPARE(observer->Logs.constFirst().Event, eFailedorSkip);
        QCOMPARE(test::FilesBelow(FDrives->Native('C', QStringLiteral("A"))), QStringList());
        QCOMPARE(ReadAt(QStringLiteral("C:\\B\\later.txt")), QByteArray("base"));
        const TSyncFileRow after = RowOf(QStringLiteral("later.txt")).value();
        QCOMPARE(after.DateFolderA, before.DateFolderA);
        QCOMPARE(after.DateFolderB, before.DateFolderB);
        QVERIFY(!RowOf(QStringLiteral("big.bin"))->DateFolderA);
        // The next run completes both.
        observer = Run(job);
        QCOMPARE(SuccessCount(*observer, CopyAction), 2);
        QCOMPARE(ReadAt(QStringLiteral("C:\\B\\later.txt")), QByteArray("changed"));
    }

    // On its own thread the run asks through the hand-off observer: the
    // question is answered in the interface thread while the worker waits.
    void conflictQuestionHandedOver_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("confirmed") << true;
        QTest::newRow("cancelled") << false;
    }
    void conflictQuestionHandedOver()
    {
        QFETCH(bool, confirm);
        PutAt(UsbDocs + QStringLiteral("x.txt"), "x-usb", ATime);
        PutAt(PcDocs + QStringLiteral("x.txt"), "x-pc", BTime);
        TRecordingObserver target;
        QThread *askedIn = nullptr;
        target.SyncConflictAnswer = [&](QList<TSyncConflict> &conflicts) {
            askedIn = QThread::currentThread();
            conflicts.first().Action = faCopyAB;
            return confirm;
        };
        QObject context;
        TThreadHandOffObserver handOff(target, &context);
        TSyncJob job;
        job.Rule = sdaAsk;
        TSyncFolderThread thread;
        Configure(thread, job, &handOff);
        thread.start();
        QTRY_VERIFY_WITH_TIMEOUT(target.Finished, 20000);
        QVERIFY(thread.wait(20000));
        TThreadBase::ReleaseLiveWorker();
        QCOMPARE(askedIn, QThread::currentThread());
        QCOMPARE(target.SyncConflictQuestions.size(), 1);
        QCOMPARE(target.SyncConflictQuestions.constFirst().constFirst().Action, faCopyBA);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("x.txt")),
                 confirm ? QByteArray("x-usb") : QByteArray("x-pc"));
        QCOMPARE(target.LastStatus(), confirm ? QStringLiteral("Finished !") : QStringLiteral("Canceled"));
    }

    void unusableDatabase()
    {
        const QByteArray content("this is no database at all, just some text......");
        PutAt(DatabaseFile, content);
        PutAt(UsbDocs + QStringLiteral("a.txt"), "a", ATime);
        auto observer = Run({});
        QCOMPARE(observer->Errors.size(), 1);
        QVERIFY(observer->Errors.constFirst().Message.startsWith(
            QLatin1String("Thread Error : Class = TThreadBase : ")));
        QCOMPARE(observer->Errors.constFirst().Code, -1);
        QCOMPARE(ReadAt(PcDocs + QStringLiteral("a.txt")), Missing);
        QCOMPARE(test::ReadAt(DatabaseFile), content);
    }
};

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "tst_syncengine.moc"
