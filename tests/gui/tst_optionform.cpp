#include "DialogAnswers.h"
#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "model/ProgramData.h"
#include "model/ProgramIdentity.h"
#include "options/OptionForm.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/AppPaths.h"
#include "platform/AutostartEntry.h"
#include "platform/DriveTable.h"
#include "platform/RecordFile.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {

const QByteArray Missing("<missing>");
const QString Stamp = QStringLiteral(" 2014-07-10 09-15");

// What the start-up leaves for the options window: drives C: and E:, the
// data folder with its settings file and program database, and the
// controller. The autostart folders and the home folder lie in temporary
// folders, so the user's own desktop is never touched.
struct TOptionsComputer
{
    test::TTestDrives Drives{{{'C', QString()}, {'E', QStringLiteral("bus=USB")}}};
    QTemporaryDir Config;
    test::TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Config.filePath(QStringLiteral("config"))};
    test::TScopedEnv ConfigDirs{"XDG_CONFIG_DIRS", Config.filePath(QStringLiteral("xdg"))};
    test::TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};
    std::unique_ptr<TProgramDatabase> Database;
    std::unique_ptr<TProgramData> Settings;
    std::unique_ptr<TDataModuleQuillonSuite> Controller;

    // Settings: what the settings file holds before the start (none: defaults).
    explicit TOptionsComputer(const TProgramData *settings = nullptr)
    {
        QDir().mkpath(Drives.Native('C', QStringLiteral("home/ann")));
        QDir().mkpath(Drives.Native('C', QStringLiteral("Versions")));
        const QString database = NativePath(TStartUp::ProgramDatabaseFileName());
        QDir().mkpath(QFileInfo(database).path());
        if (settings)
            SaveToFile(*settings, TStartUp::SettingsFileName());
        {
            TSqliteOpenOptions options;
            options.Mode = TOpenMode::CreateNew;
            TSqliteDatabase created(database, options);
            CreateProgramDatabaseSchema(created);
        }
        Database = std::make_unique<TProgramDatabase>(database);
        Start();
    }

    // The controller of a new run, reading the settings file as the
    // start-up does.
    void Start()
    {
        Controller.reset();
        Settings = std::make_unique<TProgramData>(AppDataFolder());
        LoadFromFile(*Settings, TStartUp::SettingsFileName());
        TDataModuleQuillonSuite::TOptions options;
        options.UseSystemTray = false;
        options.ProgramData = Settings.get();
        options.ProgramDatabase = Database.get();
        Controller = std::make_unique<TDataModuleQuillonSuite>(options);
    }

    // The tray menu's "Options".
    TOptionForm *OpenOptions()
    {
        for (QAction *action : Controller->TrayMenu()->actions())
            if (action->objectName() == QLatin1String("Settings1"))
                action->trigger();
        return Controller->OptionForm();
    }

    // What a new run would read from the settings file.
    std::unique_ptr<TProgramData> SavedSettings() const
    {
        auto saved = std::make_unique<TProgramData>(QStringLiteral("C:\\Unused"));
        LoadFromFile(*saved, TStartUp::SettingsFileName());
        return saved;
    }

    QString DeletedFolder() const { return Settings->DeletedFolder(); }
};

template <class T>
T *Child(const QWidget *form, const char *name)
{
    return form ? form->findChild<T *>(QLatin1String(name)) : nullptr;
}

// Message boxes answered by title (Yes to the emptying question unless
// told otherwise) and recorded.
struct TAnswers
{
    QList<TMessageRequest> Asked;
    int EmptyAnswer = mrYes;
    TAnswers()
    {
        SetMessageBoxHandler([this](const TMessageRequest &request) {
            Asked << request;
            return request.Buttons.contains(mrYes) ? EmptyAnswer : int(mrOk);
        });
    }
    ~TAnswers() { SetMessageBoxHandler({}); }
    QStringList Titles() const
    {
        QStringList titles;
        for (const TMessageRequest &request : Asked)
            titles << request.Title;
        return titles;
    }
};

QByteArray ExecOf(const QString &entry)
{
    for (const QByteArray &line : test::ReadOrMissing(entry).split('\n'))
        if (line.startsWith("Exec="))
            return line.mid(5);
    return Missing;
}

} // namespace

class TestOptionForm : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void userChangesTheSettingsAndSaves();
    void eachControlEditsItsSetting_data();
    void eachControlEditsItsSetting();
    void limitInMegabytes_data();
    void limitInMegabytes();
    void usedSizeColourSteps_data();
    void usedSizeColourSteps();
    void launchAtLogOnChangesAtOnce();
    void launchAtLogOnAsShown_data();
    void launchAtLogOnAsShown();
    void emptyingTheFolder_data();
    void emptyingTheFolder();
    void refusedFoldersCannotBeChosen_data();
    void refusedFoldersCannotBeChosen();
    void refusedFolderIsNotEmptied();
};

void TestOptionForm::cleanup()
{
    SetMessageBoxHandler({});
}

void TestOptionForm::userChangesTheSettingsAndSaves()
{
    TOptionsComputer computer;
    TAnswers answers;
    TOptionForm *form = computer.Controller->OptionForm();
    QVERIFY(!form); // made by the start-up's end or by the menu, not before
    form = computer.OpenOptions();
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowTitle(), QStringLiteral("Options"));
    // Loading made the deleted-files folder and chose it in the tree.
    QVERIFY(QFileInfo(NativePath(computer.DeletedFolder())).isDir());
    auto *tree = Child<TNvShellTreeViewEx>(form, "ShellTreeView1");
    QVERIFY(tree);
    QCOMPARE(tree->SelectedPath(), computer.DeletedFolder());

    Child<QCheckBox>(form, "EnableMini")->click();
    Child<QCheckBox>(form, "DriveAutoRun")->click();
    Child<QRadioButton>(form, "srmSkip")->click();
    Child<QCheckBox>(form, "cbMoveToDelete")->click();
    Child<QSpinBox>(form, "seMaxDeleteSize")->setValue(3000);
    QVERIFY(tree->SelectPath(QStringLiteral("C:\\Versions\\")));
    QCOMPARE(Child<QLabel>(form, "Label4")->text(), QStringLiteral("C:\\Versions\\"));
    // Nothing is in effect before "Save".
    QCOMPARE(computer.Settings->MiniWindows(), false);
    QCOMPARE(test::ReadAt(TStartUp::SettingsFileName()), Missing);

    Child<QPushButton>(form, "SaveBtn")->click();
    QVERIFY2(answers.Asked.isEmpty(), qPrintable(answers.Titles().join(", ")));
    QCOMPARE(computer.Settings->MiniWindows(), true); // in effect at once
    const std::unique_ptr<TProgramData> saved = computer.SavedSettings();
    QCOMPARE(saved->MiniWindows(), true);
    QCOMPARE(saved->DriveAutoRun(), false);
    QCOMPARE(saved->ScheduleRunMode(), srmSkip);
    QCOMPARE(saved->MoveToDeleted(), true);
    QCOMPARE(saved->MaxDeletedSize(), Q_INT64_C(3145728000)); // past the 32-bit range
    QCOMPARE(saved->DeletedFolder(), QStringLiteral("C:\\Versions\\"));
    QCOMPARE(saved->ShowHidden(), false);
    QCOMPARE(saved->CheckForUpdates(), false);

    // Closing only hides; an edit not saved stays in the window, not in effect.
    Child<QCheckBox>(form, "EnableMini")->click();
    form->close();
    QVERIFY(!form->isVisible());
    QCOMPARE(computer.OpenOptions(), form);
    QCOMPARE(Child<QCheckBox>(form, "EnableMini")->isChecked(), false);
    QCOMPARE(computer.Settings->MiniWindows(), true);

    // The next run shows what was saved.
    computer.Start();
    form = computer.OpenOptions();
    QCOMPARE(Child<QSpinBox>(form, "seMaxDeleteSize")->value(), 3000);
    QCOMPARE(Child<QCheckBox>(form, "EnableMini")->isChecked(), true);
    QCOMPARE(Child<QRadioButton>(form, "srmSkip")->isChecked(), true);
    QCOMPARE(Child<QLabel>(form, "Label4")->text(), QStringLiteral("C:\\Versions\\"));
    QCOMPARE(Child<TNvShellTreeViewEx>(form, "ShellTreeView1")->SelectedPath(),
             QStringLiteral("C:\\Versions\\"));
}

void TestOptionForm::eachControlEditsItsSetting_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after"); // once the control was clicked and the settings saved
    const QList<std::pair<const char *, const char *>> boxes = {{"EnableMini", "MiniWindows"},
                                                                {"ShowHiddenFiles", "ShowHidden"},
                                                                {"DriveAutoRun", "DriveAutoRun"},
                                                                {"checkupdate", "CheckForUpdates"},
                                                                {"cbMoveToDelete", "MoveToDeleted"}};
    for (const auto &[control, setting] : boxes)
        for (const bool before : {false, true})
            QTest::addRow("%s, %s before", control, before ? "on" : "off")
                << control << setting << QVariant(before) << QVariant(!before);
    QTest::newRow("Show notification")
        << "srmAsk"
        << "ScheduleRunMode" << QVariant::fromValue(srmSkip) << QVariant::fromValue(srmAsk);
    QTest::newRow("Run as USB disk insertion")
        << "srmNext"
        << "ScheduleRunMode" << QVariant::fromValue(srmAsk) << QVariant::fromValue(srmNext);
    QTest::newRow("Skip") << "srmSkip"
                          << "ScheduleRunMode" << QVariant::fromValue(srmNext)
                          << QVariant::fromValue(srmSkip);
}

// A control wired to another setting, or loaded the wrong way round, shows
// up here: every other setting must come back unchanged.
void TestOptionForm::eachControlEditsItsSetting()
{
    QFETCH(QString, control);
    QFETCH(QString, setting);
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);
    TProgramData stored(AppDataFolder());
    QVERIFY(stored.setProperty(qPrintable(setting), before));
    TOptionsComputer computer(&stored);
    TOptionForm *form = computer.OpenOptions();
    auto *button = Child<QAbstractButton>(form, qPrintable(control));
    QVERIFY(button);
    if (before.typeId() == QMetaType::Bool)
        QCOMPARE(button->isChecked(), before.toBool());
    button->click();
    Child<QPushButton>(form, "SaveBtn")->click();

    const std::unique_ptr<TProgramData> saved = computer.SavedSettings();
    QVERIFY(stored.setProperty(qPrintable(setting), after));
    for (const char *name : {"MoveToDeleted", "DeletedFolder", "MaxDeletedSize", "DriveAutoRun",
                             "CheckForUpdates", "ShowHidden", "MiniWindows", "ScheduleRunMode"})
        QVERIFY2(saved->property(name) == stored.property(name), name);
}

void TestOptionForm::limitInMegabytes_data()
{
    QTest::addColumn<qint64>("stored"); // MaxDeletedSize in the settings file, bytes
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("typed");
    QTest::addColumn<qint64>("saved");
    QTest::newRow("the default, 1024 MB") << Q_INT64_C(1073741824) << 1024 << 500 << Q_INT64_C(524288000);
    QTest::newRow("3000 MB, past the 32-bit range")
        << Q_INT64_C(3145728000) << 3000 << 3000 << Q_INT64_C(3145728000);
    QTest::newRow("not whole megabytes: truncated")
        << Q_INT64_C(1500000000) << 1430 << 2100 << Q_INT64_C(2202009600);
    QTest::newRow("the largest") << Q_INT64_C(6291456000000) << 6000000 << 6000000
                                 << Q_INT64_C(6291456000000);
}

void TestOptionForm::limitInMegabytes()
{
    QFETCH(qint64, stored);
    QFETCH(int, shown);
    QFETCH(int, typed);
    QFETCH(qint64, saved);
    TProgramData settings(AppDataFolder());
    settings.SetMaxDeletedSize(stored);
    TOptionsComputer computer(&settings);
    TOptionForm *form = computer.OpenOptions();
    auto *limit = Child<QSpinBox>(form, "seMaxDeleteSize");
    QCOMPARE(limit->value(), shown);

    limit->setValue(typed);
    QCOMPARE(Child<QLabel>(form, "lblWarning")->text(),
             QStringLiteral("Warning when the Deleted File Protection Folder is over %1 MB").arg(typed));
    Child<QPushButton>(form, "SaveBtn")->click();
    QCOMPARE(computer.SavedSettings()->MaxDeletedSize(), saved);
    computer.Start();
    QCOMPARE(Child<QSpinBox>(computer.OpenOptions(), "seMaxDeleteSize")->value(), typed);
}

void TestOptionForm::usedSizeColourSteps_data()
{
    QTest::addColumn<qint64>("used"); // bytes recorded in the deleted-files log
    QTest::addColumn<int>("limit");   // MB in the spin edit
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    const QColor blue(0, 128, 255), orange(255, 128, 0), rose(255, 0, 128);
    constexpr qint64 MB = 1048576;
    QTest::newRow("nothing") << Q_INT64_C(0) << 100 << "0.00" << blue;
    QTest::newRow("1.5 MB") << 3 * MB / 2 << 100 << "1.50" << blue;
    QTest::newRow("70 of 100 MB") << 70 * MB << 100 << "70.00" << blue;
    QTest::newRow("75 of 100 MB, three quarters") << 75 * MB << 100 << "75.00" << blue;
    QTest::newRow("a byte past three quarters") << 75 * MB + 1 << 100 << "75.00" << orange;
    QTest::newRow("80 of 100 MB") << 80 * MB << 100 << "80.00" << orange;
    QTest::newRow("100 of 100 MB, the limit") << 100 * MB << 100 << "100.00" << orange;
    QTest::newRow("101 of 100 MB") << 101 * MB << 100 << "101.00" << rose;
    QTest::newRow("3000 of 3000 MB") << 3000 * MB << 3000 << "3000.00" << orange;
    QTest::newRow("3001 of 3000 MB") << 3001 * MB << 3000 << "3001.00" << rose;
}

void TestOptionForm::usedSizeColourSteps()
{
    QFETCH(qint64, used);
    QFETCH(int, limit);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    TOptionsComputer computer;
    TAnswers answers; // the tray's balloon may warn; nothing else may ask
    TOptionForm *form = computer.OpenOptions();
    Child<QSpinBox>(form, "seMaxDeleteSize")->setValue(limit);
    if (used > 0)
        computer.Database->AddDeletedFile(Stamp + QStringLiteral("\\C\\a.txt"), used);
    computer.Controller->TimerAlertTimer();
    // The window's own one-second timer shows what the alert check found.
    auto *usedSize = Child<QLabel>(form, "UsedSize");
    QTRY_COMPARE_WITH_TIMEOUT(usedSize->text(), text, 2 * TOptionForm::UsedSizeInterval + 500);
    QCOMPARE(usedSize->palette().color(QPalette::WindowText), colour);
}

void TestOptionForm::launchAtLogOnChangesAtOnce()
{
    TOptionsComputer computer;
    TAnswers answers;
    TOptionForm *form = computer.OpenOptions();
    auto *box = Child<QCheckBox>(form, "ChkStartup");
    QCOMPARE(box->isChecked(), false);
    const QString entry = computer.Config.filePath(QStringLiteral("config/autostart/")) +
                          ProgramApplicationId + QStringLiteral(".desktop");
    QCOMPARE(AutostartFileName(), entry);

    box->click();
    QCOMPARE(box->isChecked(), true);
    QCOMPARE(ExecOf(entry), DesktopExecValue(ExecutableFilePath()).toUtf8());
    box->click();
    QCOMPARE(box->isChecked(), false);
    QVERIFY(!QFile::exists(entry));
    // No "Save" was needed for either.
    QCOMPARE(test::ReadAt(TStartUp::SettingsFileName()), Missing);
    QVERIFY(answers.Asked.isEmpty());

    // An entry that cannot be written leaves the box showing the truth.
    const QString autostart = computer.Config.filePath(QStringLiteral("config/autostart"));
    QVERIFY(QDir(autostart).removeRecursively());
    test::PutNative(autostart, "a file, not a folder");
    box->click();
    QCOMPARE(box->isChecked(), false);
    QCOMPARE(answers.Titles(), QStringList{QStringLiteral("Launch at Startup")});
    QCOMPARE(answers.Asked.constFirst().Kind, mtError);
}

void TestOptionForm::launchAtLogOnAsShown_data()
{
    QTest::addColumn<QByteArray>("entry"); // the autostart entry before the window shows
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("rewritten"); // with this program's path
    const QByteArray head = "[Desktop Entry]\nType=Application\nName=Trovalo\n";
    QTest::newRow("none") << Missing << false << false;
    QTest::newRow("an entry of an older install") << head + "Exec=/opt/old/trovalo\n" << true << true;
    QTest::newRow("switched off with Hidden=true") << head + "Exec=/opt/old/trovalo\nHidden=true\n"
                                                   << false << false;
}

void TestOptionForm::launchAtLogOnAsShown()
{
    QFETCH(QByteArray, entry);
    QFETCH(bool, checked);
    QFETCH(bool, rewritten);
    TOptionsComputer computer;
    if (entry != Missing)
        test::PutNative(AutostartFileName(), entry);
    TOptionForm *form = computer.OpenOptions();
    QCOMPARE(Child<QCheckBox>(form, "ChkStartup")->isChecked(), checked);
    const QByteArray exec = ExecOf(AutostartFileName());
    if (rewritten)
        QCOMPARE(exec, DesktopExecValue(ExecutableFilePath()).toUtf8());
    else
        QCOMPARE(test::ReadOrMissing(AutostartFileName()), entry);
}

void TestOptionForm::emptyingTheFolder_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(mrYes);
    QTest::newRow("No") << int(mrNo);
}

void TestOptionForm::emptyingTheFolder()
{
    QFETCH(int, answer);
    TOptionsComputer computer;
    TAnswers answers;
    answers.EmptyAnswer = answer;
    TOptionForm *form = computer.OpenOptions();
    const QString folder = computer.DeletedFolder();
    const QString protectedFile = folder + Stamp + QStringLiteral("\\C\\Docs\\a.txt");
    test::PutAt(protectedFile, QByteArray(5 * 1048576, 'a'));
    computer.Database->AddDeletedFile(Stamp + QStringLiteral("\\C\\Docs\\a.txt"), 5 * 1048576);
    test::PutAt(folder + QStringLiteral("Photos\\p.jpg"), "photo");
    computer.Controller->TimerAlertTimer();
    form->Timer1Timer();
    auto *usedSize = Child<QLabel>(form, "UsedSize");
    QCOMPARE(usedSize->text(), QStringLiteral("5.00"));

    Child<QPushButton>(form, "BtnDeleteDeleted")->click();

    QVERIFY(!answers.Asked.isEmpty());
    const TMessageRequest question = answers.Asked.constFirst();
    QCOMPARE(question.Title, QStringLiteral("Delete Files?"));
    QCOMPARE(question.Kind, mtConfirmation);
    QVERIFY2(question.Message.endsWith(QStringLiteral("\nFolder : ") + folder), qPrintable(question.Message));
    QCOMPARE(question.Buttons, (QList<TModalResult>{mrYes, mrNo}));
    QCOMPARE(test::ReadAt(folder + QStringLiteral("Photos\\p.jpg")), QByteArray("photo"));
    QVERIFY(QFileInfo(NativePath(folder)).isDir());
    if (answer == mrNo) {
        QCOMPARE(answers.Asked.size(), 1);
        QVERIFY(QFileInfo::exists(NativePath(protectedFile)));
        QCOMPARE(usedSize->text(), QStringLiteral("5.00"));
        return;
    }
    QVERIFY(!QFileInfo::exists(NativePath(folder + Stamp)));
    QCOMPARE(usedSize->text(), QStringLiteral("0.00"));
    QCOMPARE(computer.Controller->DeleteUsedFileSize(), 0);
    // What stays is named, with the reason.
    QCOMPARE(answers.Titles(), (QStringList{QStringLiteral("Delete Files?"), QStringLiteral("Files Kept")}));
    QVERIFY2(answers.Asked.at(1).Message.contains(QStringLiteral("Photos: not made by deletion protection")),
             qPrintable(answers.Asked.at(1).Message));
}

void TestOptionForm::refusedFoldersCannotBeChosen_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the home folder") << "C:\\home\\ann\\"
                                     << "it is your home folder";
    QTest::newRow("a drive root") << "E:\\"
                                  << "it is the root of the drive E:\\";
    QTest::newRow("the data folder") << AppDataFolder() + QStringLiteral("\\")
                                     << "it is the program's data folder";
}

void TestOptionForm::refusedFoldersCannotBeChosen()
{
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    TOptionsComputer computer;
    TAnswers answers;
    TOptionForm *form = computer.OpenOptions();
    auto *tree = Child<TNvShellTreeViewEx>(form, "ShellTreeView1");
    auto *chosen = Child<QLabel>(form, "Label4");
    auto *refused = Child<QLabel>(form, "lblFolderRefused");
    QVERIFY(!refused->isVisible());

    QVERIFY(tree->SelectPath(folder));
    QCOMPARE(chosen->text(), computer.DeletedFolder());
    QVERIFY(refused->isVisible());
    QVERIFY2(refused->text().contains(reason), qPrintable(refused->text()));
    Child<QPushButton>(form, "SaveBtn")->click();
    QCOMPARE(computer.SavedSettings()->DeletedFolder(), computer.DeletedFolder());

    // An allowed folder is taken, with its trailing backslash.
    QVERIFY(tree->SelectPath(QStringLiteral("C:\\home\\")));
    QVERIFY(tree->SelectPath(QStringLiteral("C:\\Versions\\")));
    QVERIFY(!refused->isVisible());
    form->ShellTreeView1Change(QStringLiteral("C:\\Versions"));
    QCOMPARE(chosen->text(), QStringLiteral("C:\\Versions\\"));
    QVERIFY(answers.Asked.isEmpty());
}

// A settings file of an older version may name a folder that is refused
// now: it is shown as it is, with the reason, and never emptied.
void TestOptionForm::refusedFolderIsNotEmptied()
{
    TProgramData stored(AppDataFolder());
    stored.SetDeletedFolder(QStringLiteral("C:\\home\\ann\\"));
    TOptionsComputer computer(&stored);
    const QString mine = QStringLiteral("C:\\home\\ann\\") + Stamp + QStringLiteral("\\letter.txt");
    test::PutAt(mine, "mine");
    computer.Database->AddDeletedFile(Stamp + QStringLiteral("\\letter.txt"), 4);
    TAnswers answers;
    TOptionForm *form = computer.OpenOptions();
    QCOMPARE(Child<QLabel>(form, "Label4")->text(), QStringLiteral("C:\\home\\ann\\"));
    QVERIFY(Child<QLabel>(form, "lblFolderRefused")->isVisible());

    Child<QPushButton>(form, "BtnDeleteDeleted")->click();
    QCOMPARE(answers.Asked.size(), 1); // no question: a warning at once
    QCOMPARE(answers.Asked.constFirst().Kind, mtWarning);
    QVERIFY(answers.Asked.constFirst().Message.contains(QStringLiteral("it is your home folder")));
    QCOMPARE(test::ReadAt(mine), QByteArray("mine"));
    QCOMPARE(computer.Database->DeletedFilesSize(), 4);
}

QTEST_MAIN(TestOptionForm)
#include "tst_optionform.moc"
