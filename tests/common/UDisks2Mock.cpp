#include "UDisks2Mock.h"

#include "platform/UDisks2Watcher.h"

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>

namespace trovalo::test {

namespace {
const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString ObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const TMockMethod &method)
{
    argument.beginStructure();
    argument << method.Name << method.InSignature << method.OutSignature << method.Code;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, TMockMethod &method)
{
    argument.beginStructure();
    argument >> method.Name >> method.InSignature >> method.OutSignature >> method.Code;
    argument.endStructure();
    return argument;
}

bool TUDisks2Mock::Start()
{
    qDBusRegisterMetaType<TMockMethod>();
    qDBusRegisterMetaType<QList<TMockMethod>>();
    qDBusRegisterMetaType<QByteArrayList>();
    qDBusRegisterMetaType<TInterfaces>();
    if (!FStarted) {
        FStarted = FBus.StartMock(udisks2::Service, udisks2::ManagerPath, ObjectManager);
        if (!FStarted)
            return false;
    }
    return Mock(udisks2::ManagerPath, QStringLiteral("Reset")) &&
           Mock(udisks2::ManagerPath, QStringLiteral("AddMethod"),
                {ObjectManager, QStringLiteral("GetManagedObjects"), QString(),
                 QStringLiteral("a{oa{sa{sv}}}"),
                 QStringLiteral("ret = {dbus.ObjectPath(k): objects[k].props for k in objects "
                                "if k.startswith('/org/freedesktop/UDisks2/')}")});
}

bool TUDisks2Mock::Mock(const QString &path, const QString &method, const QVariantList &arguments) const
{
    return FBus.CallOk(udisks2::Service, path, MockInterface, method, arguments);
}

bool TUDisks2Mock::AddDrive(const QString &path, bool removable, const QString &bus) const
{
    const QVariantMap properties{{QStringLiteral("Removable"), removable},
                                 {QStringLiteral("ConnectionBus"), bus}};
    return Mock(udisks2::ManagerPath, QStringLiteral("AddObject"),
                {path, udisks2::DriveInterface, properties, QVariant::fromValue(QList<TMockMethod>())});
}

bool TUDisks2Mock::AddFileSystem(const QString &path, const QString &drive, const QStringList &mountPoints,
                                 bool hintIgnore) const
{
    const QVariantMap block{{QStringLiteral("Device"), QByteArray("/dev/sdb1\0", 10)},
                            {QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(drive))},
                            {QStringLiteral("HintIgnore"), hintIgnore}};
    return Mock(udisks2::ManagerPath, QStringLiteral("AddObject"),
                {path, udisks2::BlockInterface, block, QVariant::fromValue(QList<TMockMethod>())}) &&
           Mock(path, QStringLiteral("AddProperty"),
                {udisks2::FilesystemInterface, QStringLiteral("MountPoints"),
                 QVariant::fromValue(QDBusVariant(MountPointsValue(mountPoints)))});
}

bool TUDisks2Mock::AddMountMethods(const QString &path, const QString &mountPoint) const
{
    const QString setPoints =
        QStringLiteral("self.Set('%1', 'MountPoints', dbus.Array(%2, signature='ay'))\n")
            .arg(udisks2::FilesystemInterface);
    const QList<TMockMethod> methods{
        {QStringLiteral("Mount"), QStringLiteral("a{sv}"), QStringLiteral("s"),
         setPoints.arg(QStringLiteral("[dbus.ByteArray(b'%1\\0')]").arg(mountPoint)) +
             QStringLiteral("ret = '%1'").arg(mountPoint)},
        {QStringLiteral("Unmount"), QStringLiteral("a{sv}"), QString(), setPoints.arg("[]")}};
    return Mock(path, QStringLiteral("AddMethods"),
                {udisks2::FilesystemInterface, QVariant::fromValue(methods)});
}

bool TUDisks2Mock::SetMountPoints(const QString &path, const QStringList &mountPoints) const
{
    return FBus.CallOk(udisks2::Service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("Set"),
                       {udisks2::FilesystemInterface, QStringLiteral("MountPoints"),
                        QVariant::fromValue(QDBusVariant(MountPointsValue(mountPoints)))});
}

bool TUDisks2Mock::AppearFileSystem(const QString &path, const QString &drive, const QStringList &mountPoints,
                                    bool hintIgnore, const QString &mountAt) const
{
    return AddFileSystem(path, drive, mountPoints, hintIgnore) &&
           (mountAt.isEmpty() || AddMountMethods(path, mountAt)) &&
           EmitInterfacesAdded(path, FileSystemInterfaces(drive, mountPoints, hintIgnore));
}

bool TUDisks2Mock::EmitInterfacesAdded(const QString &path, const TInterfaces &interfaces) const
{
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(path)), QVariant::fromValue(interfaces)};
    return Mock(udisks2::ManagerPath, QStringLiteral("EmitSignal"),
                {ObjectManager, QStringLiteral("InterfacesAdded"), QStringLiteral("oa{sa{sv}}"),
                 QVariant::fromValue(arguments)});
}

TUDisks2Mock::TInterfaces TUDisks2Mock::FileSystemInterfaces(const QString &drive,
                                                             const QStringList &mountPoints, bool hintIgnore)
{
    return {{udisks2::BlockInterface,
             {{QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(drive))},
              {QStringLiteral("HintIgnore"), hintIgnore}}},
            {udisks2::FilesystemInterface, {{QStringLiteral("MountPoints"), MountPointsValue(mountPoints)}}}};
}

int TUDisks2Mock::Calls(const QString &path, const QString &method) const
{
    return int(FBus.MethodCalls(udisks2::Service, path, method).size());
}

QVariant TUDisks2Mock::MountPointsValue(const QStringList &points)
{
    QByteArrayList names;
    for (const QString &point : points)
        names << QFile::encodeName(point) + '\0';
    return QVariant::fromValue(names);
}

} // namespace trovalo::test
