#pragma once

#include "DriveTable.h"

#include <QList>
#include <QString>

#include <optional>

namespace trovalo {

// One drive named by TROVALO_DRIVES, as written there.
struct TDriveOverride
{
    TDriveInfo Info;              // letter, root, and the settings that were given
    bool SerialGiven = false;     // serial=... was present ("none" leaves Info.Serial empty)
    bool FileSystemGiven = false; // fs=... was present
};

// Parses the value of TROVALO_DRIVES ("C=/tmp/t/c;E=/tmp/t/e,bus=USB"; see
// DriveTable.h). Letters are taken in either case; roots must be absolute
// and are cleaned; the label defaults to the root folder's name. Anything
// malformed (no entries, a bad letter or key, a relative root, a letter or a
// root named twice, a serial that is not 8 hex digits or "none") gives
// nullopt and a message in *error: the table is then left empty rather than
// guessed.
std::optional<QList<TDriveOverride>> ParseDriveOverride(const QString &text, QString *error);

// The file named by TROVALO_DRIVES="@/abs/file" (blanks around it dropped);
// "" when the value does not begin with "@".
QString DriveOverrideFileName(const QString &variableValue);

// The entries of a drive-table file as one value of TROVALO_DRIVES: lines
// that are blank or begin with "#" are dropped and the others joined with
// ";" (a line may hold several entries separated by ";" as well). nullopt
// and the reason in *error when the name is not absolute, the file cannot
// be read, or it holds no entry.
std::optional<QString> ReadDriveOverrideFile(const QString &fileName, QString *error);

} // namespace trovalo
