#include "CommandLine.h"
#include "Commands.h"

#include "engine/SearchDrive.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"
#include "platform/VolumeInfo.h"

#include <algorithm>

namespace trovalo::cli {

namespace {

const QString ListUsage = QStringLiteral("trovalo-cli list DRIVE");
const QString ListHelp =
    QStringLiteral("Lists the jobs kept in the Config folder of a drive: name, kind, last run, the\n"
                   "PC ID of the computer that saved the job, and the job file in the drive-letter\n"
                   "form Trovalo stores and as a Linux path.\n"
                   "\n"
                   "DRIVE is a drive letter (E, E: or E:\\) or the folder the drive is mounted on;\n"
                   "'trovalo-cli drives' shows both. Jobs saved on another computer are marked *:\n"
                   "running them asks first.\n");
const QString OtherComputerMark = QStringLiteral(" *");

// The search reports rows through AddListItem; only its errors matter here.
class TSearchErrors : public TWorkerObserver
{
public:
    QStringList Errors;

    void OnStatuesChange(TThreadBase &, const TStatusReport &) override {}
    void OnError(TThreadBase &, const QString &statusMsg, int) override { Errors << statusMsg; }
    void OnFileProsess(TThreadBase &, double, const QString &) override {}
    void OnLog(TThreadBase &, const QString &, const QString &, const QString &, TEvent) override {}
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &, const QString &) override { return ldaAbort; }
};

// Backup, move and sync jobs carry the PC ID of the computer that saved
// them; a PC-to-PC job has one per item and an unreadable file none.
bool IsOfOtherComputer(const TAutoRunFileData &job, const QString &pcId)
{
    const std::optional<TJobKind> kind = JobKindOfFile(job.FileName);
    return kind && *kind != TJobKind::PCSync && job.FileType != QLatin1String("<Error>") &&
           IsJobOfOtherComputer(job.PCID, pcId);
}

void PrintJobs(QTextStream &out, const QList<TAutoRunFileData> &jobs, const QString &driveTitle)
{
    if (jobs.isEmpty()) {
        out << "No jobs on " << driveTitle << "\n";
        return;
    }
    const QString pcId = ComputePCID();
    bool anyOther = false;
    QList<QStringList> rows = {{QStringLiteral("Name"), QStringLiteral("Kind"), QStringLiteral("Last run"),
                                QStringLiteral("PC ID"), QStringLiteral("Job file"),
                                QStringLiteral("Linux path")}};
    for (const TAutoRunFileData &job : jobs) {
        const bool other = IsOfOtherComputer(job, pcId);
        anyOther = anyOther || other;
        rows.append({job.Name.isEmpty() ? QStringLiteral("(no name)") : job.Name, job.FileType, job.LastSync,
                     (job.PCID.isEmpty() ? QStringLiteral("(none)") : job.PCID) +
                         (other ? OtherComputerMark : QString()),
                     job.FileName, ToNativePath(job.FileName).value_or(QStringLiteral("?"))});
    }
    out << "Jobs on " << driveTitle << ":\n";
    PrintTable(out, rows);
    if (anyOther)
        out << "\n* saved on another computer (this one is "
            << (pcId.isEmpty() ? QStringLiteral("unknown") : pcId) << "): running it asks first\n";
}

} // namespace

int ListCommand(TCliContext &context)
{
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help"));
    QCommandLineParser parser;
    ParseCommand(parser, {ListUsage, {help}, 0, 1}, context.Arguments);
    if (parser.isSet(help)) {
        context.Out << "Usage: " << ListUsage << "\n\n" << ListHelp;
        return ExitOk;
    }
    if (parser.positionalArguments().isEmpty())
        throw TCliFailure{QStringLiteral("missing argument\nUsage: ") + ListUsage};
    const TDriveInfo drive = NamedDrive(parser.positionalArguments().first(), ListUsage);

    QList<TAutoRunFileData> jobs;
    TSearchErrors errors;
    TSearchDrive search;
    search.SetDrive(drive.LetterRoot());
    search.SetObserver(&errors);
    search.SetAddListItem([&jobs](TThreadBase &, TAutoRunFileData &job) { jobs.append(job); });
    search.RunSynchronously();

    // The folder gives no order; file names start with the kind and the
    // creation time.
    std::sort(jobs.begin(), jobs.end(), [](const TAutoRunFileData &a, const TAutoRunFileData &b) {
        return a.FileName.compare(b.FileName, Qt::CaseInsensitive) < 0;
    });
    // A Config folder that cannot be read is no proof that there are no jobs.
    if (!jobs.isEmpty() || errors.Errors.isEmpty())
        PrintJobs(context.Out, jobs, QStringLiteral("%1 (%2)").arg(drive.LetterRoot(), drive.Root));
    if (!errors.Errors.isEmpty()) {
        context.Out.flush();
        for (const QString &error : errors.Errors)
            context.Err << "trovalo-cli list: " << error << "\n";
        return ExitErrors;
    }
    return ExitOk;
}

} // namespace trovalo::cli
