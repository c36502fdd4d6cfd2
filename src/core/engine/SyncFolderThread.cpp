#include "engine/SyncFolderThread.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "db/DatabaseTemplate.h"
#include "db/SyncDatabase.h"
#include "engine/FolderTreeListing.h"
#include "engine/SyncFileData.h"
#include "model/FileFilter.h"
#include "platform/DriveTable.h"
#include "platform/FileAttributes.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include <cerrno>
#include <utility>
#include <vector>

namespace trovalo {

namespace {

const QString ErrorPrefix = QStringLiteral("Thread Error : Class = TThreadBase : ");
const QString SearchingPrefix = QStringLiteral(" Searching...");
const QString FilePrefix = QStringLiteral("File : ");
const QString CopyFileAction = QStringLiteral("Copy File");
const QString DeleteFileAction = QStringLiteral("Delete File");
const QString ReadFolderAction = QStringLiteral("Read Folder");
const QString CanceledEarly = QStringLiteral("Canceled :(");

// Side-A paths are stored without their drive and begin with "\"; one
// written without it still names a place below the drive's root.
QString WithLeadingBackslash(const QString &sideAPath)
{
    return sideAPath.startsWith(QLatin1Char('\\')) ? sideAPath : QLatin1Char('\\') + sideAPath;
}

// Appends Name case-folded as LookupKey folds it, without a string of its
// own for the usual all-ASCII name.
void AppendFolded(QString &buffer, const QString &name)
{
    const qsizetype start = buffer.size();
    buffer.append(name);
    QChar *folded = buffer.data() + start;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = folded[i].unicode();
        if (unit >= 0x80) {
            buffer.resize(start);
            buffer.append(LookupKey(name));
            return;
        }
        if (unit >= u'A' && unit <= u'Z')
            folded[i] = QChar(char16_t(unit + (u'a' - u'A')));
    }
}

} // namespace

// ---------------------------------------------------------------- the scan

TSyncThreadBase::TSyncThreadBase(QObject *parent)
    : TThreadBase(parent)
    , FileCollection(std::make_unique<TFileCollection>())
{
    setObjectName(QStringLiteral("SyncFolderThread"));
}

TSyncThreadBase::~TSyncThreadBase()
{
    try {
        SyncFileLog.reset();
    } catch (...) {
        // Whatever was not committed is looked at again next run.
    }
}

void TSyncThreadBase::SetSyncItems(const TSyncItems &items)
{
    FSyncItems.Clear();
    for (int i = 0; i < items.Count(); ++i)
        FSyncItems.Add(std::make_unique<TSyncItem>(*items[i]));
}

void TSyncThreadBase::SetSyncFiles(const TSyncItems &items)
{
    FSyncFiles.Clear();
    for (int i = 0; i < items.Count(); ++i)
        FSyncFiles.Add(std::make_unique<TSyncItem>(*items[i]));
}

bool TSyncThreadBase::IsExcludedFolder(const QString &)
{
    return false;
}

void TSyncThreadBase::ReportStatusText(const QString &text)
{
    StatuesInfo = text;
    ReportStatus();
}

void TSyncThreadBase::ReportThreadError(const QString &message)
{
    Sta = ErrorPrefix + message;
    ErrorCode = -1;
    ReportError();
}

void TSyncThreadBase::Execute()
{
    BaseStart();
    PbarPosition = -1;
    ReportStatusText(QStringLiteral("Prepareing... "));
    try {
        FDrive = ExtractFileDrive(LogFileName());
        FSyncItems.Sort();
        // The first pair's two sides are listed while the history loads.
        TPairListing first;
        if (FSyncItems.Count() > 0 && !Terminated())
            first = StartListing(*FSyncItems[0]);
        OpenSyncFileLog();
        PbarPosition = -1;
        ReportStatusText(QStringLiteral("Searching... "));
        for (int i = 0; i < FSyncItems.Count(); ++i) {
            if (Terminated())
                return;
            // One pair's trees at a time: what is listed ahead stays within
            // the two sides of the pair being matched.
            TPairListing current = i == 0 && first.A ? std::move(first) : StartListing(*FSyncItems[i]);
            ScanFolderPair(*FSyncItems[i], current);
        }
        for (int i = 0; i < FSyncFiles.Count(); ++i) {
            if (Terminated())
                return;
            ScanFilePair(*FSyncFiles[i]);
        }
        FListIds.clear();
        if (Terminated())
            ReportStatusText(CanceledEarly);
    } catch (const ETrovaloError &error) {
        FScanFailed = true;
        ReportThreadError(error.Message());
    } catch (const std::exception &error) {
        FScanFailed = true;
        ReportThreadError(QString::fromLocal8Bit(error.what()));
    }
}

void TSyncThreadBase::OpenSyncFileLog()
{
    TDatabaseTemplate::CreateIfMissing(LogFileName(), TSyncDatabase::TemplateName,
                                       &TSyncDatabase::CreateSchema);
    SyncFileLog = std::make_unique<TSyncDatabase>(LogFileName());
    SyncFileLog->LoadIndex();
    // No wait after the reset: this connection is the only one that works
    // on the table during the run.
    SyncFileLog->ResetListIds();
    // Usually every row is met again.
    FListIds.reserve(SyncFileLog->IndexedRowCount());
    // The database lives on side A when a pair's side-A folder is the
    // drive's root or holds the job: it and its journal are never synced.
    FDatabaseFolderKey = LookupKey(ExtractFilePath(LogFileName()));
    const QString name = ExtractFileName(LogFileName());
    FDatabaseNameKeys.clear();
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        FDatabaseNameKeys.insert(LookupKey(name + QLatin1String(suffix)));
}

TSyncThreadBase::TPairListing TSyncThreadBase::StartListing(const TSyncItem &item)
{
    const auto stopped = [this] { return Terminated(); };
    const auto skipFolder = [this](const QString &folder) { return IsExcludedFolder(folder); };
    TPairListing listing;
    listing.A = std::make_unique<TFolderTreeListing>(FDrive + WithLeadingBackslash(item.FolderA()), stopped,
                                                     skipFolder);
    listing.B = std::make_unique<TFolderTreeListing>(item.FolderB(), stopped, skipFolder);
    return listing;
}

void TSyncThreadBase::ScanFolderPair(const TSyncItem &item, TPairListing &listing)
{
    const int firstPair = FileCollection->Count();
    FUnreadFolders.clear();
    FActiveRootFolderA = WithLeadingBackslash(item.FolderA());
    FActiveRootFolderB = item.FolderB();
    std::size_t position = 0;
    FActiveFolder = QLatin1Char('A');
    FActiveRows = &SyncFileLog->FolderRowsA(FActiveRootFolderA);
    WalkFolder(*listing.A, position);
    listing.A.reset();
    position = 0;
    FActiveFolder = QLatin1Char('B');
    FActiveRows = &SyncFileLog->FolderRowsB(FActiveRootFolderB);
    WalkFolder(*listing.B, position);
    listing.B.reset();
    FActiveRows = nullptr;
    HoldUnreadFolders(firstPair);
}

void TSyncThreadBase::WalkFolder(TFolderTreeListing &listing, std::size_t &position)
{
    const std::size_t own = position++;
    const TFolderTreeListing::TFolder *listed = listing.Folder(own);
    if (!listed) {
        // Only a stop ends a listing early; anything else would make every
        // file not listed look deleted.
        if (!Terminated())
            throw ETrovaloError(QStringLiteral("The folder list could not be completed"));
        return;
    }
    const QString &folder = listed->Path;
    ReportStatusText(SearchingPrefix + folder);
    const QString root = FActiveFolder == QLatin1Char('A') ? FDrive + FActiveRootFolderA : FActiveRootFolderB;
    const QString relativeFolder = folder.mid(root.size());
    const QString relativeKey = LookupKey(relativeFolder);
    if (!listed->Read) {
        // Not an empty folder: a missing root (an unplugged disk, a share
        // that is down) or one that cannot be read. The pairs with history
        // below it are held, so nothing is deleted or overwritten because
        // its files were not seen.
        FUnreadFolders.push_back({FActiveFolder, relativeKey});
        LogSkipped(folder, ReadFolderAction,
                   SystemErrorText(listed->Error) +
                       QStringLiteral(": the files synced with it are left as they are"));
        return;
    }
    const bool databaseFolder = LookupKey(folder) == FDatabaseFolderKey;
    for (const TFolderEntry &entry : listed->Entries) {
        if (Terminated())
            break;
        switch (entry.Kind) {
        case TFolderEntry::ekFolder: {
            if (!IsExcludedFolder(folder + entry.Name + QLatin1Char('\\'))) {
                WalkFolder(listing, position);
                ReportStatusText(SearchingPrefix + folder);
            }
            break;
        }
        case TFolderEntry::ekFile:
            if (IsExcludedFile(FileFilter(), entry.Name, folder))
                break;
            if (databaseFolder && IsDatabaseFile(folder, entry.Name))
                break;
            MatchFile(folder, relativeFolder, relativeKey, entry);
            break;
        case TFolderEntry::ekLinkToFolder:
            LogSkipped(folder + entry.Name, CopyFileAction,
                       QStringLiteral("Symbolic link to a folder: not followed"));
            break;
        case TFolderEntry::ekBrokenLink:
            LogSkipped(folder + entry.Name, CopyFileAction, SystemErrorText(ENOENT));
            break;
        case TFolderEntry::ekOther:
            LogSkipped(folder + entry.Name, CopyFileAction, QStringLiteral("Not a regular file: not copied"));
            break;
        case TFolderEntry::ekLeftover: // both sides are written to
            SweepLeftover(folder + entry.Name);
            break;
        }
    }
    listing.Release(own);
}

bool TSyncThreadBase::IsDatabaseFile(const QString &, const QString &name) const
{
    return FDatabaseNameKeys.contains(LookupKey(name));
}

void TSyncThreadBase::MatchFile(const QString &folder, const QString &relativeFolder,
                                const QString &relativeKey, const TFolderEntry &entry)
{
    FKeyBuffer.resize(0);
    FKeyBuffer.append(relativeKey);
    AppendFolded(FKeyBuffer, entry.Name);
    const TSyncFileRow *row = SyncFileLog->FindIndexed(*FActiveRows, FKeyBuffer);
    MatchSide(FActiveFolder, row, row ? QString() : relativeFolder + entry.Name, FActiveRootFolderA,
              FActiveRootFolderB, folder, entry.Name, entry.Size, entry.Date);
}

TFilePair &TSyncThreadBase::PairOfRow(qint64 rowId)
{
    const auto known = FListIds.constFind(rowId);
    if (known != FListIds.constEnd())
        return FileCollection->Item(*known);
    TFilePair &pair = FileCollection->Add();
    FListIds.insert(rowId, FileCollection->Count() - 1);
    return pair;
}

void TSyncThreadBase::MatchSide(QChar side, const TSyncFileRow *row, const QString &key,
                                const QString &folderA, const QString &folderB, const QString &folder,
                                const QString &name, qint64 size, TDateTime date)
{
    const bool sideA = side == QLatin1Char('A');
    const bool found = row != nullptr;
    // Read before Append, which may move the loaded rows.
    const TDateTime recorded = found ? (sideA ? row->DateA() : row->DateB()) : 0;
    // A row whose dates were never recorded stands for a pair never synced
    // (its first copy failed or was not reached): it is still new, or a
    // one-way sync would take the file for deleted and skip it for good.
    const bool synced = found && (row->DateFolderA || row->DateFolderB);
    const qint64 rowId = found ? row->ID : SyncFileLog->Append(key, folderA, folderB);
    TFilePair &pair = PairOfRow(rowId);
    TFileData &file = sideA ? pair.FileA() : pair.FileB();
    // Two files on one side whose names differ only in letter case share
    // one row. The first one met keeps the pair; the other is never
    // copied over, copied or deleted, and says so in the log every run.
    if (file.Met() && !file.IsFile(folder, name)) {
        LogSkipped(folder + name, CopyFileAction,
                   QStringLiteral("Not synced: its name differs only in letter case from ") +
                       file.FileName());
        return;
    }
    file.SetListedFile(folder, name, size, date);
    file.OLDFileDateTime = recorded;
    pair.New = !synced;
    pair.RecordID = rowId;
}

void TSyncThreadBase::ScanFilePair(const TSyncItem &item)
{
    const QString storedA = WithLeadingBackslash(item.FolderA());
    const QString fileB = item.FolderB();
    ReportStatusText(SearchingPrefix + storedA);
    const QString folderA = ExtractFilePath(storedA);
    const QString folderB = ExtractFilePath(fileB);
    TFileData probe;
    probe.SetFileName(FDrive + storedA);
    if (!probe.FError) {
        const QString name = ExtractFileName(storedA);
        const std::optional<TSyncFileRow> row = SyncFileLog->FindByFolderA(name, folderA);
        MatchSide(QLatin1Char('A'), row ? &*row : nullptr, name, folderA, folderB, QString(),
                  probe.FileName(), probe.FFileSize, probe.FLastChangeTime);
    }
    probe = TFileData();
    probe.SetFileName(fileB);
    if (!probe.FError) {
        const QString name = ExtractFileName(fileB);
        const std::optional<TSyncFileRow> row = SyncFileLog->FindByFolderB(name, folderB);
        MatchSide(QLatin1Char('B'), row ? &*row : nullptr, name, folderA, folderB, QString(), fileB,
                  probe.FFileSize, probe.FLastChangeTime);
    }
}

void TSyncThreadBase::HoldUnreadFolders(int firstPair)
{
    for (const TUnreadFolder &folder : FUnreadFolders) {
        for (int i = firstPair; i < FileCollection->Count(); ++i) {
            TFilePair &pair = FileCollection->Item(i);
            const TFileData &unreadSide = folder.Side == QLatin1Char('A') ? pair.FileA() : pair.FileB();
            if (unreadSide.Met())
                continue;
            const std::optional<TSyncFileRow> row = SyncFileLog->FindById(pair.RecordID);
            if (row && LookupKey(row->FileName).startsWith(folder.RelativeKey))
                pair.Held = true;
        }
    }
}

// ------------------------------------------------------ decide and act

void TSyncFolderThread::Execute()
{
    TSyncThreadBase::Execute();
    if (SyncFileLog && !ScanFailed()) {
        // The rows never claim a copy that a power cut could still empty.
        // The drives written so far are taken along: the flush runs on a
        // helper thread while this one copies on.
        SyncFileLog->SetBeforeCommit(
            [this] { return [drives = std::exchange(FWrittenDrives, {})] { SyncDrives(drives); }; });
        try {
            DecideAndAct();
        } catch (const ETrovaloError &error) {
            ReportThreadError(error.Message());
        } catch (const std::exception &error) {
            ReportThreadError(QString::fromLocal8Bit(error.what()));
        }
        SyncWrittenDrives();
        SyncFileLog->SetBeforeCommit({});
    }
    CloseSyncFileLog();
}

void TSyncFolderThread::CloseSyncFileLog()
{
    try {
        SyncFileLog.reset();
    } catch (...) {
        // Rows not committed are looked at again next run.
    }
}

void TSyncFolderThread::DecideAndAct()
{
    ReportStatusText(QStringLiteral("Processing Data...."));
    SyncFileLog->Flush();
    Decide();
    LeaveOutRefusedCopies();
    CountTotals();
    AskConflicts();
    Act();
}

void TSyncFolderThread::Decide()
{
    // Pairs unchanged on both sides since their last copy need nothing; a
    // side whose file was not met counts as unchanged.
    FileCollection->RemoveIf(
        [this](const TFilePair &pair) { return !Changed(pair, true) && !Changed(pair, false); });
    for (int i = 0; i < FileCollection->Count(); ++i) {
        TFilePair &pair = FileCollection->Item(i);
        pair.Ask = false;
        if (FSyncDirection == sdBidi)
            DecideBothDirections(pair);
        else
            DecideOneWay(pair, FSyncDirection == sdToComputerOnly);
        // Beside a folder that could not be read only a new file may be
        // copied in; nothing is deleted or brought back because of it.
        if (pair.Held && (pair.FileAction == faDelete || !pair.New)) {
            pair.FileAction = faSkip;
            pair.Ask = false;
        }
    }
}

void TSyncFolderThread::DecideBothDirections(TFilePair &pair)
{
    const TFileData &a = pair.FileA();
    const TFileData &b = pair.FileB();
    if (a.Met() && b.Met()) {
        const bool changedA = Changed(pair, true);
        if (SameDates(pair))
            pair.FileAction = faSkip;
        else if (!pair.New && changedA != Changed(pair, false))
            // Changed on one side only since the last copy: no conflict. A
            // rule preferring one side would undo the change on the other,
            // or never pass it on.
            pair.FileAction = changedA ? faCopyAB : faCopyBA;
        else
            SettleConflict(pair, b.FLastChangeTime >= a.FLastChangeTime ? faCopyBA : faCopyAB);
        return;
    }
    const TFileAction copyOver = a.Met() ? faCopyAB : faCopyBA;
    if (pair.New) {
        pair.FileAction = copyOver;
        RebuildTarget(pair, copyOver);
        return;
    }
    // Changed on one side and deleted on the other (a pair unchanged on its
    // remaining side was dropped above). Deleting it would lose the change,
    // so it is a conflict settled by the rule; whichever side the rule
    // prefers, only the changed file is there to copy back.
    SettleConflict(pair, copyOver);
    if (pair.FileAction != faSkip) {
        pair.FileAction = copyOver;
        RebuildTarget(pair, copyOver);
    }
}

void TSyncFolderThread::LeaveOutRefusedCopies()
{
    for (int i = 0; i < FileCollection->Count(); ++i) {
        TFilePair &pair = FileCollection->Item(i);
        if (pair.Ask || (pair.FileAction != faCopyAB && pair.FileAction != faCopyBA))
            continue;
        const bool towardsB = pair.FileAction == faCopyAB;
        const TFileData &source = towardsB ? pair.FileA() : pair.FileB();
        const QString target = (towardsB ? pair.FileB() : pair.FileA()).FileName();
        const TFileSystemLimits &limits = FTargetLimits.Of(target);
        if (!limits.Any())
            continue;
        // Folders below the drive root too: a sync makes the missing ones.
        QString why = limits.SizeRefusal(source.FFileSize);
        const QStringList names = target.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
        for (auto name = names.cbegin(); why.isEmpty() && name != names.cend(); ++name)
            why = limits.NameRefusal(*name);
        if (why.isEmpty())
            continue;
        LogSkipped(source.FileName(), CopyFileAction, why);
        pair.FileAction = faSkip;
    }
}

bool TSyncFolderThread::Changed(const TFilePair &pair, bool sideA)
{
    const TFileData &file = sideA ? pair.FileA() : pair.FileB();
    // Most files of a run are unchanged: no rule is looked up for them.
    if (!file.Met() || file.OLDFileDateTime == file.FLastChangeTime)
        return file.OLDFileDateTime != file.FLastChangeTime;
    return !FDateRules.Of(file.FileName())
                .Same(file.OLDFileDateTime, file.FLastChangeTime,
                      pair.FileA().FFileSize == pair.FileB().FFileSize);
}

bool TSyncFolderThread::SameDates(const TFilePair &pair)
{
    const TFileData &a = pair.FileA();
    const TFileData &b = pair.FileB();
    return a.FLastChangeTime == b.FLastChangeTime ||
           FDateRules.Same(a.FileName(), a.FLastChangeTime, b.FileName(), b.FLastChangeTime,
                           a.FFileSize == b.FFileSize);
}

void TSyncFolderThread::SettleConflict(TFilePair &pair, TFileAction newer)
{
    switch (FSyncDefaultAction) {
    case sdaAsk:
        pair.FileAction = newer;
        pair.Ask = true;
        break;
    case sdaNothing:
        pair.FileAction = faSkip;
        break;
    case sdaUseUsbDriveVersion:
        pair.FileAction = faCopyAB;
        break;
    case sdaUseComputerVersion:
        pair.FileAction = faCopyBA;
        break;
    case sdaNewVersion:
        pair.FileAction = newer;
        break;
    }
}

void TSyncFolderThread::DecideOneWay(TFilePair &pair, bool towardsB)
{
    const bool sourceMet = towardsB ? pair.FileA().Met() : pair.FileB().Met();
    const bool targetMet = towardsB ? pair.FileB().Met() : pair.FileA().Met();
    const TFileAction copy = towardsB ? faCopyAB : faCopyBA;
    if (sourceMet && targetMet) {
        pair.FileAction = copy;
    } else if (sourceMet) {
        pair.FileAction = pair.New ? copy : faSkip;
        if (pair.New)
            RebuildTarget(pair, copy);
    } else {
        pair.FileAction = faDelete;
    }
}

void TSyncFolderThread::RebuildTarget(TFilePair &pair, TFileAction copy)
{
    const std::optional<TSyncFileRow> row = SyncFileLog->FindById(pair.RecordID);
    if (!row)
        throw EDatabaseError(QStringLiteral("FileLog has no row %1").arg(pair.RecordID));
    // The scan met no file there; looking again would only cost a stat.
    if (copy == faCopyAB)
        pair.FileB().SetTargetName(row->FolderB + row->FileName);
    else
        pair.FileA().SetTargetName(SideADrive() + row->FolderA + row->FileName);
}

void TSyncFolderThread::CountTotals()
{
    FileSize = 0;
    FileNum = 0;
    for (int i = 0; i < FileCollection->Count(); ++i) {
        const TFilePair &pair = FileCollection->Item(i);
        switch (pair.FileAction) {
        case faCopyAB:
            FileSize += pair.FileA().FFileSize;
            break;
        case faCopyBA:
            FileSize += pair.FileB().FFileSize;
            break;
        case faDelete:
            FileSize += pair.FileA().Met() ? pair.FileA().FFileSize : pair.FileB().FFileSize;
            break;
        case faSkip:
            continue;
        }
        ++FileNum;
    }
}

bool TSyncFolderThread::AskConflicts()
{
    QList<TSyncConflict> conflicts;
    QList<int> asked;
    for (int i = 0; i < FileCollection->Count(); ++i) {
        const TFilePair &pair = FileCollection->Item(i);
        if (!pair.Ask)
            continue;
        const TFileData &a = pair.FileA();
        const TFileData &b = pair.FileB();
        conflicts.append({a.FileName(), b.FileName(), a.FFileSize, b.FFileSize, a.FLastChangeTime,
                          b.FLastChangeTime, pair.FileAction});
        asked.append(i);
    }
    // After a stop nothing is carried out, so there is nothing to ask.
    if (conflicts.isEmpty() || Terminated())
        return !Terminated();
    if (!Observer() || !Observer()->AskSyncConflicts(*this, conflicts)) {
        RequestStop();
        ReportStatusText(CanceledEarly);
        return false;
    }
    ReportStatusText(QStringLiteral("Processing User Action"));
    for (qsizetype k = 0; k < asked.size() && k < conflicts.size(); ++k)
        ApplyAnswer(FileCollection->Item(asked[k]), conflicts[k].Action);
    return true;
}

void TSyncFolderThread::ApplyAnswer(TFilePair &pair, TFileAction answer)
{
    const bool aMet = pair.FileA().Met();
    const bool bMet = pair.FileB().Met();
    switch (answer) {
    case faCopyAB:
        // Taking the version of a side that has no file deletes the other.
        pair.FileAction = aMet ? faCopyAB : faDelete;
        break;
    case faCopyBA:
        pair.FileAction = bMet ? faCopyBA : faDelete;
        break;
    case faDelete:
        // A conflict between two copies is never settled by deleting one.
        pair.FileAction = aMet && bMet ? faSkip : faDelete;
        break;
    case faSkip:
        pair.FileAction = faSkip;
        break;
    }
    if (pair.FileAction == faCopyAB && pair.FileB().FileName().isEmpty())
        RebuildTarget(pair, faCopyAB);
    else if (pair.FileAction == faCopyBA && pair.FileA().FileName().isEmpty())
        RebuildTarget(pair, faCopyBA);
}

void TSyncFolderThread::Act()
{
    SyncFileLog->Flush();
    StartClock();
    for (int i = 0; i < FileCollection->Count(); ++i) {
        if (Terminated())
            break;
        ActOn(FileCollection->Item(i));
        ++PbarPosition;
        ReportStatus();
    }
    SyncFileLog->Flush();
    ReportStatusText(ReachEnd(QStringLiteral("Finished !"), QStringLiteral("Canceled")));
}

void TSyncFolderThread::ActOn(TFilePair &pair)
{
    const TFileData &a = pair.FileA();
    const TFileData &b = pair.FileB();
    bool copied = false;
    switch (pair.FileAction) {
    case faCopyAB:
    case faCopyBA: {
        const bool towardsB = pair.FileAction == faCopyAB;
        const TFileData &source = towardsB ? a : b;
        const TFileData &target = towardsB ? b : a;
        ReportStatusText(FilePrefix + a.FileName());
        LogEventFileName = a.FileName();
        LogEventAction = CopyFileAction;
        // What the scan listed of the source spares the copy a look at it.
        TFolderEntry listed;
        listed.Size = source.FFileSize;
        listed.Date = source.FLastChangeTime;
        // The scan found no file on the target's side: its name is free.
        copied = CopyOneFile(source.FileName(), target.FileName(), false, false, &listed, !target.Met());
        SetLogResult(copied);
        ReportLog();
        FileSizeProcessed += source.FFileSize;
        if (copied)
            FWrittenDrives.insert(IncludeTrailingBackslash(ExtractFileDrive(target.FileName())));
        break;
    }
    case faDelete: {
        const TFileData &target = a.Met() ? a : b;
        ReportStatusText(FilePrefix + target.FileName());
        LogEventFileName = target.FileName();
        LogEventAction = DeleteFileAction;
        const bool deleted = DeleteOneFile(target.FileName());
        SetLogResult(deleted);
        ReportLog();
        if (deleted)
            SyncFileLog->ClearDates(pair.RecordID);
        FileSize -= target.FFileSize;
        break;
    }
    case faSkip:
        break;
    }
    if (copied)
        RecordCopiedDates(pair);
}

void TSyncFolderThread::RecordCopiedDates(const TFilePair &pair)
{
    // The copy carries the source's file date. When the new file shows
    // exactly the date the scan listed for the source, the source is as it
    // was listed; otherwise (changed meanwhile, or a date the target's file
    // system cannot hold) its date is read again.
    const bool towardsB = pair.FileAction == faCopyAB;
    const TFileData &source = towardsB ? pair.FileA() : pair.FileB();
    const TFileData &target = towardsB ? pair.FileB() : pair.FileA();
    const TDateTime targetDate = FileDate(target.FileName()).value_or(0);
    const TDateTime sourceDate = targetDate != 0 && targetDate == source.FLastChangeTime
                                     ? targetDate
                                     : FileDate(source.FileName()).value_or(0);
    SyncFileLog->SetDates(pair.RecordID, towardsB ? sourceDate : targetDate,
                          towardsB ? targetDate : sourceDate);
}

void TSyncFolderThread::SyncWrittenDrives()
{
    SyncDrives(std::exchange(FWrittenDrives, {}));
}

void TSyncFolderThread::SyncDrives(const QSet<QString> &drives)
{
    for (const QString &drive : drives)
        SyncFileSystem(drive);
}

} // namespace trovalo
