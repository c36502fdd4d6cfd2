#include "DesktopSession.h"

#include "base/Logging.h"
#include "platform/DBusCall.h"
#include "platform/LogindClient.h"

#include <QCoreApplication>
#include <QDBusObjectPath>

#include <array>
#include <functional>
#include <optional>

namespace trovalo {

namespace {

const QString GnomeService = QStringLiteral("org.gnome.SessionManager");
const QString GnomePath = QStringLiteral("/org/gnome/SessionManager");
const QString GnomeInterface = QStringLiteral("org.gnome.SessionManager");
const QString ClientInterface = QStringLiteral("org.gnome.SessionManager.ClientPrivate");

// Inhibit flag of the session manager: hold back the log-out.
constexpr uint InhibitLogOut = 1;
// Logout mode: no confirmation dialog.
constexpr uint LogoutNoConfirmation = 1;

QDBusMessage ManagerCall(const QString &method, const QVariantList &arguments = {})
{
    return DBusMethodCall(GnomeService, GnomePath, GnomeInterface, method, arguments);
}

// A signal of the client object and the signal of TGnomeSessionClient it
// becomes.
struct TForwardedSignal
{
    QString DBusName;
    const char *QtSignal;
};

std::array<TForwardedSignal, 4> ForwardedSignals()
{
    return {{
        {QStringLiteral("QueryEndSession"), SIGNAL(QueryEndSession())},
        {QStringLiteral("EndSession"), SIGNAL(EndSession())},
        {QStringLiteral("CancelEndSession"), SIGNAL(EndSessionCancelled())},
        {QStringLiteral("Stop"), SIGNAL(StopRequested())},
    }};
}

} // namespace

struct TGnomeSessionClient::TPrivate
{
    QDBusConnection Bus = QDBusConnection::sessionBus();
    QString AppId;
    // The client object the session manager made for this process; empty
    // while not registered.
    QString ClientPath;
    bool QueryPending = false;
    std::optional<uint> InhibitCookie;

    void Respond(bool isOk, const QString &reason)
    {
        QString error;
        if (!CallDBus(Bus,
                      DBusMethodCall(GnomeService, ClientPath, ClientInterface,
                                     QStringLiteral("EndSessionResponse"), {isOk, reason}),
                      &error))
            qCWarning(LogSession).noquote() << "The session manager did not take the answer:" << error;
    }
};

TGnomeSessionClient::TGnomeSessionClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<TPrivate>())
{
    // Connected before anyone else can connect, so the session manager has
    // its answer before the owner starts to quit.
    connect(this, &TGnomeSessionClient::QueryEndSession, this, [this] { d->QueryPending = true; });
    connect(this, &TGnomeSessionClient::EndSessionCancelled, this, [this] { d->QueryPending = false; });
    connect(this, &TGnomeSessionClient::EndSession, this, [this] {
        d->QueryPending = false;
        d->Respond(true, QString());
    });
}

TGnomeSessionClient::~TGnomeSessionClient()
{
    SetLogoutInhibit(false, QString());
    if (!IsRegistered())
        return;
    for (const TForwardedSignal &forward : ForwardedSignals())
        d->Bus.disconnect(GnomeService, d->ClientPath, ClientInterface, forward.DBusName, this,
                          forward.QtSignal);
    QString error;
    if (!CallDBus(d->Bus,
                  ManagerCall(QStringLiteral("UnregisterClient"),
                              {QVariant::fromValue(QDBusObjectPath(d->ClientPath))}),
                  &error))
        qCInfo(LogSession).noquote() << "Not unregistered from the session manager:" << error;
}

bool TGnomeSessionClient::Register(const QString &appId)
{
    if (IsRegistered())
        return true;
    // The start-up id is good for one registration, and programs this one
    // starts must not present it as theirs.
    const QString startupId = qEnvironmentVariable("DESKTOP_AUTOSTART_ID");
    qunsetenv("DESKTOP_AUTOSTART_ID");
    d->AppId = appId;
    QString error;
    const std::optional<QDBusMessage> reply =
        CallDBus(d->Bus, ManagerCall(QStringLiteral("RegisterClient"), {appId, startupId}), &error);
    const QString clientPath =
        reply ? reply->arguments().value(0).value<QDBusObjectPath>().path() : QString();
    if (clientPath.isEmpty()) {
        qCInfo(LogSession).noquote() << "Not registered with the GNOME session manager:"
                                     << (reply ? QStringLiteral("no client object") : error);
        return false;
    }
    d->ClientPath = clientPath;
    // The client object's signals are delivered straight to this object's
    // signals.
    for (const TForwardedSignal &forward : ForwardedSignals())
        d->Bus.connect(GnomeService, clientPath, ClientInterface, forward.DBusName, this, forward.QtSignal);
    return true;
}

bool TGnomeSessionClient::IsRegistered() const
{
    return !d->ClientPath.isEmpty();
}

void TGnomeSessionClient::AnswerQuery(bool mayEnd, const QString &reason)
{
    // The session manager takes one answer per question; a late or second
    // one would answer a question it no longer asks.
    if (!d->QueryPending || !IsRegistered())
        return;
    d->QueryPending = false;
    d->Respond(mayEnd, reason);
}

bool TGnomeSessionClient::SetLogoutInhibit(bool held, const QString &reason)
{
    if (held == HasLogoutInhibit())
        return true;
    QString error;
    if (!held) {
        // Forgotten either way: a cookie the session manager refuses, or
        // that a session manager which went away had given, holds nothing.
        const uint cookie = *d->InhibitCookie;
        d->InhibitCookie.reset();
        if (CallDBus(d->Bus, ManagerCall(QStringLiteral("Uninhibit"), {cookie}), &error))
            return true;
        qCWarning(LogSession).noquote() << "The log-out inhibitor was not released:" << error;
        return false;
    }
    const QString appId = d->AppId.isEmpty() ? QCoreApplication::applicationName() : d->AppId;
    const std::optional<QDBusMessage> reply =
        CallDBus(d->Bus, ManagerCall(QStringLiteral("Inhibit"), {appId, 0u, reason, InhibitLogOut}), &error);
    if (!reply) {
        qCInfo(LogSession).noquote() << "No log-out inhibitor:" << error;
        return false;
    }
    d->InhibitCookie = reply->arguments().value(0).toUInt();
    return true;
}

bool TGnomeSessionClient::HasLogoutInhibit() const
{
    return d->InhibitCookie.has_value();
}

bool LogOutOfDesktop(QString *error)
{
    struct TLayer
    {
        const char *Name;
        std::function<bool(QString *)> LogOut;
    };
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const TLayer layers[] = {
        {"GNOME",
         [&](QString *reason) {
             return CallDBus(bus, ManagerCall(QStringLiteral("Logout"), {LogoutNoConfirmation}), reason)
                 .has_value();
         }},
        {"KDE",
         [&](QString *reason) {
             const QString kde = QStringLiteral("org.kde.Shutdown");
             return CallDBus(bus,
                             DBusMethodCall(kde, QStringLiteral("/Shutdown"), kde, QStringLiteral("logout")),
                             reason)
                 .has_value();
         }},
        {"logind", [](QString *reason) { return TLogindClient().TerminateOwnSession(reason); }},
    };
    QStringList reasons;
    for (const TLayer &layer : layers) {
        QString reason;
        if (layer.LogOut(&reason))
            return true;
        reasons << QStringLiteral("%1: %2").arg(QLatin1String(layer.Name), reason);
    }
    return Fail(error, QStringLiteral("Could not log out. %1").arg(reasons.join(QStringLiteral("; "))));
}

} // namespace trovalo

// The meta-object is compiled with the class rather than in the layer's
// shared moc file, so linking this class does not require every other
// QObject header of the layer to have its implementation built.
#include "moc_DesktopSession.cpp"
