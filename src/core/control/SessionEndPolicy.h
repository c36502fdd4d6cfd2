#pragma once

namespace trovalo {

// What the program answers when the session or the computer is about to end,
// and what it does afterwards. Window-free, so the tray program and the
// headless service decide alike; they feed it the events of whatever layer
// the desktop has (the session manager's query, logind's announcement) and
// act on its answers.
//
// The shut-down schedules start once per request. The end is consented to
// only when no job runs: a job still running (one the shut-down schedules
// have just started, say) would be killed by it. A refused end waits for the
// last job and then happens once, unless the request was cancelled
// meanwhile. Jobs are those of the progress panels (or the service's runs):
// searches and size counts do not hold the computer up.
class TSessionEndPolicy
{
public:
    // A log-off or a shut-down is asked for (no layer here says which, so
    // the waiting end is a power-off, and a log-off where logind refuses
    // that). True when the
    // shut-down schedules must start now: the first query of a request.
    bool Query();
    // Asked after the schedules have started: may the session end now?
    // False leaves the end waiting for the last job.
    bool MayEnd(int runningJobs);
    // A job has ended; true once, when the waiting end is due now.
    bool JobEnded(int runningJobs);
    // The log-off or shut-down was cancelled: nothing waits any more, and the
    // next request runs the shut-down schedules again.
    void Cancel();

    // The shut-down schedules ran for the current request.
    bool ShutDownSend() const { return FShutDownSend; }
    bool EndWaiting() const { return FEndWaiting; }

    // The lock that holds a shut-down back is wanted while a job runs.
    static bool WantsBlockLock(int runningJobs) { return runningJobs > 0; }

private:
    bool FShutDownSend = false;
    bool FEndWaiting = false;
};

} // namespace trovalo
