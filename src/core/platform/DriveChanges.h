#pragma once

#include "DriveDiscovery.h"
#include "DriveTable.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace trovalo {

// One drive as the arrival listener compares it: its letter, its native
// root and, where mounts are looked at, which mount sits right at the root.
struct TDriveState
{
    QChar Letter;
    QString Root;
    // Mount ID of the file system mounted at Root itself ("" when Root is
    // a plain folder, or when mounts are not looked at).
    QString Mount;
};

// What changed between two looks at the drives, as drive roots ("F:\"),
// each list in letter order.
struct TDriveChanges
{
    QStringList Removed;
    QStringList Arrived;
    bool IsEmpty() const { return Removed.isEmpty() && Arrived.isEmpty(); }
};

// A letter that is new arrives and one that is gone is removed; a letter
// given to another root, or whose root got another mount, is both removed
// and arrived; a root that became a mount point arrives, one that stopped
// being one is removed. C: (the system volume) never arrives nor goes.
TDriveChanges CompareDrives(const QList<TDriveState> &before, const QList<TDriveState> &after);

// The drives' letters and roots, with the mounts left out.
QList<TDriveState> DriveStates(const QList<TDriveInfo> &drives);
// The same with, for every drive, the mount whose mount point is its root
// (the last of them: a later mount hides an earlier one).
QList<TDriveState> DriveStates(const QList<TDriveInfo> &drives, const QList<TMountEntry> &mounts);

} // namespace trovalo
