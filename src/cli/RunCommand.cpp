#include "CliObserver.h"
#include "CommandLine.h"
#include "Commands.h"

#include "control/ArchiveJobLauncher.h"
#include "control/StartUp.h"
#include "db/JobDatabase.h"
#include "engine/BackUpThreadBase.h"
#include "model/ArchiveData.h"
#include "model/Exceptions.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"

#include <QDeadlineTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace trovalo::cli {

namespace {

const QString ForeignJobQuestion = QStringLiteral(
    "You have selected job settings that belong to a deferent pc. Continue using this settings might cause "
    "data corruption. Do you want to Continue?");
const QString MissingItemsQuestion = QStringLiteral(
    "Some of the folders / files configured in this job is missing. It is recommended that you reconfigure "
    "this job. Do you want to run the job ?");

QString WithNative(const QString &letterPath)
{
    const std::optional<QString> native = ToNativePath(letterPath);
    return native ? QStringLiteral("%1  (%2)").arg(letterPath, *native) : letterPath;
}

// The questions asked before a run, on the terminal. Without one they are
// not answered for the user: a job of another computer or with missing
// folders runs unattended only when --yes says so.
class TTerminalQuestions : public TLaunchQuestions
{
public:
    TTerminalQuestions(QTextStream &err, QString pcId, bool yes, bool canAsk)
        : FErr(err)
        , FPcId(std::move(pcId))
        , FYes(yes)
        , FCanAsk(canAsk)
    {}

    bool ConfirmForeignJob(const QString &, const QString &jobPcId) override
    {
        const QString saver = jobPcId.isEmpty() ? QStringLiteral("carries no PC ID")
                                                : QStringLiteral("was saved on the PC %1").arg(jobPcId);
        return Ask(QStringLiteral("Load Job"), ForeignJobQuestion,
                   {QStringLiteral("(The job %1; this computer is %2.)")
                        .arg(saver, FPcId.isEmpty() ? QStringLiteral("without a PC ID") : FPcId)});
    }

    bool ConfirmMissingItems(const QStringList &missing) override
    {
        QStringList details;
        for (const QString &item : missing)
            details << QStringLiteral("  missing: ") + WithNative(item);
        return Ask(QStringLiteral("Folder Missing"), MissingItemsQuestion, details);
    }

    // A question was refused because nobody could be asked.
    bool Unasked() const { return FUnasked; }

private:
    bool Ask(const QString &title, const QString &question, const QStringList &details)
    {
        FErr << "\n" << title << "\n" << question << "\n";
        for (const QString &line : details)
            FErr << line << "\n";
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

    QTextStream &FErr;
    QString FPcId;
    bool FYes;
    bool FCanAsk;
    bool FUnasked = false;
};

// What the tray program's start-up gives a run: this computer's PC ID and
// the deletion protection of the settings.
struct TRunEnvironment
{
    QString PcId;
    TDeletionProtection Protection;
};

TRunEnvironment StartUp()
{
    // The start-up object (and its program database connection) lives only
    // for this: the engine opens its own connection for DeleteDataLog.
    TStartUp startUp;
    try {
        startUp.RunCommonModule();
    } catch (const ETrovaloError &error) {
        throw TCliFailure{QStringLiteral("start-up failed: %1").arg(error.Message()), ExitErrors};
    }
    if (!startUp.RunController() || !startUp.ProgramData())
        throw TCliFailure{
            QStringLiteral("start-up failed: %1").arg(startUp.Errors().join(QStringLiteral("; "))),
            ExitErrors};
    TRunEnvironment environment;
    environment.PcId = startUp.PCID();
    environment.Protection.Enabled = startUp.ProgramData()->MoveToDeleted();
    environment.Protection.DeletedFolder = IncludeTrailingBackslash(startUp.ProgramData()->DeletedFolder());
    environment.Protection.ProgramDatabaseNative = NativePath(TStartUp::ProgramDatabaseFileName());
    return environment;
}

// The engine Ctrl-C cancels. An atomic pointer, so the handler may read it.
std::atomic<TThreadBase *> InterruptibleEngine{nullptr};
static_assert(std::atomic<TThreadBase *>::is_always_lock_free);

void CancelOnInterrupt(int)
{
    const int savedErrno = errno;
    if (TThreadBase *engine = InterruptibleEngine.load())
        engine->Terminate();
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

QString JobFileFromArgument(const QString &argument)
{
    QString jobFile;
    try {
        jobFile = LetterPathFromUserInput(argument);
    } catch (const EPathError &error) {
        throw TCliFailure{error.Message()};
    }
    const std::optional<TJobKind> kind = JobKindOfFile(jobFile);
    if (kind == TJobKind::Sync || kind == TJobKind::PCSync)
        throw TCliFailure{
            QStringLiteral("%1: sync jobs cannot be run from the command line yet").arg(WithNative(jobFile))};
    if (!kind)
        throw TCliFailure{
            QStringLiteral("%1: not a job file; run takes a backup job (.zja) or a move job (.zjm)")
                .arg(WithNative(jobFile))};
    if (!FileExists(jobFile))
        throw TCliFailure{QStringLiteral("%1: no such job file").arg(WithNative(jobFile))};
    return jobFile;
}

std::unique_ptr<TArchiveLaunch> PrepareRun(TArchiveJobLauncher &launcher, TTerminalQuestions &questions,
                                           const QString &jobFile)
{
    std::unique_ptr<TArchiveLaunch> launch;
    try {
        launch = launcher.Prepare(jobFile, DateTimeNow());
    } catch (const EUserException &error) {
        throw TCliFailure{error.Message()};
    } catch (const EFileError &error) {
        throw TCliFailure{error.Message()};
    } catch (const EPathError &error) {
        throw TCliFailure{error.Message()};
    }
    if (launch)
        return launch;
    if (questions.Unasked())
        throw TCliFailure{
            QStringLiteral("there is no terminal to answer on; pass --yes to answer Yes and run "
                           "the job"),
            ExitCancelled};
    throw TCliFailure{QStringLiteral("the job was not run"), ExitCancelled};
}

void PrintRunHeader(QTextStream &out, const TArchiveLaunch &launch)
{
    const TArchiveData &job = *launch.Job;
    const TJobKind kind = ArchiveJobKind(job);
    out << "Running " << (kind == TJobKind::Move ? "the move job" : "the backup job");
    if (!job.BackupName().isEmpty())
        out << " \"" << job.BackupName() << "\"";
    out << " (" << JobKindCaption(kind, job.ArchiveDir()) << ")\n"
        << "  job file:    " << WithNative(launch.JobFile) << "\n"
        << "  destination: " << WithNative(launch.Destination) << "\n";
    out.flush();
}

// The job controller's completion message, then what a user needs to judge
// the run: what was copied, what failed, or that nothing needed copying.
void PrintSummary(QTextStream &out, const TArchiveLaunch &launch, const TCliObserver::TTotals &totals,
                  bool cancelled)
{
    const bool move = launch.Thread->ArchiveMode() == amMove;
    const char *headline =
        move ? (cancelled ? "File moves Cancled !" : "File moves cmpleted !")
             : (cancelled ? "Backup file operation Cancled !" : "Backup file operation completed !");
    out << "\n";
    if (!totals.FinalStatus.trimmed().isEmpty())
        out << "Status : " << totals.FinalStatus.trimmed() << "\n";
    out << headline << "\nTotal Files : " << launch.Thread->GetProcessedFiles()
        << "\nErrors : " << totals.ErrorEvents << "\n";

    if (totals.AbortedUnasked)
        out << "The run was stopped: the drive is short of space and there was no terminal to ask on.\n";
    if (cancelled) {
        out << "Cancelled: " << totals.Copied << " file(s) had been copied.\n";
    } else if (totals.Copied + totals.Removed + totals.FailedRows + totals.ErrorEvents == 0) {
        out << (launch.PreviousLastUpdate != 0
                    ? "Nothing changed since the last run: no file needed copying.\n"
                    : "Nothing to copy: the job's folders hold no files to copy.\n");
    } else {
        out << "Copied " << totals.Copied << " file(s)";
        if (totals.Removed > 0)
            out << ", removed " << totals.Removed;
        if (totals.FailedRows > 0)
            out << ", " << totals.FailedRows << " FAILED (see the lines marked FAILED)";
        out << ".\n";
    }
    out.flush();
}

} // namespace

int RunCommand(TCliContext &context)
{
    const QCommandLineOption yesOption(QStringLiteral("yes"),
                                       QStringLiteral("answer Yes to the questions asked before the run"));
    QCommandLineParser parser;
    ParseCommand(parser, {QStringLiteral("trovalo-cli run JOBFILE [--yes]"), {yesOption}, 1, 1},
                 context.Arguments);
    const QString jobFile = JobFileFromArgument(parser.positionalArguments().first());

    const TRunEnvironment environment = StartUp();
    const TCliObserver::TTerminal terminal = TCliObserver::DetectTerminal();
    TTerminalQuestions questions(context.Err, environment.PcId, parser.isSet(yesOption), terminal.CanAsk);
    TArchiveJobLauncher launcher(environment.PcId, environment.Protection, questions);
    const std::unique_ptr<TArchiveLaunch> launch = PrepareRun(launcher, questions, jobFile);
    PrintRunHeader(context.Out, *launch);

    // The engine runs on its own thread, as in the tray program, so the job
    // file is saved once the run has really started and this thread stays
    // free to keep the status line's clock going and to take Ctrl-C.
    TCliObserver observer(context.Out, context.Err, terminal);
    TBackUpThreadBase &engine = *launch->Thread;
    engine.SetObserver(&observer);
    bool saved = true;
    {
        TCancelOnInterrupt cancelOnInterrupt(engine);
        engine.start();
        cancelOnInterrupt.EngineStarted();
        try {
            TArchiveJobLauncher::SaveStartedJob(*launch);
        } catch (const ETrovaloError &error) {
            saved = false;
            observer.Warn(QStringLiteral("The job file could not be saved with this run's start time: %1")
                              .arg(error.Message()));
        }
        while (!engine.wait(QDeadlineTimer(200)))
            observer.Tick();
    }
    TThreadBase::ReleaseLiveWorker();

    const TCliObserver::TTotals totals = observer.Totals();
    const bool finished = totals.FinalStatus == TJobDatabase::StatusFinished;
    const bool cancelled = engine.Terminated() && !finished;
    PrintSummary(context.Out, *launch, totals, cancelled);
    if (totals.AbortedUnasked)
        return ExitErrors;
    if (cancelled)
        return ExitCancelled;
    if (!finished || !saved || totals.FailedRows > 0 || totals.ErrorEvents > 0)
        return ExitErrors;
    return ExitOk;
}

} // namespace trovalo::cli
