#include "engine/FolderSizeCollection.h"

#include "base/PathText.h"
#include "base/SizeText.h"
#include "engine/FolderSizeThread.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QFileInfo>

namespace trovalo::foldersize {

namespace {
// Size of a file named in the drive-letter form; -1 when it cannot be read.
qint64 SizeOfFile(const QString &path)
{
    const std::optional<QString> native = ToNativePath(path);
    if (!native)
        return -1;
    const QFileInfo info(*native);
    return info.isFile() ? info.size() : -1;
}
} // namespace

TFileData::~TFileData()
{
    DetachSizeThread(false);
}

TFileCollection *TFileData::Owner() const
{
    return qobject_cast<TFileCollection *>(Collection());
}

void TFileData::SetFileName(const QString &Value)
{
    FFileName = Value;
    // A walk of the name given before must not report over the new one.
    DetachSizeThread(true);
    TFileCollection *owner = Owner();
    if (!owner || !owner->ReadFileData())
        return;
    const QString path = owner->Root() + Value;
    FDir = DirectoryExists(path);
    if (FDir) {
        StartSizeThread(path);
        return;
    }
    if (FileExists(path)) {
        FFileSize = SizeOfFile(path);
        FFileCount = 1;
    }
    ReportChange();
}

void TFileData::StartSizeThread(const QString &folder)
{
    auto *thread = new TFolderSizeThread(folder);
    // The walk frees itself, also when this item is gone by then.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    FEndConnection = connect(thread, &QThread::finished, this, [this, thread] { SizeThreadEnded(thread); });
    FFolderSizeThread = thread;
    thread->start();
}

void TFileData::DetachSizeThread(bool Wait)
{
    QObject::disconnect(FEndConnection);
    FEndConnection = {};
    TFolderSizeThread *thread = FFolderSizeThread.data();
    FFolderSizeThread = nullptr;
    if (!thread)
        return;
    thread->requestInterruption();
    if (Wait)
        thread->wait();
}

void TFileData::SizeThreadEnded(TFolderSizeThread *thread)
{
    if (thread != FFolderSizeThread)
        return;
    QObject::disconnect(FEndConnection);
    FEndConnection = {};
    FFolderSizeThread = nullptr;
    FFileSize = thread->FolderSize();
    FFileCount = thread->FileCount();
    FFolderCount = thread->FolderCount();
    ReportChange();
}

void TFileData::ReportChange()
{
    if (TFileCollection *owner = Owner())
        owner->ItemChanged(*this);
}

QString TFileData::FileSizeAsString() const
{
    if (FFileSize < 0)
        return QStringLiteral("File Not Found");
    return SizeText(FFileSize, TSizeUnits::FileList);
}

void TFileData::AssignFrom(const TFileData &source)
{
    FFileName = source.FFileName;
    FDir = source.FDir;
    FFileSize = source.FFileSize;
    FFileCount = source.FFileCount;
    FFolderCount = source.FFolderCount;
    FError = source.FError;
    FData = source.FData;
}

void TFileCollection::SetRoot(const QString &Value)
{
    FRoot = Value.isEmpty() ? Value : IncludeTrailingBackslash(Value);
}

std::unique_ptr<TCollectionItem> TFileCollection::CreateItem() const
{
    return std::make_unique<TFileData>();
}

TFileData *TFileCollection::Add()
{
    return static_cast<TFileData *>(AddItem());
}

TFileData *TFileCollection::Add(const QString &FileName)
{
    TFileData *item = Add();
    item->SetFileName(FileName);
    return item;
}

TFileData *TFileCollection::Add(const QString &FileName, const QVariant &inData)
{
    TFileData *item = Add();
    // The data is there before the item reports its size.
    item->SetData(inData);
    item->SetFileName(FileName);
    return item;
}

TFileData *TFileCollection::Insert(int Index)
{
    return static_cast<TFileData *>(InsertItem(Index));
}

TFileData *TFileCollection::Items(int Index) const
{
    return static_cast<TFileData *>(Item(Index));
}

void TFileCollection::Assign(const TFileCollection &Source)
{
    if (&Source == this)
        return;
    FReadFileData = Source.FReadFileData;
    Clear();
    for (int i = 0; i < Source.Count(); ++i) {
        const TFileData *from = Source.Items(i);
        TFileData *to = Add();
        to->AssignFrom(*from);
        if (FReadFileData && from->FolderSizeThread())
            to->SetFileName(from->FileName());
    }
}

void TFileCollection::ItemChanged(TFileData &item)
{
    if (!FOnItemChnage)
        return;
    // A failing handler must not leave the item half-updated or stop the
    // walk's end notice for the others.
    try {
        FOnItemChnage(*this, item);
    } catch (...) {
    }
}

} // namespace trovalo::foldersize
