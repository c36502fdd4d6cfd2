#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QDBusServiceWatcher;

namespace trovalo {

// Names of the UDisks2 service on the system bus.
namespace udisks2 {
inline const QString Service = QStringLiteral("org.freedesktop.UDisks2");
inline const QString ManagerPath = QStringLiteral("/org/freedesktop/UDisks2");
inline const QString BlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
inline const QString FilesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
inline const QString DriveInterface = QStringLiteral("org.freedesktop.UDisks2.Drive");
inline const QString EncryptedInterface = QStringLiteral("org.freedesktop.UDisks2.Encrypted");
inline const QString ObjectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
// Calls on the interface thread wait no longer than this.
constexpr int CallTimeoutMs = 3000;
// GetManagedObjects may have to start UDisks2 first.
constexpr int StartTimeoutMs = 5000;
// An unmount may wait for a slow stick to take its last writes.
constexpr int UnmountTimeoutMs = 60000;
} // namespace udisks2

// What the watcher keeps of one UDisks2 object (a block device with or
// without a file system, or a drive).
struct TUDisks2Object
{
    bool IsBlock = false, IsFileSystem = false, IsDrive = false;
    QString Device;    // Block.Device ("/dev/sdb1")
    QString DrivePath; // Block.Drive ("/" when none)
    // Block.CryptoBackingDevice: the locked device of a cleartext one ("/" or "" for none)
    QString CryptoBackingDevice;
    bool HintIgnore = false;  // Block.HintIgnore
    QStringList MountPoints;  // Filesystem.MountPoints, cleaned, no trailing slash
    bool Removable = false;   // Drive.Removable
    QString ConnectionBus;    // Drive.ConnectionBus ("usb", "sdio", "")
    bool CanPowerOff = false; // Drive.CanPowerOff

    bool IsMounted() const { return IsFileSystem && !MountPoints.isEmpty(); }
    bool IsEmpty() const { return !IsBlock && !IsFileSystem && !IsDrive; }
};

// Takes the properties of one interface into the object; other interfaces
// and properties are left out.
void ApplyUDisks2Properties(TUDisks2Object &object, const QString &interface, const QVariantMap &properties);
// Drops an interface that went away.
void RemoveUDisks2Interface(TUDisks2Object &object, const QString &interface);
// Filesystem.MountPoints ("aay": NUL-terminated byte strings, as it comes in
// a variant, a QDBusArgument or already a list of byte arrays) as cleaned
// folders; nothing for a value of another type.
QStringList UDisks2MountPoints(const QVariant &value);
// Calls a UDisks2 method whose last argument is an options dictionary
// (a{sv}, given empty), after the arguments given; the reply, an error reply
// included. Waits timeoutMs at most.
QDBusMessage CallUDisks2(const QDBusConnection &bus, const QString &objectPath, const QString &interface,
                         const QString &method, int timeoutMs, const QVariantList &arguments = {});
// The reply of ObjectManager.GetManagedObjects ("a{oa{sa{sv}}}"): object path
// -> interface -> properties; empty when the signature differs.
QMap<QString, QMap<QString, QVariantMap>> ParseManagedObjects(const QDBusArgument &argument);
// The objects of a GetManagedObjects reply as the watcher keeps them
// (objects without a block, file system or drive interface left out);
// nullopt for an error reply or an answer of another signature.
std::optional<QHash<QString, TUDisks2Object>> ManagedObjectsOf(const QDBusMessage &reply);

// Follows UDisks2's objects on a bus: GetManagedObjects once, then
// InterfacesAdded / InterfacesRemoved of its object manager and the
// PropertiesChanged of every Filesystem interface (a stick's block device
// appears before it is mounted; its MountPoints change later). Reports the
// moment a file system gets its first mount point and the moment it has
// none any more (or goes), per object path. All on the thread that made it.
class TUDisks2Watcher : public QObject
{
    Q_OBJECT

public:
    explicit TUDisks2Watcher(const QDBusConnection &bus, QObject *parent = nullptr);
    ~TUDisks2Watcher() override;

    // True when UDisks2 runs on the bus or the bus can start it; otherwise
    // false with the reason in *why. Calls wait CallTimeoutMs at most.
    static bool ServiceAvailable(const QDBusConnection &bus, QString *why);

    // Subscribes to the signals and takes the objects as they are now (they
    // are not reported). False with the reason in *error.
    bool Start(QString *error);

    // Object path -> mount points of every file system mounted now.
    QMap<QString, QStringList> MountedFileSystems() const;

signals:
    void Mounted(const QString &objectPath, const QStringList &mountPoints);
    void Unmounted(const QString &objectPath);
    // A file system appeared (InterfacesAdded) without a mount point, on a
    // removable or USB drive, and UDisks2 is not told to ignore it.
    void UnmountedFileSystemAppeared(const QString &objectPath);

private slots:
    void OnInterfacesAdded(const QDBusMessage &message);
    void OnInterfacesRemoved(const QDBusMessage &message);
    void OnPropertiesChanged(const QDBusMessage &message);
    void OnServiceRegistered();

private:
    // Applies a change to one object and reports its mount going or coming.
    void Update(const QString &path, const std::function<void(TUDisks2Object &)> &change);
    // The objects as GetManagedObjects gave them after a restart of
    // UDisks2; the mounts that differ from what was known are reported.
    void TakeObjects(const QHash<QString, TUDisks2Object> &taken);
    void CheckUnmountedAppeared(const QString &path);
    void DecideUnmountedAppeared(const QString &path);
    void Subscribe(bool on);

    QDBusConnection FBus;
    QDBusServiceWatcher *FServiceWatcher = nullptr;
    QHash<QString, TUDisks2Object> FObjects;
    bool FSubscribed = false;
};

} // namespace trovalo
