#include "DriveConfig.h"

#include "base/PathText.h"
#include "model/DiskConfigFile.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

namespace trovalo {

namespace {
QString ConfigFolder(const QString &driveRoot)
{
    return IncludeTrailingBackslash(driveRoot) + QStringLiteral("Config\\");
}
} // namespace

QString DriveConfigFileName(const QString &driveRoot)
{
    return ConfigFolder(driveRoot) + QStringLiteral("Drive Config.cfg");
}

QString EnsureConfigFolder(const QString &driveRoot)
{
    const QString folder = ConfigFolder(driveRoot);
    if (!DirectoryExists(folder) && CreateDir(folder))
        SetFileAttributes(folder, faHidden);
    return folder;
}

TDriveCheck CheckDrive(const QString &driveRoot, const QString &pcId)
{
    const QString fileName = DriveConfigFileName(driveRoot);
    if (!FileExists(fileName))
        return {};
    TDiskConfigFile config;
    LoadFromFile(config, fileName);
    return {config.KnowsPC(pcId), config.AutoLoad()};
}

void AddPCToDrive(const QString &driveRoot, const QString &pcId, bool autoLoad)
{
    EnsureConfigFolder(driveRoot);
    const QString fileName = DriveConfigFileName(driveRoot);
    TDiskConfigFile config;
    LoadFromFile(config, fileName);
    config.SetPCList(config.PCList() << pcId);
    config.SetAutoLoad(autoLoad);
    // The record is written to a new file and renamed over the old one, so a
    // hidden or read-only old file does not stand in the way.
    SaveToFile(config, fileName);
    SetFileAttributes(fileName, faHidden);
}

} // namespace trovalo
