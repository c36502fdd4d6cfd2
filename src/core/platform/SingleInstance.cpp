#include "SingleInstance.h"

#include "base/Logging.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/FileOperations.h"
#include "platform/RuntimeFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace trovalo {

namespace {

QMutex guardMutex;
bool guardExists = false;

constexpr QByteArrayView RaiseRequest = "raise\n";
constexpr QByteArrayView RaiseAnswer = "ok\n";
// A request is one short line; anything longer is not ours.
constexpr qint64 MaxRequestSize = 64;
constexpr int ConnectTimeoutMs = 1000;
constexpr int AnswerTimeoutMs = 2000;

} // namespace

TApplicationInstance::TApplicationInstance(QObject *parent)
    : QObject(parent)
{
    QMutexLocker lock(&guardMutex);
    if (guardExists)
        throw EApplicationInstanceError(
            QStringLiteral("Only one copy of this component can be dropped on a application!"));
    guardExists = true;
}

TApplicationInstance::~TApplicationInstance()
{
    if (FRemoveInstance)
        RemoveInstance();
    QMutexLocker lock(&guardMutex);
    guardExists = false;
}

void TApplicationInstance::SetMaxInstances(int value)
{
    if (value > 0)
        FMaxInstances = value;
}

bool TApplicationInstance::RestoreIfRunning()
{
    if (FSlot >= 0)
        return false;
    // The data folder counts by where it really is: the same letter text can
    // stand for different folders under different drive tables.
    const QString dataFolder = AppDataFolder();
    const QByteArray key =
        (ExecutableFilePath() + QLatin1Char('\n') + ToNativePath(dataFolder).value_or(dataFolder)).toUtf8();
    FLockFolder = LockFolder();
    FMappingName =
        QStringLiteral("trovalo-") +
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    for (int slot = 0; slot < FMaxInstances; ++slot) {
        if (TryLockSlot(slot)) {
            FSlot = slot;
            FRemoveInstance = true;
            Listen();
            return false;
        }
    }
    FRemoveInstance = false;
    qCInfo(LogStartUp) << "Another copy of the program is running; this one ends";
    AskRunningCopyToComeForward();
    return true;
}

void TApplicationInstance::RemoveInstance()
{
    if (FServer) {
        FServer->close();
        delete FServer;
        FServer = nullptr;
    }
    if (FLockHandle >= 0) {
        // The lock file itself stays: removing it would let a later copy lock
        // a fresh file while an earlier one still holds the old one.
        ::flock(FLockHandle, LOCK_UN);
        ::close(FLockHandle);
        FLockHandle = -1;
    }
    FSlot = -1;
}

QString TApplicationInstance::LockFolder() const
{
    return UserRuntimeFolder();
}

QString TApplicationInstance::SlotPath(int slot, const char *suffix) const
{
    return FLockFolder + QLatin1Char('/') + FMappingName + QLatin1Char('-') + QString::number(slot) +
           QLatin1String(suffix);
}

bool TApplicationInstance::TryLockSlot(int slot)
{
    const QString path = SlotPath(slot, ".lock");
    const QByteArray native = QFile::encodeName(path);
    // Close-on-exec: a program this copy starts must not keep the slot alive.
    const int handle = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (handle < 0)
        throw EFileError(
            QStringLiteral("The lock file %1 cannot be opened: %2").arg(path, SystemErrorText(errno)));
    if (::flock(handle, LOCK_EX | LOCK_NB) == 0) {
        FLockHandle = handle;
        return true;
    }
    const int error = errno;
    ::close(handle);
    if (error == EWOULDBLOCK)
        return false;
    throw EFileError(
        QStringLiteral("The lock file %1 cannot be locked: %2").arg(path, SystemErrorText(error)));
}

void TApplicationInstance::Listen()
{
    const QString name = SlotPath(FSlot, ".sock");
    // Holding the slot proves that no live copy uses this name: whatever is
    // there was left by a copy that died.
    QLocalServer::removeServer(name);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!FServer->listen(name)) {
        // The copy still runs and still turns others away; it only cannot be
        // brought forward by them.
        qCWarning(LogStartUp, "Cannot listen on %s: %s", qPrintable(name),
                  qPrintable(FServer->errorString()));
        return;
    }
    connect(FServer, &QLocalServer::newConnection, this, &TApplicationInstance::OnNewConnection);
}

void TApplicationInstance::OnNewConnection()
{
    while (QLocalSocket *socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine(MaxRequestSize) == RaiseRequest) {
                    socket->write(RaiseAnswer.data(), RaiseAnswer.size());
                    socket->flush();
                    qCInfo(LogStartUp) << "Another start of the program asked this copy to come forward";
                    emit RaiseRequested();
                }
            }
            if (socket->bytesAvailable() > MaxRequestSize)
                socket->abort();
        });
    }
}

void TApplicationInstance::AskRunningCopyToComeForward() const
{
    // The lowest slot belongs to the copy that has run longest; ask the first
    // copy that answers.
    for (int slot = 0; slot < FMaxInstances; ++slot) {
        QLocalSocket socket;
        socket.connectToServer(SlotPath(slot, ".sock"));
        if (!socket.waitForConnected(ConnectTimeoutMs))
            continue;
        socket.write(RaiseRequest.data(), RaiseRequest.size());
        socket.waitForBytesWritten(ConnectTimeoutMs);
        // Wait for the answer so the request is not lost when this process
        // ends at once; a copy too busy to answer is still running.
        if (socket.waitForReadyRead(AnswerTimeoutMs))
            qCInfo(LogStartUp) << "The running copy was asked to come forward";
        else
            qCWarning(LogStartUp) << "The running copy did not answer the request to come forward";
        socket.disconnectFromServer();
        return;
    }
    qCWarning(LogStartUp) << "No running copy could be reached to come forward";
}

} // namespace trovalo
