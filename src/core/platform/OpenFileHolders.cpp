#include "OpenFileHolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace trovalo {

namespace {

const QString ProcFolder = QStringLiteral("/proc");
constexpr int PathsShown = 3;

bool IsAtOrBelow(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// /proc/<pid>/comm is cut to 15 bytes; the program file's name is whole and,
// when it begins the same way, is the better name ("gnome-text-editor").
QString ProgramName(const QString &processFolder)
{
    QFile comm(processFolder + QStringLiteral("/comm"));
    const QString shortName =
        comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
    const QString exe = QFileInfo(QFile::symLinkTarget(processFolder + QStringLiteral("/exe"))).fileName();
    if (shortName.isEmpty())
        return exe;
    return !exe.isEmpty() && exe.startsWith(shortName) ? exe : shortName;
}

bool OwnedByThisUser(const QString &processFolder)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(processFolder).constData(), &info) == 0 && info.st_uid == ::geteuid();
}

QStringList HeldPaths(const QString &processFolder, const QString &folder)
{
    QStringList held;
    const QString cwd = QFile::symLinkTarget(processFolder + QStringLiteral("/cwd"));
    if (!cwd.isEmpty() && IsAtOrBelow(cwd, folder))
        held << cwd;
    const QDir descriptors(processFolder + QStringLiteral("/fd"));
    for (const QString &fd : descriptors.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(fd));
        if (!target.isEmpty() && IsAtOrBelow(target, folder) && !held.contains(target))
            held << target;
    }
    return held;
}

} // namespace

QList<TFileHolder> ProcessesHoldingFilesUnder(const QString &nativeFolder, std::optional<qint64> onlyProcess)
{
    // The links in /proc name the real paths, without symbolic links.
    const QString canonical = QFileInfo(nativeFolder).canonicalFilePath();
    const QString folder = canonical.isEmpty() ? QDir::cleanPath(nativeFolder) : canonical;
    QList<TFileHolder> holders;
    if (folder.isEmpty() || folder == QLatin1String("/"))
        return holders;
    QList<qint64> processes;
    if (onlyProcess) {
        processes << *onlyProcess;
    } else {
        for (const QString &name : QDir(ProcFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool number = false;
            const qint64 pid = name.toLongLong(&number);
            if (number)
                processes << pid;
        }
    }
    for (const qint64 pid : processes) {
        const QString processFolder = ProcFolder + QLatin1Char('/') + QString::number(pid);
        if (!OwnedByThisUser(processFolder))
            continue;
        const QStringList held = HeldPaths(processFolder, folder);
        if (!held.isEmpty())
            holders << TFileHolder{pid, ProgramName(processFolder), held};
    }
    std::sort(holders.begin(), holders.end(),
              [](const TFileHolder &a, const TFileHolder &b) { return a.ProcessId < b.ProcessId; });
    return holders;
}

QString FileHoldersText(const QList<TFileHolder> &holders)
{
    QStringList parts;
    for (const TFileHolder &holder : holders) {
        QStringList paths = holder.Paths.mid(0, PathsShown);
        if (holder.Paths.size() > PathsShown)
            paths << QStringLiteral("…");
        parts << QStringLiteral("%1 (process %2: %3)")
                     .arg(holder.Program, QString::number(holder.ProcessId),
                          paths.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace trovalo
