#pragma once

#include "platform/FolderListing.h"

#include <QHash>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace trovalo {

// The count before a run: the items and bytes of a tree and the listing of
// each of its folders, which the walk then takes instead of listing again.
// Two threads list folders at once (the caller's and a helper): the count
// is mostly the system's time to examine each entry, and on a tree of many
// small folders two are examined for the price of one.
class TTreeCount
{
public:
    using TExcluded = std::function<bool(const QString &folder)>;
    using TStopped = std::function<bool()>;
    // Both are asked from both threads.
    TTreeCount(TExcluded excluded, TStopped stopped);

    // Counts the tree below Root ("\" at the end). Listing is told, on the
    // caller's thread only, of each folder that thread lists.
    void Run(const QString &root, const std::function<void(const QString &folder)> &listing);

    // Entries met: files, folders entered (not the root), links and others.
    qint64 Items() const { return FItems; }
    qint64 Bytes() const { return FBytes; }
    // Moves the listings of the folders counted whole into Listings.
    void TakeListings(QHash<QString, std::vector<TFolderEntry>> &listings);

private:
    void Work(const std::function<void(const QString &folder)> *listing);

    TExcluded FExcluded;
    TStopped FStopped;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<QString> FQueue; // folders still to list
    int FBusy = 0;              // folders being listed
    qint64 FItems = 0;
    qint64 FBytes = 0;
    QHash<QString, std::vector<TFolderEntry>> FListings;
};

} // namespace trovalo
