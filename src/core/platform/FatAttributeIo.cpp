#include "FatAttributeIo.h"

#include <QFile>

#include <atomic>

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace trovalo {

namespace {
constexpr quint32 MsdosMagic = 0x4D44;
constexpr quint32 ExfatMagic = 0x2011BAB0;

std::atomic<const TFatAttributeIo *> replacement{nullptr};

// Folders too: FAT keeps attributes on directories, and the ioctls accept a
// descriptor opened read-only. O_NONBLOCK keeps a FIFO from hanging the open.
int OpenForIoctl(const QString &nativePath)
{
    return ::open(QFile::encodeName(nativePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}
} // namespace

bool TFatAttributeIo::IsFatVolume(const QString &nativePath) const
{
    struct statfs info
    {
    };
    if (::statfs(QFile::encodeName(nativePath).constData(), &info) != 0)
        return false;
    const auto type = static_cast<quint32>(info.f_type);
    return type == MsdosMagic || type == ExfatMagic;
}

std::optional<quint32> TFatAttributeIo::Get(const QString &nativePath) const
{
    const int fd = OpenForIoctl(nativePath);
    if (fd < 0)
        return std::nullopt;
    __u32 attributes = 0;
    const int result = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes);
    ::close(fd);
    if (result != 0)
        return std::nullopt;
    return attributes;
}

bool TFatAttributeIo::Set(const QString &nativePath, quint32 attributes) const
{
    const int fd = OpenForIoctl(nativePath);
    if (fd < 0)
        return false;
    __u32 value = attributes;
    const int result = ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &value);
    ::close(fd);
    return result == 0;
}

const TFatAttributeIo &TFatAttributeIo::Current()
{
    static const TFatAttributeIo real;
    const TFatAttributeIo *io = replacement.load();
    return io ? *io : real;
}

void TFatAttributeIo::SetCurrent(const TFatAttributeIo *io)
{
    replacement.store(io);
}

} // namespace trovalo
