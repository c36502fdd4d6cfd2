#include "model/NextRunTime.h"

namespace trovalo {

namespace {

constexpr int AllWeekDays = dMonday | dTuesday | dWednesday | dThursday | dFriday | dSaturday | dSunday;

} // namespace

std::optional<TDateTime> NextFutureRun(const TSchedule &schedule, TDateTime now)
{
    switch (schedule.ScheduleMode()) {
    case smWeekly:
        if ((schedule.WeekDays().toInt() & AllWeekDays) == 0)
            return std::nullopt;
        break;
    case smMonthly:
    case smYearly:
    case smOnesOnly:
        break;
    default:
        return std::nullopt;
    }
    const TDateTime candidate = schedule.GetNextTransfer(now);
    if (candidate > now)
        return candidate;
    // A passed candidate lies on Now's own day (earlier days are moved on by
    // the rule itself). From tomorrow's midnight the rule answers tomorrow or
    // later; a run at exactly 00:00 tomorrow is not lost, because then the
    // rule's time is 00:00 and only a weekly rule can give a passed candidate
    // at that time, and a weekly rule counts its From day whatever the time.
    const TDateTime tomorrow = TDateTime(DateOf(now) + 1);
    const TDateTime next = schedule.GetNextTransfer(tomorrow);
    if (next > now)
        return next;
    return std::nullopt;
}

std::optional<TDateTime> NextRunAfterRun(const TSchedule &schedule, TDateTime now)
{
    if (schedule.ScheduleMode() == smOnesOnly)
        return std::nullopt;
    return NextFutureRun(schedule, now);
}

} // namespace trovalo
