#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "model/FileFilter.h"
#include "model/SaveLoadComponent.h"

#include <QStringList>

#include <memory>

namespace trovalo {

// A folder/file sync job (".zjs"). Side A is the USB drive (paths as the
// wizard produced them, "<Root>" for its root), side B the computer. Entry i
// of an A list pairs with entry i of the matching B list; the lists of a
// pair always have the same length.
class TSyncData : public TSaveLoadComponent
{
    Q_OBJECT
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
    Q_PROPERTY(trovalo::TSyncMode SyncMode READ SyncMode WRITE SetSyncMode)
    Q_PROPERTY(trovalo::TSyncDirection SyncDirection READ SyncDirection WRITE SetSyncDirection)
    Q_PROPERTY(
        trovalo::TSyncDefaultAction SyncDefaultAction READ SyncDefaultAction WRITE SetSyncDefaultAction)

public:
    explicit TSyncData(QObject *parent = nullptr);
    ~TSyncData() override;

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
    TSyncMode SyncMode() const { return FSyncMode; }
    void SetSyncMode(TSyncMode value) { FSyncMode = value; }
    TSyncDirection SyncDirection() const { return FSyncDirection; }
    void SetSyncDirection(TSyncDirection value) { FSyncDirection = value; }
    TSyncDefaultAction SyncDefaultAction() const { return FSyncDefaultAction; }
    void SetSyncDefaultAction(TSyncDefaultAction value) { FSyncDefaultAction = value; }

private:
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
    TSyncMode FSyncMode = smFolder;
    TSyncDirection FSyncDirection = sdBidi;
    TSyncDefaultAction FSyncDefaultAction = sdaAsk;
};

} // namespace trovalo
