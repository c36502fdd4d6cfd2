#include "CliProcess.h"
#include "E2eSession.h"
#include "E2eSteps.h"
#include "TestFiles.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QtTest>

using namespace trovalo;
using namespace trovalo::test;
using namespace trovalo::test::e2e;

namespace {
const QString Editor = QStringLiteral("ScheduleForm");
// The job list's schedule mark (TNewDrive::ScheduleMarkRole): 1 scheduled.
constexpr int ScheduleMarkRole = Qt::UserRole + 1;
} // namespace

class TestOptionsAndSchedules : public QObject
{
    Q_OBJECT

private slots:
    void optionsSavedFromTheTrayMenu();
    void scheduleMadeInTheEditorFromTheConsole();
};

// Tray menu "Options": the user turns off opening a plugged-in stick's
// console, chooses to skip missed schedules and a 3000 MB limit for the
// deleted-files folder, and saves; the settings file holds exactly that.
void TestOptionsAndSchedules::optionsSavedFromTheTrayMenu()
{
    TE2eSession session;
    START_SESSION(session);
    const QString options = QStringLiteral("OptionForm");
    QVERIFY(Ok(Click(session, QStringLiteral("TrayMenu/Settings1"))));
    QVERIFY2(!session.WaitForWindow(options).isEmpty(), "\"Options\" opened no window");
    QVERIFY(
        Find(session, options + QStringLiteral("/DriveAutoRun")).value(QStringLiteral("checked")).toBool());
    QVERIFY(Ok(Click(session, options + QStringLiteral("/DriveAutoRun"))));
    QVERIFY(Ok(Click(session, options + QStringLiteral("/srmSkip"))));
    QVERIFY(Ok(session.Call(QStringLiteral("setvalue"),
                            {{QStringLiteral("path"), options + QStringLiteral("/seMaxDeleteSize")},
                             {QStringLiteral("value"), 3000}})));
    QVERIFY(session.Screenshot(QStringLiteral("options.png"), options));
    QVERIFY(Ok(Click(session, options + QStringLiteral("/SaveBtn"))));

    const TCliRun shown =
        RunCli({QStringLiteral("show"), QStringLiteral("C:\\ProgramData\\Trovalo\\ConfigData\\Config.cfg")});
    QVERIFY2(shown.Status == 0, qPrintable(shown.Err));
    const QJsonValue settings = QJsonDocument::fromJson(shown.OutBytes).object();
    QCOMPARE(FindKey(settings, QStringLiteral("DriveAutoRun")).toBool(true), false);
    QCOMPARE(FindKey(settings, QStringLiteral("ScheduleRunMode")).toString(), QStringLiteral("srmSkip"));
    QCOMPARE(FindKey(settings, QStringLiteral("MaxDeletedSize")).toDouble(), 3000.0 * 1024 * 1024);
}

// The user schedules a job from its console: "Shedule", a weekly rule on
// the day after tomorrow at 10:30, "Save". The console marks the job as
// scheduled, and the command line lists the same row with that next run.
void TestOptionsAndSchedules::scheduleMadeInTheEditorFromTheConsole()
{
    TE2eSession session;
    PutNative(session.Drives().Native('C', QStringLiteral("Users/ann/Docs/plan.txt")), "the plan");
    const QString jobName = MakeBackupJob(session, {QStringLiteral("C:\\Users\\ann\\Docs")});
    QVERIFY(!jobName.isEmpty());
    START_SESSION(session);
    CHECK_STEP(OpenConsoleOfStick(session, false));
    QVERIFY2(TE2eSession::Until([&] { return Rows(session, JobList).size() == 1; }), "the job is not listed");
    QVERIFY(Ok(session.Call(QStringLiteral("select"),
                            {{QStringLiteral("path"), JobList}, {QStringLiteral("row"), 0}})));
    QVERIFY(Ok(Click(session, Console + QStringLiteral("/BtnSchedule"))));
    QVERIFY2(!session.WaitForWindow(Editor).isEmpty(), "\"Shedule\" opened no schedule editor");

    const QDate day = QDate::currentDate().addDays(2);
    const QString dayName = QLocale::c().dayName(day.dayOfWeek());
    QVERIFY(Ok(session.Call(QStringLiteral("choose"),
                            {{QStringLiteral("path"), Editor + QStringLiteral("/ComboBoxMode")},
                             {QStringLiteral("text"), QStringLiteral("Weekly")}})));
    QVERIFY(Ok(Click(session, Editor + QStringLiteral("/CheckBox") + dayName)));
    for (const auto &[spin, value] :
         {std::pair{QStringLiteral("SpinEditH"), 10}, {QStringLiteral("SpinEditM"), 30}})
        QVERIFY(Ok(session.Call(QStringLiteral("setvalue"),
                                {{QStringLiteral("path"), Editor + QStringLiteral("/") + spin},
                                 {QStringLiteral("value"), value}})));
    QVERIFY(session.Screenshot(QStringLiteral("schedule-editor.png"), Editor));
    QVERIFY(Ok(Click(session, Editor + QStringLiteral("/SaveBtn"))));

    QVERIFY2(TE2eSession::Until([&] {
                 const QJsonArray rows =
                     session
                         .Call(QStringLiteral("rows"), {{QStringLiteral("path"), JobList},
                                                        {QStringLiteral("role"), ScheduleMarkRole}})
                         .value(QStringLiteral("rows"))
                         .toArray();
                 return !rows.isEmpty() && rows.at(0).toArray().at(0).toString() == QLatin1String("1");
             }),
             "the console does not mark the job as scheduled");

    const TCliRun list = RunCli({QStringLiteral("schedule"), QStringLiteral("list")});
    QVERIFY2(list.Status == 0, qPrintable(list.Err));
    const QString rule = QStringLiteral("Every week on %1 at 10:30").arg(dayName.left(3));
    const QString nextRun = day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 10:30");
    for (const QString &cell : {jobName, rule, nextRun, QStringLiteral("yes")})
        QVERIFY2(list.Out.contains(cell), qPrintable(cell + QStringLiteral(" is not in:\n") + list.Out));
}

QTEST_GUILESS_MAIN(TestOptionsAndSchedules)
#include "tst_optionsandschedules.moc"
