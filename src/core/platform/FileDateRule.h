#pragma once

#include "base/DateTime.h"

#include "platform/PerDrive.h"

#include <QString>

namespace trovalo {

// How a file system keeps file dates.
enum class TDateKeeping {
    Exact,     // as the moment in time, to the second or better
    LocalTime, // FAT and exFAT: local time in 2-second steps, zone unknown
};

// The keeping of a file system named as the mount table or the drive table
// names it ("vfat", "exfat", "fuseblk", "fuse.fusefat", ...). fuseblk may be
// exFAT or NTFS, which cannot be told apart from the name; it gets the
// looser rule, whose only cost is to miss an edit that kept a file's size
// and moved its date by exactly an hour.
TDateKeeping DateKeepingOf(const QString &fileSystem);

// Whether two dates read or recorded for one file count as the same. On a
// LocalTime drive they may differ by 2 seconds (its date steps), and, while
// the file's size is unchanged, by exactly one hour (a daylight-saving
// change) or by exactly the computer's offset from UTC (a stick last read
// or written where its local time meant another zone), each within the
// same 2 seconds. On other drives only equal dates are the same.
bool SameFileDate(TDateTime a, TDateTime b, bool sameSize, TDateKeeping keeping, int utcOffsetSeconds);

// The rule of one drive: its keeping and the computer's offset from UTC,
// both read when the rule is made.
class TFileDateRule
{
public:
    TFileDateRule() = default;
    TFileDateRule(TDateKeeping keeping, int utcOffsetSeconds)
        : FKeeping(keeping)
        , FUtcOffset(utcOffsetSeconds)
    {}
    // The rule of the drive holding a path in the drive-letter form
    // (exact for a network share or a path on no drive).
    static TFileDateRule OfPath(const QString &letterPath);

    bool Same(TDateTime a, TDateTime b, bool sameSize) const
    {
        return SameFileDate(a, b, sameSize, FKeeping, FUtcOffset);
    }
    bool Loose() const { return FKeeping != TDateKeeping::Exact; }

private:
    TDateKeeping FKeeping = TDateKeeping::Exact;
    int FUtcOffset = 0;
};

// The rules of the drives one run meets, each read once.
class TFileDateRules
{
public:
    const TFileDateRule &Of(const QString &letterPath) { return FRules.Of(letterPath); }
    // Whether dates of one file read on two drives count as the same: the
    // looser rule of the two applies, as either drive's date may be shifted.
    bool Same(const QString &pathA, TDateTime a, const QString &pathB, TDateTime b, bool sameSize);

private:
    TPerDrive<TFileDateRule, &TFileDateRule::OfPath> FRules;
};

} // namespace trovalo
