#pragma once

#include "UDisks2Watcher.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo {

// Why a drive was not removed; None when it may be pulled out.
enum class TRemovalError {
    None,
    UnknownDrive, // no such drive, or the computer's own drive C:
    JobRunning,   // a job of the drive runs, in this process or another of this user
    OwnFilesOpen, // this program still holds files on the drive
    FlushFailed,  // the drive's file system could not be synced
    NoUDisks2,    // no system bus, or UDisks2 is not on it
    NotRemovable, // UDisks2 has no file system mounted at the drive's folder
    Busy,         // UDisks2 refused the unmount: files on the drive are open
    Failed,       // UDisks2 failed otherwise
};

// The end of a safe removal: what happened, in one text for the user.
struct TRemovalResult
{
    TRemovalError Error = TRemovalError::None;
    QString Text;
    QString DriveRoot;       // "E:\"
    bool PoweredOff = false; // the drive was powered off (else ejected, or its file systems only unmounted)

    bool Ok() const { return Error == TRemovalError::None; }
};

// What UDisks2 must do to remove the drive behind one mount folder: the
// file systems of that drive mounted now (each cleartext one with the
// encrypted device to lock after its unmount), then the drive itself.
struct TRemovalPlan
{
    QStringList FileSystems;           // object paths, in the order they are unmounted
    QHash<QString, QString> LockAfter; // file system -> its encrypted backing device
    QString Drive;                     // the drive object; "" when the file system has none
    bool CanPowerOff = false;
};

// The plan for the mount folder NativeRoot among UDisks2's objects; nullopt
// when no file system is mounted there.
std::optional<TRemovalPlan> PlanDriveRemoval(const QHash<QString, TUDisks2Object> &objects,
                                             const QString &nativeRoot);

// The refusal of a removal while a job of the drive runs in any process of
// this user (their run locks tell); nullopt when none runs.
std::optional<TRemovalResult> RemovalRefusedForJobs(const QString &driveRoot);

// Removes the drive (its letter root, "E:\") safely: refused while one of
// its jobs runs or this process holds files on it (the caller closes its own
// searches and databases first); otherwise its file system is synced, every
// mounted file system of the drive is unmounted through UDisks2 (an
// encrypted one locked after), and the drive is powered off when it can be,
// else ejected. A busy drive's text names this user's programs that hold
// files on it. Blocks for as long as UDisks2 takes (a minute at most per
// call): the interface runs it on a thread of its own.
TRemovalResult SafelyRemoveDrive(const QString &driveRoot,
                                 const QDBusConnection &bus = QDBusConnection::systemBus());

} // namespace trovalo
