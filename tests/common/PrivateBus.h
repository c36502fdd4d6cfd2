#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QVariantList>

#include <memory>
#include <vector>

namespace trovalo::test {

// A dbus-daemon of the test's own, standing in for both the system and the
// session bus, with python3-dbusmock services on it (logind from its
// template; UDisks2, gnome-session and the like built with AddObject).
//
// Start() points DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS at the
// daemon (for this process and the programs it starts); it must run before
// the process first uses QDBusConnection::systemBus() or sessionBus(),
// which keep the address they were made with. One bus per test process.
class TPrivateBus
{
public:
    TPrivateBus() = default;
    ~TPrivateBus();
    TPrivateBus(const TPrivateBus &) = delete;
    TPrivateBus &operator=(const TPrivateBus &) = delete;

    // False when dbus-daemon or python3-dbusmock is missing (the caller
    // skips) or the daemon did not come up.
    bool Start();
    static bool Available();
    QString Address() const { return FAddress; }

    // `python3 -m dbusmock --template Name`; waits until its bus name is owned.
    bool StartTemplate(const QString &name, const QString &busName, const QString &parametersJson = {});
    // `python3 -m dbusmock [--system] Service Path Interface`; waits for the name.
    bool StartMock(const QString &service, const QString &path, const QString &interface);
    // Ends every mock started so far and waits until their names have left
    // the bus (false when one stays); the daemon stays, so a test can go on
    // without a service.
    bool StopMocks();

    // A call on the test's own connection (not the process's system bus).
    QDBusMessage Call(const QString &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments = {}) const;
    // A call that must succeed; false (and a warning naming the error) otherwise.
    bool CallOk(const QString &service, const QString &path, const QString &interface, const QString &method,
                const QVariantList &arguments = {}) const;
    bool HasOwner(const QString &busName) const;
    // The calls a dbusmock object received (GetMethodCalls), each as its
    // arguments "a, b".
    QStringList MethodCalls(const QString &service, const QString &path, const QString &method) const;
    // The elements of the D-Bus array an answer begins with, as text (a
    // structure or array as "a, b"); none for an error.
    static QStringList Rows(const QDBusMessage &reply);
    QDBusConnection Connection() const;

private:
    struct TMock
    {
        QString BusName;
        std::unique_ptr<QProcess> Process;
    };

    bool StartPython(const QString &busName, const QStringList &arguments);
    bool WaitForName(const QString &busName);
    QProcessEnvironment Environment() const;

    QProcess FDaemon;
    std::vector<TMock> FMocks;
    QString FAddress;
    QString FConnectionName;
};

} // namespace trovalo::test
