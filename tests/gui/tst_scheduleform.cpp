#include "DialogAnswers.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "DataModuleQuillonSuite.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "model/ArchiveData.h"
#include "model/Schedule.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "schedules/ScheduleDisplay.h"
#include "schedules/ScheduleForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

using namespace trovalo;

namespace {

const QString Job1 = QStringLiteral("E:\\Config\\Backup1.Zja");
const QString Job2 = QStringLiteral("E:\\Config\\Backup2.Zja");
const QString Job3 = QStringLiteral("E:\\Config\\Backup3.Zja");

// Tuesday 8 July 2014, 15:00.
const QDateTime Now(QDate(2014, 7, 8), QTime(15, 0));

void SaveJob(const QString &file, const QString &name)
{
    TArchiveData job;
    job.SetBackupName(name);
    job.SetArchiveDir(amPcToUsb);
    test::PutAt(file, job.SaveToBytes());
}

// Drives C: and E: with three backup jobs on E:, this computer's program
// database where start-up makes it, and the controller with its schedule
// editor on that database at a fixed time.
struct TEditorFixture
{
    test::TTestDrives Drives{{{'C', QStringLiteral("serial=1A2B3C4D")}, {'E', QStringLiteral("bus=USB")}}};
    test::TMessageRecorder Messages;
    std::unique_ptr<TProgramDatabase> Database;
    std::unique_ptr<TDataModuleQuillonSuite> Tray;

    TEditorFixture()
    {
        SaveJob(Job1, QStringLiteral("Docs"));
        SaveJob(Job2, QStringLiteral("Photos"));
        SaveJob(Job3, QStringLiteral("Music"));
        ResetAppPathsForTesting();
        const QString file = TStartUp::ProgramDatabaseFileName();
        ForceFolder(ExtractFilePath(file));
        CreateProgramDatabaseFile(NativePath(file));
        Database = std::make_unique<TProgramDatabase>(NativePath(file));
        TDataModuleQuillonSuite::TOptions tray;
        tray.UseSystemTray = false;
        tray.ProgramDatabase = Database.get();
        tray.Clock = [] { return DateTimeFromQt(Now); };
        Tray = std::make_unique<TDataModuleQuillonSuite>(tray);
    }
    ~TEditorFixture()
    {
        qDeleteAll(TNewDrive::OpenConsoles());
        Tray.reset();
    }

    TScheduleForm *Editor() const { return Tray->ScheduleForm(); }
    template <typename T>
    T *Control(const char *name) const
    {
        return Editor()->findChild<T *>(QLatin1String(name));
    }
    const TSchedule &Rule() const { return Control<TScheduleDisplay>("ScheduleDisplay")->Schedule(); }
    TScheduleRunRow Stored(qint64 id) const
    {
        for (const TScheduleRunRow &row : Database->AllSchedules())
            if (row.ID == id)
                return row;
        return {};
    }
    QStringList MessageTitles() const
    {
        QStringList titles;
        for (const TMessageRequest &request : Messages.Requests)
            titles << request.Title;
        return titles;
    }

    // The console of E:, listed, with the job's row selected.
    QTreeWidgetItem *SelectInConsole(const QString &jobFile) const
    {
        TNewDrive *console = TNewDrive::OpenDrive(QStringLiteral("E:\\"));
        if (!console || !QTest::qWaitFor([console] { return !console->Searching(); }, 10000))
            return nullptr;
        auto *list = console->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
        const QList<QTreeWidgetItem *> rows = list->findItems(jobFile, Qt::MatchExactly, 2);
        if (rows.size() != 1)
            return nullptr;
        list->setCurrentItem(rows.first());
        return rows.first();
    }
};

int Mark(const QTreeWidgetItem *row)
{
    return row->data(0, TNewDrive::ScheduleMarkRole).toInt();
}

} // namespace

class TestScheduleForm : public QObject
{
    Q_OBJECT

private slots:
    void scheduleFromConsoleAndSave_data();
    void scheduleFromConsoleAndSave();
    void timeEntryWraps_data();
    void timeEntryWraps();
    void refusedRuleWritesNothing_data();
    void refusedRuleWritesNothing();
    void consoleMarksFollowEdits();
    void trayItemShowsEditorWithoutEmptyRows();
    void withoutProgramDatabaseSchedulesSaySo();
};

void TestScheduleForm::scheduleFromConsoleAndSave_data()
{
    QTest::addColumn<int>("mode");       // ComboBoxMode: 0 weekly, 2 yearly, 3 one time only
    QTest::addColumn<QString>("dayBox"); // weekly: the day ticked
    QTest::addColumn<int>("month");      // yearly and one time: 1 to 12
    QTest::addColumn<int>("day");
    QTest::addColumn<QDateTime>("next");

    const QTime ten(10, 0);
    QTest::newRow("weekly, later today")
        << 0 << "CheckBoxTuesday" << 0 << 0 << QDateTime(QDate(2014, 7, 8), QTime(16, 30));
    QTest::newRow("weekly, passed today: next week")
        << 0 << "CheckBoxTuesday" << 0 << 0 << QDateTime(QDate(2014, 7, 15), ten);
    QTest::newRow("weekly, later this week")
        << 0 << "CheckBoxThursday" << 0 << 0 << QDateTime(QDate(2014, 7, 10), ten);
    QTest::newRow("yearly, a day April lacks") << 2 << "" << 4 << 31 << QDateTime(QDate(2015, 4, 30), ten);
    QTest::newRow("one time, 30 February") << 3 << "" << 2 << 30 << QDateTime(QDate(2015, 2, 28), ten);
}

// The user's way: "Shedule" on a job in the console, a rule, "Save". The
// row the runner reads holds the next run shown and the rule chosen.
void TestScheduleForm::scheduleFromConsoleAndSave()
{
    QFETCH(int, mode);
    QFETCH(QString, dayBox);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QDateTime, next);
    TEditorFixture fixture;
    QTreeWidgetItem *row = fixture.SelectInConsole(Job1);
    QVERIFY(row);
    QCOMPARE(Mark(row), 0);
    TNewDrive::OpenConsoles().first()->findChild<QPushButton *>(QStringLiteral("BtnSchedule"))->click();

    TScheduleForm *editor = fixture.Editor();
    QVERIFY(editor && editor->isVisible());
    const qint64 id = editor->CurrentScheduleId();
    QCOMPARE(fixture.Stored(id).FileName, Job1);
    QCOMPARE(fixture.Control<QLineEdit>("DBEdit1")->text(), QStringLiteral("Docs"));
    QVERIFY(fixture.Control<QRadioButton>("ModeTime")->isChecked());
    QVERIFY(fixture.Control<QCheckBox>("DBCheckBox1")->isChecked());
    QCOMPARE(fixture.Control<QLabel>("RunDate")->text(), QStringLiteral("N/A"));
    QCOMPARE(Mark(row), 1); // the new row is active at once

    fixture.Control<QComboBox>("ComboBoxMode")->setCurrentIndex(mode);
    if (!dayBox.isEmpty())
        fixture.Control<QCheckBox>(qPrintable(dayBox))->click();
    if (month > 0) {
        fixture.Control<QComboBox>("ComboBoxMonth")->setCurrentIndex(month - 1);
        fixture.Control<QSpinBox>("DayYearMode")->setValue(day);
    }
    fixture.Control<QSpinBox>("SpinEditH")->setValue(next.time().hour());
    fixture.Control<QSpinBox>("SpinEditM")->setValue(next.time().minute());
    // The run Save will store is shown before it is saved.
    const QString runDate = QLocale::c().toString(next.date(), QStringLiteral("dddd d 'of' MMMM yyyy"));
    QCOMPARE(fixture.Control<QLabel>("RunDate")->text(), runDate);
    QVERIFY(fixture.Control<QPushButton>("SaveBtn")->isEnabled());
    fixture.Control<QPushButton>("SaveBtn")->click();

    const TScheduleRunRow stored = fixture.Stored(id);
    QCOMPARE(stored.NextRunTime, std::optional(DateTimeFromQt(next)));
    TSchedule rule;
    rule.LoadFromBlob(stored.Data);
    QCOMPARE(int(rule.ScheduleMode()), mode);
    QCOMPARE(rule.TimeH(), next.time().hour());
    QCOMPARE(rule.TimeM(), next.time().minute());
    if (mode == smWeekly)
        QCOMPARE(rule.WeekDays().toInt(), 1 << (next.date().dayOfWeek() - 1));
    else
        QCOMPARE(rule.Month() * 100 + rule.DayOfMonthYearMode(), month * 100 + day);
    QVERIFY(!editor->Modified());
    QCOMPARE(fixture.Control<QLabel>("RunDate")->text(), runDate);
    QCOMPARE(fixture.Control<QLabel>("RunTime")->text(), next.time().toString(QStringLiteral("HH:mm:ss")));
    QCOMPARE(Mark(row), 1);
    QVERIFY(fixture.Messages.Requests.isEmpty());
}

void TestScheduleForm::timeEntryWraps_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<QString>("spin");
    QTest::addColumn<QString>("typed"); // "down": the arrow key
    QTest::addColumn<int>("wrappedHour");
    QTest::addColumn<int>("wrappedMinute");
    QTest::newRow("60 minutes at 23:59") << 23 << 59 << "SpinEditM"
                                         << "60" << 0 << 0;
    QTest::newRow("a minute down at 00:00") << 0 << 0 << "SpinEditM"
                                            << "down" << 23 << 59;
    QTest::newRow("24 hours") << 22 << 30 << "SpinEditH"
                              << "24" << 0 << 30;
    QTest::newRow("an hour down at 00:30") << 0 << 30 << "SpinEditH"
                                           << "down" << 23 << 30;
}

void TestScheduleForm::timeEntryWraps()
{
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(QString, spin);
    QFETCH(QString, typed);
    QFETCH(int, wrappedHour);
    QFETCH(int, wrappedMinute);
    TEditorFixture fixture;
    QVERIFY(fixture.Editor()->AddSchedule(Job1));
    auto *hours = fixture.Control<QSpinBox>("SpinEditH");
    auto *minutes = fixture.Control<QSpinBox>("SpinEditM");
    hours->setValue(hour);
    minutes->setValue(minute);
    auto *typedInto = fixture.Control<QSpinBox>(qPrintable(spin));
    typedInto->selectAll();
    if (typed == QLatin1String("down"))
        QTest::keyClick(typedInto, Qt::Key_Down);
    else
        QTest::keyClicks(typedInto, typed);
    const QTime wrapped(wrappedHour, wrappedMinute);
    QCOMPARE(QTime(hours->value(), minutes->value()), wrapped);
    QCOMPARE(QTime(fixture.Rule().TimeH(), fixture.Rule().TimeM()), wrapped);
}

void TestScheduleForm::refusedRuleWritesNothing_data()
{
    QTest::addColumn<QString>("leaveBy");
    QTest::newRow("Save") << "Save";
    QTest::newRow("moving to another row") << "row";
    QTest::newRow("scheduling another job") << "job";
}

// A weekly rule without days never runs: every way of saving it is refused
// with the reason, writes nothing and keeps the user on the row.
void TestScheduleForm::refusedRuleWritesNothing()
{
    QFETCH(QString, leaveBy);
    TEditorFixture fixture;
    TScheduleForm *editor = fixture.Editor();
    QVERIFY(editor->AddSchedule(Job2));
    QVERIFY(editor->AddSchedule(Job1));
    const qint64 id = editor->CurrentScheduleId();
    fixture.Control<QComboBox>("ComboBoxMode")->setCurrentIndex(smWeekly);
    QCOMPARE(fixture.Control<QLabel>("RunDate")->text(), QStringLiteral("N/A"));

    if (leaveBy == QLatin1String("Save"))
        fixture.Control<QPushButton>("SaveBtn")->click();
    else if (leaveBy == QLatin1String("row"))
        fixture.Control<QTableView>("DBGrid1")->selectRow(0);
    else
        QVERIFY(!editor->AddSchedule(Job3));

    QCOMPARE(fixture.MessageTitles(), QStringList{QStringLiteral("Schedule Not Saved")});
    QVERIFY(
        fixture.Messages.Requests.first().Message.contains(QStringLiteral("at least one day of the week")));
    QCOMPARE(fixture.Database->AllSchedules().size(), 2);
    const TScheduleRunRow stored = fixture.Stored(id);
    QVERIFY(!stored.Data);
    QVERIFY(!stored.NextRunTime);
    QCOMPARE(editor->CurrentScheduleId(), id);
    QVERIFY(editor->Modified());
    QCOMPARE(fixture.Control<QComboBox>("ComboBoxMode")->currentIndex(), int(smWeekly));
}

// The console's mark follows the editor: a click on the grid's Active box
// and "Reset" change nothing, "Active" unticked and saved marks the job
// inactive, "Delete" removes the schedule and the mark.
void TestScheduleForm::consoleMarksFollowEdits()
{
    TEditorFixture fixture;
    QTreeWidgetItem *row = fixture.SelectInConsole(Job1);
    QVERIFY(row);
    TScheduleForm *editor = fixture.Editor();
    QVERIFY(editor->AddSchedule(Job1));
    const qint64 id = editor->CurrentScheduleId();
    QCOMPARE(Mark(row), 1);

    auto *grid = fixture.Control<QTableView>("DBGrid1");
    QVERIFY(grid->model()->setData(grid->model()->index(0, 2), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!fixture.Control<QCheckBox>("DBCheckBox1")->isChecked());
    fixture.Control<QPushButton>("ResetBtn")->click();
    QVERIFY(fixture.Control<QCheckBox>("DBCheckBox1")->isChecked());
    QCOMPARE(grid->model()->index(0, 2).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(fixture.Stored(id).Active);
    QCOMPARE(Mark(row), 1);

    fixture.Control<QCheckBox>("DBCheckBox1")->click();
    fixture.Control<QPushButton>("SaveBtn")->click();
    QVERIFY(!fixture.Stored(id).Active);
    QCOMPARE(Mark(row), 2);

    fixture.Control<QPushButton>("DeleteBtn")->click();
    QVERIFY(fixture.Database->AllSchedules().isEmpty());
    QCOMPARE(Mark(row), 0);
    QVERIFY(!fixture.Control<QPushButton>("DeleteBtn")->isEnabled());
    QVERIFY(fixture.Messages.Requests.isEmpty());
}

// Rows without a job file go when the editor is shown and after a save.
void TestScheduleForm::trayItemShowsEditorWithoutEmptyRows()
{
    TEditorFixture fixture;
    const auto addEmptyRow = [&] {
        fixture.Database->Connection().Exec(QStringLiteral("INSERT INTO ScheduleRun (FileName) VALUES ('')"));
    };
    addEmptyRow();
    const qint64 id = fixture.Database->AddSchedule(Job1, QStringLiteral("Docs"));
    addEmptyRow();
    QAction *item = fixture.Tray->TrayMenu()->findChild<QAction *>(QStringLiteral("Schedules1"));
    QVERIFY(item->isEnabled());
    item->trigger();
    TScheduleForm *editor = fixture.Editor();
    QVERIFY(editor->isVisible());
    QVERIFY(fixture.Tray->FormList().contains(editor));
    QCOMPARE(fixture.Database->AllSchedules().size(), 1);
    QCOMPARE(fixture.Control<QTableView>("DBGrid1")->model()->rowCount(), 1);

    addEmptyRow();
    fixture.Control<QLineEdit>("DBEdit1")->setText(QStringLiteral("Documents"));
    emit fixture.Control<QLineEdit>("DBEdit1")->textEdited(QStringLiteral("Documents"));
    fixture.Control<QPushButton>("SaveBtn")->click();
    QCOMPARE(fixture.Database->AllSchedules().size(), 1);
    QCOMPARE(fixture.Stored(id).JobName, QStringLiteral("Documents"));

    editor->close();
    QVERIFY(!editor->isVisible());
    QVERIFY(!fixture.Tray->FormList().contains(editor));
    QCOMPARE(fixture.Editor(), editor); // closing only hides it
}

// Start-up could not open the program database: "Schedules" says so.
void TestScheduleForm::withoutProgramDatabaseSchedulesSaySo()
{
    test::TMessageRecorder messages;
    TDataModuleQuillonSuite::TOptions options;
    options.UseSystemTray = false;
    TDataModuleQuillonSuite tray(options);
    tray.SchedulesAction();
    QVERIFY(!tray.ScheduleForm());
    QCOMPARE(messages.Requests.size(), 1);
    QCOMPARE(messages.Requests.first().Title, QStringLiteral("Schedules"));
}

QTEST_MAIN(TestScheduleForm)
#include "tst_scheduleform.moc"
