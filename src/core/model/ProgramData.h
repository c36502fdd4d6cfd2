#pragma once

#include "base/RecordEnums.h"
#include "model/SaveLoadComponent.h"

namespace trovalo {

// Program-wide settings of this computer, stored as "ConfigData\Config.cfg"
// in the data folder. One object lives for the whole run.
class TProgramData : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(bool MoveToDeleted READ MoveToDeleted WRITE SetMoveToDeleted)
    Q_PROPERTY(QString DeletedFolder READ DeletedFolder WRITE SetDeletedFolder)
    Q_PROPERTY(qint64 MaxDeletedSize READ MaxDeletedSize WRITE SetMaxDeletedSize)
    Q_PROPERTY(bool DriveAutoRun READ DriveAutoRun WRITE SetDriveAutoRun)
    Q_CLASSINFO("default:DriveAutoRun", "true")
    Q_PROPERTY(bool CheckForUpdates READ CheckForUpdates WRITE SetCheckForUpdates)
    Q_PROPERTY(bool ShowHidden READ ShowHidden WRITE SetShowHidden)
    Q_PROPERTY(bool MiniWindows READ MiniWindows WRITE SetMiniWindows)
    Q_PROPERTY(bool AutoCloseJobTab READ AutoCloseJobTab WRITE SetAutoCloseJobTab)
    Q_CLASSINFO("default:AutoCloseJobTab", "false")
    Q_PROPERTY(trovalo::TScheduleRunMode ScheduleRunMode READ ScheduleRunMode WRITE SetScheduleRunMode)
    Q_PROPERTY(int DriveDetectMode READ DriveDetectMode WRITE SetDriveDetectMode)
    Q_CLASSINFO("default:DriveDetectMode", "0")

public:
    // AppDataFolder is the program's data folder in drive-letter form; the
    // deleted-files folder defaults to its "Deleted" subfolder.
    explicit TProgramData(const QString &appDataFolder = QString(), QObject *parent = nullptr);

    bool MoveToDeleted() const { return FMoveToDeleted; }
    void SetMoveToDeleted(bool value) { FMoveToDeleted = value; }
    QString DeletedFolder() const { return FDeletedFolder; }
    void SetDeletedFolder(const QString &value) { FDeletedFolder = value; }
    qint64 MaxDeletedSize() const { return FMaxDeletedSize; }
    void SetMaxDeletedSize(qint64 value) { FMaxDeletedSize = value; }
    bool DriveAutoRun() const { return FDriveAutoRun; }
    void SetDriveAutoRun(bool value) { FDriveAutoRun = value; }
    bool CheckForUpdates() const { return FCheckForUpdates; }
    void SetCheckForUpdates(bool value) { FCheckForUpdates = value; }
    bool ShowHidden() const { return FShowHidden; }
    void SetShowHidden(bool value) { FShowHidden = value; }
    bool MiniWindows() const { return FMiniWindows; }
    void SetMiniWindows(bool value) { FMiniWindows = value; }
    bool AutoCloseJobTab() const { return FAutoCloseJobTab; }
    void SetAutoCloseJobTab(bool value) { FAutoCloseJobTab = value; }
    TScheduleRunMode ScheduleRunMode() const { return FScheduleRunMode; }
    void SetScheduleRunMode(TScheduleRunMode value) { FScheduleRunMode = value; }
    int DriveDetectMode() const { return FDriveDetectMode; }
    void SetDriveDetectMode(int value) { FDriveDetectMode = value; }

    // 1024 MB, the deleted-files alert limit of a new installation.
    static constexpr qint64 DefaultMaxDeletedSize = 1073741824;

private:
    bool FMoveToDeleted = false;
    QString FDeletedFolder;
    qint64 FMaxDeletedSize = DefaultMaxDeletedSize;
    bool FDriveAutoRun = true;
    bool FCheckForUpdates = false;
    bool FShowHidden = false;
    bool FMiniWindows = false;
    bool FAutoCloseJobTab = false;
    TScheduleRunMode FScheduleRunMode = srmAsk;
    int FDriveDetectMode = 0;
};

} // namespace trovalo
