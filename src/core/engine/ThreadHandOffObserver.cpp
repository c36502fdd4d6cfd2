#include "engine/ThreadHandOffObserver.h"

#include "engine/ThreadBase.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <atomic>
#include <iterator>
#include <optional>
#include <variant>
#include <vector>

namespace trovalo {

namespace {

struct TErrorReport
{
    QString StatusMsg;
    int Error = 0;
};

struct TFileReport
{
    double Percentage = 0;
    QString FileInfo;
};

struct TLogReport
{
    QString FileName;
    QString Action;
    QString Info;
    TEvent Event = eSuccess;
};

struct TFinishedReport
{
    TRunOutcome Outcome;
};

// A low-disk-space question on its way; Answer is guarded by the state's mutex.
struct TQuestion
{
    QString Message;
    std::optional<TLowDiskAnswer> Answer;
};

// A sync conflict question on its way; the conflicts are the worker's own
// list, which it does not touch while it waits, and Answer is guarded by
// the state's mutex.
struct TConflictQuestion
{
    QList<TSyncConflict> *Conflicts = nullptr;
    std::optional<bool> Answer;
};

// std::monostate marks a status or progress report that a later one replaced.
using TReport = std::variant<std::monostate, TStatusReport, TErrorReport, TFileReport, TLogReport,
                             TFinishedReport, std::shared_ptr<TQuestion>, std::shared_ptr<TConflictQuestion>>;

struct TQueuedReport
{
    QPointer<TThreadBase> Sender;
    TReport Report;
};

// The kinds of report of which only the latest pending one is delivered.
enum TCoalescedKind : int { ckStatus, ckProgress, ckCount, ckNone = -1 };

// One delivery gives the interface thread back after this long, so a worker
// far ahead of it does not freeze the windows.
constexpr qint64 DeliveryBudgetMs = 50;
// While reports keep coming, they are delivered this often.
constexpr int DeliveryTickMs = 20;
// Queue storage kept for reuse after a burst, in reports.
constexpr std::size_t RetainedCapacity = 4096;

template <class... TCallables>
struct TOverloaded : TCallables...
{
    using TCallables::operator()...;
};
template <class... TCallables>
TOverloaded(TCallables...) -> TOverloaded<TCallables...>;

} // namespace

// What the observer, the queued deliveries and the worker share. Deliveries
// keep it alive, so they are safe after the observer itself has gone.
class TThreadHandOffObserver::TState : public std::enable_shared_from_this<TState>
{
public:
    TState(TWorkerObserver &target, QObject *context, TLimits limits)
        : FTarget(target)
        , FContext(context)
        , FLimits(limits)
    {}

    // AtOnce: not left for the next tick (the end of the run).
    void Hand(TThreadBase &sender, TReport report, TCoalescedKind kind, bool atOnce = false)
    {
        {
            QMutexLocker lock(&FMutex);
            if (FDetached)
                return;
            if (!InContextThread()) {
                Enqueue(lock, sender, std::move(report), kind, atOnce);
                return;
            }
        }
        DeliverAll();
        TQueuedReport item{&sender, std::move(report)};
        Deliver(item);
    }

    TLowDiskAnswer Ask(TThreadBase &sender, const QString &message)
    {
        return AskQuestion(sender, std::make_shared<TQuestion>(TQuestion{message, std::nullopt}), ldaAbort,
                           [&] { return FTarget.AskLowDiskSpace(sender, message); });
    }

    bool AskConflicts(TThreadBase &sender, QList<TSyncConflict> &conflicts)
    {
        return AskQuestion(sender,
                           std::make_shared<TConflictQuestion>(TConflictQuestion{&conflicts, std::nullopt}),
                           false, [&] { return FTarget.AskSyncConflicts(sender, conflicts); });
    }

    // The context is being destroyed: nothing more is delivered, and a
    // worker waiting for an answer gets Abort.
    void Detach()
    {
        QMutexLocker lock(&FMutex);
        FDetached = true;
        FFrontNumber += qint64(FQueue.size());
        FQueue.clear();
        FChanged.wakeAll();
    }

private:
    // Blocks the worker until the question, queued behind every report made
    // before it, is answered in the context's thread; Unanswered when the
    // context goes first. Called in the context's thread, asks directly.
    template <class TQuestionType, class TAnswer, class TAskDirectly>
    TAnswer AskQuestion(TThreadBase &sender, std::shared_ptr<TQuestionType> question, TAnswer unanswered,
                        TAskDirectly askDirectly)
    {
        {
            QMutexLocker lock(&FMutex);
            if (FDetached)
                return unanswered;
            if (!InContextThread()) {
                FQueue.push_back({&sender, question});
                PostDelivery(true);
                while (!question->Answer && !FDetached)
                    FChanged.wait(&FMutex);
                return question->Answer.value_or(unanswered);
            }
        }
        DeliverAll();
        return FDetached ? unanswered : askDirectly();
    }

    // Under the mutex; the context is alive while it is not detached, since
    // detaching waits for the mutex.
    bool InContextThread() const { return FContext->thread() == QThread::currentThread(); }

    void Enqueue(QMutexLocker<QMutex> &lock, TThreadBase &sender, TReport report, TCoalescedKind kind,
                 bool atOnce)
    {
        if (kind != ckNone && FLatest[kind] >= FFrontNumber &&
            FLatest[kind] == FFrontNumber + qint64(FQueue.size()) - 1) {
            FQueue.back() = {&sender, std::move(report)};
            return;
        }
        WaitForRoom(lock);
        if (FDetached)
            return;
        if (kind != ckNone) {
            // The earlier one is dropped and the new one goes last, so it
            // never overtakes a log row made before it.
            if (FLatest[kind] >= FFrontNumber)
                FQueue[std::size_t(FLatest[kind] - FFrontNumber)].Report = std::monostate();
            FLatest[kind] = FFrontNumber + qint64(FQueue.size());
        }
        FQueue.push_back({&sender, std::move(report)});
        PostDelivery(atOnce);
    }

    void WaitForRoom(QMutexLocker<QMutex> &)
    {
        while (!FDetached && !FStalled && FQueue.size() >= std::size_t(FLimits.QueueLimit)) {
            FWaitingForRoom = true;
            if (!FChanged.wait(&FMutex, QDeadlineTimer(FLimits.StallMilliseconds)))
                FStalled = true;
        }
        FWaitingForRoom = false;
    }

    // Under the mutex: makes sure a delivery is on its way; AtOnce, one that
    // does not wait for the next tick (a second chain of deliveries is
    // harmless: each ends when it finds nothing to deliver).
    void PostDelivery(bool atOnce)
    {
        if (FDeliveryPosted && !atOnce)
            return;
        FDeliveryPosted = true;
        PostNow();
    }

    void PostNow()
    {
        QMetaObject::invokeMethod(
            FContext, [state = shared_from_this()] { state->DeliverQueued(); }, Qt::QueuedConnection);
    }

    // Under the mutex, in the context's thread: takes over what the worker
    // queued, behind what is still being delivered.
    void TakeQueued()
    {
        FFrontNumber += qint64(FQueue.size());
        if (FNext == FDelivering.size()) {
            // The worker gets the delivered storage back: no allocation per
            // report once the queue has grown to its usual size.
            FDelivering.clear();
            FNext = 0;
            if (FDelivering.capacity() > RetainedCapacity)
                std::vector<TQueuedReport>().swap(FDelivering);
            FDelivering.swap(FQueue);
        } else {
            FDelivering.insert(FDelivering.end(), std::make_move_iterator(FQueue.begin()),
                               std::make_move_iterator(FQueue.end()));
            FQueue.clear();
        }
        FStalled = false;
        if (FWaitingForRoom)
            FChanged.wakeAll();
    }

    // Runs in the context's thread. While reports keep coming, the next
    // delivery is a timer tick instead of a post per report, so a worker far
    // faster than the interface wakes it a few dozen times a second, not
    // once per file.
    void DeliverQueued()
    {
        {
            QMutexLocker lock(&FMutex);
            TakeQueued();
        }
        QElapsedTimer clock;
        clock.start();
        bool delivered = false;
        while (FNext < FDelivering.size() && !FDetached && clock.elapsed() < DeliveryBudgetMs) {
            TQueuedReport item = std::move(FDelivering[FNext++]);
            Deliver(item);
            delivered = true;
        }
        enum { Stop, Tick, Again } next = Stop;
        {
            QMutexLocker lock(&FMutex);
            if (FDetached)
                return;
            if (FNext < FDelivering.size())
                next = Again; // out of time: let the other events in first
            else if (delivered || !FQueue.empty())
                next = Tick;
            else
                FDeliveryPosted = false;
        }
        if (next == Again)
            PostNow();
        else if (next == Tick)
            QTimer::singleShot(DeliveryTickMs, Qt::CoarseTimer, FContext,
                               [state = shared_from_this()] { state->DeliverQueued(); });
    }

    // In the context's thread: everything queued, at once.
    void DeliverAll()
    {
        {
            QMutexLocker lock(&FMutex);
            TakeQueued();
        }
        while (FNext < FDelivering.size() && !FDetached) {
            TQueuedReport item = std::move(FDelivering[FNext++]);
            Deliver(item);
        }
    }

    void Deliver(TQueuedReport &item)
    {
        TThreadBase *sender = item.Sender.data();
        const bool deliverable = sender && !FDetached;
        std::visit(TOverloaded{
                       [](std::monostate) {},
                       [&](const TStatusReport &report) {
                           if (deliverable)
                               FTarget.OnStatuesChange(*sender, report);
                       },
                       [&](const TErrorReport &report) {
                           if (deliverable)
                               FTarget.OnError(*sender, report.StatusMsg, report.Error);
                       },
                       [&](const TFileReport &report) {
                           if (deliverable)
                               FTarget.OnFileProsess(*sender, report.Percentage, report.FileInfo);
                       },
                       [&](const TLogReport &report) {
                           if (deliverable)
                               FTarget.OnLog(*sender, report.FileName, report.Action, report.Info,
                                             report.Event);
                       },
                       [&](const TFinishedReport &report) {
                           if (deliverable)
                               FTarget.OnFinished(*sender, report.Outcome);
                       },
                       [&](const std::shared_ptr<TQuestion> &question) {
                           const TLowDiskAnswer answer =
                               deliverable ? FTarget.AskLowDiskSpace(*sender, question->Message) : ldaAbort;
                           QMutexLocker lock(&FMutex);
                           question->Answer = answer;
                           FChanged.wakeAll();
                       },
                       [&](const std::shared_ptr<TConflictQuestion> &question) {
                           const bool answer =
                               deliverable && FTarget.AskSyncConflicts(*sender, *question->Conflicts);
                           QMutexLocker lock(&FMutex);
                           question->Answer = answer;
                           FChanged.wakeAll();
                       },
                   },
                   item.Report);
    }

    TWorkerObserver &FTarget;
    QObject *const FContext;
    const TLimits FLimits;

    QMutex FMutex;
    QWaitCondition FChanged;                // an answer, room in the queue, or detached
    std::vector<TQueuedReport> FQueue;      // made by the worker, not yet taken over
    std::vector<TQueuedReport> FDelivering; // taken over; the context's thread only, no lock
    std::size_t FNext = 0;                  // next to deliver in FDelivering
    qint64 FFrontNumber = 0;                // sequence number of FQueue.front()
    qint64 FLatest[ckCount] = {-1, -1};     // sequence numbers of the coalesced reports
    bool FDeliveryPosted = false;           // a delivery is posted, running or ticking
    bool FWaitingForRoom = false;
    bool FStalled = false;              // the interface thread did not catch up in time
    std::atomic<bool> FDetached{false}; // set under the mutex; read unlocked while delivering
};

TThreadHandOffObserver::TThreadHandOffObserver(TWorkerObserver &target, QObject *context)
    : TThreadHandOffObserver(target, context, TLimits())
{}

TThreadHandOffObserver::TThreadHandOffObserver(TWorkerObserver &target, QObject *context, TLimits limits)
    : FState(std::make_shared<TState>(target, context, limits))
{
    Q_ASSERT(context);
    std::weak_ptr<TState> state = FState;
    FContextGone = QObject::connect(context, &QObject::destroyed, [state] {
        if (const std::shared_ptr<TState> alive = state.lock())
            alive->Detach();
    });
}

TThreadHandOffObserver::~TThreadHandOffObserver()
{
    QObject::disconnect(FContextGone);
}

void TThreadHandOffObserver::OnStatuesChange(TThreadBase &sender, const TStatusReport &report)
{
    FState->Hand(sender, report, ckStatus);
}

void TThreadHandOffObserver::OnError(TThreadBase &sender, const QString &statusMsg, int error)
{
    FState->Hand(sender, TErrorReport{statusMsg, error}, ckNone);
}

void TThreadHandOffObserver::OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo)
{
    FState->Hand(sender, TFileReport{percentage, fileInfo}, ckProgress);
}

void TThreadHandOffObserver::OnLog(TThreadBase &sender, const QString &fileName, const QString &action,
                                   const QString &info, TEvent event)
{
    FState->Hand(sender, TLogReport{fileName, action, info, event}, ckNone);
}

TLowDiskAnswer TThreadHandOffObserver::AskLowDiskSpace(TThreadBase &sender, const QString &message)
{
    return FState->Ask(sender, message);
}

bool TThreadHandOffObserver::AskSyncConflicts(TThreadBase &sender, QList<TSyncConflict> &conflicts)
{
    return FState->AskConflicts(sender, conflicts);
}

void TThreadHandOffObserver::OnFinished(TThreadBase &sender, const TRunOutcome &outcome)
{
    FState->Hand(sender, TFinishedReport{outcome}, ckNone, true);
}

} // namespace trovalo
