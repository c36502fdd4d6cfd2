#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "model/ProgramData.h"
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
#include <QMetaEnum>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {

const QByteArray Missing("<missing>");
const QString Stamp = QStringLiteral(" 2014-07-10 09-15");
constexpr qint64 MB = 1048576;

// What the start-up leaves for the options window: drives, the data folder
// with its program database and (Stored) settings file, and the controller.
// The home and autostart folders are temporary: the user's desktop is
// never touched.
struct TComputer
{
    test::TTestDrives Drives;
    QTemporaryDir Config;
    test::TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Config.path()};
    test::TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};
    std::unique_ptr<TProgramDatabase> Database;
    std::unique_ptr<TProgramData> Settings;
    std::unique_ptr<TDataModuleQuillonSuite> Controller;
    QList<TMessageRequest> Asked;
    int Answer = mrYes; // to every question

    explicit TComputer(const TProgramData *stored = nullptr)
    {
        QDir().mkpath(Drives.Native('C', QStringLiteral("home/ann/Versions")));
        const QString database = NativePath(TStartUp::ProgramDatabaseFileName());
        QDir().mkpath(QFileInfo(database).path());
        TSqliteOpenOptions create;
        create.Mode = TOpenMode::CreateNew;
        CreateProgramDatabaseSchema(*std::make_unique<TSqliteDatabase>(database, create));
        Database = std::make_unique<TProgramDatabase>(database);
        if (stored)
            SaveToFile(*stored, TStartUp::SettingsFileName());
        SetMessageBoxHandler([this](const TMessageRequest &request) {
            Asked << request;
            return request.Buttons.contains(mrYes) ? Answer : int(mrOk);
        });
        Start();
    }
    ~TComputer() { SetMessageBoxHandler({}); }

    // A new run: the settings file read as the start-up reads it.
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
    TOptionForm *Open()
    {
        Controller->TrayMenu()->findChild<QAction *>(QStringLiteral("Settings1"))->trigger();
        return Controller->OptionForm();
    }
    std::unique_ptr<TProgramData> Saved() const
    {
        auto saved = std::make_unique<TProgramData>(QStringLiteral("C:\\Unused"));
        LoadFromFile(*saved, TStartUp::SettingsFileName());
        return saved;
    }
};

template <class T = QAbstractButton>
T *Child(const QWidget *form, const QString &name)
{
    return form->findChild<T *>(name);
}

QByteArray ExecLine(const QByteArray &entry)
{
    for (const QByteArray &line : entry.split('\n'))
        if (line.startsWith("Exec="))
            return line;
    return Missing;
}

} // namespace

class TestOptionForm : public QObject
{
    Q_OBJECT

private slots:
    void userChangesTheSettingsAndSaves();
    void eachControlEditsItsSetting_data();
    void eachControlEditsItsSetting();
    void usedSizeAndLimit_data();
    void usedSizeAndLimit();
    void launchAtLogOn_data();
    void launchAtLogOn();
    void emptyingTheFolder_data();
    void emptyingTheFolder();
};

void TestOptionForm::userChangesTheSettingsAndSaves()
{
    TComputer computer;
    QVERIFY(!computer.Controller->OptionForm()); // made when the splash ends, or by the menu
    TOptionForm *form = computer.Open();
    QVERIFY(form && form->isVisible());
    // Loading made the deleted-files folder and chose it in the tree.
    auto *tree = Child<TNvShellTreeViewEx>(form, "ShellTreeView1");
    QCOMPARE(tree->SelectedPath(), computer.Settings->DeletedFolder());
    QVERIFY(QFileInfo(NativePath(computer.Settings->DeletedFolder())).isDir());

    Child(form, "EnableMini")->click();
    Child(form, "srmSkip")->click();
    Child<QSpinBox>(form, "seMaxDeleteSize")->setValue(3000);
    // The home folder may not be the deleted-files folder: the choice is refused, with the reason.
    QVERIFY(tree->SelectPath(QStringLiteral("C:\\home\\ann\\")));
    QCOMPARE(Child<QLabel>(form, "Label4")->text(), computer.Settings->DeletedFolder());
    QVERIFY(
        Child<QLabel>(form, "lblFolderRefused")->text().contains(QStringLiteral("it is your home folder")));
    QVERIFY(tree->SelectPath(QStringLiteral("C:\\home\\ann\\Versions\\")));
    QVERIFY(Child<QLabel>(form, "lblFolderRefused")->isHidden());
    form->ShellTreeView1Change(QStringLiteral("C:\\home\\ann\\Versions")); // without its backslash
    QCOMPARE(computer.Settings->MiniWindows(), false);                     // not before "Save"
    Child(form, "SaveBtn")->click();

    QVERIFY(computer.Asked.isEmpty());
    QCOMPARE(computer.Settings->MiniWindows(), true); // in effect at once
    const std::unique_ptr<TProgramData> saved = computer.Saved();
    QCOMPARE(saved->MiniWindows(), true);
    QCOMPARE(saved->ScheduleRunMode(), srmSkip);
    QCOMPARE(saved->MaxDeletedSize(), 3000 * MB); // past the 32-bit range
    QCOMPARE(saved->DeletedFolder(), QStringLiteral("C:\\home\\ann\\Versions\\"));

    // Closing only hides: an edit not saved stays in the window, not in effect.
    Child(form, "EnableMini")->click();
    form->close();
    QCOMPARE(computer.Open(), form);
    QVERIFY(!Child(form, "EnableMini")->isChecked());
    QCOMPARE(computer.Settings->MiniWindows(), true);

    computer.Start(); // the next run shows what was saved
    form = computer.Open();
    QCOMPARE(Child<QSpinBox>(form, "seMaxDeleteSize")->value(), 3000);
    QVERIFY(Child(form, "EnableMini")->isChecked() && Child(form, "srmSkip")->isChecked());
    QCOMPARE(Child<QLabel>(form, "Label4")->text(), QStringLiteral("C:\\home\\ann\\Versions\\"));
}

void TestOptionForm::eachControlEditsItsSetting_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after"); // once the control was clicked and the settings saved
    const std::pair<const char *, const char *> boxes[] = {{"EnableMini", "MiniWindows"},
                                                           {"ShowHiddenFiles", "ShowHidden"},
                                                           {"DriveAutoRun", "DriveAutoRun"},
                                                           {"checkupdate", "CheckForUpdates"},
                                                           {"cbMoveToDelete", "MoveToDeleted"}};
    for (const auto &[control, setting] : boxes)
        QTest::newRow(control) << control << setting << QVariant(setting != QLatin1String("MiniWindows"))
                               << QVariant(setting == QLatin1String("MiniWindows"));
    const std::pair<TScheduleRunMode, TScheduleRunMode> modes[] = {
        {srmSkip, srmAsk}, {srmAsk, srmNext}, {srmNext, srmSkip}};
    for (const auto &[before, after] : modes) {
        const char *name = QMetaEnum::fromType<TScheduleRunMode>().valueToKey(after);
        QTest::newRow(name) << name << "ScheduleRunMode" << QVariant::fromValue(before)
                            << QVariant::fromValue(after);
    }
}

// A control wired to another setting, or loaded the wrong way round, shows
// here: every other setting must come back as it was.
void TestOptionForm::eachControlEditsItsSetting()
{
    QFETCH(QString, control);
    QFETCH(QString, setting);
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);
    TProgramData stored(AppDataFolder());
    QVERIFY(stored.setProperty(qPrintable(setting), before));
    TComputer computer(&stored);
    TOptionForm *form = computer.Open();
    QCOMPARE(Child(form, control)->isChecked(), before.typeId() == QMetaType::Bool && before.toBool());
    Child(form, control)->click();
    Child(form, "SaveBtn")->click();
    QVERIFY(stored.setProperty(qPrintable(setting), after));
    const std::unique_ptr<TProgramData> saved = computer.Saved();
    for (const char *name : {"MoveToDeleted", "DeletedFolder", "MaxDeletedSize", "DriveAutoRun",
                             "CheckForUpdates", "ShowHidden", "MiniWindows", "ScheduleRunMode"})
        QVERIFY2(saved->property(name) == stored.property(name), name);
}

void TestOptionForm::usedSizeAndLimit_data()
{
    QTest::addColumn<qint64>("used"); // bytes in the deleted-files log
    QTest::addColumn<int>("limit");   // MB typed into the spin edit
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    const QColor blue(0, 128, 255), orange(255, 128, 0), rose(255, 0, 128);
    QTest::newRow("1.5 of 500 MB") << 3 * MB / 2 << 500 << "1.50" << blue;
    QTest::newRow("70 of 100 MB") << 70 * MB << 100 << "70.00" << blue;
    QTest::newRow("75 of 100 MB") << 75 * MB << 100 << "75.00" << blue;
    QTest::newRow("a byte more") << 75 * MB + 1 << 100 << "75.00" << orange;
    QTest::newRow("80 of 100 MB") << 80 * MB << 100 << "80.00" << orange;
    QTest::newRow("100 of 100 MB") << 100 * MB << 100 << "100.00" << orange;
    QTest::newRow("101 of 100 MB") << 101 * MB << 100 << "101.00" << rose;
    QTest::newRow("3001 of 3000 MB") << 3001 * MB << 3000 << "3001.00" << rose;
}

void TestOptionForm::usedSizeAndLimit()
{
    QFETCH(qint64, used);
    QFETCH(int, limit);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    TComputer computer;
    TOptionForm *form = computer.Open();
    Child<QSpinBox>(form, "seMaxDeleteSize")->setValue(limit);
    QCOMPARE(Child<QLabel>(form, "lblWarning")->text(),
             QStringLiteral("Warning when the Deleted File Protection Folder is over %1 MB").arg(limit));
    if (used > 0)
        computer.Database->AddDeletedFile(Stamp + QStringLiteral("\\C\\a.txt"), used);
    computer.Controller->TimerAlertTimer();
    // The window's own timer shows what the alert check found.
    auto *usedSize = Child<QLabel>(form, "UsedSize");
    QTRY_COMPARE_WITH_TIMEOUT(usedSize->text(), text, 2 * TOptionForm::UsedSizeInterval + 500);
    QCOMPARE(usedSize->palette().color(QPalette::WindowText), colour);
}

void TestOptionForm::launchAtLogOn_data()
{
    QTest::addColumn<QByteArray>("entry"); // the autostart entry before the window shows
    QTest::addColumn<bool>("shown");
    const QByteArray head = "[Desktop Entry]\nType=Application\nName=Trovalo\nExec=/opt/old/trovalo\n";
    QTest::newRow("none") << Missing << false;
    QTest::newRow("an older install's") << head << true;
    QTest::newRow("switched off") << head + "Hidden=true\n" << false;
}

// The box follows the entry as the window shows (an entry that is there is
// written again with this program's path) and writes or removes it at
// once, without "Save".
void TestOptionForm::launchAtLogOn()
{
    QFETCH(QByteArray, entry);
    QFETCH(bool, shown);
    TComputer computer;
    const QString file = AutostartFileName();
    QVERIFY(file.startsWith(computer.Config.path()));
    if (entry != Missing)
        test::PutNative(file, entry);
    auto *box = Child(computer.Open(), "ChkStartup");
    QCOMPARE(box->isChecked(), shown);
    const QByteArray ours = "Exec=" + DesktopExecValue(ExecutableFilePath()).toUtf8();
    QCOMPARE(ExecLine(test::ReadOrMissing(file)), shown ? ours : ExecLine(entry));

    box->click();
    QCOMPARE(box->isChecked(), !shown);
    QCOMPARE(ExecLine(test::ReadOrMissing(file)), shown ? Missing : ours);
    QCOMPARE(test::ReadAt(TStartUp::SettingsFileName()), Missing);

    // An entry that cannot be written leaves the box showing the truth.
    if (box->isChecked())
        box->click();
    QVERIFY(QDir(computer.Config.filePath(QStringLiteral("autostart"))).removeRecursively());
    test::PutNative(computer.Config.filePath(QStringLiteral("autostart")), "a file, not a folder");
    box->click();
    QVERIFY(!box->isChecked());
    QCOMPARE(computer.Asked.size(), 1);
    QCOMPARE(computer.Asked.constFirst().Kind, mtError);
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
    TComputer computer;
    computer.Answer = answer;
    TOptionForm *form = computer.Open();
    const QString folder = computer.Settings->DeletedFolder();
    const QString run = folder + Stamp;
    test::PutAt(run + QStringLiteral("\\C\\Docs\\a.txt"), "old version");
    computer.Database->AddDeletedFile(Stamp + QStringLiteral("\\C\\Docs\\a.txt"), 5 * MB);
    test::PutAt(folder + QStringLiteral("Photos\\p.jpg"), "photo");
    computer.Controller->TimerAlertTimer();
    form->Timer1Timer();

    Child(form, "BtnDeleteDeleted")->click();
    const TMessageRequest question = computer.Asked.value(0);
    QCOMPARE(question.Title, QStringLiteral("Delete Files?"));
    QCOMPARE(question.Kind, mtConfirmation);
    QVERIFY2(question.Message.endsWith(QStringLiteral("\nFolder : ") + folder), qPrintable(question.Message));
    QCOMPARE(QFileInfo::exists(NativePath(run)), answer == mrNo);
    QCOMPARE(test::ReadAt(folder + QStringLiteral("Photos\\p.jpg")), QByteArray("photo"));
    QCOMPARE(Child<QLabel>(form, "UsedSize")->text(),
             answer == mrNo ? QStringLiteral("5.00") : QStringLiteral("0.00"));
    // What stays is named, with the reason.
    QCOMPARE(computer.Asked.size(), answer == mrNo ? 1 : 2);
    QVERIFY(answer == mrNo ||
            computer.Asked.at(1).Message.contains(QStringLiteral("Photos: not made by deletion")));
}

QTEST_MAIN(TestOptionForm)
#include "tst_optionform.moc"
