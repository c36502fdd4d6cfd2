#pragma once

#include "base/Exceptions.h"

#include <QObject>
#include <QString>

class QLocalServer;

namespace trovalo {

// A second guard was constructed in the same process.
TROVALO_EXCEPTION(EApplicationInstanceError, ETrovaloError);

// Turns away a copy of the program when MaxInstances copies already run.
//
// Each admitted copy holds one of MaxInstances lock slots: a file locked with
// flock() in the user's runtime folder. The kernel releases the lock when the
// process ends, however it ends, so a crashed copy never blocks the next
// start. The slot names derive from the program file's path and the data
// folder, so installations in other folders, and isolated data folders, run
// side by side. An admitted copy listens on a local socket; a copy that is
// turned away asks it to come forward there, and the admitted copy emits
// RaiseRequested.
class TApplicationInstance : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int MaxInstances READ MaxInstances WRITE SetMaxInstances)

public:
    // Raises EApplicationInstanceError when another guard exists.
    explicit TApplicationInstance(QObject *parent = nullptr);
    // Releases the slot unless this copy was turned away.
    ~TApplicationInstance() override;

    int MaxInstances() const { return FMaxInstances; }
    // Values of 0 or less are ignored.
    void SetMaxInstances(int value);

    // True when MaxInstances copies already run: one of them has been asked to
    // come forward and this process must end. False when admitted. Raises
    // EFileError when the lock folder cannot be used.
    bool RestoreIfRunning();

    // Gives the slot back (also done by the destructor).
    void RemoveInstance();

    // The text the slot names derive from; empty before RestoreIfRunning.
    QString MappingName() const { return FMappingName; }
    // Slot held by this copy, -1 when none.
    int Slot() const { return FSlot; }

signals:
    // Another copy was started and turned away; show the program.
    void RaiseRequested();

private:
    QString LockFolder() const;
    QString SlotPath(int slot, const char *suffix) const;
    bool TryLockSlot(int slot);
    void Listen();
    void OnNewConnection();
    void AskRunningCopyToComeForward() const;

    QString FLockFolder;
    QString FMappingName;
    bool FRemoveInstance = true;
    int FMaxInstances = 1;
    int FSlot = -1;
    int FLockHandle = -1;
    QLocalServer *FServer = nullptr;
};

} // namespace trovalo
