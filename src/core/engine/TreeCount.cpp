#include "engine/TreeCount.h"

#include <QStringList>

#include <future>

namespace trovalo {

TTreeCount::TTreeCount(TExcluded excluded, TStopped stopped)
    : FExcluded(std::move(excluded))
    , FStopped(std::move(stopped))
{}

void TTreeCount::Run(const QString &root, const std::function<void(const QString &folder)> &listing)
{
    FQueue.push_back(root);
    std::future<void> helper = std::async(std::launch::async, [this] { Work(nullptr); });
    Work(&listing);
    helper.get();
}

void TTreeCount::TakeListings(QHash<QString, std::vector<TFolderEntry>> &listings)
{
    if (listings.isEmpty()) {
        listings.swap(FListings);
        return;
    }
    for (auto it = FListings.begin(); it != FListings.end(); ++it)
        listings.emplace(it.key(), std::move(it.value()));
    FListings.clear();
}

void TTreeCount::Work(const std::function<void(const QString &folder)> *listing)
{
    std::unique_lock lock(FMutex);
    for (;;) {
        // Done when nothing is queued and no folder being listed can queue more.
        FWake.wait(lock, [this] { return !FQueue.empty() || FBusy == 0; });
        if (FQueue.empty())
            return;
        const QString folder = std::move(FQueue.front());
        FQueue.pop_front();
        ++FBusy;
        lock.unlock();

        if (listing)
            (*listing)(folder);
        std::vector<TFolderEntry> entries;
        bool whole = !FStopped() && ListFolder(folder, entries);
        qint64 items = 0;
        qint64 bytes = 0;
        QStringList subfolders;
        for (const TFolderEntry &entry : entries) {
            if (FStopped()) {
                whole = false;
                break;
            }
            switch (entry.Kind) {
            case TFolderEntry::ekFolder: {
                const QString subfolder = folder + entry.Name + QLatin1Char('\\');
                if (!FExcluded(subfolder)) {
                    subfolders << subfolder;
                    items += 1;
                }
                break;
            }
            case TFolderEntry::ekFile:
                items += 1;
                bytes += entry.Size;
                break;
            case TFolderEntry::ekLinkToFolder:
            case TFolderEntry::ekBrokenLink:
            case TFolderEntry::ekOther:
                // Not entered and nothing to copy, but the engines meet and
                // log each as one item.
                items += 1;
                break;
            case TFolderEntry::ekLeftover: // passed over without a word
                break;
            }
        }

        lock.lock();
        FItems += items;
        FBytes += bytes;
        for (const QString &subfolder : std::as_const(subfolders))
            FQueue.push_back(subfolder);
        // A folder left half-counted is listed again by the walk.
        if (whole)
            FListings.emplace(folder, std::move(entries));
        --FBusy;
        FWake.notify_all();
    }
}

} // namespace trovalo
