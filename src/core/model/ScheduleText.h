#pragma once

#include <QString>

namespace trovalo {

class TSchedule;

// The repetition rule of a time schedule in words, for lists (the schedule
// editor's, the command line's), for example
//   "Every week on Mon, Fri at 10:00"
//   "Every day at 07:00"                         (a weekly rule with all days)
//   "Every 2 months on day 15 at 08:30"
//   "Every month on the last day at 18:00"
//   "Every year on 29 Feb (28 Feb outside leap years) at 06:15"
//   "Once on 05 Jan at 09:00"
// It says what GetNextTransfer does with the stored values: a day a month
// lacks falls on the month's last day, out-of-range values are brought into
// range, and a weekly rule without days never runs.
QString ScheduleRuleText(const TSchedule &schedule);

} // namespace trovalo
