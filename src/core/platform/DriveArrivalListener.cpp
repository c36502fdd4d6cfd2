#include "DriveArrivalListener.h"

#include "DriveChanges.h"
#include "DriveOverride.h"
#include "DriveTable.h"
#include "DriveTableFileWatcher.h"
#include "MountInfoWatcher.h"
#include "UDisks2Watcher.h"
#include "base/Logging.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QHash>
#include <QPointer>

#include <algorithm>

namespace trovalo {

namespace {
const QString MountInfoFile = QStringLiteral("/proc/self/mountinfo");
// Mount may wait for a file system check.
constexpr int MountTimeoutMs = 60000;

std::optional<TDriveInfo> DriveAtMountPoint(const QStringList &mountPoints)
{
    const QList<TDriveInfo> drives = TDriveTable::Instance().Drives();
    for (const QString &point : mountPoints)
        for (const TDriveInfo &drive : drives)
            if (drive.Root == point && drive.Letter != QLatin1Char('C'))
                return drive;
    return std::nullopt;
}

QString NativeRootText(const QString &driveRoot)
{
    const std::optional<TDriveInfo> drive = TDriveTable::Instance().Drive(driveRoot.at(0));
    return drive ? QStringLiteral(" (%1)").arg(drive->Root) : QString();
}
} // namespace

struct TDriveArrivalListener::TPrivate
{
    TDriveArrivalListener *Q;
    TSource Source = TSource::None;
    QString FileName;
    std::unique_ptr<TDriveTableFileWatcher> FileWatcher;
    std::unique_ptr<TUDisks2Watcher> UDisks2;
    std::unique_ptr<TMountInfoWatcher> MountInfo;
    // The drive table file and the mount table: the drives as last seen.
    QList<TDriveState> Known;
    // UDisks2: object path -> drive root it stands for, once reported (or
    // mounted already at the start).
    QHash<QString, QString> Reported;

    explicit TPrivate(TDriveArrivalListener *q)
        : Q(q)
    {}

    bool StartDriveTableFile(const QString &fileName)
    {
        if (!fileName.startsWith(QLatin1Char('/'))) {
            qCWarning(LogDrives).noquote()
                << QStringLiteral("No drive arrivals: TROVALO_DRIVES names the drive-table file \"%1\", "
                                  "which is not an absolute path")
                       .arg(fileName);
            return false;
        }
        auto watcher = std::make_unique<TDriveTableFileWatcher>(fileName);
        if (!watcher->Start()) {
            qCWarning(LogDrives).noquote()
                << QStringLiteral("No drive arrivals: the drive-table file %1 cannot be watched")
                       .arg(fileName);
            return false;
        }
        QObject::connect(watcher.get(), &TDriveTableFileWatcher::Changed, Q, [this] {
            TDriveTable::Instance().Refresh();
            Compare(DriveStates(TDriveTable::Instance().Drives()));
        });
        TDriveTable::Instance().Refresh();
        Known = DriveStates(TDriveTable::Instance().Drives());
        FileWatcher = std::move(watcher);
        FileName = fileName;
        Source = TSource::DriveTableFile;
        return true;
    }

    bool StartUDisks2()
    {
        // With no bus at the address (no socket file, nothing listening)
        // the connection fails at once.
        const QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            qCInfo(LogDrives).noquote() << QStringLiteral("UDisks2 is not used: there is no system bus (%1)")
                                               .arg(bus.lastError().message());
            return false;
        }
        QString why;
        if (!TUDisks2Watcher::ServiceAvailable(bus, &why)) {
            qCInfo(LogDrives).noquote() << QStringLiteral("UDisks2 is not used: ") + why;
            return false;
        }
        auto watcher = std::make_unique<TUDisks2Watcher>(bus);
        QObject::connect(watcher.get(), &TUDisks2Watcher::Mounted, Q,
                         [this](const QString &path, const QStringList &points) { Mounted(path, points); });
        QObject::connect(watcher.get(), &TUDisks2Watcher::Unmounted, Q,
                         [this](const QString &path) { Unmounted(path); });
        QObject::connect(
            watcher.get(), &TUDisks2Watcher::UnmountedFileSystemAppeared, Q, [this](const QString &path) {
                qCInfo(LogDrives).noquote()
                    << QStringLiteral("A file system that nobody mounted appeared: %1").arg(path);
                emit Q->UnmountedFileSystemAppeared(path);
            });
        if (!watcher->Start(&why)) {
            qCWarning(LogDrives).noquote() << QStringLiteral("UDisks2 is not used: ") + why;
            return false;
        }
        TDriveTable::Instance().Refresh();
        const QMap<QString, QStringList> mounted = watcher->MountedFileSystems();
        for (auto it = mounted.cbegin(); it != mounted.cend(); ++it)
            if (const std::optional<TDriveInfo> drive = DriveAtMountPoint(*it))
                Reported.insert(it.key(), drive->LetterRoot());
        UDisks2 = std::move(watcher);
        Source = TSource::UDisks2;
        return true;
    }

    bool StartMountInfo()
    {
        auto watcher = std::make_unique<TMountInfoWatcher>(MountInfoFile);
        QString error;
        if (!watcher->Start(&error)) {
            qCWarning(LogDrives).noquote() << QStringLiteral("No drive arrivals: ") + error;
            return false;
        }
        QObject::connect(watcher.get(), &TMountInfoWatcher::Changed, Q, [this](const QString &text) {
            TDriveTable::Instance().Refresh();
            Compare(DriveStates(TDriveTable::Instance().Drives(), ParseMountInfo(text)));
        });
        TDriveTable::Instance().Refresh();
        Known = DriveStates(TDriveTable::Instance().Drives(), ParseMountInfo(watcher->Text()));
        MountInfo = std::move(watcher);
        Source = TSource::MountInfo;
        return true;
    }

    // The drive table file and the mount table: the table refreshed, the
    // letters compared with the ones seen last.
    void Compare(const QList<TDriveState> &now)
    {
        const TDriveChanges changes = CompareDrives(Known, now);
        Known = now;
        // A slot may stop or delete the listener.
        const QPointer<TDriveArrivalListener> alive(Q);
        for (const QString &root : changes.Removed) {
            if (!alive)
                return;
            qCInfo(LogDrives).noquote() << QStringLiteral("Drive removed: %1").arg(root);
            emit Q->DriveRemoved(root);
        }
        for (const QString &root : changes.Arrived) {
            if (!alive)
                return;
            qCInfo(LogDrives).noquote()
                << QStringLiteral("Drive arrived: %1%2").arg(root, NativeRootText(root));
            emit Q->DriveArrived(root);
        }
    }

    void Mounted(const QString &path, const QStringList &points)
    {
        if (Reported.contains(path))
            return;
        TDriveTable::Instance().Refresh();
        const std::optional<TDriveInfo> drive = DriveAtMountPoint(points);
        if (!drive) {
            qCDebug(LogDrives).noquote()
                << QStringLiteral("%1 was mounted at %2, which no drive letter stands for")
                       .arg(path, points.join(QStringLiteral(", ")));
            return;
        }
        const QString root = drive->LetterRoot();
        if (std::find(Reported.cbegin(), Reported.cend(), root) != Reported.cend())
            return; // reported already, for another object at the same folder
        Reported.insert(path, root);
        qCInfo(LogDrives).noquote()
            << QStringLiteral("Drive arrived: %1 (%2, %3)").arg(root, drive->Root, path);
        emit Q->DriveArrived(root);
    }

    void Unmounted(const QString &path)
    {
        const QString root = Reported.take(path);
        if (root.isEmpty())
            return;
        TDriveTable::Instance().Refresh();
        qCInfo(LogDrives).noquote() << QStringLiteral("Drive removed: %1 (%2)").arg(root, path);
        emit Q->DriveRemoved(root);
    }
};

TDriveArrivalListener::TDriveArrivalListener(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<TPrivate>(this))
{}

TDriveArrivalListener::~TDriveArrivalListener() = default;

bool TDriveArrivalListener::Start()
{
    Stop();
    const QString fileName = DriveOverrideFileName(qEnvironmentVariable("TROVALO_DRIVES"));
    const bool started =
        !fileName.isEmpty() ? d->StartDriveTableFile(fileName) : (d->StartUDisks2() || d->StartMountInfo());
    if (started)
        qCInfo(LogDrives).noquote() << QStringLiteral("Drive arrivals come from ") + SourceDescription();
    return started;
}

void TDriveArrivalListener::Stop()
{
    d->FileWatcher.reset();
    d->UDisks2.reset();
    d->MountInfo.reset();
    d->Known.clear();
    d->Reported.clear();
    d->FileName.clear();
    d->Source = TSource::None;
}

TDriveArrivalListener::TSource TDriveArrivalListener::Source() const
{
    return d->Source;
}

QString TDriveArrivalListener::SourceDescription() const
{
    switch (d->Source) {
    case TSource::DriveTableFile:
        return QStringLiteral("drive table file ") + d->FileName;
    case TSource::UDisks2:
        return QStringLiteral("UDisks2");
    case TSource::MountInfo:
        return MountInfoFile;
    case TSource::None:
        break;
    }
    return QStringLiteral("none");
}

std::optional<QString> UDisks2Mount(const QString &objectPath, QString *error)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    QString failure;
    std::optional<QString> mountPoint;
    if (!bus.isConnected()) {
        failure = QStringLiteral("there is no system bus: ") + bus.lastError().message();
    } else {
        const QDBusMessage reply = CallUDisks2(bus, objectPath, udisks2::FilesystemInterface,
                                               QStringLiteral("Mount"), MountTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            failure = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
        else if (reply.signature() != QLatin1String("s") || reply.arguments().at(0).toString().isEmpty())
            failure = QStringLiteral("UDisks2 named no mount point");
        else
            mountPoint = reply.arguments().at(0).toString();
    }
    if (!mountPoint) {
        qCWarning(LogDrives).noquote() << QStringLiteral("%1 cannot be mounted: %2").arg(objectPath, failure);
        if (error)
            *error = failure;
        return std::nullopt;
    }
    qCInfo(LogDrives).noquote() << QStringLiteral("%1 mounted at %2").arg(objectPath, *mountPoint);
    TDriveTable::Instance().Refresh();
    return mountPoint;
}

bool UDisks2Unmount(const QString &objectPath, QString *error)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    QString failure;
    if (!bus.isConnected()) {
        failure = QStringLiteral("there is no system bus: ") + bus.lastError().message();
    } else {
        const QDBusMessage reply = CallUDisks2(bus, objectPath, udisks2::FilesystemInterface,
                                               QStringLiteral("Unmount"), udisks2::UnmountTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            failure = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    }
    if (!failure.isEmpty()) {
        qCWarning(LogDrives).noquote()
            << QStringLiteral("%1 cannot be unmounted: %2").arg(objectPath, failure);
        if (error)
            *error = failure;
        return false;
    }
    qCInfo(LogDrives).noquote() << QStringLiteral("%1 unmounted").arg(objectPath);
    TDriveTable::Instance().Refresh();
    return true;
}

} // namespace trovalo
