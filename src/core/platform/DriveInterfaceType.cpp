#include "DriveInterfaceType.h"

#include "DriveTable.h"

namespace trovalo {

namespace {
// Index of a drive letter in the table, -1 for anything else.
int LetterIndex(QChar letter)
{
    const char16_t u = letter.toUpper().unicode();
    return (u >= u'A' && u <= u'Z') ? int(u - u'A') : -1;
}
} // namespace

TDriveInterfaceType::TDriveInterfaceType()
{
    Refresh();
}

TDriveInterfaceType &TDriveInterfaceType::Instance()
{
    static TDriveInterfaceType table;
    return table;
}

void TDriveInterfaceType::Refresh()
{
    for (QString &entry : FInterfaceType)
        entry.clear();
    TDriveTable &drives = TDriveTable::Instance();
    drives.Refresh();
    for (const TDriveInfo &drive : drives.Drives()) {
        const int index = LetterIndex(drive.Letter);
        // The first disk that claims a letter keeps it.
        if (index >= 0 && FInterfaceType[size_t(index)].isEmpty())
            FInterfaceType[size_t(index)] = drive.BusType;
    }
}

QString TDriveInterfaceType::GetInterfaceType(QChar Letter) const
{
    const int index = LetterIndex(Letter);
    // toUpper() maps some non-Latin letters into A..Z (e.g. U+0131 -> 'I').
    if (index < 0 || Letter.unicode() > 0x7F)
        return {};
    return FInterfaceType[size_t(index)];
}

} // namespace trovalo
