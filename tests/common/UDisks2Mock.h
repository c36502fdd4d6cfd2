#pragma once

#include "PrivateBus.h"

#include <QDBusArgument>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

namespace trovalo::test {

// A method of a dbusmock object, as AddObject and AddMethods take it (ssss).
struct TMockMethod
{
    QString Name, InSignature, OutSignature, Code;
};
QDBusArgument &operator<<(QDBusArgument &argument, const TMockMethod &method);
const QDBusArgument &operator>>(const QDBusArgument &argument, TMockMethod &method);

// A stick as safe removal finds it: a drive with PowerOff and Eject, and one
// file system with Unmount, directly on the drive's block device or, when
// Cleartext is set, on that unlocked device of the encrypted Block (which
// has Lock).
struct TMockStick
{
    QString Drive = QStringLiteral("/org/freedesktop/UDisks2/drives/Stick");
    QString Block = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb1");
    QString MountPoint;
    QString Cleartext;
    bool CanPowerOff = true;
    bool Busy = false; // Unmount answers DeviceBusy

    static TMockStick MountedAt(const QString &mountPoint)
    {
        TMockStick stick;
        stick.MountPoint = mountPoint;
        return stick;
    }
};

// dbusmock standing in for UDisks2 on a private bus: an object manager at
// /org/freedesktop/UDisks2 whose GetManagedObjects lists every object under
// it, with drives and file systems added as a stick would show them.
class TUDisks2Mock
{
public:
    using TInterfaces = QMap<QString, QVariantMap>;

    explicit TUDisks2Mock(TPrivateBus &bus)
        : FBus(bus)
    {}

    // Starts the stand-in once; each call empties it.
    bool Start();
    bool Mock(const QString &path, const QString &method, const QVariantList &arguments = {}) const;

    bool AddDrive(const QString &path, bool removable, const QString &bus) const;
    // A block device with a file system, as UDisks2 shows a stick's partition.
    bool AddFileSystem(const QString &path, const QString &drive, const QStringList &mountPoints,
                       bool hintIgnore = false) const;
    // Mount sets MountPoints to MountPoint (PropertiesChanged) and returns it;
    // Unmount empties them. Both are recorded (GetMethodCalls).
    bool AddMountMethods(const QString &path, const QString &mountPoint) const;
    // Properties.Set, which dbusmock answers with PropertiesChanged.
    bool SetMountPoints(const QString &path, const QStringList &mountPoints) const;
    // A file system that appears as a stick's does: added, given Mount and
    // Unmount when MountAt is set, and announced (InterfacesAdded).
    bool AppearFileSystem(const QString &path, const QString &drive, const QStringList &mountPoints,
                          bool hintIgnore = false, const QString &mountAt = {}) const;
    // dbusmock leaves InterfacesAdded to the test.
    bool EmitInterfacesAdded(const QString &path, const TInterfaces &interfaces) const;
    static TInterfaces FileSystemInterfaces(const QString &drive, const QStringList &mountPoints,
                                            bool hintIgnore);
    // The stick's objects; every call of Unmount, Lock, PowerOff and Eject is
    // written to RemovalCalls.
    bool AddStick(const TMockStick &stick) const;
    // Those calls in the order UDisks2 got them, each as "<object> <Method>".
    QStringList RemovalCalls() const;
    // How often Method was called on the object at Path.
    int Calls(const QString &path, const QString &method) const;

    // MountPoints as UDisks2 sends them: "aay", each name ending in NUL.
    static QVariant MountPointsValue(const QStringList &points);

private:
    TPrivateBus &FBus;
    bool FStarted = false;
    QTemporaryDir FCallLogFolder;
};

// A private bus with UDisks2's stand-in on it, for a test that needs nothing
// else there. Start() points this process's system bus at it, so it must
// come before the process first uses the system bus.
struct TUDisks2OnPrivateBus
{
    TPrivateBus Bus;
    TUDisks2Mock UDisks2{Bus};

    bool Start() { return Bus.Start() && UDisks2.Start(); }
};

inline const char *const NeedsDBusMock =
    "needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)";

// A suite whose every test talks to UDisks2's stand-in: the bus starts
// with the suite (which is skipped without dbus-daemon or dbusmock).
class TUDisks2Suite : public QObject
{
    Q_OBJECT

protected:
    TUDisks2OnPrivateBus FBus;
    TUDisks2Mock &FUDisks2 = FBus.UDisks2;

private slots:
    void initTestCase()
    {
        if (!TPrivateBus::Available())
            QSKIP(NeedsDBusMock);
        QVERIFY(FBus.Start());
    }
};

} // namespace trovalo::test

Q_DECLARE_METATYPE(trovalo::test::TMockMethod)
