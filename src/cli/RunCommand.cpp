#include "CliObserver.h"
#include "CommandLine.h"
#include "Commands.h"
#include "EngineRun.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/ArchiveJobLauncher.h"
#include "control/SyncJobLauncher.h"
#include "engine/BackUpThreadBase.h"
#include "engine/SyncFolderThread.h"
#include "engine/ZipFolderThread.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "model/SyncDataItems.h"

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

    // Unattended, a job of another computer is not run (it could damage
    // data, and nobody is there to judge), and a job runs with what is left
    // of its sources as long as any is (with none, a mirror would have
    // nothing to mirror but the deletions).
    bool ConfirmForeignJob(const QString &, const QString &jobPcId) override
    {
        return FAsker.Ask(QStringLiteral("Load Job"), ForeignJobQuestion, {ForeignJobDetail(jobPcId, FPcId)},
                          false);
    }

    bool ConfirmMissingItems(const QStringList &missing, int sourcesLeft) override
    {
        QStringList details;
        for (const QString &item : missing)
            details << QStringLiteral("  missing: ") + WithNative(item);
        return FAsker.Ask(QStringLiteral("Folder Missing"), MissingItemsQuestion, details, sourcesLeft > 0);
    }

private:
    TTerminalAsker &FAsker;
    QString FPcId;
};

// A launcher's failures become the command's: a job that cannot be read
// or run is bad input.
template <typename TPrepare>
auto Prepared(TPrepare prepare)
{
    try {
        return prepare();
    } catch (const EUserException &error) {
        throw TCliFailure{error.Message()};
    } catch (const EFileError &error) {
        throw TCliFailure{error.Message()};
    } catch (const EPathError &error) {
        throw TCliFailure{error.Message()};
    }
}

// A question was answered No: say why nothing ran.
TCliFailure Declined(const TTerminalAsker &asker)
{
    if (asker.Unasked())
        return TCliFailure{
            QStringLiteral("there is no terminal to answer on; pass --yes to answer Yes and run the job"),
            ExitCancelled};
    return TCliFailure{QStringLiteral("the job was not run"), ExitCancelled};
}

std::unique_ptr<TArchiveLaunch> PrepareRun(TArchiveJobLauncher &launcher, const TTerminalAsker &asker,
                                           const QString &jobFile)
{
    std::unique_ptr<TArchiveLaunch> launch =
        Prepared([&] { return launcher.Prepare(jobFile, DateTimeNow()); });
    if (!launch)
        throw Declined(asker);
    return launch;
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
void PrintSummary(QTextStream &out, const TArchiveLaunch &launch, const TCliObserver::TTotals &totals)
{
    const TRunOutcome &outcome = launch.Thread->Outcome();
    const bool cancelled = outcome.Cancelled();
    const bool move = launch.Thread->ArchiveMode() == amMove;
    const bool zip = qobject_cast<const TZipFolderThread *>(launch.Thread.get()) != nullptr;
    const char *headline =
        move ? (cancelled ? "File moves Cancled !" : "File moves cmpleted !")
             : (cancelled ? "Backup file operation Cancled !" : "Backup file operation completed !");
    PrintCompletion(out, headline, outcome, totals);

    if (totals.AbortedUnasked)
        out << "The run was stopped: the drive is short of space and there was no terminal to ask on.\n";
    if (cancelled) {
        out << "Cancelled: " << totals.Copied << " file(s) had been "
            << (zip ? "added to archives" : "copied") << ".\n";
    } else if (totals.Copied + totals.Removed + outcome.Errors() == 0) {
        out << (launch.PreviousLastUpdate != 0
                    ? "Nothing changed since the last run: no file needed copying.\n"
                    : "Nothing to copy: the job's folders hold no files to copy.\n");
    } else {
        out << (zip ? "Added " : "Copied ") << totals.Copied << " file(s)" << (zip ? " to archives" : "");
        if (totals.Removed > 0)
            out << ", removed " << totals.Removed;
        if (outcome.FailedFiles > 0)
            out << ", " << outcome.FailedFiles << " FAILED (see the lines marked FAILED)";
        out << ".\n";
    }
    out.flush();
}

// The options of `run`.
struct TRunOptions
{
    QCommandLineOption Yes{QStringLiteral("yes"),
                           QStringLiteral("answer Yes to the questions asked before the run")};
    QCommandLineOption Unattended{
        QStringLiteral("unattended"),
        QStringLiteral(
            "nobody is there: a job of another computer is not run, a job with missing folders runs "
            "while any are left, a file without space is skipped, sync conflicts are skipped")};
    QCommandLineOption Item{
        QStringLiteral("item"),
        QStringLiteral("PC-PC sync jobs: run item N (counted from 1) instead of this computer's"),
        QStringLiteral("N")};
    QCommandLineOption Conflicts{
        QStringLiteral("conflicts"),
        QStringLiteral("sync jobs: settle every conflict this way instead of asking"),
        QStringLiteral("skip|usb|computer|newest")};
};

const QString RunUsage = QStringLiteral("trovalo-cli run JOBFILE [--yes | --unattended] [--item N] "
                                        "[--conflicts=skip|usb|computer|newest]");

TCliObserver::TConflictAnswer ConflictAnswerOption(const QString &value)
{
    using TAnswer = TCliObserver::TConflictAnswer;
    static const QList<std::pair<QString, TAnswer>> Answers = {
        {QStringLiteral("skip"), TAnswer::Skip},
        {QStringLiteral("usb"), TAnswer::UsbVersion},
        {QStringLiteral("computer"), TAnswer::ComputerVersion},
        {QStringLiteral("newest"), TAnswer::Newest}};
    QStringList words;
    for (const auto &[word, answer] : Answers) {
        if (value.compare(word, Qt::CaseInsensitive) == 0)
            return answer;
        words << word;
    }
    const QString nearest = NearestWord(value.toLower(), words);
    throw TCliFailure{
        QStringLiteral("--conflicts: '%1' is none of %2%3")
            .arg(value, words.join(QLatin1Char('|')),
                 nearest.isEmpty() ? QString() : QStringLiteral("; did you mean '%1'?").arg(nearest))};
}

// 0-based item index of --item, -1 when it is not given.
int ItemOption(const QCommandLineParser &parser, const TRunOptions &options)
{
    if (!parser.isSet(options.Item))
        return -1;
    bool ok = false;
    const int item = parser.value(options.Item).toInt(&ok);
    if (!ok || item < 1)
        throw TCliFailure{QStringLiteral("--item: '%1' is no item number (1 for the first item)")
                              .arg(parser.value(options.Item))};
    return item - 1;
}

// Runs the engine; the job file is saved (with the run's start time) once
// the run has really started. False when that save failed: the run goes
// on, the user is warned.
bool RunAndSaveJob(TThreadBase &engine, TCliObserver &observer, const std::function<void()> &save)
{
    bool saved = true;
    RunEngine(engine, observer, [&] {
        try {
            save();
        } catch (const ETrovaloError &error) {
            saved = false;
            observer.Warn(QStringLiteral("The job file could not be saved with this run's start time: %1")
                              .arg(error.Message()));
        }
    });
    return saved;
}

// How a run's questions are answered: --yes, --unattended, or by the user.
struct TAnswering
{
    bool Yes = false;
    bool Unattended = false;
};

int RunArchiveJob(TCliContext &context, const QString &jobFile, TAnswering answering)
{
    const TRunEnvironment environment = StartUp();
    const TCliObserver::TTerminal terminal = TCliObserver::DetectTerminal();
    TTerminalAsker asker(context.Err, answering.Yes, terminal.CanAsk, answering.Unattended);
    TTerminalQuestions questions(asker, environment.PcId);
    TArchiveJobLauncher launcher(environment.PcId, environment.Protection, questions);
    const std::unique_ptr<TArchiveLaunch> launch = PrepareRun(launcher, asker, jobFile);
    PrintRunHeader(context.Out, *launch);

    // The job file is saved once the run has really started.
    TCliObserver observer(context.Out, context.Err, terminal);
    observer.SetUnattended(answering.Unattended);
    TBackUpThreadBase &engine = *launch->Thread;
    const bool saved = RunAndSaveJob(engine, observer, [&] { TArchiveJobLauncher::SaveStartedJob(*launch); });

    const TCliObserver::TTotals totals = observer.Totals();
    PrintSummary(context.Out, *launch, totals);
    return RunExitStatus(engine.Outcome(), totals, saved);
}

// The items of a PC-PC sync job, for the message that none is this computer's.
QString ItemList(const QString &jobFile)
{
    TPCSyncData job;
    TSyncJobLauncher::LoadJob(job, jobFile);
    QStringList lines;
    for (int i = 0; i < job.SyncDataItems()->Count(); ++i) {
        const TSyncDataItem &item = *job.SyncDataItems()->Items(i);
        lines << QStringLiteral("  %1. \"%2\" (PC ID %3)")
                     .arg(i + 1)
                     .arg(item.SyncName(), item.PCID().isEmpty() ? QStringLiteral("none") : item.PCID());
    }
    return lines.isEmpty() ? QStringLiteral("  (the job has no items)") : lines.join(QLatin1Char('\n'));
}

std::unique_ptr<TSyncLaunch> PrepareSyncRun(TSyncJobLauncher &launcher, const TTerminalAsker &asker,
                                            const QString &jobFile, const QString &pcId, int item)
{
    std::unique_ptr<TSyncLaunch> launch =
        Prepared([&] { return launcher.Prepare(jobFile, DateTimeNow(), item); });
    if (launch)
        return launch;
    if (launcher.Refusal() == TSyncLaunchRefusal::NoItemForComputer)
        throw TCliFailure{QStringLiteral("%1: this PC-PC sync job has no item for this computer (PC ID %2), "
                                         "so nothing was run. Its items:\n%3\nRun another computer's item "
                                         "with --item N.")
                              .arg(WithNative(jobFile), pcId, Prepared([&] { return ItemList(jobFile); })),
                          ExitCancelled};
    throw Declined(asker);
}

QString DirectionCaption(TSyncDirection direction)
{
    switch (direction) {
    case sdBidi:
        return QStringLiteral("In Both Directions");
    case sdToComputerOnly:
        return QStringLiteral("Only To Computer");
    case sdToUsbDriveOnly:
        return QStringLiteral("Only To USB Drive");
    }
    return {};
}

QString ConflictRuleCaption(TSyncDefaultAction rule)
{
    switch (rule) {
    case sdaAsk:
        return QStringLiteral("Ask me what to do");
    case sdaNothing:
        return QStringLiteral("Do Nothing");
    case sdaUseUsbDriveVersion:
        return QStringLiteral("Use this USB drive's version");
    case sdaUseComputerVersion:
        return QStringLiteral("Use this computer's version");
    case sdaNewVersion:
        return QStringLiteral("Use the newest version");
    }
    return {};
}

void PrintSyncHeader(QTextStream &out, const TSyncLaunch &launch)
{
    const TSyncFolderThread &engine = *launch.Thread;
    if (launch.Kind == TJobKind::PCSync)
        out << "Running item " << launch.ItemIndex + 1 << " \"" << launch.Caption
            << "\" of the PC-PC sync job \"" << launch.PCJob->SyncName() << "\"\n";
    else
        out << "Running the sync job \"" << launch.Caption << "\" (" << JobKindCaption(TJobKind::Sync)
            << ")\n";
    out << "  job file:   " << WithNative(launch.JobFile) << "\n"
        << "  history:    " << WithNative(launch.DatabaseFile) << "\n"
        << "  direction:  " << DirectionCaption(engine.SyncDirection()) << "\n"
        << "  conflicts:  " << ConflictRuleCaption(engine.SyncDefaultAction()) << "\n";
    // Side A lies on the drive of the sync database.
    const QString drive = ExtractFileDrive(launch.DatabaseFile);
    for (int i = 0; i < engine.SyncItems().Count(); ++i)
        out << "  folders:    " << drive + engine.SyncItems()[i]->FolderA() << "  <->  "
            << engine.SyncItems()[i]->FolderB() << "\n";
    for (int i = 0; i < engine.SyncFiles().Count(); ++i)
        out << "  files:      " << drive + engine.SyncFiles()[i]->FolderA() << "  <->  "
            << engine.SyncFiles()[i]->FolderB() << "\n";
    out.flush();
}

// The controller's completion message, then what was done to the pairs
// that needed attention.
void PrintSyncSummary(QTextStream &out, const TSyncLaunch &launch, const TCliObserver::TTotals &totals)
{
    const TRunOutcome &outcome = launch.Thread->Outcome();
    const bool cancelled = outcome.Cancelled();
    const bool pcSync = launch.Kind == TJobKind::PCSync;
    const QString headline = QStringLiteral("%1Sync file operation %2 !")
                                 .arg(pcSync ? QStringLiteral("PC ") : QString(),
                                      cancelled ? QStringLiteral("Cancled") : QStringLiteral("completed"));
    const qint64 processed = outcome.FilesDone;
    PrintCompletion(out, headline, outcome, totals);
    // Every pair that needed attention is counted once as processed; the
    // skipped ones are the only ones without a log row.
    const qint64 logged = totals.Copied + totals.Removed + outcome.FailedFiles;
    const qint64 skipped = std::max<qint64>(0, processed - logged);
    if (totals.ConflictsUnasked)
        out << "The run was cancelled: conflicts need an answer and there is no terminal to ask on. Pass "
               "--conflicts=skip|usb|computer|newest to settle them.\n";
    else if (!cancelled && logged + skipped + outcome.ErrorEvents == 0)
        out << (launch.PreviousLastUpdate != 0
                    ? "Nothing changed since the last run: both sides are in step.\n"
                    : "Nothing to sync: both sides are in step.\n");
    out << "Copied " << totals.Copied << ", deleted " << totals.Removed << ", skipped " << skipped
        << ", failed " << outcome.FailedFiles;
    if (outcome.FailedFiles > 0)
        out << " (see the lines marked FAILED)";
    out << ".\n";
    out.flush();
}

int RunSyncJob(TCliContext &context, const QString &jobFile, TAnswering answering, int item,
               TCliObserver::TConflictAnswer conflicts)
{
    const TRunEnvironment environment = StartUp();
    const TCliObserver::TTerminal terminal = TCliObserver::DetectTerminal();
    TTerminalAsker asker(context.Err, answering.Yes, terminal.CanAsk, answering.Unattended);
    TTerminalQuestions questions(asker, environment.PcId);
    TSyncJobLauncher launcher(environment.PcId, environment.Protection, questions);
    const std::unique_ptr<TSyncLaunch> launch =
        PrepareSyncRun(launcher, asker, jobFile, environment.PcId, item);
    PrintSyncHeader(context.Out, *launch);

    TCliObserver observer(context.Out, context.Err, terminal);
    observer.SetConflictAnswer(conflicts);
    observer.SetUnattended(answering.Unattended);
    TSyncFolderThread &engine = *launch->Thread;
    const bool saved = RunAndSaveJob(engine, observer, [&] { TSyncJobLauncher::SaveStartedJob(*launch); });

    const TCliObserver::TTotals totals = observer.Totals();
    PrintSyncSummary(context.Out, *launch, totals);
    return RunExitStatus(engine.Outcome(), totals, saved);
}

} // namespace

int RunCommand(TCliContext &context)
{
    const TRunOptions options;
    QCommandLineParser parser;
    ParseCommand(parser, {RunUsage, {options.Yes, options.Unattended, options.Item, options.Conflicts}, 1, 1},
                 context.Arguments);
    if (parser.isSet(options.Yes) && parser.isSet(options.Unattended))
        throw TCliFailure{
            QStringLiteral("--yes and --unattended answer the questions differently; give one")};
    const TAnswering answering{parser.isSet(options.Yes), parser.isSet(options.Unattended)};
    const QString jobFile = JobFileFromArgument(
        parser.positionalArguments().first(), [](TJobKind) { return QString(); },
        QStringLiteral(
            "run takes a backup job (.zja), a move job (.zjm), a sync job (.zjs) or a PC-PC sync job "
            "(.zjp)"));
    const int item = ItemOption(parser, options);
    const TJobKind kind = *JobKindOfFile(jobFile);
    const bool sync = kind == TJobKind::Sync || kind == TJobKind::PCSync;
    if (!sync && (parser.isSet(options.Item) || parser.isSet(options.Conflicts)))
        throw TCliFailure{QStringLiteral("--item and --conflicts are for sync jobs; %1 is a %2 job")
                              .arg(WithNative(jobFile), kind == TJobKind::Move ? QStringLiteral("move")
                                                                               : QStringLiteral("backup"))};
    if (kind == TJobKind::Sync && parser.isSet(options.Item))
        throw TCliFailure{
            QStringLiteral("--item is for PC-PC sync jobs (.zjp); a sync job (.zjs) has no items")};
    if (!sync)
        return RunArchiveJob(context, jobFile, answering);
    const TCliObserver::TConflictAnswer conflicts =
        parser.isSet(options.Conflicts) ? ConflictAnswerOption(parser.value(options.Conflicts))
        : answering.Unattended          ? TCliObserver::TConflictAnswer::Skip
                                        : TCliObserver::TConflictAnswer::Ask;
    return RunSyncJob(context, jobFile, answering, item, conflicts);
}

} // namespace trovalo::cli
