#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace trovalo {

// systemd-logind on the system bus (org.freedesktop.login1), where present.
//
// Two inhibitor locks, each a file descriptor that logind watches: the
// "delay" lock on "shutdown" lets PrepareForShutdown(true) reach the program
// before the computer goes down (for at most InhibitDelayMaxSec, 5 s by
// default: enough to start the shut-down schedules, not to wait for them);
// the "block" lock on "shutdown" is held while jobs run, so a shut-down
// asked for meanwhile is refused (or, on desktops that show it, named).
// Each lock is released the moment it is no longer wanted: a stray copy of
// its descriptor would keep blocking the user's shut-down.
class TLogindClient : public QObject
{
    Q_OBJECT

public:
    // Uses QDBusConnection::systemBus() (DBUS_SYSTEM_BUS_ADDRESS in tests).
    explicit TLogindClient(QObject *parent = nullptr);
    ~TLogindClient() override;

    // logind answers on the bus.
    bool IsAvailable() const;

    // The delay lock ("Why" is shown by `systemd-inhibit --list`). The owner
    // releases it once its shut-down work has started; after
    // PrepareForShutdown(false), a cancelled shut-down, it is taken again if
    // it was held when that shut-down was announced.
    bool TakeDelayLock(const QString &why);
    void ReleaseDelayLock();
    bool HasDelayLock() const;

    // Holds or releases the block lock; true when the lock is now as asked.
    bool SetBlockLock(bool held, const QString &why);
    bool HasBlockLock() const;

    // CanPowerOff, then PowerOff(false) when it says "yes". False, with the
    // reason in *error, when logind is missing or refuses.
    bool PowerOff(QString *error);
    // Ends this process's login session (TerminateSession of the session of
    // XDG_SESSION_ID, else of this process): the last resort for a log-off.
    bool TerminateOwnSession(QString *error);

signals:
    // true: the computer is about to shut down (or reboot); false: a
    // shut-down that had been announced was cancelled.
    void PrepareForShutdown(bool starting);

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

} // namespace trovalo
