#include "model/Collection.h"

#include "base/Exceptions.h"

namespace trovalo {

TCollectionItem::~TCollectionItem() = default;

int TCollectionItem::Index() const
{
    return FCollection ? FCollection->IndexOf(this) : -1;
}

TCollection::~TCollection() = default;

TCollectionItem *TCollection::AddItem()
{
    return InsertItem(Count());
}

TCollectionItem *TCollection::InsertItem(int index)
{
    if (index < 0 || index > Count())
        throw ECollectonException(QStringLiteral("Collection index out of bounds (%1)").arg(index));
    std::unique_ptr<TCollectionItem> item = CreateItem();
    item->FCollection = this;
    TCollectionItem *raw = item.get();
    FItems.insert(FItems.begin() + index, std::move(item));
    return raw;
}

void TCollection::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw ECollectonException(QStringLiteral("Collection index out of bounds (%1)").arg(index));
    FItems.erase(FItems.begin() + index);
}

void TCollection::Clear()
{
    FItems.clear();
}

void TCollection::Move(int from, int to)
{
    if (from < 0 || from >= Count() || to < 0 || to >= Count())
        throw ECollectonException(
            QStringLiteral("Collection index out of bounds (%1 to %2)").arg(from).arg(to));
    if (from == to)
        return;
    std::unique_ptr<TCollectionItem> item = std::move(FItems[static_cast<size_t>(from)]);
    FItems.erase(FItems.begin() + from);
    FItems.insert(FItems.begin() + to, std::move(item));
}

int TCollection::IndexOf(const TCollectionItem *item) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == item)
            return static_cast<int>(i);
    return -1;
}

namespace {

TMyCollection &OwningCollection(const TMyCollectionItem &item)
{
    auto *collection = qobject_cast<TMyCollection *>(item.Collection());
    if (!collection)
        throw ECollectonException(QStringLiteral("Item not in a collection"));
    return *collection;
}

} // namespace

bool TMyCollectionItem::IsFirst() const
{
    return OwningCollection(*this).ItemIndex(this) == 0;
}

bool TMyCollectionItem::IsLast() const
{
    TMyCollection &collection = OwningCollection(*this);
    return collection.ItemIndex(this) == collection.Count() - 1;
}

void TMyCollectionItem::MoveUp()
{
    TMyCollection &collection = OwningCollection(*this);
    const int index = collection.ItemIndex(this);
    if (index > 0)
        collection.MoveItem(this, index - 1);
}

void TMyCollectionItem::MoveDown()
{
    TMyCollection &collection = OwningCollection(*this);
    const int index = collection.ItemIndex(this);
    if (index < collection.Count() - 1)
        collection.MoveItem(this, index + 1);
}

void TMyCollectionItem::Delete()
{
    // Destroys this item; the caller must not touch it afterwards.
    OwningCollection(*this).DeleteItem(this);
}

int TMyCollection::ItemIndex(const TMyCollectionItem *item) const
{
    const int index = item ? IndexOf(item) : -1;
    if (index < 0)
        throw ECollectonException(QStringLiteral("Item not belong to this Collection"));
    return index;
}

void TMyCollection::DeleteItem(TMyCollectionItem *item)
{
    Delete(ItemIndex(item));
}

void TMyCollection::MoveItem(TMyCollectionItem *item, int newIndex)
{
    Move(ItemIndex(item), newIndex);
}

} // namespace trovalo
