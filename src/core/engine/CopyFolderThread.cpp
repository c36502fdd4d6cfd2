#include "engine/CopyFolderThread.h"

#include "base/Exceptions.h"
#include "base/Logging.h"
#include "base/PathText.h"
#include "db/JobDatabase.h"
#include "engine/TargetFolder.h"
#include "model/FileFilter.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <functional>
#include <optional>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalo {

namespace {

const QString CopyFileAction = QStringLiteral("Copy File");
const QString DeleteItemAction = QStringLiteral("Delete File / Folder ");
const QString FilePrefix = QStringLiteral("File : ");

// pkUnknown: the path could not be examined (a folder without read
// permission, an I/O error); that is no proof that it is gone.
enum TPathKind { pkNone, pkFile, pkFolder, pkUnknown };

// One stat: what a drive-letter path names now (links followed).
TPathKind KindOf(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    struct stat info
    {
    };
    if (!native)
        return pkNone;
    if (::stat(QFile::encodeName(*native).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? pkNone : pkUnknown;
    return S_ISDIR(info.st_mode) ? pkFolder : pkFile;
}

// What the items of many paths are, each folder listed once instead of one
// look-up per path. A name the listing does not hold as spelt, or whose
// kind it does not tell, is looked up on its own, so every answer is the
// one KindOf would give (as of the listing). Holds the listings of a few
// hundred folders at a time: rows come grouped by folder.
class TListedKinds
{
public:
    // The kinds of a folder's entries by exact name; nullopt when the
    // folder cannot be listed this way.
    using TKinds = QHash<QString, TPathKind>;
    using TLister = std::function<std::optional<TKinds>(const QString &letterFolder)>;

    explicit TListedKinds(TLister lister)
        : FLister(std::move(lister))
    {}

    TPathKind Of(const QString &path)
    {
        const qsizetype cut = path.lastIndexOf(QLatin1Char('\\')) + 1;
        const QString folder = path.left(cut);
        auto listed = FFolders.constFind(folder);
        if (listed == FFolders.constEnd()) {
            if (FFolders.size() >= MaxFolders)
                FFolders.clear();
            listed = FFolders.insert(folder, FLister(folder));
        }
        if (*listed) {
            const auto known = (*listed)->constFind(path.mid(cut));
            if (known != (*listed)->constEnd())
                return *known;
        }
        return KindOf(path);
    }

    // A listing of the folder as it is on the disk now.
    static std::optional<TKinds> ListNow(const QString &letterFolder)
    {
        const std::optional<QString> native = ToNativePath(letterFolder);
        DIR *dir = native ? ::opendir(QFile::encodeName(*native).constData()) : nullptr;
        if (!dir)
            return std::nullopt;
        TKinds kinds;
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_type == DT_REG)
                kinds.insert(LetterNameOfEntry(entry->d_name), pkFile);
            else if (entry->d_type == DT_DIR)
                kinds.insert(LetterNameOfEntry(entry->d_name), pkFolder);
        }
        ::closedir(dir);
        return kinds;
    }

    // The kinds a walk's listing gave (links followed, as KindOf does).
    static TKinds FromListing(const std::vector<TFolderEntry> &entries)
    {
        TKinds kinds;
        for (const TFolderEntry &entry : entries) {
            switch (entry.Kind) {
            case TFolderEntry::ekFile:
            case TFolderEntry::ekOther:
                kinds.insert(entry.Name, pkFile);
                break;
            case TFolderEntry::ekFolder:
            case TFolderEntry::ekLinkToFolder:
                kinds.insert(entry.Name, pkFolder);
                break;
            case TFolderEntry::ekBrokenLink:
            case TFolderEntry::ekLeftover:
                break;
            }
        }
        return kinds;
    }

private:
    static constexpr qsizetype MaxFolders = 512;
    TLister FLister;
    QHash<QString, std::optional<TKinds>> FFolders;
};

// Sources whose absence must not be taken for a deletion by the mirror
// clean-up: include folders missing when the run starts (renamed, or on a
// disk that is not there) and drives or shares that are not available.
class TUnavailableSources
{
public:
    explicit TUnavailableSources(const QStringList &includeFolders)
    {
        for (const QString &folder : includeFolders) {
            if (!PathExists(folder))
                FMissingFolders << IncludeTrailingBackslash(folder);
        }
    }

    // The include folder or drive root that makes Path unavailable; empty
    // when Path's absence is real.
    QString FolderOf(const QString &path)
    {
        for (const QString &folder : std::as_const(FMissingFolders)) {
            if (path.startsWith(folder, Qt::CaseInsensitive) ||
                path.compare(ExcludeTrailingBackslash(folder), Qt::CaseInsensitive) == 0)
                return folder;
        }
        const QString drive = ExtractFileDrive(path);
        if (drive.isEmpty())
            return QString();
        auto known = FDriveAvailable.constFind(drive);
        if (known == FDriveAvailable.constEnd())
            known = FDriveAvailable.insert(drive, DirectoryExists(IncludeTrailingBackslash(drive)));
        return *known ? QString() : IncludeTrailingBackslash(drive);
    }

    // True the first time a folder is reported.
    bool FirstReport(const QString &folder)
    {
        if (FReported.contains(folder))
            return false;
        FReported.insert(folder);
        return true;
    }

private:
    QStringList FMissingFolders;
    QHash<QString, bool> FDriveAvailable;
    QSet<QString> FReported;
};

} // namespace

TCopyFolderThread::TCopyFolderThread(QObject *parent)
    : TArchiveThreadBase(parent)
{
    // Qt gives the system thread this name when it starts (for debuggers).
    setObjectName(QStringLiteral("CopyFolderThread"));
}

QString TCopyFolderThread::MapToDestination(const QString &path) const
{
    QString mapped = path;
    if (mapped.contains(QLatin1String(":\\")))
        mapped.replace(QLatin1String(":\\"), QLatin1String("\\"));
    else
        mapped.replace(QLatin1String("\\\\"), QLatin1String("__"));
    return Destination() + mapped;
}

void TCopyFolderThread::Execute()
{
    TArchiveThreadBase::Execute();
    // Without its database a run can neither decide what to copy nor record
    // it; the preparation has reported why the database is not open.
    if (!DataBase)
        return;
    if (ArchiveMode() == amMirror)
        CleanUpMirror();
    CopyPhase();
    // Commits what FileLog still holds (and syncs the copies first) before
    // the run is marked as ended.
    DataBase->Flush();
    StatuesInfo = ReachEnd(TJobDatabase::StatusFinished, TJobDatabase::StatusCanceled);
    SetArchiveLogStatus(StatuesInfo);
    ReportStatus();
}

void TCopyFolderThread::DeleteFolderTree(const QString &path)
{
    // A destination or a moved folder at a drive's root holds the Config
    // folder with this job's open database and the drive's other jobs.
    if (!LogFileName().isEmpty() && path == ExtractFilePath(LogFileName()))
        return;
    const TDeletionProtection &protection = DeletionProtection();
    if (protection.Enabled && path == IncludeTrailingBackslash(protection.DeletedFolder))
        return;
    TArchiveThreadBase::DeleteFolderTree(path);
}

void TCopyFolderThread::CleanUpMirror()
{
    PbarPosition = -1;
    StatuesInfo = QStringLiteral("Deleting files that has been removed from source... ");
    ReportStatus();
    try {
        QStringList includeFolders;
        for (const QString &line : Include())
            includeFolders << SourcePrefix() + line;
        TUnavailableSources unavailable(includeFolders);
        // The count has just listed the source tree.
        TListedKinds sources([this](const QString &folder) -> std::optional<TListedKinds::TKinds> {
            if (const std::vector<TFolderEntry> *listing = CountedListing(folder))
                return TListedKinds::FromListing(*listing);
            return std::nullopt;
        });
        TListedKinds targets(&TListedKinds::ListNow);
        const QList<TFileLogRow> rows = DataBase->FileRows();
        for (const TFileLogRow &row : rows) {
            // Rows left now are handled by the next run.
            if (Terminated())
                break;
            const QString &source = row.FileName;
            const QString target = MapToDestination(source);
            StatuesInfo = FilePrefix + target;
            ReportStatus();

            const TPathKind sourceKind = sources.Of(source);
            const TPathKind targetKind = targets.Of(target);
            // Only a source proven gone (or now of the other kind) takes its
            // copy with it; one that cannot be examined keeps it.
            const bool removeFile = (sourceKind == pkNone || sourceKind == pkFolder) && targetKind == pkFile;
            const bool removeFolder =
                !removeFile && (sourceKind == pkNone || sourceKind == pkFile) && targetKind == pkFolder;
            if (!removeFile && !removeFolder)
                continue;

            // An unmounted disk or a renamed include folder is not an empty
            // one: its backup copy stays.
            const QString keptFolder = unavailable.FolderOf(source);
            if (!keptFolder.isEmpty()) {
                if (unavailable.FirstReport(keptFolder)) {
                    LogEventFileName = keptFolder;
                    LogEventAction = DeleteItemAction;
                    LogEvent = eFailedorSkip;
                    LogEventInfo = QStringLiteral("Folder not available: its backup copy was kept");
                    ReportLog();
                }
                continue;
            }

            LogEventFileName = target;
            LogEventAction = DeleteItemAction;
            const bool removed = RemoveVanishedItem(target, removeFolder);
            // A row whose item could not be removed stays, so the next run
            // tries again instead of forgetting the copy.
            if (removed)
                DataBase->DeleteFile(source);
            SetLogResult(removed);
            ReportLog();
        }
    } catch (const ETrovaloError &error) {
        Sta = QStringLiteral("Thread Error : Class = TCopyFolderThread.amMirror : ") + error.Message();
        ErrorCode = -1;
        ReportError();
    } catch (const std::exception &error) {
        Sta = QStringLiteral("Thread Error : Class = TCopyFolderThread.amMirror : ") +
              QString::fromLocal8Bit(error.what());
        ErrorCode = -1;
        ReportError();
    }
}

bool TCopyFolderThread::RemoveVanishedItem(const QString &target, bool isFolder)
{
    if (!isFolder)
        return DeleteOneFile(target);
    if (RemoveDir(target)) {
        qCInfo(LogEngine).noquote() << QStringLiteral("Removed folder ") + WithNative(target);
        LastError = 0;
        return true;
    }
    LastError = errno;
    return false;
}

QString TCopyFolderThread::RefusalCheckTarget() const
{
    return DestPrefix() + Destination();
}

void TCopyFolderThread::CopyPhase()
{
    const QStringList includes = Include();
    const QStringList files = FileList();
    switch (ArchiveMode()) {
    case amIncremental:
    case amTimeStampedIncremental:
    case amMirror:
        StartClock();
        for (const QString &line : includes) {
            if (Terminated())
                break;
            const QString folder = SourcePrefix() + line;
            CopyFolderIncremental(folder, MapToDestination(folder), false);
        }
        for (const QString &line : files) {
            const QString file = SourcePrefix() + line;
            CopyFileIncremental(file, MapToDestination(file));
        }
        break;
    case amCompletelyNew:
        PbarPosition = -1;
        StatuesInfo = QStringLiteral("Deleting Archive... ");
        ReportStatus();
        DeleteFolderTree(Destination());
        [[fallthrough]];
    case amOnlyNew:
    case amTimeStamped:
        StartClock();
        for (const QString &line : includes) {
            if (Terminated())
                break;
            const QString folder = SourcePrefix() + line;
            CopyFolderNew(folder, MapToDestination(folder));
        }
        for (const QString &line : files) {
            const QString file = SourcePrefix() + line;
            CopyFileNew(file, MapToDestination(file));
        }
        break;
    case amMove:
        StartClock();
        MoveFolders();
        // Single files are copied, never deleted.
        for (const QString &line : files) {
            const QString file = SourcePrefix() + line;
            CopyFileIncremental(file, MapToDestination(file));
        }
        break;
    }
}

void TCopyFolderThread::MoveFolders()
{
    // Every folder's contents land in the destination itself, merged.
    const QString target = IncludeTrailingBackslash(DestPrefix() + Destination());
    for (const QString &line : Include()) {
        if (Terminated())
            break;
        const QString folder = SourcePrefix() + line;
        const bool existed = DirectoryExists(folder);
        CopyFolderIncremental(folder, target, MoveFile());
        // The job finds its folder again next time, empty.
        if (existed && !DirectoryExists(folder) && !ForceFolder(folder))
            throw EFileError(QStringLiteral("The folder ") + folder +
                             QStringLiteral(" could not be created again"));
    }
}

void TCopyFolderThread::CopyFolderIncremental(const QString &sourceDir, const QString &targetDir,
                                              bool moveSource)
{
    WalkFolder(sourceDir, targetDir, moveSource ? ckMove : ckIncremental);
}

void TCopyFolderThread::CopyFolderNew(const QString &sourceDir, const QString &targetDir)
{
    WalkFolder(sourceDir, targetDir, ckNew);
}

void TCopyFolderThread::CopyFileIncremental(const QString &source, const QString &target)
{
    CopySingleFile(source, target, ckIncremental);
}

void TCopyFolderThread::CopyFileNew(const QString &source, const QString &target)
{
    CopySingleFile(source, target, ckNew);
}

void TCopyFolderThread::WalkFolder(const QString &sourceDir, const QString &targetDir, TCopyKind kind)
{
    std::vector<TFolderEntry> entries;
    // A folder that cannot be listed yields nothing (and, in a move, loses
    // nothing: only sources whose copy is safe are ever removed).
    if (!ListSourceFolder(sourceDir, entries))
        return;
    TTargetFolder targets(targetDir);
    SweepLeftovers(targetDir, targets.Leftovers());
    const QHash<QString, QString> refused = RefusedEntries(entries, targetDir);
    for (const TFolderEntry &entry : entries) {
        if (Terminated())
            return;
        if (const auto why = refused.constFind(entry.Name); why != refused.constEnd()) {
            SkipRefusedEntry(sourceDir, entry, *why);
            continue;
        }
        switch (entry.Kind) {
        case TFolderEntry::ekFolder:
            WalkSubFolder(sourceDir, targetDir, entry.Name, kind);
            break;
        case TFolderEntry::ekFile: {
            const QString source = sourceDir + entry.Name;
            TDecision decision =
                Decide(source, entry.Date, entry.Size, kind, targets, targetDir + entry.Name);
            // A move removes unchanged sources too, so they face the filter.
            const bool filterApplies = decision == dCopy || (decision == dSkip && kind == ckMove);
            if (filterApplies && IsFiltered(entry.Name, sourceDir, source))
                decision = dFiltered;
            const bool targetAbsent = decision == dCopy && kind != ckNew && targets.Lacks(entry.Name);
            ProcessFile(source, targetDir + entry.Name, entry.Size, decision, kind, &entry, targetAbsent);
            break;
        }
        case TFolderEntry::ekLinkToFolder:
        case TFolderEntry::ekBrokenLink:
        case TFolderEntry::ekOther:
            LogSkippedEntry(sourceDir, entry, CopyFileAction);
            break;
        case TFolderEntry::ekLeftover: // another run's, never data
            break;
        }
    }
}

void TCopyFolderThread::WalkSubFolder(const QString &sourceDir, const QString &targetDir, const QString &name,
                                      TCopyKind kind)
{
    const QString folder = sourceDir + name + QLatin1Char('\\');
    if (IsExcludedFolder(folder))
        return;
    WalkFolder(folder, targetDir + name + QLatin1Char('\\'), kind);
    // Fails while filtered, excluded or uncopied items remain, as intended.
    if (kind == ckMove)
        RemoveDir(folder);
    ++PbarPosition;
    ReportStatus();
    if (ArchiveMode() == amMirror) {
        const QString row = sourceDir + name;
        if (!DataBase->FileUpdate(row))
            DataBase->RecordFile(row, StartTime());
    }
}

void TCopyFolderThread::CopySingleFile(const QString &source, const QString &target, TCopyKind kind)
{
    if (Terminated() || !FileExists(source))
        return;
    const QString targetFolder = ExtractFilePath(target);
    const qint64 size = GetFileSize(source);
    if (LeaveOutRefusedFile(source, ExtractFileName(target), size, targetFolder))
        return;
    if (!DirectoryExists(targetFolder))
        ForceFolder(targetFolder);
    TTargetFolder targets(targetFolder);
    SweepLeftovers(targetFolder, targets.Leftovers());
    // Single files are chosen one by one: neither the filter nor the
    // exclude list applies to them.
    const TDecision decision = Decide(source, FileDate(source).value_or(0), size, kind, targets, target);
    ProcessFile(source, target, size, decision, kind, nullptr, false);
}

TCopyFolderThread::TDecision TCopyFolderThread::Decide(const QString &source, TDateTime fileDate, qint64 size,
                                                       TCopyKind kind, TTargetFolder &targets,
                                                       const QString &target)
{
    if (kind == ckNew) {
        if (ArchiveMode() == amCompletelyNew || ArchiveMode() == amTimeStamped)
            return dCopy;
        return DataBase->FileUpdateByKey(FileLogKey(source)) ? dSkip : dCopy;
    }
    const std::optional<TDateTime> update = DataBase->FileUpdateByKey(FileLogKey(source));
    if (!update)
        return dCopy;
    // A stick's file dates move after a daylight-saving change or on a
    // computer in another zone; there a newer date is a change only when
    // the copy does not carry the source's size and date by the stick's rule.
    const bool newer = fileDate > *update;
    if (newer && !FDateRules.Of(source).Loose())
        return dCopy;
    // A time-stamped run writes into a new folder, where no copy can be.
    if (ArchiveMode() == amTimeStampedIncremental)
        return newer ? dCopy : dSkip;
    if (!targets.HasFile(ExtractFileName(target)))
        return dCopy;
    // A move deletes an unchanged source, so its copy must really be there:
    // a file put back later under an old date is not what the destination
    // holds. Every copy carries its source's size and file date.
    if ((newer || kind == ckMove) &&
        (GetFileSize(target) != size ||
         !FDateRules.Same(source, fileDate, target, FileDate(target).value_or(0), true)))
        return dCopy;
    return dSkip;
}

std::optional<TCopyFolderThread::TFileIdentity> TCopyFolderThread::IdentityOf(const QString &path)
{
    const std::optional<struct stat> info = StatOf(path);
    if (!info)
        return std::nullopt;
    return TFileIdentity(quint64(info->st_dev), quint64(info->st_ino));
}

bool TCopyFolderThread::IsMovedTarget(const QString &target)
{
    // Asked by identity, not by name: on FAT "Notes.txt" is "NOTES.TXT".
    if (FMovedTargets.isEmpty())
        return false;
    const std::optional<TFileIdentity> identity = IdentityOf(target);
    return identity && FMovedTargets.contains(*identity);
}

void TCopyFolderThread::RememberMovedTarget(const QString &target)
{
    if (const std::optional<TFileIdentity> identity = IdentityOf(target))
        FMovedTargets.insert(*identity);
}

void TCopyFolderThread::ProcessFile(const QString &source, const QString &target, qint64 size,
                                    TDecision decision, TCopyKind kind, const TFolderEntry *entry,
                                    bool targetAbsent)
{
    if (decision == dCopy) {
        StatuesInfo = FilePrefix + source;
        ++PbarPosition;
        ReportStatus();
        LogEventFileName = source;
        LogEventAction = CopyFileAction;
        bool copied = false;
        if (kind == ckMove && IsMovedTarget(target))
            LastError = EEXIST;
        else // in a move the source goes once its copy is on the disk
            copied = CopyOneFile(source, target, kind == ckNew, kind == ckMove, entry, targetAbsent);
        if (copied) {
            DataBase->RecordFile(source, StartTime());
            if (kind == ckMove)
                RememberMovedTarget(target);
        }
        SetLogResult(copied);
        FileSizeProcessed += size;
        ReportLog();
    } else {
        // Skipped in a move means its copy is already at the destination.
        if (decision == dSkip && kind == ckMove)
            DeleteMovedSource(source);
        StatuesInfo.clear();
        FileSize -= size;
        ++PbarPosition;
    }
    ReportStatus();
}

void TCopyFolderThread::DeleteMovedSource(const QString &source)
{
    StatuesInfo = QStringLiteral("Deleteing File : ") + source;
    ReportStatus();
    LogEventFileName = source;
    LogEventAction = QStringLiteral("Delete File");
    SetLogResult(DeleteOneFile(source));
    ReportLog();
}

} // namespace trovalo
