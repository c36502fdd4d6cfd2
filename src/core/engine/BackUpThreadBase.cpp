#include "engine/BackUpThreadBase.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "db/DatabaseTemplate.h"
#include "db/JobDatabase.h"
#include "engine/TreeCount.h"
#include "model/FileFilter.h"
#include "platform/DriveTable.h"
#include "platform/FileAttributes.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace trovalo {

namespace {

const QString ErrorPrefix = QStringLiteral("Thread Error : Class = TThreadBase : ");

} // namespace

TBackUpThreadBase::TBackUpThreadBase(QObject *parent)
    : TThreadBase(parent)
{}

TBackUpThreadBase::~TBackUpThreadBase() = default;

void TBackUpThreadBase::SetExclude(const QStringList &value)
{
    FExclude = value;
    FExcludeKeys.clear();
    for (const QString &line : FExclude)
        FExcludeKeys.insert(LookupKey(line));
}

bool TBackUpThreadBase::IsExcludedFolder(const QString &path)
{
    return !FExcludeKeys.isEmpty() && FExcludeKeys.contains(LookupKey(path));
}

void TBackUpThreadBase::Execute()
{
    BaseStart();
    if (!FSourcePrefix.isEmpty()) {
        QStringList prefixed;
        for (const QString &line : std::as_const(FExclude))
            prefixed << FSourcePrefix + line;
        SetExclude(prefixed);
    }
    try {
        OpenDatabase();
        PbarPosition = -1;
        StatuesInfo = QStringLiteral(" Searching... ");
        ReportStatus();
        MoveFilesToFileList();
        if (FCalcFileSize) {
            for (const QString &line : std::as_const(FInclude)) {
                if (Terminated())
                    break;
                FileNum += CountFolder(FSourcePrefix + line);
            }
            for (const QString &line : std::as_const(FFileList)) {
                if (Terminated())
                    break;
                const qint64 size = GetFileSize(FSourcePrefix + line);
                if (size != -1) {
                    FileNum += 1;
                    FileSize += size;
                }
            }
        }
        if (Terminated()) {
            StatuesInfo = QStringLiteral("Canceled :(");
            ReportStatus();
        } else {
            ListRefusedEntries();
        }
    } catch (const ETrovaloError &error) {
        Sta = ErrorPrefix + error.Message();
        ErrorCode = -1;
        ReportError();
    } catch (const std::exception &error) {
        Sta = ErrorPrefix + QString::fromLocal8Bit(error.what());
        ErrorCode = -1;
        ReportError();
    }
    PbarPosition = 0;
}

void TBackUpThreadBase::OpenDatabase()
{
    const QString databaseFile = LogFileName();
    if (databaseFile.isEmpty())
        return;
    ForceFolder(ExtractFilePath(databaseFile));
    TDatabaseTemplate::CreateIfMissing(databaseFile, TJobDatabase::TemplateName, &TJobDatabase::CreateSchema);
    DataBase = std::make_unique<TJobDatabase>(databaseFile);
    DataBase->LoadFileIndexInBackground();
    // FileLog must never claim a copy that a power cut could still empty.
    DataBase->SetBeforeFileLogCommit(
        [destination = FDestination] { return [destination] { SyncFileSystem(destination); }; });
    if (qobject_cast<TArchiveThreadBase *>(this))
        ArchiveLogRow = DataBase->StartRun(FDestination, StartTime(), FArchiveMode);
}

void TBackUpThreadBase::MoveFilesToFileList()
{
    std::stable_sort(FInclude.begin(), FInclude.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    for (qsizetype i = FInclude.size() - 1; i >= 0; --i) {
        const QString path = FSourcePrefix + FInclude.at(i);
        if (!FileExists(path))
            continue;
        // A file already listed stays in Include, where it names no folder.
        if (!FFileList.contains(path, Qt::CaseInsensitive)) {
            FFileList.append(path);
            FInclude.removeAt(i);
        }
    }
}

qint64 TBackUpThreadBase::CountFolder(const QString &path)
{
    TTreeCount count([this](const QString &folder) { return IsExcludedFolder(folder); },
                     [this] { return Terminated(); });
    count.Run(path, [this](const QString &folder) {
        StatuesInfo = QStringLiteral(" Searching...") + folder;
        ReportStatus();
    });
    FileSize += count.Bytes();
    count.TakeListings(FCountedListings);
    return count.Items();
}

bool TBackUpThreadBase::ListSourceFolder(const QString &path, std::vector<TFolderEntry> &entries)
{
    const auto counted = FCountedListings.find(path);
    if (counted == FCountedListings.end())
        return ListFolder(path, entries);
    entries = std::move(*counted);
    FCountedListings.erase(counted);
    return true;
}

QString TBackUpThreadBase::FileLogKey(const QString &path)
{
    return FPathKeys.KeyOf(path);
}

const std::vector<TFolderEntry> *TBackUpThreadBase::CountedListing(const QString &path) const
{
    const auto counted = FCountedListings.constFind(path);
    return counted == FCountedListings.constEnd() ? nullptr : &*counted;
}

QHash<QString, QString> TBackUpThreadBase::RefusedEntries(const std::vector<TFolderEntry> &entries,
                                                          const QString &targetDir)
{
    QHash<QString, QString> refused;
    const TFileSystemLimits limits = TargetLimits(targetDir);
    if (!limits.Any())
        return refused;
    QHash<QString, QString> firstOfKey;
    for (const TFolderEntry &entry : entries) {
        if (!entry.IsFile() && !entry.IsFolder())
            continue;
        QString why =
            entry.IsFile() ? limits.FileRefusal(entry.Name, entry.Size) : limits.NameRefusal(entry.Name);
        if (why.isEmpty() && limits.CaseInsensitive()) {
            const QString key = entry.Name.toCaseFolded();
            const auto first = firstOfKey.constFind(key);
            if (first == firstOfKey.constEnd())
                firstOfKey.insert(key, entry.Name);
            else
                why = QStringLiteral("Not copied: its name differs only in letter case from %1, "
                                     "which a FAT drive cannot hold beside it")
                          .arg(*first);
        }
        if (!why.isEmpty())
            refused.insert(entry.Name, why);
    }
    return refused;
}

bool TBackUpThreadBase::LeaveOutRefusedFile(const QString &source, const QString &name, qint64 size,
                                            const QString &targetDir)
{
    const QString why = TargetLimits(targetDir).FileRefusal(name, size);
    if (why.isEmpty())
        return false;
    LogRefused(source, why);
    FileSize -= size;
    ++PbarPosition;
    return true;
}

TFileSystemLimits TBackUpThreadBase::TargetLimits(const QString &targetDir)
{
    const TFileSystemLimits &limits = FTargetLimits.Of(targetDir);
    return WritesFilesByName() ? limits : limits.SizesOnly();
}

void TBackUpThreadBase::SkipRefusedEntry(const QString &sourceDir, const TFolderEntry &entry,
                                         const QString &reason)
{
    const QString path = sourceDir + entry.Name;
    if (!FListedRefusals.contains(path) && !LeftOut(sourceDir, entry))
        LogRefused(path, reason);
    ++PbarPosition;
    if (entry.IsFile())
        FileSize -= entry.Size;
    else
        ForgetCountedTree(path + QLatin1Char('\\'));
    ReportStatus();
}

bool TBackUpThreadBase::LeftOut(const QString &sourceDir, const TFolderEntry &entry)
{
    const QString path = sourceDir + entry.Name;
    return entry.IsFolder() ? IsExcludedFolder(path + QLatin1Char('\\'))
                            : IsFiltered(entry.Name, sourceDir, path);
}

void TBackUpThreadBase::LogRefused(const QString &path, const QString &reason)
{
    LogSkipped(path, RefusalAction(), reason);
}

void TBackUpThreadBase::ListRefusedEntries()
{
    const QString target = RefusalCheckTarget();
    if (target.isEmpty() || !TargetLimits(target).Any() || FCountedListings.isEmpty())
        return;
    QStringList folders = FCountedListings.keys();
    folders.sort();
    QStringList refusedFolders;
    for (const QString &folder : std::as_const(folders)) {
        const bool inRefused =
            std::any_of(refusedFolders.cbegin(), refusedFolders.cend(),
                        [&](const QString &refused) { return folder.startsWith(refused); });
        if (inRefused)
            continue;
        const std::vector<TFolderEntry> &entries = *FCountedListings.constFind(folder);
        const QHash<QString, QString> refused = RefusedEntries(entries, target);
        for (const TFolderEntry &entry : entries) {
            const auto why = refused.constFind(entry.Name);
            if (why == refused.constEnd())
                continue;
            if (LeftOut(folder, entry))
                continue;
            const QString path = folder + entry.Name;
            LogRefused(path, *why);
            FListedRefusals.insert(path);
            if (entry.IsFolder())
                refusedFolders << path + QLatin1Char('\\');
        }
    }
}

void TBackUpThreadBase::ForgetCountedTree(const QString &folder)
{
    for (auto listing = FCountedListings.begin(); listing != FCountedListings.end();) {
        if (!listing.key().startsWith(folder)) {
            ++listing;
            continue;
        }
        for (const TFolderEntry &entry : listing.value()) {
            ++PbarPosition;
            FileSize -= entry.IsFile() ? entry.Size : 0;
        }
        listing = FCountedListings.erase(listing);
    }
}

void TBackUpThreadBase::SetArchiveLogStatus(const QString &status)
{
    if (DataBase && ArchiveLogRow != 0)
        DataBase->FinishRun(ArchiveLogRow, status);
}

bool TBackUpThreadBase::IsFiltered(const QString &name, const QString &folder, const QString &path)
{
    return IsExcludedFile(FileFilter(), name, folder) || IsExcludedFolder(path);
}

void TBackUpThreadBase::LogSkippedEntry(const QString &sourceDir, const TFolderEntry &entry,
                                        const QString &action)
{
    // Counted as one item by the preparation, whatever happens to it.
    ++PbarPosition;
    const QString path = sourceDir + entry.Name;
    const bool excluded = entry.Kind == TFolderEntry::ekLinkToFolder
                              ? IsExcludedFolder(path + QLatin1Char('\\'))
                              : IsFiltered(entry.Name, sourceDir, path);
    if (!excluded) {
        LogEventFileName = path;
        LogEventAction = action;
        switch (entry.Kind) {
        case TFolderEntry::ekLinkToFolder:
            LogEvent = eFailedorSkip;
            LogEventInfo = QStringLiteral("Symbolic link to a folder: not followed");
            break;
        case TFolderEntry::ekBrokenLink:
            LastError = ENOENT;
            SetLogResult(false);
            break;
        default:
            LogEvent = eFailedorSkip;
            LogEventInfo = QStringLiteral("Not a regular file: not copied");
            break;
        }
        ReportLog();
    }
    StatuesInfo.clear();
    ReportStatus();
}

void TBackUpThreadBase::ReportArchiveError(const QString &message, int code)
{
    Sta = QLatin1Char('(') + QString::number(code) + QStringLiteral(") ") + message;
    ErrorCode = code;
    ReportError();
}

} // namespace trovalo
