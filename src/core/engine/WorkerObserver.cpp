#include "engine/WorkerObserver.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace trovalo {

namespace {
constexpr double SecondsPerDay = 86400.0;
}

QString TStatusReport::Speed() const
{
    if (ElapsedSeconds == 0)
        return QStringLiteral("N/A");
    // The default locale: the system's unless the program chose another.
    const QLocale locale;
    const auto text = [&locale](double value, const char *unit) {
        return locale.toString(value, 'f', 2) + QLatin1String(unit);
    };
    double value = double(BytesProcessed) / std::abs(ElapsedSeconds);
    QString speed = text(value, "B/s");
    value /= 1024;
    if (value >= 1)
        speed = text(value, "KB/s");
    value /= 1024;
    if (value >= 1)
        speed = text(value, "MB/s");
    value /= 1024;
    // Only beyond one: exactly 1 GiB/s still reads 1,024.00MB/s.
    if (value > 1)
        speed = text(value, "GB/s");
    return speed;
}

double TStatusReport::ATR() const
{
    const double elapsedDays = std::abs(ElapsedSeconds) / SecondsPerDay;
    if (BytesProcessed <= 0 || elapsedDays <= 0)
        return -1;
    const double bytesPerDay = double(BytesProcessed) / elapsedDays;
    const double remaining = double(BytesTotal - BytesProcessed) / bytesPerDay;
    if (!std::isfinite(remaining))
        return -1;
    // More processed than announced (a file grew while it was copied): done,
    // not a negative time.
    return std::max(remaining, 0.0);
}

} // namespace trovalo
