#include "engine/FolderSizeThread.h"

#include "base/PathText.h"
#include "platform/FolderListing.h"

#include <vector>

namespace trovalo::foldersize {

TFolderSizeThread::TFolderSizeThread(const QString &FolderName, QObject *parent)
    : QThread(parent)
    , FFolderName(FolderName)
{}

void TFolderSizeThread::run()
{
    FFolderSize = Walk(IncludeTrailingBackslash(FFolderName));
}

qint64 TFolderSizeThread::Walk(const QString &folder)
{
    std::vector<TFolderEntry> entries;
    if (!ListFolder(folder, entries))
        return 0;
    qint64 size = 0;
    for (const TFolderEntry &entry : entries) {
        if (isInterruptionRequested())
            break;
        if (entry.IsFolder()) {
            size += Walk(folder + entry.Name + QLatin1Char('\\'));
            ++FFolderCount;
        } else if (entry.IsFile()) {
            size += entry.Size;
            ++FFileCount;
        }
    }
    return size;
}

} // namespace trovalo::foldersize
