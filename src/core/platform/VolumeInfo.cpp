#include "VolumeInfo.h"

#include "DriveTable.h"
#include "base/PathText.h"

#include <QDir>
#include <QFile>

#include <sys/statvfs.h>

namespace trovalo {

namespace {
bool IsHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

std::optional<quint32> FirstEightHexDigits(const QString &text, bool dashesAllowed)
{
    QString digits;
    for (const QChar c : text) {
        if (dashesAllowed && c == QLatin1Char('-'))
            continue;
        if (!IsHexDigit(c))
            return std::nullopt;
        digits += c;
    }
    if (digits.size() < 8)
        return std::nullopt;
    return digits.left(8).toUInt(nullptr, 16);
}
} // namespace

std::optional<quint32> SerialFromUuid(const QString &uuid)
{
    return FirstEightHexDigits(uuid, true);
}

std::optional<quint32> SerialFromMachineId(const QString &text)
{
    const QString id = text.trimmed();
    if (id.count(QLatin1Char('0')) == id.size())
        return std::nullopt;
    return FirstEightHexDigits(id, false);
}

std::optional<quint32> VolumeSerialNumber(const QString &driveRoot)
{
    const QString drive = ExtractFileDrive(driveRoot);
    if (drive.size() != 2)
        return std::nullopt;
    const std::optional<TDriveInfo> info = TDriveTable::Instance().Drive(drive.at(0));
    return info ? info->Serial : std::nullopt;
}

QString SerialNumberText(quint32 serial)
{
    return QStringLiteral("%1 - %2")
        .arg(serial >> 16, 4, 16, QLatin1Char('0'))
        .arg(serial & 0xFFFFu, 4, 16, QLatin1Char('0'))
        .toUpper();
}

QString ComputePCID()
{
    const std::optional<quint32> serial = VolumeSerialNumber(QStringLiteral("C:\\"));
    return serial ? SerialNumberText(*serial) : QString();
}

namespace {
quint32 FlagsOfFileSystem(const QString &fileSystem)
{
    const QString fs = fileSystem.toLower();
    if (fs == QLatin1String("vfat") || fs == QLatin1String("exfat") || fs == QLatin1String("msdos"))
        return fsPreservedNames | fsUnicode;
    if (fs == QLatin1String("ntfs") || fs == QLatin1String("ntfs3"))
        return fsCaseSensitiveFileNames | fsPreservedNames | fsUnicode | fsACL | fsFileCompressed;
    if (fs == QLatin1String("iso9660") || fs == QLatin1String("udf"))
        return fsUnicode;
    // The native file systems keep names as given and tell case apart.
    return fsCaseSensitiveFileNames | fsPreservedNames | fsUnicode | fsACL;
}

quint32 DriveTypeOf(const TDriveInfo &drive)
{
    const QString fs = drive.FileSystem.toLower();
    if (drive.BusType == QLatin1String("USB"))
        return dtRemovable;
    if (fs == QLatin1String("iso9660") || fs == QLatin1String("udf"))
        return dtCDRom;
    if (fs == QLatin1String("tmpfs") || fs == QLatin1String("ramfs"))
        return dtRamDisk;
    if (fs == QLatin1String("cifs") || fs == QLatin1String("smb3") || fs == QLatin1String("nfs"))
        return dtRemote;
    return dtFixed;
}

quint32 LongestNameOf(const QString &nativeRoot)
{
    struct statvfs info
    {
    };
    if (::statvfs(QFile::encodeName(nativeRoot).constData(), &info) != 0 || info.f_namemax == 0)
        return 255;
    return quint32(info.f_namemax);
}
} // namespace

TVolumeInfo::TVolumeInfo()
{
    SetDrive(QStringLiteral("C:\\"));
}

void TVolumeInfo::SetDrive(const QString &Value)
{
    FDrive = Value;
    Read();
}

void TVolumeInfo::Read()
{
    FVoulmeName.clear();
    FFileSystem.clear();
    FSerialNumber.clear();
    FSerialNumberWord = 0;
    FFileSystemFlags = 0;
    FMaximumComponentLength = 0;
    FDriveType = dtNoRootDir;

    const QString drive = ExtractFileDrive(FDrive);
    if (drive.size() != 2)
        return;
    const std::optional<TDriveInfo> info = TDriveTable::Instance().Drive(drive.at(0));
    if (!info || !QDir(info->Root).exists())
        return;
    FDriveType = DriveTypeOf(*info);
    FVoulmeName = info->Label;
    FFileSystem = info->FileSystem;
    if (info->Serial) {
        FSerialNumberWord = *info->Serial;
        FSerialNumber = SerialNumberText(*info->Serial);
    }
    FFileSystemFlags = FlagsOfFileSystem(info->FileSystem);
    FMaximumComponentLength = LongestNameOf(info->Root);
}

bool TVolumeInfo::SetVolumeName(const QString &)
{
    return false;
}

} // namespace trovalo
