#include "FileSystem.h"

#include "DriveTable.h"
#include "PathText.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

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

// The folder part of a native path ("/a/b" -> "/a", "/a" -> "/").
QString NativeFolderOf(const QString &native)
{
    QString path = native;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

TDateTime DosDateOfEpochSeconds(qint64 seconds)
{
    return ToDosPrecision(DateTimeFromQt(QDateTime::fromSecsSinceEpoch(seconds)));
}

bool WriteAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool CopyContents(int in, int out)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(out, buffer.data(), got))
            return false;
    }
}

// A new, empty file beside the target that no one else can have opened.
int CreateTempBeside(const QString &target, mode_t mode, QByteArray *tempName)
{
    const QString folder = NativeFolderOf(target);
    const QString name = target.mid(target.lastIndexOf(QLatin1Char('/')) + 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = (folder == QLatin1String("/") ? QString() : folder) +
                                  QStringLiteral("/.%1.trovalo-%2.tmp")
                                      .arg(name)
                                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        *tempName = Encoded(candidate);
        const int fd = ::open(tempName->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool IsUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EPERM;
}

// Gives the finished temporary file the target's name unless that name is
// taken, whatever the file system supports.
bool MoveIntoPlaceNoReplace(const QByteArray &temp, const QByteArray &target)
{
    if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (!IsUnsupported(errno))
        return false;
    if (::link(temp.constData(), target.constData()) == 0) {
        ::unlink(temp.constData());
        return true;
    }
    if (!IsUnsupported(errno))
        return false;
    // No hard links either (FAT): claim the name first, then rename over our
    // own empty claim.
    const int claim = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0)
        return false;
    ::close(claim);
    if (::rename(temp.constData(), target.constData()) == 0)
        return true;
    ::unlink(target.constData());
    return false;
}

void SyncFolder(const QString &folder)
{
    const int fd = ::open(Encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

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
    // Missing folders from the innermost outwards, then created outermost
    // first. "E:\a\" and "E:\a" both appear; the second create just fails.
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
    const TDateTime written = DosDateOfEpochSeconds(info.stx_mtime.tv_sec);
    if (written > 0 || !(info.stx_mask & STATX_BTIME))
        return written;
    return DosDateOfEpochSeconds(info.stx_btime.tv_sec);
}

std::optional<TDiskSpace> DiskSpace(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    const std::optional<QString> root = ToNativePath(IncludeTrailingBackslash(ExtractFileDrive(path)));
    if (!native || !root)
        return std::nullopt;
    // A folder that is still to be made is measured by the nearest one that
    // exists, never beyond the drive's root.
    QString current = *native;
    for (;;) {
        struct statvfs info
        {
        };
        if (::statvfs(Encoded(current).constData(), &info) == 0)
            return TDiskSpace{static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize),
                              static_cast<qint64>(info.f_blocks) * static_cast<qint64>(info.f_frsize)};
        if ((errno != ENOENT && errno != ENOTDIR) || current.size() <= root->size())
            return std::nullopt;
        current = NativeFolderOf(current);
    }
}

bool CopyFileNoReplace(const QString &from, const QString &to)
{
    const std::optional<QString> source = ToNativePath(from);
    const std::optional<QString> target = ToNativePath(to);
    if (!source || !target || target->endsWith(QLatin1Char('/')))
        return false;
    const QByteArray targetName = Encoded(*target);
    struct stat existing
    {
    };
    if (::lstat(targetName.constData(), &existing) == 0)
        return false;

    const int in = ::open(Encoded(*source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info
    {
    };
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return false;
    }
    QByteArray tempName;
    const int out = CreateTempBeside(*target, info.st_mode & 0777, &tempName);
    if (out < 0) {
        ::close(in);
        return false;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    bool ok = CopyContents(in, out) && ::futimens(out, times) == 0 && ::fsync(out) == 0;
    ::close(in);
    ok = ::close(out) == 0 && ok;
    ok = ok && MoveIntoPlaceNoReplace(tempName, targetName);
    if (!ok) {
        ::unlink(tempName.constData());
        return false;
    }
    SyncFolder(NativeFolderOf(*target));
    return true;
}

} // namespace trovalo
