#include "control/DeletedFolderEmptying.h"

#include "base/Exceptions.h"
#include "base/Logging.h"
#include "base/PathText.h"
#include "control/ProtectionFolderRule.h"
#include "db/ProgramDatabase.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <vector>

namespace trovalo {

namespace {

// Removes Folder (with a trailing "\") and everything below it, links
// themselves rather than what they point to. Returns "" when the folder is
// gone, else the first reason something stayed.
QString RemoveFolderTree(const QString &folder)
{
    std::vector<TFolderEntry> entries;
    int error = 0;
    if (!ListFolder(folder, entries, &error))
        return SystemErrorText(error);
    QString firstProblem;
    for (const TFolderEntry &entry : entries) {
        const QString path = folder + entry.Name;
        QString problem;
        if (entry.IsFolder()) {
            problem = RemoveFolderTree(path + QLatin1Char('\\'));
        } else {
            const TFileOpResult deleted = DeleteFileChecked(path);
            if (!deleted.Ok)
                problem = path + QStringLiteral(": ") + deleted.Message;
        }
        if (firstProblem.isEmpty())
            firstProblem = problem;
    }
    if (!RemoveDir(folder) && firstProblem.isEmpty())
        firstProblem = SystemErrorText(errno);
    return firstProblem;
}

} // namespace

QString TDeletedFolderEmptying::KeptLines(int MaxLines) const
{
    QStringList lines = Kept.mid(0, MaxLines);
    if (Kept.size() > MaxLines)
        lines << QStringLiteral("… and %1 more").arg(Kept.size() - MaxLines);
    return lines.join(QLatin1Char('\n'));
}

bool IsProtectionStampName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^ \\d{4}-\\d{2}-\\d{2} \\d{2}-\\d{2}$"));
    return pattern.match(name).hasMatch() &&
           QDateTime::fromString(name.mid(1), QStringLiteral("yyyy-MM-dd hh-mm")).isValid();
}

TDeletedFolderEmptying EmptyDeletedFolder(const QString &folder, TProgramDatabase &database,
                                          const QString &dataFolder)
{
    if (const std::optional<QString> refusal = ProtectionFolderRefusal(folder, dataFolder))
        throw EUserException(*refusal);
    const QString root = IncludeTrailingBackslash(folder);
    const QStringList logged = database.DeletedFileFolders();
    const QSet<QString> recorded(logged.cbegin(), logged.cend());

    TDeletedFolderEmptying result;
    std::vector<TFolderEntry> entries;
    ListFolder(root, entries); // a folder that is not there holds nothing
    for (const TFolderEntry &entry : entries) {
        const QString name = entry.Name;
        if (!entry.IsFolder() || !IsProtectionStampName(name)) {
            result.Kept << name + QStringLiteral(": not made by deletion protection");
        } else if (!recorded.contains(name)) {
            result.Kept << name + QStringLiteral(": no deleted file is recorded in it (a time-stamped "
                                                 "backup has such a name too)");
        } else if (const QString problem = RemoveFolderTree(root + name + QLatin1Char('\\'));
                   !problem.isEmpty()) {
            result.Kept << name + QStringLiteral(": could not be removed (") + problem + QLatin1Char(')');
        } else {
            result.Removed << name;
            qCInfo(LogEngine).noquote()
                << "Removed from the deleted-files folder:" << WithNative(root + name);
        }
    }
    for (const QString &name : logged)
        if (!PathExists(root + name))
            database.ForgetDeletedFilesUnder(name);
    return result;
}

} // namespace trovalo
