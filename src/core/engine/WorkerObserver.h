#pragma once

#include "base/DateTime.h"

#include <QList>
#include <QString>

namespace trovalo {

class TThreadBase;

// Result of one logged file operation.
enum TEvent : int { eSuccess, eFailedorSkip };

// Answers to the low-disk-space question, as the Skip/Abort/Retry dialog
// returns them.
enum TLowDiskAnswer : int { ldaSkip = 2, ldaAbort = 3, ldaRetry = 4 };

// One status report. The position is computed by the worker; the speed text
// and remaining time are computed on demand from the amounts, so an observer
// that shows only a few reports a second does not pay for the others.
struct TStatusReport
{
    QString StatusMsg;
    int ProgressBarPosition = -1; // percent; negative: no measurable progress
    qint64 ProcessedItems = 0;    // PbarPosition (-1 while searching or deleting)
    qint64 ItemCount = 0;         // FileNum
    qint64 BytesTotal = 0;        // FileSize
    qint64 BytesProcessed = 0;    // FileSizeProcessed
    double ElapsedSeconds = 0;    // since ProcessStartTime; 0 in the same instant

    // "N/A" when no time has passed, else bytes per second with the
    // locale's separators, two decimals and B/s, KB/s, MB/s or GB/s.
    QString Speed() const;
    // Remaining time in days, -1 when it cannot be told.
    double ATR() const;
};

// How a run ended. The end texts the engines show and store ("Finished !",
// " Canceled", "Canceled :(") are for people; whatever decides what to tell
// the user or which exit status to give reads this instead.
enum class TRunEnd : int {
    Finished,        // ran to its end (possibly with failed files or errors)
    CancelledByUser, // the stop flag: Cancel, Ctrl-C, a conflict question cancelled
    AbortedLowDisk,  // Abort answered to the low-disk-space question
    ThreadError,     // stopped early by a failure, not by a stop request
};

// "finished", "cancelled"…: how a run ended, in words for the log.
QString RunEndText(TRunEnd end);

// The one result of a run, delivered with its end.
struct TRunOutcome
{
    TRunEnd End = TRunEnd::Finished;
    qint64 FilesDone = 0;   // files processed (the progress count)
    qint64 FailedFiles = 0; // rows logged as failed or skipped (a low-disk Skip too)
    qint64 ErrorEvents = 0; // error reports
    // Temporary files of interrupted runs removed, and their bytes: not
    // files of this run.
    qint64 LeftoversRemoved = 0;
    qint64 LeftoverBytes = 0;

    // What "Errors : E" counts: a run with any failed file never shows 0.
    qint64 Errors() const { return FailedFiles + ErrorEvents; }
    bool Cancelled() const { return End == TRunEnd::CancelledByUser || End == TRunEnd::AbortedLowDisk; }
    bool Clean() const { return End == TRunEnd::Finished && Errors() == 0; }
};

// What a sync pair may get done to it.
enum TFileAction : int { faCopyAB, faCopyBA, faDelete, faSkip };

// One pair of the sync conflict question: side A on the USB drive, side B
// on the computer, each with its size (-1: no file) and file date (0: none).
struct TSyncConflict
{
    QString FileA;
    QString FileB;
    qint64 SizeA = -1;
    qint64 SizeB = -1;
    TDateTime DateA = 0;
    TDateTime DateB = 0;
    TFileAction Action = faSkip; // pre-selected, then the answer
};

// What an engine reports while it runs. Every call comes from the worker's
// own thread, in order; an observer that drives windows hands the reports to
// the interface thread (see TThreadHandOffObserver). The two questions block
// the worker until they are answered.
class TWorkerObserver
{
public:
    virtual ~TWorkerObserver() = default;

    virtual void OnStatuesChange(TThreadBase &sender, const TStatusReport &report) = 0;
    virtual void OnError(TThreadBase &sender, const QString &statusMsg, int error) = 0;
    // Percent of the current file transferred, and what is being done to it
    // ("Copying File: a.txt").
    virtual void OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo) = 0;
    virtual void OnLog(TThreadBase &sender, const QString &fileName, const QString &action,
                       const QString &info, TEvent event) = 0;
    // Not enough free space for the next file; Message names the drive, the
    // file and both sizes.
    virtual TLowDiskAnswer AskLowDiskSpace(TThreadBase &sender, const QString &message) = 0;
    // A sync run found pairs changed on both sides (or, in both-directions
    // mode, changed on one side and deleted on the other) that its rule
    // says to ask about. Each comes with its pre-selected action; the
    // observer may change the actions. True: go on with them; false: the
    // run is cancelled. An observer that cannot ask cancels.
    virtual bool AskSyncConflicts(TThreadBase &sender, QList<TSyncConflict> &conflicts)
    {
        Q_UNUSED(sender);
        Q_UNUSED(conflicts);
        return false;
    }
    // The run has ended (called last, from the worker's thread).
    virtual void OnFinished(TThreadBase &sender, const TRunOutcome &outcome)
    {
        Q_UNUSED(sender);
        Q_UNUSED(outcome);
    }
};

} // namespace trovalo
