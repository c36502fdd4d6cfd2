#include "platform/ZipFileSource.h"

#include "platform/FileOperations.h"
#include "platform/TempFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalo {

namespace {

// libzip reads and writes an archive in pieces of a few kilobytes (headers,
// 8 KiB of data): this source reads and writes in blocks of these sizes, so
// rebuilding an archive of thousands of small entries costs few calls.
constexpr qint64 ReadBlock = 256 * 1024;
constexpr std::size_t WriteBlock = 1024 * 1024;

class TDurableFileSource
{
public:
    explicit TDurableFileSource(QByteArray path)
        : FPath(std::move(path))
    {
        zip_error_init(&FError);
    }
    ~TDurableFileSource()
    {
        CloseRead();
        DropTemp();
        zip_error_fini(&FError);
    }
    TDurableFileSource(const TDurableFileSource &) = delete;
    TDurableFileSource &operator=(const TDurableFileSource &) = delete;

    static zip_int64_t Callback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
    {
        auto *self = static_cast<TDurableFileSource *>(state);
        if (command == ZIP_SOURCE_FREE) {
            delete self;
            return 0;
        }
        return self->Handle(data, length, command);
    }

private:
    zip_int64_t Handle(void *data, zip_uint64_t length, zip_source_cmd_t command)
    {
        switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
                ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS,
                ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE,
                ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&FError, data, length);
        case ZIP_SOURCE_STAT:
            return Stat(data, length);
        case ZIP_SOURCE_OPEN:
            return OpenRead();
        case ZIP_SOURCE_READ:
            return Read(data, length);
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t offset = zip_source_seek_compute_offset(
                zip_uint64_t(FReadOffset), zip_uint64_t(FReadSize), data, length, &FError);
            if (offset < 0)
                return -1;
            FReadOffset = offset;
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return FReadOffset;
        case ZIP_SOURCE_CLOSE:
            CloseRead();
            return 0;
        case ZIP_SOURCE_BEGIN_WRITE:
            return BeginWrite();
        case ZIP_SOURCE_WRITE:
            return Write(data, length);
        case ZIP_SOURCE_SEEK_WRITE: {
            const zip_int64_t offset = zip_source_seek_compute_offset(
                zip_uint64_t(FWriteOffset), zip_uint64_t(FWriteEnd), data, length, &FError);
            if (offset < 0)
                return -1;
            FWriteOffset = offset;
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE:
            return FWriteOffset;
        case ZIP_SOURCE_COMMIT_WRITE:
            return CommitWrite();
        case ZIP_SOURCE_ROLLBACK_WRITE:
            DropTemp();
            return 0;
        case ZIP_SOURCE_REMOVE:
            // An archive left without entries is removed rather than written.
            if (::unlink(FPath.constData()) != 0 && errno != ENOENT)
                return Fail(ZIP_ER_REMOVE);
            SyncFolder(NativeFolderOf(QFile::decodeName(FPath)));
            return 0;
        default:
            zip_error_set(&FError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    zip_int64_t Fail(int code)
    {
        zip_error_set(&FError, code, errno);
        return -1;
    }

    zip_int64_t Stat(void *data, zip_uint64_t length)
    {
        auto *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &FError);
        if (!st)
            return -1;
        struct stat info
        {
        };
        // ENOENT tells libzip that the archive is still to be made.
        if (::stat(FPath.constData(), &info) != 0)
            return Fail(ZIP_ER_READ);
        zip_stat_init(st);
        st->size = zip_uint64_t(info.st_size);
        st->mtime = info.st_mtime;
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }

    zip_int64_t OpenRead()
    {
        CloseRead();
        FRead = ::open(FPath.constData(), O_RDONLY | O_CLOEXEC);
        if (FRead < 0)
            return Fail(ZIP_ER_OPEN);
        struct stat info
        {
        };
        if (::fstat(FRead, &info) != 0) {
            CloseRead();
            return Fail(ZIP_ER_READ);
        }
        FReadSize = info.st_size;
        FReadOffset = 0;
        return 0;
    }

    zip_int64_t Read(void *data, zip_uint64_t length)
    {
        if (qint64(length) >= ReadBlock) {
            const ssize_t got = ReadAt(static_cast<char *>(data), qint64(length), FReadOffset);
            if (got < 0)
                return Fail(ZIP_ER_READ);
            FReadOffset += got;
            return got;
        }
        if (FReadOffset < FBlockStart || FReadOffset >= FBlockStart + FBlockSize) {
            FBlock.resize(std::size_t(ReadBlock));
            const ssize_t got = ReadAt(FBlock.data(), ReadBlock, FReadOffset);
            if (got < 0)
                return Fail(ZIP_ER_READ);
            FBlockStart = FReadOffset;
            FBlockSize = got;
            if (got == 0)
                return 0;
        }
        // Shorter than asked at the block's end: libzip asks again.
        const qint64 count = std::min(qint64(length), FBlockStart + FBlockSize - FReadOffset);
        std::memcpy(data, FBlock.data() + (FReadOffset - FBlockStart), std::size_t(count));
        FReadOffset += count;
        return count;
    }

    ssize_t ReadAt(char *data, qint64 length, qint64 offset)
    {
        ssize_t got;
        do
            got = ::pread(FRead, data, std::size_t(length), off_t(offset));
        while (got < 0 && errno == EINTR);
        return got;
    }

    void CloseRead()
    {
        if (FRead >= 0)
            ::close(FRead);
        FRead = -1;
        FBlockStart = FBlockSize = 0;
    }

    zip_int64_t BeginWrite()
    {
        DropTemp();
        FWriteStart = 0;
        FTemp = CreateTempBeside(QFile::decodeName(FPath), &FTempName, FTempLock);
        FWriteOffset = FWriteEnd = 0;
        return FTemp < 0 ? Fail(ZIP_ER_TMPOPEN) : 0;
    }

    zip_int64_t Write(const void *data, zip_uint64_t length)
    {
        // Appends wait in memory until a block is full.
        if (FWriteOffset == FWriteEnd) {
            if (FPendingWrite.empty())
                FWriteStart = FWriteOffset;
            const auto *bytes = static_cast<const char *>(data);
            FPendingWrite.insert(FPendingWrite.end(), bytes, bytes + length);
            FWriteOffset += qint64(length);
            FWriteEnd = FWriteOffset;
            if (FPendingWrite.size() >= WriteBlock && !FlushWrites())
                return Fail(ZIP_ER_WRITE);
            return zip_int64_t(length);
        }
        if (!FlushWrites())
            return Fail(ZIP_ER_WRITE);
        // libzip goes back to complete each entry's header. fusefat loses or
        // refuses a write that lies behind an earlier one of the same
        // descriptor in the same cluster: such writes get a descriptor of
        // their own.
        const bool rewrite = FWriteOffset < FWriteEnd;
        const int fd = rewrite ? ::open(FTempName.constData(), O_WRONLY | O_CLOEXEC) : FTemp;
        bool written = fd >= 0 && ::lseek(fd, off_t(FWriteOffset), SEEK_SET) >= 0 &&
                       WriteAll(fd, static_cast<const char *>(data), qint64(length));
        if (rewrite && fd >= 0)
            written = ::close(fd) == 0 && written;
        if (!written)
            return Fail(ZIP_ER_WRITE);
        FWriteOffset += qint64(length);
        FWriteEnd = std::max(FWriteEnd, FWriteOffset);
        return zip_int64_t(length);
    }

    bool FlushWrites()
    {
        if (FPendingWrite.empty())
            return true;
        const bool written = ::lseek(FTemp, off_t(FWriteStart), SEEK_SET) >= 0 &&
                             WriteAll(FTemp, FPendingWrite.data(), qint64(FPendingWrite.size()));
        FPendingWrite.clear();
        return written;
    }

    zip_int64_t CommitWrite()
    {
        if (!FlushWrites())
            return Fail(ZIP_ER_WRITE);
        // The archive's permissions, or the usual ones for a new file.
        struct stat old
        {
        };
        const mode_t mode = ::stat(FPath.constData(), &old) == 0 ? old.st_mode & 07777 : NewFileMode();
        if (!SetModeIfHeld(FTemp, mode) || ::fsync(FTemp) != 0)
            return Fail(ZIP_ER_WRITE);
        const int closed = ::close(FTemp);
        FTemp = -1;
        if (closed != 0 || ::rename(FTempName.constData(), FPath.constData()) != 0) {
            const zip_int64_t failed = Fail(ZIP_ER_RENAME);
            DropTemp();
            return failed;
        }
        FTempName.clear();
        FTempLock.Release();
        SyncFolder(NativeFolderOf(QFile::decodeName(FPath)));
        return 0;
    }

    void DropTemp()
    {
        FPendingWrite.clear();
        if (FTemp >= 0)
            ::close(FTemp);
        FTemp = -1;
        if (!FTempName.isEmpty())
            ::unlink(FTempName.constData());
        FTempName.clear();
        FTempLock.Release();
    }

    const QByteArray FPath;
    zip_error_t FError;
    int FRead = -1;
    qint64 FReadSize = 0;
    qint64 FReadOffset = 0;
    int FTemp = -1;
    QByteArray FTempName;
    TTempFileLock FTempLock;  // until the archive is renamed into place
    qint64 FWriteOffset = 0;  // where libzip writes next
    qint64 FWriteEnd = 0;     // the temporary file's size, with what waits
    std::vector<char> FBlock; // read ahead from FBlockStart
    qint64 FBlockStart = 0;
    qint64 FBlockSize = 0;
    std::vector<char> FPendingWrite; // appends not yet written, from FWriteStart
    qint64 FWriteStart = 0;
};

} // namespace

zip_source_t *CreateDurableZipFileSource(const QByteArray &nativePath, zip_error_t *error)
{
    auto *state = new TDurableFileSource(nativePath);
    zip_source_t *source = zip_source_function_create(&TDurableFileSource::Callback, state, error);
    if (!source)
        delete state;
    return source;
}

} // namespace trovalo
