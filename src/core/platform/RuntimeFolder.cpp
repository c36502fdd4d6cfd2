#include "platform/RuntimeFolder.h"

#include "base/Exceptions.h"
#include "platform/FileOperations.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalo {

QString UserRuntimeFolder()
{
    // Asked only when set: without it Qt would pick a fallback of its own
    // and warn on every call.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!runtime.isEmpty())
            return runtime;
    }
    const QString folder = QStringLiteral("/tmp/trovalo-%1").arg(::getuid());
    MakePrivateFolder(folder);
    return folder;
}

void MakePrivateFolder(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw EFileError(
            QStringLiteral("The folder %1 cannot be created: %2").arg(folder, SystemErrorText(errno)));
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0)
        throw EFileError(
            QStringLiteral("The folder %1 cannot be used: %2").arg(folder, SystemErrorText(errno)));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0)
        throw EFileError(
            QStringLiteral("The folder %1 is not a private folder of this user; remove it and start again.")
                .arg(folder));
}

} // namespace trovalo
