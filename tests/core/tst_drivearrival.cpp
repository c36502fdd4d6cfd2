#include "FuseImage.h"
#include "PrivateBus.h"
#include "ScopedEnv.h"
#include "TestDrives.h"
#include "UDisks2Mock.h"

#include "platform/DriveArrivalListener.h"
#include "platform/DriveChanges.h"
#include "platform/DriveTable.h"
#include "platform/DriveTableFileWatcher.h"
#include "platform/UDisks2Watcher.h"

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace trovalo;

namespace {

using TInterfaces = test::TUDisks2Mock::TInterfaces;
using test::TUDisks2Mock;

// Set in the copy of this program that startsWithoutSystemBus runs.
const char *const ChildVariable = "TROVALO_TEST_ARRIVAL_CHILD";

const QString ObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString DrivePath = QStringLiteral("/org/freedesktop/UDisks2/drives/Stick");
const QString BlockPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb1");
const QString OtherBlockPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdc1");

// "C:/t/c" -> {C, "/t/c"}; "E:/t/e@12" with the mount 12 at the root.
QList<TDriveState> States(const QString &text)
{
    QList<TDriveState> states;
    for (const QString &entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.mid(2).split(QLatin1Char('@'));
        states << TDriveState{entry.at(0), parts.at(0), parts.value(1)};
    }
    return states;
}

bool WriteFile(const QString &fileName, const QByteArray &content, bool byRename)
{
    const QString target = byRename ? fileName + QStringLiteral(".new") : fileName;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    if (!byRename)
        return true;
    return ::rename(QFile::encodeName(target).constData(), QFile::encodeName(fileName).constData()) == 0;
}

} // namespace

class TestDriveArrival : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TPrivateBus> FBus;
    std::unique_ptr<TUDisks2Mock> FUDisks2;

    bool StartUDisks2()
    {
        if (!FBus)
            return false;
        if (!FUDisks2)
            FUDisks2 = std::make_unique<TUDisks2Mock>(*FBus);
        return FUDisks2->Start();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qDBusRegisterMetaType<QByteArrayList>();
        // Before anything uses the system bus: the private bus stands in for it.
        if (!qEnvironmentVariableIsSet(ChildVariable) && test::TPrivateBus::Available()) {
            FBus = std::make_unique<test::TPrivateBus>();
            if (!FBus->Start())
                FBus.reset();
        }
    }

    void cleanup() { TDriveTable::Instance().Refresh(); }

    void compareDrives_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QStringList>("arrived");
        QTest::newRow("unchanged") << "C:/t/c E:/t/e"
                                   << "C:/t/c E:/t/e" << QStringList() << QStringList();
        QTest::newRow("arrival") << "C:/t/c E:/t/e"
                                 << "C:/t/c E:/t/e F:/t/stick" << QStringList() << QStringList{"F:\\"};
        QTest::newRow("two arrivals, in letter order")
            << "C:/t/c"
            << "H:/t/h C:/t/c F:/t/f" << QStringList() << QStringList{"F:\\", "H:\\"};
        QTest::newRow("removal") << "C:/t/c E:/t/e F:/t/stick"
                                 << "C:/t/c E:/t/e" << QStringList{"F:\\"} << QStringList();
        QTest::newRow("letter given to another root")
            << "C:/t/c F:/t/one"
            << "C:/t/c F:/t/two" << QStringList{"F:\\"} << QStringList{"F:\\"};
        QTest::newRow("C: ignored") << "E:/t/e"
                                    << "C:/t/c E:/t/e" << QStringList() << QStringList();
        QTest::newRow("C: moved, ignored") << "C:/ E:/t/e"
                                           << "C:/t/c E:/t/e" << QStringList() << QStringList();
        QTest::newRow("all gone") << "C:/t/c E:/t/e"
                                  << "" << QStringList{"E:\\"} << QStringList();
        QTest::newRow("root became a mount point")
            << "C:/t/c E:/t/e"
            << "C:/t/c E:/t/e@61" << QStringList() << QStringList{"E:\\"};
        QTest::newRow("mount at the root went") << "E:/t/e@61"
                                                << "E:/t/e" << QStringList{"E:\\"} << QStringList();
        QTest::newRow("another mount at the root")
            << "E:/t/e@61"
            << "E:/t/e@75" << QStringList{"E:\\"} << QStringList{"E:\\"};
        QTest::newRow("same mount") << "C:/@1 E:/t/e@61"
                                    << "C:/@1 E:/t/e@61" << QStringList() << QStringList();
        QTest::newRow("lower-case letter") << "C:/t/c"
                                           << "C:/t/c f:/t/f" << QStringList() << QStringList{"F:\\"};
    }
    void compareDrives()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QStringList, removed);
        QFETCH(QStringList, arrived);
        const TDriveChanges changes = CompareDrives(States(before), States(after));
        QCOMPARE(changes.Removed, removed);
        QCOMPARE(changes.Arrived, arrived);
        QCOMPARE(changes.IsEmpty(), removed.isEmpty() && arrived.isEmpty());
    }

    void driveStatesTakeTheMountAtTheRoot()
    {
        const QList<TDriveInfo> drives{{'C', "/", {}, {}, {}, {}, {}, {}},
                                       {'E', "/t/e", {}, {}, {}, {}, {}, {}},
                                       {'F', "/t/f", {}, {}, {}, {}, {}, {}}};
        const QList<TMountEntry> mounts =
            ParseMountInfo(QStringLiteral("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                          "61 1 0:40 / /t/e rw - fuse x rw\n"
                                          "62 1 0:41 / /t/e/sub rw - fuse y rw\n"
                                          "63 61 0:42 / /t/e rw - fuse z rw\n"));
        const QList<TDriveState> states = DriveStates(drives, mounts);
        QCOMPARE(states.size(), 3);
        QCOMPARE(states.at(0).Mount, QStringLiteral("1"));
        QCOMPARE(states.at(1).Mount, QStringLiteral("63")); // the later mount hides the earlier
        QVERIFY(states.at(2).Mount.isEmpty());
    }

    void udisks2MountPoints_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QStringList>("points");
        QTest::newRow("NUL-terminated")
            << TUDisks2Mock::MountPointsValue({"/media/ann/STICK"}) << QStringList{"/media/ann/STICK"};
        QTest::newRow("trailing slash, doubled slash")
            << QVariant::fromValue(QByteArrayList{QByteArray("/media//ann/STICK/\0", 19)})
            << QStringList{"/media/ann/STICK"};
        QTest::newRow("UTF-8 and blanks")
            << TUDisks2Mock::MountPointsValue({QString::fromUtf8("/media/ann/Clé USB")})
            << QStringList{QString::fromUtf8("/media/ann/Clé USB")};
        QTest::newRow("two") << TUDisks2Mock::MountPointsValue({"/a", "/b"}) << QStringList{"/a", "/b"};
        QTest::newRow("none") << TUDisks2Mock::MountPointsValue({}) << QStringList();
        QTest::newRow("relative or empty dropped")
            << QVariant::fromValue(QByteArrayList{QByteArray("x\0", 2), QByteArray("\0", 1)})
            << QStringList();
        QTest::newRow("inside a variant")
            << QVariant::fromValue(QDBusVariant(TUDisks2Mock::MountPointsValue({"/m"}))) << QStringList{"/m"};
        QTest::newRow("a list of byte arrays as variants")
            << QVariant(QVariantList{QByteArray("/v\0", 3)}) << QStringList{"/v"};
        QTest::newRow("wrong type") << QVariant(QStringLiteral("/media/x")) << QStringList();
    }
    void udisks2MountPoints()
    {
        QFETCH(QVariant, value);
        QFETCH(QStringList, points);
        QCOMPARE(UDisks2MountPoints(value), points);
    }

    // TROVALO_DRIVES="@file": a line added to the file is a stick plugged in.
    void driveTableFile_data()
    {
        QTest::addColumn<bool>("byRename");
        QTest::newRow("replaced by a rename") << true;
        QTest::newRow("rewritten in place") << false;
    }
    void driveTableFile()
    {
        QFETCH(bool, byRename);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("drives"));
        const QString stick = dir.filePath(QStringLiteral("media/stick"));
        QVERIFY(QDir().mkpath(stick));
        const QByteArray fixed = "# the computer\nC=" + QFile::encodeName(dir.filePath("c")) +
                                 "\nE=" + QFile::encodeName(dir.filePath("e")) + ",bus=USB\n";
        const QByteArray plugged = fixed + "F=" + QFile::encodeName(stick) + ",bus=USB,label=STICK\n";
        QVERIFY(WriteFile(file, fixed, byRename));
        test::TScopedEnv drives("TROVALO_DRIVES", "@" + file);

        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QCOMPARE(listener.Source(), TDriveArrivalListener::TSource::DriveTableFile);
        QCOMPARE(listener.SourceDescription(), "drive table file " + file);
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QSignalSpy removed(&listener, &TDriveArrivalListener::DriveRemoved);
        QString nativeAtArrival;
        connect(&listener, &TDriveArrivalListener::DriveArrived, this,
                [&](const QString &root) { nativeAtArrival = ToNativePath(root).value_or(QString()); });

        QVERIFY(WriteFile(file, plugged, byRename));
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toString(), QStringLiteral("F:\\"));
        QCOMPARE(nativeAtArrival, stick); // the table was refreshed before the report
        QCOMPARE(TDriveTable::Instance().Drive('F')->Label, QStringLiteral("STICK"));

        // The same text again: nothing new. The removal after it is the
        // barrier: by then the rewrite has been read.
        QVERIFY(WriteFile(file, plugged, byRename));
        QTest::qWait(3 * TDriveTableFileWatcher::DebounceMs);
        QVERIFY(WriteFile(file, fixed, byRename));
        QTRY_COMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("F:\\"));
        QCOMPARE(arrived.count(), 1);
        QVERIFY(!TDriveTable::Instance().Drive('F'));

        QVERIFY(WriteFile(file, fixed, byRename));
        QTest::qWait(3 * TDriveTableFileWatcher::DebounceMs);
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(removed.count(), 1);
    }

    // No UDisks2 and no drive-table file: the mount table.
    void mountInfoWithoutUDisks2()
    {
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock, so the real system bus is not asked");
        if (FBus->HasOwner(udisks2::Service))
            QSKIP("the UDisks2 mock of a later test holds its name (run the suite in its order)");
        test::TTestDrives drives;
        TDriveArrivalListener listener;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(listener.Start());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(listener.Source(), TDriveArrivalListener::TSource::MountInfo);
        QCOMPARE(listener.SourceDescription(), QStringLiteral("/proc/self/mountinfo"));
    }

    // A real mount (a FAT image through FUSE) on the folder of a drive letter
    // wakes the listener through /proc/self/mountinfo.
    void mountInfoSeesRealMount()
    {
        if (FBus && FBus->HasOwner(udisks2::Service))
            QSKIP("the UDisks2 mock of a later test holds its name (run the suite in its order)");
        test::TTestDrives drives({{'C', QString()}, {'E', QStringLiteral("bus=USB")}});
        const QString elsewhere = drives.Base() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(elsewhere));
        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        if (listener.Source() != TDriveArrivalListener::TSource::MountInfo)
            QSKIP("the system bus has UDisks2, so the mount table is not watched");
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QSignalSpy removed(&listener, &TDriveArrivalListener::DriveRemoved);
        {
            // A mount on a folder that no letter names is no arrival.
            test::TFuseImage other(test::TStickFileSystem::Fat32, elsewhere);
            if (!other.Unavailable().isEmpty())
                QSKIP(qPrintable("FUSE: " + other.Unavailable()));
            test::TFuseImage stick(test::TStickFileSystem::Fat32, drives.NativeRoot('E'));
            QVERIFY2(stick.Unavailable().isEmpty(), qPrintable(stick.Unavailable()));
            QTRY_COMPARE(arrived.count(), 1);
            QCOMPARE(arrived.at(0).at(0).toString(), QStringLiteral("E:\\"));
            QCOMPARE(removed.count(), 0);
        }
        QTRY_COMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("E:\\"));
        QCOMPARE(arrived.count(), 1);
    }

    // Start() with no system bus at the address returns at once and falls
    // back to the mount table (in a copy of this program: a process keeps
    // the system bus it first connected to).
    void startsWithoutSystemBus_data()
    {
        QTest::addColumn<QString>("address"); // "<dir>" is a temporary folder
        QTest::newRow("no socket file") << "unix:path=<dir>/no-such-socket";
        QTest::newRow("a file that is no socket") << "unix:path=<dir>/plain-file";
        QTest::newRow("malformed address") << "nonsense";
    }
    void startsWithoutSystemBus()
    {
        QFETCH(QString, address);
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("plain-file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        test::TTestDrives drives;
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(ChildVariable), QStringLiteral("1"));
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                           QString(address).replace(QStringLiteral("<dir>"), dir.path()));
        child.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(20000));
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(child.exitCode() == 0, qPrintable(output + child.readAllStandardError()));
        QVERIFY2(output.contains(QStringLiteral("source=/proc/self/mountinfo")), qPrintable(output));
        const int startMs = output.section(QStringLiteral("start-ms="), 1).trimmed().toInt();
        QVERIFY2(startMs < 1000, qPrintable(output));
    }

    void udisks2Arrival()
    {
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)");
        QVERIFY(StartUDisks2());
        test::TTestDrives drives({{'C', QString()}});
        const QString stick = drives.Base() + QStringLiteral("/media/stick");
        drives.AddDrive('E', stick, QStringLiteral("bus=USB"));
        const QString elsewhere = drives.Base() + QStringLiteral("/media/other");
        QVERIFY(FUDisks2->AddDrive(DrivePath, true, QStringLiteral("usb")));
        QVERIFY(FUDisks2->AddFileSystem(BlockPath, DrivePath, {}));
        QVERIFY(FUDisks2->AddFileSystem(OtherBlockPath, DrivePath, {}));

        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QCOMPARE(listener.Source(), TDriveArrivalListener::TSource::UDisks2);
        QCOMPARE(listener.SourceDescription(), QStringLiteral("UDisks2"));
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QSignalSpy removed(&listener, &TDriveArrivalListener::DriveRemoved);
        QSignalSpy unmounted(&listener, &TDriveArrivalListener::UnmountedFileSystemAppeared);
        bool knownAtArrival = false;
        connect(&listener, &TDriveArrivalListener::DriveArrived, this,
                [&] { knownAtArrival = ToNativePath(QStringLiteral("E:\\")) == stick; });

        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {stick + "/"}));
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toString(), QStringLiteral("E:\\"));
        QVERIFY(knownAtArrival);

        // The same mount point again, and a mount that no letter stands for:
        // nothing. Signals of one sender come in order, so once the unmount
        // after them is reported, they have been seen.
        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {stick}));
        QVERIFY(FUDisks2->SetMountPoints(OtherBlockPath, {elsewhere}));
        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {}));
        QTRY_COMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("E:\\"));
        QCOMPARE(arrived.count(), 1);

        // Unmounted twice is reported once; mounted again is a new arrival;
        // the object going away is a removal.
        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {}));
        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {stick}));
        QTRY_COMPARE(arrived.count(), 2);
        QCOMPARE(removed.count(), 1);
        QVERIFY(FUDisks2->Mock(udisks2::ManagerPath, QStringLiteral("EmitSignal"),
                               {ObjectManager, QStringLiteral("InterfacesRemoved"), QStringLiteral("oas"),
                                QVariant::fromValue(QVariantList{
                                    QVariant::fromValue(QDBusObjectPath(BlockPath)),
                                    QStringList{udisks2::BlockInterface, udisks2::FilesystemInterface}})}));
        QTRY_COMPARE(removed.count(), 2);
        QCOMPARE(arrived.count(), 2);
        QCOMPARE(unmounted.count(), 0); // nothing appeared
    }

    void udisks2MountedAtStartIsNoArrival()
    {
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)");
        QVERIFY(StartUDisks2());
        test::TTestDrives drives({{'C', QString()}});
        const QString stick = drives.Base() + QStringLiteral("/media/stick");
        drives.AddDrive('E', stick, QStringLiteral("bus=USB"));
        QVERIFY(FUDisks2->AddDrive(DrivePath, true, QStringLiteral("usb")));
        QVERIFY(FUDisks2->AddFileSystem(BlockPath, DrivePath, {stick}));

        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QSignalSpy removed(&listener, &TDriveArrivalListener::DriveRemoved);
        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {stick})); // no change
        QVERIFY(FUDisks2->SetMountPoints(BlockPath, {}));
        QTRY_COMPARE(removed.count(), 1); // a drive that was there goes
        QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("E:\\"));
        QCOMPARE(arrived.count(), 0);
    }

    // A file system that appears unmounted (InterfacesAdded) on a stick.
    void udisks2UnmountedFileSystem_data()
    {
        QTest::addColumn<bool>("removable");
        QTest::addColumn<QString>("bus");
        QTest::addColumn<bool>("hintIgnore");
        QTest::addColumn<bool>("driveKnown"); // else added without InterfacesAdded, read on demand
        QTest::addColumn<bool>("reported");
        QTest::newRow("removable") << true << "" << false << true << true;
        QTest::newRow("USB, not removable") << false << "usb" << false << true << true;
        QTest::newRow("drive read on demand") << true << "usb" << false << false << true;
        QTest::newRow("internal disk") << false << "" << false << true << false;
        QTest::newRow("UDisks2 says ignore it") << true << "usb" << true << true << false;
    }
    void udisks2UnmountedFileSystem()
    {
        QFETCH(bool, removable);
        QFETCH(QString, bus);
        QFETCH(bool, hintIgnore);
        QFETCH(bool, driveKnown);
        QFETCH(bool, reported);
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)");
        QVERIFY(StartUDisks2());
        test::TTestDrives drives;
        const QString candidateDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/Candidate");
        QVERIFY(FUDisks2->AddDrive(DrivePath, true, QStringLiteral("usb")));
        if (driveKnown)
            QVERIFY(FUDisks2->AddDrive(candidateDrive, removable, bus));
        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QSignalSpy unmounted(&listener, &TDriveArrivalListener::UnmountedFileSystemAppeared);
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        if (!driveKnown)
            QVERIFY(FUDisks2->AddDrive(candidateDrive, removable, bus));
        QVERIFY(FUDisks2->AppearFileSystem(OtherBlockPath, candidateDrive, {}, hintIgnore));
        if (reported) {
            QTRY_COMPARE(unmounted.count(), 1);
            QCOMPARE(unmounted.at(0).at(0).toString(), OtherBlockPath);
            return;
        }
        // A stick after it, as the barrier.
        QVERIFY(FUDisks2->AppearFileSystem(BlockPath, DrivePath, {}));
        QTRY_COMPARE(unmounted.count(), 1);
        QCOMPARE(unmounted.at(0).at(0).toString(), BlockPath);
        QCOMPARE(arrived.count(), 0);
    }

    void udisks2FileSystemAppearingMounted()
    {
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)");
        QVERIFY(StartUDisks2());
        test::TTestDrives drives({{'C', QString()}});
        const QString stick = drives.Base() + QStringLiteral("/media/stick");
        drives.AddDrive('F', stick, QStringLiteral("bus=USB"));
        QVERIFY(FUDisks2->AddDrive(DrivePath, true, QStringLiteral("usb")));
        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QSignalSpy unmounted(&listener, &TDriveArrivalListener::UnmountedFileSystemAppeared);
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QVERIFY(FUDisks2->AppearFileSystem(BlockPath, DrivePath, {stick}));
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toString(), QStringLiteral("F:\\"));
        QCOMPARE(unmounted.count(), 0);
    }

    // UDisks2 going and coming back (an upgrade): what was mounted or
    // unmounted meanwhile, without signals, is reported when it is back.
    void udisks2Restarted()
    {
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)");
        QVERIFY(StartUDisks2());
        test::TTestDrives drives({{'C', QString()}});
        const QString first = drives.Base() + QStringLiteral("/media/first");
        const QString second = drives.Base() + QStringLiteral("/media/second");
        drives.AddDrive('E', first, QStringLiteral("bus=USB"));
        drives.AddDrive('F', second, QStringLiteral("bus=USB"));
        QVERIFY(FUDisks2->AddDrive(DrivePath, true, QStringLiteral("usb")));
        QVERIFY(FUDisks2->AddFileSystem(BlockPath, DrivePath, {first}));
        QVERIFY(FUDisks2->Mock(udisks2::ManagerPath, QStringLiteral("AddMethod"),
                               {QString(), QStringLiteral("Restart"), QString(), QString(),
                                QStringLiteral("self.connection.release_name('%1')\n"
                                               "self.connection.request_name('%1')")
                                    .arg(udisks2::Service)}));
        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QSignalSpy removed(&listener, &TDriveArrivalListener::DriveRemoved);
        // Meanwhile (no signals): the first stick went, the second came.
        QVERIFY(FUDisks2->Mock(udisks2::ManagerPath, QStringLiteral("RemoveObject"), {BlockPath}));
        QVERIFY(FUDisks2->AddFileSystem(OtherBlockPath, DrivePath, {second}));
        QVERIFY(
            FBus->CallOk(udisks2::Service, udisks2::ManagerPath, ObjectManager, QStringLiteral("Restart")));
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toString(), QStringLiteral("F:\\"));
        QTRY_COMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("E:\\"));
    }

    // What the headless service does with an unmounted stick.
    void udisks2MountAndUnmount()
    {
        if (!FBus)
            QSKIP("needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh installs them)");
        QVERIFY(StartUDisks2());
        test::TTestDrives drives({{'C', QString()}});
        const QString stick = drives.Base() + QStringLiteral("/media/stick");
        drives.AddDrive('E', stick, QStringLiteral("bus=USB"));
        QVERIFY(FUDisks2->AddDrive(DrivePath, true, QStringLiteral("usb")));
        QVERIFY(FUDisks2->AddFileSystem(BlockPath, DrivePath, {}));
        // Like UDisks2: Mount sets MountPoints (PropertiesChanged) and
        // returns the mount point; Unmount empties them.
        QVERIFY(FUDisks2->AddMountMethods(BlockPath, stick));

        TDriveArrivalListener listener;
        QVERIFY(listener.Start());
        QSignalSpy arrived(&listener, &TDriveArrivalListener::DriveArrived);
        QSignalSpy removed(&listener, &TDriveArrivalListener::DriveRemoved);
        QString error;
        QCOMPARE(UDisks2Mount(BlockPath, &error).value_or(error), stick);
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toString(), QStringLiteral("E:\\"));
        QVERIFY2(UDisks2Unmount(BlockPath, &error), qPrintable(error));
        QTRY_COMPARE(removed.count(), 1);

        const QString missing = QStringLiteral("/org/freedesktop/UDisks2/block_devices/none");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("block_devices/none cannot be mounted"));
        QVERIFY(!UDisks2Mount(missing, &error));
        QVERIFY(!error.isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("block_devices/none cannot be unmounted"));
        error.clear();
        QVERIFY(!UDisks2Unmount(missing, &error));
        QVERIFY(!error.isEmpty());
    }
};

// The copy of this program that startsWithoutSystemBus runs: one Start()
// with DBUS_SYSTEM_BUS_ADDRESS leading nowhere.
static int StartWithoutSystemBus(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    TDriveArrivalListener listener;
    QElapsedTimer clock;
    clock.start();
    const bool started = listener.Start();
    const qint64 elapsed = clock.elapsed();
    QTextStream(stdout) << "source=" << listener.SourceDescription() << " start-ms=" << elapsed << "\n";
    return started ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(ChildVariable))
        return StartWithoutSystemBus(argc, argv);
    QCoreApplication application(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    TestDriveArrival test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_drivearrival.moc"
