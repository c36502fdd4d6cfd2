#include "AppPaths.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "model/ProgramIdentity.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <optional>

namespace trovalo {

namespace {

QMutex pathsMutex;
std::optional<QString> cachedCommonDataFolder;
std::optional<QString> workFolder;

QString LetterFormOrRaise(const QString &path, const QString &origin)
{
    try {
        return ExcludeTrailingBackslash(LetterPathFromUserInput(path));
    } catch (const EPathError &) {
        throw EPathError(QStringLiteral("The data folder \"%1\" (%2) lies on no drive known to the program, "
                                        "so Trovalo cannot keep its data there.")
                             .arg(path, origin));
    }
}

QString ComputeCommonDataFolder()
{
    const QString programData = qEnvironmentVariable("ProgramData");
    if (!programData.isEmpty())
        return LetterFormOrRaise(programData, QStringLiteral("environment variable ProgramData"));
    const QString allUsers = qEnvironmentVariable("ALLUSERSPROFILE");
    if (!allUsers.isEmpty())
        return LetterFormOrRaise(allUsers, QStringLiteral("environment variable ALLUSERSPROFILE")) +
               QStringLiteral("\\Application Data");
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return LetterFormOrRaise(dataHome, QStringLiteral("the desktop's data folder"));
}

} // namespace

QString CommonDataFolder()
{
    QMutexLocker lock(&pathsMutex);
    if (!cachedCommonDataFolder)
        cachedCommonDataFolder = ComputeCommonDataFolder();
    return *cachedCommonDataFolder;
}

QString AppDataFolder()
{
    return CommonDataFolder() + QLatin1Char('\\') + AppFolderName();
}

QString ExecutableFilePath()
{
    // The link target names the file even before a QCoreApplication exists. A
    // program file replaced while running reads "... (deleted)"; the copy
    // started from the same place must still count as the same program.
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString deleted = QStringLiteral(" (deleted)");
    if (target.endsWith(deleted))
        target.chop(deleted.size());
    return target;
}

QString InstalledDataFolder()
{
    const QString exe = ExecutableFilePath();
    if (exe.isEmpty())
        return QString();
    // The build gives the way from the installed bin folder to share/trovalo,
    // so a program copied or packaged with another prefix still finds it.
    const QDir programFolder = QFileInfo(exe).absoluteDir();
    const QString installed =
        QDir::cleanPath(programFolder.filePath(QStringLiteral(TROVALO_INSTALLED_DATA_FROM_BIN)));
    return QFileInfo(installed).isDir() ? installed : programFolder.path();
}

QString WorkFolder()
{
    QMutexLocker lock(&pathsMutex);
    if (!workFolder)
        workFolder = ToLetterPath(QDir::currentPath()).value_or(QString());
    return *workFolder;
}

void SetWorkFolder(const QString &letterPath)
{
    QMutexLocker lock(&pathsMutex);
    workFolder = letterPath;
}

bool IsWorkRelativePath(const QString &path)
{
    if (path.startsWith(QStringLiteral("\\\\")))
        return false;
    return path.mid(1, 2) != QStringLiteral(":\\");
}

QString ResolveWorkPath(const QString &path)
{
    if (!IsWorkRelativePath(path))
        return path;
    const QString folder = WorkFolder();
    if (folder.isEmpty())
        return path;
    // A root work folder ("C:\") already ends with the separator.
    return IncludeTrailingBackslash(folder) + path;
}

void ResetAppPathsForTesting()
{
    QMutexLocker lock(&pathsMutex);
    cachedCommonDataFolder.reset();
    workFolder.reset();
}

} // namespace trovalo
