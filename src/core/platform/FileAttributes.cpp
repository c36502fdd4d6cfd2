#include "FileAttributes.h"

#include "DriveMap.h"
#include "DriveTable.h"
#include "FatAttributeIo.h"
#include "base/PathText.h"
#include "model/FileFilter.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <atomic>

#include <sys/stat.h>

namespace trovalo {

namespace {
constexpr quint32 FatSettable = faReadOnly | faHidden | faSysFile | faArchive;
const QString HiddenListName = QStringLiteral(".hidden");

struct TNativeName
{
    QString Folder;
    QString Name;
};

TNativeName SplitNative(QString native)
{
    while (native.size() > 1 && native.endsWith(QLatin1Char('/')))
        native.chop(1);
    const qsizetype slash = native.lastIndexOf(QLatin1Char('/'));
    return {slash <= 0 ? QStringLiteral("/") : native.left(slash), native.mid(slash + 1)};
}

QString HiddenListOf(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + HiddenListName
                                             : folder + QLatin1Char('/') + HiddenListName;
}

// The lines of a folder's list as they are written (a line may end in CR,
// which is not part of the name).
std::optional<QStringList> ReadHiddenList(const QString &folder)
{
    QFile file(HiddenListOf(folder));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QString NameOnLine(const QString &line)
{
    return line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line;
}

bool ListsName(const QStringList &lines, const QString &name)
{
    return std::any_of(lines.cbegin(), lines.cend(),
                       [&](const QString &line) { return NameOnLine(line) == name; });
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Counts this process's own rewrites of any ".hidden": a rewrite in quick
// succession can reuse the inode and the timestamp of the file it replaced.
std::atomic<quint64> hiddenListWrites{0};

// Reading every file's attributes in a folder would read the folder's list
// once per file; the last list read is kept per thread while its file is
// unchanged.
bool IsListedHidden(const QString &folder, const QString &name)
{
    struct TCache
    {
        QString Folder;
        struct stat Identity
        {
        };
        quint64 Writes = 0;
        QStringList Names;
    };
    thread_local TCache cache;
    struct stat identity
    {
    };
    if (::stat(QFile::encodeName(HiddenListOf(folder)).constData(), &identity) != 0)
        return false;
    const quint64 writes = hiddenListWrites.load();
    if (cache.Folder != folder || !SameFile(cache.Identity, identity) || cache.Writes != writes) {
        cache.Folder = folder;
        cache.Identity = identity;
        cache.Writes = writes;
        cache.Names = ReadHiddenList(folder).value_or(QStringList());
    }
    return ListsName(cache.Names, name);
}

bool WriteHiddenList(const QString &folder, const QStringList &lines)
{
    ++hiddenListWrites;
    QSaveFile file(HiddenListOf(folder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    for (const QString &line : lines)
        text += line.toUtf8() + '\n';
    const bool written = file.write(text) == text.size() && file.commit();
    ++hiddenListWrites;
    return written;
}

bool SetListedHidden(const TNativeName &name, bool hidden)
{
    std::optional<QStringList> lines = ReadHiddenList(name.Folder);
    const bool listed = lines && ListsName(*lines, name.Name);
    if (listed == hidden)
        return true;
    if (!hidden) {
        lines->removeIf([&](const QString &line) { return NameOnLine(line) == name.Name; });
        return WriteHiddenList(name.Folder, *lines);
    }
    if (name.Name.contains(QLatin1Char('\n')) || name.Name.contains(QLatin1Char('\r')))
        return false; // one name per line: such a name cannot be listed
    QStringList updated = lines.value_or(QStringList());
    updated << name.Name;
    return WriteHiddenList(name.Folder, updated);
}

// A drive's root is listed in no folder of the drive: its parent's list lies
// outside the drive and is neither read nor written.
bool IsDriveRoot(const QString &native)
{
    const std::shared_ptr<const TDriveMap> map = TDriveTable::Instance().Map();
    const QString clean = QDir::cleanPath(native);
    const auto isRoot = [&](const auto &list) {
        return std::any_of(list.cbegin(), list.cend(), [&](const auto &item) { return item.Root == clean; });
    };
    return isRoot(map->Drives()) || isRoot(map->Shares());
}

bool IsHiddenByName(const QString &native)
{
    const TNativeName name = SplitNative(native);
    if (name.Name.startsWith(QLatin1Char('.')))
        return true;
    return !name.Name.isEmpty() && !IsDriveRoot(native) && IsListedHidden(name.Folder, name.Name);
}

bool SetGenericAttributes(const QString &native, const struct stat &info, quint32 attributes)
{
    bool ok = true;
    const bool wantReadOnly = (attributes & faReadOnly) != 0;
    const bool isReadOnly = (info.st_mode & S_IWUSR) == 0;
    if (wantReadOnly != isReadOnly) {
        const mode_t mode =
            wantReadOnly ? (info.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (info.st_mode | S_IWUSR);
        ok = ::chmod(QFile::encodeName(native).constData(), mode & 07777) == 0;
    }
    const TNativeName name = SplitNative(native);
    if (!name.Name.isEmpty() && !name.Name.startsWith(QLatin1Char('.')) && !IsDriveRoot(native))
        ok = SetListedHidden(name, (attributes & faHidden) != 0) && ok;
    return ok;
}
} // namespace

std::optional<quint32> GetFileAttributes(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    struct stat info
    {
    };
    if (!native || ::stat(QFile::encodeName(*native).constData(), &info) != 0)
        return std::nullopt;
    const quint32 directory = S_ISDIR(info.st_mode) ? quint32(faDirectory) : 0u;

    const TFatAttributeIo &fat = TFatAttributeIo::Current();
    if (fat.IsFatVolume(*native)) {
        if (const std::optional<quint32> dos = fat.Get(*native))
            return (*dos & FatSettable) | directory;
    }

    quint32 attributes = directory;
    if ((info.st_mode & S_IWUSR) == 0)
        attributes |= faReadOnly;
    if (IsHiddenByName(*native))
        attributes |= faHidden;
    return attributes;
}

bool SetFileAttributes(const QString &path, quint32 attributes)
{
    const std::optional<QString> native = ToNativePath(path);
    struct stat info
    {
    };
    if (!native || ::stat(QFile::encodeName(*native).constData(), &info) != 0)
        return false;
    const TFatAttributeIo &fat = TFatAttributeIo::Current();
    if (fat.IsFatVolume(*native) && fat.Set(*native, attributes & FatSettable))
        return true;
    return SetGenericAttributes(*native, info, attributes);
}

bool IsExcludedFile(const TFileFilter &filter, const QString &fileName, const QString &path)
{
    if (filter.IsExcludedName(fileName))
        return true;
    if (!filter.TestsAttributes())
        return false;
    // Attributes that cannot be read (the file vanished) all count as
    // present, so such a file is skipped under any flag.
    const quint32 attributes = GetFileAttributes(IncludeTrailingBackslash(path) + fileName)
                                   .value_or(quint32(faReadOnly | faHidden | faSysFile));
    return filter.IsExcludedByAttributes(attributes & faReadOnly, attributes & faHidden,
                                         attributes & faSysFile);
}

} // namespace trovalo
