#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace trovalo {

// A local socket through which an end-to-end test drives the real program:
// lists windows, reads and clicks named controls, takes screenshots. Off
// unless TROVALO_AUTOMATION names the socket to listen on.
//
// One JSON request per line in, one JSON reply per line out; the requests
// are those of TAutomationCommands. Only this user may connect.
class TAutomationServer : public QObject
{
public:
    // Called once after the application object exists.
    static void StartIfRequested();

    explicit TAutomationServer(QObject *parent = nullptr);
    ~TAutomationServer() override;

    // Listens on the socket file Path, replacing a stale one; false with a
    // reason in *error.
    bool Listen(const QString &Path, QString *error);
    QString Path() const;

private:
    void Accept();
    void Serve(QLocalSocket *socket);

    QLocalServer *FServer;
};

} // namespace trovalo
