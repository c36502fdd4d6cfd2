#include "FileOperations.h"

#include "DriveTable.h"
#include "TempFile.h"
#include "base/Exceptions.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalo {

namespace {
QByteArray Encoded(const QString &native)
{
    return QFile::encodeName(native);
}

TCopyFaultHook &FaultHook()
{
    static TCopyFaultHook hook;
    return hook;
}

// The native form of a drive-letter path; a path that has none fails with
// the drive table's explanation.
bool Resolve(const QString &letterPath, QByteArray *native, TFileOpResult *failure)
{
    try {
        const QString path = NativePath(letterPath);
        if (path.endsWith(QLatin1Char('/'))) {
            *failure = TFileOpResult::Failure(EISDIR);
            return false;
        }
        *native = Encoded(path);
        return true;
    } catch (const EPathError &error) {
        *failure = TFileOpResult::Failure(ENOENT, error.Message());
        return false;
    }
}

bool IsCopyRangeUnavailable(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

// Copies `size` bytes, fewer only at the end of the source; -1 (errno set)
// on failure. Uses the kernel's in-place copy while it is offered. Expected
// is what the source's size says is left: a zero from the kernel copy before
// that (or for a file whose size the file system does not know, as in
// /proc) is confirmed by plain reads.
qint64 CopyStep(int in, int out, qint64 size, qint64 expected, bool *useCopyRange,
                std::unique_ptr<char[]> *buffer)
{
    qint64 copied = 0;
    while (copied < size) {
        ssize_t moved = 0;
        if (*useCopyRange) {
            moved = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - copied), 0);
            if (moved == 0 && expected > 0 && copied >= expected)
                break;
            if ((moved < 0 && IsCopyRangeUnavailable(errno)) || moved == 0) {
                *useCopyRange = false;
                continue;
            }
        } else {
            if (!*buffer)
                buffer->reset(new char[CopyChunkSize]); // not zeroed: it is overwritten
            moved = ::read(in, buffer->get(),
                           static_cast<size_t>(std::min<qint64>(size - copied, CopyChunkSize)));
            if (moved > 0 && !WriteAll(out, buffer->get(), moved))
                return -1;
        }
        if (moved < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (moved == 0)
            break;
        copied += moved;
    }
    return copied;
}

bool IsUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EPERM;
}

// Gives a file a new name in the same file system unless that name is taken,
// whatever the file system supports; errno tells why not.
bool RenameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (!IsUnsupported(errno))
        return false;
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (!IsUnsupported(errno))
        return false;
    // No hard links either (FAT): claim the name first so no one else can
    // take it, then rename over our own empty claim. Only a crash between the
    // two steps can leave the empty claim behind; a plain check-then-rename
    // could replace a file created meanwhile.
    const int claim = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0)
        return false;
    ::close(claim);
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    const int error = errno;
    ::unlink(to.constData());
    errno = error;
    return false;
}

// What file systems that cannot hold permission bits answer to a change.
bool IsRefusedMetadata(int error)
{
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

// Within the two seconds of the coarsest file system (FAT), either way.
bool HoldsModificationTime(const struct stat &info, const struct timespec &wanted)
{
    const qint64 difference = (qint64(info.st_mtim.tv_sec) - qint64(wanted.tv_sec)) * 1000000000 +
                              (qint64(info.st_mtim.tv_nsec) - qint64(wanted.tv_nsec));
    return difference > -2000000000 && difference < 2000000000;
}

// The times of an open file (Fd >= 0) or of a path, set and read back.
TFileOpResult SetTimesOf(int fd, const char *path, const struct timespec times[2])
{
    struct stat info
    {
    };
    const bool set = fd >= 0 ? ::futimens(fd, times) == 0 && ::fstat(fd, &info) == 0
                             : ::utimensat(AT_FDCWD, path, times, 0) == 0 && ::stat(path, &info) == 0;
    if (!set)
        return TFileOpResult::Failure(errno);
    return HoldsModificationTime(info, times[1]) ? TFileOpResult::Success()
                                                 : TFileOpResult::Failure(ERANGE, DateNotKeptText());
}

// Sets the times of a path again where a rename cost it its modification
// time; a single stat where nothing was lost.
TFileOpResult KeepTimes(const QByteArray &path, const struct timespec times[2])
{
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) == 0 && HoldsModificationTime(info, times[1]))
        return TFileOpResult::Success();
    return SetTimesOf(-1, path.constData(), times);
}

struct TCopyRequest
{
    const QByteArray &Source;
    const QByteArray &Target;
    TCopyMode Mode;
    const TProgressCallback &Progress;
    TCopyDurability Durability;
    TCopyTimes Times;
};

// The times a copy of Source gets.
struct TCopyTimestamps
{
    struct timespec Times[2];

    TCopyTimestamps(const struct stat &source, TCopyTimes kind)
        : Times{source.st_atim, source.st_mtim}
    {
        if (kind == TCopyTimes::DosPrecision) {
            // Even seconds in local time are even seconds in UTC: time zones
            // lie whole minutes apart.
            Times[1].tv_sec -= ((Times[1].tv_sec % 2) + 2) % 2;
            Times[1].tv_nsec = 0;
        }
    }
};

// Fills the open temporary file from the source chunk by chunk and gives it
// the source's permission bits and times; synced when Sync.
TFileOpResult FillTemp(int in, int out, const struct stat &source, const TCopyRequest &request,
                       const TCopyTimestamps &times, bool sync)
{
    const TProgressCallback &progress = request.Progress;
    const TCopyFaultHook hook = FaultHook();
    std::unique_ptr<char[]> buffer;
    bool useCopyRange = true;
    TCopyProgress state{0, static_cast<qint64>(source.st_size)};
    for (int chunk = 0;; ++chunk) {
        if (hook) {
            if (const int injected =
                    hook(QFile::decodeName(request.Source), QFile::decodeName(request.Target), chunk))
                return TFileOpResult::Failure(injected);
        }
        // Asking for just what is left spares a second kernel call per small file.
        const qint64 left = static_cast<qint64>(source.st_size) - state.Done;
        const qint64 copied = CopyStep(in, out, left > 0 ? std::min(left, CopyChunkSize) : CopyChunkSize,
                                       left, &useCopyRange, &buffer);
        if (copied < 0)
            return TFileOpResult::Failure(errno);
        if (copied == 0)
            break;
        state.Done += copied;
        state.Total = std::max(state.Total, state.Done);
        if (progress && !progress(state))
            return TFileOpResult::Cancel();
        if (copied < CopyChunkSize)
            break;
    }
    if (!SetModeIfHeld(out, source.st_mode & 0777))
        return TFileOpResult::Failure(errno);
    const TFileOpResult dated = SetTimesChecked(out, times.Times);
    if (!dated.Ok)
        return dated;
    if (sync && ::fsync(out) != 0)
        return TFileOpResult::Failure(errno);
    return TFileOpResult::Success();
}

// A new file is written without a name and linked in under its name once
// complete: a failure or a crash leaves nothing behind, and a file that
// appeared under the name meanwhile is never replaced (the link fails).
// One directory change instead of a temporary name and a rename. No result
// when the file system or the system cannot do it (FAT, no /proc), or when
// the name was taken meanwhile and may be replaced: the caller then copies
// through a named temporary file.
std::optional<TFileOpResult> CopyToUnnamedFile(int in, const struct stat &source, const TCopyRequest &request,
                                               const TCopyTimestamps &times, bool sync)
{
    static const bool procFdAvailable = ::access("/proc/self/fd", X_OK) == 0;
    if (!procFdAvailable)
        return std::nullopt;
    const QByteArray folder = Encoded(NativeFolderOf(QFile::decodeName(request.Target)));
    const int out = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (out < 0)
        return std::nullopt;
    TFileOpResult result = FillTemp(in, out, source, request, times, sync);
    if (result.Ok) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(out);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, request.Target.constData(), AT_SYMLINK_FOLLOW) !=
            0) {
            const int error = errno;
            ::close(out);
            if (error == EEXIST && request.Mode == TCopyMode::Replace)
                return std::nullopt;
            return TFileOpResult::Failure(error);
        }
    }
    if (::close(out) != 0 && result.Ok) {
        const int error = errno;
        ::unlink(request.Target.constData());
        return TFileOpResult::Failure(error);
    }
    if (result.Ok && sync)
        SyncFolder(NativeFolderOf(QFile::decodeName(request.Target)));
    return result;
}

TFileOpResult CopyFromOpenSource(int in, const TCopyRequest &request, bool targetExists)
{
    const QByteArray &target = request.Target;
    const TCopyMode mode = request.Mode;
    const bool sync = targetExists || request.Durability == TCopyDurability::Always;
    struct stat source
    {
    };
    if (::fstat(in, &source) != 0)
        return TFileOpResult::Failure(errno);
    if (S_ISDIR(source.st_mode))
        return TFileOpResult::Failure(EISDIR);
    if (!S_ISREG(source.st_mode))
        return TFileOpResult::Failure(EINVAL);

    const TCopyTimestamps times(source, request.Times);
    if (!targetExists) {
        std::optional<TFileOpResult> linked = CopyToUnnamedFile(in, source, request, times, sync);
        if (linked)
            return *linked;
        if (::lseek(in, 0, SEEK_SET) != 0)
            return TFileOpResult::Failure(errno);
    }

    QByteArray tempName;
    TTempFileLock tempLock; // until the file is in place
    const int out = CreateTempBeside(QFile::decodeName(target), &tempName, tempLock);
    if (out < 0)
        return TFileOpResult::Failure(errno);
    TFileOpResult result = FillTemp(in, out, source, request, times, sync);
    if (::close(out) != 0 && result.Ok)
        result = TFileOpResult::Failure(errno);
    if (!result.Ok) {
        ::unlink(tempName.constData());
        return result;
    }
    result = PlaceTempFile(tempName, target, mode, times.Times);
    if (result.Ok && sync)
        SyncFolder(NativeFolderOf(QFile::decodeName(target)));
    return result;
}
} // namespace

bool SetModeIfHeld(int fd, mode_t mode)
{
    return ::fchmod(fd, mode) == 0 || IsRefusedMetadata(errno);
}

TFileOpResult SetTimesChecked(int fd, const struct timespec times[2])
{
    return SetTimesOf(fd, nullptr, times);
}

QString DateNotKeptText()
{
    return QStringLiteral("The file system did not keep the file's date");
}

TFileOpResult PlaceTempFile(const QByteArray &tempName, const QByteArray &target, TCopyMode mode,
                            const struct timespec *times)
{
    const bool placed = mode == TCopyMode::Replace ? ::rename(tempName.constData(), target.constData()) == 0
                                                   : RenameNoReplace(tempName, target);
    if (!placed) {
        const int error = errno;
        ::unlink(tempName.constData());
        return TFileOpResult::Failure(error);
    }
    if (!times)
        return TFileOpResult::Success();
    const TFileOpResult kept = KeepTimes(target, times);
    if (!kept.Ok && mode != TCopyMode::Replace)
        ::unlink(target.constData());
    return kept;
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

mode_t NewFileMode()
{
    // Read once: umask can only be read by setting it.
    static const mode_t mask = [] {
        const mode_t value = ::umask(022);
        ::umask(value);
        return value;
    }();
    return 0666 & ~mask;
}

void SyncFolder(const QString &folder)
{
    const int fd = ::open(Encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

TFileOpResult TFileOpResult::Success()
{
    TFileOpResult result;
    result.Ok = true;
    return result;
}

TFileOpResult TFileOpResult::Failure(int error)
{
    return Failure(error, SystemErrorText(error));
}

TFileOpResult TFileOpResult::Failure(int error, const QString &message)
{
    TFileOpResult result;
    result.Errno = error;
    result.Message = message;
    return result;
}

TFileOpResult TFileOpResult::Cancel()
{
    TFileOpResult result = Failure(ECANCELED);
    result.Cancelled = true;
    return result;
}

QString SystemErrorText(int error)
{
    char buffer[256] = {};
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

QString NativeFolderOf(const QString &native)
{
    QString path = native;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

TFileOpResult SyncFileSystem(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    if (!native)
        return TFileOpResult::Failure(ENOENT);
    // The nearest existing folder stands for a path still to be made.
    QString current = *native;
    int fd = -1;
    while ((fd = ::open(Encoded(current).constData(), O_RDONLY | O_CLOEXEC)) < 0 &&
           current != QLatin1String("/"))
        current = NativeFolderOf(current);
    if (fd < 0)
        return TFileOpResult::Failure(errno);
    const int result = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    return result == 0 ? TFileOpResult::Success() : TFileOpResult::Failure(error);
}

void SetCopyFaultHookForTests(TCopyFaultHook hook)
{
    FaultHook() = std::move(hook);
}

TFileOpResult CopyFileChunked(const QString &from, const QString &to, TCopyMode mode,
                              const TProgressCallback &progress, TCopyDurability durability, TCopyTimes times)
{
    QByteArray source, target;
    TFileOpResult failure;
    if (!Resolve(from, &source, &failure) || !Resolve(to, &target, &failure))
        return failure;
    struct stat existing
    {
    };
    const bool targetExists = mode != TCopyMode::NameSeenFree && ::lstat(target.constData(), &existing) == 0;
    if (targetExists) {
        if (S_ISDIR(existing.st_mode))
            return TFileOpResult::Failure(EISDIR);
        if (mode == TCopyMode::FailIfExists)
            return TFileOpResult::Failure(EEXIST);
    }
    // Non-blocking so that a named pipe given as source fails instead of
    // waiting for a writer; regular files ignore the flag.
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0)
        return TFileOpResult::Failure(errno);
    TFileOpResult result =
        CopyFromOpenSource(in, TCopyRequest{source, target, mode, progress, durability, times}, targetExists);
    ::close(in);
    if (!result.Ok && result.Errno == EEXIST && ::lstat(target.constData(), &existing) == 0 &&
        S_ISDIR(existing.st_mode))
        result = TFileOpResult::Failure(EISDIR);
    return result;
}

TFileOpResult MoveFile(const QString &from, const QString &to, const TProgressCallback &progress)
{
    QByteArray source, target;
    TFileOpResult failure;
    if (!Resolve(from, &source, &failure) || !Resolve(to, &target, &failure))
        return failure;
    struct stat info
    {
    };
    if (::lstat(source.constData(), &info) != 0)
        return TFileOpResult::Failure(errno);
    if (S_ISDIR(info.st_mode))
        return TFileOpResult::Failure(EISDIR);
    struct stat existing
    {
    };
    if (::lstat(target.constData(), &existing) == 0)
        return TFileOpResult::Failure(EEXIST);

    if (RenameNoReplace(source, target)) {
        // The file is moved whatever its date says: a file system that
        // stamps a renamed file (fusefat) held that date before the move.
        if (S_ISREG(info.st_mode)) {
            const struct timespec times[2] = {info.st_atim, info.st_mtim};
            KeepTimes(target, times);
        }
        SyncFolder(NativeFolderOf(QFile::decodeName(target)));
        SyncFolder(NativeFolderOf(QFile::decodeName(source)));
        return TFileOpResult::Success();
    }
    if (errno != EXDEV)
        return TFileOpResult::Failure(errno);

    // The source goes next, so the copy must be on the disk first.
    const TFileOpResult copied = CopyFileChunked(from, to, TCopyMode::FailIfExists, progress,
                                                 TCopyDurability::Always, TCopyTimes::Exact);
    if (!copied.Ok)
        return copied;
    if (::unlink(source.constData()) != 0) {
        // The file would otherwise exist twice and the caller, told that the
        // move failed, would keep the source: take the copy back.
        const int error = errno;
        ::unlink(target.constData());
        return TFileOpResult::Failure(error);
    }
    SyncFolder(NativeFolderOf(QFile::decodeName(source)));
    return TFileOpResult::Success();
}

TFileOpResult SetFileModificationTime(const QString &path, TDateTime localTime)
{
    QByteArray native;
    TFileOpResult failure;
    if (!Resolve(path, &native, &failure))
        return failure;
    if (localTime == 0 || !std::isfinite(localTime))
        return TFileOpResult::Failure(EINVAL);
    const QDateTime when = DateTimeToQt(localTime);
    if (!when.isValid())
        return TFileOpResult::Failure(EINVAL);
    const qint64 ms = when.toMSecsSinceEpoch();
    const qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) != 0)
        return TFileOpResult::Failure(errno);
    // The access time is kept by giving it, not by leaving it out.
    const struct timespec times[2] = {
        info.st_atim, {static_cast<time_t>(seconds), static_cast<long>(ms - seconds * 1000) * 1000000L}};
    return SetTimesOf(-1, native.constData(), times);
}

TFileOpResult DeleteFileChecked(const QString &path)
{
    QByteArray native;
    TFileOpResult failure;
    if (!Resolve(path, &native, &failure))
        return failure;
    // Linux refuses to unlink a folder with EISDIR: no look first.
    if (::unlink(native.constData()) != 0)
        return TFileOpResult::Failure(errno);
    return TFileOpResult::Success();
}

} // namespace trovalo
