#include "UDisks2Watcher.h"

#include "base/Logging.h"

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>

namespace trovalo {

namespace {
using udisks2::ObjectManagerInterface;
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString BusService = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");

// A value as it comes out of a{sv}: a variant inside a variant is opened.
QVariant Plain(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return Plain(value.value<QDBusVariant>().variant());
    return value;
}

// "ay" holding a NUL-terminated file name.
QString FileNameOfBytes(QByteArray bytes)
{
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return QFile::decodeName(bytes);
}

QString CallError(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return QStringLiteral("an unexpected reply (signature \"%1\")").arg(reply.signature());
}

QDBusMessage Call(const QString &path, const QString &interface, const QString &method,
                  const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(udisks2::Service, path, interface, method);
    call.setArguments(arguments);
    return call;
}
} // namespace

void ApplyUDisks2Properties(TUDisks2Object &object, const QString &interface, const QVariantMap &properties)
{
    const auto has = [&](const char *name) { return properties.contains(QLatin1String(name)); };
    const auto value = [&](const char *name) { return Plain(properties.value(QLatin1String(name))); };
    if (interface == udisks2::BlockInterface) {
        object.IsBlock = true;
        if (has("Device"))
            object.Device = FileNameOfBytes(value("Device").toByteArray());
        if (has("Drive"))
            object.DrivePath = value("Drive").value<QDBusObjectPath>().path();
        if (has("HintIgnore"))
            object.HintIgnore = value("HintIgnore").toBool();
        if (has("CryptoBackingDevice"))
            object.CryptoBackingDevice = value("CryptoBackingDevice").value<QDBusObjectPath>().path();
    } else if (interface == udisks2::FilesystemInterface) {
        object.IsFileSystem = true;
        if (has("MountPoints"))
            object.MountPoints = UDisks2MountPoints(value("MountPoints"));
    } else if (interface == udisks2::DriveInterface) {
        object.IsDrive = true;
        if (has("Removable"))
            object.Removable = value("Removable").toBool();
        if (has("ConnectionBus"))
            object.ConnectionBus = value("ConnectionBus").toString();
        if (has("CanPowerOff"))
            object.CanPowerOff = value("CanPowerOff").toBool();
    }
}

void RemoveUDisks2Interface(TUDisks2Object &object, const QString &interface)
{
    if (interface == udisks2::BlockInterface) {
        object.IsBlock = false;
        object.Device.clear();
        object.DrivePath.clear();
        object.HintIgnore = false;
        object.CryptoBackingDevice.clear();
    } else if (interface == udisks2::FilesystemInterface) {
        object.IsFileSystem = false;
        object.MountPoints.clear();
    } else if (interface == udisks2::DriveInterface) {
        object.IsDrive = false;
        object.Removable = false;
        object.ConnectionBus.clear();
        object.CanPowerOff = false;
    }
}

QDBusMessage CallUDisks2(const QDBusConnection &bus, const QString &objectPath, const QString &interface,
                         const QString &method, int timeoutMs, const QVariantList &arguments)
{
    return bus.call(Call(objectPath, interface, method, arguments + QVariantList{QVariantMap()}),
                    QDBus::Block, timeoutMs);
}

QStringList UDisks2MountPoints(const QVariant &raw)
{
    const QVariant value = Plain(raw);
    QList<QByteArray> names;
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("aay"))
            return {};
        argument >> names;
    } else if (value.metaType() == QMetaType::fromType<QByteArrayList>()) {
        names = value.value<QByteArrayList>();
    } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        for (const QVariant &item : value.toList()) {
            if (item.metaType() == QMetaType::fromType<QByteArray>())
                names << item.toByteArray();
        }
    } else {
        return {};
    }
    QStringList points;
    for (const QByteArray &name : names) {
        const QString point = FileNameOfBytes(name);
        if (point.startsWith(QLatin1Char('/')))
            points << QDir::cleanPath(point);
    }
    return points;
}

QMap<QString, QMap<QString, QVariantMap>> ParseManagedObjects(const QDBusArgument &argument)
{
    QMap<QString, QMap<QString, QVariantMap>> objects;
    if (argument.currentSignature() != QLatin1String("a{oa{sa{sv}}}"))
        return objects;
    argument.beginMap();
    while (!argument.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        argument.beginMapEntry();
        argument >> path >> interfaces;
        argument.endMapEntry();
        objects.insert(path.path(), interfaces);
    }
    argument.endMap();
    return objects;
}

std::optional<QHash<QString, TUDisks2Object>> ManagedObjectsOf(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{oa{sa{sv}}}"))
        return std::nullopt;
    const QMap<QString, QMap<QString, QVariantMap>> objects =
        ParseManagedObjects(reply.arguments().at(0).value<QDBusArgument>());
    QHash<QString, TUDisks2Object> taken;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        TUDisks2Object object;
        for (auto interface = it->cbegin(); interface != it->cend(); ++interface)
            ApplyUDisks2Properties(object, interface.key(), interface.value());
        if (!object.IsEmpty())
            taken.insert(it.key(), object);
    }
    return taken;
}

TUDisks2Watcher::TUDisks2Watcher(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , FBus(bus)
{}

TUDisks2Watcher::~TUDisks2Watcher()
{
    Subscribe(false);
}

bool TUDisks2Watcher::ServiceAvailable(const QDBusConnection &bus, QString *why)
{
    const auto busCall = [&](const QString &method, const QVariantList &arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(BusService, BusPath, BusService, method);
        call.setArguments(arguments);
        return bus.call(call, QDBus::Block, udisks2::CallTimeoutMs);
    };
    const QDBusMessage owner = busCall(QStringLiteral("NameHasOwner"), {udisks2::Service});
    if (owner.type() != QDBusMessage::ReplyMessage) {
        *why = QStringLiteral("the system bus did not answer: ") + CallError(owner);
        return false;
    }
    if (owner.arguments().value(0).toBool())
        return true;
    const QDBusMessage activatable = busCall(QStringLiteral("ListActivatableNames"), {});
    if (activatable.type() == QDBusMessage::ReplyMessage &&
        activatable.arguments().value(0).toStringList().contains(udisks2::Service))
        return true;
    *why = QStringLiteral("%1 neither runs on the system bus nor can be started by it").arg(udisks2::Service);
    return false;
}

void TUDisks2Watcher::Subscribe(bool on)
{
    if (on == FSubscribed)
        return;
    const QString added = QStringLiteral("InterfacesAdded"), removed = QStringLiteral("InterfacesRemoved"),
                  changed = QStringLiteral("PropertiesChanged");
    // Every object's PropertiesChanged (no path), of the Filesystem interface
    // only (argument 0): the bus daemon filters, so SMART updates and the
    // like of other interfaces never wake this process.
    const QStringList fileSystemsOnly{udisks2::FilesystemInterface};
    if (on) {
        bool ok = FBus.connect(udisks2::Service, udisks2::ManagerPath, ObjectManagerInterface, added, this,
                               SLOT(OnInterfacesAdded(QDBusMessage)));
        ok = FBus.connect(udisks2::Service, udisks2::ManagerPath, ObjectManagerInterface, removed, this,
                          SLOT(OnInterfacesRemoved(QDBusMessage))) &&
             ok;
        ok = FBus.connect(udisks2::Service, QString(), PropertiesInterface, changed, fileSystemsOnly,
                          QString(), this, SLOT(OnPropertiesChanged(QDBusMessage))) &&
             ok;
        FSubscribed = true;
        if (!ok) {
            Subscribe(false);
            return;
        }
        FServiceWatcher =
            new QDBusServiceWatcher(udisks2::Service, FBus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(FServiceWatcher, &QDBusServiceWatcher::serviceRegistered, this,
                &TUDisks2Watcher::OnServiceRegistered);
    } else {
        FBus.disconnect(udisks2::Service, udisks2::ManagerPath, ObjectManagerInterface, added, this,
                        SLOT(OnInterfacesAdded(QDBusMessage)));
        FBus.disconnect(udisks2::Service, udisks2::ManagerPath, ObjectManagerInterface, removed, this,
                        SLOT(OnInterfacesRemoved(QDBusMessage)));
        FBus.disconnect(udisks2::Service, QString(), PropertiesInterface, changed, fileSystemsOnly, QString(),
                        this, SLOT(OnPropertiesChanged(QDBusMessage)));
        delete FServiceWatcher;
        FServiceWatcher = nullptr;
        FSubscribed = false;
    }
}

bool TUDisks2Watcher::Start(QString *error)
{
    // Signals first, then the objects: a change in between is then seen
    // twice rather than never, and a second look at a known mount is no news.
    Subscribe(true);
    if (!FSubscribed) {
        *error = QStringLiteral("the UDisks2 signals cannot be received: ") + FBus.lastError().message();
        return false;
    }
    const QDBusMessage reply =
        FBus.call(Call(udisks2::ManagerPath, ObjectManagerInterface, QStringLiteral("GetManagedObjects")),
                  QDBus::Block, udisks2::StartTimeoutMs);
    std::optional<QHash<QString, TUDisks2Object>> objects = ManagedObjectsOf(reply);
    if (!objects) {
        *error = QStringLiteral("GetManagedObjects of UDisks2 failed: ") + CallError(reply);
        Subscribe(false);
        return false;
    }
    FObjects = std::move(*objects);
    return true;
}

void TUDisks2Watcher::TakeObjects(const QHash<QString, TUDisks2Object> &taken)
{
    QStringList paths = FObjects.keys();
    for (const QString &path : taken.keys())
        if (!FObjects.contains(path))
            paths << path;
    for (const QString &path : paths)
        Update(path, [&](TUDisks2Object &object) { object = taken.value(path); });
}

QMap<QString, QStringList> TUDisks2Watcher::MountedFileSystems() const
{
    QMap<QString, QStringList> mounted;
    for (auto it = FObjects.cbegin(); it != FObjects.cend(); ++it)
        if (it->IsMounted())
            mounted.insert(it.key(), it->MountPoints);
    return mounted;
}

void TUDisks2Watcher::Update(const QString &path, const std::function<void(TUDisks2Object &)> &change)
{
    TUDisks2Object &object = FObjects[path];
    const bool wasMounted = object.IsMounted();
    change(object);
    const bool mounted = object.IsMounted();
    const QStringList points = object.MountPoints;
    if (object.IsEmpty())
        FObjects.remove(path);
    if (!wasMounted && mounted)
        emit Mounted(path, points);
    else if (wasMounted && !mounted)
        emit Unmounted(path);
}

void TUDisks2Watcher::OnInterfacesAdded(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("oa{sa{sv}}"))
        return;
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    QMap<QString, QVariantMap> interfaces;
    message.arguments().at(1).value<QDBusArgument>() >> interfaces;
    Update(path, [&](TUDisks2Object &object) {
        for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it)
            ApplyUDisks2Properties(object, it.key(), it.value());
    });
    if (interfaces.contains(udisks2::FilesystemInterface))
        CheckUnmountedAppeared(path);
}

void TUDisks2Watcher::OnInterfacesRemoved(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("oas"))
        return;
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = message.arguments().at(1).toStringList();
    if (!FObjects.contains(path))
        return;
    Update(path, [&](TUDisks2Object &object) {
        for (const QString &interface : interfaces)
            RemoveUDisks2Interface(object, interface);
    });
}

void TUDisks2Watcher::OnPropertiesChanged(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("sa{sv}as") ||
        message.arguments().at(0).toString() != udisks2::FilesystemInterface)
        return;
    const QString path = message.path();
    const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().at(1));
    const QStringList invalidated = message.arguments().at(2).toStringList();
    Update(path, [&](TUDisks2Object &object) {
        ApplyUDisks2Properties(object, udisks2::FilesystemInterface, changed);
    });
    if (!invalidated.contains(QLatin1String("MountPoints")))
        return;
    // Named without its value: asked for, without waiting.
    auto *watcher = new QDBusPendingCallWatcher(
        FBus.asyncCall(Call(path, PropertiesInterface, QStringLiteral("Get"),
                            {udisks2::FilesystemInterface, QStringLiteral("MountPoints")}),
                       udisks2::CallTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return;
        const QStringList points = UDisks2MountPoints(reply.value().variant());
        Update(path, [&](TUDisks2Object &object) {
            object.IsFileSystem = true;
            object.MountPoints = points;
        });
    });
}

void TUDisks2Watcher::OnServiceRegistered()
{
    // UDisks2 started again: its objects are taken anew, and what was
    // mounted or unmounted meanwhile is reported.
    qCInfo(LogDrives).noquote() << QStringLiteral("UDisks2 started again; its drives are read anew");
    auto *watcher =
        new QDBusPendingCallWatcher(FBus.asyncCall(Call(udisks2::ManagerPath, ObjectManagerInterface,
                                                        QStringLiteral("GetManagedObjects")),
                                                   udisks2::StartTimeoutMs),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        const std::optional<QHash<QString, TUDisks2Object>> objects = ManagedObjectsOf(reply);
        if (!objects) {
            qCWarning(LogDrives).noquote()
                << QStringLiteral("GetManagedObjects of UDisks2 failed: ") + CallError(reply);
            return;
        }
        TakeObjects(*objects);
    });
}

void TUDisks2Watcher::CheckUnmountedAppeared(const QString &path)
{
    const TUDisks2Object object = FObjects.value(path);
    if (!object.IsFileSystem || object.IsMounted() || object.HintIgnore || object.DrivePath.isEmpty() ||
        object.DrivePath == QLatin1String("/"))
        return;
    if (FObjects.value(object.DrivePath).IsDrive)
        return DecideUnmountedAppeared(path);
    // The drive was not announced (yet): its properties are asked for.
    const QString drivePath = object.DrivePath;
    auto *watcher =
        new QDBusPendingCallWatcher(FBus.asyncCall(Call(drivePath, PropertiesInterface,
                                                        QStringLiteral("GetAll"), {udisks2::DriveInterface}),
                                                   udisks2::CallTimeoutMs),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, drivePath](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<QVariantMap> reply = *call;
                if (reply.isError()) {
                    qCDebug(LogDrives).noquote() << QStringLiteral("The drive %1 of %2 cannot be read: %3")
                                                        .arg(drivePath, path, reply.error().message());
                    return;
                }
                const QVariantMap properties = reply.value();
                Update(drivePath, [&](TUDisks2Object &drive) {
                    ApplyUDisks2Properties(drive, udisks2::DriveInterface, properties);
                });
                DecideUnmountedAppeared(path);
            });
}

void TUDisks2Watcher::DecideUnmountedAppeared(const QString &path)
{
    const TUDisks2Object object = FObjects.value(path);
    if (!object.IsFileSystem || object.IsMounted() || object.HintIgnore)
        return;
    const TUDisks2Object drive = FObjects.value(object.DrivePath);
    if (drive.Removable || drive.ConnectionBus.compare(QLatin1String("usb"), Qt::CaseInsensitive) == 0)
        emit UnmountedFileSystemAppeared(path);
}

} // namespace trovalo
