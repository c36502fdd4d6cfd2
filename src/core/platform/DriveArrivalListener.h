#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace trovalo {

// Reports every drive that is newly mounted, once, with its root in the
// drive-letter form ("F:\"), on the thread that made the listener (the
// interface thread). Drives mounted when Start() runs are not arrivals.
// Before a report the drive table is refreshed, so the letter is usable at
// once; a drive that goes away is dropped from the table and reported as
// removed (nothing is closed for it).
//
// Sources, the first that applies:
//  - TROVALO_DRIVES="@/path/file": the drive table is that file (same syntax
//    as the variable's value); it is watched, and a letter that appears in
//    it arrives (tests and demos make a stick "plugged in" this way);
//  - UDisks2 on the system bus: a file system whose MountPoints become non-
//    empty arrives when the drive table gives its mount point a letter
//    (with TROVALO_DRIVES as a fixed list, the listed folder must be the
//    mount point UDisks2 reports);
//  - otherwise /proc/self/mountinfo, which wakes poll() with POLLPRI on every
//    mount change: letters new in the refreshed table arrive (and, with
//    TROVALO_DRIVES as a fixed list, a letter whose folder becomes a mount
//    point; it is removed when that mount goes).
// With the first and the last, a letter given to another folder is removed
// and arrives. C: never arrives nor goes. Start() asks the system bus only
// when there is no drive-table file, and each call there waits a few
// seconds at most; with no bus at DBUS_SYSTEM_BUS_ADDRESS (no socket, as
// without /run/dbus) it goes on to the mount table at once (a daemon that
// takes the connection and never answers would still hold it: Qt's
// connection to the bus waits without a limit). Which source
// was chosen, and every arrival and removal, is logged (trovalo.drives).
class TDriveArrivalListener : public QObject
{
    Q_OBJECT

public:
    enum class TSource { None, DriveTableFile, UDisks2, MountInfo };

    explicit TDriveArrivalListener(QObject *parent = nullptr);
    ~TDriveArrivalListener() override;

    // Picks the source and takes what is mounted now as known. False when no
    // source could be started (the program then runs without arrivals).
    bool Start();
    void Stop();
    TSource Source() const;
    // "UDisks2", "drive table file /x/y", "/proc/self/mountinfo", "none".
    QString SourceDescription() const;

signals:
    void DriveArrived(const QString &driveRoot);
    void DriveRemoved(const QString &driveRoot);
    // UDisks2 only: a file system on a removable or USB drive that nobody
    // mounted (a machine without a desktop mounts nothing by itself). The
    // headless service may mount it through UDisks2Mount().
    void UnmountedFileSystemAppeared(const QString &objectPath);

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

// Mounts a file system through UDisks2 (Filesystem.Mount, no options) on
// the system bus; the mount point, or nullopt with the reason in *error.
// The drive table is refreshed after a successful mount. Both calls wait
// for UDisks2's answer, up to a minute (a file system check, a slow stick
// taking its last writes): call them off the interface thread where that
// matters. The listener reports the mount as an arrival as usual.
std::optional<QString> UDisks2Mount(const QString &objectPath, QString *error);
// Undoes UDisks2Mount (Filesystem.Unmount); false with the reason in *error.
bool UDisks2Unmount(const QString &objectPath, QString *error);

} // namespace trovalo
