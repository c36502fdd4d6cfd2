#include "PrivateBus.h"
#include "ScopedEnv.h"

#include "platform/DesktopSession.h"
#include "platform/LogindClient.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

using namespace trovalo;

namespace {

const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString Login1 = QStringLiteral("org.freedesktop.login1");
const QString Login1Path = QStringLiteral("/org/freedesktop/login1");
const QString Login1Manager = QStringLiteral("org.freedesktop.login1.Manager");
const QString Gnome = QStringLiteral("org.gnome.SessionManager");
const QString GnomePath = QStringLiteral("/org/gnome/SessionManager");
const QString ClientPath = QStringLiteral("/org/gnome/SessionManager/Client1");
const QString Kde = QStringLiteral("org.kde.Shutdown");

QString Raise(const QString &errorName)
{
    return QStringLiteral("raise dbus.exceptions.DBusException('Refused', name='%1')").arg(errorName);
}

} // namespace

class TestSessionEnd : public QObject
{
    Q_OBJECT

    test::TPrivateBus FBus;

    bool StartLogind(const QString &parametersJson = {})
    {
        return FBus.StartTemplate(QStringLiteral("logind"), Login1, parametersJson);
    }
    // gnome-session's side: RegisterClient makes Client1, cookies count from 4711.
    bool StartGnome(const QString &logoutCode = {})
    {
        const QString registerClient = QStringLiteral("ret = '%1'\nself.AddObject(ret, '%2.ClientPrivate', "
                                                      "{}, [('EndSessionResponse', 'bs', '', '')])");
        return FBus.StartMock(Gnome, GnomePath, Gnome) &&
               AddMethod(Gnome, GnomePath, Gnome, "RegisterClient", "ss>o",
                         registerClient.arg(ClientPath, Gnome)) &&
               AddMethod(Gnome, GnomePath, Gnome, "UnregisterClient", "o>") &&
               AddMethod(
                   Gnome, GnomePath, Gnome, "Inhibit", "susu>u",
                   QStringLiteral("self.cookie = getattr(self, 'cookie', 4710) + 1\nret = self.cookie")) &&
               AddMethod(Gnome, GnomePath, Gnome, "Uninhibit", "u>") &&
               AddMethod(Gnome, GnomePath, Gnome, "Logout", "u>", logoutCode);
    }
    bool AddMethod(const QString &service, const QString &path, const QString &interface, const char *name,
                   const char *inOut, const QString &code = {}) const
    {
        const QStringList signatures = QString::fromLatin1(inOut).split(QLatin1Char('>'));
        return FBus.CallOk(service, path, MockInterface, QStringLiteral("AddMethod"),
                           {interface, QLatin1String(name), signatures.value(0), signatures.value(1), code});
    }
    bool EmitSignal(const QString &service, const QString &path, const QString &interface,
                    const QString &name, const QString &signature, const QVariantList &arguments) const
    {
        return FBus.CallOk(service, path, MockInterface, QStringLiteral("EmitSignal"),
                           {interface, name, signature, QVariant(arguments)});
    }
    QStringList Calls(const QString &service, const QString &path, const QString &method) const
    {
        return FBus.MethodCalls(service, path, method);
    }
    // logind's inhibitors as "what, who, why, mode".
    QStringList Inhibitors() const
    {
        QStringList inhibitors;
        for (const QString &row :
             test::TPrivateBus::Rows(FBus.Call(Login1, Login1Path, Login1Manager, "ListInhibitors")))
            inhibitors << row.section(QStringLiteral(", "), 0, 3);
        return inhibitors;
    }

private slots:
    void initTestCase()
    {
        if (!test::TPrivateBus::Available())
            QSKIP("dbus-daemon or python3-dbusmock is not installed");
        // Before any client exists: the process's system and session bus are
        // this daemon from here on.
        QVERIFY(FBus.Start());
    }

    void cleanup() { QVERIFY(FBus.StopMocks()); }

    void eachLockIsOneInhibitorUntilReleased_data()
    {
        QTest::addColumn<bool>("delay");
        QTest::newRow("delay") << true;
        QTest::newRow("block") << false;
    }
    void eachLockIsOneInhibitorUntilReleased()
    {
        QFETCH(bool, delay);
        QVERIFY(StartLogind());
        const QString why = QStringLiteral("Backing up to STICK");
        const QString entry = QStringLiteral("shutdown, Trovalo, %1, %2").arg(why);
        const QString otherEntry = QStringLiteral("shutdown, Trovalo, Other, %1");
        {
            TLogindClient logind;
            QVERIFY(logind.IsAvailable());
            auto take = [&](bool delayLock, const QString &reason) {
                return delayLock ? logind.TakeDelayLock(reason) : logind.SetBlockLock(true, reason);
            };
            auto held = [&] { return delay ? logind.HasDelayLock() : logind.HasBlockLock(); };
            QVERIFY(take(!delay, QStringLiteral("Other")));
            QVERIFY(take(delay, why));
            QVERIFY(take(delay, why));
            QVERIFY(held());
            const QStringList modes = delay ? QStringList{"block", "delay"} : QStringList{"delay", "block"};
            QCOMPARE(Inhibitors(), QStringList({otherEntry.arg(modes[0]), entry.arg(modes[1])}));

            delay ? logind.ReleaseDelayLock() : void(logind.SetBlockLock(false, QString()));
            QVERIFY(!held());
            QTRY_COMPARE_WITH_TIMEOUT(Inhibitors(), QStringList{otherEntry.arg(modes[0])}, 2000);
        }
        // A lock still held goes with the client.
        QTRY_COMPARE_WITH_TIMEOUT(Inhibitors(), QStringList(), 2000);
    }

    void cancelledShutDownTakesTheDelayLockAgain_data()
    {
        QTest::addColumn<bool>("heldBefore");
        QTest::newRow("held when announced") << true;
        QTest::newRow("not held when announced") << false;
    }
    void cancelledShutDownTakesTheDelayLockAgain()
    {
        QFETCH(bool, heldBefore);
        QVERIFY(StartLogind());
        TLogindClient logind;
        QVERIFY(!heldBefore || logind.TakeDelayLock(QStringLiteral("Shut-down jobs")));
        // As the program does: start the shut-down jobs, then let logind go on.
        connect(&logind, &TLogindClient::PrepareForShutdown, &logind, [&logind](bool starting) {
            if (starting)
                logind.ReleaseDelayLock();
        });
        QSignalSpy announced(&logind, &TLogindClient::PrepareForShutdown);
        for (const bool starting : {true, false}) {
            QVERIFY(EmitSignal(Login1, Login1Path, Login1Manager, "PrepareForShutdown", "b", {starting}));
            QTRY_COMPARE(announced.count(), starting ? 1 : 2);
            QCOMPARE(announced.last().value(0).toBool(), starting);
            QCOMPARE(logind.HasDelayLock(), heldBefore && !starting);
            QTRY_COMPARE_WITH_TIMEOUT(Inhibitors().size(), logind.HasDelayLock() ? 1 : 0, 2000);
        }
    }

    void powerOffOnlyWhenLogindSaysYes_data()
    {
        QTest::addColumn<QString>("canPowerOff");
        QTest::newRow("yes") << QStringLiteral("yes");
        QTest::newRow("no") << QStringLiteral("no");
        QTest::newRow("password needed") << QStringLiteral("challenge");
        QTest::newRow("not available") << QStringLiteral("na");
    }
    void powerOffOnlyWhenLogindSaysYes()
    {
        QFETCH(QString, canPowerOff);
        QVERIFY(StartLogind(QStringLiteral(R"({"CanPowerOff": "%1"})").arg(canPowerOff)));
        const bool yes = canPowerOff == QLatin1String("yes");
        QString error;
        QCOMPARE(TLogindClient().PowerOff(&error), yes);
        // Not interactive: nobody may be there to answer a password dialog.
        QCOMPARE(Calls(Login1, Login1Path, "PowerOff"), yes ? QStringList{"false"} : QStringList());
        QVERIFY2(yes ? error.isEmpty() : error.contains('"' + canPowerOff + '"'), qPrintable(error));
    }

    void terminateOwnSessionFindsTheSession_data()
    {
        QTest::addColumn<QString>("sessionIdVariable"); // empty: not set
        QTest::addColumn<QString>("getSessionByPid");   // logind's code; empty: no such method
        QTest::addColumn<QString>("terminated");        // empty: nothing
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("XDG_SESSION_ID") << "c3" << QString() << "c3" << QString();
        QTest::newRow("session of this process") << QString() << "ret = '/org/freedesktop/login1/session/c7'"
                                                 << "c7" << QString();
        QTest::newRow("process in no session")
            << QString() << Raise("org.freedesktop.login1.NoSessionForPID") << QString()
            << "org.freedesktop.login1 GetSessionByPID: Refused (org.freedesktop.login1.NoSessionForPID)";
    }
    void terminateOwnSessionFindsTheSession()
    {
        QFETCH(QString, sessionIdVariable);
        QFETCH(QString, getSessionByPid);
        QFETCH(QString, terminated);
        QFETCH(QString, errorPart);
        test::TScopedEnv sessionId(
            "XDG_SESSION_ID", sessionIdVariable.isEmpty() ? std::nullopt : std::optional(sessionIdVariable));
        QVERIFY(StartLogind());
        QVERIFY(FBus.CallOk(Login1, Login1Path, MockInterface, "AddSession",
                            {"c7", "seat0", 1000u, "ann", true}));
        QVERIFY(getSessionByPid.isEmpty() ||
                AddMethod(Login1, Login1Path, Login1Manager, "GetSessionByPID", "u>o", getSessionByPid));

        QString error;
        QCOMPARE(TLogindClient().TerminateOwnSession(&error), !terminated.isEmpty());
        QCOMPARE(Calls(Login1, Login1Path, "TerminateSession"),
                 terminated.isEmpty() ? QStringList() : QStringList{terminated});
        // The process's own session is looked up only without the variable.
        QCOMPARE(Calls(Login1, Login1Path, "GetSessionByPID"),
                 sessionIdVariable.isEmpty() ? QStringList{QString::number(::getpid())} : QStringList());
        QVERIFY2(error.contains(errorPart), qPrintable(error));
    }

    void programHoldsTheLogOutBackWhileItBacksUp()
    {
        QVERIFY(StartGnome());
        test::TScopedEnv autostartId("DESKTOP_AUTOSTART_ID", QStringLiteral("autostart-7"));
        const QString client = Gnome + ".ClientPrivate";
        {
            TGnomeSessionClient session;
            QVERIFY(session.Register(QStringLiteral("trovalo")));
            QCOMPARE(Calls(Gnome, GnomePath, "RegisterClient"), QStringList{"trovalo, autostart-7"});
            QVERIFY(!qEnvironmentVariableIsSet("DESKTOP_AUTOSTART_ID"));
            QVERIFY(session.SetLogoutInhibit(true, QStringLiteral("Backing up to STICK")));
            QVERIFY(session.SetLogoutInhibit(true, QStringLiteral("Backing up to STICK")));
            // No window (XID 0), the log-out flag 1.
            QCOMPARE(Calls(Gnome, GnomePath, "Inhibit"), QStringList{"trovalo, 0, Backing up to STICK, 1"});

            QStringList heard;
            connect(&session, &TGnomeSessionClient::QueryEndSession, &session, [&] {
                heard << "query";
                session.AnswerQuery(false, QStringLiteral("A backup is running"));
                session.AnswerQuery(true, QString()); // one answer per question
            });
            connect(&session, &TGnomeSessionClient::EndSessionCancelled, [&] { heard << "cancelled"; });
            connect(&session, &TGnomeSessionClient::EndSession, [&] { heard << "end"; });
            connect(&session, &TGnomeSessionClient::StopRequested, [&] { heard << "stop"; });
            QVERIFY(EmitSignal(Gnome, ClientPath, client, "QueryEndSession", "u", {0u}));
            QVERIFY(EmitSignal(Gnome, ClientPath, client, "CancelEndSession", "", {}));
            QTRY_COMPARE(heard, QStringList({"query", "cancelled"}));
            QVERIFY(session.SetLogoutInhibit(false, QString()));
            QCOMPARE(Calls(Gnome, GnomePath, "Uninhibit"), QStringList{"4711"});

            QVERIFY(session.SetLogoutInhibit(true, QStringLiteral("Next backup")));
            // The session ends anyway: the client agrees by itself.
            QVERIFY(EmitSignal(Gnome, ClientPath, client, "EndSession", "u", {0u}));
            QVERIFY(EmitSignal(Gnome, ClientPath, client, "Stop", "", {}));
            QTRY_COMPARE(heard, QStringList({"query", "cancelled", "end", "stop"}));
            QCOMPARE(Calls(Gnome, ClientPath, "EndSessionResponse"),
                     QStringList({"false, A backup is running", "true, "}));
        }
        // What the client still held goes with it.
        QCOMPARE(Calls(Gnome, GnomePath, "Uninhibit"), QStringList({"4711", "4712"}));
        QCOMPARE(Calls(Gnome, GnomePath, "UnregisterClient"), QStringList{ClientPath});
    }

    void logOutTakesTheFirstLayerThatAnswers_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<bool>("loggedOut");
        QTest::addColumn<QStringList>("calls");
        const QString gnome = "GNOME Logout 1", kde = "KDE logout", logind = "logind TerminateSession c3";
        QTest::newRow("GNOME") << QStringList{"GNOME", "KDE", "logind"} << true << QStringList{gnome};
        QTest::newRow("KDE") << QStringList{"KDE", "logind"} << true << QStringList{kde};
        QTest::newRow("logind only") << QStringList{"logind"} << true << QStringList{logind};
        QTest::newRow("GNOME refuses")
            << QStringList{"GNOME refusing", "logind"} << true << QStringList{gnome, logind};
        QTest::newRow("GNOME refuses, nothing else")
            << QStringList{"GNOME refusing"} << false << QStringList{gnome};
        QTest::newRow("nothing") << QStringList() << false << QStringList();
    }
    void logOutTakesTheFirstLayerThatAnswers()
    {
        QFETCH(QStringList, present);
        QFETCH(bool, loggedOut);
        QFETCH(QStringList, calls);
        test::TScopedEnv sessionId("XDG_SESSION_ID", QStringLiteral("c3"));
        QVERIFY(!present.contains("GNOME") || StartGnome());
        QVERIFY(!present.contains("GNOME refusing") ||
                StartGnome(Raise("org.gnome.SessionManager.NotInRunning")));
        QVERIFY(!present.contains("KDE") ||
                (FBus.StartMock(Kde, "/Shutdown", Kde) && AddMethod(Kde, "/Shutdown", Kde, "logout", ">")));
        QVERIFY(!present.contains("logind") || StartLogind());

        QString error;
        QCOMPARE(LogOutOfDesktop(&error), loggedOut);
        QStringList made;
        for (const QString &mode : Calls(Gnome, GnomePath, "Logout"))
            made << "GNOME Logout " + mode;
        for (qsizetype i = Calls(Kde, "/Shutdown", "logout").size(); i > 0; --i)
            made << "KDE logout";
        for (const QString &session : Calls(Login1, Login1Path, "TerminateSession"))
            made << "logind TerminateSession " + session;
        QCOMPARE(made, calls);
        // Refused: every layer says why.
        for (const char *layer : {"GNOME: ", "KDE: ", "logind: "})
            QVERIFY2(loggedOut ? error.isEmpty() : error.contains(QLatin1String(layer)), qPrintable(error));
    }

    void withoutServicesEveryCallFailsAtOnce()
    {
        QElapsedTimer clock;
        clock.start();
        TLogindClient logind;
        QVERIFY(!logind.IsAvailable());
        QVERIFY(!logind.TakeDelayLock(QStringLiteral("Shut-down jobs")) && !logind.HasDelayLock());
        QVERIFY(!logind.SetBlockLock(true, QStringLiteral("Backing up")) && !logind.HasBlockLock());
        QString error;
        QVERIFY(!logind.PowerOff(&error));
        QCOMPARE(error, QStringLiteral("org.freedesktop.login1 CanPowerOff: the service is not on the bus"));
        TGnomeSessionClient session;
        QVERIFY(!session.Register(QStringLiteral("trovalo")) && !session.IsRegistered());
        QVERIFY(!session.SetLogoutInhibit(true, QStringLiteral("Backing up")) && !session.HasLogoutInhibit());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
