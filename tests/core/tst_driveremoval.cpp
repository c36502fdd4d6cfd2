#include "TestDrives.h"
#include "TestFiles.h"
#include "UDisks2Mock.h"

#include "platform/DriveRemoval.h"
#include "platform/JobRunLock.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>
#include <QtTest>

using namespace trovalo;

namespace {
const QString DrivePath = test::TMockStick().Drive;
const QString BlockPath = test::TMockStick().Block;
const QString CleartextPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/dm_2d0");

// What stands in the way of the removal, besides the stick itself.
enum class TObstacle { None, OtherProgramHoldsFile, OwnFileOpen, JobRuns };
} // namespace

Q_DECLARE_METATYPE(TObstacle)
Q_DECLARE_METATYPE(TRemovalError)

// Safe removal against dbusmock standing in for UDisks2 on a private bus;
// the drive is E: of the test drives, its folder the stick's mount point.
class TestDriveRemoval : public test::TUDisks2Suite
{
    Q_OBJECT

private slots:
    void removes_data();
    void removes();
    void refusesUnknownAndSystemDrives();
};

void TestDriveRemoval::removes_data()
{
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<bool>("canPowerOff");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<TObstacle>("obstacle");
    QTest::addColumn<TRemovalError>("error");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("text");

    const QString unmount = BlockPath + QStringLiteral(" Unmount");
    const QString powerOff = DrivePath + QStringLiteral(" PowerOff");
    QTest::newRow("unmounted, then powered off")
        << true << false << true << false << TObstacle::None << TRemovalError::None
        << QStringList{unmount, powerOff} << "may be pulled out now";
    QTest::newRow("ejected when it cannot power off")
        << true << false << false << false << TObstacle::None << TRemovalError::None
        << QStringList{unmount, DrivePath + QStringLiteral(" Eject")} << "may be pulled out now";
    QTest::newRow("encrypted: locked between unmount and power-off")
        << true << true << true << false << TObstacle::None << TRemovalError::None
        << QStringList{CleartextPath + QStringLiteral(" Unmount"), BlockPath + QStringLiteral(" Lock"),
                       powerOff}
        << "may be pulled out now";
    QTest::newRow("busy: the holding program is named")
        << true << false << true << true << TObstacle::OtherProgramHoldsFile << TRemovalError::Busy
        << QStringList{unmount} << "these programs hold open on it, then try again: sleep (process ";
    QTest::newRow("refused while a job of the drive runs")
        << true << false << true << false << TObstacle::JobRuns << TRemovalError::JobRunning << QStringList{}
        << "cannot be removed while a job of it runs: E:\\Config\\Backup.Zja (process ";
    QTest::newRow("refused while this program holds a file on it")
        << true << false << true << false << TObstacle::OwnFileOpen << TRemovalError::OwnFilesOpen
        << QStringList{} << "Trovalo itself still has files open on it";
    QTest::newRow("a folder UDisks2 does not know")
        << false << false << true << false << TObstacle::None << TRemovalError::NotRemovable << QStringList{}
        << "is not a drive UDisks2 can remove";
}

void TestDriveRemoval::removes()
{
    QFETCH(bool, known);
    QFETCH(bool, encrypted);
    QFETCH(bool, canPowerOff);
    QFETCH(bool, busy);
    QFETCH(TObstacle, obstacle);
    QFETCH(TRemovalError, error);
    QFETCH(QStringList, calls);
    QFETCH(QString, text);

    test::TTestDrives drives;
    const QString stickFolder = drives.NativeRoot('E');
    const QString jobFile = drives.Native('E', QStringLiteral("Config/Backup.Zja"));
    test::PutNative(jobFile, "job");
    QVERIFY(FUDisks2.Start());
    if (known)
        QVERIFY(FUDisks2.AddStick(
            {DrivePath, BlockPath, stickFolder, encrypted ? CleartextPath : QString(), canPowerOff, busy}));

    QProcess holder;
    auto stopHolder = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished();
    });
    QFile ownFile(jobFile);
    TJobRunLock job;
    if (obstacle == TObstacle::OtherProgramHoldsFile) {
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("exec sleep 60 3<\"$0\""), jobFile});
        QVERIFY(holder.waitForStarted());
        QTRY_COMPARE(test::ReadOrMissing(QStringLiteral("/proc/%1/comm").arg(holder.processId())).trimmed(),
                     QByteArray("sleep"));
    } else if (obstacle == TObstacle::OwnFileOpen) {
        QVERIFY(ownFile.open(QIODevice::ReadOnly));
    } else if (obstacle == TObstacle::JobRuns) {
        job = TJobRunLock::Take(QUuid::createUuid().toString(), QStringLiteral("E:\\Config\\Backup.Zja"));
    }

    const TRemovalResult result = SafelyRemoveDrive(QStringLiteral("E:\\"));
    QVERIFY2(result.Text.contains(text), qPrintable(result.Text));
    QCOMPARE(result.Error, error);
    QCOMPARE(result.PoweredOff, error == TRemovalError::None && canPowerOff);
    QCOMPARE(FUDisks2.RemovalCalls(), calls);
    if (obstacle == TObstacle::OtherProgramHoldsFile)
        QVERIFY2(result.Text.contains(QString::number(holder.processId()) + QStringLiteral(": ") + jobFile),
                 qPrintable(result.Text));
}

void TestDriveRemoval::refusesUnknownAndSystemDrives()
{
    test::TTestDrives drives;
    QVERIFY(FUDisks2.Start());
    QVERIFY(FUDisks2.AddStick(test::TMockStick::MountedAt(drives.NativeRoot('C'))));
    for (const QString &drive : {QStringLiteral("C:\\"), QStringLiteral("Q:\\"), QString()}) {
        const TRemovalResult result = SafelyRemoveDrive(drive);
        QCOMPARE(result.Error, TRemovalError::UnknownDrive);
    }
    QVERIFY(FUDisks2.RemovalCalls().isEmpty());
}

QTEST_GUILESS_MAIN(TestDriveRemoval)
#include "tst_driveremoval.moc"
