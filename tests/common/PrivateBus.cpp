#include "PrivateBus.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDebug>
#include <QStandardPaths>
#include <QTest>

namespace trovalo::test {

namespace {
// A value of a D-Bus answer as text; a structure or array as "a, b".
QString Text(const QVariant &value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.canConvert<QDBusVariant>())
        return Text(value.value<QDBusVariant>().variant());
    if (!value.canConvert<QDBusArgument>())
        return value.toString();
    const QDBusArgument argument = value.value<QDBusArgument>();
    const bool structure = argument.currentType() == QDBusArgument::StructureType;
    structure ? argument.beginStructure() : argument.beginArray();
    QStringList parts;
    while (!argument.atEnd())
        parts << Text(argument.asVariant());
    structure ? argument.endStructure() : argument.endArray();
    return parts.join(QStringLiteral(", "));
}

const QString Python = QStringLiteral("/usr/bin/python3");
} // namespace

TPrivateBus::~TPrivateBus()
{
    StopMocks();
    if (!FConnectionName.isEmpty())
        QDBusConnection::disconnectFromBus(FConnectionName);
    if (FDaemon.state() != QProcess::NotRunning) {
        FDaemon.terminate();
        if (!FDaemon.waitForFinished(3000))
            FDaemon.kill();
        FDaemon.waitForFinished(1000);
    }
}

bool TPrivateBus::Available()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return false;
    QProcess probe;
    probe.start(Python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

bool TPrivateBus::Start()
{
    FDaemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address")});
    if (!FDaemon.waitForStarted() || !FDaemon.waitForReadyRead(5000))
        return false;
    FAddress = QString::fromUtf8(FDaemon.readLine()).trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", FAddress.toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", FAddress.toUtf8());
    FConnectionName = QStringLiteral("trovalo-test-bus");
    return QDBusConnection::connectToBus(FAddress, FConnectionName).isConnected();
}

QDBusConnection TPrivateBus::Connection() const
{
    return QDBusConnection(FConnectionName);
}

QProcessEnvironment TPrivateBus::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), FAddress);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), FAddress);
    return env;
}

bool TPrivateBus::StartTemplate(const QString &name, const QString &busName, const QString &parametersJson)
{
    QStringList arguments{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                          name};
    if (!parametersJson.isEmpty())
        arguments << QStringLiteral("--parameters") << parametersJson;
    return StartPython(busName, arguments);
}

bool TPrivateBus::StartMock(const QString &service, const QString &path, const QString &interface)
{
    // --system: dbusmock then uses DBUS_SYSTEM_BUS_ADDRESS, the same daemon.
    return StartPython(service, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                                 service, path, interface});
}

bool TPrivateBus::StartPython(const QString &busName, const QStringList &arguments)
{
    auto mock = std::make_unique<QProcess>();
    mock->setProcessEnvironment(Environment());
    mock->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock->start(Python, arguments);
    FMocks.push_back({busName, std::move(mock)});
    return WaitForName(busName);
}

bool TPrivateBus::StopMocks()
{
    for (const TMock &mock : FMocks) {
        mock.Process->terminate();
        if (!mock.Process->waitForFinished(3000))
            mock.Process->kill();
        mock.Process->waitForFinished(1000);
    }
    // The daemon drops a name a moment after its owner's connection closed.
    bool namesGone = true;
    for (const TMock &mock : FMocks)
        namesGone = QTest::qWaitFor([&] { return !HasOwner(mock.BusName); }, 5000) && namesGone;
    FMocks.clear();
    return namesGone;
}

bool TPrivateBus::HasOwner(const QString &busName) const
{
    const QDBusMessage reply =
        Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {busName});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

bool TPrivateBus::WaitForName(const QString &busName)
{
    return QTest::qWaitFor([&] { return HasOwner(busName); }, 10000);
}

QDBusMessage TPrivateBus::Call(const QString &service, const QString &path, const QString &interface,
                               const QString &method, const QVariantList &arguments) const
{
    // Plain calls, not QDBusInterface: its introspection cache outlives a
    // private connection and shows up as a leak.
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return Connection().call(call);
}

bool TPrivateBus::CallOk(const QString &service, const QString &path, const QString &interface,
                         const QString &method, const QVariantList &arguments) const
{
    const QDBusMessage reply = Call(service, path, interface, method, arguments);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    qWarning().noquote() << method << "on" << path << "failed:" << reply.errorName() << reply.errorMessage();
    return false;
}

QStringList TPrivateBus::Rows(const QDBusMessage &reply)
{
    QStringList rows;
    const QDBusArgument array = reply.arguments().value(0).value<QDBusArgument>();
    if (reply.type() != QDBusMessage::ReplyMessage)
        return rows;
    array.beginArray();
    while (!array.atEnd())
        rows << Text(array.asVariant());
    array.endArray();
    return rows;
}

QStringList TPrivateBus::MethodCalls(const QString &service, const QString &path, const QString &method) const
{
    QStringList calls;
    for (const QString &call : Rows(Call(service, path, QStringLiteral("org.freedesktop.DBus.Mock"),
                                         QStringLiteral("GetMethodCalls"), {method})))
        calls << call.section(QStringLiteral(", "), 1); // without its time
    return calls;
}

} // namespace trovalo::test
