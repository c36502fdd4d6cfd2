#include "DriveTableFileWatcher.h"

#include <QFileInfo>

namespace trovalo {

TDriveTableFileWatcher::TDriveTableFileWatcher(const QString &fileName, QObject *parent)
    : QObject(parent)
    , FFileName(fileName)
{
    FDebounce.setSingleShot(true);
    FDebounce.setInterval(DebounceMs);
    connect(&FDebounce, &QTimer::timeout, this, &TDriveTableFileWatcher::Changed);
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, &TDriveTableFileWatcher::Touched);
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, &TDriveTableFileWatcher::Touched);
}

bool TDriveTableFileWatcher::Start()
{
    const QString folder = QFileInfo(FFileName).absolutePath();
    const bool folderWatched = FWatcher.addPath(folder);
    WatchFile();
    return folderWatched || FWatcher.files().contains(FFileName);
}

void TDriveTableFileWatcher::WatchFile()
{
    // A file replaced by a rename is a new file: the old watch went with the
    // old one, so the name is watched again whenever it exists.
    if (!FWatcher.files().contains(FFileName) && QFileInfo::exists(FFileName))
        FWatcher.addPath(FFileName);
}

void TDriveTableFileWatcher::Touched()
{
    WatchFile();
    FDebounce.start();
}

} // namespace trovalo
