#include "FolderManager.h"

#include "base/PathText.h"
#include "platform/AppPaths.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

namespace trovalo {

void TFolderManager::MakeDir(const QString &dir)
{
    // "C:\a\b\" names the same folder as "C:\a\b"; without this the folder
    // would be created through its parent and then reported as a failure.
    QString path = dir;
    if (path.endsWith(QLatin1Char('\\')) && path.size() > ExtractFileDrive(path).size() + 1)
        path.chop(1);

    const QString target = ResolveWorkPath(path);
    if (DirectoryExists(target)) {
        Report("Directory Exists : ", path);
        return;
    }
    const QString parent = ParentOf(path);
    if (!parent.isEmpty() && !IsDriveOnly(parent) && !DirectoryExists(ResolveWorkPath(parent)))
        MakeDir(parent);
    Report(CreateDir(target) ? "Directory Created : " : "Error Createing Directory : ", path);
}

void TFolderManager::MakeDirTree()
{
    for (const QString &dir : std::as_const(FDirList))
        MakeDir(ResolveWorkPath(dir));
    for (const TDirConfigItem &item : std::as_const(FDirListEx)) {
        const QString path = item.InWorkDir() ? ResolveWorkPath(item.Dir()) : item.Dir();
        MakeDir(path);
        ApplyAttributes(item, path);
    }
}

void TFolderManager::ApplyAttributes(const TDirConfigItem &item, const QString &path)
{
    const quint32 wanted = item.FileAttributes().AttributeWord();
    // Attributes that cannot be read count as all bits present, so a folder
    // that could not be created is left alone (its failure is reported).
    const quint32 current = GetFileAttributes(path).value_or(0xFFFFFFFFu);
    if ((current & wanted) != 0)
        return;
    Report(SetFileAttributes(path, wanted) ? "Setting Attributes : " : "Error Setting Attributes : ",
           item.Dir());
}

bool TFolderManager::IsDriveOnly(const QString &path)
{
    // A drive ("C:") or share ("\\server\share") is never created here.
    return path == ExtractFileDrive(path);
}

void TFolderManager::Report(const char *what, const QString &path)
{
    FOutPutList << QLatin1String(what) + path;
}

} // namespace trovalo
