#include "DriveTable.h"

#include "DriveDiscovery.h"
#include "DriveLetterMemory.h"
#include "DriveMap.h"
#include "DriveOverride.h"
#include "base/Exceptions.h"
#include "base/Logging.h"
#include "base/PathText.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>

#include <sys/vfs.h>

namespace trovalo {

namespace {
const char *const DrivesVariable = "TROVALO_DRIVES";

// statfs tells only "FUSE": the mount table names the driver
// ("fuse.fusefat"), the last mount on the folder counting.
QString FuseTypeOf(const QString &nativeFolder)
{
    QString type = QStringLiteral("fuse");
    const QString folder = QDir::cleanPath(nativeFolder);
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly))
        return type;
    for (const TMountEntry &entry : ParseMountInfo(QString::fromUtf8(mountInfo.readAll())))
        if (entry.MountPoint == folder && entry.FileSystem.startsWith(QLatin1String("fuse")))
            type = entry.FileSystem;
    return type;
}

QString FileSystemNameOf(const QString &nativeFolder)
{
    struct statfs info
    {
    };
    if (::statfs(QFile::encodeName(nativeFolder).constData(), &info) != 0)
        return {};
    switch (static_cast<quint32>(info.f_type)) {
    case 0xEF53:
        return QStringLiteral("ext4");
    case 0x4D44:
        return QStringLiteral("vfat");
    case 0x2011BAB0:
        return QStringLiteral("exfat");
    case 0x5346544E:
        return QStringLiteral("ntfs");
    case 0x65735546:
        return FuseTypeOf(nativeFolder);
    case 0x01021994:
        return QStringLiteral("tmpfs");
    case 0x9123683E:
        return QStringLiteral("btrfs");
    case 0x58465342:
        return QStringLiteral("xfs");
    case 0x794C7630:
        return QStringLiteral("overlay");
    case 0xFF534D42:
        return QStringLiteral("cifs");
    case 0xFE534D42:
        return QStringLiteral("smb3");
    case 0x6969:
        return QStringLiteral("nfs");
    case 0x2FC12FC1:
        return QStringLiteral("zfs");
    case 0xF2F52010:
        return QStringLiteral("f2fs");
    case 0x9660:
        return QStringLiteral("iso9660");
    case 0x15013346:
        return QStringLiteral("udf");
    default:
        return {};
    }
}

QString LetterList(const QList<TDriveInfo> &drives)
{
    QStringList letters;
    for (const TDriveInfo &drive : drives)
        letters << QString(drive.Letter) + QLatin1Char(':');
    return letters.join(QStringLiteral(", "));
}

QString Described(const TDriveInfo &drive)
{
    QStringList details;
    for (const QString &detail : {drive.Label, drive.FileSystem, drive.BusType, drive.Device})
        if (!detail.isEmpty())
            details << detail;
    return drive.Root + QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
}

const TDriveInfo *WithLetter(const QList<TDriveInfo> &drives, QChar letter)
{
    const auto found = std::find_if(drives.cbegin(), drives.cend(),
                                    [&](const TDriveInfo &drive) { return drive.Letter == letter; });
    return found == drives.cend() ? nullptr : &*found;
}

// A letter that comes, goes or is given to another volume.
void LogDriveChanges(const QList<TDriveInfo> &before, const QList<TDriveInfo> &after)
{
    for (const TDriveInfo &drive : after) {
        const TDriveInfo *old = WithLetter(before, drive.Letter);
        if (!old)
            qCInfo(LogDrives).noquote()
                << QStringLiteral("Drive %1: appeared: %2").arg(drive.Letter).arg(Described(drive));
        else if (old->Root != drive.Root || old->Uuid != drive.Uuid || old->Device != drive.Device)
            qCInfo(LogDrives).noquote() << QStringLiteral("Drive %1: is now %2, was %3")
                                               .arg(drive.Letter)
                                               .arg(Described(drive), Described(*old));
    }
    for (const TDriveInfo &drive : before)
        if (!WithLetter(after, drive.Letter))
            qCInfo(LogDrives).noquote()
                << QStringLiteral("Drive %1: went away: %2").arg(drive.Letter).arg(Described(drive));
}
} // namespace

struct TDriveTable::TSnapshot
{
    TDriveMap Map;
    bool Overridden = false;
    QString OverrideError;
};

struct TDriveTable::TPrivate
{
    mutable QMutex Mutex; // guards Current
    std::shared_ptr<const TSnapshot> Current;
    QMutex RefreshMutex; // one rebuild at a time (the letter memory file)
    QString ReportedError;

    // The table refused: empty, with the reason, reported once.
    void Refuse(TSnapshot &snapshot, const QString &error)
    {
        snapshot.OverrideError = error;
        if (error != ReportedError)
            qCWarning(LogDrives).noquote()
                << QStringLiteral("Trovalo: TROVALO_DRIVES is not valid, so no drive is known: ") + error;
        ReportedError = error;
    }

    // TROVALO_DRIVES="@/file": the same entries, read from the file.
    void BuildFromOverrideFile(TSnapshot &snapshot, const QString &fileName)
    {
        snapshot.Overridden = true;
        QString error;
        const std::optional<QString> text = ReadDriveOverrideFile(fileName, &error);
        if (!text)
            return Refuse(snapshot, error);
        BuildFromOverride(snapshot, *text, QStringLiteral("the drive-table file %1: ").arg(fileName));
    }

    void BuildFromOverride(TSnapshot &snapshot, const QString &text, const QString &errorPrefix = {})
    {
        snapshot.Overridden = true;
        QString error;
        const std::optional<QList<TDriveOverride>> parsed = ParseDriveOverride(text, &error);
        if (!parsed)
            return Refuse(snapshot, errorPrefix + error);
        ReportedError.clear();
        std::optional<TDiscoveryInput> realSystem; // read only when a serial must be found
        QList<TDriveInfo> drives;
        for (const TDriveOverride &entry : *parsed) {
            TDriveInfo drive = entry.Info;
            if (!entry.FileSystemGiven)
                drive.FileSystem = FileSystemNameOf(drive.Root);
            if (!entry.SerialGiven) {
                if (!realSystem)
                    realSystem = ReadDiscoveryInput();
                drive.Serial = RealVolumeSerial(*realSystem, drive.Root);
            }
            drives << drive;
        }
        std::sort(drives.begin(), drives.end(),
                  [](const TDriveInfo &a, const TDriveInfo &b) { return a.Letter < b.Letter; });
        snapshot.Map = TDriveMap(drives, {});
    }

    static void BuildFromDiscovery(TSnapshot &snapshot)
    {
        TDriveLetterMemory memory(TDriveLetterMemory::DefaultFileName());
        memory.Load();
        TDiscoveredDrives found = DiscoverDrives(ReadDiscoveryInput(), memory);
        if (!memory.Save())
            qCWarning(LogDrives).noquote()
                << QStringLiteral("Trovalo: could not write the drive letters to %1")
                       .arg(TDriveLetterMemory::DefaultFileName());
        snapshot.Map = TDriveMap(found.Drives, found.Shares);
    }
};

TDriveTable &TDriveTable::Instance()
{
    static TDriveTable table;
    return table;
}

TDriveTable::TDriveTable()
    : d(std::make_unique<TPrivate>())
{
    Refresh();
}

TDriveTable::~TDriveTable() = default;

void TDriveTable::Refresh()
{
    QMutexLocker refreshLock(&d->RefreshMutex);
    auto snapshot = std::make_shared<TSnapshot>();
    const QString fileName = DriveOverrideFileName(qEnvironmentVariable(DrivesVariable));
    if (!fileName.isEmpty())
        d->BuildFromOverrideFile(*snapshot, fileName);
    else if (qEnvironmentVariableIsSet(DrivesVariable))
        d->BuildFromOverride(*snapshot, qEnvironmentVariable(DrivesVariable));
    else
        TPrivate::BuildFromDiscovery(*snapshot);
    const std::shared_ptr<const TSnapshot> previous = Snapshot();
    LogDriveChanges(previous ? previous->Map.Drives() : QList<TDriveInfo>(), snapshot->Map.Drives());
    QMutexLocker lock(&d->Mutex);
    d->Current = std::move(snapshot);
}

std::shared_ptr<const TDriveTable::TSnapshot> TDriveTable::Snapshot() const
{
    QMutexLocker lock(&d->Mutex);
    return d->Current;
}

std::shared_ptr<const TDriveMap> TDriveTable::Map() const
{
    std::shared_ptr<const TSnapshot> snapshot = Snapshot();
    return std::shared_ptr<const TDriveMap>(snapshot, &snapshot->Map);
}

QList<TDriveInfo> TDriveTable::Drives() const
{
    return Snapshot()->Map.Drives();
}

std::optional<TDriveInfo> TDriveTable::Drive(QChar letter) const
{
    const auto snapshot = Snapshot();
    const TDriveInfo *drive = snapshot->Map.Drive(letter);
    return drive ? std::optional<TDriveInfo>(*drive) : std::nullopt;
}

std::optional<TDriveInfo> TDriveTable::DriveOfNative(const QString &nativePath) const
{
    const auto snapshot = Snapshot();
    const TDriveInfo *drive = snapshot->Map.DriveOfNative(nativePath);
    return drive ? std::optional<TDriveInfo>(*drive) : std::nullopt;
}

bool TDriveTable::IsOverridden() const
{
    return Snapshot()->Overridden;
}

QString TDriveTable::OverrideError() const
{
    return Snapshot()->OverrideError;
}

namespace {
QString KnownDrivesText(const TDriveTable &table, const TDriveMap &map)
{
    if (!table.IsOverridden())
        return QStringLiteral("the drives are %1").arg(LetterList(map.Drives()));
    const QString error = table.OverrideError();
    if (!error.isEmpty())
        return QStringLiteral("TROVALO_DRIVES is not valid: %1").arg(error);
    return QStringLiteral("TROVALO_DRIVES names %1").arg(LetterList(map.Drives()));
}

QString FaultMessage(const QString &path, TPathFault fault, const TDriveMap &map)
{
    QString normalized = path;
    normalized.replace(QLatin1Char('/'), QLatin1Char('\\'));
    switch (fault) {
    case TPathFault::NoSuchDrive:
        return QStringLiteral("%1: there is no drive %2: on this computer").arg(path, path.left(1).toUpper());
    case TPathFault::DotFolder:
        return QStringLiteral("%1: a path may not contain \".\" or \"..\" folders").arg(path);
    case TPathFault::ShareNotMounted:
        return QStringLiteral("%1: the network share %2 is not mounted on this computer")
            .arg(path, ExtractFileDrive(normalized));
    case TPathFault::NotAbsolute:
        return QStringLiteral("%1: this is not an absolute path").arg(path);
    case TPathFault::OutsideDrives:
        return QStringLiteral("%1: this folder is on none of the drives Trovalo knows (%2)")
            .arg(path, KnownDrivesText(TDriveTable::Instance(), map));
    case TPathFault::NulCharacter:
        return QStringLiteral("%1: the path contains a NUL character").arg(path);
    case TPathFault::NotLetterForm:
    case TPathFault::None:
        break;
    }
    return QStringLiteral("%1: this is not a full path with a drive letter (such as E:\\Folder\\File.txt)")
        .arg(path);
}

bool LooksLikeLetterForm(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\")))
        return true;
    return path.size() >= 2 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':') &&
           (path.size() == 2 || path.at(2) == QLatin1Char('\\') || path.at(2) == QLatin1Char('/'));
}

// The letter form as a user may type it, written the way the program keeps
// it: upper-case letter, backslashes, no empty folder names.
QString NormalizedLetterForm(const QString &path)
{
    QString text = path;
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const bool folderForm = text.endsWith(QLatin1Char('\\'));
    const bool share = text.startsWith(QLatin1String("\\\\"));
    const QStringList names = (share ? text : text.mid(2)).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (share)
        return QStringLiteral("\\\\") + names.join(QLatin1Char('\\')) +
               (folderForm ? QStringLiteral("\\") : QString());
    const QString root = text.left(1).toUpper() + QStringLiteral(":\\");
    if (names.isEmpty())
        return root;
    return root + names.join(QLatin1Char('\\')) + (folderForm ? QStringLiteral("\\") : QString());
}
} // namespace

std::optional<QString> ToNativePath(const QString &letterPath)
{
    return TDriveTable::Instance().Map()->ToNative(letterPath);
}

std::optional<QString> ToLetterPath(const QString &nativePath)
{
    return TDriveTable::Instance().Map()->ToLetter(nativePath);
}

QString NativePath(const QString &letterPath)
{
    const auto map = TDriveTable::Instance().Map();
    TPathFault fault = TPathFault::None;
    if (const std::optional<QString> native = map->ToNative(letterPath, &fault))
        return *native;
    throw EPathError(FaultMessage(letterPath, fault, *map));
}

QString LetterPath(const QString &nativePath)
{
    const auto map = TDriveTable::Instance().Map();
    TPathFault fault = TPathFault::None;
    if (const std::optional<QString> letter = map->ToLetter(nativePath, &fault))
        return *letter;
    throw EPathError(FaultMessage(nativePath, fault, *map));
}

QString WithNative(const QString &letterPath)
{
    const std::optional<QString> native = ToNativePath(letterPath);
    return native ? QStringLiteral("%1  (%2)").arg(letterPath, *native) : letterPath;
}

QString FileSystemOfPath(const QString &letterPath)
{
    const QString drive = ExtractFileDrive(letterPath);
    if (drive.size() != 2)
        return {};
    const std::optional<TDriveInfo> info = TDriveTable::Instance().Drive(drive.at(0));
    return info ? info->FileSystem : QString();
}

QString LetterPathFromUserInput(const QString &path)
{
    if (path.isEmpty())
        throw EPathError(QStringLiteral("An empty text names no file or folder."));
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return LetterPath(QDir::homePath() + path.mid(1));
    if (path.startsWith(QLatin1Char('/')))
        return LetterPath(path);
    if (!path.startsWith(QLatin1Char('.')) && !path.startsWith(QLatin1Char('~')) &&
        LooksLikeLetterForm(path)) {
        NativePath(path); // refuses unknown drives, unmounted shares and ".." with a clear message
        return NormalizedLetterForm(path);
    }
    QString absolute = QDir::current().absoluteFilePath(path);
    if (path.endsWith(QLatin1Char('/')) && !absolute.endsWith(QLatin1Char('/')))
        absolute += QLatin1Char('/');
    return LetterPath(absolute);
}

} // namespace trovalo
