#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using namespace trovalo;

class TestMessageBoxes : public QObject
{
    Q_OBJECT

private slots:
    void realBoxOffersButtonsAndReturnsThePressedOne_data();
    void realBoxOffersButtonsAndReturnsThePressedOne();
    void closingWithoutAButton_data();
    void closingWithoutAButton();
};

void TestMessageBoxes::realBoxOffersButtonsAndReturnsThePressedOne_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press");
    QTest::addColumn<int>("expected");
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("info, OK") << "info" << int(QMessageBox::Ok) << int(QMessageBox::Ok) << 1;
    QTest::newRow("OK, Cancel: Cancel")
        << "okcancel" << int(QMessageBox::Ok | QMessageBox::Cancel) << int(QMessageBox::Cancel) << 2;
    QTest::newRow("Yes, No: Yes") << "yesno" << yesNo << int(QMessageBox::Yes) << 6;
    QTest::newRow("Yes, No: No") << "yesno" << yesNo << int(QMessageBox::No) << 7;
    QTest::newRow("Yes, No, Cancel: Cancel")
        << "yesnocancel" << (yesNo | QMessageBox::Cancel) << int(QMessageBox::Cancel) << 2;
}

void TestMessageBoxes::realBoxOffersButtonsAndReturnsThePressedOne()
{
    QFETCH(QString, function);
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(int, expected);
    int offered = -1;
    // Answers the modal window once it is up.
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || offered >= 0)
            return;
        offered = int(box->standardButtons());
        // Questions show the information icon.
        QCOMPARE(box->icon(), QMessageBox::Information);
        QCOMPARE(box->windowTitle(), QStringLiteral("Trovalo"));
        if (QAbstractButton *button = box->button(QMessageBox::StandardButton(press)))
            button->click();
        else
            box->reject();
    });
    timer.start(20);
    const QString body = QStringLiteral("body"), title = QStringLiteral("title"),
                  caption = QStringLiteral("Trovalo");
    int result = 0;
    if (function == QStringLiteral("info"))
        result = ShowInfoDialog(body, title, caption, mtConfirmation);
    else if (function == QStringLiteral("okcancel"))
        result = ShowOKCancleDialog(body, title, caption, mtConfirmation);
    else
        result =
            ShowYesNoDialog(body, title, caption, mtConfirmation, function == QStringLiteral("yesnocancel"));
    QCOMPARE(offered, buttons);
    QCOMPARE(result, expected);
}

void TestMessageBoxes::closingWithoutAButton_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<bool>("escape"); // Esc instead of the close box
    QTest::addColumn<int>("expected");
    // A question without Cancel has no answer for closing: neither Yes nor No.
    QTest::newRow("Yes, No: close box") << "yesno" << false << 0;
    QTest::newRow("Yes, No: Esc") << "yesno" << true << 0;
    QTest::newRow("Yes, No, Cancel: close box") << "yesnocancel" << false << 2;
    QTest::newRow("Yes, No, Cancel: Esc") << "yesnocancel" << true << 2;
    QTest::newRow("OK, Cancel: close box") << "okcancel" << false << 2;
    QTest::newRow("info: close box") << "info" << false << 1;
}

void TestMessageBoxes::closingWithoutAButton()
{
    QFETCH(QString, function);
    QFETCH(bool, escape);
    QFETCH(int, expected);
    int attempts = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        // A box that refuses to close is answered No after a few tries, so
        // the test fails instead of hanging.
        if (++attempts > 5) {
            box->button(QMessageBox::No) ? box->button(QMessageBox::No)->click() : box->reject();
            return;
        }
        if (escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    timer.start(20);
    const QString body = QStringLiteral("Are you sure?"), title = QStringLiteral("Delete Job"),
                  caption = QStringLiteral("Trovalo");
    int result = -1;
    if (function == QStringLiteral("info"))
        result = ShowInfoDialog(body, title, caption, mtInformation);
    else if (function == QStringLiteral("okcancel"))
        result = ShowOKCancleDialog(body, title, caption, mtConfirmation);
    else
        result =
            ShowYesNoDialog(body, title, caption, mtConfirmation, function == QStringLiteral("yesnocancel"));
    QCOMPARE(result, expected);
    QCOMPARE(attempts, 1);
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
