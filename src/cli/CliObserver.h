#pragma once

#include "engine/WorkerObserver.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <QTextStream>

#include <optional>

namespace trovalo::cli {

// Shows a running engine on the terminal. Log rows and errors are lines on
// Out; with a terminal on Err, a status line below them (percent, current
// file, speed, remaining time) is redrawn at most ten times a second.
// Without one, only plain lines are written, never a carriage return.
//
// The engine calls in from its own thread; every call takes one lock, so the
// lines of the engine and of the waiting front end never interleave.
class TCliObserver : public TWorkerObserver
{
public:
    struct TTerminal
    {
        bool LiveLine = false; // Err is a terminal: draw the status line
        bool CanAsk = false;   // standard input is a terminal: ask questions
        int Width = 80;        // columns of the status line's terminal
        bool RowsLive = false; // Out is a terminal: show each row at once
    };
    // What the terminal of this process offers.
    static TTerminal DetectTerminal();

    TCliObserver(QTextStream &out, QTextStream &err, const TTerminal &terminal);

    void OnStatuesChange(TThreadBase &sender, const TStatusReport &report) override;
    void OnError(TThreadBase &sender, const QString &statusMsg, int error) override;
    void OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo) override;
    void OnLog(TThreadBase &sender, const QString &fileName, const QString &action, const QString &info,
               TEvent event) override;
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &sender, const QString &message) override;
    // Lists the conflicts with both sides' sizes and dates and the
    // pre-selected action, then settles them by the answer given on the
    // command line, or asks per pair on the terminal. Without either the
    // run is cancelled (nobody could be asked).
    bool AskSyncConflicts(TThreadBase &sender, QList<TSyncConflict> &conflicts) override;
    void OnFinished(TThreadBase &sender, const TRunOutcome &outcome) override;

    // How sync conflicts are settled: asked on the terminal, or one answer
    // for all (the conflict dialog's four actions).
    enum class TConflictAnswer { Ask, Skip, UsbVersion, ComputerVersion, Newest };
    void SetConflictAnswer(TConflictAnswer answer) { FConflictAnswer = answer; }
    // Nobody is there (a scheduled run of the service): low disk space is
    // answered Skip, so the rest of the run still happens.
    void SetUnattended(bool unattended) { FUnattended = unattended; }

    // Called by the waiting front end now and then: keeps the status line
    // up while the engine reports nothing.
    void Tick();
    // A message of the front end, written between the engine's lines.
    void Warn(const QString &text);

    struct TTotals
    {
        int Copied = 0;  // successful "Copy File", "Zip File" and "UnZip File" rows
        int Removed = 0; // successful delete rows (mirror clean-up, moved sources)
        // The low-disk question was answered Abort because nobody could be
        // asked: the run stopped for want of space, not by the user.
        bool AbortedUnasked = false;
        // Sync conflicts had to be answered and nobody could be asked: the
        // run was cancelled for that, not by the user.
        bool ConflictsUnasked = false;
        QString FinalStatus; // the last status message of the run
    };
    TTotals Totals() const;

private:
    void PrintConflicts(const QList<TSyncConflict> &conflicts);
    void PrintSettled(const QString &heading, const QList<TSyncConflict> &conflicts);
    // Asks pair by pair; false for cancel (or the end of the input).
    bool AskConflictsOneByOne(QList<TSyncConflict> &conflicts);
    void DrawLiveLine(bool force);
    void ClearLiveLine();
    // Rows written to a file or a pipe are flushed in bunches: a run over
    // many small files would otherwise pay a system call per file.
    void FlushRows(bool now);
    QString LiveLineText() const;

    mutable QMutex FMutex;
    QTextStream &FOut;
    QTextStream &FErr;
    TTerminal FTerminal;
    TTotals FTotals;
    TStatusReport FReport;
    QString FCurrentItem;
    double FFilePercent = -1;
    QElapsedTimer FLastDraw;
    QElapsedTimer FLastRowFlush;
    bool FLineShown = false;
    bool FEnded = false;
    TConflictAnswer FConflictAnswer = TConflictAnswer::Ask;
    bool FUnattended = false;
};

// Asks on the terminal: the prompt goes to Err, the answer is one line of
// standard input without its line end; nullopt at its end.
std::optional<QString> AskLine(QTextStream &err, const QString &prompt);

// What settling a conflict with Action does, for the user: "copy the
// computer's version to the USB drive", "do nothing"... A copy from a side
// whose file was deleted deletes the other side's file.
QString ConflictActionText(const TSyncConflict &conflict, TFileAction action);

// A remaining time in days as "h:mm:ss"; "--:--:--" when unknown (< 0).
QString RemainingTimeText(double days);

// Text shortened in its middle to at most Width characters ("C:\Use...a.txt").
QString ShortenMiddle(const QString &text, int width);

} // namespace trovalo::cli
