#include "CliObserver.h"
#include "CommandLine.h"
#include "Commands.h"
#include "EngineRun.h"
#include "Terminal.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/RestoreLauncher.h"
#include "engine/BackUpThreadBase.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"
#include "platform/JobRunLock.h"
#include "platform/VolumeInfo.h"

namespace trovalo::cli {

namespace {

const QString RestoreUsage =
    QStringLiteral("trovalo-cli restore JOBFILE [--run N] [--item PATH ...] [--to FOLDER]\n"
                   "         [--password-file FILE] [--yes]");
const QString RestoreHelp =
    QStringLiteral("Puts back the files of one run of a backup job ('trovalo-cli runs JOBFILE' lists\n"
                   "them): the latest run unless --run N says which. Without --item the whole run is\n"
                   "restored; --item names a folder or file of the run, relative to its folder as\n"
                   "the restore wizard shows it (C\\Users\\Ann\\Docs, C.Zip\\Users\\Ann\\a.txt). Files go\n"
                   "back to their former places, or below --to FOLDER. Existing files are\n"
                   "overwritten, so the restore asks first unless --yes is given. The password of a\n"
                   "zip backup comes from --password-file (its first line) or is asked for on the\n"
                   "terminal.\n");
const QString ForeignBackupQuestion = QStringLiteral("You have selected backup settings that belong to a "
                                                     "deferent pc. Continue using this settings might cause "
                                                     "data corruption. Do you want to Continue?");
const QString RestoreQuestion = QStringLiteral(
    "Are you sure you want to continue with restore process?  Some files will be overwritten.");

struct TRestoreSyntax
{
    QCommandLineOption Run{QStringLiteral("run"),
                           QStringLiteral("the run to restore, as 'runs' numbers them"), QStringLiteral("N")};
    QCommandLineOption Item{QStringLiteral("item"), QStringLiteral("a folder or file of the run to restore"),
                            QStringLiteral("PATH")};
    QCommandLineOption To{QStringLiteral("to"), QStringLiteral("restore below this folder"),
                          QStringLiteral("FOLDER")};
    QCommandLineOption PasswordFile{QStringLiteral("password-file"),
                                    QStringLiteral("the zip password on the file's first line"),
                                    QStringLiteral("FILE")};
    QCommandLineOption Yes{QStringLiteral("yes"), QStringLiteral("answer Yes to the questions")};
    QCommandLineOption Help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show this help")};
};

// Refusals because nobody could be asked end with status 2 like a No.
[[noreturn]] void Declined(const TTerminalAsker &asker, const QString &what)
{
    if (asker.Unasked())
        throw TCliFailure{
            QStringLiteral("there is no terminal to answer on; pass --yes to answer Yes and %1").arg(what),
            ExitCancelled};
    throw TCliFailure{QStringLiteral("nothing was restored"), ExitCancelled};
}

// The index of the run to restore: --run N (1 = oldest), else the latest.
qsizetype ChosenRun(const QList<TRestorableRun> &runs, const QCommandLineParser &parser,
                    const TRestoreSyntax &syntax)
{
    if (!parser.isSet(syntax.Run))
        return runs.size() - 1;
    bool ok = false;
    const int number = parser.value(syntax.Run).toInt(&ok);
    if (!ok || number < 1 || number > runs.size())
        throw TCliFailure{QStringLiteral("--run: '%1' is no run of this job; it has %2 restorable run(s), "
                                         "numbered 1 to %2 by 'trovalo-cli runs'")
                              .arg(parser.value(syntax.Run))
                              .arg(runs.size())};
    return number - 1;
}

// An item as typed: relative to the run folder, or a full path (either
// form) inside it.
QString ItemOfRun(const QString &value, const TRestorableRun &run)
{
    const bool absolute = value.startsWith(QLatin1Char('/')) || value.startsWith(QLatin1String("\\\\")) ||
                          (value.size() >= 2 && value.at(1) == QLatin1Char(':'));
    if (!absolute)
        return value;
    QString path;
    try {
        path = LetterPathFromUserInput(value);
    } catch (const EPathError &error) {
        throw TCliFailure{QStringLiteral("--item: %1").arg(error.Message())};
    }
    const QString folder = IncludeTrailingBackslash(run.Folder);
    if (!path.startsWith(folder, Qt::CaseInsensitive) || path.size() <= folder.size())
        throw TCliFailure{QStringLiteral("--item: %1 is not inside the run's folder %2").arg(path, folder)};
    return path.mid(folder.size());
}

// The zip password: from the file, or asked without echo when the job
// stores one or the archives are encrypted. A job that stores one takes
// only that one, as the restore wizard does.
QString ZipPassword(const TArchiveData &job, const TRestorableRun &run, const QCommandLineParser &parser,
                    const TRestoreSyntax &syntax, bool canAsk, QTextStream &err)
{
    QString password;
    if (parser.isSet(syntax.PasswordFile)) {
        password = ReadFirstLine(parser.value(syntax.PasswordFile));
    } else if (!job.Password().isEmpty() || TRestoreLauncher::HasEncryptedArchives(run)) {
        std::optional<QString> answer;
        if (canAsk) {
            err << "\nPassword ?\nEnter password for the archive.\n";
            err.flush();
            answer = ReadSecret(QStringLiteral("Password: "));
        }
        if (!answer)
            throw TCliFailure{
                QStringLiteral("the backup is encrypted and there is no terminal to ask for its "
                               "password on; give --password-file FILE")};
        password = *answer;
    }
    if (!job.Password().isEmpty() && password != job.Password())
        throw TCliFailure{
            QStringLiteral("the password is not the one of this backup job; nothing was restored")};
    return password;
}

void PrintRestoreHeader(QTextStream &out, const TArchiveData &job, const QString &jobFile,
                        const QList<TRestorableRun> &runs, qsizetype runIndex,
                        const TRestoreSelection &selection)
{
    const TRestorableRun &run = runs.at(runIndex);
    out << "Restoring the backup job";
    if (!job.BackupName().isEmpty())
        out << " \"" << job.BackupName() << "\"";
    out << " (" << JobKindCaption(TJobKind::Backup, job.ArchiveDir()) << ")\n"
        << "  job file: " << WithNative(jobFile) << "\n"
        << "  run:      " << runIndex + 1 << " of " << runs.size() << ", " << run.DateTimeText << ", "
        << (run.Status.isEmpty() ? QStringLiteral("-") : run.Status) << "\n"
        << "  from:     " << WithNative(run.Folder) << "\n"
        << "  restore:  "
        << (selection.Items.isEmpty() ? QStringLiteral("the whole run")
                                      : selection.Items.join(QStringLiteral(", ")))
        << "\n"
        << "  to:       "
        << (selection.RestoreDir.isEmpty() ? QStringLiteral("the former places")
                                           : WithNative(IncludeTrailingBackslash(selection.RestoreDir)))
        << "\n";
    out.flush();
}

void PrintRestoreSummary(QTextStream &out, const TThreadBase &engine, const TCliObserver::TTotals &totals)
{
    const bool cancelled = engine.Outcome().Cancelled();
    PrintCompletion(out,
                    cancelled ? QStringLiteral("Restore file operation Cancled !")
                              : QStringLiteral("Restore file operation completed !"),
                    engine.Outcome(), totals);
    if (totals.AbortedUnasked)
        out << "The restore was stopped: the drive is short of space and there was no terminal to ask on.\n";
    if (cancelled) {
        out << "Cancelled: " << totals.Copied << " file(s) had been restored.\n";
    } else {
        out << "Restored " << totals.Copied << " file(s)";
        if (engine.Outcome().FailedFiles > 0)
            out << ", " << engine.Outcome().FailedFiles << " FAILED (see the lines marked FAILED)";
        out << ".\n";
    }
    out.flush();
}

} // namespace

int RestoreCommand(TCliContext &context)
{
    const TRestoreSyntax syntax;
    QCommandLineParser parser;
    ParseCommand(parser,
                 {RestoreUsage,
                  {syntax.Run, syntax.Item, syntax.To, syntax.PasswordFile, syntax.Yes, syntax.Help},
                  0,
                  1},
                 context.Arguments);
    if (parser.isSet(syntax.Help)) {
        context.Out << "Usage: " << RestoreUsage << "\n\n" << RestoreHelp;
        return ExitOk;
    }
    if (parser.positionalArguments().isEmpty())
        throw TCliFailure{QStringLiteral("missing argument\nUsage: ") + RestoreUsage};

    TArchiveData job;
    const QString jobFile = LoadBackupJob(parser.positionalArguments().first(), job);
    // Held to the end of the command: a restore reads what a run of the job
    // writes, so neither starts while the other goes on.
    TJobRunLock runLock;
    try {
        runLock = TJobRunLock::Take(job.FileGUID(), jobFile);
    } catch (const EUserException &error) {
        throw TCliFailure{error.Message()};
    }
    if (parser.isSet(syntax.PasswordFile) && job.ArchiveType() != atImage)
        throw TCliFailure{QStringLiteral("--password-file: the job keeps plain copies; only zip backups "
                                         "have a password")};
    TRestoreSelection selection;
    if (parser.isSet(syntax.To)) {
        try {
            selection.RestoreDir = LetterPathFromUserInput(parser.value(syntax.To));
        } catch (const EPathError &error) {
            throw TCliFailure{QStringLiteral("--to: %1").arg(error.Message())};
        }
    }

    const TCliObserver::TTerminal terminal = TCliObserver::DetectTerminal();
    TTerminalAsker asker(context.Err, parser.isSet(syntax.Yes), terminal.CanAsk);
    const QString pcId = ComputePCID();
    if (IsJobOfOtherComputer(job.PCID(), pcId) &&
        !asker.Ask(QStringLiteral("Load Backup"), ForeignBackupQuestion,
                   {ForeignJobDetail(job.PCID(), pcId)}))
        Declined(asker, QStringLiteral("use the job"));

    const std::optional<QList<TRestorableRun>> runs = RestorableRunsOf(jobFile);
    if (!runs)
        throw TCliFailure{NoBackupDataText +
                          QStringLiteral("\n(The job has not run yet: it has no job database.)")};
    if (runs->isEmpty())
        throw TCliFailure{QStringLiteral("nothing to restore: the folder of every run of this job is gone")};
    const qsizetype runIndex = ChosenRun(*runs, parser, syntax);
    const TRestorableRun &run = runs->at(runIndex);
    for (const QString &item : parser.values(syntax.Item))
        selection.Items << ItemOfRun(item, run);
    if (job.ArchiveType() == atImage)
        selection.Password = ZipPassword(job, run, parser, syntax, terminal.CanAsk, context.Err);

    std::unique_ptr<TRestoreThreadBase> engine;
    try {
        engine = TRestoreLauncher::Prepare(job, run, selection);
    } catch (const EUserException &error) {
        throw TCliFailure{error.Message()};
    }
    PrintRestoreHeader(context.Out, job, jobFile, *runs, runIndex, selection);
    if (!asker.Ask(QStringLiteral("Continue with restore ?"), RestoreQuestion)) {
        TThreadBase::ReleaseLiveWorker();
        Declined(asker, QStringLiteral("restore"));
    }

    TCliObserver observer(context.Out, context.Err, terminal);
    RunEngine(*engine, observer);
    const TCliObserver::TTotals totals = observer.Totals();
    PrintRestoreSummary(context.Out, *engine, totals);
    return RunExitStatus(engine->Outcome(), totals);
}

} // namespace trovalo::cli
