#include "engine/SearchDrive.h"

#include "base/DateTimeText.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "model/ZlibContainer.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/FolderListing.h"

#include <QFile>

#include <cerrno>
#include <exception>
#include <vector>

namespace trovalo {

namespace {

const QString ErrorLoadingData = QStringLiteral("<Error Loading Data>");
const QString NotApplicable = QStringLiteral("<N/A>");

// Lowers the live-worker count when the search ends, however it ends: the
// search has no progress panel that would do it.
struct TLiveWorkerRelease
{
    TLiveWorkerRelease() = default;
    TLiveWorkerRelease(const TLiveWorkerRelease &) = delete;
    TLiveWorkerRelease &operator=(const TLiveWorkerRelease &) = delete;
    ~TLiveWorkerRelease() { TThreadBase::ReleaseLiveWorker(); }
};

// Reads a job file into Job, raising for anything that is not a readable
// container of that record. LoadFromFile keeps the defaults of a damaged
// record instead, which would list a broken file as an unnamed job.
void LoadJobStrictly(TSaveLoadComponent &job, const QString &fileName)
{
    QFile file(NativePath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open \"%1\": %2").arg(fileName, file.errorString()));
    // A container larger than its inflated limit cannot be a record.
    job.ReadObjectStream(InflateContainer(file.read(MaxInflatedSize + 1)));
}

TAutoRunFileData ReadArchiveJob(const QString &fileName, TJobKind kind)
{
    TArchiveData job;
    LoadJobStrictly(job, fileName);
    // The extension decides between backup and move; the direction only
    // chooses the caption.
    return {job.BackupName(),
            fileName,
            DateTimeText(job.LastUpdate()),
            job.PCID(),
            JobKindCaption(kind, job.ArchiveDir()),
            QString()};
}

TAutoRunFileData ReadSyncJob(const QString &fileName)
{
    TSyncData job;
    LoadJobStrictly(job, fileName);
    return {
        job.SyncName(), fileName, DateTimeText(job.LastUpdate()), job.PCID(), JobKindCaption(TJobKind::Sync),
        QString()};
}

TAutoRunFileData ReadPCSyncJob(const QString &fileName)
{
    TPCSyncData job;
    LoadJobStrictly(job, fileName);
    // Run and computer belong to the items, one per computer.
    return {job.SyncName(), fileName, NotApplicable, NotApplicable, JobKindCaption(TJobKind::PCSync),
            QString()};
}

} // namespace

TAutoRunFileData TSearchDrive::ReadJobFile(const QString &fileName)
{
    try {
        if (const std::optional<TJobKind> kind = JobKindOfFile(fileName)) {
            switch (*kind) {
            case TJobKind::Backup:
            case TJobKind::Move:
                return ReadArchiveJob(fileName, *kind);
            case TJobKind::Sync:
                return ReadSyncJob(fileName);
            case TJobKind::PCSync:
                return ReadPCSyncJob(fileName);
            }
        }
    } catch (const ETrovaloError &) {
        // Listed as unreadable below.
    }
    return {ErrorLoadingData,          fileName, ErrorLoadingData, ErrorLoadingData,
            QStringLiteral("<Error>"), QString()};
}

void TSearchDrive::Execute()
{
    const TLiveWorkerRelease release;
    auto reportFailure = [this](const QString &message) {
        Sta = QStringLiteral("Thread Error : Class = TThreadBase : ") + message;
        ErrorCode = -1;
        ReportError();
    };
    try {
        BaseStart();
        PbarPosition = -1;
        StatuesInfo = QStringLiteral("Prepareing... ");
        ReportStatus();
        SearchFolder(IncludeTrailingBackslash(FDrive) + QStringLiteral("Config\\"));
        ReachEnd();
    } catch (const ETrovaloError &error) {
        reportFailure(error.Message());
    } catch (const std::exception &error) {
        reportFailure(QString::fromLocal8Bit(error.what()));
    }
}

void TSearchDrive::SearchFolder(const QString &path)
{
    StatuesInfo = QStringLiteral(" Searching...") + path;
    ReportStatus();

    std::vector<TFolderEntry> entries;
    int error = 0;
    if (!ListFolder(path, entries, &error)) {
        // No "Config" folder: a drive without jobs. A folder that exists but
        // cannot be read must not pass for an empty one.
        if (error == ENOENT || error == ENOTDIR)
            return;
        throw EFileError(
            QStringLiteral("Cannot read the folder \"%1\": %2").arg(path, SystemErrorText(error)));
    }
    for (const TFolderEntry &entry : entries) {
        if (Terminated())
            break;
        // A name holding "\" has no drive-letter form; joined to the path it
        // would name a file in a sub-folder instead.
        if (!entry.IsFile() || entry.Name.startsWith(QLatin1Char('.')) ||
            entry.Name.contains(QLatin1Char('\\')))
            continue;
        if (JobKindOfFile(entry.Name))
            AddJobFile(path + entry.Name);
    }
}

void TSearchDrive::AddJobFile(const QString &fileName)
{
    if (!FAddListItem)
        return;
    TAutoRunFileData data = ReadJobFile(fileName);
    FAddListItem(*this, data);
}

} // namespace trovalo
