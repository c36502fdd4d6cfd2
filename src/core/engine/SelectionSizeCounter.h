#pragma once

#include "model/SelectionLists.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <atomic>

namespace trovalo {

// What a selection covers: every file and every folder below an included
// folder that no exclude entry removes (the included folders themselves
// are not counted; an included file counts as one file). A file whose size
// cannot be read adds nothing to Size.
struct TSelectionTotals
{
    qint64 Size = 0;
    qint64 Files = 0;
    qint64 Folders = 0;
    bool operator==(const TSelectionTotals &) const = default;
};

// Counts Lists on the calling thread. Paths without a native form and
// unreadable folders add nothing. Stop, when given, ends the walk early
// (the partial totals are returned).
TSelectionTotals CountSelection(const TSelectionLists &lists, const std::atomic_bool *stop = nullptr);

class TSelectionCountThread;

// Counts a selection in the background for a window. Every Start supersedes
// the count before it: that one is told to stop and its result is never
// reported, so Counted always describes the latest selection. Lives on the
// interface thread; Counted arrives there.
class TSelectionSizeCounter : public QObject
{
    Q_OBJECT

public:
    explicit TSelectionSizeCounter(QObject *parent = nullptr);
    // A count still running is stopped and waited for.
    ~TSelectionSizeCounter() override;

    void Start(const TSelectionLists &lists);
    // Stops the running count without a report.
    void Stop();
    bool Counting() const;
    // The totals of the last count that finished.
    TSelectionTotals Totals() const { return FTotals; }
    // A count reuses the totals of include folders whose entries below them
    // did not change since the last count; this makes the next count walk
    // everything again (the user asked for a refresh).
    void ForgetCounts();

signals:
    void Counted(const trovalo::TSelectionTotals &totals);

private:
    void ThreadEnded(TSelectionCountThread *thread);

    QPointer<TSelectionCountThread> FRunning;
    TSelectionTotals FTotals;
    // Per include folder of the last count: its totals, keyed by the folder,
    // its native path and the exclude entries below it.
    QHash<QString, TSelectionTotals> FCache;
};

} // namespace trovalo
