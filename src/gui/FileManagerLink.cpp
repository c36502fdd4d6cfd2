#include "FileManagerLink.h"

#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace trovalo {

namespace {

const QString Service = QStringLiteral("org.freedesktop.FileManager1");
const QString ObjectPath = QStringLiteral("/org/freedesktop/FileManager1");
// A file manager started by bus activation needs a moment; a bus without
// one answers at once.
constexpr int CallTimeout = 5000;

} // namespace

TFileManagerLink::TFileManagerLink()
    : FBus(QDBusConnection::sessionBus())
{}

TFileManagerLink::TFileManagerLink(const QDBusConnection &bus)
    : FBus(bus)
{}

bool TFileManagerLink::ShowItems(const QStringList &nativeFiles) const
{
    if (nativeFiles.isEmpty() || !FBus.isConnected())
        return false;
    QStringList uris;
    for (const QString &file : nativeFiles)
        uris << QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, ObjectPath, Service, QStringLiteral("ShowItems"));
    call << uris << QString();
    return FBus.call(call, QDBus::Block, CallTimeout).type() == QDBusMessage::ReplyMessage;
}

bool TFileManagerLink::Show(const QStringList &nativeFiles) const
{
    if (ShowItems(nativeFiles))
        return true;
    QStringList folders;
    for (const QString &file : nativeFiles) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    for (const QString &folder : folders)
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    return false;
}

} // namespace trovalo
