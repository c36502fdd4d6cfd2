#include "DriveRemoval.h"

#include "DBusCall.h"
#include "DriveTable.h"
#include "FileOperations.h"
#include "JobRunLock.h"
#include "OpenFileHolders.h"
#include "base/Logging.h"
#include "base/PathText.h"

#include <QCoreApplication>
#include <QDBusError>

#include <algorithm>

namespace trovalo {

namespace {

const QString DeviceBusyError = QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy");
// Locking and powering off wait for the drive as an unmount does.
constexpr int DriveCallTimeoutMs = udisks2::UnmountTimeoutMs;

bool IsNone(const QString &objectPath)
{
    return objectPath.isEmpty() || objectPath == QLatin1String("/");
}

// The drive of a block device; a cleartext device has none of its own and
// lies on the drive of the device it unlocks.
QString DriveOf(const QHash<QString, TUDisks2Object> &objects, const QString &block)
{
    QString path = block;
    for (int depth = 0; depth < 4 && objects.contains(path); ++depth) {
        const TUDisks2Object &object = objects[path];
        if (!IsNone(object.DrivePath))
            return object.DrivePath;
        path = object.CryptoBackingDevice;
    }
    return {};
}

// Logged as information: the caller shows the text to the user anyway.
TRemovalResult Result(TRemovalError error, const QString &driveRoot, const QString &text)
{
    qCInfo(LogDrives).noquote() << text;
    return TRemovalResult{error, text, driveRoot, false};
}

QString ReplyError(const QDBusMessage &reply)
{
    return QStringLiteral("%1 (%2)").arg(reply.errorMessage(), reply.errorName());
}

// UDisks2's objects now, as the watcher keeps them; nullopt and the reason.
std::optional<QHash<QString, TUDisks2Object>> ReadUDisks2Objects(const QDBusConnection &bus, QString *error)
{
    if (!bus.isConnected()) {
        Fail(error, QStringLiteral("there is no system bus (%1)").arg(bus.lastError().message()));
        return std::nullopt;
    }
    const std::optional<QDBusMessage> reply =
        CallDBus(bus,
                 DBusMethodCall(udisks2::Service, udisks2::ManagerPath, udisks2::ObjectManagerInterface,
                                QStringLiteral("GetManagedObjects")),
                 error, udisks2::StartTimeoutMs);
    if (!reply)
        return std::nullopt;
    std::optional<QHash<QString, TUDisks2Object>> objects = ManagedObjectsOf(*reply);
    if (!objects)
        Fail(error, QStringLiteral("UDisks2 answered GetManagedObjects with \"%1\"").arg(reply->signature()));
    return objects;
}

// The unmount was refused because files are open: the text names who holds them.
TRemovalResult BusyResult(const QString &driveRoot, const QStringList &mountPoints)
{
    QList<TFileHolder> holders;
    for (const QString &point : mountPoints)
        holders << ProcessesHoldingFilesUnder(point);
    const QString drive = WithNative(driveRoot);
    if (holders.isEmpty())
        return Result(
            TRemovalError::Busy, driveRoot,
            QStringLiteral("The drive %1 is in use and cannot be removed now: a program Trovalo cannot "
                           "look into (of another user, or of the system) holds files open on it.")
                .arg(drive));
    return Result(TRemovalError::Busy, driveRoot,
                  QStringLiteral("The drive %1 is in use and cannot be removed now. Close the files these "
                                 "programs hold open on it, then try again: %2.")
                      .arg(drive, FileHoldersText(holders)));
}

} // namespace

std::optional<TRemovalPlan> PlanDriveRemoval(const QHash<QString, TUDisks2Object> &objects,
                                             const QString &nativeRoot)
{
    QString atRoot;
    for (auto it = objects.cbegin(); it != objects.cend() && atRoot.isEmpty(); ++it)
        if (it->IsMounted() && it->MountPoints.contains(nativeRoot))
            atRoot = it.key();
    if (atRoot.isEmpty())
        return std::nullopt;
    TRemovalPlan plan;
    plan.Drive = DriveOf(objects, atRoot);
    if (plan.Drive.isEmpty()) {
        plan.FileSystems << atRoot;
    } else {
        for (auto it = objects.cbegin(); it != objects.cend(); ++it)
            if (it->IsMounted() && DriveOf(objects, it.key()) == plan.Drive)
                plan.FileSystems << it.key();
        plan.CanPowerOff = objects.value(plan.Drive).CanPowerOff;
    }
    std::sort(plan.FileSystems.begin(), plan.FileSystems.end());
    for (const QString &fileSystem : plan.FileSystems) {
        const QString backing = objects.value(fileSystem).CryptoBackingDevice;
        if (!IsNone(backing))
            plan.LockAfter.insert(fileSystem, backing);
    }
    return plan;
}

std::optional<TRemovalResult> RemovalRefusedForJobs(const QString &driveRoot)
{
    const QList<TJobRun> runs = TJobRunLock::RunningJobsOfDrive(driveRoot);
    if (runs.isEmpty())
        return std::nullopt;
    QStringList jobs;
    for (const TJobRun &run : runs)
        jobs << QStringLiteral("%1 (process %2)").arg(run.JobFile, QString::number(run.ProcessId));
    return Result(
        TRemovalError::JobRunning, driveRoot,
        QStringLiteral("The drive %1 cannot be removed while a job of it runs: %2. Wait until it has "
                       "ended, or cancel it, then try again.")
            .arg(WithNative(driveRoot), jobs.join(QStringLiteral(", "))));
}

namespace {

// Why the drive may not be unmounted now; nullopt when nothing stands in
// the way on this side of UDisks2.
std::optional<TRemovalResult> RefusalBeforeUnmount(const TDriveInfo &info)
{
    const QString root = info.LetterRoot();
    if (info.Letter == QLatin1Char('C') || info.Root == QLatin1String("/"))
        return Result(
            TRemovalError::UnknownDrive, root,
            QStringLiteral("%1 is the computer's own drive and cannot be removed.").arg(WithNative(root)));
    if (std::optional<TRemovalResult> refused = RemovalRefusedForJobs(root))
        return refused;
    const QList<TFileHolder> own = ProcessesHoldingFilesUnder(info.Root, QCoreApplication::applicationPid());
    if (!own.isEmpty())
        return Result(TRemovalError::OwnFilesOpen, root,
                      QStringLiteral("The drive %1 cannot be removed: Trovalo itself still has files open on "
                                     "it (%2).")
                          .arg(WithNative(root), own.first().Paths.join(QStringLiteral(", "))));
    return std::nullopt;
}

// Unmounts the plan's file systems, each encrypted one locked after; the
// failure, or nullopt when every one is off the drive.
std::optional<TRemovalResult> UnmountFileSystems(const QDBusConnection &bus, const TRemovalPlan &plan,
                                                 const QHash<QString, TUDisks2Object> &objects,
                                                 const QString &root)
{
    const QString drive = WithNative(root);
    for (const QString &fileSystem : plan.FileSystems) {
        const QStringList mountPoints = objects.value(fileSystem).MountPoints;
        const QDBusMessage unmounted = CallUDisks2(bus, fileSystem, udisks2::FilesystemInterface,
                                                   QStringLiteral("Unmount"), udisks2::UnmountTimeoutMs);
        if (unmounted.type() == QDBusMessage::ErrorMessage &&
            (unmounted.errorName() == DeviceBusyError ||
             unmounted.errorMessage().contains(QLatin1String("target is busy"), Qt::CaseInsensitive)))
            return BusyResult(root, mountPoints);
        if (unmounted.type() != QDBusMessage::ReplyMessage)
            return Result(TRemovalError::Failed, root,
                          QStringLiteral("The drive %1 cannot be removed: %2 was not unmounted: %3")
                              .arg(drive, mountPoints.join(QStringLiteral(", ")), ReplyError(unmounted)));
        qCInfo(LogDrives).noquote()
            << QStringLiteral("%1 unmounted from %2").arg(fileSystem, mountPoints.join(QStringLiteral(", ")));
        if (!plan.LockAfter.contains(fileSystem))
            continue;
        const QDBusMessage locked =
            CallUDisks2(bus, plan.LockAfter.value(fileSystem), udisks2::EncryptedInterface,
                        QStringLiteral("Lock"), DriveCallTimeoutMs);
        if (locked.type() != QDBusMessage::ReplyMessage)
            return Result(TRemovalError::Failed, root,
                          QStringLiteral("The drive %1 was unmounted, but its encrypted volume could not be "
                                         "locked: %2")
                              .arg(drive, ReplyError(locked)));
    }
    return std::nullopt;
}

// Switches the drive off, or ejects it when it cannot be switched off; a
// refusal is only logged, since its file systems are off it already.
bool SwitchOffDrive(const QDBusConnection &bus, const TRemovalPlan &plan)
{
    const QString method = plan.CanPowerOff ? QStringLiteral("PowerOff") : QStringLiteral("Eject");
    const QDBusMessage off =
        CallUDisks2(bus, plan.Drive, udisks2::DriveInterface, method, DriveCallTimeoutMs);
    if (off.type() == QDBusMessage::ReplyMessage)
        return plan.CanPowerOff;
    qCWarning(LogDrives).noquote() << QStringLiteral("%1 of %2 failed (its file systems are unmounted): %3")
                                          .arg(method, plan.Drive, ReplyError(off));
    return false;
}

} // namespace

TRemovalResult SafelyRemoveDrive(const QString &driveRoot, const QDBusConnection &bus)
{
    const QString letter = ExtractFileDrive(driveRoot);
    const std::optional<TDriveInfo> info =
        letter.size() == 2 ? TDriveTable::Instance().Drive(letter.at(0)) : std::nullopt;
    if (!info)
        return Result(TRemovalError::UnknownDrive, driveRoot,
                      QStringLiteral("There is no drive %1 to remove.").arg(driveRoot));
    if (std::optional<TRemovalResult> refused = RefusalBeforeUnmount(*info))
        return *refused;
    const QString root = info->LetterRoot();
    const QString drive = WithNative(root);

    QString error;
    const std::optional<QHash<QString, TUDisks2Object>> objects = ReadUDisks2Objects(bus, &error);
    if (!objects)
        return Result(TRemovalError::NoUDisks2, root,
                      QStringLiteral("The drive %1 cannot be removed: UDisks2 cannot be asked (%2).")
                          .arg(drive, error));
    const std::optional<TRemovalPlan> plan = PlanDriveRemoval(*objects, info->Root);
    if (!plan)
        return Result(
            TRemovalError::NotRemovable, root,
            QStringLiteral("%1 is not a drive UDisks2 can remove: it has no file system mounted at %2.")
                .arg(drive, info->Root));

    // What the unmount would write anyway is written now, while a failure
    // can still be told apart from a busy drive.
    const TFileOpResult flushed = SyncFileSystem(root);
    if (!flushed.Ok)
        return Result(
            TRemovalError::FlushFailed, root,
            QStringLiteral("The drive %1 cannot be removed: its data could not be written out (%2).")
                .arg(drive, SystemErrorText(flushed.Errno)));
    if (std::optional<TRemovalResult> failed = UnmountFileSystems(bus, *plan, *objects, root))
        return *failed;
    TDriveTable::Instance().Refresh();

    // Every file system is off the drive now: it may be pulled out whatever
    // the drive answers to being switched off.
    TRemovalResult result =
        Result(TRemovalError::None, root,
               QStringLiteral("The drive %1 was removed safely and may be pulled out now.")
                   .arg(info->Label.isEmpty() ? root : QStringLiteral("%1 (%2)").arg(root, info->Label)));
    if (!plan->Drive.isEmpty())
        result.PoweredOff = SwitchOffDrive(bus, *plan);
    return result;
}

} // namespace trovalo
