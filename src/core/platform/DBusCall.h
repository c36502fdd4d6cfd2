#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <optional>

namespace trovalo {

// How long a desktop or system service may take to answer: one that is
// present answers in milliseconds, and a log-off or shut-down must never
// wait on one that hangs.
constexpr int DBusCallTimeoutMs = 3000;

// A method call message, built without QDBusInterface (which introspects the
// service synchronously first).
QDBusMessage DBusMethodCall(const QString &service, const QString &path, const QString &interface,
                            const QString &method, const QVariantList &arguments = {});

// Sends `call` on `bus` and waits at most timeoutMs: the reply, or nullopt
// with a sentence in *error that names the service, the method and why
// (not on the bus, no answer in time, or the service's own error).
std::optional<QDBusMessage> CallDBus(const QDBusConnection &bus, const QDBusMessage &call, QString *error,
                                     int timeoutMs = DBusCallTimeoutMs);

// Puts `reason` into *error when the caller asked for one; false, so that a
// failure is one `return Fail(error, ...)`.
bool Fail(QString *error, const QString &reason);

// The bus name has an owner now, or the bus would start one on demand.
bool DBusNameReachable(const QDBusConnection &bus, const QString &name);

} // namespace trovalo
