#include "engine/TargetFolder.h"

#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/TempFile.h"

#include <QFile>

#include <cerrno>
#include <optional>

#include <sys/stat.h>

namespace trovalo {

TTargetFolder::TTargetFolder(const QString &letterFolder)
    : FLetterFolder(letterFolder)
{}

TTargetFolder::~TTargetFolder()
{
    if (FDir)
        ::closedir(FDir);
}

bool TTargetFolder::HasFile(const QString &name)
{
    if (!Listed())
        return false;
    if (FFiles.contains(name))
        return true;
    if (!FUncertain.contains(name))
        return false;
    struct stat info
    {
    };
    return ::fstatat(::dirfd(FDir), QFile::encodeName(NativeName(name)).constData(), &info, 0) == 0 &&
           !S_ISDIR(info.st_mode);
}

bool TTargetFolder::Lacks(const QString &name)
{
    if (!Listed())
        return FMissing;
    return !FFiles.contains(name) && !FUncertain.contains(name) && !FFolders.contains(name);
}

const QStringList &TTargetFolder::Leftovers()
{
    Listed();
    return FLeftovers;
}

bool TTargetFolder::Listed()
{
    if (!FListed) {
        FListed = true;
        List();
    }
    return FDir != nullptr;
}

void TTargetFolder::List()
{
    const std::optional<QString> native = ToNativePath(FLetterFolder);
    if (!native)
        return;
    FDir = ::opendir(QFile::encodeName(*native).constData());
    if (!FDir) {
        FMissing = errno == ENOENT;
        return;
    }
    while (const dirent *entry = ::readdir(FDir)) {
        const QString name = LetterNameOfEntry(entry->d_name);
        if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) && IsTempFileName(name))
            FLeftovers << name;
        else if (entry->d_type == DT_REG)
            FFiles.insert(name);
        else if (entry->d_type == DT_DIR)
            FFolders.insert(name);
        else
            FUncertain.insert(name);
    }
}

} // namespace trovalo
