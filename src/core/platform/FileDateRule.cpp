#include "FileDateRule.h"

#include "platform/DriveTable.h"

#include <QDateTime>

#include <cmath>

namespace trovalo {

namespace {
constexpr qint64 StepMSecs = 2000;
constexpr qint64 HourMSecs = 3600 * 1000;

bool Near(qint64 differenceMSecs, qint64 shiftMSecs)
{
    return std::llabs(differenceMSecs - shiftMSecs) <= StepMSecs;
}
} // namespace

TDateKeeping DateKeepingOf(const QString &fileSystem)
{
    static const QStringList localTime = {"vfat",    "msdos",   "fat",          "exfat",
                                          "fuseblk", "fusefat", "fuse.fusefat", "fuse.exfat"};
    return localTime.contains(fileSystem.toLower()) ? TDateKeeping::LocalTime : TDateKeeping::Exact;
}

bool SameFileDate(TDateTime a, TDateTime b, bool sameSize, TDateKeeping keeping, int utcOffsetSeconds)
{
    if (a == b)
        return true;
    if (keeping == TDateKeeping::Exact || a == 0 || b == 0)
        return false;
    const qint64 difference = std::llabs(std::llround((a - b) * double(MSecsPerDay)));
    if (Near(difference, 0))
        return true;
    if (!sameSize)
        return false;
    const qint64 offset = std::llabs(qint64(utcOffsetSeconds) * 1000);
    return Near(difference, HourMSecs) || (offset != 0 && Near(difference, offset));
}

TFileDateRule TFileDateRule::OfPath(const QString &letterPath)
{
    return {DateKeepingOf(FileSystemOfPath(letterPath)), QDateTime::currentDateTime().offsetFromUtc()};
}

bool TFileDateRules::Same(const QString &pathA, TDateTime a, const QString &pathB, TDateTime b, bool sameSize)
{
    const TFileDateRule &ruleA = Of(pathA);
    return (ruleA.Loose() ? ruleA : Of(pathB)).Same(a, b, sameSize);
}

} // namespace trovalo
