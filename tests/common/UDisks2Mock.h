#pragma once

#include "PrivateBus.h"

#include <QDBusArgument>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace trovalo::test {

// A method of a dbusmock object, as AddObject and AddMethods take it (ssss).
struct TMockMethod
{
    QString Name, InSignature, OutSignature, Code;
};
QDBusArgument &operator<<(QDBusArgument &argument, const TMockMethod &method);
const QDBusArgument &operator>>(const QDBusArgument &argument, TMockMethod &method);

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
    // How often Method was called on the object at Path.
    int Calls(const QString &path, const QString &method) const;

    // MountPoints as UDisks2 sends them: "aay", each name ending in NUL.
    static QVariant MountPointsValue(const QStringList &points);

private:
    TPrivateBus &FBus;
    bool FStarted = false;
};

} // namespace trovalo::test

Q_DECLARE_METATYPE(trovalo::test::TMockMethod)
