#include "model/SyncItems.h"

#include "base/Exceptions.h"
#include "base/PathText.h"

#include <algorithm>

namespace trovalo {

TSyncItem::TSyncItem(const QString &a, const QString &b, bool isFolder)
    : FFolderA(a)
    , FFolderB(b)
{
    if (!isFolder)
        return;
    FFolderA = a == RootMarker() ? QStringLiteral("\\") : IncludeTrailingBackslash(a);
    FFolderB = IncludeTrailingBackslash(b);
}

void TSyncItems::CheckIndex(int index, int limit) const
{
    if (index < 0 || index > limit)
        throw ECollectonException(QStringLiteral("List index out of bounds (%1)").arg(index));
}

TSyncItem *TSyncItems::Item(int index) const
{
    CheckIndex(index, Count() - 1);
    return FItems[static_cast<size_t>(index)].get();
}

int TSyncItems::Add(std::unique_ptr<TSyncItem> item)
{
    Insert(Count(), std::move(item));
    return Count() - 1;
}

TSyncItem *TSyncItems::Add()
{
    return Item(Add(std::make_unique<TSyncItem>()));
}

TSyncItem *TSyncItems::Add(const QString &a, const QString &b, bool isFolder)
{
    return Item(Add(std::make_unique<TSyncItem>(a, b, isFolder)));
}

int TSyncItems::IndexOf(const TSyncItem *item) const
{
    const auto found =
        std::find_if(FItems.begin(), FItems.end(), [item](const auto &held) { return held.get() == item; });
    return found == FItems.end() ? -1 : static_cast<int>(found - FItems.begin());
}

void TSyncItems::Insert(int index, std::unique_ptr<TSyncItem> item)
{
    CheckIndex(index, Count());
    if (!item)
        throw ECollectonException(QStringLiteral("A sync pair list cannot hold a missing pair"));
    FItems.insert(FItems.begin() + index, std::move(item));
}

int TSyncItems::Remove(const TSyncItem *item)
{
    const int index = IndexOf(item);
    if (index >= 0)
        FItems.erase(FItems.begin() + index);
    return index;
}

void TSyncItems::Sort()
{
    std::stable_sort(FItems.begin(), FItems.end(), [](const auto &left, const auto &right) {
        return left->FolderB().compare(right->FolderB(), Qt::CaseInsensitive) < 0;
    });
}

} // namespace trovalo
