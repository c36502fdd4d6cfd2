#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <dirent.h>

namespace trovalo {

// The destination folder of one level of a walk. Listed once, on first
// need, so that asking whether an unchanged file still has its copy, or
// whether a new one's name is free, is a look-up instead of a system call
// per file; entries whose kind the listing does not tell (links, some file
// systems) are asked about one by one. Each name is asked about once,
// before its own copy, so the listing never needs to follow what the walk
// writes; in a folder that was missing, only the walk's own copies are.
class TTargetFolder
{
public:
    explicit TTargetFolder(const QString &letterFolder);
    ~TTargetFolder();
    TTargetFolder(const TTargetFolder &) = delete;
    TTargetFolder &operator=(const TTargetFolder &) = delete;

    // A file (not a folder) of that name exists; links are followed.
    bool HasFile(const QString &name);
    // Nothing of that exact name was there (a file system that ignores
    // letter case may still hold it under another spelling).
    bool Lacks(const QString &name);
    // The program's temporary files there (TempFile.h), which the folder's
    // listing keeps apart; lists the folder now.
    const QStringList &Leftovers();

private:
    bool Listed();
    void List();

    QString FLetterFolder;
    bool FListed = false;
    bool FMissing = false; // the folder was not there when first asked
    DIR *FDir = nullptr;
    QSet<QString> FFiles;     // regular files
    QSet<QString> FFolders;   // folders, "." and ".." included
    QSet<QString> FUncertain; // links, devices, kinds not reported
    QStringList FLeftovers;
};

} // namespace trovalo
