#pragma once

#include "base/PathText.h"

#include <QHash>
#include <QString>

namespace trovalo {

// Something a run reads once per drive it meets (a date rule, the limits of
// a file system), looked up by the drive of a path in the drive-letter form.
// Read(letterPath) makes the value of that path's drive.
template <class TValue, TValue (*Read)(const QString &)>
class TPerDrive
{
public:
    const TValue &Of(const QString &letterPath)
    {
        const QString drive = ExtractFileDrive(letterPath).toUpper();
        auto known = FValues.constFind(drive);
        if (known == FValues.constEnd())
            known = FValues.insert(drive, Read(letterPath));
        return *known;
    }

private:
    QHash<QString, TValue> FValues; // by drive ("E:"), share, or "" for none
};

} // namespace trovalo
