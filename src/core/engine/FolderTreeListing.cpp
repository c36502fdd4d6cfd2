#include "engine/FolderTreeListing.h"

#include <utility>

namespace trovalo {

TFolderTreeListing::TFolderTreeListing(QString root, std::function<bool()> stopped,
                                       std::function<bool(const QString &)> skipFolder)
    : FStopped(std::move(stopped))
    , FSkipFolder(std::move(skipFolder))
    , FRoot(std::move(root))
    , FThread([this] { ListTree(); })
{}

TFolderTreeListing::~TFolderTreeListing()
{
    FAbandoned.store(true, std::memory_order_relaxed);
    FThread.join();
}

bool TFolderTreeListing::Stopping() const
{
    return FAbandoned.load(std::memory_order_relaxed) || FStopped();
}

void TFolderTreeListing::ListTree()
{
    try {
        ListFolderAndBelow(FRoot);
    } catch (...) {
        // Out of memory: the walk sees the listing end here, as after a stop,
        // and the run reports what it can.
    }
    const std::lock_guard<std::mutex> guard(FLock);
    FDone = true;
    FListed.notify_all();
}

void TFolderTreeListing::ListFolderAndBelow(const QString &path)
{
    TFolder folder;
    folder.Path = path;
    folder.Read = ListFolder(path, folder.Entries, &folder.Error);
    std::vector<QString> subFolders;
    for (const TFolderEntry &entry : folder.Entries) {
        if (entry.Kind == TFolderEntry::ekFolder)
            subFolders.push_back(path + entry.Name + QLatin1Char('\\'));
    }
    {
        const std::lock_guard<std::mutex> guard(FLock);
        FFolders.push_back(std::move(folder));
        FListed.notify_all();
    }
    for (const QString &subFolder : subFolders) {
        if (Stopping())
            return;
        if (!FSkipFolder(subFolder))
            ListFolderAndBelow(subFolder);
    }
}

const TFolderTreeListing::TFolder *TFolderTreeListing::Folder(std::size_t position)
{
    std::unique_lock<std::mutex> guard(FLock);
    FListed.wait(guard, [&] { return position < FFolders.size() || FDone; });
    return position < FFolders.size() ? &FFolders[position] : nullptr;
}

void TFolderTreeListing::Release(std::size_t position)
{
    const std::lock_guard<std::mutex> guard(FLock);
    if (position < FFolders.size())
        std::vector<TFolderEntry>().swap(FFolders[position].Entries);
}

} // namespace trovalo
