#include "model/JobFiles.h"

#include "base/PathText.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"

#include <array>

namespace trovalo {

namespace {

struct TJobKindInfo
{
    TJobKind Kind;
    const char *Extension;
    const char *NamePrefix;        // below the drive root; null: never created here
    const char *DatabaseExtension; // null: no single database beside the file
};

constexpr std::array<TJobKindInfo, 4> JobKinds = {{
    {TJobKind::Backup, ".Zja", "Config\\Backup", ".Zjd"},
    {TJobKind::Move, ".Zjm", "Config\\Move ", ".Zjd"},
    {TJobKind::Sync, ".Zjs", "Config\\sync ", ".Zjt"},
    {TJobKind::PCSync, ".Zjp", nullptr, nullptr},
}};

static_assert(JobKinds[size_t(TJobKind::Move)].Kind == TJobKind::Move &&
              JobKinds[size_t(TJobKind::PCSync)].Kind == TJobKind::PCSync);

const TJobKindInfo &InfoOf(TJobKind kind)
{
    return JobKinds[static_cast<size_t>(kind)];
}

struct TBackupSystemRow
{
    TBackupSystemChoice Choice;
    const char *Caption;
};

constexpr std::array<TBackupSystemRow, 5> BackupSystems = {{
    {{amMirror, atFile}, "Mirror"},
    {{amIncremental, atFile}, "Incremental backup"},
    {{amCompletelyNew, atImage}, "Zip archive"},
    {{amTimeStampedIncremental, atFile}, "Versions tracking"},
    {{amTimeStampedIncremental, atImage}, "Version tracking with zip compressoin"},
}};

bool IsBackupSystem(int index)
{
    return index >= 0 && index < BackupSystemCount();
}

} // namespace

std::optional<TJobKind> JobKindOfFile(const QString &fileName)
{
    const QString extension = ExtractFileExt(fileName);
    for (const TJobKindInfo &info : JobKinds)
        if (extension.compare(QLatin1String(info.Extension), Qt::CaseInsensitive) == 0)
            return info.Kind;
    return std::nullopt;
}

QString JobFileExtension(TJobKind kind)
{
    return QLatin1String(InfoOf(kind).Extension);
}

TJobKind ArchiveJobKind(const TArchiveData &job)
{
    return job.IsMoveJob() ? TJobKind::Move : TJobKind::Backup;
}

QString NewJobFileName(const QString &driveRoot, TJobKind kind, const QDateTime &time)
{
    const TJobKindInfo &info = InfoOf(kind);
    if (!info.NamePrefix)
        return {};
    return IncludeTrailingBackslash(driveRoot) + QLatin1String(info.NamePrefix) + JobFileNameTime(time) +
           QLatin1String(info.Extension);
}

QString JobFileNameTime(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss zzz"));
}

QString JobDatabaseFileName(const QString &jobFile)
{
    const std::optional<TJobKind> kind = JobKindOfFile(jobFile);
    return kind ? JobDatabaseFileName(jobFile, *kind) : QString();
}

QString JobDatabaseFileName(const QString &jobFile, TJobKind kind)
{
    const char *extension = InfoOf(kind).DatabaseExtension;
    return extension ? ChangeFileExt(jobFile, QLatin1String(extension)) : QString();
}

QString PCSyncDatabaseFileName(const QString &jobFile, const QString &itemId)
{
    if (itemId.trimmed().isEmpty() || itemId.contains(QLatin1Char('\\')) ||
        itemId.contains(QLatin1Char('/')) || itemId.contains(QLatin1Char(':')))
        return {};
    return ExtractFilePath(jobFile) + itemId + QStringLiteral(".Zjt");
}

QStringList JobDatabaseFileNames(const QString &jobFile, const TPCSyncData *pcJob)
{
    QStringList files;
    if (!pcJob) {
        files << JobDatabaseFileName(jobFile);
    } else {
        const TSyncDataItems &items = *pcJob->SyncDataItems();
        for (int i = 0; i < items.Count(); ++i)
            files << PCSyncDatabaseFileName(jobFile, items[i]->ID());
    }
    files.removeAll(QString());
    files.removeDuplicates();
    return files;
}

QString JobKindCaption(TJobKind kind, TArchiveDir dir)
{
    switch (kind) {
    case TJobKind::Backup:
        switch (dir) {
        case amUsbToPc:
            return QStringLiteral("Backup From USB");
        case amPcToUsb:
            return QStringLiteral("Backup To USB");
        case amUsbToUSB:
            return QStringLiteral("USB To USB");
        }
        break;
    case TJobKind::Move:
        switch (dir) {
        case amUsbToPc:
            return QStringLiteral("Move From USB");
        case amPcToUsb:
            return QStringLiteral("Move To USB");
        case amUsbToUSB:
            break;
        }
        break;
    case TJobKind::Sync:
        return QStringLiteral("File / Folder Sync");
    case TJobKind::PCSync:
        return QStringLiteral("PC-PC Sync");
    }
    return {};
}

int ChoosePCSyncItem(const TPCSyncData &job, const QString &pcId)
{
    const TSyncDataItems &items = *job.SyncDataItems();
    for (int i = 0; i < items.Count(); ++i)
        if (items[i]->PCID() == pcId)
            return i;
    return -1;
}

bool IsJobOfOtherComputer(const QString &jobPcId, const QString &pcId)
{
    return jobPcId != pcId;
}

int BackupSystemCount()
{
    return static_cast<int>(BackupSystems.size());
}

std::optional<TBackupSystemChoice> BackupSystemMode(int index)
{
    if (!IsBackupSystem(index))
        return std::nullopt;
    return BackupSystems[static_cast<size_t>(index)].Choice;
}

int BackupSystemIndex(TArchiveMode mode, TArchiveType type)
{
    for (int i = 0; i < BackupSystemCount(); ++i) {
        const TBackupSystemChoice &choice = BackupSystems[static_cast<size_t>(i)].Choice;
        if (choice.Mode == mode && choice.Type == type)
            return i;
    }
    return -1;
}

QString BackupSystemCaption(int index)
{
    return IsBackupSystem(index) ? QLatin1String(BackupSystems[static_cast<size_t>(index)].Caption)
                                 : QString();
}

QStringList BackupSystemCaptions()
{
    QStringList captions;
    for (int i = 0; i < BackupSystemCount(); ++i)
        captions << BackupSystemCaption(i);
    return captions;
}

void ApplyNewArchiveJobDefaults(TArchiveData &job, const QString &pcId)
{
    job.SetCreateDate(DateTimeNow());
    job.SetLastUpdate(0);
    job.SetArchiveMode(amIncremental);
    job.SetArchiveType(atFile);
    job.SetPassword(QString());
    job.SetHost(QString());
    job.SetUserName(QString());
    job.SetPort(21);
    job.SetPassiveConnection(false);
    job.SetPath(QStringLiteral("/"));
    job.SetFolderList({});
    job.SetExcludeList({});
    job.SetFileList({});
    job.SetPCID(pcId);
}

} // namespace trovalo
