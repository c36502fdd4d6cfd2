#include "engine/ZipFolderThread.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "db/JobDatabase.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"
#include "platform/ZipArchive.h"

namespace trovalo {

namespace {

const QString ZipFileAction = QStringLiteral("Zip File");
const QString ArchiveExtension = QStringLiteral(".Zip");

} // namespace

TZipFolderThread::TZipFolderThread(QObject *parent)
    : TArchiveThreadBase(parent)
    , FZip(std::make_unique<TZipArchive>())
{
    // Qt gives the system thread this name when it starts (for debuggers).
    setObjectName(QStringLiteral("ZipFolderThread"));
}

TZipFolderThread::~TZipFolderThread() = default;

QString TZipFolderThread::ArchiveName(const QString &path) const
{
    if (path.contains(QLatin1String(":\\")))
        return Destination() + path.at(0) + ArchiveExtension;
    // \\srv\data\x\ -> __srv\data\x\ -> __srv~data\x\ -> __srv~data
    QString name = path;
    name.replace(QLatin1String("\\\\"), QLatin1String("__"));
    const qsizetype server = name.indexOf(QLatin1Char('\\'));
    if (server >= 0) {
        name[server] = QLatin1Char('~');
        const qsizetype share = name.indexOf(QLatin1Char('\\'), server + 1);
        if (share >= 0)
            name.truncate(share);
    }
    return Destination() + name + ArchiveExtension;
}

QString TZipFolderThread::EntryName(const QString &path)
{
    QString name;
    const qsizetype drive = path.indexOf(QLatin1String(":\\"));
    if (drive >= 0) {
        name = path.mid(drive + 2);
    } else {
        // Below the server: the share is the first folder of the entry, so a
        // restore to the former place puts it back below \\srv\.
        const QString rest = path.startsWith(QLatin1String("\\\\")) ? path.mid(2) : path;
        name = rest.mid(rest.indexOf(QLatin1Char('\\')) + 1);
    }
    return TZipArchive::EntryNameOf(name);
}

void TZipFolderThread::Execute()
{
    ForceFolder(Destination());
    TArchiveThreadBase::Execute();
    // Without its database a run can neither decide what to add nor record
    // it; the preparation has reported why the database is not open.
    if (!DataBase)
        return;
    bool ended = false;
    try {
        ArchivePhases(ArchiveMode() == amMove);
        ended = true;
    } catch (const ETrovaloError &error) {
        Sta = QStringLiteral("Thread Error : Class = TCopyFolderThread : ") + error.Message();
        ErrorCode = -1;
        ReportError();
    }
    // Nothing pending is recorded after a failure; the archive keeps its
    // previous content.
    DropPending();
    FZip->Close();
    DataBase->Flush();
    if (!ended)
        return;
    StatuesInfo = ReachEnd(TJobDatabase::StatusFinished, TJobDatabase::StatusCanceled);
    SetArchiveLogStatus(StatuesInfo);
    ReportStatus();
}

void TZipFolderThread::ArchivePhases(bool move)
{
    switch (ArchiveMode()) {
    case amMirror:
        break;
    case amCompletelyNew:
        DeleteOldArchives();
        [[fallthrough]];
    default:
        StartClock();
        for (const QString &line : Include()) {
            if (Terminated())
                break;
            const QString folder = SourcePrefix() + line;
            SelectArchive(ArchiveName(folder));
            ZipFolder(folder, move);
        }
        break;
    }
    for (const QString &line : FileList()) {
        if (Terminated())
            break;
        const QString file = SourcePrefix() + line;
        SelectArchive(ArchiveName(file));
        ZipOneFile(file, move);
    }
    WriteArchive();
}

void TZipFolderThread::DeleteOldArchives()
{
    PbarPosition = -1;
    StatuesInfo = QStringLiteral("Deleting Archive... ");
    ReportStatus();
    QSet<QString> rebuilt;
    for (const QStringList &lines : {Include(), FileList()}) {
        for (const QString &line : lines)
            rebuilt.insert(ArchiveName(SourcePrefix() + line));
    }
    // A folder that is not there (a disk unplugged, a share offline) is not
    // an empty one: the archive holding its backup is added to instead of
    // being deleted or rebuilt without it.
    for (const QString &line : Include()) {
        const QString folder = SourcePrefix() + line;
        if (PathExists(folder))
            continue;
        FKeptArchives.insert(ArchiveName(folder));
        LogEventFileName = folder;
        LogEventAction = ZipFileAction;
        LogEvent = eFailedorSkip;
        LogEventInfo = QStringLiteral("Folder not available: its backup copy was kept");
        ReportLog();
    }
    std::vector<TFolderEntry> entries;
    ListFolder(Destination(), entries);
    for (const TFolderEntry &entry : entries) {
        if (entry.Kind != TFolderEntry::ekFile || !entry.Name.endsWith(ArchiveExtension, Qt::CaseInsensitive))
            continue;
        const QString path = Destination() + entry.Name;
        if (FKeptArchives.contains(path))
            continue;
        // An archive to rebuild is built from its previous version, which
        // stays until the new one is complete: its unchanged entries are
        // taken over as they are instead of being packed again. Protection
        // keeps a copy of the previous version; without that copy the
        // archive is not written.
        if (rebuilt.contains(path)) {
            if (!ProtectsDeletions() || ProtectCopyOf(path))
                continue;
            FUntouchedArchives.insert(path, LastError != 0 ? LastError : -1);
        } else {
            StatuesInfo = QStringLiteral("Deleting Archive. File : ") + path;
            ReportStatus();
            if (DeleteOneFile(path))
                continue;
        }
        Sta = QStringLiteral("File not Deleted, error code = ") + QString::number(LastError) +
              QStringLiteral("\nFile Name : ") + path;
        ErrorCode = LastError;
        ReportError();
    }
}

void TZipFolderThread::SelectArchive(const QString &archive)
{
    if (archive == FArchive)
        return;
    WriteArchive();
    FArchive = archive;
    OpenArchive();
}

void TZipFolderThread::OpenArchive()
{
    FOpenErrorCode = FUntouchedArchives.value(FArchive, 0);
    if (FOpenErrorCode != 0)
        return;
    SweepFolderOnce(ExtractFilePath(FArchive));
    try {
        FZip->Open(FArchive, TZipOpenMode::Update);
        FZip->SetPassword(FPassword);
    } catch (const EZipError &error) {
        // A damaged archive takes none of this run's files (each is logged
        // as failed and tried again next run); the other archives go on.
        FOpenErrorCode = error.Code() != 0 ? error.Code() : -1;
        ReportArchiveError(error.Message(), error.Code());
    }
}

void TZipFolderThread::WriteArchive()
{
    // A cancelled run writes nothing more; an archive it did not reach, or
    // in which nothing is to change, is left exactly as it was.
    if (FZip->IsOpen() && !Terminated() && CommitPending())
        FinishPending();
    DropPending();
    FKept.clear();
    FMetEntries.clear();
    FPasswordOpens.reset();
    FZip->Close();
    FArchive.clear();
}

bool TZipFolderThread::Rebuilding() const
{
    return ArchiveMode() == amCompletelyNew && !FKeptArchives.contains(FArchive);
}

bool TZipFolderThread::CommitPending()
{
    TZipCommitEvents events;
    events.FileStarted = [this](const QString &source) { OnCommitFileStarted(source); };
    events.FileProgress = [this](const TCopyProgress &progress) {
        FilePercentage = progress.Total > 0 ? 100.0 * static_cast<double>(progress.Done) /
                                                  static_cast<double>(progress.Total)
                                            : 100.0;
        ReportFileProgress();
        return !Terminated();
    };
    for (;;) {
        if (Terminated())
            return false;
        const bool removes = Rebuilding() && FZip->DeleteEntriesExcept(FMetEntries) > 0;
        if (FPending.empty() && !removes)
            return true; // the archive is as it should be
        // The archive is written anew beside the old one before it takes
        // its place: room for both is needed.
        const qint64 oldSize = std::max<qint64>(GetFileSize(FArchive), 0);
        if (!WaitForFreeSpace(oldSize + FPendingBytes, FArchive)) {
            LastError = 0;
            FailPending(QString(), 0);
            return false;
        }
        const qint64 position = PbarPosition;
        const qint64 processed = FileSizeProcessed;
        try {
            const bool written = FZip->Commit({}, events);
            EndCommittedFile();
            if (written)
                SyncFileSystem(FArchive);
            return written;
        } catch (const EZipError &error) {
            FCommitFile = -1;
            PbarPosition = position;
            FileSizeProcessed = processed;
            const auto unreadable = FPendingIndex.constFind(error.SourceFile());
            if (unreadable == FPendingIndex.constEnd()) {
                FailPending(error.Message(), error.Code());
                return false;
            }
            // One file that could not be read spoils the whole write: it is
            // left out and the archive is written again with the others.
            const TPendingAdd failed = FPending[*unreadable];
            FPending.erase(FPending.begin() + *unreadable);
            FPendingBytes -= failed.Size;
            ++PbarPosition;
            ReportArchiveError(error.Message(), error.Code());
            LogFailedAdd(failed, error.Code());
            if (!Reopen())
                return false;
        }
    }
}

bool TZipFolderThread::Reopen()
{
    std::vector<TPendingAdd> pending = std::move(FPending);
    DropPending();
    OpenArchive();
    if (FOpenErrorCode != 0) {
        FPending = std::move(pending);
        for (TPendingAdd &add : FPending)
            FPendingBytes += add.Size;
        FailPending(QString(), FOpenErrorCode);
        return false;
    }
    for (const TPendingAdd &add : pending)
        QueueAdd(add);
    return true;
}

void TZipFolderThread::OnCommitFileStarted(const QString &source)
{
    EndCommittedFile();
    FCommitFile = FPendingIndex.value(source, -1);
    StatuesInfo = QStringLiteral("Adding File : ") + source;
    FileOperation = QStringLiteral("Adding File: ") + source;
    ++PbarPosition;
    ReportStatus();
}

void TZipFolderThread::EndCommittedFile()
{
    if (FCommitFile >= 0)
        FileSizeProcessed += FPending[FCommitFile].Size;
    FCommitFile = -1;
}

void TZipFolderThread::FinishPending()
{
    const auto recordDone = [this](const QString &source) {
        DataBase->RecordFile(source, StartTime());
        LogEventFileName = source;
        LogEventAction = ZipFileAction;
        LogEvent = eSuccess;
        LogEventInfo = QStringLiteral("Done");
        ReportLog();
    };
    // Kept entries are this run's backup of their files as much as added ones.
    for (const TPendingAdd &kept : FKept)
        recordDone(kept.Source);
    for (const TPendingAdd &add : FPending) {
        recordDone(add.Source);
        if (add.DeleteAfter) {
            LogEventFileName = add.Source;
            LogEventAction = QStringLiteral("Delete File");
            const bool deleted = DeleteOneFile(add.Source);
            // A kept source is worth a row: the next run sees it unchanged
            // and leaves it where it is.
            if (!deleted) {
                SetLogResult(false);
                ReportLog();
            }
        }
    }
    ReportStatus();
}

void TZipFolderThread::FailPending(const QString &message, int code)
{
    if (!message.isEmpty())
        ReportArchiveError(message, code);
    for (const TPendingAdd &add : FPending) {
        ++PbarPosition;
        FileSizeProcessed += add.Size;
        LogFailedAdd(add, code);
    }
    DropPending();
    ReportStatus();
}

void TZipFolderThread::DropPending()
{
    FPending.clear();
    FPendingIndex.clear();
    FPendingBytes = 0;
    FCommitFile = -1;
}

void TZipFolderThread::LogFailedAdd(const TPendingAdd &add, int code)
{
    LogEventFileName = add.Source;
    LogEventAction = ZipFileAction;
    if (code == 0) {
        SetLogResult(false); // "Skiped" (no room, and the user skipped)
    } else {
        LogEvent = eFailedorSkip;
        LogEventInfo = QStringLiteral("Error Code ") + QString::number(code);
    }
    ReportLog();
}

void TZipFolderThread::ZipFolder(const QString &dir, bool move)
{
    std::vector<TFolderEntry> entries;
    if (!ListSourceFolder(dir, entries))
        return;
    const QHash<QString, QString> refused = RefusedEntries(entries, Destination());
    for (const TFolderEntry &entry : entries) {
        if (Terminated())
            return;
        if (const auto why = refused.constFind(entry.Name); why != refused.constEnd()) {
            SkipRefusedEntry(dir, entry, *why);
            continue;
        }
        switch (entry.Kind) {
        case TFolderEntry::ekFolder: {
            const QString folder = dir + entry.Name + QLatin1Char('\\');
            if (IsExcludedFolder(folder))
                break;
            // Only the files directly in an include folder are moved.
            ZipFolder(folder, false);
            ++PbarPosition;
            ReportStatus();
            break;
        }
        case TFolderEntry::ekFile: {
            const QString source = dir + entry.Name;
            if (IsFiltered(entry.Name, dir, source))
                SkipFile(entry.Size, QStringLiteral("Skiping File : ") + source);
            else
                TakeFile(source, entry.Size, entry.Date, move, QStringLiteral("Skiping File : ") + source);
            ReportStatus();
            break;
        }
        case TFolderEntry::ekLinkToFolder:
        case TFolderEntry::ekBrokenLink:
        case TFolderEntry::ekOther:
            LogSkippedEntry(dir, entry, ZipFileAction);
            break;
        case TFolderEntry::ekLeftover: // another run's, never data
            break;
        }
    }
}

QString TZipFolderThread::RefusalAction() const
{
    return ZipFileAction;
}

void TZipFolderThread::ZipOneFile(const QString &path, bool move)
{
    if (Terminated() || !FileExists(path))
        return;
    const qint64 size = GetFileSize(path);
    if (LeaveOutRefusedFile(path, ExtractFileName(path), size, Destination()))
        return;
    // Single files are chosen one by one: neither the filter nor the
    // exclude list applies to them.
    TakeFile(path, size, FileDate(path).value_or(0), move, QString());
    ReportStatus();
}

void TZipFolderThread::TakeFile(const QString &source, qint64 size, TDateTime fileDate, bool move,
                                const QString &skipStatus)
{
    if (Rebuilding()) {
        FMetEntries.insert(EntryName(source));
        if (CanKeepEntry(source, size, fileDate)) {
            FKept.push_back({source, size, false});
            ++PbarPosition;
            FileSizeProcessed += size;
            return;
        }
    }
    if (ShouldAdd(source, size, fileDate))
        QueueAdd({source, size, move});
    else
        SkipFile(size, skipStatus);
}

void TZipFolderThread::SkipFile(qint64 size, const QString &status)
{
    StatuesInfo = status;
    ++PbarPosition;
    FileSize -= size;
}

bool TZipFolderThread::CanKeepEntry(const QString &source, qint64 size, TDateTime fileDate)
{
    if (!FZip->IsOpen())
        return false;
    if (!Unchanged(source, size, fileDate))
        return false;
    const std::optional<TZipEntryInfo> entry = FZip->Entry(EntryName(source), false);
    if (!entry || entry->IsFolder() || static_cast<qint64>(entry->Size) != size)
        return false;
    // An entry is kept only as the job would write it now: encrypted with
    // this password, or not encrypted when the job has none.
    if (FPassword.isEmpty())
        return !entry->IsEncrypted();
    if (entry->Encryption != TZipEncryption::Aes)
        return false;
    if (!FPasswordOpens)
        FPasswordOpens = FZip->PasswordOpensAesEntries().value_or(false);
    return *FPasswordOpens;
}

bool TZipFolderThread::Unchanged(const QString &source, qint64 size, TDateTime fileDate)
{
    const std::optional<TDateTime> update = DataBase->FileUpdateByKey(FileLogKey(source));
    if (!update)
        return false;
    if (fileDate <= *update)
        return true;
    // A stick's file dates move after a daylight-saving change or on a
    // computer in another zone: there a newer date is no change while the
    // archive's entry carries the file's size and date by the stick's rule.
    const TFileDateRule &rule = FDateRules.Of(source);
    if (!rule.Loose() || !FZip->IsOpen())
        return false;
    const std::optional<TZipEntryInfo> entry = FZip->Entry(EntryName(source), true);
    return entry && !entry->IsFolder() && static_cast<qint64>(entry->Size) == size &&
           rule.Same(fileDate, entry->Modified, true);
}

bool TZipFolderThread::ShouldAdd(const QString &source, qint64 size, TDateTime fileDate)
{
    switch (ArchiveMode()) {
    case amCompletelyNew:
    case amTimeStamped:
        return true;
    case amMirror:
        return false;
    case amOnlyNew:
        return !DataBase->FileUpdateByKey(FileLogKey(source));
    case amTimeStampedIncremental:
    case amIncremental:
    case amMove:
        break;
    }
    // A time-stamped run writes into a new folder, where no archive is yet.
    if (ArchiveMode() == amTimeStampedIncremental) {
        const std::optional<TDateTime> update = DataBase->FileUpdateByKey(FileLogKey(source));
        return !update || fileDate > *update;
    }
    if (!Unchanged(source, size, fileDate))
        return true;
    // Unchanged, but its entry is gone (the archive was deleted or replaced
    // meanwhile): the backup is not there, so the file is added again.
    return FZip->IsOpen() && !FZip->HasEntry(EntryName(source));
}

void TZipFolderThread::QueueAdd(const TPendingAdd &add)
{
    if (FOpenErrorCode != 0) {
        ++PbarPosition;
        FileSizeProcessed += add.Size;
        LogFailedAdd(add, FOpenErrorCode);
        return;
    }
    try {
        FZip->AddFile(add.Source, EntryName(add.Source));
    } catch (const EZipError &error) {
        ++PbarPosition;
        FileSizeProcessed += add.Size;
        ReportArchiveError(error.Message(), error.Code());
        LogFailedAdd(add, error.Code());
        return;
    }
    FPendingIndex.insert(add.Source, static_cast<qsizetype>(FPending.size()));
    FPending.push_back(add);
    FPendingBytes += add.Size;
}

} // namespace trovalo
