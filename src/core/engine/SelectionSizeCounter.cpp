#include "SelectionSizeCounter.h"

#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FolderListing.h"
#include "platform/PseudoFileSystems.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <vector>

namespace trovalo {

namespace {

struct TListed
{
    QString Path;
    bool Include = false;
};

bool Same(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The entries strictly below Folder.
std::vector<TListed> EntriesBelow(const std::vector<TListed> &entries, const QString &folder)
{
    std::vector<TListed> below;
    for (const TListed &entry : entries)
        if (TSelectionLists::IsSameOrInside(entry.Path, folder) && !Same(entry.Path, folder))
            below.push_back(entry);
    return below;
}

const TListed *Find(const std::vector<TListed> &entries, const QString &path)
{
    for (const TListed &entry : entries)
        if (Same(entry.Path, path))
            return &entry;
    return nullptr;
}

bool IsDriveRoot(const QString &folder)
{
    return Same(IncludeTrailingBackslash(ExtractFileDrive(folder)), folder);
}

class TSelectionWalk
{
public:
    explicit TSelectionWalk(const std::atomic_bool *stop)
        : FStop(stop)
    {}

    bool Stopped() const { return FStop && FStop->load(std::memory_order_relaxed); }

    // Adds what lies below Folder; Entries are the list entries strictly
    // below it (in the walk's subtree every unlisted entry is covered).
    void Walk(const QString &folder, const std::vector<TListed> &entries, TSelectionTotals &totals)
    {
        std::vector<TFolderEntry> listing;
        if (!ListFolder(folder, listing))
            return;
        const bool systemRoot = folder.size() == 3 && ToNativePath(folder) == QLatin1String("/");
        for (const TFolderEntry &item : listing) {
            if (Stopped())
                return;
            if (item.Kind == TFolderEntry::ekFile) {
                if (!entries.empty()) {
                    const TListed *listed = Find(entries, folder + item.Name);
                    if (listed && !listed->Include)
                        continue;
                }
                ++totals.Files;
                totals.Size += item.Size;
            } else if (item.Kind == TFolderEntry::ekFolder) {
                if (systemRoot && IsPseudoFileSystemFolder(QLatin1Char('/') + item.Name))
                    continue;
                const QString path = folder + item.Name + QLatin1Char('\\');
                if (entries.empty()) {
                    ++totals.Folders;
                    Walk(path, entries, totals);
                    continue;
                }
                const TListed *listed = Find(entries, path);
                if (listed && !listed->Include)
                    continue; // an include entry inside is a walk of its own
                ++totals.Folders;
                Walk(path, EntriesBelow(entries, path), totals);
            }
        }
    }

private:
    const std::atomic_bool *FStop;
};

// What one include entry's walk depends on: the entry, where it lies now and
// the exclude entries below it (include entries below it are either covered
// anyway or inside an excluded folder, which the walk skips).
QString CacheKey(const QString &include, const QString &native, const std::vector<TListed> &below)
{
    QStringList excludes;
    for (const TListed &entry : below)
        if (!entry.Include)
            excludes << entry.Path.toLower();
    excludes.sort();
    return include.toLower() + QLatin1Char('\n') + native + QLatin1Char('\n') +
           excludes.join(QLatin1Char('\n'));
}

using TCountCache = QHash<QString, TSelectionTotals>;

// Previous (may be null) holds totals of include entries from an earlier
// count; Fresh (may be null) receives the totals of every include folder
// counted completely here, for the next count.
TSelectionTotals CountWithCache(const TSelectionLists &lists, const std::atomic_bool *stop,
                                const TCountCache *previous, TCountCache *fresh)
{
    std::vector<TListed> all;
    for (const QString &path : lists.IncludeList())
        all.push_back({path, true});
    for (const QString &path : lists.ExcludeList())
        all.push_back({path, false});

    TSelectionWalk walk(stop);
    TSelectionTotals totals;
    QStringList walked;
    for (const QString &include : lists.IncludeList()) {
        if (walk.Stopped())
            break;
        if (std::any_of(walked.cbegin(), walked.cend(),
                        [&](const QString &done) { return Same(done, include); }))
            continue;
        walked << include;
        // An include entry whose nearest listed folder is included too lies
        // in that folder's walk.
        const TListed *nearest = nullptr;
        for (const TListed &entry : all)
            if (!Same(entry.Path, include) && TSelectionLists::IsSameOrInside(include, entry.Path) &&
                (!nearest || entry.Path.size() > nearest->Path.size()))
                nearest = &entry;
        if (nearest && nearest->Include)
            continue;

        const std::optional<QString> native = ToNativePath(include);
        if (!native)
            continue;
        const QFileInfo info(QDir::cleanPath(*native)); // no trailing "/": lstat sees a link
        if (!include.endsWith(QLatin1Char('\\')) && !info.isDir()) {
            if (info.isFile()) {
                ++totals.Files;
                totals.Size += info.size();
            }
            continue;
        }
        // A link is never entered: a walk must not leave the tree or loop.
        if (!info.isDir() || (info.isSymLink() && !IsDriveRoot(include)))
            continue;
        const QString folder = IncludeTrailingBackslash(include);
        const std::vector<TListed> below = EntriesBelow(all, folder);
        const QString key = CacheKey(folder, *native, below);
        if (previous) {
            const auto known = previous->constFind(key);
            if (known != previous->cend()) {
                totals.Size += known->Size;
                totals.Files += known->Files;
                totals.Folders += known->Folders;
                if (fresh)
                    fresh->insert(key, *known);
                continue;
            }
        }
        TSelectionTotals part;
        walk.Walk(folder, below, part);
        totals.Size += part.Size;
        totals.Files += part.Files;
        totals.Folders += part.Folders;
        if (fresh && !walk.Stopped())
            fresh->insert(key, part);
    }
    return totals;
}

} // namespace

TSelectionTotals CountSelection(const TSelectionLists &lists, const std::atomic_bool *stop)
{
    return CountWithCache(lists, stop, nullptr, nullptr);
}

class TSelectionCountThread : public QThread
{
public:
    TSelectionCountThread(TSelectionLists lists, TCountCache previous, QObject *parent)
        : QThread(parent)
        , FLists(std::move(lists))
        , FPrevious(std::move(previous))
    {}

    void RequestStop()
    {
        FStop = true;
        requestInterruption();
    }

    // Valid once finished.
    TSelectionTotals Totals;
    TCountCache Fresh;

protected:
    void run() override { Totals = CountWithCache(FLists, &FStop, &FPrevious, &Fresh); }

private:
    const TSelectionLists FLists;
    const TCountCache FPrevious;
    std::atomic_bool FStop{false};
};

TSelectionSizeCounter::TSelectionSizeCounter(QObject *parent)
    : QObject(parent)
{}

TSelectionSizeCounter::~TSelectionSizeCounter()
{
    // Superseded counts may still run as well as the current one.
    for (QObject *child : children()) {
        if (auto *thread = dynamic_cast<TSelectionCountThread *>(child)) {
            thread->RequestStop();
            thread->wait();
        }
    }
}

void TSelectionSizeCounter::Start(const TSelectionLists &lists)
{
    Stop();
    auto *thread = new TSelectionCountThread(lists, FCache, this);
    connect(thread, &QThread::finished, this, [this, thread] { ThreadEnded(thread); });
    FRunning = thread;
    thread->start(QThread::LowPriority);
}

void TSelectionSizeCounter::Stop()
{
    if (FRunning)
        FRunning->RequestStop();
    FRunning = nullptr;
}

bool TSelectionSizeCounter::Counting() const
{
    return !FRunning.isNull();
}

void TSelectionSizeCounter::ForgetCounts()
{
    FCache.clear();
}

void TSelectionSizeCounter::ThreadEnded(TSelectionCountThread *thread)
{
    thread->wait();
    const bool latest = thread == FRunning;
    if (latest) {
        FRunning = nullptr;
        FTotals = thread->Totals;
        FCache = std::move(thread->Fresh);
    }
    delete thread;
    if (latest)
        emit Counted(FTotals);
}

} // namespace trovalo
