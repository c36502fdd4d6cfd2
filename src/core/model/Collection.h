#pragma once

#include <QObject>

#include <memory>
#include <vector>

namespace trovalo {

class TCollection;

// An item of a TCollection. Its Q_PROPERTYs are streamed without a path.
class TCollectionItem : public QObject
{
    Q_OBJECT

public:
    TCollectionItem() = default;
    ~TCollectionItem() override;

    TCollection *Collection() const { return FCollection; }
    // Position in the owning collection, -1 when it has none.
    int Index() const;

private:
    friend class TCollection;
    TCollection *FCollection = nullptr;
};

// An ordered collection owning its items. Subclasses say which item class
// they hold by overriding CreateItem; the stream reader uses it to add items.
class TCollection : public QObject
{
    Q_OBJECT

public:
    TCollection() = default;
    ~TCollection() override;
    TCollection(const TCollection &) = delete;
    TCollection &operator=(const TCollection &) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    TCollectionItem *Item(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }

    // Appends a new item with its defaults.
    TCollectionItem *AddItem();
    // Inserts a new item with its defaults at Index (0..Count).
    TCollectionItem *InsertItem(int index);
    void Delete(int index);
    void Clear();
    // Moves the item at From to position To.
    void Move(int from, int to);
    int IndexOf(const TCollectionItem *item) const;

protected:
    virtual std::unique_ptr<TCollectionItem> CreateItem() const = 0;

private:
    std::vector<std::unique_ptr<TCollectionItem>> FItems;
};

class TMyCollection;

// An item that knows its place: first, last, and can move or delete itself
// through its collection.
class TMyCollectionItem : public TCollectionItem
{
    Q_OBJECT

public:
    bool IsFirst() const;
    bool IsLast() const;
    // Raise ECollectonException("Item not in a collection") when the item
    // belongs to no collection.
    void MoveUp();
    void MoveDown();
    void Delete();
};

// The program's ordered collection: a request for an item that is not in it
// raises ECollectonException ("Item not belong to this Collection").
class TMyCollection : public TCollection
{
    Q_OBJECT

public:
    // Position of Item; raises when it belongs to another collection or none.
    int ItemIndex(const TMyCollectionItem *item) const;
    void DeleteItem(TMyCollectionItem *item);
    void MoveItem(TMyCollectionItem *item, int newIndex);
};

} // namespace trovalo
