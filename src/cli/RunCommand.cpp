#include "CliObserver.h"
#include "CommandLine.h"
#include "Commands.h"
#include "EngineRun.h"

#include "control/ArchiveJobLauncher.h"
#include "db/JobDatabase.h"
#include "engine/BackUpThreadBase.h"
#include "engine/ZipFolderThread.h"
#include "model/ArchiveData.h"
#include "model/Exceptions.h"
#include "model/JobFiles.h"

namespace trovalo::cli {

namespace {

const QString ForeignJobQuestion = QStringLiteral(
    "You have selected job settings that belong to a deferent pc. Continue using this settings might cause "
    "data corruption. Do you want to Continue?");
const QString MissingItemsQuestion = QStringLiteral(
    "Some of the folders / files configured in this job is missing. It is recommended that you reconfigure "
    "this job. Do you want to run the job ?");

// The questions asked before a run, on the terminal. Without one they are
// not answered for the user: a job of another computer or with missing
// folders runs unattended only when --yes says so.
class TTerminalQuestions : public TLaunchQuestions
{
public:
    TTerminalQuestions(TTerminalAsker &asker, QString pcId)
        : FAsker(asker)
        , FPcId(std::move(pcId))
    {}

    bool ConfirmForeignJob(const QString &, const QString &jobPcId) override
    {
        return FAsker.Ask(QStringLiteral("Load Job"), ForeignJobQuestion, {ForeignJobDetail(jobPcId, FPcId)});
    }

    bool ConfirmMissingItems(const QStringList &missing) override
    {
        QStringList details;
        for (const QString &item : missing)
            details << QStringLiteral("  missing: ") + WithNative(item);
        return FAsker.Ask(QStringLiteral("Folder Missing"), MissingItemsQuestion, details);
    }

private:
    TTerminalAsker &FAsker;
    QString FPcId;
};

QString RunRefusal(TJobKind kind)
{
    return kind == TJobKind::Sync || kind == TJobKind::PCSync
               ? QStringLiteral("sync jobs cannot be run from the command line yet")
               : QString();
}

std::unique_ptr<TArchiveLaunch> PrepareRun(TArchiveJobLauncher &launcher, const TTerminalAsker &asker,
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
    if (asker.Unasked())
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
    const bool zip = qobject_cast<const TZipFolderThread *>(launch.Thread.get()) != nullptr;
    const char *headline =
        move ? (cancelled ? "File moves Cancled !" : "File moves cmpleted !")
             : (cancelled ? "Backup file operation Cancled !" : "Backup file operation completed !");
    PrintCompletion(out, headline, launch.Thread->GetProcessedFiles(), totals);

    if (totals.AbortedUnasked)
        out << "The run was stopped: the drive is short of space and there was no terminal to ask on.\n";
    if (cancelled) {
        out << "Cancelled: " << totals.Copied << " file(s) had been "
            << (zip ? "added to archives" : "copied") << ".\n";
    } else if (totals.Copied + totals.Removed + totals.FailedRows + totals.ErrorEvents == 0) {
        out << (launch.PreviousLastUpdate != 0
                    ? "Nothing changed since the last run: no file needed copying.\n"
                    : "Nothing to copy: the job's folders hold no files to copy.\n");
    } else {
        out << (zip ? "Added " : "Copied ") << totals.Copied << " file(s)" << (zip ? " to archives" : "");
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
    const QString jobFile =
        JobFileFromArgument(parser.positionalArguments().first(), RunRefusal,
                            QStringLiteral("run takes a backup job (.zja) or a move job (.zjm)"));

    const TRunEnvironment environment = StartUp();
    const TCliObserver::TTerminal terminal = TCliObserver::DetectTerminal();
    TTerminalAsker asker(context.Err, parser.isSet(yesOption), terminal.CanAsk);
    TTerminalQuestions questions(asker, environment.PcId);
    TArchiveJobLauncher launcher(environment.PcId, environment.Protection, questions);
    const std::unique_ptr<TArchiveLaunch> launch = PrepareRun(launcher, asker, jobFile);
    PrintRunHeader(context.Out, *launch);

    // The job file is saved once the run has really started.
    TCliObserver observer(context.Out, context.Err, terminal);
    TBackUpThreadBase &engine = *launch->Thread;
    bool saved = true;
    RunEngine(engine, observer, [&] {
        try {
            TArchiveJobLauncher::SaveStartedJob(*launch);
        } catch (const ETrovaloError &error) {
            saved = false;
            observer.Warn(QStringLiteral("The job file could not be saved with this run's start time: %1")
                              .arg(error.Message()));
        }
    });

    const TCliObserver::TTotals totals = observer.Totals();
    const bool finished = totals.FinalStatus.trimmed() == TJobDatabase::StatusFinished;
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
