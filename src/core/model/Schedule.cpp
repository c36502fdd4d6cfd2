#include "Schedule.h"

#include "base/Exceptions.h"

#include <algorithm>

namespace trovalo {

namespace {

const QDate DateEpoch(1899, 12, 30);
constexpr int AllWeekDays = dMonday | dTuesday | dWednesday | dThursday | dFriday | dSaturday | dSunday;

// A day of the month, 0 counting as 1 and a day past the month's end as its
// last day.
QDate CutDate(int year, int month, int day)
{
    const int daysInMonth = QDate(year, month, 1).daysInMonth();
    return QDate(year, month, std::clamp(day, 1, daysInMonth));
}

} // namespace

TSchedule::TSchedule(QObject *parent)
    : TSaveLoadComponent(parent)
{}

void TSchedule::Assign(const QObject *source)
{
    const auto *schedule = qobject_cast<const TSchedule *>(source);
    if (!schedule) {
        const QString sourceName =
            source ? QString::fromLatin1(source->metaObject()->className()).section(QLatin1String("::"), -1)
                   : QStringLiteral("nil");
        throw EConvertError(QStringLiteral("Cannot assign a %1 to a TSchedule").arg(sourceName));
    }
    FScheduleMode = schedule->FScheduleMode;
    FWeekDays = schedule->FWeekDays;
    FDayOfMonth = schedule->FDayOfMonth;
    FLastDayOFMonth = schedule->FLastDayOFMonth;
    FEvery = schedule->FEvery;
    FMonth = schedule->FMonth;
    FDayOfMonthYearMode = schedule->FDayOfMonthYearMode;
}

TDateTime TSchedule::GetNextTransfer(TDateTime fromDate) const
{
    const QDate fromDay = DateEpoch.addDays(DateOf(fromDate));
    switch (FScheduleMode) {
    case smWeekly:
        return NextWeekly(fromDate);
    case smMonthly:
        return NextMonthly(fromDay);
    case smYearly:
    case smOnesOnly:
        return NextYearly(fromDay);
    }
    return fromDate;
}

QTime TSchedule::RunTime() const
{
    return QTime(std::clamp(FTimeH, 0, 23), std::clamp(FTimeM, 0, 59));
}

TDateTime TSchedule::At(const QDate &day) const
{
    return EncodeDateTime(day, RunTime());
}

bool TSchedule::IsAfterStart(const QDate &candidate, const QDate &fromDay) const
{
    // Start is midnight of FromDate's day: a candidate on that day counts
    // only when its time is later than 00:00.
    return candidate > fromDay || (candidate == fromDay && RunTime() != QTime(0, 0));
}

int TSchedule::Interval() const
{
    return std::max<int>(FEvery, 1);
}

TDateTime TSchedule::NextWeekly(TDateTime fromDate) const
{
    const int days = FWeekDays.toInt() & AllWeekDays;
    if (days == 0)
        return fromDate - 1;
    const QDate fromDay = DateEpoch.addDays(DateOf(fromDate));
    // Seven consecutive days meet every weekday once, so one of them matches.
    QDate candidate = fromDay;
    for (int step = 0; step < 7; ++step, candidate = candidate.addDays(1))
        if (days & (1 << (candidate.dayOfWeek() - 1)))
            break;
    return At(candidate);
}

TDateTime TSchedule::NextMonthly(const QDate &fromDay) const
{
    if (FLastDayOFMonth) {
        const QDate candidate = CutDate(fromDay.year(), fromDay.month(), 31);
        if (IsAfterStart(candidate, fromDay))
            return At(candidate);
        const QDate following = candidate.addDays(1);
        return At(CutDate(following.year(), following.month(), 31));
    }
    const QDate candidate = CutDate(fromDay.year(), fromDay.month(), FDayOfMonth);
    if (IsAfterStart(candidate, fromDay))
        return At(candidate);
    // addMonths keeps the day, or cuts it to the end of a shorter month.
    return At(candidate.addMonths(Interval()));
}

TDateTime TSchedule::NextYearly(const QDate &fromDay) const
{
    const int month = std::clamp<int>(FMonth, 1, 12);
    const QDate candidate = CutDate(fromDay.year(), month, FDayOfMonthYearMode);
    if (IsAfterStart(candidate, fromDay))
        return At(candidate);
    // Cut against the target year so a 29 February rule returns in leap years.
    return At(CutDate(fromDay.year() + Interval(), month, FDayOfMonthYearMode));
}

} // namespace trovalo
