#include "AboutWindow.h"
#include "MessageBoxes.h"
#include "TrayController.h"
#include "TrayFallbackWindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace trovalo;

class TestTrayController : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void menuItems_data();
    void menuItems();
    void menuShape();
    void exitAsksAndQuitsOnlyOnYes_data();
    void exitAsksAndQuitsOnlyOnYes();
    void aboutShowsVersionAndHidesOnClick_data();
    void aboutShowsVersionAndHidesOnClick();
    void windowStandsInWithoutNotificationArea();
};

void TestTrayController::cleanup()
{
    SetMessageBoxHandler({});
}

void TestTrayController::menuItems_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("Open Drive") << 0 << "OpenDrive1"
                                << "Open Drive" << false << QKeySequence();
    QTest::newRow("separator N2") << 1 << "N2"
                                  << "" << true << QKeySequence();
    QTest::newRow("Options") << 2 << "Settings1"
                             << "Options" << false << QKeySequence();
    QTest::newRow("Schedules") << 3 << "Schedules1"
                               << "Schedules" << false << QKeySequence();
    QTest::newRow("separator N11") << 4 << "N11"
                                   << "" << true << QKeySequence();
    QTest::newRow("Update") << 5 << "Update1"
                            << "Update" << false << QKeySequence();
    QTest::newRow("User's Manual") << 6 << "UsersManual1"
                                   << "User's Manual" << false << QKeySequence();
    QTest::newRow("Help") << 7 << "Help1"
                          << "Help" << false << QKeySequence(QStringLiteral("F1"));
    QTest::newRow("About") << 8 << "About1"
                           << "About" << true << QKeySequence(QStringLiteral("Ctrl+A"));
    QTest::newRow("separator N1") << 9 << "N1"
                                  << "" << true << QKeySequence();
    QTest::newRow("Exit") << 10 << "Exit1"
                          << "Exit" << true << QKeySequence(QStringLiteral("Ctrl+X"));
}

void TestTrayController::menuItems()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(QKeySequence, shortcut);
    TTrayController tray(false);
    const QList<QAction *> actions = tray.TrayMenu()->actions();
    QVERIFY(index < actions.size());
    const QAction *action = actions.at(index);
    QCOMPARE(action->objectName(), name);
    QCOMPARE(action->isSeparator(), caption.isEmpty());
    if (!caption.isEmpty())
        QCOMPARE(action->text(), caption);
    QCOMPARE(action->isEnabled(), enabled);
    QCOMPARE(action->shortcut(), shortcut);
}

void TestTrayController::menuShape()
{
    TTrayController tray(true);
    QMenu *menu = tray.TrayMenu();
    QCOMPARE(menu->actions().size(), 11);
    QCOMPARE(menu->defaultAction()->objectName(), QStringLiteral("OpenDrive1"));
    QCOMPARE(menu->findChild<QAction *>(QStringLiteral("Exit1"))->toolTip(), QStringLiteral("Exit Program"));
    QSystemTrayIcon *icon = tray.TrayIcon();
    QCOMPARE(icon->toolTip(), QStringLiteral("Trovalo"));
    QCOMPARE(icon->contextMenu(), menu);
    QVERIFY(!icon->icon().isNull());
    QVERIFY(!icon->isVisible());
    tray.Show();
    QVERIFY(icon->isVisible());
}

void TestTrayController::exitAsksAndQuitsOnlyOnYes_data()
{
    QTest::addColumn<bool>("systemTray");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("quits");
    QTest::newRow("Yes, tray icon") << true << int(mrYes) << true;
    QTest::newRow("Yes, stand-in window") << false << int(mrYes) << true;
    QTest::newRow("No, tray icon") << true << int(mrNo) << false;
    QTest::newRow("No, stand-in window") << false << int(mrNo) << false;
    QTest::newRow("closed without a button") << true << int(mrNone) << false;
}

void TestTrayController::exitAsksAndQuitsOnlyOnYes()
{
    QFETCH(bool, systemTray);
    QFETCH(int, answer);
    QFETCH(bool, quits);
    QList<TMessageRequest> asked;
    SetMessageBoxHandler([&](const TMessageRequest &request) {
        asked << request;
        return answer;
    });
    TTrayController tray(systemTray);
    tray.Show();
    QAction *exit = tray.TrayMenu()->findChild<QAction *>(QStringLiteral("Exit1"));
    QVERIFY(exit);

    // A program that keeps running is ended by the fallback timer with 42.
    QTimer::singleShot(0, exit, &QAction::trigger);
    QTimer::singleShot(500, [] { QCoreApplication::exit(42); });
    const int status = QApplication::exec();
    QCOMPARE(status, quits ? 0 : 42);

    QCOMPARE(asked.size(), 1);
    const TMessageRequest &request = asked.constFirst();
    QCOMPARE(request.Message, QStringLiteral("Are you sure you want to exit Trovalo?"));
    QCOMPARE(request.Title, QStringLiteral("Trovalo"));
    QCOMPARE(request.Caption, QStringLiteral("Trovalo"));
    QCOMPARE(request.Kind, mtConfirmation);
    QCOMPARE(request.Buttons, (QList<TModalResult>{mrYes, mrNo}));
    if (systemTray)
        QCOMPARE(tray.TrayIcon()->isVisible(), !quits);
    else
        QCOMPARE(tray.FallbackWindow()->isVisible(), !quits);
}

void TestTrayController::aboutShowsVersionAndHidesOnClick_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("centre") << "centre";
    QTest::newRow("top left corner") << "corner";
    QTest::newRow("on the text") << "text";
}

void TestTrayController::aboutShowsVersionAndHidesOnClick()
{
    QFETCH(QString, where);
    TTrayController tray(false);
    TAboutWindow *about = tray.AboutWindow();
    tray.TrayMenu()->findChild<QAction *>(QStringLiteral("About1"))->trigger();
    QVERIFY(about->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->Text(), QStringLiteral("Trovalo V 4.0.1"));
    QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);

    QPoint position = about->rect().center();
    if (where == QStringLiteral("corner"))
        position = QPoint(2, 2);
    else if (where == QStringLiteral("text"))
        position = about->findChild<QLabel *>()->geometry().center();
    // Through the window, as a real click arrives: the widget under the
    // pointer is found by position.
    QTest::mouseClick(about->windowHandle(), Qt::LeftButton, {}, position);
    QTRY_VERIFY(!about->isVisible());
}

void TestTrayController::windowStandsInWithoutNotificationArea()
{
    TTrayController tray(false);
    TTrayFallbackWindow *window = tray.FallbackWindow();
    QVERIFY(window && !tray.TrayIcon());
    QVERIFY(!window->isVisible());
    tray.Show();
    QVERIFY(window->isVisible());

    QStringList captions;
    QList<bool> enabled;
    for (const QToolButton *button : window->findChildren<QToolButton *>()) {
        captions << button->text();
        enabled << button->isEnabled();
    }
    QCOMPARE(captions, (QStringList{"Open Drive", "Options", "Schedules", "Update", "User's Manual", "Help",
                                    "About", "Exit"}));
    QCOMPARE(enabled, (QList<bool>{false, false, false, false, false, false, true, true}));

    // Closing must not leave the program out of reach.
    window->close();
    QVERIFY(window->isVisible());
    window->hide();
    tray.RestoreRequested();
    QVERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
}

QTEST_MAIN(TestTrayController)
#include "tst_traycontroller.moc"
