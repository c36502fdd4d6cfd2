#include "base/DateTimeText.h"

#include <QLocale>

namespace trovalo {

namespace {
// The locale's long time format without its time-zone field: the stored
// times are local times that carry no zone, and the zone of today need not
// be the one of the moment shown.
QString LongTimeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    result.remove(QStringLiteral("()")).remove(QStringLiteral("[]"));
    auto isFiller = [](QChar c) { return c.isSpace() || c == QLatin1Char(','); };
    while (!result.isEmpty() && isFiller(result.back()))
        result.chop(1);
    while (!result.isEmpty() && isFiller(result.front()))
        result.remove(0, 1);
    return result;
}
} // namespace

QString DateTimeText(TDateTime value)
{
    // Date and time are taken apart rather than as one local QDateTime, which
    // is invalid for a time that falls into a daylight-saving gap.
    const QDateTime moment = DateTimeToQt(value);
    if (!moment.date().isValid())
        return QStringLiteral("N/A");
    const QLocale locale;
    QString text = locale.toString(moment.date(), QLocale::ShortFormat);
    if (moment.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(moment.time(), LongTimeFormatWithoutZone(locale));
    return text;
}

} // namespace trovalo
