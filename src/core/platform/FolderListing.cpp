#include "FolderListing.h"

#include "DriveTable.h"
#include "FileSystem.h"

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
struct TDirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};

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

bool ListFolder(const QString &letterFolder, std::vector<TFolderEntry> &entries, int *error)
{
    entries.clear();
    const std::optional<QString> native = ToNativePath(letterFolder);
    if (!native) {
        if (error)
            *error = ENOENT;
        return false;
    }
    std::unique_ptr<DIR, TDirCloser> dir(::opendir(QFile::encodeName(*native).constData()));
    if (!dir) {
        if (error)
            *error = errno;
        return false;
    }
    const int dirFd = ::dirfd(dir.get());
    while (const dirent *raw = ::readdir(dir.get())) {
        const char *name = raw->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        TFolderEntry entry;
        entry.Name = QFile::decodeName(name);
        struct stat info
        {
        };
        if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // vanished between readdir and stat
        if (S_ISLNK(info.st_mode)) {
            entry.IsLink = true;
            if (::fstatat(dirFd, name, &info, 0) != 0) {
                entry.Kind = TFolderEntry::ekBrokenLink;
                entries.push_back(std::move(entry));
                continue;
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
        entries.push_back(std::move(entry));
    }
    return true;
}

} // namespace trovalo
