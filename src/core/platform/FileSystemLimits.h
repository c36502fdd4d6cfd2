#pragma once

#include "platform/PerDrive.h"

#include <QString>

namespace trovalo {

// What a destination's file system cannot hold, so a run can leave such
// files out before it writes anything instead of failing halfway: FAT32
// holds no file of 4 GiB or more; FAT and exFAT hold no name with
// " * : < > ? \ | or a control character, none ending in a dot or a
// space, and no two names of one folder that differ only in letter case.
class TFileSystemLimits
{
public:
    // Every file system whose limits are not known here holds everything.
    TFileSystemLimits() = default;
    // From the file system's name as the mount table or the drive table
    // gives it ("vfat", "exfat", "fuse.fusefat", ...).
    static TFileSystemLimits Of(const QString &fileSystem);
    // The limits of the drive holding a path in the drive-letter form.
    static TFileSystemLimits OfPath(const QString &letterPath);

    static constexpr qint64 FatFileSizeLimit = (qint64(1) << 32) - 1;

    bool Any() const { return FFatNames || FFatSizes; }
    // The limits of files written into an archive there, whose entries
    // may have any name.
    TFileSystemLimits SizesOnly() const
    {
        TFileSystemLimits limits = *this;
        limits.FFatNames = false;
        return limits;
    }
    bool CaseInsensitive() const { return FFatNames; }
    // Why a name (drive-letter form) cannot be written there; "" when it can.
    QString NameRefusal(const QString &letterName) const;
    // Why a file of this size cannot be written there; "" when it can.
    QString SizeRefusal(qint64 size) const;
    // Why a file of this name and size cannot be written there; "".
    QString FileRefusal(const QString &letterName, qint64 size) const
    {
        const QString why = NameRefusal(letterName);
        return why.isEmpty() ? SizeRefusal(size) : why;
    }

private:
    bool FFatNames = false;
    bool FFatSizes = false;
};

// The limits of the drives one run writes to, each read once.
using TFileSystemLimitsOfDrives = TPerDrive<TFileSystemLimits, &TFileSystemLimits::OfPath>;

} // namespace trovalo
