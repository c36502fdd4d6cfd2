#include "control/ProtectionFolderRule.h"

#include "base/PathText.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/FolderOverlap.h"

#include <QDir>
#include <QStringList>

namespace trovalo {

namespace {

// Why a folder that is or holds Protected cannot be used; "" when it
// neither is nor holds it.
QString Covers(const QString &folder, const QString &protectedFolder, const QString &isText,
               const QString &holdsText)
{
    if (!IsSameOrInsideFolder(protectedFolder, folder))
        return QString();
    return IsSameOrInsideFolder(folder, protectedFolder) ? isText : holdsText;
}

// Every drive root and mounted share in the drive-letter form.
QStringList DriveRoots()
{
    const std::shared_ptr<const TDriveMap> map = TDriveTable::Instance().Map();
    QStringList roots;
    for (const TDriveInfo &drive : map->Drives())
        roots << drive.LetterRoot();
    for (const TNetworkShare &share : map->Shares())
        roots << IncludeTrailingBackslash(share.Unc);
    return roots;
}

QString Reason(const QString &folder, const QString &dataFolder)
{
    if (folder.trimmed().isEmpty())
        return QStringLiteral("no folder is set");
    if (!ToNativePath(folder))
        return QStringLiteral("it is on no drive of this computer");
    for (const QString &root : DriveRoots()) {
        const QString reason = Covers(folder, root, QStringLiteral("it is the root of the drive ") + root,
                                      QStringLiteral("it holds the drive ") + root);
        if (!reason.isEmpty())
            return reason;
    }
    if (const std::optional<QString> home = ToLetterPath(QDir::homePath())) {
        const QString reason = Covers(folder, *home, QStringLiteral("it is your home folder"),
                                      QStringLiteral("it holds your home folder ") + *home);
        if (!reason.isEmpty())
            return reason;
    }
    if (dataFolder.isEmpty())
        return QString();
    const QString reason =
        Covers(folder, dataFolder, QStringLiteral("it is the program's data folder"),
               QStringLiteral("it holds the program's data folder ") + ExcludeTrailingBackslash(dataFolder));
    if (!reason.isEmpty())
        return reason;
    const QString configData = IncludeTrailingBackslash(dataFolder) + QStringLiteral("ConfigData");
    if (PathsOverlap(folder, configData))
        return QStringLiteral("the program keeps its settings there (") + configData + QLatin1Char(')');
    return QString();
}

} // namespace

std::optional<QString> ProtectionFolderRefusal(const QString &folder, const QString &dataFolder)
{
    const QString reason = Reason(folder, dataFolder);
    if (reason.isEmpty())
        return std::nullopt;
    return folder + QStringLiteral(" cannot be the Deleted File Protection folder: ") + reason +
           QLatin1Char('.');
}

} // namespace trovalo
