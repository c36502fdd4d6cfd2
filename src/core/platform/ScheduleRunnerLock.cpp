#include "ScheduleRunnerLock.h"

#include "base/Exceptions.h"
#include "platform/FileOperations.h"
#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <utility>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace trovalo {

namespace {
QString LockPath(const QString &dataFolder)
{
    const QByteArray key =
        QCryptographicHash::hash(QDir::cleanPath(dataFolder).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(32);
    return UserRuntimeFolder() + QStringLiteral("/schedules-") + QString::fromLatin1(key) +
           QStringLiteral(".lock");
}

QString ReadHolder(int fd)
{
    char buffer[512];
    const ssize_t length = ::pread(fd, buffer, sizeof buffer, 0);
    const QString text = length > 0 ? QString::fromUtf8(buffer, length).trimmed() : QString();
    return text.isEmpty() ? QStringLiteral("another copy of the program") : text;
}
} // namespace

TScheduleRunnerLock::~TScheduleRunnerLock()
{
    Release();
}

TScheduleRunnerLock::TScheduleRunnerLock(TScheduleRunnerLock &&other) noexcept
    : FFd(std::exchange(other.FFd, -1))
{}

TScheduleRunnerLock &TScheduleRunnerLock::operator=(TScheduleRunnerLock &&other) noexcept
{
    if (this != &other) {
        Release();
        FFd = std::exchange(other.FFd, -1);
    }
    return *this;
}

void TScheduleRunnerLock::Release()
{
    // The file stays: removing it could let two processes lock two files of
    // one name.
    if (FFd >= 0)
        ::close(std::exchange(FFd, -1));
}

std::optional<TScheduleRunnerLock> TScheduleRunnerLock::TryTake(const QString &dataFolder,
                                                                const QString &holder, QString *heldBy)
{
    const QString path = LockPath(dataFolder);
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw EFileError(
            QStringLiteral("The schedules' lock %1 cannot be made: %2").arg(path, SystemErrorText(errno)));
    TScheduleRunnerLock lock(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK)
            throw EFileError(QStringLiteral("The schedules' lock %1 cannot be taken: %2")
                                 .arg(path, SystemErrorText(error)));
        if (heldBy)
            *heldBy = ReadHolder(fd);
        return std::nullopt;
    }
    const QByteArray text =
        QStringLiteral("%1 (process %2)\n").arg(holder).arg(QCoreApplication::applicationPid()).toUtf8();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.constData(), text.size(), 0) != text.size())
        throw EFileError(
            QStringLiteral("The schedules' lock %1 cannot be written: %2").arg(path, SystemErrorText(errno)));
    return lock;
}

} // namespace trovalo
