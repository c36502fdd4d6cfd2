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
    QFile::remove(FCallLogFolder.filePath(QStringLiteral("calls")));
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

bool TUDisks2Mock::AddStick(const TMockStick &stick) const
{
    // Each method notes its object and name in the call log, one line a call.
    const auto logged = [&](const QString &method) {
        return QStringLiteral("open('%1', 'a').write(self.path + ' %2\\n')\n")
            .arg(FCallLogFolder.filePath(QStringLiteral("calls")), method);
    };
    const auto removalMethod = [&](const QString &method, const QString &code = {}) {
        return TMockMethod{method, QStringLiteral("a{sv}"), QString(), logged(method) + code};
    };
    const QVariantMap drive{{QStringLiteral("Removable"), true},
                            {QStringLiteral("ConnectionBus"), QStringLiteral("usb")},
                            {QStringLiteral("CanPowerOff"), stick.CanPowerOff}};
    const QString fileSystem = stick.Cleartext.isEmpty() ? stick.Block : stick.Cleartext;
    const QString unmount =
        stick.Busy ? QStringLiteral("raise dbus.exceptions.DBusException('Error unmounting: target is busy', "
                                    "name='org.freedesktop.UDisks2.Error.DeviceBusy')")
                   : QStringLiteral("self.Set('%1', 'MountPoints', dbus.Array([], signature='ay'))")
                         .arg(udisks2::FilesystemInterface);
    bool ok =
        Mock(udisks2::ManagerPath, QStringLiteral("AddObject"),
             {stick.Drive, udisks2::DriveInterface, drive,
              QVariant::fromValue(QList<TMockMethod>{removalMethod(QStringLiteral("PowerOff")),
                                                     removalMethod(QStringLiteral("Eject"))})}) &&
        AddFileSystem(fileSystem, stick.Cleartext.isEmpty() ? stick.Drive : QStringLiteral("/"),
                      {stick.MountPoint}) &&
        Mock(fileSystem, QStringLiteral("AddMethods"),
             {udisks2::FilesystemInterface,
              QVariant::fromValue(QList<TMockMethod>{removalMethod(QStringLiteral("Unmount"), unmount)})});
    if (!ok || stick.Cleartext.isEmpty())
        return ok;
    const QVariantMap backing{{QStringLiteral("Device"), QByteArray("/dev/sdb1\0", 10)},
                              {QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(stick.Drive))}};
    return Mock(udisks2::ManagerPath, QStringLiteral("AddObject"),
                {stick.Block, udisks2::BlockInterface, backing, QVariant::fromValue(QList<TMockMethod>())}) &&
           Mock(stick.Block, QStringLiteral("AddMethods"),
                {udisks2::EncryptedInterface,
                 QVariant::fromValue(QList<TMockMethod>{removalMethod(QStringLiteral("Lock"))})}) &&
           Mock(stick.Cleartext, QStringLiteral("AddProperty"),
                {udisks2::BlockInterface, QStringLiteral("CryptoBackingDevice"),
                 QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(stick.Block))))});
}

QStringList TUDisks2Mock::RemovalCalls() const
{
    QFile log(FCallLogFolder.filePath(QStringLiteral("calls")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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
