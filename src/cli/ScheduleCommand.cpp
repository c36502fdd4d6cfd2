#include "CommandLine.h"
#include "Commands.h"
#include "EngineRun.h"

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "control/ScheduleEditing.h"
#include "control/StartUp.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "engine/SearchDrive.h"
#include "model/Schedule.h"
#include "model/ScheduleText.h"
#include "platform/DriveTable.h"

#include <QDate>
#include <QRegularExpression>

#include <array>
#include <memory>
#include <optional>

namespace trovalo::cli {

namespace {

const QString ScheduleUsage =
    QStringLiteral("trovalo-cli schedule list\n"
                   "       trovalo-cli schedule add JOBFILE TRIGGER [--every N] [--at HH:MM]\n"
                   "         TRIGGER: --on-insert | --at-startup | --at-shutdown | --weekly mon,fri |\n"
                   "                  --monthly DAY|last | --yearly MM-DD | --once MM-DD\n"
                   "       trovalo-cli schedule remove ID\n"
                   "       trovalo-cli schedule enable ID\n"
                   "       trovalo-cli schedule disable ID");

const std::array<QString, 7> DayNames = {QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                                         QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                                         QStringLiteral("sun")};

// The program database of this computer, opened as the tray program opens it.
class TScheduleStore
{
public:
    TScheduleStore() { RunStartUp(FStartUp, true); }
    TProgramDatabase &Database() { return *FStartUp.ProgramDatabase(); }

    // The row with this ID; TCliFailure when there is none.
    TScheduleRunRow Row(const QString &idText)
    {
        bool ok = false;
        const qint64 id = idText.toLongLong(&ok);
        if (ok)
            for (const TScheduleRunRow &row : Database().AllSchedules())
                if (row.ID == id)
                    return row;
        throw TCliFailure{
            QStringLiteral("there is no schedule with the ID '%1' (trovalo-cli schedule list shows them)")
                .arg(idText)};
    }

private:
    TStartUp FStartUp;
};

QString TriggerWord(int mode)
{
    switch (mode) {
    case stStartup:
        return QStringLiteral("at start-up");
    case stShutdown:
        return QStringLiteral("at shut-down");
    case stTime:
        return QStringLiteral("time");
    case stDriveInsertion:
        return QStringLiteral("on insert");
    }
    return QStringLiteral("unknown (%1)").arg(mode);
}

// The options of `schedule add`.
struct TAddOptions
{
    QCommandLineOption OnInsert{QStringLiteral("on-insert"),
                                QStringLiteral("when the USB drive is plugged in")};
    QCommandLineOption AtStartup{QStringLiteral("at-startup"), QStringLiteral("when the program starts")};
    QCommandLineOption AtShutdown{QStringLiteral("at-shutdown"),
                                  QStringLiteral("before the computer shuts down or the user logs off")};
    QCommandLineOption Weekly{QStringLiteral("weekly"), QStringLiteral("on these days of every week"),
                              QStringLiteral("mon,tue,...")};
    QCommandLineOption Monthly{QStringLiteral("monthly"), QStringLiteral("on this day of the month"),
                               QStringLiteral("DAY|last")};
    QCommandLineOption Yearly{QStringLiteral("yearly"), QStringLiteral("on this day of the year"),
                              QStringLiteral("MM-DD")};
    QCommandLineOption Once{QStringLiteral("once"), QStringLiteral("once, on the next such day"),
                            QStringLiteral("MM-DD")};
    QCommandLineOption Every{QStringLiteral("every"),
                             QStringLiteral("--monthly, --yearly: every N months or years"),
                             QStringLiteral("N")};
    QCommandLineOption At{QStringLiteral("at"), QStringLiteral("time rules: the time of day"),
                          QStringLiteral("HH:MM")};

    QList<QCommandLineOption> All() const
    {
        return {OnInsert, AtStartup, AtShutdown, Weekly, Monthly, Yearly, Once, Every, At};
    }
};

// What `schedule add` makes of its options: the trigger, and for a time
// rule the rule itself.
struct TNewSchedule
{
    TScheduleTrigger Trigger = stTime;
    std::unique_ptr<TSchedule> Rule; // time rules only
};

TWeekDays ParseWeekDays(const QString &text)
{
    TWeekDays days;
    const QStringList names(DayNames.cbegin(), DayNames.cend());
    for (const QString &raw : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = raw.trimmed().toLower().left(3);
        const qsizetype index = names.indexOf(name);
        if (raw.trimmed().size() < 3 || index < 0) {
            const QString nearest = NearestWord(raw.trimmed().toLower(), names);
            throw TCliFailure{
                QStringLiteral("--weekly: '%1' is no day (mon, tue, wed, thu, fri, sat, sun)%2")
                    .arg(raw.trimmed(), nearest.isEmpty()
                                            ? QString()
                                            : QStringLiteral("; did you mean '%1'?").arg(nearest))};
        }
        days |= TWeekDay(1 << index);
    }
    if (!days)
        throw TCliFailure{QStringLiteral("--weekly: a weekly rule without days never runs; name the days, "
                                         "for example --weekly mon,fri")};
    return days;
}

// "MM-DD" as month and day; any day the month can have in a leap year.
std::pair<int, int> ParseMonthDay(const QString &option, const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2})-(\\d{1,2})$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    const int month = match.hasMatch() ? match.captured(1).toInt() : 0;
    const int day = match.hasMatch() ? match.captured(2).toInt() : 0;
    if (month < 1 || month > 12 || day < 1 || day > QDate(2000, month, 1).daysInMonth())
        throw TCliFailure{QStringLiteral("--%1: '%2' is no day of the year; give MM-DD, for example 03-15")
                              .arg(option, text)};
    return {month, day};
}

int ParseNumber(const QString &option, const QString &text, int low, int high, const QString &what)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        throw TCliFailure{
            QStringLiteral("--%1: '%2' is no %3 (%4 to %5)").arg(option, text, what).arg(low).arg(high)};
    return value;
}

TNewSchedule ParseTrigger(const QCommandLineParser &parser, const TAddOptions &options)
{
    const QList<const QCommandLineOption *> triggers = {
        &options.OnInsert, &options.AtStartup, &options.AtShutdown, &options.Weekly,
        &options.Monthly,  &options.Yearly,    &options.Once};
    QStringList given;
    const QCommandLineOption *trigger = nullptr;
    for (const QCommandLineOption *option : triggers)
        if (parser.isSet(*option)) {
            given << QStringLiteral("--") + option->names().first();
            trigger = option;
        }
    if (given.size() != 1)
        throw TCliFailure{
            (given.isEmpty()
                 ? QStringLiteral("say when the job runs")
                 : QStringLiteral("%1: a job has one schedule; give one of them").arg(given.join(", "))) +
            QStringLiteral("\nUsage: ") + ScheduleUsage};

    TNewSchedule result;
    const bool timeRule =
        trigger != &options.OnInsert && trigger != &options.AtStartup && trigger != &options.AtShutdown;
    if (!timeRule) {
        for (const QCommandLineOption *timing : {&options.Every, &options.At})
            if (parser.isSet(*timing))
                throw TCliFailure{QStringLiteral("--%1 is for time rules; %2 has no time")
                                      .arg(timing->names().first(), given.first())};
        result.Trigger = trigger == &options.OnInsert    ? stDriveInsertion
                         : trigger == &options.AtStartup ? stStartup
                                                         : stShutdown;
        return result;
    }

    result.Trigger = stTime;
    result.Rule = std::make_unique<TSchedule>();
    TSchedule &rule = *result.Rule;
    const QString name = trigger->names().first();
    const QString value = parser.value(*trigger);
    if (trigger == &options.Weekly) {
        rule.SetScheduleMode(smWeekly);
        rule.SetWeekDays(ParseWeekDays(value));
    } else if (trigger == &options.Monthly) {
        rule.SetScheduleMode(smMonthly);
        if (value.trimmed().compare(QLatin1String("last"), Qt::CaseInsensitive) == 0)
            rule.SetLastDayOFMonth(true);
        else
            rule.SetDayOfMonth(quint8(ParseNumber(name, value, 1, 31, QStringLiteral("day of the month"))));
    } else {
        const auto [month, day] = ParseMonthDay(name, value);
        rule.SetScheduleMode(trigger == &options.Once ? smOnesOnly : smYearly);
        rule.SetMonth(quint8(month));
        rule.SetDayOfMonthYearMode(quint8(day));
    }
    if (parser.isSet(options.Every)) {
        if (trigger != &options.Monthly && trigger != &options.Yearly)
            throw TCliFailure{
                QStringLiteral("--every is for --monthly and --yearly; %1 %2")
                    .arg(QStringLiteral("--") + name, trigger == &options.Once
                                                          ? QStringLiteral("runs once")
                                                          : QStringLiteral("runs every week on its days"))};
        rule.SetEvery(quint8(ParseNumber(QStringLiteral("every"), parser.value(options.Every), 1, 99,
                                         QStringLiteral("number of months or years"))));
    }
    if (!parser.isSet(options.At))
        throw TCliFailure{QStringLiteral("--%1 needs the time of day: --at HH:MM").arg(name)};
    const QTime at = QTime::fromString(parser.value(options.At).trimmed(), QStringLiteral("H:mm"));
    if (!at.isValid())
        throw TCliFailure{QStringLiteral("--at: '%1' is no time of day; give HH:MM, for example 18:30")
                              .arg(parser.value(options.At))};
    rule.SetTimeH(at.hour());
    rule.SetTimeM(at.minute());
    return result;
}

QString RunText(const std::optional<TDateTime> &time)
{
    return time ? DateTimeToQt(*time).toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("-");
}

int AddSchedule(TCliContext &context, const QStringList &arguments)
{
    const TAddOptions options;
    QCommandLineParser parser;
    ParseCommand(parser, {ScheduleUsage, options.All(), 1, 1}, arguments);
    const QString jobFile = JobFileFromArgument(
        parser.positionalArguments().first(), [](TJobKind) { return QString(); },
        QStringLiteral(
            "schedules are for backup (.zja), move (.zjm), sync (.zjs) and PC-PC sync (.zjp) jobs"));
    const TNewSchedule wanted = ParseTrigger(parser, options);

    TScheduleStore store;
    TProgramDatabase &database = store.Database();
    if (const std::optional<TScheduleRunRow> existing = database.FindScheduleOfJobFile(jobFile))
        throw TCliFailure{
            QStringLiteral("%1 has a schedule already (ID %2); a job has one. Remove it first with "
                           "trovalo-cli schedule remove %2")
                .arg(WithNative(jobFile))
                .arg(existing->ID)};

    TScheduleRunRow row;
    row.FileName = jobFile;
    row.JobName = TSearchDrive::ReadJobFile(jobFile).Name;
    row.Mode = wanted.Trigger;
    // The row the schedule editor's Save writes: the rule (a default one for
    // the other triggers) and, for a time rule, its next future run.
    const TSchedule defaultRule;
    try {
        row = ScheduleRowToSave(row, wanted.Rule ? *wanted.Rule : defaultRule, DateTimeNow());
    } catch (const EUserException &error) {
        throw TCliFailure{error.Message()};
    }
    // One row or none: a failure half-way leaves no row without its rule.
    TSqliteTransaction transaction(database.Connection());
    row.ID = database.AddSchedule(row.FileName, row.JobName);
    database.UpdateSchedule(row);
    transaction.Commit();

    context.Out << "Added schedule " << row.ID << " for \"" << row.JobName << "\": " << TriggerWord(row.Mode);
    if (wanted.Rule)
        context.Out << ", next run " << RunText(row.NextRunTime);
    context.Out << "\n  " << WithNative(jobFile) << "\n";
    return ExitOk;
}

int ListSchedules(TCliContext &context, const QStringList &arguments)
{
    QCommandLineParser parser;
    ParseCommand(parser, {ScheduleUsage, {}, 0, 0}, arguments);
    TScheduleStore store;
    const QList<TScheduleRunRow> rows = store.Database().AllSchedules();
    if (rows.isEmpty()) {
        context.Out << "No schedules.\n";
        return ExitOk;
    }
    QList<QStringList> table{{QStringLiteral("ID"), QStringLiteral("Job"), QStringLiteral("Job file"),
                              QStringLiteral("Trigger"), QStringLiteral("Rule"), QStringLiteral("Next run"),
                              QStringLiteral("Active")}};
    for (const TScheduleRunRow &row : rows) {
        QString rule = QStringLiteral("-");
        if (row.Mode == stTime && row.Data) {
            TSchedule schedule;
            try {
                schedule.LoadFromBytes(*row.Data);
                rule = ScheduleRuleText(schedule);
            } catch (const ETrovaloError &error) {
                rule = QStringLiteral("unreadable rule: %1").arg(error.Message());
            }
        }
        table << QStringList{QString::number(row.ID),
                             row.JobName,
                             row.FileName,
                             TriggerWord(row.Mode),
                             rule,
                             row.Mode == stTime ? RunText(row.NextRunTime) : QStringLiteral("-"),
                             row.Active ? QStringLiteral("yes") : QStringLiteral("no")};
    }
    PrintTable(context.Out, table);
    return ExitOk;
}

int RemoveSchedule(TCliContext &context, const QStringList &arguments)
{
    QCommandLineParser parser;
    ParseCommand(parser, {ScheduleUsage, {}, 1, 1}, arguments);
    TScheduleStore store;
    const TScheduleRunRow row = store.Row(parser.positionalArguments().first());
    store.Database().DeleteSchedule(row.ID);
    context.Out << "Removed schedule " << row.ID << " of \"" << row.JobName << "\" (" << row.FileName
                << ")\n";
    return ExitOk;
}

int SetActive(TCliContext &context, const QStringList &arguments, bool active)
{
    QCommandLineParser parser;
    ParseCommand(parser, {ScheduleUsage, {}, 1, 1}, arguments);
    TScheduleStore store;
    TScheduleRunRow row = store.Row(parser.positionalArguments().first());
    row.Active = active;
    store.Database().UpdateSchedule(row);
    context.Out << "Schedule " << row.ID << " of \"" << row.JobName << "\" is "
                << (active ? "enabled" : "disabled") << "\n";
    return ExitOk;
}

} // namespace

int ScheduleCommand(TCliContext &context)
{
    QStringList arguments = context.Arguments;
    const QStringList actions{QStringLiteral("list"), QStringLiteral("add"), QStringLiteral("remove"),
                              QStringLiteral("enable"), QStringLiteral("disable")};
    const QString action = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (action == QLatin1String("list"))
        return ListSchedules(context, arguments);
    if (action == QLatin1String("add"))
        return AddSchedule(context, arguments);
    if (action == QLatin1String("remove"))
        return RemoveSchedule(context, arguments);
    if (action == QLatin1String("enable") || action == QLatin1String("disable"))
        return SetActive(context, arguments, action == QLatin1String("enable"));
    const QString nearest = NearestWord(action, actions);
    throw TCliFailure{
        (action.isEmpty()
             ? QStringLiteral("say what to do: list, add, remove, enable or disable")
             : QStringLiteral("'%1' is none of list, add, remove, enable, disable%2")
                   .arg(action, nearest.isEmpty() ? QString()
                                                  : QStringLiteral("; did you mean '%1'?").arg(nearest))) +
        QStringLiteral("\nUsage: ") + ScheduleUsage};
}

} // namespace trovalo::cli
