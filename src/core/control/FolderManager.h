#pragma once

#include "control/DirConfigItem.h"

#include <QList>
#include <QStringList>

namespace trovalo {

// Creates the program's folders and gives them their attributes, keeping a
// report line for every folder operation. Failures are only reported, never
// raised: a missing folder must not stop the program from starting.
class TFolderManager
{
public:
    // Plain folder paths, created by MakeDirTree without attributes.
    QStringList &DirList() { return FDirList; }
    const QStringList &DirList() const { return FDirList; }
    // Folders with attributes, created by MakeDirTree in this order.
    QList<TDirConfigItem> &DirListEx() { return FDirListEx; }
    const QList<TDirConfigItem> &DirListEx() const { return FDirListEx; }

    const QStringList &OutPutList() const { return FOutPutList; }

    // Creates the folder and its missing parents. A relative path resolves in
    // the work folder.
    void MakeDir(const QString &dir);

    // Creates every folder of DirList and DirListEx; a DirListEx folder that
    // shows none of its wanted attribute bits gets its attribute word.
    void MakeDirTree();

private:
    static bool IsDriveOnly(const QString &path);
    void Report(const char *what, const QString &path);
    void ApplyAttributes(const TDirConfigItem &item, const QString &path);

    QStringList FDirList;
    QList<TDirConfigItem> FDirListEx;
    QStringList FOutPutList;
};

} // namespace trovalo
