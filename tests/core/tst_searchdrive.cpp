#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "engine/SearchDrive.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"

#include <QDir>
#include <QtTest>

using namespace trovalo;

namespace {
// Computed when called: the date conversions must not run during static
// initialisation.
TDateTime July10(int hour, int minute = 0, int second = 0)
{
    return EncodeDateTime(QDate(2014, 7, 10), QTime(hour, minute, second));
}

QByteArray ArchiveJob(const QString &name, TArchiveDir dir, TArchiveMode mode, TDateTime lastUpdate)
{
    TArchiveData job;
    job.SetBackupName(name);
    job.SetArchiveDir(dir);
    job.SetArchiveMode(mode);
    job.SetLastUpdate(lastUpdate);
    job.SetPCID(QStringLiteral("1A2B - 3C4D"));
    return job.SaveToBytes();
}

void WriteOnE(const test::TTestDrives &drives, const QString &relative, const QByteArray &content)
{
    const QString native = drives.Native('E', relative);
    QVERIFY(QDir().mkpath(QFileInfo(native).path()));
    test::WriteFile(native, content);
}

QList<TAutoRunFileData> Search(TSearchDrive &search, test::TRecordingObserver &observer,
                               const QString &drive = QStringLiteral("E:"))
{
    QList<TAutoRunFileData> rows;
    search.SetDrive(drive);
    search.SetObserver(&observer);
    search.SetAddListItem([&rows](TThreadBase &, TAutoRunFileData &data) { rows.append(data); });
    search.RunSynchronously();
    return rows;
}
} // namespace

class TestSearchDrive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void rowOfJobFile_data();
    void rowOfJobFile();
    void endOfTheSearch_data();
    void endOfTheSearch();
};

void TestSearchDrive::rowOfJobFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("row"); // Name, LastSync, PCID, FileType

    const QString pc = QStringLiteral("1A2B - 3C4D");
    const QByteArray backup = ArchiveJob(QStringLiteral("Docs"), amPcToUsb, amIncremental, July10(9, 15, 30));
    TSyncData sync;
    sync.SetSyncName(QStringLiteral("Pairs"));
    sync.SetLastUpdate(July10(17, 5, 9));
    sync.SetPCID(pc);
    TPCSyncData pcSync;
    pcSync.SetSyncName(QStringLiteral("Shared"));
    pcSync.SyncDataItems()->Add()->SetPCID(pc);
    const QString error = QStringLiteral("<Error Loading Data>");

    QTest::newRow("backup to usb") << "Backup1.Zja" << backup
                                   << QStringList{"Docs", "7/10/14 9:15:30 AM", pc, "Backup To USB"};
    QTest::newRow("never run") << "Backup2.Zja" << ArchiveJob("Photos", amUsbToPc, amMirror, 0)
                               << QStringList{"Photos", "N/A", pc, "Backup From USB"};
    QTest::newRow("midnight: date only")
        << "Backup3.zja" << ArchiveJob("", amUsbToUSB, amIncremental, July10(0))
        << QStringList{"", "7/10/14", pc, "USB To USB"};
    QTest::newRow("move from usb") << "Move 1.ZJM" << ArchiveJob("Out", amUsbToPc, amMove, 0)
                                   << QStringList{"Out", "N/A", pc, "Move From USB"};
    QTest::newRow("move to usb") << "Move 2.Zjm" << ArchiveJob("In", amPcToUsb, amMove, 0)
                                 << QStringList{"In", "N/A", pc, "Move To USB"};
    QTest::newRow("sync") << "sync 1.Zjs" << sync.SaveToBytes()
                          << QStringList{"Pairs", "7/10/14 5:05:09 PM", pc, "File / Folder Sync"};
    QTest::newRow("pc-pc sync") << "Shared.Zjp" << pcSync.SaveToBytes()
                                << QStringList{"Shared", "<N/A>", "<N/A>", "PC-PC Sync"};
    QTest::newRow("not a container") << "Junk.Zja" << QByteArray("not a job")
                                     << QStringList{error, error, error, "<Error>"};
    QTest::newRow("truncated container")
        << "Cut.Zja" << backup.left(backup.size() / 2) << QStringList{error, error, error, "<Error>"};
    QTest::newRow("sync record in a backup file")
        << "Wrong.Zja" << sync.SaveToBytes() << QStringList{error, error, error, "<Error>"};
}

void TestSearchDrive::rowOfJobFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, row);
    test::TTestDrives drives;
    WriteOnE(drives, QStringLiteral("Config/") + file, content);

    test::TRecordingObserver observer;
    TSearchDrive search;
    const QList<TAutoRunFileData> rows = Search(search, observer);
    QCOMPARE(rows.size(), 1);
    const TAutoRunFileData &found = rows.first();
    QCOMPARE(found.FileName, QStringLiteral("E:\\Config\\") + file);
    QCOMPARE((QStringList{found.Name, found.LastSync, found.PCID, found.FileType}), row);
    QVERIFY(found.ExtraData.isEmpty());
    QVERIFY(observer.Errors.isEmpty()); // an unreadable job is a row, not a failed search
}

void TestSearchDrive::endOfTheSearch_data()
{
    QTest::addColumn<bool>("withJob");
    QTest::addColumn<bool>("terminate");
    QTest::addColumn<bool>("failInList");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("error");
    QTest::newRow("one job among other files") << true << false << false << 1 << "";
    QTest::newRow("no Config folder") << false << false << false << 0 << "";
    QTest::newRow("terminated before start") << true << true << false << 0 << "";
    QTest::newRow("failure in the list")
        << true << false << true << 0 << "Thread Error : Class = TThreadBase : list is gone";
}

void TestSearchDrive::endOfTheSearch()
{
    QFETCH(bool, withJob);
    QFETCH(bool, terminate);
    QFETCH(bool, failInList);
    test::TTestDrives drives;
    if (withJob) {
        // One job, and files and folders that are no job of this drive.
        const QByteArray job = ArchiveJob("A", amPcToUsb, amIncremental, 0);
        for (const char *name :
             {"Config/A.Zja", "Config/.old.zja", "Config/Sub/B.Zja", "Backup/C.Zja", "Config/Readme.txt"})
            WriteOnE(drives, QString::fromLatin1(name), job);
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Config/Folder.Zja"))));
    }
    const int before = TThreadBase::LiveWorkerCount();
    test::TRecordingObserver observer;
    QList<TAutoRunFileData> rows;
    {
        TSearchDrive search;
        QCOMPARE(TThreadBase::LiveWorkerCount(), before + 1);
        if (terminate)
            search.RequestStop();
        search.SetDrive(QStringLiteral("E:\\"));
        search.SetObserver(&observer);
        search.SetAddListItem([&](TThreadBase &, TAutoRunFileData &data) {
            if (failInList)
                throw EFileError(QStringLiteral("list is gone"));
            rows << data;
        });
        search.RunSynchronously();
        QCOMPARE(TThreadBase::LiveWorkerCount(), before); // lowered by the search itself
    }
    QCOMPARE(TThreadBase::LiveWorkerCount(), before);
    QTEST(int(rows.size()), "rows");
    if (!rows.isEmpty())
        QCOMPARE(rows.first().FileName, QStringLiteral("E:\\Config\\A.Zja"));
    QFETCH(QString, error);
    QCOMPARE(observer.Errors.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty()) {
        QCOMPARE(observer.Errors.first().Message, error);
        QCOMPARE(observer.Errors.first().Code, -1);
    }
    QCOMPARE(observer.Statuses.size(), terminate ? 3 : 2);
    QCOMPARE(observer.Statuses[observer.Statuses.size() - 2].StatusMsg, QStringLiteral("Prepareing... "));
    QCOMPARE(observer.Statuses[observer.Statuses.size() - 2].ProcessedItems, qint64(-1));
    QCOMPARE(observer.LastStatus(), QStringLiteral(" Searching...E:\\Config\\"));
}

QTEST_GUILESS_MAIN(TestSearchDrive)
#include "tst_searchdrive.moc"
