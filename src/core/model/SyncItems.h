#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace trovalo {

// One folder pair or file pair handed to the sync engine. Side A is on the
// USB drive (without its drive letter), side B on the computer.
class TSyncItem
{
public:
    TSyncItem() = default;
    // A folder pair gets trailing backslashes on both sides, and "<Root>" on
    // side A stands for the drive's root, "\". A file pair is kept as given.
    TSyncItem(const QString &a, const QString &b, bool isFolder);

    QString FolderA() const { return FFolderA; }
    void SetFolderA(const QString &value) { FFolderA = value; }
    QString FolderB() const { return FFolderB; }
    void SetFolderB(const QString &value) { FFolderB = value; }

    // How the sync records name the root of the USB drive on side A.
    static QString RootMarker() { return QStringLiteral("<Root>"); }

private:
    QString FFolderA;
    QString FFolderB;
};

// An ordered list that owns its pairs. Indexes outside the list raise
// ECollectonException.
class TSyncItems
{
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TSyncItem *Item(int index) const;
    TSyncItem *operator[](int index) const { return Item(index); }

    // Takes ownership of Item and appends it; returns its index.
    int Add(std::unique_ptr<TSyncItem> item);
    // Appends a new empty pair.
    TSyncItem *Add();
    // Appends a new pair built by the TSyncItem rules.
    TSyncItem *Add(const QString &a, const QString &b, bool isFolder);

    // Position of Item, -1 when the list does not hold it.
    int IndexOf(const TSyncItem *item) const;
    // Takes ownership of Item and places it at Index (0..Count).
    void Insert(int index, std::unique_ptr<TSyncItem> item);
    // Frees Item and returns the index it had, -1 (nothing freed) when the
    // list does not hold it.
    int Remove(const TSyncItem *item);
    void Clear() { FItems.clear(); }

    // Ascending by FolderB without regard to case; equal keys keep their order.
    void Sort();

private:
    void CheckIndex(int index, int limit) const;
    std::vector<std::unique_ptr<TSyncItem>> FItems;
};

} // namespace trovalo
