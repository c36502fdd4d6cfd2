#include "DateTime.h"

#include <QTimeZone>

#include <cmath>

namespace trovalo {

namespace {
// A function, not a namespace-scope QDate: date-times built while other files'
// statics are being set up would otherwise see an unset epoch.
QDate Epoch()
{
    return QDate::fromJulianDay(2415019); // 1899-12-30
}
} // namespace

qint64 DateOf(TDateTime value)
{
    return static_cast<qint64>(std::trunc(value));
}

double TimeOf(TDateTime value)
{
    return std::fabs(value - std::trunc(value));
}

TDateTime EncodeDateTime(const QDate &date, const QTime &time)
{
    const qint64 days = Epoch().daysTo(date);
    const double fraction = static_cast<double>(time.msecsSinceStartOfDay()) / MSecsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

TDateTime DateTimeFromQt(const QDateTime &value)
{
    if (!value.isValid())
        return 0;
    const QDateTime local = value.toLocalTime();
    return EncodeDateTime(local.date(), local.time());
}

QDateTime DateTimeToQt(TDateTime value)
{
    if (value == 0 || !std::isfinite(value))
        return {};
    // Round to the millisecond first so a value written from a QDateTime comes
    // back as the same QDateTime.
    const qint64 days = DateOf(value);
    qint64 msecs = std::llround(TimeOf(value) * MSecsPerDay);
    // A time that rounds up to midnight belongs to the next calendar day; the
    // time of day runs forwards for negative values too (-1.99... is the end
    // of 1899-12-29, so its midnight is 1899-12-30).
    qint64 dayShift = 0;
    if (msecs >= MSecsPerDay) {
        msecs -= MSecsPerDay;
        dayShift = 1;
    }
    const QDate date = Epoch().addDays(days + dayShift);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

TDateTime DateTimeNow()
{
    return DateTimeFromQt(QDateTime::currentDateTime());
}

} // namespace trovalo
