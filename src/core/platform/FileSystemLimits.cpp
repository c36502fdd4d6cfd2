#include "FileSystemLimits.h"

#include "base/SizeText.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"

namespace trovalo {

TFileSystemLimits TFileSystemLimits::Of(const QString &fileSystem)
{
    static const QStringList fat = {"vfat", "msdos", "fat", "fusefat", "fuse.fusefat"};
    static const QStringList exfat = {"exfat", "fuse.exfat"};
    const QString name = fileSystem.toLower();
    TFileSystemLimits limits;
    limits.FFatSizes = fat.contains(name);
    limits.FFatNames = limits.FFatSizes || exfat.contains(name);
    return limits;
}

TFileSystemLimits TFileSystemLimits::OfPath(const QString &letterPath)
{
    return Of(FileSystemOfPath(letterPath));
}

QString TFileSystemLimits::NameRefusal(const QString &letterName) const
{
    if (!FFatNames)
        return {};
    static const QString forbidden = QStringLiteral("\"*:<>?\\|");
    const QString name = NativeName(letterName);
    for (const QChar c : name) {
        if (forbidden.contains(c))
            return QStringLiteral("Not copied: a FAT drive cannot hold a name with \"%1\"").arg(c);
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("Not copied: a FAT drive cannot hold a name with a control character");
    }
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return QStringLiteral("Not copied: a FAT drive cannot hold a name ending in a dot or a space");
    if (name.size() > 255)
        return QStringLiteral("Not copied: a FAT drive cannot hold a name of more than 255 characters");
    return {};
}

QString TFileSystemLimits::SizeRefusal(qint64 size) const
{
    if (!FFatSizes || size <= FatFileSizeLimit)
        return {};
    return QStringLiteral("Not copied: a FAT32 drive cannot hold a file of 4 GB or more (this one has %1)")
        .arg(SizeText(size));
}

} // namespace trovalo
