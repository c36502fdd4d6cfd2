#include "TestDrives.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "TrayFallbackWindow.h"
#include "drives/OpenFlash.h"
#include "options/OptionForm.h"
#include "tray/Splash.h"

#include <QDialog>
#include <QMouseEvent>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

using namespace trovalo;

namespace {

TDataModuleQuillonSuite::TOptions TrayOptions(bool useSystemTray)
{
    TDataModuleQuillonSuite::TOptions options;
    options.UseSystemTray = useSystemTray;
    return options;
}

void SendMouse(QWidget &widget, QEvent::Type type, const QPoint &local, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void pictureHasTransparentSurroundings_data();
    void pictureHasTransparentSurroundings();
    void timerRunsFromCreation();
    void startUpSteps_data();
    void startUpSteps();
    void dragsAtAnyPoint_data();
    void dragsAtAnyPoint();
};

void TestSplash::cleanup()
{
    SetModalHandler({});
}

void TestSplash::pictureHasTransparentSurroundings_data()
{
    QTest::addColumn<QPoint>("where"); // relative to the picture's size, in percent
    QTest::addColumn<bool>("opaque");
    QTest::newRow("top left corner") << QPoint(0, 0) << false;
    QTest::newRow("bottom right corner") << QPoint(100, 100) << false;
    QTest::newRow("centre") << QPoint(50, 50) << true;
    QTest::newRow("left part of the card") << QPoint(10, 50) << true;
}

void TestSplash::pictureHasTransparentSurroundings()
{
    QFETCH(QPoint, where);
    QFETCH(bool, opaque);
    TDataModuleQuillonSuite tray(TrayOptions(true));
    QPointer<TSplash> splash = new TSplash(tray);
    splash->Execute();
    const QImage picture = splash->Picture().toImage();
    QVERIFY(picture.hasAlphaChannel());
    QCOMPARE(splash->size(), splash->Picture().size());
    QVERIFY(splash->isVisible());
    QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(splash->testAttribute(Qt::WA_TranslucentBackground));
    const QPoint pixel(qMin(picture.width() - 1, picture.width() * where.x() / 100),
                       qMin(picture.height() - 1, picture.height() * where.y() / 100));
    QCOMPARE(qAlpha(picture.pixel(pixel)) == 255, opaque);
    if (!opaque)
        QCOMPARE(qAlpha(picture.pixel(pixel)), 0);
    delete splash;
}

void TestSplash::timerRunsFromCreation()
{
    TDataModuleQuillonSuite tray(TrayOptions(true));
    TSplash splash(tray);
    QTimer *timer = splash.Timer1();
    QCOMPARE(timer->objectName(), QStringLiteral("Timer1"));
    QCOMPARE(timer->interval(), 2000);
    QVERIFY(timer->isSingleShot());
    QVERIFY(timer->isActive());
}

void TestSplash::startUpSteps_data()
{
    QTest::addColumn<bool>("systemTray");
    QTest::newRow("with a notification area") << true;
    QTest::newRow("without one") << false;
}

void TestSplash::startUpSteps()
{
    QFETCH(bool, systemTray);
    test::TTestDrives drives;
    TDataModuleQuillonSuite tray(TrayOptions(systemTray));
    QPointer<TSplash> splash = new TSplash(tray);
    int openDrive = 0;
    bool splashGoneFirst = false;
    SetModalHandler([&](QDialog &dialog) {
        if (dynamic_cast<TOpenFlash *>(&dialog)) {
            ++openDrive;
            splashGoneFirst = !splash || !splash->isVisible();
        }
        return int(QDialog::Rejected);
    });
    tray.SetTrayImageIndex(5);
    splash->Execute();

    // Nothing happens before the two seconds are up.
    QTest::qWait(1500);
    QVERIFY(splash);
    QCOMPARE(tray.BalloonShowCount(), 0);
    if (systemTray)
        QVERIFY(!tray.TrayIcon()->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(!splash, 3000);
    QCOMPARE(tray.TrayImageIndex(), 0);
    // The options window exists from then on, hidden until it is opened.
    QVERIFY(tray.OptionForm());
    QVERIFY(!tray.OptionForm()->isVisible());
    if (systemTray) {
        QVERIFY(tray.TrayIcon()->isVisible());
        QCOMPARE(tray.TrayIcon()->icon().cacheKey(), tray.TrayImage(0).cacheKey());
        QCOMPARE(tray.BalloonShowCount(), 1);
        QCOMPARE(openDrive, 0);
    } else {
        // "Open Drive" once the splash has gone, then the stand-in window.
        QTRY_VERIFY(tray.FallbackWindow()->isVisible());
        QCOMPARE(openDrive, 1);
        QVERIFY(splashGoneFirst);
    }
}

void TestSplash::dragsAtAnyPoint_data()
{
    QTest::addColumn<QPoint>("grab");
    QTest::addColumn<QPoint>("by");
    QTest::newRow("near the corner") << QPoint(20, 20) << QPoint(50, 30);
    QTest::newRow("in the middle, to the left") << QPoint(200, 120) << QPoint(-40, 10);
}

void TestSplash::dragsAtAnyPoint()
{
    QFETCH(QPoint, grab);
    QFETCH(QPoint, by);
    TDataModuleQuillonSuite tray(TrayOptions(true));
    TSplash splash(tray);
    splash.Timer1()->stop();
    splash.Execute();
    const QPoint start = splash.pos();
    SendMouse(splash, QEvent::MouseButtonPress, grab, Qt::LeftButton);
    SendMouse(splash, QEvent::MouseMove, grab + by, Qt::LeftButton);
    QCOMPARE(splash.pos(), start + by);
    SendMouse(splash, QEvent::MouseButtonRelease, grab + by, Qt::NoButton);
    // Without the button held the window stays.
    SendMouse(splash, QEvent::MouseMove, grab + by + QPoint(30, 30), Qt::NoButton);
    QCOMPARE(splash.pos(), start + by);
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
