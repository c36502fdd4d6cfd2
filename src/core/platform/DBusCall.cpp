#include "DBusCall.h"

#include <QDBusConnectionInterface>
#include <QDBusError>

namespace trovalo {

namespace {

QString FailureReason(const QDBusMessage &reply, int timeoutMs)
{
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
        return QStringLiteral("the service is not on the bus");
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QStringLiteral("no answer within %1 ms").arg(timeoutMs);
    case QDBusError::Disconnected:
        return QStringLiteral("there is no connection to the bus");
    default:
        return QStringLiteral("%1 (%2)").arg(reply.errorMessage(), reply.errorName());
    }
}

} // namespace

QDBusMessage DBusMethodCall(const QString &service, const QString &path, const QString &interface,
                            const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return call;
}

std::optional<QDBusMessage> CallDBus(const QDBusConnection &bus, const QDBusMessage &call, QString *error,
                                     int timeoutMs)
{
    QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply;
    Fail(error,
         QStringLiteral("%1 %2: %3").arg(call.service(), call.member(), FailureReason(reply, timeoutMs)));
    return std::nullopt;
}

bool Fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

bool DBusNameReachable(const QDBusConnection &bus, const QString &name)
{
    const QDBusConnectionInterface *daemon = bus.interface();
    if (!daemon)
        return false;
    return daemon->isServiceRegistered(name).value() ||
           daemon->activatableServiceNames().value().contains(name);
}

} // namespace trovalo
