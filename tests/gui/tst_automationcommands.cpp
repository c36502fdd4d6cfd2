#include "MessageBoxes.h"
#include "automation/AutomationCommands.h"
#include "automation/AutomationServer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {

QJsonObject Run(const QString &json)
{
    return TAutomationCommands::Execute(QJsonDocument::fromJson(json.toUtf8()).object());
}

QString Text(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble())
        return QString::number(value.toInt());
    return value.toString();
}

} // namespace

// A window with one control of each kind the protocol reads, a tray-like
// menu, and a list; shown on the offscreen screen.
class TestAutomationCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pathsFindControls_data();
    void pathsFindControls();
    void controlsAreReadAsTheUserSeesThem_data();
    void controlsAreReadAsTheUserSeesThem();
    void messageBoxTexts_data();
    void messageBoxTexts();
    void pressesHappenAfterTheReply_data();
    void pressesHappenAfterTheReply();
    void refusedRequestsChangeNothing_data();
    void refusedRequestsChangeNothing();
    void spinValueIsTypedIn();
    void rowsAreReadSelectedAndDoubleClicked();
    void comboAndSpinBoxAreSetAsTheUserSetsThem();
    void fileDialogTakesThePathAsTyped();
    void serverAnswersLineByLineOnAPrivateSocket();

private:
    std::unique_ptr<QWidget> FWindow;
    std::unique_ptr<QMenu> FMenu;
    QTreeWidget *FList = nullptr;
    QComboBox *FCombo = nullptr;
    QSpinBox *FSpin = nullptr;
    QSpinBox *FHourSpin = nullptr;
    int FPicks = 0;
    int FGoClicks = 0, FDisabledClicks = 0, FExitTriggers = 0;
};

void TestAutomationCommands::init()
{
    FGoClicks = FDisabledClicks = FExitTriggers = FPicks = 0;
    FWindow = std::make_unique<QWidget>();
    FWindow->setObjectName(QStringLiteral("Console"));
    FWindow->setWindowTitle(QStringLiteral("New Drive Detected. E:\\"));
    auto *layout = new QVBoxLayout(FWindow.get());
    auto *label = new QLabel(QStringLiteral("<b>Drive</b> E:\\ &amp; more"), FWindow.get());
    label->setObjectName(QStringLiteral("RichLabel"));
    auto *plain = new QLabel(QStringLiteral("<Error Loading Data>"), FWindow.get());
    plain->setObjectName(QStringLiteral("PlainLabel"));
    plain->setTextFormat(Qt::PlainText);
    auto *check = new QCheckBox(QStringLiteral("&Auto close after job completed"), FWindow.get());
    check->setObjectName(QStringLiteral("cbAutoClose"));
    check->setChecked(true);
    auto *bar = new QProgressBar(FWindow.get());
    bar->setObjectName(QStringLiteral("pbTotal"));
    bar->setRange(0, 200);
    bar->setValue(40);
    auto *edit = new QLineEdit(QStringLiteral("Docs"), FWindow.get());
    edit->setObjectName(QStringLiteral("NameEdit"));
    FSpin = new QSpinBox(FWindow.get());
    FSpin->setObjectName(QStringLiteral("seLimit"));
    FSpin->setRange(100, 6000000);
    FSpin->setValue(300);
    auto *disabled = new QPushButton(QStringLiteral("Run"), FWindow.get());
    disabled->setObjectName(QStringLiteral("btnRun"));
    disabled->setEnabled(false);
    connect(disabled, &QPushButton::clicked, this, [this] { ++FDisabledClicks; });
    auto *tabs = new QTabWidget(FWindow.get());
    tabs->setObjectName(QStringLiteral("ThreadState"));
    for (const QString &caption : {QStringLiteral("Job list"), QStringLiteral("Docs")}) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("Page%1").arg(tabs->count()));
        auto *go = new QPushButton(QStringLiteral("Save && close ") + caption, page);
        go->setObjectName(QStringLiteral("BtnGo"));
        if (caption == QLatin1String("Job list"))
            connect(go, &QPushButton::clicked, this, [this] { ++FGoClicks; });
        tabs->addTab(page, caption);
    }
    FList = new QTreeWidget(FWindow.get());
    FList->setObjectName(QStringLiteral("ListView1"));
    FList->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Job Name")});
    for (const QString &name : {QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")})
        FList->addTopLevelItem(new QTreeWidgetItem({QStringLiteral("Backup To USB"), name}));
    FCombo = new QComboBox(FWindow.get());
    FCombo->setObjectName(QStringLiteral("ComboBoxMode"));
    FCombo->addItems({QStringLiteral("Weekly"), QStringLiteral("Monthly"), QStringLiteral("Yearly")});
    FCombo->setCurrentIndex(1);
    connect(FCombo, &QComboBox::activated, this, [this] { ++FPicks; });
    FHourSpin = new QSpinBox(FWindow.get());
    FHourSpin->setObjectName(QStringLiteral("SpinEditH"));
    FHourSpin->setRange(-1, 24);
    for (QWidget *widget : std::initializer_list<QWidget *>{label, plain, check, bar, edit, disabled, tabs,
                                                            FList, FCombo, FSpin, FHourSpin})
        layout->addWidget(widget);
    FWindow->show();

    FMenu = std::make_unique<QMenu>();
    FMenu->setObjectName(QStringLiteral("TrayMenu"));
    FMenu->addAction(QStringLiteral("Open Drive"))->setObjectName(QStringLiteral("OpenDrive1"));
    FMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction *exit = FMenu->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(exit, &QAction::triggered, this, [this] { ++FExitTriggers; });
    QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
}

void TestAutomationCommands::cleanup()
{
    FMenu.reset();
    FWindow.reset();
    QCoreApplication::processEvents();
}

void TestAutomationCommands::pathsFindControls_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text"); // the control's text, or the error
    QTest::newRow("child by name") << "Console/NameEdit"
                                   << "QLineEdit"
                                   << "Docs";
    QTest::newRow("window by its class") << "QWidget/NameEdit"
                                         << "QLineEdit"
                                         << "Docs";
    QTest::newRow("the shown one of two with one name") << "Console/BtnGo"
                                                        << "QPushButton"
                                                        << "Save & close Job list";
    QTest::newRow("step by class") << "Console/ThreadState/QPushButton"
                                   << "QPushButton"
                                   << "Save & close Job list";
    QTest::newRow("action of a hidden menu") << "TrayMenu/Exit1"
                                             << "QAction"
                                             << "Exit";
    QTest::newRow("separator") << "TrayMenu/N1"
                               << "QAction"
                               << "-";
    QTest::newRow("missing child") << "Console/ThreadState/Nothing"
                                   << ""
                                   << "no 'Nothing' in 'Console/ThreadState'";
    QTest::newRow("missing window") << "trovalo::TOpenFlash/OKBtn"
                                    << ""
                                    << "no window 'trovalo::TOpenFlash'";
    QTest::newRow("empty path") << "/"
                                << ""
                                << "no path given";
}

void TestAutomationCommands::pathsFindControls()
{
    QFETCH(QString, path);
    QFETCH(QString, className);
    QFETCH(QString, text);
    const QJsonObject reply = TAutomationCommands::Execute({{"cmd", "find"}, {"path", path}});
    if (className.isEmpty()) {
        QVERIFY(!reply.value("ok").toBool());
        QCOMPARE(reply.value("error").toString(), text);
        return;
    }
    QVERIFY2(reply.value("ok").toBool(), qPrintable(reply.value("error").toString()));
    QCOMPARE(reply.value("class").toString(), className);
    QCOMPARE(reply.value("text").toString(), text);
}

void TestAutomationCommands::controlsAreReadAsTheUserSeesThem_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    QTest::newRow("markup removed") << "Console/RichLabel"
                                    << "text"
                                    << "Drive E:\\ & more";
    QTest::newRow("plain text kept as is") << "Console/PlainLabel"
                                           << "text"
                                           << "<Error Loading Data>";
    QTest::newRow("check box caption without mnemonic") << "Console/cbAutoClose"
                                                        << "text"
                                                        << "Auto close after job completed";
    QTest::newRow("check box state") << "Console/cbAutoClose"
                                     << "checked"
                                     << "true";
    QTest::newRow("progress value") << "Console/pbTotal"
                                    << "value"
                                    << "40";
    QTest::newRow("progress maximum") << "Console/pbTotal"
                                      << "max"
                                      << "200";
    QTest::newRow("disabled button") << "Console/btnRun"
                                     << "enabled"
                                     << "false";
    QTest::newRow("window caption") << "Console"
                                    << "title"
                                    << "New Drive Detected. E:\\";
    QTest::newRow("current tab") << "Console/ThreadState"
                                 << "current"
                                 << "0";
    QTest::newRow("shown tab's button") << "Console/ThreadState/QWidget/BtnGo"
                                        << "visible"
                                        << "true";
    QTest::newRow("hidden tab's button") << "Console/Page1/BtnGo"
                                         << "visible"
                                         << "false";
    QTest::newRow("spin edit value") << "Console/seLimit"
                                     << "value"
                                     << "300";
    QTest::newRow("action shortcut") << "TrayMenu/Exit1"
                                     << "shortcut"
                                     << "Ctrl+X";
}

void TestAutomationCommands::controlsAreReadAsTheUserSeesThem()
{
    QFETCH(QString, path);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    const QJsonObject reply = TAutomationCommands::Execute({{"cmd", "find"}, {"path", path}});
    QVERIFY2(reply.value("ok").toBool(), qPrintable(reply.value("error").toString()));
    QCOMPARE(Text(reply.value(field)), expected);
}

void TestAutomationCommands::messageBoxTexts_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    QTest::newRow("three lines") << "Backup file operation completed !\nTotal Files : 6\nErrors : 0"
                                 << "Job Completed.";
    QTest::newRow("path with markup characters") << "Cannot read C:\\<b>a & b</b>\\x.txt"
                                                 << "Errors In Input.";
    QTest::newRow("no title line") << "Are you sure you want to exit Trovalo?\nJob Name : <Docs>"
                                   << "";
}

void TestAutomationCommands::messageBoxTexts()
{
    QFETCH(QString, message);
    QFETCH(QString, title);
    const std::unique_ptr<QMessageBox> box = BuildMessageBox(
        TMessageRequest{message, title, QStringLiteral("Trovalo"), mtInformation, {mrYes, mrNo}});
    box->show();
    QJsonObject shown;
    for (const QJsonValue &window : Run(R"({"cmd":"windows"})").value("windows").toArray()) {
        if (window.toObject().value("class") == QLatin1String("QMessageBox"))
            shown = window.toObject();
    }
    QCOMPARE(shown.value("title").toString(), QStringLiteral("Trovalo"));
    // With a title line the message is the informative text below it.
    QCOMPARE(shown.value("text").toString(), title.isEmpty() ? message : title);
    QCOMPARE(shown.value("informative").toString(), title.isEmpty() ? QString() : message);
    QCOMPARE(shown.value("buttons").toArray(), QJsonArray({"Yes", "No"}));
}

void TestAutomationCommands::pressesHappenAfterTheReply_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("counter");
    QTest::newRow("button") << R"({"cmd":"click","path":"Console/BtnGo"})"
                            << "go";
    QTest::newRow("menu action") << R"({"cmd":"click","path":"TrayMenu/Exit1"})"
                                 << "exit";
    QTest::newRow("message box button") << R"({"cmd":"press","text":"No"})"
                                        << "box";
}

void TestAutomationCommands::pressesHappenAfterTheReply()
{
    QFETCH(QString, request);
    QFETCH(QString, counter);
    const std::unique_ptr<QMessageBox> box =
        BuildMessageBox(TMessageRequest{"Sure?", "", "Trovalo", mtConfirmation, {mrYes, mrNo}});
    box->show();
    const auto happened = [&] {
        if (counter == QLatin1String("go"))
            return FGoClicks;
        if (counter == QLatin1String("exit"))
            return FExitTriggers;
        return box->clickedButton() == box->button(QMessageBox::No) ? 1 : 0;
    };
    const QJsonObject reply = Run(request);
    QVERIFY2(reply.value("ok").toBool(), qPrintable(reply.value("error").toString()));
    QCOMPARE(happened(), 0); // a modal window opened by the press would block the reply otherwise
    QTRY_COMPARE(happened(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(happened(), 1);
}

void TestAutomationCommands::refusedRequestsChangeNothing_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("error");
    QTest::newRow("disabled button") << R"({"cmd":"click","path":"Console/btnRun"})"
                                     << "'btnRun' is disabled";
    QTest::newRow("button on a hidden tab") << R"({"cmd":"click","path":"Console/Page1/BtnGo"})"
                                            << "'BtnGo' is hidden";
    QTest::newRow("a label") << R"({"cmd":"click","path":"Console/RichLabel"})"
                             << "a QLabel cannot be clicked";
    QTest::newRow("rows of a label") << R"({"cmd":"rows","path":"Console/RichLabel"})"
                                     << "'Console/RichLabel' is a QLabel";
    QTest::newRow("row past the end") << R"({"cmd":"select","path":"Console/ListView1","row":3})"
                                      << "row 3 does not exist (3 rows)";
    QTest::newRow("several rows in a single-row list")
        << R"({"cmd":"select","path":"Console/ListView1","rows":[0,2]})"
        << "'ListView1' selects one row at a time";
    QTest::newRow("one of the rows past the end")
        << R"({"cmd":"select","path":"Console/ListView1","rows":[5]})"
        << "row 5 does not exist (3 rows)";
    QTest::newRow("no row matches") << R"({"cmd":"activate","path":"Console/ListView1","match":"delta"})"
                                    << "no row contains 'delta'";
    QTest::newRow("no message box") << R"({"cmd":"press","text":"OK"})"
                                    << "no message box is shown";
    QTest::newRow("no file dialog") << R"({"cmd":"filedialog","file":"/tmp/x.log"})"
                                    << "no file dialog is shown";
    QTest::newRow("negative throttle") << R"({"cmd":"throttle","ms":-5})"
                                       << "ms must be 0 to 10000";
    QTest::newRow("no such item") << R"({"cmd":"choose","path":"Console/ComboBoxMode","text":"Daily"})"
                                  << "'ComboBoxMode' has no item 'Daily'";
    QTest::newRow("value out of range") << R"({"cmd":"setvalue","path":"Console/SpinEditH","value":25})"
                                        << "'SpinEditH' takes a whole number from -1 to 24";
    QTest::newRow("value not whole") << R"({"cmd":"setvalue","path":"Console/SpinEditH","value":2.5})"
                                     << "'SpinEditH' takes a whole number from -1 to 24";
    QTest::newRow("spin value below the range") << R"({"cmd":"setvalue","path":"Console/seLimit","value":50})"
                                                << "'seLimit' takes a whole number from 100 to 6000000";
    QTest::newRow("spin value as text") << R"({"cmd":"setvalue","path":"Console/seLimit","value":"3000"})"
                                        << "'seLimit' takes a whole number from 100 to 6000000";
    QTest::newRow("unknown command") << R"({"cmd":"explode"})"
                                     << "unknown command 'explode'";
}

void TestAutomationCommands::refusedRequestsChangeNothing()
{
    QFETCH(QString, request);
    QFETCH(QString, error);
    FList->setCurrentItem(FList->topLevelItem(1));
    const QJsonObject reply = Run(request);
    QVERIFY(!reply.value("ok").toBool());
    QVERIFY2(reply.value("error").toString().startsWith(error), qPrintable(reply.value("error").toString()));
    QCoreApplication::processEvents();
    QCOMPARE(FDisabledClicks, 0);
    QCOMPARE(FGoClicks, 0);
    QCOMPARE(FList->currentItem(), FList->topLevelItem(1));
    QCOMPARE(FCombo->currentIndex(), 1);
    QCOMPARE(FHourSpin->value(), 0);
    QCOMPARE(FSpin->value(), 300);
}

void TestAutomationCommands::spinValueIsTypedIn()
{
    QList<int> changes;
    connect(FSpin, &QSpinBox::valueChanged, this, [&changes](int value) { changes << value; });
    const QJsonObject reply = Run(R"({"cmd":"setvalue","path":"Console/seLimit","value":3000})");
    QVERIFY2(reply.value("ok").toBool(), qPrintable(reply.value("error").toString()));
    QCOMPARE(reply.value("value").toInt(), 3000);
    QCOMPARE(FSpin->value(), 3000);
    QCOMPARE(changes, QList<int>{3000});
}

void TestAutomationCommands::rowsAreReadSelectedAndDoubleClicked()
{
    const QJsonObject rows = Run(R"({"cmd":"rows","path":"Console/ListView1"})");
    QCOMPARE(rows.value("headers").toArray(), QJsonArray({"Type", "Job Name"}));
    QCOMPARE(rows.value("rows").toArray().size(), 3);
    QCOMPARE(rows.value("rows").toArray().at(2).toArray(), QJsonArray({"Backup To USB", "gamma"}));
    QCOMPARE(rows.value("selected").toArray(), QJsonArray());
    FList->topLevelItem(2)->setData(0, Qt::UserRole + 1, 2);
    QCOMPARE(Run(R"({"cmd":"rows","path":"Console/ListView1","role":257})").value("rows").toArray().at(2),
             QJsonArray({"2", ""}));

    QCOMPARE(Run(R"({"cmd":"select","path":"Console/ListView1","match":"beta"})").value("row").toInt(), 1);
    QCOMPARE(FList->currentItem(), FList->topLevelItem(1));
    QCOMPARE(FList->selectedItems(), QList<QTreeWidgetItem *>{FList->topLevelItem(1)});
    QCOMPARE(Run(R"({"cmd":"rows","path":"Console/ListView1"})").value("selected").toArray(),
             QJsonArray({1}));

    // Several rows, where the list lets the user select several.
    FList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QVERIFY(Run(R"({"cmd":"select","path":"Console/ListView1","rows":[2,0]})").value("ok").toBool());
    QCOMPARE(FList->currentItem(), FList->topLevelItem(2));
    QCOMPARE(Run(R"({"cmd":"rows","path":"Console/ListView1"})").value("selected").toArray(),
             QJsonArray({0, 2}));
    FList->setSelectionMode(QAbstractItemView::SingleSelection);

    QTreeWidgetItem *doubleClicked = nullptr;
    connect(FList, &QTreeWidget::itemDoubleClicked, this,
            [&](QTreeWidgetItem *item) { doubleClicked = item; });
    QVERIFY(Run(R"({"cmd":"activate","path":"Console/ListView1","row":2})").value("ok").toBool());
    QCOMPARE(doubleClicked, nullptr);
    QTRY_COMPARE(doubleClicked, FList->topLevelItem(2));
}

void TestAutomationCommands::comboAndSpinBoxAreSetAsTheUserSetsThem()
{
    QJsonObject reply = Run(R"({"cmd":"choose","path":"Console/ComboBoxMode","text":"Yearly"})");
    QVERIFY2(reply.value("ok").toBool(), qPrintable(reply.value("error").toString()));
    QCOMPARE(FCombo->currentIndex(), 2);
    QCOMPARE(FPicks, 1);
    reply = Run(R"({"cmd":"setvalue","path":"Console/SpinEditH","value":-1})");
    QVERIFY2(reply.value("ok").toBool(), qPrintable(reply.value("error").toString()));
    QCOMPARE(FHourSpin->value(), -1);
    QCOMPARE(Run(R"({"cmd":"find","path":"Console/SpinEditH"})").value("value").toInt(), -1);
    FHourSpin->setEnabled(false);
    reply = Run(R"({"cmd":"setvalue","path":"Console/SpinEditH","value":3})");
    QCOMPARE(reply.value("error").toString(), QStringLiteral("'SpinEditH' is hidden or disabled"));
    QCOMPARE(FHourSpin->value(), -1);
}

void TestAutomationCommands::fileDialogTakesThePathAsTyped()
{
    QTemporaryDir folder;
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(QStringLiteral("Trovalo.log"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QString file = folder.filePath(QStringLiteral("saved logs/Docs run.log"));
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QVERIFY(Run(QStringLiteral(R"({"cmd":"filedialog","file":"%1"})").arg(file)).value("ok").toBool());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.selectedFiles(), QStringList{file});
}

void TestAutomationCommands::serverAnswersLineByLineOnAPrivateSocket()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("automation"));
    {
        QFile stale(path); // left by a program that was killed
        QVERIFY(stale.open(QIODevice::WriteOnly));
    }
    TAutomationServer server;
    QString error;
    QVERIFY2(server.Listen(path, &error), qPrintable(error));
    QCOMPARE(QFileInfo(path).permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFileDevice::Permissions());

    QLocalSocket socket;
    socket.connectToServer(path);
    QVERIFY(socket.waitForConnected(5000));
    // Two requests in one write, one of them broken: two replies, in order.
    socket.write("{\"cmd\":\"ping\"}\nnot json\n");
    QByteArray replies;
    QTRY_COMPARE(replies.append(socket.readAll()).count('\n'), 2);
    const QList<QByteArray> lines = replies.trimmed().split('\n');
    QCOMPARE(QJsonDocument::fromJson(lines.at(0)).object().value("pid").toInteger(),
             QCoreApplication::applicationPid());
    const QJsonObject broken = QJsonDocument::fromJson(lines.at(1)).object();
    QCOMPARE(broken.value("ok").toBool(true), false);
    QVERIFY(broken.value("error").toString().startsWith(QStringLiteral("not a JSON object")));
}

QTEST_MAIN(TestAutomationCommands)
#include "tst_automationcommands.moc"
