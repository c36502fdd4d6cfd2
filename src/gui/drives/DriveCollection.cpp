#include "drives/DriveCollection.h"

#include "platform/FileSystem.h"

namespace trovalo {

void TDriveData::ReadSizes()
{
    FFreeSapce = FTotalSpace = -1;
    if (FDrive.isEmpty() || FDrive.at(0) < QLatin1Char('A') || FDrive.at(0) > QLatin1Char('Z'))
        return;
    if (const std::optional<TDiskSpace> space = DiskSpace(FDrive)) {
        FFreeSapce = space->Free;
        FTotalSpace = space->Total;
    }
}

std::unique_ptr<TCollectionItem> TDriveCollection::CreateItem() const
{
    return std::make_unique<TDriveData>();
}

TDriveData *TDriveCollection::Add(const QString &Drive)
{
    auto *item = static_cast<TDriveData *>(AddItem());
    item->SetDrive(Drive);
    item->ReadSizes();
    return item;
}

TDriveData *TDriveCollection::Insert(int Index)
{
    return static_cast<TDriveData *>(InsertItem(Index));
}

TDriveData *TDriveCollection::Items(int Index) const
{
    return static_cast<TDriveData *>(Item(Index));
}

TDriveData *TDriveCollection::Find(const QString &Drive) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Drive() == Drive)
            return Items(i);
    return nullptr;
}

} // namespace trovalo
