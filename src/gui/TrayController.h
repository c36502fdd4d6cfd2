#pragma once

#include <QIcon>
#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace trovalo {

class TAboutWindow;
class TTrayFallbackWindow;

// The window side of the program's controller: the notification-area icon,
// its menu and the windows the menu opens directly. Without a notification
// area the menu's items are offered in a small window instead.
class TTrayController : public QObject
{
    Q_OBJECT

public:
    // Uses the notification area when the desktop has one.
    explicit TTrayController(QObject *parent = nullptr);
    TTrayController(bool useSystemTray, QObject *parent = nullptr);
    ~TTrayController() override;

    // After start-up: makes the icon visible and shows the welcome balloon
    // (or shows the stand-in window).
    void Show();

    // Another copy of the program was started: show this one.
    void RestoreRequested();

    bool UsesSystemTray() const { return FTrayIcon != nullptr; }
    QMenu *TrayMenu() const { return FTrayMenu.get(); }
    // Null without a notification area.
    QSystemTrayIcon *TrayIcon() const { return FTrayIcon; }
    // Null with a notification area.
    TTrayFallbackWindow *FallbackWindow() const { return FFallbackWindow.get(); }
    TAboutWindow *AboutWindow() const { return FAboutWindow.get(); }
    // Image 0, the icon at rest.
    QIcon TrayImage() const { return FTrayImage; }

private:
    void BuildMenu();
    QAction *AddItem(const char *name, const QString &caption, const QKeySequence &shortcut, bool enabled);
    void About();
    void Exit();

    std::unique_ptr<QMenu> FTrayMenu;
    std::unique_ptr<TAboutWindow> FAboutWindow;
    std::unique_ptr<TTrayFallbackWindow> FFallbackWindow;
    QSystemTrayIcon *FTrayIcon = nullptr;
    QIcon FTrayImage;
    QAction *FOpenDrive = nullptr;
};

} // namespace trovalo
