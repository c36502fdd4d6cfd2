#include "CommandLine.h"
#include "Commands.h"
#include "EngineRun.h"

#include "base/Exceptions.h"
#include "control/ArchiveJobLauncher.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"
#include "platform/VolumeInfo.h"

#include <algorithm>

namespace trovalo::cli {

namespace {

const QString RunsUsage = QStringLiteral("trovalo-cli runs JOBFILE");
const QString RunsHelp =
    QStringLiteral("Lists the runs of a backup job that can be restored, oldest first, as the restore\n"
                   "wizard shows them: the number 'trovalo-cli restore --run N' takes, the date and\n"
                   "time of the run, its archive folder as the job's database keeps it, the kind of\n"
                   "backup, its status, and the folder where the run is now (found again on the\n"
                   "job's drive after a change of drive letter). Runs whose folder is gone are not\n"
                   "listed.\n");

QString RestoreRefusal(TJobKind kind)
{
    switch (kind) {
    case TJobKind::Backup:
        return QString();
    case TJobKind::Move:
        return QStringLiteral("move jobs are not restored; runs and restore take a backup job (.zja)");
    case TJobKind::Sync:
    case TJobKind::PCSync:
        break;
    }
    return QStringLiteral("sync jobs keep no backup runs; runs and restore take a backup job (.zja)");
}

QString Shown(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

void PrintTable(QTextStream &out, const QList<QStringList> &rows)
{
    if (rows.isEmpty())
        return;
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c + 1 < row.size(); ++c)
            line += row[c].leftJustified(widths[c]) + QStringLiteral("  ");
        out << line + row.last() << "\n";
    }
}

QString LoadBackupJob(const QString &argument, TArchiveData &job)
{
    const QString jobFile = JobFileFromArgument(argument, RestoreRefusal,
                                                QStringLiteral("runs and restore take a backup job (.zja)"));
    try {
        TArchiveJobLauncher::LoadJob(job, jobFile);
    } catch (const EUserException &error) {
        throw TCliFailure{error.Message()};
    } catch (const EFileError &error) {
        throw TCliFailure{error.Message()};
    }
    if (ArchiveJobKind(job) != TJobKind::Backup)
        throw TCliFailure{QStringLiteral("%1: %2").arg(WithNative(jobFile), RestoreRefusal(TJobKind::Move))};
    return jobFile;
}

std::optional<QList<TRestorableRun>> RestorableRunsOf(const QString &jobFile)
{
    try {
        return TRestoreLauncher::RestorableRuns(jobFile);
    } catch (const EDatabaseError &error) {
        throw TCliFailure{QStringLiteral("the job's database cannot be read: %1").arg(error.Message()),
                          ExitErrors};
    } catch (const EFileError &) {
        return std::nullopt;
    }
}

int RunsCommand(TCliContext &context)
{
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help"));
    QCommandLineParser parser;
    ParseCommand(parser, {RunsUsage, {help}, 0, 1}, context.Arguments);
    if (parser.isSet(help)) {
        context.Out << "Usage: " << RunsUsage << "\n\n" << RunsHelp;
        return ExitOk;
    }
    if (parser.positionalArguments().isEmpty())
        throw TCliFailure{QStringLiteral("missing argument\nUsage: ") + RunsUsage};

    TArchiveData job;
    const QString jobFile = LoadBackupJob(parser.positionalArguments().first(), job);
    QTextStream &out = context.Out;
    out << "Backup job "
        << (job.BackupName().isEmpty() ? QStringLiteral("(no name)") : "\"" + job.BackupName() + "\"") << " ("
        << JobKindCaption(TJobKind::Backup, job.ArchiveDir()) << ", "
        << (job.ArchiveType() == atImage ? "zip archives" : "plain copies") << ")\n"
        << "  job file: " << WithNative(jobFile) << "\n";
    if (IsJobOfOtherComputer(job.PCID(), ComputePCID()))
        out << "  saved on another computer: restoring it asks first\n";

    const std::optional<QList<TRestorableRun>> runs = RestorableRunsOf(jobFile);
    if (!runs) {
        out << NoBackupDataText << "\n(The job has not run yet: it has no job database.)\n";
        return ExitOk;
    }
    if (runs->isEmpty()) {
        out << "No restorable runs: the folder of every run of this job is gone.\n";
        return ExitOk;
    }
    QList<QStringList> rows = {{QStringLiteral("#"), QStringLiteral("Date / Time"),
                                QStringLiteral("Archive Folder"), QStringLiteral("Last Backup Action"),
                                QStringLiteral("Status"), QStringLiteral("Folder now")}};
    int number = 0;
    for (const TRestorableRun &run : *runs)
        rows.append({QString::number(++number), run.DateTimeText, run.ArchiveFolder, Shown(run.Format),
                     Shown(run.Status), WithNative(run.Folder)});
    out << "\n";
    PrintTable(out, rows);
    return ExitOk;
}

} // namespace trovalo::cli
