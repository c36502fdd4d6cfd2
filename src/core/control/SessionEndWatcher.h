#pragma once

#include "control/SessionEndPolicy.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace trovalo {

class TGnomeSessionClient;
class TLogindClient;

// Watches for the end of the session and of the computer through every
// layer the desktop has, and acts on TSessionEndPolicy's answers:
//  - the GNOME session manager's query (when the desktop session is used):
//    the shut-down schedules start, then "not yet" with the reason while
//    jobs run, and the log-out inhibitor is held while they do;
//  - logind's PrepareForShutdown (through a delay lock): the shut-down
//    schedules start; the delay (5 s by default) lets them start, not end;
//  - a query of the program's own (X11 session management): QueryEnd.
// While jobs run, logind's block lock holds a shut-down back. Once the last
// job of a refused end is done, the computer is powered off (no layer says
// whether a log-off or a shut-down was asked for); the user is logged off
// instead when logind refuses the power-off. A cancelled end resets everything. Interface thread only.
class TSessionEndWatcher : public QObject
{
    Q_OBJECT

public:
    struct THooks
    {
        std::function<void()> RunShutdownSchedules;
        // Jobs running now (progress panels' workers, the service's runs).
        std::function<int()> RunningJobs;
        // The end was refused: tell the user why (the tray balloon).
        std::function<void(const QString &reason)> Refused;
    };

    TSessionEndWatcher(THooks hooks, QObject *parent = nullptr);
    ~TSessionEndWatcher() override;

    // Takes logind's delay lock and, with DesktopSession, registers with the
    // GNOME session manager as AppId. Layers that are missing are logged and
    // left out.
    void Start(bool desktopSession, const QString &appId);

    // A log-off or shut-down is asked for; true: it may go ahead.
    bool QueryEnd();
    void Cancelled();
    // Call whenever the number of running jobs changed (a job started or
    // ended): moves the locks, and ends a waiting session after the last.
    void JobsChanged();

    const TSessionEndPolicy &Policy() const { return FPolicy; }
    bool HoldsBlockLock() const;
    bool HoldsDelayLock() const;

    static const QString RefusalText;

signals:
    // The session ends now (GNOME's EndSession or Stop): quit soon.
    void SessionEnding();
    // The waiting end was carried out, or failed (Error says why).
    void EndCarriedOut(bool ok, const QString &error);

private:
    void PrepareForShutdown(bool starting);
    void EndNow();

    THooks FHooks;
    TSessionEndPolicy FPolicy;
    std::unique_ptr<TLogindClient> FLogind;
    std::unique_ptr<TGnomeSessionClient> FGnome;
    // The computer is going down: the delay lock is kept while the jobs the
    // shut-down schedules started run (logind ends the wait itself).
    bool FShuttingDown = false;
    bool FStarted = false;
};

} // namespace trovalo
