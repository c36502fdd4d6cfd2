#pragma once

#include <QChar>
#include <QString>

#include <array>

namespace trovalo {

// For each drive letter, the bus of the disk behind it ("USB" for a
// USB-attached disk, else "ATA", "NVME", ... or ""), as the drive lists read
// it to offer only USB drives. The table is a snapshot: it changes only on
// Refresh, so a stick plugged in later is offered only after the user asked
// for a new drive list. Interface thread only.
class TDriveInterfaceType
{
public:
    // Builds the table at once.
    TDriveInterfaceType();

    // The table the controller and every drive list share.
    static TDriveInterfaceType &Instance();

    // Re-reads the drives (the mount table with the sysfs bus of each disk,
    // or TROVALO_DRIVES with its bus= settings) and rebuilds all 26 entries.
    void Refresh();

    // 'e' is taken as 'E'; any character other than a letter gives "".
    QString GetInterfaceType(QChar Letter) const;

private:
    std::array<QString, 26> FInterfaceType;
};

} // namespace trovalo
