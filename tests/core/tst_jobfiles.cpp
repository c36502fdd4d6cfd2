#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/PCSyncData.h"

#include <QtTest>

using namespace trovalo;

Q_DECLARE_METATYPE(trovalo::TJobKind)

namespace {
// 10 July 2014, 09:15:30.123.
const QDateTime Stamp(QDate(2014, 7, 10), QTime(9, 15, 30, 123));
} // namespace

class TestJobFiles : public QObject
{
    Q_OBJECT

private slots:
    void newJobFileName_data();
    void newJobFileName();
    void kindByExtension_data();
    void kindByExtension();
    void databaseNames_data();
    void databaseNames();
    void choosePCSyncItem_data();
    void choosePCSyncItem();
    void backupSystemTable_data();
    void backupSystemTable();
    void newArchiveJobDefaults();
};

void TestJobFiles::newJobFileName_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<TJobKind>("kind");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("backup") << "E:\\" << TJobKind::Backup << Stamp
                            << "E:\\Config\\Backup2014-07-10 09-15-30 123.Zja";
    QTest::newRow("move, root without backslash")
        << "E:" << TJobKind::Move << Stamp << "E:\\Config\\Move 2014-07-10 09-15-30 123.Zjm";
    QTest::newRow("sync, small numbers padded")
        << "F:\\" << TJobKind::Sync << QDateTime(QDate(2015, 1, 2), QTime(3, 4, 5, 6))
        << "F:\\Config\\sync 2015-01-02 03-04-05 006.Zjs";
    QTest::newRow("afternoon is 24-hour")
        << "E:\\" << TJobKind::Backup << QDateTime(QDate(2014, 7, 10), QTime(21, 0, 0, 999))
        << "E:\\Config\\Backup2014-07-10 21-00-00 999.Zja";
    QTest::newRow("PC-to-PC has none") << "E:\\" << TJobKind::PCSync << Stamp << "";
}

void TestJobFiles::newJobFileName()
{
    QFETCH(QString, root);
    QFETCH(TJobKind, kind);
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QCOMPARE(NewJobFileName(root, kind, time), expected);
    if (!expected.isEmpty())
        QCOMPARE(JobKindOfFile(expected), std::optional<TJobKind>(kind));
}

void TestJobFiles::kindByExtension_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("kind"); // -1: not a job file
    QTest::newRow("upper") << "E:\\Config\\a.ZJA" << int(TJobKind::Backup);
    QTest::newRow("lower move") << "E:\\Config\\a.zjm" << int(TJobKind::Move);
    QTest::newRow("mixed sync") << "E:\\Config\\a.zJs" << int(TJobKind::Sync);
    QTest::newRow("pc sync") << "E:\\Config\\a.Zjp" << int(TJobKind::PCSync);
    QTest::newRow("database") << "E:\\Config\\a.Zjd" << -1;
    QTest::newRow("extension not last") << "E:\\Config\\a.zja.bak" << -1;
    QTest::newRow("dot in folder only") << "E:\\x.zja\\file" << -1;
}

void TestJobFiles::kindByExtension()
{
    QFETCH(QString, file);
    QFETCH(int, kind);
    const std::optional<TJobKind> found = JobKindOfFile(file);
    QCOMPARE(found ? int(*found) : -1, kind);
}

void TestJobFiles::databaseNames_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<QStringList>("itemIds"); // makes the job a PC-to-PC record when given
    QTest::addColumn<QStringList>("expected");
    const QStringList none;
    QTest::newRow("backup") << "E:\\Config\\Backup2014-07-10 09-15-30 123.Zja" << none
                            << QStringList{"E:\\Config\\Backup2014-07-10 09-15-30 123.Zjd"};
    QTest::newRow("move, lower case") << "E:\\Config\\m.zjm" << none << QStringList{"E:\\Config\\m.Zjd"};
    QTest::newRow("move, dot in folder")
        << "E:\\Con.fig\\Move 2024.zjm" << none << QStringList{"E:\\Con.fig\\Move 2024.Zjd"};
    QTest::newRow("sync") << "E:\\Config\\sync x.ZJS" << none << QStringList{"E:\\Config\\sync x.Zjt"};
    QTest::newRow("dotted name") << "E:\\Config\\my.job.Zja" << none << QStringList{"E:\\Config\\my.job.Zjd"};
    QTest::newRow("pc sync needs its items") << "E:\\Config\\p.Zjp" << none << none;
    QTest::newRow("not a job") << "E:\\Config\\p.txt" << none << none;
    QTest::newRow("pc sync items, each once")
        << "E:\\Config\\sync 2024.zjp" << QStringList{"OFFICE-7", "7", "OFFICE-7"}
        << QStringList{"E:\\Config\\OFFICE-7.Zjt", "E:\\Config\\7.Zjt"};
    QTest::newRow("item ids leaving the folder or blank")
        << "E:\\Config\\p.Zjp" << QStringList{"..\\..\\evil", "C:evil", "a/b", "/etc/x", "  ", "ok"}
        << QStringList{"E:\\Config\\ok.Zjt"};
}

void TestJobFiles::databaseNames()
{
    QFETCH(QString, job);
    QFETCH(QStringList, itemIds);
    QFETCH(QStringList, expected);
    if (itemIds.isEmpty()) {
        QCOMPARE(JobDatabaseFileNames(job, nullptr), expected);
        QCOMPARE(JobDatabaseFileName(job), expected.value(0));
        return;
    }
    TPCSyncData pcJob;
    for (const QString &id : itemIds)
        pcJob.SyncDataItems()->Add()->SetID(id);
    QCOMPARE(JobDatabaseFileNames(job, &pcJob), expected);
}

void TestJobFiles::choosePCSyncItem_data()
{
    QTest::addColumn<QStringList>("itemPcIds");
    QTest::addColumn<QString>("pcId");
    QTest::addColumn<int>("index");
    QTest::newRow("second") << QStringList{"1A2B - 3C4D", "5E6F - 7A8B"} << "5E6F - 7A8B" << 1;
    QTest::newRow("first of two matches")
        << QStringList{"X", "5E6F - 7A8B", "5E6F - 7A8B"} << "5E6F - 7A8B" << 1;
    QTest::newRow("case differs") << QStringList{"1a2b - 3c4d"} << "1A2B - 3C4D" << -1;
    QTest::newRow("no item") << QStringList{} << "1A2B - 3C4D" << -1;
    QTest::newRow("empty id matches empty") << QStringList{"A", ""} << "" << 1;
}

void TestJobFiles::choosePCSyncItem()
{
    QFETCH(QStringList, itemPcIds);
    QFETCH(QString, pcId);
    QFETCH(int, index);
    TPCSyncData job;
    for (const QString &id : itemPcIds)
        job.SyncDataItems()->Add()->SetPCID(id);
    QCOMPARE(ChoosePCSyncItem(job, pcId), index);
}

void TestJobFiles::backupSystemTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("mode"); // -1: no such choice
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("caption");
    QTest::newRow("0") << 0 << int(amMirror) << int(atFile) << "Mirror";
    QTest::newRow("1") << 1 << int(amIncremental) << int(atFile) << "Incremental backup";
    QTest::newRow("2") << 2 << int(amCompletelyNew) << int(atImage) << "Zip archive";
    QTest::newRow("3") << 3 << int(amTimeStampedIncremental) << int(atFile) << "Versions tracking";
    QTest::newRow("4") << 4 << int(amTimeStampedIncremental) << int(atImage)
                       << "Version tracking with zip compressoin";
    QTest::newRow("-1") << -1 << -1 << -1 << "";
    QTest::newRow("5") << 5 << -1 << -1 << "";
}

void TestJobFiles::backupSystemTable()
{
    QFETCH(int, index);
    QFETCH(int, mode);
    QFETCH(int, type);
    QFETCH(QString, caption);
    const std::optional<TBackupSystemChoice> choice = BackupSystemMode(index);
    QCOMPARE(BackupSystemCaption(index), caption);
    if (mode < 0) {
        QVERIFY(!choice);
        return;
    }
    QVERIFY(choice);
    QCOMPARE(int(choice->Mode), mode);
    QCOMPARE(int(choice->Type), type);
    QCOMPARE(BackupSystemIndex(TArchiveMode(mode), TArchiveType(type)), index);
    QCOMPARE(BackupSystemCaptions().value(index), caption);
    // The same mode with the other type is another choice or none at all.
    QVERIFY(BackupSystemIndex(TArchiveMode(mode), TArchiveType(1 - type)) != index);
}

void TestJobFiles::newArchiveJobDefaults()
{
    TArchiveData job;
    job.SetLastUpdate(2000);
    job.SetArchiveMode(amMirror);
    job.SetArchiveType(atImage);
    job.SetArchiveDir(amPcToUsb);
    job.SetPassword(QStringLiteral("p"));
    job.SetHost(QStringLiteral("h"));
    job.SetPassiveConnection(true);
    job.SetFolderList({QStringLiteral("C:\\a\\")});
    job.SetFileList({QStringLiteral("C:\\c.txt")});
    job.SetCreateDate(1000);
    ApplyNewArchiveJobDefaults(job, QStringLiteral("1A2B - 3C4D"));
    QVERIFY(qAbs(job.CreateDate() - DateTimeNow()) < 1.0 / 24);
    QCOMPARE(job.LastUpdate(), 0.0);
    QCOMPARE(
        QVariantList({job.ArchiveMode(), job.ArchiveType(), job.Password() + job.Host(), job.Port(),
                      job.PassiveConnection(), job.Path(), job.FolderList() + job.FileList(), job.PCID()}),
        QVariantList({amIncremental, atFile, QString(), 21, false, "/", QStringList(), "1A2B - 3C4D"}));
    QCOMPARE(job.ArchiveDir(), amPcToUsb); // the direction is the wizard's next question, not reset
}

QTEST_GUILESS_MAIN(TestJobFiles)
#include "tst_jobfiles.moc"
