#include "DirConfigItem.h"

#include "platform/AppPaths.h"

namespace trovalo {

TDirConfigItem::TDirConfigItem(const QString &caption, const QString &dir)
    : FCaption(caption)
{
    SetDir(dir);
}

void TDirConfigItem::SetDir(const QString &value)
{
    FDir = value;
    FInWorkDir = IsWorkRelativePath(value);
}

} // namespace trovalo
