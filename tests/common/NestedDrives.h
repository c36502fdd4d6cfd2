#pragma once

#include "ScopedEnv.h"
#include "TestDrives.h"

#include "platform/DriveInterfaceType.h"

#include <QDir>

namespace trovalo::test {

// Drives whose stick lies inside C:'s own tree, as a mounted stick lies
// below /media on a real computer: E:\ is also C:\media\ann\STICK\. The
// home folder is C:\home\ann\.
struct TNestedDrives
{
    TNestedDrives()
    {
        Drives.AddDrive('E', Native(QStringLiteral("media/ann/STICK")),
                        QStringLiteral("bus=USB,label=STICK"));
        QDir().mkpath(Native(QStringLiteral("home/ann")));
        TDriveInterfaceType::Instance().Refresh();
    }
    QString Native(const QString &relative) const { return Drives.Native('C', relative); }

    TTestDrives Drives{{{'C', QStringLiteral("serial=1A2B3C4D")}}};
    TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};
};

} // namespace trovalo::test
