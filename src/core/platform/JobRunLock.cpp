#include "platform/JobRunLock.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace trovalo {

namespace {

const QString LockSuffix = QStringLiteral(".lock");

// A query holds its shared lock for a moment only; a run that meets one
// tries again for this long before it counts the job as running.
constexpr int TakeAttempts = 40;
constexpr int TakeRetryMs = 5;
// A record is written right after its lock is taken; a reader that finds
// it incomplete waits this long for the rest.
constexpr int ReadAttempts = 20;
constexpr int ReadRetryMs = 2;
constexpr qint64 MaxRecordSize = 64 * 1024;

// The job file where it really is, so that processes with other drive
// letters (or none) name it alike.
QString NativeJobFile(const QString &jobFile)
{
    const QString native = QDir::cleanPath(ToNativePath(jobFile).value_or(jobFile));
    const QString canonical = QFileInfo(native).canonicalFilePath();
    return canonical.isEmpty() ? native : canonical;
}

QString LockKey(const QString &guid, const QString &jobFile)
{
    // Only a real GUID names the file itself: the text comes from a job file
    // on a removable drive and must not choose a path.
    const QUuid uuid = QUuid::fromString(guid.trimmed());
    if (!uuid.isNull())
        return uuid.toString(QUuid::WithoutBraces);
    return QStringLiteral("file-") +
           QString::fromLatin1(
               QCryptographicHash::hash(NativeJobFile(jobFile).toUtf8(), QCryptographicHash::Sha256)
                   .toHex()
                   .left(40));
}

QString LockPath(const QString &guid, const QString &jobFile)
{
    return TJobRunLock::LockFolder() + QLatin1Char('/') + TJobRunLock::LockFileName(guid, jobFile);
}

QByteArray RecordOf(const QString &guid, const QString &jobFile)
{
    const QString native = NativeJobFile(jobFile);
    QJsonObject record{{QStringLiteral("guid"), guid},
                       {QStringLiteral("jobFile"), jobFile},
                       {QStringLiteral("nativeJobFile"), native},
                       {QStringLiteral("pid"), QCoreApplication::applicationPid()}};
    if (const std::optional<TDriveInfo> drive = TDriveTable::Instance().DriveOfNative(native)) {
        record.insert(QStringLiteral("drive"), drive->LetterRoot());
        record.insert(QStringLiteral("nativeDrive"), drive->Root);
    }
    return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<TJobRun> ParseRecord(const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject record = document.object();
    TJobRun run;
    run.Guid = record.value(QStringLiteral("guid")).toString();
    run.JobFile = record.value(QStringLiteral("jobFile")).toString();
    run.NativeJobFile = record.value(QStringLiteral("nativeJobFile")).toString();
    run.DriveRoot = record.value(QStringLiteral("drive")).toString();
    run.NativeDriveRoot = record.value(QStringLiteral("nativeDrive")).toString();
    run.ProcessId = record.value(QStringLiteral("pid")).toInteger();
    return run;
}

std::optional<TJobRun> ReadRecord(int fd)
{
    for (int attempt = 0; attempt < ReadAttempts; ++attempt) {
        QByteArray data(MaxRecordSize, Qt::Uninitialized);
        const ssize_t size = ::pread(fd, data.data(), size_t(data.size()), 0);
        if (size > 0) {
            data.truncate(size);
            if (std::optional<TJobRun> run = ParseRecord(data))
                return run;
        }
        QThread::msleep(ReadRetryMs);
    }
    return std::nullopt;
}

// Whether a run holds the lock file at Path, with the run's record when it
// does (nullopt in it when the record cannot be read).
bool Probe(const QString &path, std::optional<TJobRun> *run = nullptr)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (held && run)
        *run = ReadRecord(fd);
    ::close(fd); // also drops a shared lock taken just now
    return held;
}

bool SameFile(const QString &a, const QString &b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The mount folder of a drive given either way.
QString NativeDriveFolder(const QString &drive)
{
    const bool letterForm =
        drive.size() >= 2 && drive.at(1) == QLatin1Char(':') && IsDriveLetter(drive.at(0));
    if (!letterForm)
        return QDir::cleanPath(drive);
    const std::optional<TDriveInfo> info = TDriveTable::Instance().Drive(drive.at(0).toUpper());
    return info ? QDir::cleanPath(info->Root) : QString();
}

QString RunningMessage(const QString &jobFile)
{
    return QStringLiteral("\"%1\" is running already; a job cannot start again before its run has ended.")
        .arg(jobFile);
}

} // namespace

TJobRunLock::TJobRunLock(int fd, QString path)
    : FFd(fd)
    , FPath(std::move(path))
{}

TJobRunLock::~TJobRunLock()
{
    Release();
}

TJobRunLock::TJobRunLock(TJobRunLock &&other) noexcept
    : FFd(std::exchange(other.FFd, -1))
    , FPath(std::move(other.FPath))
{}

TJobRunLock &TJobRunLock::operator=(TJobRunLock &&other) noexcept
{
    if (this != &other) {
        Release();
        FFd = std::exchange(other.FFd, -1);
        FPath = std::move(other.FPath);
    }
    return *this;
}

void TJobRunLock::Release()
{
    if (FFd < 0)
        return;
    // Removed while still locked: a run that opened the old file finds it
    // gone once it has the lock, and opens the new one.
    ::unlink(QFile::encodeName(FPath).constData());
    ::close(FFd);
    FFd = -1;
}

TJobRunLock TJobRunLock::Take(const QString &guid, const QString &jobFile)
{
    std::optional<TJobRunLock> lock = TryTake(guid, jobFile);
    if (!lock)
        throw EUserException(RunningMessage(jobFile));
    return std::move(*lock);
}

std::optional<TJobRunLock> TJobRunLock::TryTake(const QString &guid, const QString &jobFile)
{
    const QString path = LockPath(guid, jobFile);
    const QByteArray native = QFile::encodeName(path);
    const auto fail = [&](int error) {
        return EFileError(QStringLiteral("The mark of the running job \"%1\" cannot be made in %2: %3")
                              .arg(jobFile, path, SystemErrorText(error)));
    };
    for (int attempt = 0; attempt < TakeAttempts; ++attempt) {
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            throw fail(errno);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error != EWOULDBLOCK)
                throw fail(error);
            QThread::msleep(TakeRetryMs);
            continue;
        }
        // The run that held it may have ended and removed the file between
        // our open and our lock: then the lock is on a file no one sees.
        struct stat opened
        {
        };
        struct stat named
        {
        };
        if (::fstat(fd, &opened) != 0 || ::lstat(native.constData(), &named) != 0 ||
            opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        TJobRunLock lock(fd, path);
        const QByteArray record = RecordOf(guid, jobFile);
        if (::ftruncate(fd, 0) != 0 || !WriteAll(fd, record.constData(), record.size()))
            throw fail(errno);
        return lock;
    }
    if (Probe(path))
        return std::nullopt;
    throw fail(EAGAIN);
}

bool TJobRunLock::IsRunning(const QString &guid)
{
    const QUuid uuid = QUuid::fromString(guid.trimmed());
    if (uuid.isNull())
        return false;
    try {
        return Probe(LockPath(guid, QString()));
    } catch (const EFileError &) {
        return false; // no lock folder: no run could have marked itself
    }
}

bool TJobRunLock::IsJobFileRunning(const QString &jobFile)
{
    const QString native = NativeJobFile(jobFile);
    const QList<TJobRun> runs = RunningJobs();
    return std::any_of(runs.cbegin(), runs.cend(), [&](const TJobRun &run) {
        return QDir::cleanPath(run.NativeJobFile) == native || SameFile(run.NativeJobFile, native);
    });
}

QList<TJobRun> TJobRunLock::RunningJobsOfDrive(const QString &drive)
{
    const QString root = NativeDriveFolder(drive);
    QList<TJobRun> found;
    if (root.isEmpty())
        return found;
    for (const TJobRun &run : RunningJobs())
        if (!run.NativeDriveRoot.isEmpty() && QDir::cleanPath(run.NativeDriveRoot) == root)
            found << run;
    return found;
}

QList<TJobRun> TJobRunLock::RunningJobs()
{
    QString folder;
    try {
        folder = LockFolder();
    } catch (const EFileError &) {
        return {};
    }
    QList<TJobRun> runs;
    const QStringList names =
        QDir(folder).entryList({QLatin1Char('*') + LockSuffix}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        std::optional<TJobRun> run;
        if (Probe(folder + QLatin1Char('/') + name, &run) && run)
            runs << *run;
    }
    return runs;
}

QString TJobRunLock::LockFolder()
{
    const QString folder = UserRuntimeFolder() + QStringLiteral("/trovalo-runs");
    MakePrivateFolder(folder);
    return folder;
}

QString TJobRunLock::LockFileName(const QString &guid, const QString &jobFile)
{
    return LockKey(guid, jobFile) + LockSuffix;
}

} // namespace trovalo
