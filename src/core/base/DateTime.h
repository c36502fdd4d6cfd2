#pragma once

#include <QDateTime>

namespace trovalo {

// Local time as days since 1899-12-30 00:00, the fraction being the time of
// day; 0 means "never". Negative values count days backwards while the
// fraction still runs forwards (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

constexpr qint64 MSecsPerDay = 86400000;

// Whole-millisecond conversions; an invalid QDateTime gives 0 and 0 gives an
// invalid QDateTime ("never").
TDateTime DateTimeFromQt(const QDateTime &value);
QDateTime DateTimeToQt(TDateTime value);

TDateTime DateTimeNow();

// Day and time parts, with the sign rule above.
qint64 DateOf(TDateTime value);
double TimeOf(TDateTime value);

// Builds a date-time from a calendar date and a time of day.
TDateTime EncodeDateTime(const QDate &date, const QTime &time);

} // namespace trovalo
