#pragma once

#include "CliContext.h"
#include "CliObserver.h"

#include "engine/ThreadBase.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h" // WithNative

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace trovalo {
class TStartUp;
}

namespace trovalo::cli {

// What the commands that run an engine (run, restore) share: the start-up
// the tray program would have made, the job file argument, the yes/no
// questions on the terminal, and the engine's run on its own thread with
// Ctrl-C cancelling it.

// What the tray program's start-up gives a run: this computer's PC ID and
// the deletion protection of the settings.
struct TRunEnvironment
{
    QString PcId;
    TDeletionProtection Protection;
};
// Raises TCliFailure (status 1) when start-up fails.
TRunEnvironment StartUp();
// The start-up the tray program makes, on StartUp; raises TCliFailure
// (status 1) when it fails, or when the program database is needed and
// could not be opened.
void RunStartUp(TStartUp &startUp, bool needDatabase);

// The job file a command was given (either path form), in drive-letter
// form. Refusal tells, for a kind of job, why the command does not take it
// ("" when it does); NotAJob is said of any other file. Raises TCliFailure
// (status 3) for a refused kind, a file that is no job file and a missing
// file.
QString JobFileFromArgument(const QString &argument, const std::function<QString(TJobKind)> &refusal,
                            const QString &notAJob);

// "(The job was saved on the PC X; this computer is Y.)": the detail line
// under the question asked before using a job of another computer.
QString ForeignJobDetail(const QString &jobPcId, const QString &pcId);

// Yes/no questions on the terminal. --yes answers them Yes, --unattended
// with each question's fixed unattended answer; without either and without
// a terminal they are refused, not answered for the user.
class TTerminalAsker
{
public:
    TTerminalAsker(QTextStream &err, bool yes, bool canAsk, bool unattended = false);

    // Shows the title, the question and the detail lines on Err; true for Yes.
    bool Ask(const QString &title, const QString &question, const QStringList &details = {},
             bool unattendedAnswer = false);
    // A question was refused because nobody could be asked.
    bool Unasked() const { return FUnasked; }
    bool CanAsk() const { return FCanAsk; }

private:
    QTextStream &FErr;
    bool FYes;
    bool FCanAsk;
    bool FUnattended;
    bool FUnasked = false;
};

// Runs the engine on its own thread, as the tray program does, and returns
// once it has ended; this thread meanwhile keeps the observer's status line
// going. The first Ctrl-C asks the engine to stop, the second ends the
// process. Started runs right after the engine has started (saving the job
// file with the run's start time); it must not throw, the engine is running
// then. The engine's live-worker count is released at the end.
void RunEngine(TThreadBase &engine, TCliObserver &observer, const std::function<void()> &started = {});

// The completion message of the job controller's handlers: the engine's
// last status, the headline ("Backup file operation completed !"), "Total
// Files : N" (files the engine processed) and "Errors : E" (failed files and
// error events, so a run with a failed file never shows 0).
void PrintCompletion(QTextStream &out, const QString &headline, const TRunOutcome &outcome,
                     const TCliObserver::TTotals &totals);

// The exit status of a run, from how it ended: ExitOk for a clean finish,
// ExitCancelled for a cancel or an Abort the user chose, ExitErrors for
// anything else (failed files, errors, a thread error, an Abort nobody could
// be asked about, a job file that could not be saved).
int RunExitStatus(const TRunOutcome &outcome, const TCliObserver::TTotals &totals, bool saved = true);

} // namespace trovalo::cli
