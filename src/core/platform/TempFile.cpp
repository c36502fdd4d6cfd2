#include "TempFile.h"

#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalo {

namespace {
const QLatin1String Prefix(".~trovalo-");
const QLatin1String Suffix(".part");

bool OnNetworkShare(const QString &letterPath)
{
    static const QStringList network = {"cifs", "smb3", "smbfs", "nfs", "nfs4", "fuse.sshfs"};
    return letterPath.startsWith(QLatin1String("\\\\")) || network.contains(FileSystemOfPath(letterPath));
}
} // namespace

void TTempFileLock::Take(int fd)
{
    Release();
    const int held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0)
        FFd = held;
    else if (held >= 0)
        ::close(held);
}

void TTempFileLock::Release()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

bool IsTempFileName(QStringView name)
{
    if (name.size() != Prefix.size() + 8 + Suffix.size() || !name.startsWith(Prefix) ||
        !name.endsWith(Suffix))
        return false;
    for (const QChar c : name.mid(Prefix.size(), 8))
        if (!c.isDigit() && (c < QLatin1Char('a') || c > QLatin1Char('f')))
            return false;
    return true;
}

int CreateTempBeside(const QString &nativeTarget, QByteArray *tempName, TTempFileLock &lock)
{
    const QString folder = NativeFolderOf(nativeTarget);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate =
            (folder == QLatin1String("/") ? QString() : folder) + QLatin1Char('/') + Prefix +
            QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) +
            Suffix;
        *tempName = QFile::encodeName(candidate);
        const int fd = ::open(tempName->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            lock.Take(fd);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

std::optional<qint64> RemoveLeftover(const QString &letterPath)
{
    if (!IsTempFileName(ExtractFileName(letterPath)) || OnNetworkShare(letterPath))
        return std::nullopt;
    const std::optional<QString> native = ToNativePath(letterPath);
    if (!native)
        return std::nullopt;
    const QByteArray name = QFile::encodeName(*native);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat opened
    {
    }, named{};
    std::optional<qint64> removed;
    // The name must still be the file locked: a writer may have renamed it
    // into place meanwhile, and another taken the name.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(name.constData(), &named) == 0 && named.st_ino == opened.st_ino &&
        named.st_dev == opened.st_dev && ::unlink(name.constData()) == 0)
        removed = qint64(opened.st_size);
    ::close(fd);
    return removed;
}

} // namespace trovalo
