#include "automation/AutomationServer.h"

#include "automation/AutomationCommands.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdio>

namespace trovalo {

namespace {
// A request longer than this without a line end is not a test talking.
constexpr qint64 MaxRequestSize = 1 << 20;
} // namespace

void TAutomationServer::StartIfRequested()
{
    const QString path = qEnvironmentVariable("TROVALO_AUTOMATION");
    if (path.isEmpty())
        return;
    auto *server = new TAutomationServer(QCoreApplication::instance());
    QString error;
    if (!server->Listen(path, &error)) {
        std::fprintf(stderr, "trovalo: automation socket %s: %s\n", qPrintable(path), qPrintable(error));
        delete server;
    }
}

TAutomationServer::TAutomationServer(QObject *parent)
    : QObject(parent)
    , FServer(new QLocalServer(this))
{
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TAutomationServer::Accept);
}

TAutomationServer::~TAutomationServer() = default;

bool TAutomationServer::Listen(const QString &Path, QString *error)
{
    QLocalServer::removeServer(Path);
    if (FServer->listen(Path))
        return true;
    *error = FServer->errorString();
    return false;
}

QString TAutomationServer::Path() const
{
    return FServer->fullServerName();
}

void TAutomationServer::Accept()
{
    while (QLocalSocket *socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        Serve(socket);
    }
}

void TAutomationServer::Serve(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        if (line.isEmpty())
            continue;
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        QJsonObject reply;
        if (!document.isObject()) {
            reply = QJsonObject{{QStringLiteral("ok"), false},
                                {QStringLiteral("error"),
                                 QStringLiteral("not a JSON object: %1").arg(parseError.errorString())}};
        } else {
            reply = TAutomationCommands::Execute(document.object());
        }
        socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
        socket->flush();
    }
    if (socket->bytesAvailable() > MaxRequestSize)
        socket->abort();
}

} // namespace trovalo
