#include "PrivateBus.h"
#include "ScopedEnv.h"

#include "control/SessionEndWatcher.h"

#include <QDBusArgument>
#include <QSignalSpy>
#include <QtTest>

using namespace trovalo;
using namespace trovalo::test;

namespace {

const QString Login1 = QStringLiteral("org.freedesktop.login1");
const QString Login1Path = QStringLiteral("/org/freedesktop/login1");
const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
const QString Mock = QStringLiteral("org.freedesktop.DBus.Mock");

// The tray program or the service as the watcher sees it: jobs that run,
// and shut-down schedules that may start more of them.
struct TProgram
{
    int Running = 0;
    int ShutdownRuns = 0;
    int JobsStartedByShutdownSchedules = 0;
    QStringList Refusals;

    TSessionEndWatcher::THooks Hooks()
    {
        TSessionEndWatcher::THooks hooks;
        hooks.RunShutdownSchedules = [this] {
            ++ShutdownRuns;
            Running += JobsStartedByShutdownSchedules;
        };
        hooks.RunningJobs = [this] { return Running; };
        hooks.Refused = [this](const QString &reason) { Refusals << reason; };
        return hooks;
    }
};

} // namespace

class TestSessionEndWatcher : public QObject
{
    Q_OBJECT

    TPrivateBus Bus;

    // The modes of the inhibitors the stand-in logind holds ("delay", "block").
    QStringList InhibitorModes() const
    {
        QStringList modes;
        for (const QString &row :
             TPrivateBus::Rows(Bus.Call(Login1, Login1Path, Manager, QStringLiteral("ListInhibitors"))))
            modes << row.section(QStringLiteral(", "), 3, 3);
        modes.sort();
        return modes;
    }

    qsizetype PowerOffCalls() const
    {
        return Bus.MethodCalls(Login1, Login1Path, QStringLiteral("PowerOff")).size();
    }

    void Announce(bool starting)
    {
        QVERIFY(Bus.CallOk(
            Login1, Login1Path, Mock, QStringLiteral("EmitSignal"),
            {Manager, QStringLiteral("PrepareForShutdown"), QStringLiteral("b"), QVariantList{starting}}));
    }

private slots:
    void initTestCase()
    {
        if (!TPrivateBus::Available())
            QSKIP("dbus-daemon or python3-dbusmock is missing");
        QVERIFY(Bus.Start());
        QVERIFY(Bus.StartTemplate(QStringLiteral("logind"), Login1));
    }

    void init()
    {
        QVERIFY(Bus.CallOk(Login1, Login1Path, Mock, QStringLiteral("ClearCalls")));
        QTRY_COMPARE(InhibitorModes(), QStringList());
    }

    // The computer is going down: the shut-down schedules start, and the
    // delay is kept while the jobs they started run (logind ends it at its
    // limit); the computer is already on its way, so nothing powers it off.
    void announcedShutdownRunsTheShutdownSchedules()
    {
        TProgram program;
        program.JobsStartedByShutdownSchedules = 1;
        {
            TSessionEndWatcher watcher(program.Hooks());
            watcher.Start(false, QStringLiteral("test"));
            QTRY_COMPARE(InhibitorModes(), QStringList{QStringLiteral("delay")});

            Announce(true);
            QTRY_COMPARE(program.ShutdownRuns, 1);
            QTRY_COMPARE(InhibitorModes(), (QStringList{QStringLiteral("block"), QStringLiteral("delay")}));

            program.Running = 0;
            watcher.JobsChanged();
            QTRY_COMPARE(InhibitorModes(), QStringList());
            QCOMPARE(PowerOffCalls(), 0);

            // Cancelled after all: the next announcement runs them again.
            Announce(false);
            QTRY_VERIFY(!watcher.Policy().ShutDownSend());
            QTRY_COMPARE(InhibitorModes(), QStringList{QStringLiteral("delay")});
            Announce(true);
            QTRY_COMPARE(program.ShutdownRuns, 2);
            program.Running = 0;
            watcher.JobsChanged();
        }
        // Gone with the watcher: a stray lock would hold the user's shut-down.
        QTRY_COMPARE(InhibitorModes(), QStringList());
    }

    // The session asks first: "not yet" while any job runs, the block lock
    // held exactly as long, and one power-off after the last job.
    void refusedEndPowersOffOnceAfterTheLastJob_data()
    {
        QTest::addColumn<int>("runningBefore");
        QTest::addColumn<int>("startedBySchedules");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("canPowerOff");
        QTest::newRow("a job ran already") << 1 << 0 << false << "yes";
        QTest::newRow("the shut-down schedules started two") << 0 << 2 << false << "yes";
        QTest::newRow("cancelled while they run") << 1 << 1 << true << "yes";
        // Other users are logged in: the user's own session ends instead.
        QTest::newRow("power-off refused: logs off") << 1 << 0 << false << "no";
    }
    void refusedEndPowersOffOnceAfterTheLastJob()
    {
        QFETCH(int, runningBefore);
        QFETCH(int, startedBySchedules);
        QFETCH(bool, cancelled);
        QFETCH(QString, canPowerOff);
        QVERIFY(Bus.CallOk(Login1, Login1Path, Mock, QStringLiteral("AddMethod"),
                           {Manager, QStringLiteral("CanPowerOff"), QString(), QStringLiteral("s"),
                            QStringLiteral("ret = '%1'").arg(canPowerOff)}));
        const test::TScopedEnv session("XDG_SESSION_ID", QStringLiteral("c7"));
        TProgram program;
        program.Running = runningBefore;
        program.JobsStartedByShutdownSchedules = startedBySchedules;
        TSessionEndWatcher watcher(program.Hooks());
        QSignalSpy carriedOut(&watcher, &TSessionEndWatcher::EndCarriedOut);
        watcher.Start(false, QStringLiteral("test"));

        QVERIFY(!watcher.QueryEnd());
        QCOMPARE(program.ShutdownRuns, 1);
        QCOMPARE(program.Refusals, QStringList{TSessionEndWatcher::RefusalText});
        QTRY_VERIFY(InhibitorModes().contains(QStringLiteral("block")));
        // Asked again while waiting: refused again, schedules not rerun.
        QVERIFY(!watcher.QueryEnd());
        QCOMPARE(program.ShutdownRuns, 1);
        if (cancelled)
            watcher.Cancelled();

        while (program.Running > 1) {
            --program.Running;
            watcher.JobsChanged();
            QVERIFY(InhibitorModes().contains(QStringLiteral("block")));
        }
        QCOMPARE(PowerOffCalls(), 0);
        program.Running = 0;
        watcher.JobsChanged();
        QTRY_VERIFY(!InhibitorModes().contains(QStringLiteral("block")));
        watcher.JobsChanged();
        const bool ends = !cancelled;
        const bool powersOff = ends && canPowerOff == QLatin1String("yes");
        QCOMPARE(PowerOffCalls(), powersOff ? 1 : 0);
        QCOMPARE(Bus.MethodCalls(Login1, Login1Path, QStringLiteral("TerminateSession")),
                 ends && !powersOff ? QStringList{QStringLiteral("c7")} : QStringList());
        QCOMPARE(carriedOut.size(), ends ? 1 : 0);
        if (!cancelled)
            QCOMPARE(carriedOut.first().at(0).toBool(), true);
    }

    void endWithNoJobRunningIsConsentedAtOnce()
    {
        TProgram program;
        TSessionEndWatcher watcher(program.Hooks());
        watcher.Start(false, QStringLiteral("test"));
        QVERIFY(watcher.QueryEnd());
        QVERIFY(watcher.QueryEnd());
        QCOMPARE(program.ShutdownRuns, 1);
        QVERIFY(program.Refusals.isEmpty());
        QVERIFY(!InhibitorModes().contains(QStringLiteral("block")));
        QCOMPARE(PowerOffCalls(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSessionEndWatcher)
#include "tst_sessionendwatcher.moc"
