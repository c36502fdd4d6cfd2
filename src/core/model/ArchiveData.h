#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "model/ArchiveDataBase.h"

namespace trovalo {

// A backup job (".zja") or, with ArchiveMode amMove and ArchiveType atFile,
// a move job (".zjm"). Host, UserName, Port, PassiveConnection, Path and
// SourceUSBID are kept for files of older installations; nothing reads them.
class TArchiveData : public TArchiveDataBase
{
    Q_OBJECT
    Q_PROPERTY(QString BackupName READ BackupName WRITE SetBackupName)
    Q_PROPERTY(double CreateDate READ CreateDate WRITE SetCreateDate)
    Q_PROPERTY(double LastUpdate READ LastUpdate WRITE SetLastUpdate)
    Q_PROPERTY(trovalo::TArchiveMode ArchiveMode READ ArchiveMode WRITE SetArchiveMode)
    Q_PROPERTY(trovalo::TArchiveType ArchiveType READ ArchiveType WRITE SetArchiveType)
    Q_PROPERTY(trovalo::TArchiveDir ArchiveDir READ ArchiveDir WRITE SetArchiveDir)
    Q_PROPERTY(QString Password READ Password WRITE SetPassword)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(QString PCID READ PCID WRITE SetPCID)
    Q_PROPERTY(QString GUID READ GUID WRITE SetGUID)
    Q_PROPERTY(QString Host READ Host WRITE SetHost)
    Q_PROPERTY(QString UserName READ UserName WRITE SetUserName)
    Q_PROPERTY(int Port READ Port WRITE SetPort)
    Q_PROPERTY(bool PassiveConnection READ PassiveConnection WRITE SetPassiveConnection)
    Q_PROPERTY(QString Path READ Path WRITE SetPath)
    Q_PROPERTY(QString Destination READ Destination WRITE SetDestination)
    Q_PROPERTY(int BackupSystem READ BackupSystem WRITE SetBackupSystem)
    Q_PROPERTY(bool DeleteFile READ DeleteFile WRITE SetDeleteFile)
    Q_PROPERTY(QString SourceUSBID READ SourceUSBID WRITE SetSourceUSBID)

public:
    // CreateDate is stamped with the current time.
    explicit TArchiveData(QObject *parent = nullptr);

    QString BackupName() const { return FBackupName; }
    void SetBackupName(const QString &value) { FBackupName = value; }
    TDateTime CreateDate() const { return FCreateDate; }
    void SetCreateDate(TDateTime value) { FCreateDate = value; }
    // Start time of the latest run; 0 when the job never ran.
    TDateTime LastUpdate() const { return FLastUpdate; }
    void SetLastUpdate(TDateTime value) { FLastUpdate = value; }
    TArchiveMode ArchiveMode() const { return FArchiveMode; }
    void SetArchiveMode(TArchiveMode value) { FArchiveMode = value; }
    TArchiveType ArchiveType() const { return FArchiveType; }
    void SetArchiveType(TArchiveType value) { FArchiveType = value; }
    TArchiveDir ArchiveDir() const { return FArchiveDir; }
    void SetArchiveDir(TArchiveDir value) { FArchiveDir = value; }
    // Zip password, used only with atImage.
    QString Password() const { return FPassword; }
    void SetPassword(const QString &value) { FPassword = value; }
    QString Version() const { return FVersion; }
    void SetVersion(const QString &value) { FVersion = value; }
    // PC ID of the computer that last saved the job.
    QString PCID() const { return FPCID; }
    void SetPCID(const QString &value) { FPCID = value; }
    // Identity of the backup set, renewed when the source selection changes.
    QString GUID() const { return FGUID; }
    void SetGUID(const QString &value) { FGUID = value; }
    QString Host() const { return FHost; }
    void SetHost(const QString &value) { FHost = value; }
    QString UserName() const { return FUserName; }
    void SetUserName(const QString &value) { FUserName = value; }
    int Port() const { return FPort; }
    void SetPort(int value) { FPort = value; }
    bool PassiveConnection() const { return FPassiveConnection; }
    void SetPassiveConnection(bool value) { FPassiveConnection = value; }
    QString Path() const { return FPath; }
    void SetPath(const QString &value) { FPath = value; }
    // Destination folder, ending in "\".
    QString Destination() const { return FDestination; }
    void SetDestination(const QString &value) { FDestination = value; }
    // The backup wizard's choice index (see BackupSystemMode); 0 for moves.
    int BackupSystem() const { return FBackupSystem; }
    void SetBackupSystem(int value) { FBackupSystem = value; }
    // Move jobs: delete each source file once it has been copied.
    bool DeleteFile() const { return FDeleteFile; }
    void SetDeleteFile(bool value) { FDeleteFile = value; }
    QString SourceUSBID() const { return FSourceUSBID; }
    void SetSourceUSBID(const QString &value) { FSourceUSBID = value; }

    bool IsMoveJob() const { return FArchiveMode == amMove; }

private:
    QString FBackupName;
    TDateTime FCreateDate = 0;
    TDateTime FLastUpdate = 0;
    TArchiveMode FArchiveMode = amIncremental;
    TArchiveType FArchiveType = atFile;
    TArchiveDir FArchiveDir = amUsbToPc;
    QString FPassword;
    QString FVersion;
    QString FPCID;
    QString FGUID;
    QString FHost;
    QString FUserName;
    int FPort = 0;
    bool FPassiveConnection = false;
    QString FPath;
    QString FDestination;
    int FBackupSystem = 0;
    bool FDeleteFile = false;
    QString FSourceUSBID;
};

} // namespace trovalo
