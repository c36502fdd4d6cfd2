#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "model/Collection.h"
#include "model/FileFilter.h"

#include <QStringList>

#include <memory>

namespace trovalo {

// One computer's sync definition inside a PC-to-PC sync job. Its pair lists
// follow the rules of TSyncData; PCID names the computer it belongs to.
class TSyncDataItem : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString ID READ ID WRITE SetID)
    Q_PROPERTY(QString SyncName READ SyncName WRITE SetSyncName)
    Q_PROPERTY(double CreateDate READ CreateDate WRITE SetCreateDate)
    Q_PROPERTY(double LastUpdate READ LastUpdate WRITE SetLastUpdate)
    Q_PROPERTY(QStringList FolderAList READ FolderAList WRITE SetFolderAList)
    Q_PROPERTY(QStringList FolderBList READ FolderBList WRITE SetFolderBList)
    Q_PROPERTY(QStringList FileAList READ FileAList WRITE SetFileAList)
    Q_PROPERTY(QStringList FileBList READ FileBList WRITE SetFileBList)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(QString PCID READ PCID WRITE SetPCID)
    Q_PROPERTY(trovalo::TFileFilter *FileFilter READ FileFilter)
    Q_PROPERTY(trovalo::TSyncDirection SyncDirection READ SyncDirection WRITE SetSyncDirection)
    Q_PROPERTY(
        trovalo::TSyncDefaultAction SyncDefaultAction READ SyncDefaultAction WRITE SetSyncDefaultAction)
    Q_PROPERTY(QString FileGUID READ FileGUID WRITE SetFileGUID)

public:
    // FileGUID gets a fresh GUID of its own.
    TSyncDataItem();
    ~TSyncDataItem() override;

    // Names the item's sync database (see PCSyncDatabaseFileName).
    QString ID() const { return FID; }
    void SetID(const QString &value) { FID = value; }
    QString SyncName() const { return FSyncName; }
    void SetSyncName(const QString &value) { FSyncName = value; }
    TDateTime CreateDate() const { return FCreateDate; }
    void SetCreateDate(TDateTime value) { FCreateDate = value; }
    TDateTime LastUpdate() const { return FLastUpdate; }
    void SetLastUpdate(TDateTime value) { FLastUpdate = value; }
    QStringList FolderAList() const { return FFolderAList; }
    void SetFolderAList(const QStringList &value) { FFolderAList = value; }
    QStringList FolderBList() const { return FFolderBList; }
    void SetFolderBList(const QStringList &value) { FFolderBList = value; }
    QStringList FileAList() const { return FFileAList; }
    void SetFileAList(const QStringList &value) { FFileAList = value; }
    QStringList FileBList() const { return FFileBList; }
    void SetFileBList(const QStringList &value) { FFileBList = value; }
    QString Version() const { return FVersion; }
    void SetVersion(const QString &value) { FVersion = value; }
    QString PCID() const { return FPCID; }
    void SetPCID(const QString &value) { FPCID = value; }
    TFileFilter *FileFilter() const { return FFileFilter.get(); }
    void SetFileFilter(const TFileFilter &value) { FFileFilter->Assign(&value); }
    TSyncDirection SyncDirection() const { return FSyncDirection; }
    void SetSyncDirection(TSyncDirection value) { FSyncDirection = value; }
    TSyncDefaultAction SyncDefaultAction() const { return FSyncDefaultAction; }
    void SetSyncDefaultAction(TSyncDefaultAction value) { FSyncDefaultAction = value; }
    // Identifies the item's progress panel while it runs.
    QString FileGUID() const { return FFileGUID; }
    void SetFileGUID(const QString &value) { FFileGUID = value; }

private:
    QString FID;
    QString FSyncName;
    TDateTime FCreateDate = 0;
    TDateTime FLastUpdate = 0;
    QStringList FFolderAList;
    QStringList FFolderBList;
    QStringList FFileAList;
    QStringList FFileBList;
    QString FVersion;
    QString FPCID;
    std::unique_ptr<TFileFilter> FFileFilter;
    TSyncDirection FSyncDirection = sdBidi;
    TSyncDefaultAction FSyncDefaultAction = sdaAsk;
    QString FFileGUID;
};

// The items of a PC-to-PC sync job, one per computer, in file order.
class TSyncDataItems : public TCollection
{
    Q_OBJECT

public:
    // Appends a new item with its defaults.
    TSyncDataItem *Add() { return static_cast<TSyncDataItem *>(AddItem()); }
    // Inserts a new item at Index (0..Count); raises ECollectonException
    // for any other index.
    TSyncDataItem *Insert(int index) { return static_cast<TSyncDataItem *>(InsertItem(index)); }
    TSyncDataItem *Items(int index) const { return static_cast<TSyncDataItem *>(Item(index)); }
    TSyncDataItem *operator[](int index) const { return Items(index); }

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override;
};

} // namespace trovalo
