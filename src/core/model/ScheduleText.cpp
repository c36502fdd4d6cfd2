#include "model/ScheduleText.h"

#include "model/Schedule.h"

#include <QDate>
#include <QStringList>

#include <algorithm>

namespace trovalo {

namespace {

const QStringList WeekDayNames = {QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                                  QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat"),
                                  QStringLiteral("Sun")};
const QStringList MonthNames = {QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                                QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
// A leap year, so that 29 February counts as a day February has.
constexpr int LeapYear = 2000;

QString TimeText(const TSchedule &schedule)
{
    return QStringLiteral("at %1:%2")
        .arg(std::clamp(schedule.TimeH(), 0, 23), 2, 10, QLatin1Char('0'))
        .arg(std::clamp(schedule.TimeM(), 0, 59), 2, 10, QLatin1Char('0'));
}

// "Every month", "Every 3 months"; Every of 0 counts as 1, as in the rule.
QString EveryText(int every, const QString &unit)
{
    return every <= 1 ? QStringLiteral("Every %1").arg(unit)
                      : QStringLiteral("Every %1 %2s").arg(every).arg(unit);
}

QString WeeklyText(const TSchedule &schedule)
{
    QStringList days;
    for (int day = 0; day < WeekDayNames.size(); ++day)
        if (schedule.WeekDays().toInt() & (1 << day))
            days << WeekDayNames.at(day);
    if (days.isEmpty())
        return QStringLiteral("Weekly on no day (never runs)");
    if (days.size() == WeekDayNames.size())
        return QStringLiteral("Every day ") + TimeText(schedule);
    return QStringLiteral("Every week on %1 ").arg(days.join(QStringLiteral(", "))) + TimeText(schedule);
}

QString MonthlyText(const TSchedule &schedule)
{
    if (schedule.LastDayOFMonth())
        return QStringLiteral("Every month on the last day ") + TimeText(schedule);
    const int day = std::clamp<int>(schedule.DayOfMonth(), 1, 31);
    QString text =
        EveryText(schedule.Every(), QStringLiteral("month")) + QStringLiteral(" on day %1").arg(day);
    if (day > 28)
        text += QStringLiteral(" (the last day in shorter months)");
    return text + QLatin1Char(' ') + TimeText(schedule);
}

// "05 Jan", "29 Feb (28 Feb outside leap years)", "the last day of Apr".
QString DayOfYearText(const TSchedule &schedule)
{
    const int month = std::clamp<int>(schedule.Month(), 1, 12);
    const int day = std::max<int>(schedule.DayOfMonthYearMode(), 1);
    const QString monthName = MonthNames.at(month - 1);
    if (day > QDate(LeapYear, month, 1).daysInMonth())
        return QStringLiteral("the last day of ") + monthName;
    const QString text = QStringLiteral("%1 %2").arg(day, 2, 10, QLatin1Char('0')).arg(monthName);
    if (month == 2 && day == 29)
        return text + QStringLiteral(" (28 Feb outside leap years)");
    return text;
}

} // namespace

QString ScheduleRuleText(const TSchedule &schedule)
{
    switch (schedule.ScheduleMode()) {
    case smWeekly:
        return WeeklyText(schedule);
    case smMonthly:
        return MonthlyText(schedule);
    case smYearly:
        return EveryText(schedule.Every(), QStringLiteral("year")) + QStringLiteral(" on ") +
               DayOfYearText(schedule) + QLatin1Char(' ') + TimeText(schedule);
    case smOnesOnly:
        return QStringLiteral("Once on ") + DayOfYearText(schedule) + QLatin1Char(' ') + TimeText(schedule);
    }
    return QStringLiteral("Unknown repetition");
}

} // namespace trovalo
