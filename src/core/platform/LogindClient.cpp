#include "LogindClient.h"

#include "base/Logging.h"
#include "platform/DBusCall.h"

#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace trovalo {

namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString ManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString SessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString Who = QStringLiteral("Trovalo");

QDBusMessage ManagerCall(const QString &method, const QVariantList &arguments = {})
{
    return DBusMethodCall(Service, ManagerPath, ManagerInterface, method, arguments);
}

// Inhibit("shutdown", ...) in the given mode; the process's only copy of the
// lock's descriptor, or -1 with the reason. The reply and every
// QDBusUnixFileDescriptor holding the descriptor end with this function.
int InhibitShutdown(const QDBusConnection &bus, const QString &mode, const QString &why, QString *error)
{
    const std::optional<QDBusMessage> reply = CallDBus(
        bus, ManagerCall(QStringLiteral("Inhibit"), {QStringLiteral("shutdown"), Who, why, mode}), error);
    if (!reply)
        return -1;
    const QDBusUnixFileDescriptor lock = reply->arguments().value(0).value<QDBusUnixFileDescriptor>();
    if (!lock.isValid()) {
        Fail(error, QStringLiteral("logind answered Inhibit without a file descriptor"));
        return -1;
    }
    // Close-on-exec: a program the jobs start must not inherit the lock and
    // hold the shut-down back after this process has let go.
    const int fd = ::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        Fail(error, QStringLiteral("cannot keep logind's lock: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return fd;
}

// One inhibitor lock, held as long as its descriptor is open.
class TInhibitorLock
{
public:
    explicit TInhibitorLock(QString mode)
        : FMode(std::move(mode))
    {}
    ~TInhibitorLock() { Release(); }
    TInhibitorLock(const TInhibitorLock &) = delete;
    TInhibitorLock &operator=(const TInhibitorLock &) = delete;

    bool IsHeld() const { return FFd >= 0; }

    // Holding it already counts as success: one lock, never two.
    bool Take(const QDBusConnection &bus, const QString &why)
    {
        if (IsHeld())
            return true;
        QString error;
        FFd = InhibitShutdown(bus, FMode, why, &error);
        if (!IsHeld())
            qCWarning(LogSession).noquote() << "No" << FMode << "lock on shut-down:" << error;
        return IsHeld();
    }

    void Release()
    {
        if (IsHeld())
            ::close(FFd);
        FFd = -1;
    }

private:
    QString FMode;
    int FFd = -1;
};

// The Id of this process's login session: GetSessionByPID, then the
// session object's Id property.
QString SessionIdOfThisProcess(const QDBusConnection &bus, QString *error)
{
    const std::optional<QDBusMessage> session =
        CallDBus(bus, ManagerCall(QStringLiteral("GetSessionByPID"), {static_cast<uint>(::getpid())}), error);
    if (!session)
        return {};
    const QString sessionPath = session->arguments().value(0).value<QDBusObjectPath>().path();
    const std::optional<QDBusMessage> id =
        CallDBus(bus,
                 DBusMethodCall(Service, sessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                QStringLiteral("Get"), {SessionInterface, QStringLiteral("Id")}),
                 error);
    if (!id)
        return {};
    const QString sessionId = id->arguments().value(0).value<QDBusVariant>().variant().toString();
    if (sessionId.isEmpty())
        Fail(error, QStringLiteral("logind's session %1 has no Id").arg(sessionPath));
    return sessionId;
}

} // namespace

struct TLogindClient::TPrivate
{
    QDBusConnection Bus = QDBusConnection::systemBus();
    TInhibitorLock DelayLock{QStringLiteral("delay")};
    TInhibitorLock BlockLock{QStringLiteral("block")};
    QString DelayWhy;
    // The delay lock was held when the shut-down was announced, so it is
    // taken again if that shut-down is cancelled.
    bool RetakeDelayOnCancel = false;
};

TLogindClient::TLogindClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<TPrivate>())
{
    // Connected before anyone else can connect: the owner releases the delay
    // lock in its own slot, so whether it was held must be noted first.
    connect(this, &TLogindClient::PrepareForShutdown, this, [this](bool starting) {
        if (starting) {
            d->RetakeDelayOnCancel = HasDelayLock();
        } else if (d->RetakeDelayOnCancel) {
            d->RetakeDelayOnCancel = false;
            TakeDelayLock(d->DelayWhy);
        }
    });
    // logind's signal is delivered straight to this object's signal.
    d->Bus.connect(Service, ManagerPath, ManagerInterface, QStringLiteral("PrepareForShutdown"), this,
                   SIGNAL(PrepareForShutdown(bool)));
}

TLogindClient::~TLogindClient()
{
    d->Bus.disconnect(Service, ManagerPath, ManagerInterface, QStringLiteral("PrepareForShutdown"), this,
                      SIGNAL(PrepareForShutdown(bool)));
}

bool TLogindClient::IsAvailable() const
{
    return DBusNameReachable(d->Bus, Service);
}

bool TLogindClient::TakeDelayLock(const QString &why)
{
    d->DelayWhy = why;
    return d->DelayLock.Take(d->Bus, why);
}

void TLogindClient::ReleaseDelayLock()
{
    d->DelayLock.Release();
}

bool TLogindClient::HasDelayLock() const
{
    return d->DelayLock.IsHeld();
}

bool TLogindClient::SetBlockLock(bool held, const QString &why)
{
    if (held)
        return d->BlockLock.Take(d->Bus, why);
    d->BlockLock.Release();
    return true;
}

bool TLogindClient::HasBlockLock() const
{
    return d->BlockLock.IsHeld();
}

bool TLogindClient::PowerOff(QString *error)
{
    const std::optional<QDBusMessage> answer =
        CallDBus(d->Bus, ManagerCall(QStringLiteral("CanPowerOff")), error);
    if (!answer)
        return false;
    // "challenge" would need a password that nobody is there to type; "no"
    // and "na" are refusals.
    const QString canPowerOff = answer->arguments().value(0).toString();
    if (canPowerOff != QLatin1String("yes"))
        return Fail(error, QStringLiteral("logind does not let this user power off the computer now "
                                          "(CanPowerOff answered \"%1\")")
                               .arg(canPowerOff));
    return CallDBus(d->Bus, ManagerCall(QStringLiteral("PowerOff"), {false}), error).has_value();
}

bool TLogindClient::TerminateOwnSession(QString *error)
{
    QString sessionId = qEnvironmentVariable("XDG_SESSION_ID");
    if (sessionId.isEmpty())
        sessionId = SessionIdOfThisProcess(d->Bus, error);
    if (sessionId.isEmpty())
        return false;
    return CallDBus(d->Bus, ManagerCall(QStringLiteral("TerminateSession"), {sessionId}), error).has_value();
}

} // namespace trovalo

// The meta-object is compiled with the class rather than in the layer's
// shared moc file, so linking this class does not require every other
// QObject header of the layer to have its implementation built.
#include "moc_LogindClient.cpp"
