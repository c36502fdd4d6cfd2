#pragma once

#include <QString>
#include <QStringList>

namespace trovalo {

class TProgramDatabase;

// What emptying the deleted-files folder did.
struct TDeletedFolderEmptying
{
    QStringList Removed; // the time-stamped folders removed, by name
    QStringList Kept;    // "<name>: <why it stays>" for every entry left in the folder

    // The kept entries as lines for a message, at most MaxLines of them
    // and a line that counts the rest; empty when nothing was kept.
    QString KeptLines(int MaxLines = 20) const;
};

// Whether Name is a folder name deletion protection gives: a space and the
// run's start as "yyyy-MM-dd hh-mm" (" 2014-07-10 09-15").
bool IsProtectionStampName(const QString &name);

// Empties the deleted-files folder (drive-letter form) of what deletion
// protection put there: the time-stamped folders that the program
// database's deleted-files log names. Anything else stays, and is listed:
// files and folders of other names, and time-stamped folders the log does
// not name (a time-stamped backup looks the same), as well as entries that
// could not be removed. The log forgets the files of every folder that is
// gone afterwards, and keeps those of folders that stay, so the used size
// stays true. Links are removed, never followed.
//
// Raises EUserException, changing nothing, when ProtectionFolderRefusal
// refuses the folder (DataFolder as there).
TDeletedFolderEmptying EmptyDeletedFolder(const QString &folder, TProgramDatabase &database,
                                          const QString &dataFolder);

} // namespace trovalo
