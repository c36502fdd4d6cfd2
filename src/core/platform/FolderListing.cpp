#include "FolderListing.h"

#include "DriveMap.h"
#include "DriveTable.h"
#include "FileSystem.h"
#include "TempFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalo {

namespace {
void FillFromStat(TFolderEntry &entry, const struct stat &info)
{
    if (S_ISDIR(info.st_mode)) {
        entry.Kind = entry.IsLink ? TFolderEntry::ekLinkToFolder : TFolderEntry::ekFolder;
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        entry.Kind = TFolderEntry::ekOther;
        return;
    }
    entry.Kind = TFolderEntry::ekFile;
    entry.Size = static_cast<qint64>(info.st_size);
    entry.Date = FileDateOfTimes(info.st_mtim.tv_sec);
}
} // namespace

namespace {
// Local time through the C library: it reads the time zone once, where a
// local QDateTime looks at /etc/localtime again on every conversion, twice
// per file of a walk.
TDateTime DosDateOfEpochSeconds(qint64 seconds)
{
    const time_t value = static_cast<time_t>(seconds);
    struct tm local
    {
    };
    if (::localtime_r(&value, &local) == nullptr)
        return ToDosPrecision(DateTimeFromQt(QDateTime::fromSecsSinceEpoch(seconds)));
    const int second = std::min(local.tm_sec, 59); // a leap second
    return EncodeDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                          QTime(local.tm_hour, local.tm_min, second - second % 2));
}
} // namespace

TDateTime FileDateOfTimes(qint64 modifiedSeconds, std::optional<qint64> birthSeconds)
{
    const TDateTime written = DosDateOfEpochSeconds(modifiedSeconds);
    if (written > 0 || !birthSeconds)
        return written;
    return DosDateOfEpochSeconds(*birthSeconds);
}

namespace {
// One listing buffer per thread, reused for every folder: opening a
// directory stream allocates (and faults in) a fresh one per folder, which
// showed in walks over thousands of small folders.
std::vector<char> &ListingBuffer()
{
    thread_local std::vector<char> buffer(32 * 1024);
    return buffer;
}

struct TFdCloser
{
    int Fd;
    ~TFdCloser() { ::close(Fd); }
};

// Type, size and date of one entry; false when it vanished meanwhile.
bool ExamineEntry(int dirFd, const char *name, unsigned char type, TFolderEntry &entry)
{
    if (type == DT_DIR) {
        // A real folder (a link would say DT_LNK): nothing else is needed.
        entry.Kind = TFolderEntry::ekFolder;
        return true;
    }
    struct stat info
    {
    };
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISLNK(info.st_mode)) {
        entry.IsLink = true;
        if (::fstatat(dirFd, name, &info, 0) != 0) {
            entry.Kind = TFolderEntry::ekBrokenLink;
            return true;
        }
    }
    FillFromStat(entry, info);
    if (entry.Kind == TFolderEntry::ekFile && entry.Date <= 0) {
        struct statx extra
        {
        };
        if (::statx(dirFd, name, AT_STATX_SYNC_AS_STAT, STATX_BTIME, &extra) == 0 &&
            (extra.stx_mask & STATX_BTIME))
            entry.Date = FileDateOfTimes(info.st_mtim.tv_sec, extra.stx_btime.tv_sec);
    }
    return true;
}
} // namespace

bool ListFolder(const QString &letterFolder, std::vector<TFolderEntry> &entries, int *error)
{
    entries.clear();
    const std::optional<QString> native = ToNativePath(letterFolder);
    if (!native) {
        if (error)
            *error = ENOENT;
        return false;
    }
    const int dirFd = ::open(QFile::encodeName(*native).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        if (error)
            *error = errno;
        return false;
    }
    const TFdCloser closer{dirFd};
    std::vector<char> &buffer = ListingBuffer();
    for (;;) {
        // An error while reading ends the listing as its end would.
        const ssize_t filled = ::getdents64(dirFd, buffer.data(), buffer.size());
        if (filled <= 0)
            break;
        if (entries.empty()) {
            // Most folders fit in one buffer: room for all of them at once.
            std::size_t count = 0;
            for (ssize_t offset = 0; offset < filled; ++count)
                offset += reinterpret_cast<const struct dirent64 *>(buffer.data() + offset)->d_reclen;
            entries.reserve(count);
        }
        for (ssize_t offset = 0; offset < filled;) {
            const auto *raw = reinterpret_cast<const struct dirent64 *>(buffer.data() + offset);
            offset += raw->d_reclen;
            const char *name = raw->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            TFolderEntry entry;
            if (!ExamineEntry(dirFd, name, raw->d_type, entry))
                continue; // vanished between listing and stat
            entry.Name = LetterNameOfEntry(name);
            if (entry.Kind == TFolderEntry::ekFile && !entry.IsLink && IsTempFileName(entry.Name))
                entry.Kind = TFolderEntry::ekLeftover;
            entries.push_back(std::move(entry));
        }
    }
    return true;
}

} // namespace trovalo
