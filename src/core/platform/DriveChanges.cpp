#include "DriveChanges.h"

#include <QHash>

#include <algorithm>

namespace trovalo {

namespace {
QString RootOf(QChar letter)
{
    return QString(letter) + QStringLiteral(":\\");
}
} // namespace

TDriveChanges CompareDrives(const QList<TDriveState> &before, const QList<TDriveState> &after)
{
    QHash<QChar, const TDriveState *> old;
    for (const TDriveState &drive : before)
        old.insert(drive.Letter.toUpper(), &drive);
    QHash<QChar, const TDriveState *> now;
    for (const TDriveState &drive : after)
        now.insert(drive.Letter.toUpper(), &drive);

    QList<QChar> removed, arrived;
    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        const TDriveState *current = now.value(it.key());
        const TDriveState &previous = *it.value();
        if (!current || current->Root != previous.Root ||
            (!previous.Mount.isEmpty() && current->Mount != previous.Mount))
            removed << it.key();
    }
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        const TDriveState *previous = old.value(it.key());
        const TDriveState &current = *it.value();
        if (!previous || previous->Root != current.Root ||
            (!current.Mount.isEmpty() && previous->Mount != current.Mount))
            arrived << it.key();
    }
    TDriveChanges changes;
    for (QList<QChar> *letters : {&removed, &arrived}) {
        letters->removeAll(QLatin1Char('C'));
        std::sort(letters->begin(), letters->end());
    }
    for (QChar letter : removed)
        changes.Removed << RootOf(letter);
    for (QChar letter : arrived)
        changes.Arrived << RootOf(letter);
    return changes;
}

QList<TDriveState> DriveStates(const QList<TDriveInfo> &drives)
{
    QList<TDriveState> states;
    for (const TDriveInfo &drive : drives)
        states << TDriveState{drive.Letter, drive.Root, QString()};
    return states;
}

QList<TDriveState> DriveStates(const QList<TDriveInfo> &drives, const QList<TMountEntry> &mounts)
{
    QHash<QString, QString> mountAt; // mount point -> ID of the last mount there
    for (const TMountEntry &entry : mounts)
        mountAt.insert(entry.MountPoint, entry.MountId);
    QList<TDriveState> states = DriveStates(drives);
    for (TDriveState &state : states)
        state.Mount = mountAt.value(state.Root);
    return states;
}

} // namespace trovalo
