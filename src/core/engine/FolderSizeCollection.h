#pragma once

#include "engine/FolderSizeThread.h"
#include "model/Collection.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace trovalo::foldersize {

class TFileCollection;

// A file or folder chosen in a window, with its size. For a folder the size
// is measured by a background walk; the item learns the totals when the walk
// ends, on the interface thread. Interface thread only.
class TFileData : public TMyCollectionItem
{
    Q_OBJECT

public:
    TFileData() = default;
    // A walk still running is told to stop and never reports to this item.
    ~TFileData() override;

    QString FileName() const { return FFileName; }
    // Stores the name (relative to the collection's Root, or a full path
    // when Root is empty). When the collection reads file data: a folder
    // starts a new walk (a running one is stopped first and its result
    // dropped), a file gets its size at once, anything else keeps the sizes.
    void SetFileName(const QString &Value);

    bool Dir() const { return FDir; }
    qint64 FileSize() const { return FFileSize; }       // -1 until known
    qint64 FileCount() const { return FFileCount; }     // -1 until known; 1 for a file
    qint64 FolderCount() const { return FFolderCount; } // -1 until known
    bool Error() const { return FError; }
    // "File Not Found" while the size is unknown, else the size for a file list.
    QString FileSizeAsString() const;

    // Whatever the window wants to keep with the entry.
    QVariant Data() const { return FData; }
    void SetData(const QVariant &Value) { FData = Value; }

    // The walk measuring this folder now; null when none runs.
    TFolderSizeThread *FolderSizeThread() const { return FFolderSizeThread; }

    // Copies name, kind, sizes and data without reading anything.
    void AssignFrom(const TFileData &source);

private:
    TFileCollection *Owner() const;
    void StartSizeThread(const QString &folder);
    // Forgets the running walk and tells it to stop; Wait: until it ended.
    void DetachSizeThread(bool Wait);
    void SizeThreadEnded(TFolderSizeThread *thread);
    void ReportChange();

    QString FFileName;
    bool FDir = false;
    qint64 FFileSize = -1;
    qint64 FFileCount = -1;
    qint64 FFolderCount = -1;
    bool FError = false;
    QVariant FData;
    QPointer<TFolderSizeThread> FFolderSizeThread;
    QMetaObject::Connection FEndConnection;
};

// The ordered list of chosen files and folders under one root.
class TFileCollection : public TMyCollection
{
    Q_OBJECT

public:
    // Called whenever an item learnt its sizes (or that it names nothing).
    using TItemChnageEvent = std::function<void(TFileCollection &Sender, TFileData &Item)>;

    bool ReadFileData() const { return FReadFileData; }
    void SetReadFileData(bool Value) { FReadFileData = Value; }

    QString Root() const { return FRoot; }
    // Appends the trailing "\" when missing; "" stays "" (items hold full paths).
    void SetRoot(const QString &Value);

    TItemChnageEvent OnItemChnage() const { return FOnItemChnage; }
    void SetOnItemChnage(TItemChnageEvent Value) { FOnItemChnage = std::move(Value); }

    TFileData *Add();
    TFileData *Add(const QString &FileName);
    TFileData *Add(const QString &FileName, const QVariant &inData);
    TFileData *Insert(int Index);
    TFileData *Items(int Index) const;

    // Takes ReadFileData, then the items, from Source (the root stays). An
    // item whose size Source is still measuring is measured again here.
    void Assign(const TFileCollection &Source);

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override;

private:
    friend class TFileData;
    void ItemChanged(TFileData &item);

    bool FReadFileData = false;
    QString FRoot;
    TItemChnageEvent FOnItemChnage;
};

} // namespace trovalo::foldersize
