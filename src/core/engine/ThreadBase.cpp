#include "engine/ThreadBase.h"

#include "base/Exceptions.h"
#include "base/Logging.h"
#include "base/PathText.h"
#include "base/SizeText.h"
#include "db/ProgramDatabase.h"
#include "engine/TargetFolder.h"
#include "model/FileFilter.h"
#include "platform/DriveTable.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"
#include "platform/TempFile.h"

#include <QFile>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace trovalo {

namespace {

std::atomic<int> liveWorkers{0};

constexpr double SecondsPerDay = 86400.0;

// The local time for elapsed-time figures, read from the system at most once
// a second and carried forward by the monotonic clock in between: a status
// is reported for every folder and file, and each local-time reading
// re-examines the time zone.
TDateTime RecentNow()
{
    thread_local TDateTime base = 0;
    thread_local QElapsedTimer sinceBase;
    if (!sinceBase.isValid() || sinceBase.elapsed() >= 1000) {
        base = DateTimeNow();
        sinceBase.start();
        return base;
    }
    return base + double(sinceBase.nsecsElapsed()) / 1e9 / SecondsPerDay;
}

// Attributes that can stand in the way of replacing or deleting a file.
constexpr quint32 ClearableAttributes =
    faReadOnly | faHidden | faSysFile | faArchive | faTemporary | faNotContentIndexed;

void EnsureFolder(const QString &folder)
{
    if (!DirectoryExists(folder))
        ForceFolder(folder);
}

// What changes when a file is written to or replaced.
struct TFileState
{
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    struct timespec Modified = {};

    bool operator==(const TFileState &other) const
    {
        return Device == other.Device && Inode == other.Inode && Size == other.Size &&
               Modified.tv_sec == other.Modified.tv_sec && Modified.tv_nsec == other.Modified.tv_nsec;
    }
};

std::optional<TFileState> StateOf(const QString &letterPath)
{
    const std::optional<struct stat> info = StatOf(letterPath);
    if (!info)
        return std::nullopt;
    return TFileState{info->st_dev, info->st_ino, info->st_size, info->st_mtim};
}

// What a failed file operation's log row says.
QString FailureText(int error)
{
    return error != 0 ? SystemErrorText(error) : QStringLiteral("Skiped");
}

// A failed or skipped file operation, with the system's message.
void LogNotDone(const QString &action, const QString &fileName, const QString &info)
{
    qCWarning(LogEngine).noquote()
        << QStringLiteral("%1 not done: %2: %3").arg(action.trimmed(), WithNative(fileName), info);
}

} // namespace

TThreadBase::TThreadBase(QObject *parent)
    : QThread(parent)
    , FFileFilter(std::make_unique<TFileFilter>())
{
    liveWorkers.fetch_add(1);
}

TThreadBase::~TThreadBase() = default;

int TThreadBase::LiveWorkerCount()
{
    return liveWorkers.load();
}

void TThreadBase::ReleaseLiveWorker()
{
    liveWorkers.fetch_sub(1);
}

void TThreadBase::SetFreeOnTerminate(bool value)
{
    if (value && !FFreeOnTerminate) {
        FFreeOnTerminate = connect(this, &QThread::finished, this, &QObject::deleteLater);
    } else if (!value && FFreeOnTerminate) {
        disconnect(FFreeOnTerminate);
        FFreeOnTerminate = {};
    }
}

void TThreadBase::SetFileFilter(const TFileFilter &filter)
{
    FFileFilter->Assign(&filter);
}

void TThreadBase::RequestStop()
{
    FStop.store(true, std::memory_order_relaxed);
}

void TThreadBase::RunSynchronously()
{
    RunBody();
}

void TThreadBase::run()
{
    RunBody();
}

void TThreadBase::RunBody()
{
    // The engines catch what they expect; this only keeps an unexpected
    // failure from ending the whole program or passing for success.
    const QString engine = QString::fromLatin1(metaObject()->className()).section(QLatin1Char(':'), -1);
    const auto reportUncaught = [this, &engine](const QString &message) {
        Sta = QStringLiteral("Thread Error : Class = ") + engine + QStringLiteral(" : ") + message;
        ErrorCode = -1;
        ReportError();
    };
    const QString job = FJobTitle.isEmpty() ? engine : engine + QLatin1Char(' ') + FJobTitle;
    qCInfo(LogEngine).noquote() << "Run started:" << job;
    try {
        Execute();
    } catch (const ETrovaloError &error) {
        reportUncaught(error.Message());
    } catch (const std::exception &error) {
        reportUncaught(QString::fromLocal8Bit(error.what()));
    }
    FOutcome = EndOutcome();
    qCInfo(LogEngine).noquote() << QStringLiteral("Run ended: %1: %2; %3 files done, %4 failed, %5 errors")
                                       .arg(job, RunEndText(FOutcome.End))
                                       .arg(FOutcome.FilesDone)
                                       .arg(FOutcome.FailedFiles)
                                       .arg(FOutcome.ErrorEvents);
    if (FObserver)
        FObserver->OnFinished(*this, FOutcome);
}

QString RunEndText(TRunEnd end)
{
    switch (end) {
    case TRunEnd::Finished:
        return QStringLiteral("finished");
    case TRunEnd::CancelledByUser:
        return QStringLiteral("cancelled");
    case TRunEnd::AbortedLowDisk:
        return QStringLiteral("stopped by Abort for want of disk space");
    case TRunEnd::ThreadError:
        return QStringLiteral("stopped by an error");
    }
    return QString();
}

TRunOutcome TThreadBase::EndOutcome() const
{
    TRunOutcome outcome = FOutcome;
    outcome.FilesDone = GetProcessedFiles();
    const bool stopped = FEndedStopped.value_or(Terminated());
    if (stopped)
        outcome.End = FStoppedForLowDisk ? TRunEnd::AbortedLowDisk : TRunEnd::CancelledByUser;
    else
        outcome.End = FEndedStopped ? TRunEnd::Finished : TRunEnd::ThreadError;
    return outcome;
}

QString TThreadBase::ReachEnd(const QString &finishedText, const QString &cancelledText)
{
    FEndedStopped = Terminated();
    return *FEndedStopped ? cancelledText : finishedText;
}

void TThreadBase::BaseStart()
{
    FStartTime = DateTimeNow();
    FProtecting = FProtection.Enabled && !IsRestoreThread();
    if (FProtecting) {
        try {
            FDeleteLog = std::make_unique<TProgramDatabase>(FProtection.ProgramDatabaseNative);
        } catch (const ETrovaloError &error) {
            ReportDeleteLogFailure(error.Message());
        } catch (const std::exception &error) {
            ReportDeleteLogFailure(QString::fromLocal8Bit(error.what()));
        }
    }
    if (Terminated()) {
        StatuesInfo = QStringLiteral("Canceled :(");
        ReportStatus();
    }
}

void TThreadBase::ReportDeleteLogFailure(const QString &message)
{
    // Files are still moved aside, so nothing is lost; only their rows in
    // the deleted-files log are missing.
    Sta = QStringLiteral("Thread Error : Class = TThreadBase : ") + message;
    ErrorCode = -1;
    ReportError();
}

void TThreadBase::StartClock()
{
    ProcessStartTime = DateTimeNow();
    FClockBase = ProcessStartTime;
    PbarPosition = 0;
    FProcessClock.restart();
}

void TThreadBase::ReportStatus()
{
    if (!FObserver)
        return;
    TStatusReport report;
    report.StatusMsg = StatuesInfo;
    // rint rounds halves to even in the default rounding mode.
    report.ProgressBarPosition =
        FileNum != 0 ? int(std::rint(double(PbarPosition) * 100.0 / double(FileNum))) : -1;
    report.ProcessedItems = PbarPosition;
    report.ItemCount = FileNum;
    report.BytesTotal = FileSize;
    report.BytesProcessed = FileSizeProcessed;
    if (FProcessClock.isValid() && ProcessStartTime == FClockBase && ProcessStartTime != 0)
        report.ElapsedSeconds = double(FProcessClock.nsecsElapsed()) / 1e9;
    else
        report.ElapsedSeconds = std::abs(RecentNow() - ProcessStartTime) * SecondsPerDay;
    FObserver->OnStatuesChange(*this, report);
}

void TThreadBase::ReportError()
{
    ++FOutcome.ErrorEvents;
    qCWarning(LogEngine).noquote() << QStringLiteral("%1 (code %2)").arg(Sta).arg(ErrorCode);
    if (FObserver)
        FObserver->OnError(*this, Sta, ErrorCode);
}

void TThreadBase::ReportFileProgress()
{
    if (FObserver)
        FObserver->OnFileProsess(*this, FilePercentage, FileOperation);
}

void TThreadBase::SweepLeftover(const QString &path)
{
    const std::optional<qint64> size = RemoveLeftover(path);
    if (!size)
        return;
    ++FOutcome.LeftoversRemoved;
    FOutcome.LeftoverBytes += *size;
    LogEventFileName = path;
    LogEventAction = QStringLiteral("Remove Leftover");
    LogEvent = eSuccess;
    LogEventInfo = QStringLiteral("Removed leftover of an interrupted run (%1)").arg(SizeText(*size));
    ReportLog();
}

void TThreadBase::SweepLeftovers(const QString &folder, const QStringList &names)
{
    for (const QString &name : names)
        SweepLeftover(IncludeTrailingBackslash(folder) + name);
}

void TThreadBase::SweepFolderOnce(const QString &folder)
{
    if (FSweptFolders.contains(folder))
        return;
    FSweptFolders.insert(folder);
    // Names are all it needs: no file is examined.
    TTargetFolder names(folder);
    SweepLeftovers(folder, names.Leftovers());
}

void TThreadBase::LogSkipped(const QString &fileName, const QString &action, const QString &info)
{
    LogEventFileName = fileName;
    LogEventAction = action;
    LogEvent = eFailedorSkip;
    LogEventInfo = info;
    ReportLog();
}

void TThreadBase::ReportLog()
{
    // Every engine reports a failed or skipped file operation here.
    if (LogEvent == eFailedorSkip) {
        ++FOutcome.FailedFiles;
        LogNotDone(LogEventAction, LogEventFileName, LogEventInfo);
    }
    if (FObserver)
        FObserver->OnLog(*this, LogEventFileName, LogEventAction, LogEventInfo, LogEvent);
}

void TThreadBase::SetLogResult(bool succeeded)
{
    if (succeeded) {
        LogEvent = eSuccess;
        LogEventInfo = QStringLiteral("Done");
    } else {
        LogEvent = eFailedorSkip;
        LogEventInfo = FLastErrorText.isEmpty() || LastError == 0 ? FailureText(LastError) : FLastErrorText;
    }
    FLastErrorText.clear();
}

bool TThreadBase::CopyProgress(const TCopyProgress &progress)
{
    FilePercentage = progress.Total != 0 ? double(progress.Done) * 100.0 / double(progress.Total) : 0;
    ReportFileProgress();
    return !Terminated();
}

TProgressCallback TThreadBase::ProgressCallback()
{
    return [this](const TCopyProgress &progress) { return CopyProgress(progress); };
}

bool TThreadBase::FailWith(int error)
{
    LastError = error;
    FLastErrorText.clear();
    return false;
}

bool TThreadBase::FailWith(const TFileOpResult &result)
{
    FailWith(result.Errno);
    FLastErrorText = result.Message;
    return false;
}

bool TThreadBase::CopyOneFile(const QString &source, const QString &target, bool failIfExists,
                              bool moveSource, const TFolderEntry *sourceEntry, bool targetAbsent)
{
    FailWith(0);
    const QString name = ExtractFileName(source);
    const QString targetFolder = ExtractFilePath(target);
    // Every copy carries the source's modification time cut to two seconds:
    // its file date (for any file written after 1899).
    const auto copy = [&](TCopyMode mode, TCopyDurability durability) {
        EnsureTargetFolder(targetFolder);
        TFileOpResult result =
            CopyFileChunked(source, target, mode, ProgressCallback(), durability, TCopyTimes::DosPrecision);
        if (!result.Ok && result.Errno == ENOENT && !DirectoryExists(targetFolder)) {
            // The folder went away during the run (it is remembered as made).
            ForceFolder(targetFolder);
            result = CopyFileChunked(source, target, mode, ProgressCallback(), durability,
                                     TCopyTimes::DosPrecision);
        }
        return result;
    };

    if (failIfExists) {
        FileOperation = QStringLiteral("Copying File: ") + name;
        const TFileOpResult copied = copy(TCopyMode::FailIfExists, TCopyDurability::WhenReplacing);
        if (copied.Ok)
            return true;
        // Also when the target was already there: it then carries the date
        // of the source it stands for.
        const TDateTime sourceDate = sourceEntry ? sourceEntry->Date : FileDate(source).value_or(0);
        if (sourceDate != 0)
            SetFileModificationTime(target, sourceDate);
        return FailWith(copied);
    }

    const std::optional<quint32> oldAttributes = targetAbsent ? std::nullopt : GetFileAttributes(target);
    const quint32 attributes = oldAttributes.value_or(0);
    if (attributes & faDirectory)
        return FailWith(EISDIR);
    const bool targetExists = oldAttributes.has_value();
    const auto restoreAttributes = [&] {
        if (attributes & ClearableAttributes)
            SetFileAttributes(target, attributes);
    };
    if (attributes & ClearableAttributes)
        SetFileAttributes(target, 0);

    // The old file is moved aside first and comes back if the new copy
    // fails; its row is written only once the new copy is in place.
    QString protectedPath;
    qint64 protectedSize = -1;
    if (FProtecting && targetExists) {
        protectedPath = FreeProtectedPath(target);
        EnsureFolder(ExtractFilePath(protectedPath));
        FileOperation = QStringLiteral("Moving Out Old File: ") + name;
        protectedSize = GetFileSize(target);
        if (!WaitForFreeSpace(protectedSize, protectedPath)) {
            restoreAttributes();
            return FailWith(0);
        }
        const TFileOpResult moved = MoveFile(target, protectedPath, ProgressCallback());
        if (!moved.Ok) {
            // Copying over a file that could not be saved would lose it.
            restoreAttributes();
            return FailWith(moved.Errno);
        }
        if (attributes & ClearableAttributes)
            SetFileAttributes(protectedPath, attributes);
    }
    const auto undoProtection = [&] {
        if (protectedPath.isEmpty()) {
            restoreAttributes();
        } else if (!MoveFile(protectedPath, target).Ok) {
            // It stays in the deleted-files folder: at least account for it.
            RecordDeletedFile(target, protectedPath, protectedSize);
        }
    };

    FileOperation = QStringLiteral("Copying File: ") + name;
    const qint64 sourceSize = sourceEntry ? sourceEntry->Size : GetFileSize(source);
    if (!WaitForFreeSpace(sourceSize, target)) {
        undoProtection();
        return FailWith(0);
    }
    // A source written to while it is copied holds more than its copy: it
    // is not deleted then, and the next run copies it again.
    const std::optional<TFileState> sourceBefore = moveSource ? StateOf(source) : std::nullopt;
    // A name seen free is taken without a look at it first; should it have
    // been taken meanwhile, the usual replacement follows.
    const TFileOpResult copied = copy(targetAbsent ? TCopyMode::NameSeenFree : TCopyMode::Replace,
                                      moveSource ? TCopyDurability::Always : TCopyDurability::WhenReplacing);
    if (!copied.Ok) {
        undoProtection();
        if (targetAbsent && copied.Errno == EEXIST)
            return CopyOneFile(source, target, false, moveSource, sourceEntry, false);
        return FailWith(copied);
    }
    if (!protectedPath.isEmpty())
        RecordDeletedFile(target, protectedPath, protectedSize);
    if (!moveSource)
        return true;
    if (sourceBefore && StateOf(source) == sourceBefore) {
        if (!DeleteOneFile(source))
            LogNotDone(QStringLiteral("Delete File"), source, FailureText(LastError));
    } else {
        qCInfo(LogEngine).noquote() << QStringLiteral("Not deleted, it changed while it was copied: ") +
                                           WithNative(source);
    }
    return true;
}

bool TThreadBase::DeleteOneFile(const QString &fileName)
{
    LastError = 0;
    const QString name = ExtractFileName(fileName);
    if (!FProtecting) {
        FileOperation = QStringLiteral("Deleting File: ") + name;
        FilePercentage = 0;
        ReportFileProgress();
        TFileOpResult deleted = DeleteFileChecked(fileName);
        if (!deleted.Ok && (deleted.Errno == EPERM || deleted.Errno == EACCES)) {
            // An attribute may hold it (read-only, system): cleared, and
            // once more. Most files have none, so they are not looked at.
            const std::optional<quint32> attributes = GetFileAttributes(fileName);
            if (attributes && (*attributes & ClearableAttributes)) {
                SetFileAttributes(fileName, 0);
                deleted = DeleteFileChecked(fileName);
            }
        }
        if (!deleted.Ok)
            return FailWith(deleted.Errno);
        qCInfo(LogEngine).noquote() << QStringLiteral("Deleted ") + WithNative(fileName);
        return true;
    }

    const QString protectedPath = ProtectedPath(fileName);
    EnsureFolder(ExtractFilePath(protectedPath));
    FileOperation = QStringLiteral("Moving Out Old File: ") + name;
    const qint64 size = GetFileSize(fileName);
    if (!WaitForFreeSpace(size, protectedPath))
        return FailWith(0);
    // Never replaces: a path taken earlier under the same stamp makes the
    // delete fail and the file stays.
    const TFileOpResult moved = MoveFile(fileName, protectedPath, ProgressCallback());
    if (!moved.Ok)
        return FailWith(moved.Errno);
    RecordDeletedFile(fileName, protectedPath, size);
    return true;
}

bool TThreadBase::ProtectCopyOf(const QString &fileName)
{
    LastError = 0;
    if (!FProtecting)
        return true;
    const QString protectedPath = ProtectedPath(fileName);
    EnsureFolder(ExtractFilePath(protectedPath));
    FileOperation = QStringLiteral("Copying Out Old File: ") + ExtractFileName(fileName);
    const qint64 size = GetFileSize(fileName);
    if (!WaitForFreeSpace(size, protectedPath))
        return FailWith(0);
    const TFileOpResult copied =
        CopyFileChunked(fileName, protectedPath, TCopyMode::FailIfExists, ProgressCallback(),
                        TCopyDurability::Always, TCopyTimes::Exact);
    if (!copied.Ok)
        return FailWith(copied.Errno);
    RecordDeletedFile(fileName, protectedPath, size);
    return true;
}

bool TThreadBase::WaitForFreeSpace(qint64 bytes, const QString &path)
{
    if (path.isEmpty() || !IsDriveLetter(path.at(0)))
        return true;
    const QString drive = path.left(2);
    // Measured at the path's folder: below one drive letter a folder may lie
    // on another volume. A measurement that showed room is trusted for the
    // following files of the same folder for up to a second, minus what they
    // take; a shortage is always measured afresh.
    const QString folder = ExtractFilePath(path);
    if (folder == FSpaceFolder && FSpaceClock.isValid() && FSpaceClock.elapsed() < 1000 &&
        FSpaceLeft >= bytes) {
        FSpaceLeft -= bytes;
        return true;
    }
    FSpaceFolder.clear();
    for (;;) {
        const QString measured = folder.isEmpty() ? path : folder;
        const std::optional<TDiskSpace> space = DiskSpace(measured);
        // A volume that tells nothing of its space is not waited on: when
        // it is full, the copy fails by itself and leaves nothing behind.
        const qint64 free = space                        ? space->Free
                            : ReportsDiskSpace(measured) ? -1
                                                         : std::numeric_limits<qint64>::max();
        if (free >= bytes) {
            FSpaceFolder = folder;
            FSpaceLeft = free - bytes;
            FSpaceClock.start();
            return true;
        }
        if (Terminated())
            return false;
        MSgStr = QStringLiteral("You are running low on disk space on drive \"") + drive +
                 QStringLiteral("\".Free up Space on drive or enter a new drive and try again.\r\n\r\n") +
                 QStringLiteral("File Name: ") + path + QStringLiteral("\r\nFile Size: ") + SizeText(bytes) +
                 QStringLiteral("\r\nAvailable On Disk: ") + SizeText(free);
        // Nobody to ask: this file is skipped, the run goes on.
        MSgInt = FObserver ? FObserver->AskLowDiskSpace(*this, MSgStr) : ldaSkip;
        if (MSgInt == ldaSkip)
            return false;
        if (MSgInt == ldaAbort) {
            if (!Terminated())
                FStoppedForLowDisk = true;
            RequestStop();
            return false;
        }
    }
}

void TThreadBase::EnsureTargetFolder(const QString &folder)
{
    if (folder == FLastTargetFolder)
        return;
    EnsureFolder(folder);
    FLastTargetFolder = folder;
}

QString TThreadBase::ProtectedPath(const QString &fileName) const
{
    const QString stamp = DateTimeToQt(FStartTime).toString(QStringLiteral("yyyy-MM-dd hh-mm"));
    QString replaced = fileName;
    if (replaced.contains(QLatin1String(":\\")))
        replaced.replace(QLatin1String(":\\"), QLatin1String("\\"));
    else
        replaced.replace(QLatin1String("\\\\"), QLatin1String("__"));
    return IncludeTrailingBackslash(FProtection.DeletedFolder) + QLatin1Char(' ') + stamp +
           QLatin1Char('\\') + replaced;
}

QString TThreadBase::FreeProtectedPath(const QString &fileName) const
{
    const QString first = ProtectedPath(fileName);
    if (!PathExists(first))
        return first;
    const QString folder = ExtractFilePath(first);
    const QString name = ExtractFileName(first);
    QString extension = ExtractFileExt(name);
    if (extension.size() == name.size())
        extension.clear(); // ".profile" is a name, not an extension
    const QString base = name.left(name.size() - extension.size());
    for (int number = 2;; ++number) {
        const QString candidate = folder + base + QStringLiteral(" (%1)").arg(number) + extension;
        if (!PathExists(candidate))
            return candidate;
    }
}

void TThreadBase::RecordDeletedFile(const QString &fileName, const QString &protectedPath, qint64 size)
{
    qCInfo(LogEngine).noquote() << QStringLiteral("Moved to the deleted-files folder: %1 -> %2")
                                       .arg(WithNative(fileName), WithNative(protectedPath));
    if (!FDeleteLog)
        return; // the program database could not be opened; reported at the start
    const QString deletedFolder = IncludeTrailingBackslash(FProtection.DeletedFolder);
    FDeleteLog->AddDeletedFile(protectedPath.mid(deletedFolder.size()), size);
}

void TThreadBase::DeleteFolderTree(const QString &path)
{
    std::vector<TFolderEntry> entries;
    if (!ListFolder(path, entries)) {
        RemoveDir(path);
        return;
    }
    for (const TFolderEntry &entry : entries) {
        if (Terminated())
            return;
        switch (entry.Kind) {
        case TFolderEntry::ekFolder: {
            const QString folder = path + entry.Name + QLatin1Char('\\');
            if (!IsExcludedFolder(folder)) {
                DeleteFolderTree(folder);
                ReportStatus();
            }
            break;
        }
        case TFolderEntry::ekFile:
            if (IsExcludedFile(*FFileFilter, entry.Name, path))
                break;
            try {
                StatuesInfo = QStringLiteral("Deleteing File : ") + path + entry.Name;
                ReportStatus();
                LogEventFileName = path + entry.Name;
                LogEventAction = QStringLiteral("Delete File");
                SetLogResult(DeleteOneFile(path + entry.Name));
                ReportLog();
            } catch (const std::exception &) {
                // One file that cannot be deleted does not end the clean-up.
            }
            break;
        case TFolderEntry::ekLinkToFolder:
        case TFolderEntry::ekBrokenLink:
        case TFolderEntry::ekOther:
            // Never entered and never copied: not ours to remove.
            break;
        case TFolderEntry::ekLeftover:
            SweepLeftover(path + entry.Name);
            break;
        }
    }
    // Fails while excluded or filtered items remain, which is intended.
    RemoveDir(path);
}

qint64 TThreadBase::GetFileSize(const QString &fileName)
{
    const std::optional<QString> native = ToNativePath(fileName);
    if (!native)
        return -1;
    struct stat info;
    if (::stat(QFile::encodeName(*native).constData(), &info) != 0)
        return -1;
    return S_ISDIR(info.st_mode) ? 0 : qint64(info.st_size);
}

} // namespace trovalo
