#include "EngineRun.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "base/SizeText.h"
#include "control/StartUp.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QDeadlineTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace trovalo::cli {

namespace {

// The engine Ctrl-C cancels. An atomic pointer, so the handler may read it.
std::atomic<TThreadBase *> InterruptibleEngine{nullptr};
static_assert(std::atomic<TThreadBase *>::is_always_lock_free);

void CancelOnInterrupt(int)
{
    const int savedErrno = errno;
    if (TThreadBase *engine = InterruptibleEngine.load())
        engine->RequestStop();
    static const char Notice[] =
        "\nCancelling: the file being copied is abandoned, finished copies are kept. "
        "Ctrl-C again stops at once.\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, Notice, sizeof Notice - 1);
    errno = savedErrno;
}

// While it lives, the first Ctrl-C asks the engine to stop (cooperatively:
// the file being copied is dropped, the run's status becomes "Canceled");
// the second gets the default action and ends the process.
class TCancelOnInterrupt
{
public:
    explicit TCancelOnInterrupt(TThreadBase &engine)
    {
        InterruptibleEngine.store(&engine);
        struct sigaction action = {};
        action.sa_handler = CancelOnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        ::sigaction(SIGINT, &action, &FPreviousAction);
        // Blocked while the engine's thread is created, which inherits the
        // mask: the handler then always runs in this waiting thread and never
        // interrupts a system call of the engine.
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &interrupt, &FPreviousMask);
    }
    ~TCancelOnInterrupt()
    {
        ::pthread_sigmask(SIG_SETMASK, &FPreviousMask, nullptr);
        ::sigaction(SIGINT, &FPreviousAction, nullptr);
        InterruptibleEngine.store(nullptr);
    }
    TCancelOnInterrupt(const TCancelOnInterrupt &) = delete;
    TCancelOnInterrupt &operator=(const TCancelOnInterrupt &) = delete;

    void EngineStarted() { ::pthread_sigmask(SIG_SETMASK, &FPreviousMask, nullptr); }

private:
    struct sigaction FPreviousAction = {};
    sigset_t FPreviousMask{};
};

} // namespace

void RunStartUp(TStartUp &startUp, bool needDatabase)
{
    try {
        startUp.RunCommonModule();
    } catch (const ETrovaloError &error) {
        throw TCliFailure{QStringLiteral("start-up failed: %1").arg(error.Message()), ExitErrors};
    }
    if (!startUp.RunController() || !startUp.ProgramData() || (needDatabase && !startUp.ProgramDatabase()))
        throw TCliFailure{
            QStringLiteral("start-up failed: %1").arg(startUp.Errors().join(QStringLiteral("; "))),
            ExitErrors};
}

TRunEnvironment StartUp()
{
    // The start-up object (and its program database connection) lives only
    // for this: the engine opens its own connection for DeleteDataLog.
    TStartUp startUp;
    RunStartUp(startUp, false);
    TRunEnvironment environment;
    environment.PcId = startUp.PCID();
    environment.Protection.Enabled = startUp.ProgramData()->MoveToDeleted();
    environment.Protection.DeletedFolder = IncludeTrailingBackslash(startUp.ProgramData()->DeletedFolder());
    environment.Protection.ProgramDatabaseNative = NativePath(TStartUp::ProgramDatabaseFileName());
    return environment;
}

QString JobFileFromArgument(const QString &argument, const std::function<QString(TJobKind)> &refusal,
                            const QString &notAJob)
{
    QString jobFile;
    try {
        jobFile = LetterPathFromUserInput(argument);
    } catch (const EPathError &error) {
        throw TCliFailure{error.Message()};
    }
    const std::optional<TJobKind> kind = JobKindOfFile(jobFile);
    if (!kind)
        throw TCliFailure{QStringLiteral("%1: not a job file; %2").arg(WithNative(jobFile), notAJob)};
    if (const QString refused = refusal(*kind); !refused.isEmpty())
        throw TCliFailure{QStringLiteral("%1: %2").arg(WithNative(jobFile), refused)};
    if (!FileExists(jobFile))
        throw TCliFailure{QStringLiteral("%1: no such job file").arg(WithNative(jobFile))};
    return jobFile;
}

QString ForeignJobDetail(const QString &jobPcId, const QString &pcId)
{
    const QString saver = jobPcId.isEmpty() ? QStringLiteral("carries no PC ID")
                                            : QStringLiteral("was saved on the PC %1").arg(jobPcId);
    return QStringLiteral("(The job %1; this computer is %2.)")
        .arg(saver, pcId.isEmpty() ? QStringLiteral("without a PC ID") : pcId);
}

TTerminalAsker::TTerminalAsker(QTextStream &err, bool yes, bool canAsk, bool unattended)
    : FErr(err)
    , FYes(yes)
    , FCanAsk(canAsk)
    , FUnattended(unattended)
{}

bool TTerminalAsker::Ask(const QString &title, const QString &question, const QStringList &details,
                         bool unattendedAnswer)
{
    FErr << "\n" << title << "\n" << question << "\n";
    for (const QString &line : details)
        FErr << line << "\n";
    if (FUnattended) {
        FErr << (unattendedAnswer ? "Answered Yes (--unattended).\n" : "Answered No (--unattended).\n");
        FErr.flush();
        return unattendedAnswer;
    }
    if (FYes) {
        FErr << "Answered Yes (--yes).\n";
        FErr.flush();
        return true;
    }
    if (!FCanAsk) {
        FUnasked = true;
        FErr.flush();
        return false;
    }
    for (;;) {
        const std::optional<QString> answer = AskLine(FErr, QStringLiteral("Yes or No? [y/N] "));
        if (!answer)
            return false;
        const QString word = answer->trimmed().toLower();
        if (word == QLatin1String("y") || word == QLatin1String("yes"))
            return true;
        if (word.isEmpty() || word == QLatin1String("n") || word == QLatin1String("no"))
            return false;
    }
}

void RunEngine(TThreadBase &engine, TCliObserver &observer, const std::function<void()> &started)
{
    engine.SetObserver(&observer);
    {
        TCancelOnInterrupt cancelOnInterrupt(engine);
        engine.start();
        cancelOnInterrupt.EngineStarted();
        if (started)
            started();
        while (!engine.wait(QDeadlineTimer(200)))
            observer.Tick();
    }
    TThreadBase::ReleaseLiveWorker();
}

void PrintCompletion(QTextStream &out, const QString &headline, const TRunOutcome &outcome,
                     const TCliObserver::TTotals &totals)
{
    out << "\n";
    if (!totals.FinalStatus.trimmed().isEmpty())
        out << "Status : " << totals.FinalStatus.trimmed() << "\n";
    out << headline << "\nTotal Files : " << outcome.FilesDone << "\nErrors : " << outcome.Errors() << "\n";
    if (outcome.End == TRunEnd::ThreadError)
        out << "The run stopped early because of the error above.\n";
    if (outcome.LeftoversRemoved > 0)
        out << "Removed " << outcome.LeftoversRemoved
            << " leftover(s) of interrupted runs: " << SizeText(outcome.LeftoverBytes) << " given back.\n";
}

int RunExitStatus(const TRunOutcome &outcome, const TCliObserver::TTotals &totals, bool saved)
{
    if (outcome.End == TRunEnd::AbortedLowDisk && totals.AbortedUnasked)
        return ExitErrors;
    if (outcome.Cancelled())
        return ExitCancelled;
    return outcome.Clean() && saved ? ExitOk : ExitErrors;
}

} // namespace trovalo::cli
