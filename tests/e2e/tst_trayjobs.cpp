#include "CliProcess.h"
#include "E2eSession.h"
#include "E2eSteps.h"
#include "TestFiles.h"

#include "base/DateTime.h"
#include "control/DriveConfig.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "model/ProgramIdentity.h"
#include "model/Schedule.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/VolumeInfo.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QtTest>

using namespace trovalo;
using test::TE2eSession;
using namespace trovalo::test::e2e;

namespace {

// Selects the job in the console's list once the search found it, and runs it.
QString RunJobFromConsole(TE2eSession &session)
{
    QList<QStringList> rows;
    const bool listed = TE2eSession::Until([&] {
        rows = Rows(session, JobList);
        return rows.size() == 1 && rows.constFirst().value(1) == QLatin1String("Docs");
    });
    if (!listed)
        return QStringLiteral("the console does not list the job: ") +
               Json(session.Call(QStringLiteral("rows"), {{QStringLiteral("path"), JobList}}));
    if (rows.constFirst().value(0) != QLatin1String("Backup To USB"))
        return QStringLiteral("job type: ") + rows.constFirst().value(0);
    const QJsonObject selected = session.Call(
        QStringLiteral("select"), {{QStringLiteral("path"), JobList}, {QStringLiteral("row"), 0}});
    if (!Ok(selected))
        return Json(selected);
    const QJsonObject run = Click(session, Console + QStringLiteral("/btnRun"));
    return Ok(run) ? QString() : QStringLiteral("\"Run\": ") + Json(run);
}

} // namespace

class TestTrayJobs : public QObject
{
    Q_OBJECT

private slots:
    void trayIconDocksAndOpensItsMenu();
    void backupRunsFromOpenDriveToASavedLog();
    void cancelledJobSaysSo();
    void exitAsksFirst_data();
    void exitAsksFirst();
    void scheduledJobRunsInItsDrivesConsole();
    void pluggedInStickRunsItsInsertionJob();
};

void TestTrayJobs::trayIconDocksAndOpensItsMenu()
{
    TE2eSession session;
    START_SESSION(session);

    const QJsonObject tray = session.Call(QStringLiteral("tray"));
    QVERIFY(tray.value(QStringLiteral("available")).toBool());
    QVERIFY2(!tray.value(QStringLiteral("fallback")).toBool(),
             "a tray is there, yet the stand-in window shows");

    // A right click on the docked icon, as the user does it.
    const QPoint click = session.UncoveredPoint(session.TrayIconGeometry());
    QVERIFY(session.RunX(QStringLiteral("xdotool"),
                         {QStringLiteral("mousemove"), QString::number(click.x()), QString::number(click.y()),
                          QStringLiteral("click"), QStringLiteral("3")}));
    QVERIFY2(TE2eSession::Until([&] { return Visible(session, QStringLiteral("TrayMenu")); }),
             "the tray menu did not open on a right click");
    QVERIFY(session.Screenshot(QStringLiteral("tray-menu.png")));

    const QJsonArray actions =
        Find(session, QStringLiteral("TrayMenu")).value(QStringLiteral("actions")).toArray();
    const QList<QPair<QString, QString>> expected = {{"OpenDrive1", "Open Drive"},
                                                     {"SafelyRemove1", "Safely Remove"},
                                                     {"N2", "-"},
                                                     {"Settings1", "Options"},
                                                     {"Schedules1", "Schedules"},
                                                     {"N11", "-"},
                                                     {"Update1", "Update"},
                                                     {"UsersManual1", "User's Manual"},
                                                     {"Help1", "Help"},
                                                     {"About1", "About"},
                                                     {"N1", "-"},
                                                     {"Exit1", "Exit"}};
    QCOMPARE(actions.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const QJsonObject action = actions.at(i).toObject();
        QCOMPARE(action.value(QStringLiteral("name")).toString(), expected.at(i).first);
        QCOMPARE(action.value(QStringLiteral("text")).toString(), expected.at(i).second);
    }
    QVERIFY(actions.at(0).toObject().value(QStringLiteral("enabled")).toBool());
    QCOMPARE(actions.last().toObject().value(QStringLiteral("shortcut")).toString(),
             QStringLiteral("Ctrl+X"));

    QVERIFY(session.RunX(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")}));
    QVERIFY2(TE2eSession::Until([&] { return !Visible(session, QStringLiteral("TrayMenu")); }),
             "Escape did not close the tray menu");
}

void TestTrayJobs::backupRunsFromOpenDriveToASavedLog()
{
    TE2eSession session;
    QStringList sourceFiles;
    QMap<QString, QByteArray> contents;
    for (int i = 1; i <= 6; ++i) {
        const QString name = QStringLiteral("Users/ann/Docs/file%1.bin").arg(i);
        // Two chunks and a bit: the throttle below makes each file take a while.
        contents[name] = test::RandomBytes((2 << 20) + i, static_cast<quint32>(i));
        test::PutNative(session.Drives().Native('C', name), contents[name]);
        sourceFiles << QStringLiteral("C:\\") + QString(name).replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    QVERIFY(!MakeBackupJob(session, {QStringLiteral("C:\\Users\\ann\\Docs")}).isEmpty());
    START_SESSION(session);
    QVERIFY(Ok(session.Call(QStringLiteral("throttle"), {{QStringLiteral("ms"), 150}})));

    const QString opened = OpenConsoleOfStick(session, true);
    QVERIFY2(opened.isEmpty(), qPrintable(opened));
    QVERIFY2(TE2eSession::Until([&] { return Rows(session, JobList).size() == 1; }), "the job is not listed");
    QVERIFY(session.Screenshot(QStringLiteral("console-jobs.png"), Console));
    const QString ran = RunJobFromConsole(session);
    QVERIFY2(ran.isEmpty(), qPrintable(ran));

    QVERIFY2(TE2eSession::Until([&] { return Visible(session, Panel + QStringLiteral("/BtnCancel")); }),
             "no running panel appeared");
    const QJsonObject tabs = Find(session, Console + QStringLiteral("/ThreadState"));
    QCOMPARE(tabs.value(QStringLiteral("tabs")).toArray().last().toString(), QStringLiteral("Docs"));
    // The picture shows the first files copied and the job still going.
    QVERIFY(
        TE2eSession::Until([&] { return !Rows(session, Panel + QStringLiteral("/ListView")).isEmpty(); }));
    QVERIFY(session.Screenshot(QStringLiteral("panel-running.png"), Console));
    QVERIFY(Visible(session, Panel + QStringLiteral("/BtnCancel")));

    const QJsonObject box = session.WaitForMessageBox();
    QVERIFY2(!box.isEmpty(), "no completion message");
    QCOMPARE(box.value(QStringLiteral("title")).toString(), QStringLiteral("Trovalo"));
    QCOMPARE(box.value(QStringLiteral("text")).toString(), QStringLiteral("Job Completed."));
    QCOMPARE(box.value(QStringLiteral("informative")).toString(),
             QStringLiteral("Backup file operation completed !\nTotal Files : 6\nErrors : 0"));
    QVERIFY(Ok(session.Call(QStringLiteral("press"), {{QStringLiteral("text"), QStringLiteral("OK")}})));
    QVERIFY(TE2eSession::Until([&] { return !MessageBoxShown(session); }));
    QVERIFY(session.Screenshot(QStringLiteral("panel-finished.png"), Console));

    QVERIFY(Visible(session, Panel + QStringLiteral("/BtnClose")));
    QVERIFY(!Visible(session, Panel + QStringLiteral("/BtnCancel")));
    QCOMPARE(Find(session, Panel + QStringLiteral("/pbTotal")).value(QStringLiteral("value")).toInt(), 100);
    for (auto it = contents.cbegin(); it != contents.cend(); ++it)
        QCOMPARE(test::ReadOrMissing(session.Drives().Native('E', QStringLiteral("Backup/C/") + it.key())),
                 it.value());

    // One log row per copied file.
    const QJsonObject logReply =
        session.Call(QStringLiteral("rows"), {{QStringLiteral("path"), Panel + "/ListView"}});
    QCOMPARE(logReply.value(QStringLiteral("headers")).toArray(),
             QJsonArray({"Time Stamp", "Action", "File Name", "Info"}));
    const QList<QStringList> log = Rows(session, Panel + QStringLiteral("/ListView"));
    QSet<QString> logged;
    for (const QStringList &row : log) {
        QCOMPARE(row.value(3), QStringLiteral("Done"));
        QVERIFY(!row.value(1).isEmpty());
        logged << row.value(2);
    }
    QCOMPARE(log.size(), sourceFiles.size());
    QCOMPARE(logged, QSet<QString>(sourceFiles.cbegin(), sourceFiles.cend()));

    // The diagnostic log keeps the run's start and its outcome.
    const QString diagnostics = QString::fromUtf8(test::ReadOrMissing(session.Drives().Native(
        'C', QStringLiteral("ProgramData/%1/ErrorLogs/Trovalo.log").arg(AppFolderName()))));
    QVERIFY2(diagnostics.contains(QStringLiteral("trovalo.engine: Run started: TCopyFolderThread \"Docs\"")),
             qPrintable(diagnostics));
    QVERIFY2(diagnostics.contains(QStringLiteral("\"Docs\" (E:\\Config\\")), qPrintable(diagnostics));
    QVERIFY2(diagnostics.contains(QStringLiteral(": finished; 6 files done, 0 failed, 0 errors")),
             qPrintable(diagnostics));

    // "Save log" through the file dialog, as the user saves it.
    const QString folder = session.Drives().Base() + QStringLiteral("/saved logs");
    QVERIFY(QDir().mkpath(folder));
    const QString logFile = folder + QStringLiteral("/Docs run.log");
    QVERIFY(Ok(Click(session, Panel + QStringLiteral("/btnSave"))));
    QVERIFY2(!session.WaitForWindow(QStringLiteral("QFileDialog")).isEmpty(),
             "\"Save log\" showed no file dialog");
    QVERIFY(Ok(session.Call(QStringLiteral("filedialog"), {{QStringLiteral("file"), logFile}})));
    QByteArray saved;
    QVERIFY2(
        TE2eSession::Until([&] { return (saved = test::ReadOrMissing(logFile)).endsWith("End Log.\r\n"); }),
        saved.constData());

    QCOMPARE(saved.count('\n'), saved.count("\r\n"));
    QStringList lines = QString::fromUtf8(saved).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.takeLast(), QString());
    const QString rule(82, QLatin1Char('='));
    QCOMPARE(lines.size(), 5 + log.size() + 2);
    QCOMPARE(lines.at(0), rule);
    QCOMPARE(lines.at(1), QStringLiteral("\t\t\t\tTrovalo File Log"));
    QCOMPARE(lines.at(2), rule);
    QCOMPARE(lines.at(3), QStringLiteral("Time Stamp\t\tAction\t\tStatus\tFile Name"));
    QCOMPARE(lines.at(4), rule);
    for (qsizetype i = 0; i < log.size(); ++i) {
        const QStringList row = log.at(i);
        QCOMPARE(lines.at(5 + i), QStringList({row.at(0), row.at(1), QStringLiteral("Success"), row.at(2)})
                                      .join(QLatin1Char('\t')));
    }
    QCOMPARE(lines.at(5 + log.size()), rule);
    QCOMPARE(lines.constLast(), QStringLiteral("End Log."));
}

void TestTrayJobs::cancelledJobSaysSo()
{
    TE2eSession session;
    test::PutNative(session.Drives().Native('C', QStringLiteral("Big/big.bin")), QByteArray(24 << 20, 'x'));
    QVERIFY(!MakeBackupJob(session, {QStringLiteral("C:\\Big")}).isEmpty());
    START_SESSION(session);
    // 25 chunks of 100 ms: seconds in which "Cancel" is pressed.
    QVERIFY(Ok(session.Call(QStringLiteral("throttle"), {{QStringLiteral("ms"), 100}})));
    const QString opened = OpenConsoleOfStick(session, false);
    QVERIFY2(opened.isEmpty(), qPrintable(opened));
    const QString ran = RunJobFromConsole(session);
    QVERIFY2(ran.isEmpty(), qPrintable(ran));

    QVERIFY2(TE2eSession::Until([&] { return Visible(session, Panel + QStringLiteral("/BtnCancel")); }),
             "no running panel appeared");
    const QJsonObject cancel = Click(session, Panel + QStringLiteral("/BtnCancel"));
    QVERIFY2(Ok(cancel), qPrintable(Json(cancel)));

    const QJsonObject box = session.WaitForMessageBox();
    QVERIFY2(!box.isEmpty(), "no message after cancelling");
    QCOMPARE(box.value(QStringLiteral("text")).toString(), QStringLiteral("Job Cancled."));
    const QString message = box.value(QStringLiteral("informative")).toString();
    QVERIFY2(message.startsWith(QStringLiteral("Backup file operation Cancled !\nTotal Files : ")),
             qPrintable(message));
    QVERIFY(Ok(session.Call(QStringLiteral("press"), {{QStringLiteral("text"), QStringLiteral("OK")}})));
    QVERIFY(TE2eSession::Until([&] { return Visible(session, Panel + QStringLiteral("/BtnClose")); }));
    // Neither the big file nor a piece of it reached the stick.
    QVERIFY(test::FilesBelow(session.Drives().Native('E', QStringLiteral("Backup"))).isEmpty());
}

void TestTrayJobs::exitAsksFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("ends");
    QTest::newRow("No keeps it running") << QStringLiteral("No") << false;
    QTest::newRow("Yes ends it") << QStringLiteral("Yes") << true;
}

void TestTrayJobs::exitAsksFirst()
{
    QFETCH(QString, answer);
    QFETCH(bool, ends);
    TE2eSession session;
    START_SESSION(session);

    QVERIFY(Ok(Click(session, QStringLiteral("TrayMenu/Exit1"))));
    const QJsonObject box = session.WaitForMessageBox();
    QVERIFY2(!box.isEmpty(), "Exit asked nothing");
    QCOMPARE(box.value(QStringLiteral("title")).toString(), QStringLiteral("Trovalo"));
    QCOMPARE(box.value(QStringLiteral("informative")).toString(),
             QStringLiteral("Are you sure you want to exit Trovalo?"));
    QCOMPARE(box.value(QStringLiteral("buttons")).toArray(), QJsonArray({"Yes", "No"}));
    QVERIFY(Ok(session.Call(QStringLiteral("press"), {{QStringLiteral("text"), answer}})));

    QProcess &program = session.Program();
    if (ends) {
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        return;
    }
    QVERIFY(TE2eSession::Until([&] { return !MessageBoxShown(session); }));
    QCOMPARE(program.state(), QProcess::Running);
    QVERIFY(session.Call(QStringLiteral("tray")).value(QStringLiteral("visible")).toBool());
}

// A time schedule whose time comes (the schedules' clock moved just before
// it through the automation socket) runs its job in the console of the
// job's drive, with no one at the keyboard.
void TestTrayJobs::scheduledJobRunsInItsDrivesConsole()
{
    TE2eSession session;
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/plan.txt")), "the plan");
    const QString jobName = MakeBackupJob(session, {QStringLiteral("C:\\Users\\ann\\Docs")});
    QVERIFY(!jobName.isEmpty());
    START_SESSION(session);

    // The program made its database at start-up; the schedule goes in beside it.
    ResetAppPathsForTesting();
    const QString database = NativePath(TStartUp::ProgramDatabaseFileName());
    QVERIFY(TE2eSession::Until([&] { return QFile::exists(database); }));
    const QDate day = QDate::currentDate().addDays(3);
    TSchedule rule;
    rule.SetScheduleMode(smWeekly);
    rule.SetWeekDays(TWeekDays(dMonday | dTuesday | dWednesday | dThursday | dFriday | dSaturday | dSunday));
    rule.SetTimeH(10);
    {
        TProgramDatabase schedules(database);
        TScheduleRunRow row;
        row.FileName = QStringLiteral("E:\\Config\\") + jobName;
        row.ID = schedules.AddSchedule(row.FileName, QStringLiteral("Docs"));
        row.JobName = QStringLiteral("Docs");
        row.Mode = stTime;
        row.NextRunTime = EncodeDateTime(day, QTime(10, 0));
        row.Data = rule.SaveToBytes();
        schedules.UpdateSchedule(row);
    }
    const QJsonObject clock =
        session.Call(QStringLiteral("clock"),
                     {{QStringLiteral("at"), QDateTime(day, QTime(9, 59, 55)).toString(Qt::ISODate)}});
    QVERIFY2(Ok(clock), qPrintable(Json(clock)));

    const QJsonObject console = session.WaitForWindow(Console);
    QVERIFY2(!console.isEmpty(), "the schedule opened no console");
    QCOMPARE(console.value(QStringLiteral("title")).toString(), QStringLiteral("New Drive Detected. E:\\"));
    QVERIFY2(TE2eSession::Until([&] {
                 return test::ReadOrMissing(session.Drives().Native(
                            'E', QStringLiteral("Backup/C/Users/ann/Docs/plan.txt"))) == "the plan";
             }),
             "the scheduled job did not copy the file");
    const QJsonObject tabs = Find(session, Console + QStringLiteral("/ThreadState"));
    QCOMPARE(tabs.value(QStringLiteral("tabs")).toArray().last().toString(), QStringLiteral("Docs"));
    QVERIFY(session.Screenshot(QStringLiteral("scheduled-run.png"), Console));
}

// The user set the stick up on this computer and gave its backup job the
// drive-insertion schedule; the program runs in the tray. The stick is
// plugged in: its console comes up and the job runs to its end.
void TestTrayJobs::pluggedInStickRunsItsInsertionJob()
{
    TE2eSession session;
    test::PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/plan.txt")), "the plan");
    const QString jobName = MakeBackupJob(session, {QStringLiteral("C:\\Users\\ann\\Docs")});
    QVERIFY(!jobName.isEmpty());
    AddPCToDrive(QStringLiteral("E:\\"), ComputePCID(), false);
    const QString driveTable = session.UseDriveTableFile();
    const auto plugIn = [&](bool stick) {
        QStringList entries = session.Drives().DrivesVariable().split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (!stick)
            entries.removeIf([](const QString &entry) { return entry.startsWith(QLatin1Char('E')); });
        QFile file(driveTable);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(entries.join(QLatin1Char(';')).toUtf8()) > 0;
    };
    QVERIFY(plugIn(false));
    START_SESSION(session);

    ResetAppPathsForTesting();
    const QString database = NativePath(TStartUp::ProgramDatabaseFileName());
    QVERIFY(TE2eSession::Until([&] { return QFile::exists(database); }));
    {
        TProgramDatabase schedules(database);
        TScheduleRunRow row;
        row.FileName = QStringLiteral("E:\\Config\\") + jobName;
        row.ID = schedules.AddSchedule(row.FileName, QStringLiteral("Docs"));
        row.JobName = QStringLiteral("Docs");
        row.Mode = stDriveInsertion;
        schedules.UpdateSchedule(row);
    }
    QVERIFY(!Ok(Find(session, Console)));

    QVERIFY(plugIn(true));
    const QJsonObject console = session.WaitForWindow(Console);
    QVERIFY2(!console.isEmpty(), "the plugged-in stick opened no console");
    QCOMPARE(console.value(QStringLiteral("title")).toString(), QStringLiteral("New Drive Detected. E:\\"));
    // Plugged in by the user: the run ends with its message.
    const QJsonObject done = session.WaitForMessageBox();
    QVERIFY2(!done.isEmpty(), "the insertion job showed no completion message");
    QCOMPARE(done.value(QStringLiteral("text")).toString(), QStringLiteral("Job Completed."));
    QVERIFY2(done.value(QStringLiteral("informative"))
                 .toString()
                 .startsWith(QStringLiteral("Backup file operation completed !")),
             qPrintable(Json(done)));
    QCOMPARE(
        test::ReadOrMissing(session.Drives().Native('E', QStringLiteral("Backup/C/Users/ann/Docs/plan.txt"))),
        QByteArray("the plan"));
    QVERIFY(session.Screenshot(QStringLiteral("stick-arrival.png")));
    QVERIFY(Ok(session.Call(QStringLiteral("press"), {{QStringLiteral("text"), QStringLiteral("OK")}})));
}

QTEST_GUILESS_MAIN(TestTrayJobs)
#include "tst_trayjobs.moc"
