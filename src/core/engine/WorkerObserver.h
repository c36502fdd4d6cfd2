#pragma once

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
    // The run has ended (called last, from the worker's thread).
    virtual void OnFinished(TThreadBase &sender) { Q_UNUSED(sender); }
};

} // namespace trovalo
