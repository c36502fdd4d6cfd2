#include "FileSystem.h"

#include "DriveTable.h"
#include "FileOperations.h"
#include "FolderListing.h"
#include "base/PathText.h"

#include <QFile>

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace trovalo {

namespace {
QByteArray Encoded(const QString &native)
{
    return QFile::encodeName(native);
}

} // namespace

std::optional<struct stat> StatOf(const QString &letterPath)
{
    const std::optional<QString> native = ToNativePath(letterPath);
    struct stat info
    {
    };
    if (!native || ::stat(Encoded(*native).constData(), &info) != 0)
        return std::nullopt;
    return info;
}

bool FileExists(const QString &path)
{
    const std::optional<struct stat> info = StatOf(path);
    return info && !S_ISDIR(info->st_mode);
}

bool DirectoryExists(const QString &path)
{
    const std::optional<struct stat> info = StatOf(path);
    return info && S_ISDIR(info->st_mode);
}

bool PathExists(const QString &path)
{
    return StatOf(path).has_value();
}

bool CreateDir(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    return native && ::mkdir(Encoded(*native).constData(), 0777) == 0;
}

bool ForceFolder(const QString &path)
{
    QString full = path;
    full.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (ExtractFileDrive(full).isEmpty()) {
        while (full.startsWith(QLatin1Char('\\')))
            full.remove(0, 1);
        full.prepend(QStringLiteral("C:\\"));
    }
    // "E:\a\" names the folder "E:\a"; a drive root keeps its backslash.
    const qsizetype driveLength = ExtractFileDrive(full).size();
    while (full.size() > driveLength + 1 && full.endsWith(QLatin1Char('\\')))
        full.chop(1);
    // Missing folders from the innermost outwards, then created outermost
    // first.
    QStringList missing;
    QString current = full;
    while (!PathExists(current)) {
        missing.prepend(current);
        const QString parent = ParentOf(current);
        if (parent.size() <= ExtractFileDrive(current).size())
            break;
        current = parent;
    }
    for (const QString &folder : missing)
        CreateDir(folder);
    return DirectoryExists(full);
}

bool RemoveDir(const QString &path)
{
    const std::optional<QString> native = ToNativePath(ExcludeTrailingBackslash(path));
    if (!native) {
        errno = ENOENT;
        return false;
    }
    return ::rmdir(Encoded(*native).constData()) == 0;
}

TDateTime ToDosPrecision(TDateTime value)
{
    if (value == 0 || !std::isfinite(value))
        return value;
    qint64 days = DateOf(value);
    qint64 msecs = std::llround(TimeOf(value) * MSecsPerDay);
    if (msecs >= MSecsPerDay) {
        msecs -= MSecsPerDay;
        ++days; // the calendar day after, also before 1899-12-30
    }
    msecs -= msecs % 2000;
    return EncodeDateTime(QDate(1899, 12, 30).addDays(days),
                          QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

std::optional<TDateTime> FileDate(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    struct statx info
    {
    };
    if (!native || ::statx(AT_FDCWD, Encoded(*native).constData(), AT_STATX_SYNC_AS_STAT,
                           STATX_MTIME | STATX_BTIME, &info) != 0)
        return std::nullopt;
    if (!(info.stx_mask & STATX_BTIME))
        return FileDateOfTimes(info.stx_mtime.tv_sec);
    return FileDateOfTimes(info.stx_mtime.tv_sec, info.stx_btime.tv_sec);
}

namespace {
TDiskSpaceHook &DiskSpaceHook()
{
    static TDiskSpaceHook hook;
    return hook;
}
} // namespace

void SetDiskSpaceHookForTests(TDiskSpaceHook hook)
{
    DiskSpaceHook() = std::move(hook);
}

namespace {
// The volume figures of a path; a folder that is still to be made is
// measured by the nearest one that exists, never beyond the drive's root.
std::optional<struct statvfs> VolumeOf(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    const std::optional<QString> root = ToNativePath(IncludeTrailingBackslash(ExtractFileDrive(path)));
    if (!native || !root)
        return std::nullopt;
    QString current = *native;
    for (;;) {
        struct statvfs info
        {
        };
        if (::statvfs(Encoded(current).constData(), &info) == 0)
            return info;
        if ((errno != ENOENT && errno != ENOTDIR) || current.size() <= root->size())
            return std::nullopt;
        current = NativeFolderOf(current);
    }
}
} // namespace

std::optional<TDiskSpace> DiskSpace(const QString &path)
{
    if (const TDiskSpaceHook &hook = DiskSpaceHook())
        return hook(path);
    const std::optional<struct statvfs> info = VolumeOf(path);
    if (!info || info->f_blocks == 0)
        return std::nullopt;
    return TDiskSpace{static_cast<qint64>(info->f_bavail) * static_cast<qint64>(info->f_frsize),
                      static_cast<qint64>(info->f_blocks) * static_cast<qint64>(info->f_frsize)};
}

bool ReportsDiskSpace(const QString &path)
{
    if (DiskSpaceHook())
        return true;
    const std::optional<struct statvfs> info = VolumeOf(path);
    return !info || info->f_blocks != 0;
}

bool CopyFileNoReplace(const QString &from, const QString &to)
{
    return CopyFileChunked(from, to, TCopyMode::FailIfExists).Ok;
}

} // namespace trovalo
