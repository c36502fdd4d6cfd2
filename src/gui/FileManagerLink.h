#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

namespace trovalo {

// Shows files selected in the user's file manager: the freedesktop
// FileManager1 interface on a session bus, or, where no file manager
// answers there, the files' folders opened through the desktop.
class TFileManagerLink
{
public:
    // The user's session bus.
    TFileManagerLink();
    // Another bus (a test's private one).
    explicit TFileManagerLink(const QDBusConnection &bus);

    // Asks the file manager to show the native files selected; false when
    // none answered (no bus, no file manager, an error).
    bool ShowItems(const QStringList &nativeFiles) const;
    // ShowItems, else opens each distinct folder of the files. Returns
    // whether the file manager answered.
    bool Show(const QStringList &nativeFiles) const;

private:
    QDBusConnection FBus;
};

} // namespace trovalo
