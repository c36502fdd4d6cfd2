#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "UDisks2Mock.h"

#include "base/DateTime.h"
#include "control/DriveConfig.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "model/Schedule.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/ScheduleRunnerLock.h"

#include <QDir>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>

using namespace trovalo;

namespace {

// A user's machine without a desktop: documents on C:, a stick E: set up on
// this computer with two backup jobs, and `trovalo-cli service` running.
struct THeadlessMachine
{
    test::TTestDrives Drives;
    QString DriveTableFile = Drives.Base() + QStringLiteral("/drive-table");
    QString OnInsertion, OnTime; // job files (drive-letter form)

    THeadlessMachine()
    {
        QDir().mkpath(Drives.Native('E', QStringLiteral("Backup1")));
        QDir().mkpath(Drives.Native('E', QStringLiteral("Backup2")));
        test::PutNative(Drives.Native('C', QStringLiteral("Docs/a.txt")), "alpha");
        OnInsertion = NewJob(QStringLiteral("Backup1"));
        OnTime = NewJob(QStringLiteral("Backup2"));
    }

    static QString NewJob(const QString &destination)
    {
        const test::TCliRun made =
            test::RunCli({"new", "backup", "--direction", "to-usb", "--type", "incremental", "--destination",
                          "E:\\" + destination, "--name", destination, "--source", "C:\\Docs"});
        const QString marker = QStringLiteral("E:\\Config\\");
        const qsizetype at = made.Out.indexOf(marker);
        return made.Status == 0 && at >= 0 ? made.Out.mid(at).section(QLatin1Char('\n'), 0, 0).trimmed()
                                           : QString();
    }

    // The stick knows this computer, and the schedules are stored: the
    // first job on insertion, the second (unless not wanted) at the start of
    // the next minute.
    void SetUp(bool timeSchedule = true)
    {
        TStartUp startUp;
        startUp.RunCommonModule();
        QVERIFY(startUp.RunController());
        AddPCToDrive(QStringLiteral("E:\\"), startUp.PCID(), false);
        TProgramDatabase &database = *startUp.ProgramDatabase();
        TScheduleRunRow insertion;
        insertion.ID = database.AddSchedule(OnInsertion, QStringLiteral("Backup1"));
        insertion.FileName = OnInsertion;
        insertion.JobName = QStringLiteral("Backup1");
        insertion.Mode = stDriveInsertion;
        database.UpdateSchedule(insertion);
        if (!timeSchedule)
            return;

        const QDateTime next = QDateTime::currentDateTime().addSecs(60);
        TSchedule rule;
        rule.SetScheduleMode(smWeekly);
        rule.SetWeekDays(
            TWeekDays(dMonday | dTuesday | dWednesday | dThursday | dFriday | dSaturday | dSunday));
        rule.SetTimeH(next.time().hour());
        rule.SetTimeM(next.time().minute());
        TScheduleRunRow time;
        time.ID = database.AddSchedule(OnTime, QStringLiteral("Backup2"));
        time.FileName = OnTime;
        time.JobName = QStringLiteral("Backup2");
        time.Mode = stTime;
        time.NextRunTime = EncodeDateTime(next.date(), QTime(next.time().hour(), next.time().minute()));
        time.Data = rule.SaveToBytes();
        database.UpdateSchedule(time);
    }

    // The drive table as the service reads it: C: alone, or C: and the stick.
    bool WriteDriveTable(bool stickPluggedIn) const
    {
        QStringList entries = Drives.DrivesVariable().split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (!stickPluggedIn)
            entries.removeIf([](const QString &entry) { return entry.startsWith(QLatin1Char('E')); });
        QSaveFile file(DriveTableFile);
        return file.open(QIODevice::WriteOnly) && file.write(entries.join(QLatin1Char('\n')).toUtf8()) > 0 &&
               file.commit();
    }

    // The drive table is the file, and there is no system bus, unless given.
    void StartService(QProcess &service, const QString &drives = {}, const QString &systemBus = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TROVALO_DRIVES"),
                           drives.isEmpty() ? QLatin1Char('@') + DriveTableFile : drives);
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                           systemBus.isEmpty()
                               ? QStringLiteral("unix:path=") + Drives.Base() + QStringLiteral("/no-bus")
                               : systemBus);
        service.setProcessEnvironment(environment);
        service.setProcessChannelMode(QProcess::MergedChannels);
        test::StartCli(service, {QStringLiteral("service")});
    }
};

} // namespace

class TestService : public QObject
{
    Q_OBJECT

private slots:
    void runsInsertionAndTimeSchedulesHeadless();
    void mountsSticksUDisks2LeftUnmounted();
    void refusesBesideAnotherScheduleRunner();
};

void TestService::runsInsertionAndTimeSchedulesHeadless()
{
    THeadlessMachine machine;
    QVERIFY(!machine.OnInsertion.isEmpty() && !machine.OnTime.isEmpty());
    machine.SetUp();
    QVERIFY(machine.WriteDriveTable(false));
    QProcess service;
    QString log;
    const auto output = [&] {
        log += QString::fromUtf8(service.readAll());
        return log;
    };
    machine.StartService(service);
    const auto stop = qScopeGuard([&] {
        service.kill();
        service.waitForFinished(5000);
    });
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains(QStringLiteral("watches drive arrival")), qPrintable(log),
                              20000);

    // The stick is plugged in: its insertion job runs to the end.
    QVERIFY(machine.WriteDriveTable(true));
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains(QStringLiteral("drive E:\\")), qPrintable(log), 20000);
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains(QStringLiteral("end: schedule 1, ")), qPrintable(log), 60000);
    QVERIFY2(log.contains(QStringLiteral("end: schedule 1, ") + machine.OnInsertion +
                          QStringLiteral(": finished")),
             qPrintable(log));
    QCOMPARE(test::ReadOrMissing(machine.Drives.Native('E', QStringLiteral("Backup1/C/Docs/a.txt"))),
             QByteArray("alpha"));

    // A second runner is refused while this one runs.
    const test::TCliRun second = test::RunCli({QStringLiteral("service")});
    QCOMPARE(second.Status, 1);
    QVERIFY2(second.Err.contains(
                 QStringLiteral("already run by trovalo-cli service (process %1)").arg(service.processId())),
             qPrintable(second.Err));

    // The time schedule: due at the start of the next minute.
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains(QStringLiteral("end: schedule 2, ")), qPrintable(log), 90000);
    QVERIFY2(log.contains(QStringLiteral("start: schedule 2 (at its time)")), qPrintable(log));
    QCOMPARE(test::ReadOrMissing(machine.Drives.Native('E', QStringLiteral("Backup2/C/Docs/a.txt"))),
             QByteArray("alpha"));

    ::kill(static_cast<pid_t>(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(20000));
    QCOMPARE(service.exitCode(), 0);
    QVERIFY2(output().contains(QStringLiteral("service stops")), qPrintable(log));
}

// A machine without a desktop mounts nothing: the service mounts what
// UDisks2 reports, runs the insertion job of the stick set up here, and
// gives a stranger's stick back unmounted, having run nothing from it.
void TestService::mountsSticksUDisks2LeftUnmounted()
{
    if (!test::TPrivateBus::Available())
        QSKIP(test::NeedsDBusMock);
    test::TUDisks2OnPrivateBus bus;
    QVERIFY(bus.Start());
    test::TUDisks2Mock &udisks = bus.UDisks2;
    THeadlessMachine machine;
    QVERIFY(!machine.OnInsertion.isEmpty());
    machine.SetUp(false);
    const QString stranger = machine.Drives.Base() + QStringLiteral("/strangers-stick");
    QDir().mkpath(stranger);
    const QString drives = machine.Drives.DrivesVariable() + QStringLiteral(";F=%1,bus=USB").arg(stranger);

    QProcess service;
    QString log;
    const auto output = [&] {
        log += QString::fromUtf8(service.readAll());
        return log;
    };
    machine.StartService(service, drives, bus.Bus.Address());
    const auto stop = qScopeGuard([&] {
        service.kill();
        service.waitForFinished(5000);
    });
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains(QStringLiteral("watches drive arrival through UDisks2")),
                              qPrintable(log), 20000);

    const QString sticks = QStringLiteral("/org/freedesktop/UDisks2/drives/");
    const QString blocks = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
    const QList<std::pair<QString, QString>> plugged{{QStringLiteral("sdb1"), machine.Drives.NativeRoot('E')},
                                                     {QStringLiteral("sdc1"), stranger}};
    for (const auto &[device, folder] : plugged) {
        QVERIFY(udisks.AddDrive(sticks + device, true, QStringLiteral("usb")));
        QVERIFY(udisks.AppearFileSystem(blocks + device, sticks + device, {}, false, folder));
    }
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains(QStringLiteral("end: schedule 1, ")), qPrintable(log), 60000);
    QVERIFY2(log.contains(QStringLiteral("end: schedule 1, ") + machine.OnInsertion +
                          QStringLiteral(": finished")),
             qPrintable(log));
    QCOMPARE(test::ReadOrMissing(machine.Drives.Native('E', QStringLiteral("Backup1/C/Docs/a.txt"))),
             QByteArray("alpha"));
    QCOMPARE(udisks.Calls(blocks + QStringLiteral("sdb1"), QStringLiteral("Mount")), 1);
    QTRY_COMPARE(udisks.Calls(blocks + QStringLiteral("sdc1"), QStringLiteral("Unmount")), 1);
    QCOMPARE(udisks.Calls(blocks + QStringLiteral("sdb1"), QStringLiteral("Unmount")), 0);
    QVERIFY2(output().contains(
                 QStringLiteral("drive F:\\  (%1) arrived; it is not set up on this computer").arg(stranger)),
             qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("start: schedule")), 1);

    ::kill(static_cast<pid_t>(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(20000));
    QCOMPARE(service.exitCode(), 0);
}

void TestService::refusesBesideAnotherScheduleRunner()
{
    test::TTestDrives drives;
    QVERIFY(test::RunCli({QStringLiteral("drives")}).Status == 0);
    QString heldBy;
    const std::optional<TScheduleRunnerLock> tray = TScheduleRunnerLock::TryTake(
        NativePath(AppDataFolder()), QStringLiteral("the tray program (trovalo)"), &heldBy);
    QVERIFY(tray);
    const test::TCliRun refused = test::RunCli({QStringLiteral("service")});
    QCOMPARE(refused.Status, 1);
    QVERIFY2(refused.Err.contains(QStringLiteral("are already run by the tray program (trovalo)")),
             qPrintable(refused.Err));
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
