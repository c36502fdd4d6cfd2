#pragma once

#include "model/FileFilter.h"
#include "model/SaveLoadComponent.h"

#include <QStringList>

#include <memory>

namespace trovalo {

// The source selection of a backup or move job: folders copied with their
// content, what inside them is left out, single files, and the file filter.
// Paths are in drive-letter form; users compare them without regard to case.
class TArchiveDataBase : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(QStringList FolderList READ FolderList WRITE SetFolderList)
    Q_PROPERTY(QStringList ExcludeList READ ExcludeList WRITE SetExcludeList)
    Q_PROPERTY(QStringList FileList READ FileList WRITE SetFileList)
    // Owned: the stream fills it in place.
    Q_PROPERTY(trovalo::TFileFilter *FileFilter READ FileFilter)

public:
    explicit TArchiveDataBase(QObject *parent = nullptr);
    ~TArchiveDataBase() override;

    QStringList FolderList() const { return FFolderList; }
    void SetFolderList(const QStringList &value) { FFolderList = value; }
    QStringList ExcludeList() const { return FExcludeList; }
    void SetExcludeList(const QStringList &value) { FExcludeList = value; }
    QStringList FileList() const { return FFileList; }
    void SetFileList(const QStringList &value) { FFileList = value; }

    TFileFilter *FileFilter() const { return FFileFilter.get(); }
    // Copies the flags and lists of Value; the record keeps its own filter.
    void SetFileFilter(const TFileFilter &value) { FFileFilter->Assign(&value); }

private:
    QStringList FFolderList;
    QStringList FExcludeList;
    QStringList FFileList;
    std::unique_ptr<TFileFilter> FFileFilter;
};

} // namespace trovalo
