#include "TrayController.h"

#include "AboutWindow.h"
#include "MessageBoxes.h"
#include "TrayFallbackWindow.h"
#include "model/ProgramIdentity.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace trovalo {

namespace {

// A USB drive with an arrow going into it, drawn rather than shipped as an
// image file so it scales to any tray size.
QPixmap DrawDriveImage(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    // Connector with its two contacts.
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    painter.setBrush(QColor(0xc8, 0xc8, 0xc8));
    painter.drawRect(QRectF(22, 3, 20, 14));
    painter.setBrush(QColor(0x55, 0x55, 0x55));
    painter.drawRect(QRectF(27, 7, 3, 4));
    painter.drawRect(QRectF(34, 7, 3, 4));

    // Body.
    QLinearGradient body(0, 16, 0, 62);
    body.setColorAt(0, QColor(0x3a, 0x7b, 0xd5));
    body.setColorAt(1, QColor(0x1a, 0x41, 0x80));
    painter.setPen(QPen(QColor(0x12, 0x2e, 0x5c), 2));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(13, 16, 38, 46), 7, 7);

    // Arrow pointing down into the drive.
    QPainterPath arrow;
    arrow.moveTo(28, 24);
    arrow.lineTo(36, 24);
    arrow.lineTo(36, 38);
    arrow.lineTo(43, 38);
    arrow.lineTo(32, 52);
    arrow.lineTo(21, 38);
    arrow.lineTo(28, 38);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
    return pixmap;
}

QIcon DrawTrayImage()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(DrawDriveImage(size));
    return icon;
}

} // namespace

TTrayController::TTrayController(QObject *parent)
    : TTrayController(QSystemTrayIcon::isSystemTrayAvailable(), parent)
{}

TTrayController::TTrayController(bool useSystemTray, QObject *parent)
    : QObject(parent)
    , FTrayMenu(std::make_unique<QMenu>())
    , FAboutWindow(std::make_unique<TAboutWindow>())
    , FTrayImage(DrawTrayImage())
{
    QGuiApplication::setWindowIcon(FTrayImage);
    BuildMenu();
    if (useSystemTray) {
        FTrayIcon = new QSystemTrayIcon(FTrayImage, this);
        FTrayIcon->setToolTip(ProgramTitle);
        FTrayIcon->setContextMenu(FTrayMenu.get());
        connect(FTrayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        FOpenDrive->trigger();
                });
    } else {
        FFallbackWindow = std::make_unique<TTrayFallbackWindow>(FTrayMenu->actions());
    }
}

TTrayController::~TTrayController() = default;

void TTrayController::BuildMenu()
{
    FTrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    FTrayMenu->setToolTipsVisible(true);
    // The items whose windows are not there yet stay visible but disabled, so
    // the menu already has its final shape.
    FOpenDrive = AddItem("OpenDrive1", QStringLiteral("Open Drive"), QKeySequence(), false);
    FTrayMenu->setDefaultAction(FOpenDrive);
    FTrayMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    AddItem("Settings1", QStringLiteral("Options"), QKeySequence(), false);
    AddItem("Schedules1", QStringLiteral("Schedules"), QKeySequence(), false);
    FTrayMenu->addSeparator()->setObjectName(QStringLiteral("N11"));
    AddItem("Update1", QStringLiteral("Update"), QKeySequence(), false);
    AddItem("UsersManual1", QStringLiteral("User's Manual"), QKeySequence(), false);
    AddItem("Help1", QStringLiteral("Help"), QKeySequence(Qt::Key_F1), false);
    QAction *about = AddItem("About1", QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_A), true);
    connect(about, &QAction::triggered, this, &TTrayController::About);
    FTrayMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction *exit = AddItem("Exit1", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_X), true);
    exit->setToolTip(QStringLiteral("Exit Program"));
    exit->setStatusTip(QStringLiteral("Exit Program"));
    connect(exit, &QAction::triggered, this, &TTrayController::Exit);
}

QAction *TTrayController::AddItem(const char *name, const QString &caption, const QKeySequence &shortcut,
                                  bool enabled)
{
    QAction *action = FTrayMenu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    action->setEnabled(enabled);
    return action;
}

void TTrayController::Show()
{
    if (FTrayIcon) {
        FTrayIcon->show();
        FTrayIcon->showMessage(QStringLiteral("Trovalo is ready for your computer"),
                               QStringLiteral("Click here to open Trovalo"), QSystemTrayIcon::Information);
    } else {
        FFallbackWindow->show();
    }
}

void TTrayController::RestoreRequested()
{
    if (FTrayIcon) {
        // There is no main window to bring forward; say where the program is.
        FTrayIcon->showMessage(ProgramTitle, QStringLiteral("Trovalo is already running"),
                               QSystemTrayIcon::Information);
    } else {
        FFallbackWindow->BringToFront();
    }
}

void TTrayController::About()
{
    FAboutWindow->adjustSize();
    FAboutWindow->show();
    FAboutWindow->raise();
}

void TTrayController::Exit()
{
    const int answer =
        ShowYesNoDialog(QStringLiteral("Are you sure you want to exit ") + ProgramTitle + QLatin1Char('?'),
                        ProgramTitle, ProgramTitle, mtConfirmation, false);
    if (answer != mrYes)
        return;
    // Running jobs are not waited for; their threads end with the process.
    if (FTrayIcon)
        FTrayIcon->hide();
    if (FFallbackWindow)
        FFallbackWindow->hide();
    FAboutWindow->hide();
    // exit() rather than quit(): quit() first asks every window to close and
    // gives up when one refuses, and the stand-in window refuses.
    QCoreApplication::exit(0);
}

} // namespace trovalo
