#pragma once

#include "DriveMap.h"
#include "DriveTable.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace trovalo {

class TDriveLetterMemory;

// One line of /proc/self/mountinfo, escapes (\040 and the like) decoded.
struct TMountEntry
{
    QString DeviceNumber; // "8:17"
    QString Root;         // folder of the file system that is mounted ("/" unless a bind mount)
    QString MountPoint;
    QString FileSystem;
    QString Source;  // "/dev/sdb1", "//server/share", "tmpfs", ...
    QString MountId; // "60": unique among the mounts that exist at one time
};

QList<TMountEntry> ParseMountInfo(const QString &text);

// One entry of /dev/disk/by-label or /dev/disk/by-uuid: the name as udev
// wrote it (blanks and the like as \x20) and the block device it leads to.
struct TDiskLink
{
    QString Name;
    QString DeviceNumber; // "8:17"
    QString DevicePath;   // the device file with links resolved, "/dev/sdb1"
};

QList<TDiskLink> ReadDiskLinks(const QString &folder);
// "My\x20Stick" -> "My Stick" (UTF-8 byte escapes).
QString DecodeDiskLinkName(const QString &name);

// The bus of a block device from its resolved sysfs path: "USB" when a
// component starts with "usb", else "NVME", "ATA", "VIRTIO", "MMC" or "".
QString BusTypeFromSysfsPath(const QString &resolvedPath);

// What discovery reads from the system, gathered first so the decisions
// can be tested on texts.
struct TDiscoveryInput
{
    QString MountInfo;
    QList<TDiskLink> ByLabel;
    QList<TDiskLink> ByUuid;
    // Serial of the system volume when it has no UUID (from the machine ID).
    std::optional<quint32> MachineSerial;
    // Bus of the device behind a mount; unset gives "".
    std::function<QString(const TMountEntry &)> BusTypeOf;
    // The device file with links resolved (/dev/mapper/x -> /dev/dm-0); unset keeps it.
    std::function<QString(const QString &)> CanonicalDevice;
};

TDiscoveryInput ReadDiscoveryInput();

struct TDiscoveredDrives
{
    QList<TDriveInfo> Drives; // sorted by letter, C: first
    QList<TNetworkShare> Shares;
};

// C: is "/"; block-device volumes mounted under /media, /run/media or /mnt
// get D: to Z: through the letter memory; cifs/smb mounts become shares.
TDiscoveredDrives DiscoverDrives(const TDiscoveryInput &input, TDriveLetterMemory &memory);

// Serial of the real volume that holds a native folder; the system volume's
// when that volume has none.
std::optional<quint32> RealVolumeSerial(const TDiscoveryInput &input, const QString &nativeFolder);

} // namespace trovalo
