#pragma once

#include "engine/WorkerObserver.h"

#include <QMetaObject>

#include <memory>

class QObject;

namespace trovalo {

// Hands a worker's reports to an observer that lives in another thread,
// normally the interface thread: Context is a QObject living there, Target
// the observer that gets the reports, called in Context's thread.
//
// Reports that need no answer are copied and queued without blocking the
// worker (unless the interface thread falls TLimits::QueueLimit reports
// behind), and delivered in the order they were made: every log row, error
// and the end of the run. While reports keep coming they are delivered in
// batches on a short timer, so a fast worker does not wake the interface
// thread once per file. Status and per-file progress are coalesced: when
// the interface thread gets to them, only the latest pending status and the
// latest pending progress are delivered, each at the place of its latest
// report, so neither overtakes a log row made before it. The low-disk-space
// question blocks the worker until Target has answered (after every report
// made before it); Abort when Context is destroyed before it answers. The
// sync conflict question does the same, and is cancelled (false) when
// Context is destroyed before it answers.
//
// Called from Context's own thread (a worker run synchronously), every
// report goes straight to Target, after anything still queued.
//
// Deliveries stop when Context is destroyed, so Target must live at least as
// long as Context (usually Target is Context, or owned by it). This object
// may go before everything is delivered: what is queued is still delivered.
// The worker that sends the reports must not be deleted while its reports
// are queued; reports of a worker that was deleted are dropped.
class TThreadHandOffObserver : public TWorkerObserver
{
public:
    struct TLimits
    {
        // Reports waiting for the interface thread before the worker waits
        // for it to catch up (bounds the memory of a run over many files).
        int QueueLimit = 65536;
        // How long the worker waits for that; after it the interface thread
        // is taken as blocked and the queue grows until it next delivers.
        int StallMilliseconds = 1000;
    };

    TThreadHandOffObserver(TWorkerObserver &target, QObject *context);
    TThreadHandOffObserver(TWorkerObserver &target, QObject *context, TLimits limits);
    ~TThreadHandOffObserver() override;
    TThreadHandOffObserver(const TThreadHandOffObserver &) = delete;
    TThreadHandOffObserver &operator=(const TThreadHandOffObserver &) = delete;

    void OnStatuesChange(TThreadBase &sender, const TStatusReport &report) override;
    void OnError(TThreadBase &sender, const QString &statusMsg, int error) override;
    void OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo) override;
    void OnLog(TThreadBase &sender, const QString &fileName, const QString &action, const QString &info,
               TEvent event) override;
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &sender, const QString &message) override;
    bool AskSyncConflicts(TThreadBase &sender, QList<TSyncConflict> &conflicts) override;
    void OnFinished(TThreadBase &sender, const TRunOutcome &outcome) override;

private:
    class TState;
    std::shared_ptr<TState> FState;
    QMetaObject::Connection FContextGone;
};

} // namespace trovalo
