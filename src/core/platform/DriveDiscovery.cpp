#include "DriveDiscovery.h"

#include "DriveLetterMemory.h"
#include "VolumeInfo.h"
#include "base/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace trovalo {

namespace {
const QString DevPrefix = QStringLiteral("/dev/");

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

// The kernel writes blanks, tabs, newlines and backslashes in mount table
// fields as three-digit octal escapes (\040).
QString UnescapeMountField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size() && IsOctal(field.at(i + 1)) &&
            IsOctal(field.at(i + 2)) && IsOctal(field.at(i + 3))) {
            out += static_cast<char>((field.at(i + 1) - '0') * 64 + (field.at(i + 2) - '0') * 8 +
                                     (field.at(i + 3) - '0'));
            i += 3;
        } else {
            out += field.at(i);
        }
    }
    return QString::fromUtf8(out);
}

QString ReadTextFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// A later mount on the same point hides the earlier one.
QList<TMountEntry> VisibleMounts(const QString &mountInfo)
{
    const QList<TMountEntry> all = ParseMountInfo(mountInfo);
    QHash<QString, qsizetype> lastByPoint;
    for (qsizetype i = 0; i < all.size(); ++i)
        lastByPoint.insert(all.at(i).MountPoint, i);
    QList<TMountEntry> visible;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (lastByPoint.value(all.at(i).MountPoint) == i)
            visible << all.at(i);
    }
    return visible;
}

bool IsRemovableMountPoint(const QString &mountPoint)
{
    static const QStringList prefixes = {QStringLiteral("/media/"), QStringLiteral("/run/media/"),
                                         QStringLiteral("/mnt/")};
    return std::any_of(prefixes.cbegin(), prefixes.cend(), [&](const QString &prefix) {
        return mountPoint.startsWith(prefix) && mountPoint.size() > prefix.size();
    });
}

bool IsNetworkShare(const TMountEntry &entry)
{
    static const QStringList types = {QStringLiteral("cifs"), QStringLiteral("smb3"),
                                      QStringLiteral("smbfs")};
    return types.contains(entry.FileSystem) && entry.Source.startsWith(QLatin1String("//"));
}

QString CanonicalSource(const TDiscoveryInput &input, const TMountEntry &entry)
{
    if (!entry.Source.startsWith(DevPrefix))
        return {};
    return input.CanonicalDevice ? input.CanonicalDevice(entry.Source) : entry.Source;
}

QString LinkNameFor(const QList<TDiskLink> &links, const TMountEntry &entry, const QString &canonicalSource)
{
    for (const TDiskLink &link : links) {
        // Btrfs and some others report an anonymous device number, so the
        // device file is compared as well.
        if ((!link.DeviceNumber.isEmpty() && link.DeviceNumber == entry.DeviceNumber) ||
            (!canonicalSource.isEmpty() && link.DevicePath == canonicalSource))
            return DecodeDiskLinkName(link.Name);
    }
    return {};
}

TDriveInfo DescribeVolume(const TDiscoveryInput &input, const TMountEntry &entry, QChar letter)
{
    const QString device = CanonicalSource(input, entry);
    TDriveInfo drive;
    drive.Letter = letter;
    drive.Root = entry.MountPoint;
    drive.FileSystem = entry.FileSystem;
    drive.Device = device.isEmpty() ? entry.Source : device;
    drive.Label = LinkNameFor(input.ByLabel, entry, device);
    drive.Uuid = LinkNameFor(input.ByUuid, entry, device);
    drive.BusType = input.BusTypeOf ? input.BusTypeOf(entry) : QString();
    if (!drive.Uuid.isEmpty())
        drive.Serial = SerialFromUuid(drive.Uuid);
    // Containers and some virtual machines have no /dev/disk for the root
    // volume; the machine ID is just as stable there.
    if (!drive.Serial && entry.MountPoint == QLatin1String("/"))
        drive.Serial = input.MachineSerial;
    return drive;
}

TDriveInfo SystemDrive(const TDiscoveryInput &input, const QList<TMountEntry> &mounts)
{
    for (const TMountEntry &entry : mounts) {
        if (entry.MountPoint == QLatin1String("/"))
            return DescribeVolume(input, entry, QLatin1Char('C'));
    }
    TDriveInfo drive;
    drive.Letter = QLatin1Char('C');
    drive.Root = QStringLiteral("/");
    drive.Serial = input.MachineSerial;
    return drive;
}

QString ResolvedSysfsPath(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Device-mapper volumes (encrypted sticks, LVM) sit on the disk listed
// under "slaves"; their own sysfs path is virtual.
QString BusTypeOfSysfsDevice(const QString &resolved, int depth)
{
    const QString bus = BusTypeFromSysfsPath(resolved);
    if (!bus.isEmpty() || depth > 4 || resolved.isEmpty())
        return bus;
    const QStringList slaves =
        QDir(resolved + QStringLiteral("/slaves")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (slaves.isEmpty())
        return bus;
    return BusTypeOfSysfsDevice(ResolvedSysfsPath(resolved + QStringLiteral("/slaves/") + slaves.first()),
                                depth + 1);
}

QString SystemBusType(const TMountEntry &entry)
{
    QString sysfs;
    if (entry.Source.startsWith(DevPrefix)) {
        const QString name = QFileInfo(QFileInfo(entry.Source).canonicalFilePath()).fileName();
        if (!name.isEmpty() && QFileInfo::exists(QStringLiteral("/sys/class/block/") + name))
            sysfs = QStringLiteral("/sys/class/block/") + name;
    }
    if (sysfs.isEmpty())
        sysfs = QStringLiteral("/sys/dev/block/") + entry.DeviceNumber;
    return BusTypeOfSysfsDevice(ResolvedSysfsPath(sysfs), 0);
}
} // namespace

QList<TMountEntry> ParseMountInfo(const QString &text)
{
    QList<TMountEntry> entries;
    for (const QByteArray &line : text.toUtf8().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf(QByteArray("-"));
        if (separator < 6 || fields.size() < separator + 3)
            continue;
        TMountEntry entry;
        entry.DeviceNumber = QString::fromLatin1(fields.at(2));
        entry.Root = UnescapeMountField(fields.at(3));
        entry.MountPoint = UnescapeMountField(fields.at(4));
        entry.FileSystem = UnescapeMountField(fields.at(separator + 1));
        entry.Source = UnescapeMountField(fields.at(separator + 2));
        entry.MountId = QString::fromLatin1(fields.at(0));
        entries << entry;
    }
    return entries;
}

QString DecodeDiskLinkName(const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\\' && i + 3 < bytes.size() && bytes.at(i + 1) == 'x' &&
            HexValue(bytes.at(i + 2)) >= 0 && HexValue(bytes.at(i + 3)) >= 0) {
            out += static_cast<char>(HexValue(bytes.at(i + 2)) * 16 + HexValue(bytes.at(i + 3)));
            i += 3;
        } else {
            out += bytes.at(i);
        }
    }
    return QString::fromUtf8(out);
}

QList<TDiskLink> ReadDiskLinks(const QString &folder)
{
    QList<TDiskLink> links;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        struct stat info
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISBLK(info.st_mode))
            continue;
        links << TDiskLink{name, QStringLiteral("%1:%2").arg(major(info.st_rdev)).arg(minor(info.st_rdev)),
                           QFileInfo(path).canonicalFilePath()};
    }
    return links;
}

QString BusTypeFromSysfsPath(const QString &resolvedPath)
{
    const QStringList components = resolvedPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const auto any = [&](const char *prefix) {
        return std::any_of(components.cbegin(), components.cend(),
                           [&](const QString &c) { return c.startsWith(QLatin1String(prefix)); });
    };
    if (any("usb"))
        return QStringLiteral("USB");
    if (any("nvme"))
        return QStringLiteral("NVME");
    if (any("ata"))
        return QStringLiteral("ATA");
    if (any("virtio"))
        return QStringLiteral("VIRTIO");
    if (any("mmc"))
        return QStringLiteral("MMC");
    return {};
}

TDiscoveryInput ReadDiscoveryInput()
{
    TDiscoveryInput input;
    input.MountInfo = ReadTextFile(QStringLiteral("/proc/self/mountinfo"));
    input.ByLabel = ReadDiskLinks(QStringLiteral("/dev/disk/by-label"));
    input.ByUuid = ReadDiskLinks(QStringLiteral("/dev/disk/by-uuid"));
    QString machineId = ReadTextFile(QStringLiteral("/etc/machine-id"));
    if (machineId.trimmed().isEmpty())
        machineId = ReadTextFile(QStringLiteral("/var/lib/dbus/machine-id"));
    input.MachineSerial = SerialFromMachineId(machineId);
    input.BusTypeOf = SystemBusType;
    input.CanonicalDevice = [](const QString &device) {
        const QString canonical = QFileInfo(device).canonicalFilePath();
        return canonical.isEmpty() ? device : canonical;
    };
    return input;
}

TDiscoveredDrives DiscoverDrives(const TDiscoveryInput &input, TDriveLetterMemory &memory)
{
    const QList<TMountEntry> mounts = VisibleMounts(input.MountInfo);
    TDiscoveredDrives result;
    result.Drives << SystemDrive(input, mounts);

    QList<const TMountEntry *> volumes;
    QStringList keys;
    QSet<QString> devices;
    for (const TMountEntry &entry : mounts) {
        if (entry.MountPoint == QLatin1String("/"))
            devices.insert(entry.DeviceNumber);
    }
    for (const TMountEntry &entry : mounts) {
        if (IsNetworkShare(entry)) {
            QString unc = entry.Source;
            unc.replace(QLatin1Char('/'), QLatin1Char('\\'));
            while (unc.endsWith(QLatin1Char('\\')))
                unc.chop(1);
            result.Shares << TNetworkShare{unc, entry.MountPoint};
            continue;
        }
        // Each volume once, and only whole volumes: a bind mount of a folder
        // is not a drive of its own.
        if (!entry.Source.startsWith(DevPrefix) || entry.Root != QLatin1String("/") ||
            !IsRemovableMountPoint(entry.MountPoint) || devices.contains(entry.DeviceNumber))
            continue;
        devices.insert(entry.DeviceNumber);
        volumes << &entry;
        const QString device = CanonicalSource(input, entry);
        keys << TDriveLetterMemory::KeyOf(LinkNameFor(input.ByUuid, entry, device), device,
                                          LinkNameFor(input.ByLabel, entry, device));
    }

    const QList<std::optional<QChar>> letters = memory.Assign(keys);
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        if (letters.at(i))
            result.Drives << DescribeVolume(input, *volumes.at(i), *letters.at(i));
        else
            qCWarning(LogDrives).noquote() << QStringLiteral("No drive letter is left for %1 (%2)")
                                                  .arg(volumes.at(i)->MountPoint, volumes.at(i)->Source);
    }
    std::sort(result.Drives.begin(), result.Drives.end(),
              [](const TDriveInfo &a, const TDriveInfo &b) { return a.Letter < b.Letter; });
    return result;
}

std::optional<quint32> RealVolumeSerial(const TDiscoveryInput &input, const QString &nativeFolder)
{
    const QList<TMountEntry> mounts = VisibleMounts(input.MountInfo);
    const QString canonical = QFileInfo(nativeFolder).canonicalFilePath();
    const QString folder = canonical.isEmpty() ? QDir::cleanPath(nativeFolder) : canonical;
    const TMountEntry *best = nullptr;
    for (const TMountEntry &entry : mounts) {
        const QString &point = entry.MountPoint;
        const bool holds =
            point == QLatin1String("/") || folder == point || folder.startsWith(point + QLatin1Char('/'));
        if (holds && (!best || point.size() > best->MountPoint.size()))
            best = &entry;
    }
    if (best) {
        const std::optional<quint32> serial = DescribeVolume(input, *best, QLatin1Char('C')).Serial;
        if (serial)
            return serial;
    }
    return SystemDrive(input, mounts).Serial;
}

} // namespace trovalo
