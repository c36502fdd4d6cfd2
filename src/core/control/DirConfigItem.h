#pragma once

#include "control/DirFileAttributes.h"

#include <QString>

namespace trovalo {

// One folder the folder manager creates, with the attributes it should carry.
class TDirConfigItem
{
public:
    TDirConfigItem() = default;
    TDirConfigItem(const QString &caption, const QString &dir);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString &value) { FCaption = value; }

    QString Dir() const { return FDir; }
    // Also decides InWorkDir: a relative path lies in the work folder.
    void SetDir(const QString &value);

    bool InWorkDir() const { return FInWorkDir; }
    void SetInWorkDir(bool value) { FInWorkDir = value; }

    TFileAttributes &FileAttributes() { return FFileAttributes; }
    const TFileAttributes &FileAttributes() const { return FFileAttributes; }

private:
    QString FCaption;
    QString FDir;
    bool FInWorkDir = true;
    TFileAttributes FFileAttributes;
};

} // namespace trovalo
