#pragma once

#include "platform/FolderListing.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace trovalo {

// Lists a whole folder tree on a thread of its own, ahead of a walk that
// goes through it in the same order: every folder once, depth first, each
// subfolder right after the entry that names it (links to folders are never
// entered). The walk takes the folders by their position in that order and
// waits for the ones not listed yet, so the listing's system calls overlap
// the walk's own work (and, on two devices, each other).
class TFolderTreeListing
{
public:
    struct TFolder
    {
        QString Path; // drive-letter path with a trailing "\"
        bool Read = false;
        int Error = 0; // why it could not be listed
        std::vector<TFolderEntry> Entries;
    };

    // Stopped is asked between folders and between subfolders (from the
    // listing thread); SkipFolder is asked for every subfolder, as the walk
    // would ask it, and must answer the same when the walk asks.
    TFolderTreeListing(QString root, std::function<bool()> stopped,
                       std::function<bool(const QString &)> skipFolder);
    ~TFolderTreeListing();
    TFolderTreeListing(const TFolderTreeListing &) = delete;
    TFolderTreeListing &operator=(const TFolderTreeListing &) = delete;

    // The folder at Position in walk order, once listed; nullptr when the
    // listing stopped before it. Stays valid until Release(Position).
    const TFolder *Folder(std::size_t position);
    // The walk is done with this folder's entries.
    void Release(std::size_t position);

private:
    void ListTree();
    void ListFolderAndBelow(const QString &path);
    bool Stopping() const;

    std::function<bool()> FStopped;
    std::function<bool(const QString &)> FSkipFolder;
    QString FRoot;
    std::mutex FLock;
    std::condition_variable FListed;
    std::deque<TFolder> FFolders; // only appended while the thread runs
    bool FDone = false;
    std::atomic<bool> FAbandoned{false};
    std::thread FThread; // last: started once everything above exists
};

} // namespace trovalo
