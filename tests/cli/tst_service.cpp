#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

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
    // first job on insertion, the second at the start of the next minute.
    void SetUp()
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

    void StartService(QProcess &service) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TROVALO_DRIVES"), QLatin1Char('@') + DriveTableFile);
        // No bus: the service must run without logind too.
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + Drives.Base() + QStringLiteral("/no-bus"));
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
