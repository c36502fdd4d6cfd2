#include "DialogAnswers.h"
#include "MessageBoxes.h"
#include "dialogs/BusyDialog.h"
#include "dialogs/BusyDlg.h"
#include "dialogs/InputBox.h"
#include "dialogs/RatioBoxEx.h"
#include "dialogs/SkipAbortRetryDialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace trovalo;

namespace {

const QString InputErrorTitle = QStringLiteral("Errors In Input.");
const QString FolderCharactersMessage =
    QStringLiteral("Folder name cannot contain any of the aollowing characters\r\n\\/:*?\"<>|");

// Drives a real modal run step by step: each step is tried every few
// milliseconds until it reports done. A run that takes too long is ended,
// so a faulty dialog fails the test instead of hanging it.
class TModalScript : public QObject
{
public:
    using TStep = std::function<bool()>;

    explicit TModalScript(QList<TStep> steps)
        : FSteps(std::move(steps))
    {
        connect(&FTimer, &QTimer::timeout, this, &TModalScript::Tick);
        FTimer.start(2);
        FClock.start();
    }
    bool Finished() const { return FNext == FSteps.size(); }

private:
    void Tick()
    {
        if (FClock.elapsed() > 10000) {
            FTimer.stop();
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->QDialog::done(-1);
            return;
        }
        while (FNext < FSteps.size() && FSteps.at(FNext)())
            ++FNext;
    }

    QList<TStep> FSteps;
    int FNext = 0;
    QTimer FTimer;
    QElapsedTimer FClock;
};

TParentDialog *ShownDialog()
{
    auto *dialog = qobject_cast<TParentDialog *>(QApplication::activeModalWidget());
    return dialog && dialog->isVisible() && dialog->FadeType() == 0 &&
                   dialog->Alpha() == TParentDialog::FullAlpha
               ? dialog
               : nullptr;
}

template <typename T>
T *Child(QWidget *dialog, const char *name)
{
    return dialog ? dialog->findChild<T *>(QString::fromLatin1(name)) : nullptr;
}

void Press(QWidget *dialog, const char *button)
{
    if (auto *pushButton = Child<QPushButton>(dialog, button))
        pushButton->click();
}

using test::TMessageRecorder;
using test::TModalAnswer;

} // namespace

class TestCommonDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openerFollowsTheDialogsOpacity_data();
    void openerFollowsTheDialogsOpacity();
    void fadeDimsOpenerUntilTheFadeOutEnds_data();
    void fadeDimsOpenerUntilTheFadeOutEnds();
    void folderNameRuleKeepsTheBoxOpen_data();
    void folderNameRuleKeepsTheBoxOpen();
    void typingRules_data();
    void typingRules();
    void cancelKeepsThePreset_data();
    void cancelKeepsThePreset();
    void skipAbortRetryAnswers_data();
    void skipAbortRetryAnswers();
    void ratioBoxReturnsTheChoice_data();
    void ratioBoxReturnsTheChoice();
    void busyWindowsNeedAVisibleOwner_data();
    void busyWindowsNeedAVisibleOwner();
    void fileDialogFiltersAndExtension_data();
    void fileDialogFiltersAndExtension();
    void fileDialogsAnsweredByAHandler_data();
    void fileDialogsAnsweredByAHandler();
};

void TestCommonDialogs::initTestCase()
{
    // The offscreen platform keeps the opacity and size hints but warns on
    // every fade step.
    static QtMessageHandler forward = nullptr;
    forward =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (!text.startsWith(QStringLiteral("This plugin does not support")))
                forward(type, context, text);
        });
}

void TestCommonDialogs::openerFollowsTheDialogsOpacity_data()
{
    QTest::addColumn<int>("dialogAlpha");
    QTest::addColumn<int>("openerAlpha");
    // 255 - trunc(55 / 255 * alpha), worked out by hand.
    QTest::newRow("hidden") << 0 << 255;
    QTest::newRow("first fade-in step") << 10 << 253;
    QTest::newRow("half way") << 128 << 228;
    QTest::newRow("fade-out step") << 225 << 207;
    QTest::newRow("fully shown") << 255 << 200;
}

void TestCommonDialogs::openerFollowsTheDialogsOpacity()
{
    QFETCH(int, dialogAlpha);
    QFETCH(int, openerAlpha);
    QCOMPARE(TParentDialog::BlendAlphaFor(dialogAlpha), openerAlpha);
}

void TestCommonDialogs::fadeDimsOpenerUntilTheFadeOutEnds_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("closeOnEsc");
    QTest::addColumn<int>("expected");
    QTest::newRow("OK") << "BtnOK" << true << int(mrOk);
    QTest::newRow("Cancel") << "BtnCancel" << true << int(mrCancel);
    QTest::newRow("Esc") << "esc" << true << int(mrCancel);
    QTest::newRow("close box") << "close" << true << int(mrCancel);
    // Esc is ignored; the script then presses OK.
    QTest::newRow("Esc switched off") << "esc" << false << int(mrOk);
}

void TestCommonDialogs::fadeDimsOpenerUntilTheFadeOutEnds()
{
    QFETCH(QString, action);
    QFETCH(bool, closeOnEsc);
    QFETCH(int, expected);
    QWidget opener;
    opener.setWindowTitle(QStringLiteral("Console"));
    opener.show();
    QVERIFY(QTest::qWaitForWindowExposed(&opener));
    TInputBox box(nullptr, &opener);
    box.SetCloseonEscKey(closeOnEsc);
    box.SetValue(QStringLiteral("x"));

    int openerWhileShown = -1, openerWhileFading = -1;
    bool refusedFirstClose = false;
    bool openerMatchedEveryStep = true;
    TModalScript script({[&] {
                             // Every fade-in step dims the opener to match.
                             if (TParentDialog::OpacityOf(&opener) !=
                                 TParentDialog::BlendAlphaFor(box.Alpha()))
                                 openerMatchedEveryStep = false;
                             if (!ShownDialog())
                                 return false;
                             openerWhileShown = TParentDialog::OpacityOf(&opener);
                             if (action == QStringLiteral("esc"))
                                 QTest::keyClick(&box, Qt::Key_Escape);
                             else if (action == QStringLiteral("close"))
                                 box.close();
                             else
                                 Press(&box, qPrintable(action));
                             if (!closeOnEsc) {
                                 refusedFirstClose = box.isVisible() && box.FadeType() == 0;
                                 Press(&box, "BtnOK");
                                 return true;
                             }
                             refusedFirstClose = box.isVisible() && box.FadeType() == 1;
                             return true;
                         },
                         [&] {
                             if (box.isVisible() && box.Alpha() < TParentDialog::FullAlpha) {
                                 openerWhileFading = TParentDialog::OpacityOf(&opener);
                                 return true;
                             }
                             return !box.isVisible();
                         }});
    const int result = box.exec();
    QVERIFY(script.Finished());
    QCOMPARE(result, expected);
    QCOMPARE(openerWhileShown, TParentDialog::PARENT_MINI_ALPHA);
    QVERIFY(refusedFirstClose);
    QVERIFY(openerMatchedEveryStep);
    if (openerWhileFading >= 0) {
        QVERIFY(openerWhileFading > TParentDialog::PARENT_MINI_ALPHA);
        QVERIFY(openerWhileFading < TParentDialog::FullAlpha);
    }
    QCOMPARE(TParentDialog::OpacityOf(&opener), TParentDialog::FullAlpha);
    QCOMPARE(box.Alpha(), 0);
}

void TestCommonDialogs::folderNameRuleKeepsTheBoxOpen_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("errorMessage");
    const QString characters = QStringLiteral("\\/:*?\"<>|");
    for (QChar character : characters)
        QTest::newRow(qPrintable(QStringLiteral("a%1b").arg(character)))
            << QStringLiteral("a%1b").arg(character) << FolderCharactersMessage;
    // A name that names no new folder is refused too.
    QTest::newRow("empty") << QString() << QStringLiteral("Folder name cannot be empty.");
    QTest::newRow("parent") << QStringLiteral("..")
                            << QStringLiteral("Folder name cannot be \".\" or \"..\".");
    QTest::newRow("valid at once") << QStringLiteral("ab") << QString();
}

void TestCommonDialogs::folderNameRuleKeepsTheBoxOpen()
{
    QFETCH(QString, typed);
    QFETCH(QString, errorMessage);
    TMessageRecorder messages;
    QWidget console;
    console.show();
    bool stayedOpen = false;
    TModalScript script({[&] {
        auto *box = ShownDialog();
        if (!box)
            return false;
        auto *edit = Child<QLineEdit>(box, "Edit1");
        edit->clear();
        QTest::keyClicks(edit, typed);
        Press(box, "BtnOK");
        stayedOpen = box->isVisible() && box->FadeType() == 0;
        if (stayedOpen) {
            edit->clear();
            QTest::keyClicks(edit, QStringLiteral("ab"));
            QTest::keyClick(edit, Qt::Key_Return);
        }
        return true;
    }});
    QString name = QStringLiteral("New Folder");
    const bool accepted =
        TInputBox::FileNameRequest(&console, QStringLiteral("Enter a name for the new folder."), name,
                                   QStringLiteral("New Folder"), QStringLiteral("Trovalo"));
    QVERIFY(script.Finished());
    QVERIFY(accepted);
    QCOMPARE(name, QStringLiteral("ab"));
    QCOMPARE(stayedOpen, !errorMessage.isEmpty());
    if (errorMessage.isEmpty()) {
        QVERIFY(messages.Requests.isEmpty());
        return;
    }
    QCOMPARE(messages.Requests.size(), 1);
    const TMessageRequest &shown = messages.Requests.first();
    QCOMPARE(shown.Message, errorMessage);
    QCOMPARE(shown.Title, InputErrorTitle);
    QCOMPARE(shown.Caption, QStringLiteral("New Folder"));
    QCOMPARE(shown.Kind, mtError);
}

void TestCommonDialogs::typingRules_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("new box takes everything") << QStringList() << QStringLiteral("a1 b2") << "a1 b2";
    QTest::newRow("password box, digits allowed")
        << QStringList{"allow"} << QStringLiteral("pa55word") << "pa55word";
    QTest::newRow("digits refused") << QStringList{"noallow"} << QStringLiteral("a1b2") << "ab";
    QTest::newRow("only digits refuses letters") << QStringList{"only"} << QStringLiteral("a1 b2") << "12";
    QTest::newRow("only digits allows digits again")
        << QStringList{"noallow", "only"} << QStringLiteral("a1b2") << "12";
    QTest::newRow("refusing digits ignored while only digits")
        << QStringList{"only", "noallow"} << QStringLiteral("a1b2") << "12";
    QTest::newRow("backspace passes with only digits")
        << QStringList{"only"} << QStringLiteral("12\b3") << "13";
    QTest::newRow("backspace passes with digits refused")
        << QStringList{"noallow"} << QStringLiteral("ab\bc") << "ac";
}

void TestCommonDialogs::typingRules()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    TInputBox box;
    for (const QString &setting : settings) {
        if (setting == QStringLiteral("allow"))
            box.SetAllowNumbers(true);
        else if (setting == QStringLiteral("noallow"))
            box.SetAllowNumbers(false);
        else if (setting == QStringLiteral("only"))
            box.SetOnlyNumbers(true);
    }
    auto *edit = Child<QLineEdit>(&box, "Edit1");
    QVERIFY(edit);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), expected);
}

void TestCommonDialogs::cancelKeepsThePreset_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<QString>("expectedValue");
    QTest::newRow("Cancel") << "BtnCancel" << int(mrCancel) << "Preset";
    QTest::newRow("Esc") << "esc" << int(mrCancel) << "Preset";
    QTest::newRow("OK") << "BtnOK" << int(mrOk) << "Changed";
    QTest::newRow("Enter") << "enter" << int(mrOk) << "Changed";
}

void TestCommonDialogs::cancelKeepsThePreset()
{
    QFETCH(QString, answer);
    QFETCH(int, expectedResult);
    QFETCH(QString, expectedValue);
    TModalAnswer handler([&](QDialog &dialog) {
        auto *edit = Child<QLineEdit>(&dialog, "Edit1");
        edit->setText(QStringLiteral("Changed"));
        if (answer == QStringLiteral("esc"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (answer == QStringLiteral("enter"))
            QTest::keyClick(edit, Qt::Key_Return);
        else
            Press(&dialog, qPrintable(answer));
        return dialog.result();
    });
    TInputBox box;
    box.SetTitle(QStringLiteral("Password ?"));
    box.SetValue(QStringLiteral("Preset"));
    QCOMPARE(ExecModal(box), expectedResult);
    QCOMPARE(box.Value(), expectedValue);

    QString name = QStringLiteral("Preset");
    QCOMPARE(TInputBox::FileNameRequest(nullptr, QStringLiteral("Enter a name for the new folder."), name,
                                        QStringLiteral("New Folder"), QStringLiteral("Trovalo")),
             expectedResult == mrOk);
    QCOMPARE(name, expectedValue);
}

void TestCommonDialogs::skipAbortRetryAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("expected");
    QTest::newRow("Skip") << "BtnSkip" << 2;
    QTest::newRow("Abort") << "BtnAbort" << 3;
    QTest::newRow("Retry") << "BtnRetry" << 4;
    QTest::newRow("Esc skips") << "esc" << 2;
}

void TestCommonDialogs::skipAbortRetryAnswers()
{
    QFETCH(QString, button);
    QFETCH(int, expected);
    QString caption, title, text;
    TModalAnswer handler([&](QDialog &dialog) {
        caption = dialog.windowTitle();
        title = Child<QLabel>(&dialog, "Label1")->text();
        text = Child<QLabel>(&dialog, "Label2")->text();
        if (button == QStringLiteral("esc"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            Press(&dialog, qPrintable(button));
        return dialog.result();
    });
    QCOMPARE(TSkipAbortRetryDialog::Ask(nullptr, QStringLiteral("Low Disk Space"),
                                        QStringLiteral("Drive E: full")),
             expected);
    QCOMPARE(caption, QStringLiteral("Trovalo"));
    QCOMPARE(title, QStringLiteral("Low Disk Space"));
    QCOMPARE(text, QStringLiteral("Drive E: full"));
}

void TestCommonDialogs::ratioBoxReturnsTheChoice_data()
{
    QTest::addColumn<int>("preset");
    QTest::addColumn<int>("pick");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<int>("expectedIndex");
    QTest::newRow("first preset, OK") << 0 << -1 << "BtnOK" << int(mrOk) << 0;
    QTest::newRow("third picked, OK") << 0 << 2 << "BtnOK" << int(mrOk) << 2;
    QTest::newRow("picked, Cancel") << 0 << 1 << "BtnCancel" << int(mrCancel) << 1;
    QTest::newRow("none preset") << -1 << -1 << "BtnOK" << int(mrOk) << -1;
}

void TestCommonDialogs::ratioBoxReturnsTheChoice()
{
    QFETCH(int, preset);
    QFETCH(int, pick);
    QFETCH(QString, button);
    QFETCH(int, expectedResult);
    QFETCH(int, expectedIndex);
    TRatioBoxEx box;
    box.SetTitle(QStringLiteral("Backup files between computers and USB drives."));
    box.SetGroupCaption(QStringLiteral("Select file copy direction"));
    box.SetItems({QStringLiteral("From Computer to USB drive"), QStringLiteral("From USB drive to Computer"),
                  QStringLiteral("From USB drive to USB drive")});
    box.SetItemIndex(1);
    box.SetItemIndex(preset);
    TModalAnswer handler([&](QDialog &dialog) {
        if (pick >= 0)
            Child<QRadioButton>(&dialog, qPrintable(QStringLiteral("RadioItem%1").arg(pick)))->click();
        Press(&dialog, qPrintable(button));
        return dialog.result();
    });
    QCOMPARE(ExecModal(box), expectedResult);
    QCOMPARE(box.ItemIndex(), expectedIndex);
}

void TestCommonDialogs::busyWindowsNeedAVisibleOwner_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("expectedCaption"); // empty: no window
    QTest::addColumn<QString>("expectedHeading");
    const QString processing = QStringLiteral("Processing Your Request ");
    const QString searching = QStringLiteral("Searching For File Folders ");
    QTest::newRow("dlg, no owner") << "dlg"
                                   << "none" << QString() << QString();
    QTest::newRow("dlg, hidden owner") << "dlg"
                                       << "hidden" << QString() << QString();
    QTest::newRow("dlg, shown owner") << "dlg"
                                      << "shown"
                                      << "Processing Request" << processing;
    QTest::newRow("dialog, no owner") << "dialog"
                                      << "none" << QString() << QString();
    QTest::newRow("dialog, hidden owner") << "dialog"
                                          << "hidden" << QString() << QString();
    QTest::newRow("dialog, shown owner") << "dialog"
                                         << "shown"
                                         << "Backup Wizard" << searching;
}

void TestCommonDialogs::busyWindowsNeedAVisibleOwner()
{
    QFETCH(QString, kind);
    QFETCH(QString, owner);
    QFETCH(QString, expectedCaption);
    QFETCH(QString, expectedHeading);
    QWidget wizard;
    wizard.setWindowTitle(QStringLiteral("Backup Wizard"));
    if (owner == QStringLiteral("shown"))
        wizard.show();
    QWidget *ownerWidget = owner == QStringLiteral("none") ? nullptr : &wizard;
    const QWidgetList existing = QApplication::topLevelWidgets();
    const QSet<QWidget *> before(existing.cbegin(), existing.cend());
    std::unique_ptr<QDialog> window;
    if (kind == QStringLiteral("dlg"))
        window = TBusyDlg::Execute(ownerWidget);
    else
        window = TBusyDialog::Execute(ownerWidget);
    if (expectedCaption.isEmpty()) {
        QVERIFY(!window);
        // Nothing shown behind the caller's back either.
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(before.contains(widget) || !widget->isVisible());
        return;
    }
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), expectedCaption);
    QCOMPARE(Child<QLabel>(window.get(), "Label1")->text(), expectedHeading);
    QCOMPARE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), kind == QStringLiteral("dlg"));
}

void TestCommonDialogs::fileDialogFiltersAndExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("extension");
    QTest::newRow("name with mask") << "Trovalo Suite Backup File (*.Zja)"
                                    << "*.Zja"
                                    << "Trovalo Suite Backup File (*.Zja)"
                                    << "Zja";
    QTest::newRow("plain name") << "Log File"
                                << "*.log"
                                << "Log File (*.log)"
                                << "log";
    QTest::newRow("several masks") << "Pictures"
                                   << "*.png;*.jpg"
                                   << "Pictures (*.png *.jpg)"
                                   << "png";
    QTest::newRow("any file") << "All Files"
                              << "*.*"
                              << "All Files (*.*)"
                              << "";
    QTest::newRow("no name") << ""
                             << "*.zjs"
                             << "*.zjs"
                             << "zjs";
}

void TestCommonDialogs::fileDialogFiltersAndExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, mask);
    QFETCH(QString, filter);
    QFETCH(QString, extension);
    const QList<TFileType> types{{name, mask}, {QStringLiteral("Other"), QStringLiteral("*.txt")}};
    QCOMPARE(FileDialogFilters(types), (QStringList{filter, QStringLiteral("Other (*.txt)")}));
    QCOMPARE(DefaultExtension(types), extension);
}

void TestCommonDialogs::fileDialogsAnsweredByAHandler_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("answer"); // relative to the folder; empty: cancelled
    QTest::addColumn<bool>("expectedChosen");
    QTest::addColumn<QString>("expectedFile"); // relative; empty: FileName unchanged
    QTest::newRow("open existing") << false << "jobs/Backup.zja" << true << "jobs/Backup.zja";
    QTest::newRow("open missing") << false << "jobs/Missing.zja" << false << "";
    QTest::newRow("open cancelled") << false << "" << false << "";
    QTest::newRow("save gets the extension") << true << "logs/Trovalo" << true << "logs/Trovalo.log";
    QTest::newRow("save over an existing file") << true << "logs/Old.log" << true << "logs/Old.log";
    QTest::newRow("save into a missing folder") << true << "nowhere/Trovalo.log" << false << "";
    QTest::newRow("save cancelled") << true << "" << false << "";
}

void TestCommonDialogs::fileDialogsAnsweredByAHandler()
{
    QFETCH(bool, save);
    QFETCH(QString, answer);
    QFETCH(bool, expectedChosen);
    QFETCH(QString, expectedFile);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("jobs")) && dir.mkpath(QStringLiteral("logs")));
    for (const QString &existing : {QStringLiteral("jobs/Backup.zja"), QStringLiteral("logs/Old.log")}) {
        QFile file(dir.filePath(existing));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString preset =
        dir.filePath(save ? QStringLiteral("logs/Trovalo.log") : QStringLiteral("jobs/x.zja"));
    QString startFolder, selectedAtStart;
    QStringList filters;
    TModalAnswer handler([&](QDialog &dialog) {
        auto &fileDialog = dynamic_cast<QFileDialog &>(dialog);
        startFolder = fileDialog.directory().absolutePath();
        filters = fileDialog.nameFilters();
        if (answer.isEmpty())
            return int(QDialog::Rejected);
        fileDialog.selectFile(dir.filePath(answer));
        return int(QDialog::Accepted);
    });
    QString fileName = preset;
    const QList<TFileType> types =
        save ? QList<TFileType>{{QStringLiteral("Log File"), QStringLiteral("*.log")}}
             : QList<TFileType>{
                   {QStringLiteral("Trovalo Suite Backup File (*.Zja)"), QStringLiteral("*.zja")}};
    const bool chosen = save ? ShowFileSaveDialog(fileName, types) : ShowFileOpenDialog(fileName, types);
    QCOMPARE(chosen, expectedChosen);
    QCOMPARE(startFolder, QFileInfo(preset).absolutePath());
    QCOMPARE(filters, FileDialogFilters(types));
    QCOMPARE(fileName, expectedFile.isEmpty() ? preset : dir.filePath(expectedFile));
}

QTEST_MAIN(TestCommonDialogs)
#include "tst_commondialogs.moc"
