#include "SizeText.h"

#include <QLocale>

#include <cstdlib>

namespace trovalo {

namespace {
QString WithLocaleDecimalPoint(QString text)
{
    const QString point = QLocale::system().decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

QString StripTrailingZeros(QString text)
{
    if (text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}
} // namespace

QString FormatTwoDecimals(double value)
{
    return WithLocaleDecimalPoint(StripTrailingZeros(QString::number(value, 'f', 2)));
}

QString FloatToStr(double value)
{
    return WithLocaleDecimalPoint(QString::number(value, 'g', 15).toUpper());
}

QString SizeText(qint64 bytes, TSizeUnits units)
{
    if (bytes < 0)
        return QStringLiteral("-") + SizeText(bytes == INT64_MIN ? INT64_MAX : -bytes, units);
    const bool engine = units == TSizeUnits::Engine;
    constexpr double KB = 1024.0;
    if (bytes < 1024)
        return QString::number(bytes) + (engine ? QStringLiteral(" bytes") : QStringLiteral(" Bytes"));
    if (bytes < 1048576)
        return FormatTwoDecimals(bytes / KB) + (engine ? QStringLiteral(" Kb") : QStringLiteral(" KB"));
    if (bytes < 1073741824)
        return FloatToStr(bytes / KB / KB) + (engine ? QStringLiteral(" Mb") : QStringLiteral(" MB"));
    // The file lists write gigabytes in the long form, like megabytes.
    if (!engine)
        return FloatToStr(bytes / KB / KB / KB) + QStringLiteral(" GB");
    return FormatTwoDecimals(bytes / KB / KB / KB) + QStringLiteral(" Gb");
}

} // namespace trovalo
