#include "tray/SliderForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace trovalo;

namespace {

QString Caption(TSliderForm &form)
{
    return form.findChild<QCheckBox *>(QStringLiteral("cbAutoClose"))->text();
}

QTimer *Countdown(TSliderForm &form)
{
    return form.findChild<QTimer *>(QStringLiteral("TimerAC"));
}

// One 500 ms step of the countdown, without waiting for it.
void Step(TSliderForm &form)
{
    QVERIFY(QMetaObject::invokeMethod(&form, "TimerACTimer"));
}

QTreeWidget *Rows(TSliderForm &form)
{
    return form.findChild<QTreeWidget *>(QStringLiteral("ListView"));
}

// The rows as "name|action".
QStringList RowTexts(TSliderForm &form)
{
    QStringList rows;
    for (int i = 0; i < Rows(form)->topLevelItemCount(); ++i)
        rows << Rows(form)->topLevelItem(i)->text(0) + QLatin1Char('|') +
                    Rows(form)->topLevelItem(i)->text(1);
    return rows;
}

bool OverlayShown(TSliderForm &form)
{
    return form.findChild<QLabel *>(QStringLiteral("Panel"))->isVisibleTo(&form);
}

void Enter(TSliderForm &form)
{
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&form, &event);
}

void Leave(TSliderForm &form)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&form, &event);
}

} // namespace

class TestSliderForm : public QObject
{
    Q_OBJECT

private slots:
    void countdownCaptionsAndClose_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("visible");
        QTest::newRow("shown") << 0 << "Auto Close" << true;
        QTest::newRow("first step") << 1 << "Auto Closing In 2.50  Seconds" << true;
        QTest::newRow("second step") << 2 << "Auto Closing In 2.00  Seconds" << true;
        QTest::newRow("fifth step") << 5 << "Auto Closing In 0.50  Seconds" << true;
        QTest::newRow("sixth step closes") << 6 << "Auto Closing In 0.00  Seconds" << false;
    }
    void countdownCaptionsAndClose()
    {
        QFETCH(int, steps);
        QFETCH(QString, caption);
        QFETCH(bool, visible);
        TSliderForm form;
        form.ShowSlider();
        QVERIFY(Countdown(form)->isActive());
        QCOMPARE(Countdown(form)->interval(), 500);
        for (int i = 0; i < steps; ++i)
            Step(form);
        QCOMPARE(Caption(form), caption);
        QCOMPARE(form.isVisible(), visible);
        QCOMPARE(Countdown(form)->isActive(), visible);
        // The next showing starts over.
        form.ShowSlider();
        QCOMPARE(Caption(form), "Auto Close");
        Step(form);
        QCOMPARE(Caption(form), "Auto Closing In 2.50  Seconds");
    }

    void realTimerClosesTheWindow()
    {
        TSliderForm form;
        form.ShowSlider();
        Countdown(form)->setInterval(5);
        QTRY_VERIFY(!form.isVisible());
        QCOMPARE(Caption(form), "Auto Closing In 0.00  Seconds");
    }

    void pointerStopsAndRestarts()
    {
        TSliderForm form;
        form.ShowSlider();
        Step(form);
        Step(form);
        Step(form);
        Enter(form);
        QVERIFY(!Countdown(form)->isActive());
        Leave(form);
        QVERIFY(Countdown(form)->isActive());
        // From three seconds again: five steps leave it open, the sixth
        // closes it.
        for (int i = 0; i < 5; ++i)
            Step(form);
        QVERIFY(form.isVisible());
        QCOMPARE(Caption(form), "Auto Closing In 0.50  Seconds");
        Step(form);
        QVERIFY(!form.isVisible());
    }

    void uncheckedStaysUntilClosed()
    {
        TSliderForm form;
        form.findChild<QCheckBox *>(QStringLiteral("cbAutoClose"))->click();
        QVERIFY(!form.AutoClose());
        form.ShowSlider();
        QVERIFY(!Countdown(form)->isActive());
        Leave(form);
        QVERIFY(!Countdown(form)->isActive());
        QVERIFY(form.isVisible());
        form.findChild<QPushButton *>(QStringLiteral("CloseBtn"))->click();
        QVERIFY(!form.isVisible());
    }

    void rowsByHandle()
    {
        TSliderForm form;
        QVERIFY(OverlayShown(form));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Panel"))->text(), "No job is  running...");
        const TSliderRow backup = form.AddListItem(QStringLiteral("Docs"), itBackup);
        const TSliderRow sync = form.AddListItem(QStringLiteral("Music"), itSync);
        QVERIFY(backup != 0 && sync != 0 && backup != sync);
        QVERIFY(!OverlayShown(form));
        QCOMPARE(RowTexts(form), QStringList({"Docs|Loading...", "Music|Loading..."}));
        form.UpDateListItem(sync, QStringLiteral("Copying File: a.mp3"));
        QCOMPARE(RowTexts(form), QStringList({"Docs|Loading...", "Music|Copying File: a.mp3"}));

        form.RemoveListItem(backup);
        QCOMPARE(RowTexts(form), QStringList({"Music|Copying File: a.mp3"}));
        QVERIFY(!OverlayShown(form));
        // A row that went, and no row at all, are left alone.
        form.UpDateListItem(backup, QStringLiteral("late"));
        form.RemoveListItem(backup);
        form.UpDateListItem(0, QStringLiteral("none"));
        QCOMPARE(RowTexts(form), QStringList({"Music|Copying File: a.mp3"}));
        // A new row never takes the handle of a removed one.
        const TSliderRow later = form.AddListItem(QStringLiteral("Photos"), itMove);
        QVERIFY(later != backup);
        form.RemoveListItem(backup);
        QCOMPARE(RowTexts(form), QStringList({"Music|Copying File: a.mp3", "Photos|Loading..."}));

        form.RemoveListItem(sync);
        form.RemoveListItem(later);
        QVERIFY(OverlayShown(form));
    }

    void rowImagesByKind()
    {
        TSliderForm form;
        // Told apart by what they show.
        QSet<QByteArray> images;
        for (const TItemType kind : {itUnknown, itPCSync, itSync, itBackup, itResotre, itMove}) {
            form.AddListItem(QStringLiteral("job"), kind);
            const QIcon icon = Rows(form)->topLevelItem(Rows(form)->topLevelItemCount() - 1)->icon(0);
            QVERIFY(!icon.isNull());
            const QImage image = icon.pixmap(16, 16).toImage();
            images.insert(QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes()));
        }
        QCOMPARE(images.size(), 6);
    }

    void placedAtTheBottomRight()
    {
        TSliderForm form;
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(form.size(), QSize(316, 194));
        form.ShowSlider();
        const QRect area = QApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.geometry().right(), area.right());
        QCOMPARE(form.geometry().bottom(), area.bottom());
    }
};

QTEST_MAIN(TestSliderForm)
#include "tst_sliderform.moc"
