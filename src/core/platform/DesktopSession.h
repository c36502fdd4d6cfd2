#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace trovalo {

// The GNOME session manager on the session bus (org.gnome.SessionManager),
// where present. Registered as a client, the program is asked before the
// session ends (log-out, shut-down, reboot: gnome-session does not say
// which) and may answer "not yet" with a reason that GNOME shows the user.
class TGnomeSessionClient : public QObject
{
    Q_OBJECT

public:
    // Uses QDBusConnection::sessionBus() (DBUS_SESSION_BUS_ADDRESS in tests).
    explicit TGnomeSessionClient(QObject *parent = nullptr);
    ~TGnomeSessionClient() override;

    // RegisterClient(AppId, DESKTOP_AUTOSTART_ID or ""), then listens on the
    // client object's ClientPrivate interface. False when there is no GNOME
    // session manager.
    bool Register(const QString &appId);
    bool IsRegistered() const;
    // The answer to the last QueryEndSession (EndSessionResponse). One
    // answer per question: ignored when none is open (answered already,
    // cancelled, or the session is ending).
    void AnswerQuery(bool mayEnd, const QString &reason);

    // Holds or releases the session manager's log-out inhibitor (flag 1)
    // with the reason GNOME shows; true when it is now as asked.
    bool SetLogoutInhibit(bool held, const QString &reason);
    bool HasLogoutInhibit() const;

signals:
    // The session is about to end: answer with AnswerQuery.
    void QueryEndSession();
    // The session ends now; the program answers itself (consent) and should
    // quit soon.
    void EndSession();
    // A log-out or shut-down that had been queried was cancelled.
    void EndSessionCancelled();
    // The session manager asks the program to quit.
    void StopRequested();

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

// Logs the user out without asking again: GNOME's Logout(1), else KDE's
// org.kde.Shutdown.logout, else logind's TerminateSession of this session.
// False, with every layer's reason in *error, when none would.
bool LogOutOfDesktop(QString *error);

} // namespace trovalo
