#pragma once

#include "base/DateTime.h"

#include <QString>

#include <optional>
#include <vector>

namespace trovalo {

// One entry of a folder as the engines walk it.
struct TFolderEntry
{
    enum TKind {
        ekFile,         // a regular file, or a symbolic link to one (followed)
        ekFolder,       // a real folder (never a link to one)
        ekLinkToFolder, // a symbolic link to a folder: walks never enter it
        ekBrokenLink,   // a symbolic link whose target is missing or unreadable
        ekOther,        // a device, pipe or socket: nothing to copy
        ekLeftover,     // the program's own temporary file (TempFile.h): never data
    };

    QString Name;
    TKind Kind = ekFile;
    bool IsLink = false; // the entry itself is a symbolic link
    qint64 Size = 0;     // bytes of the file (of the link's target for a link)
    TDateTime Date = 0;  // the file date (local time, DOS precision); 0 for folders

    bool IsFolder() const { return Kind == ekFolder; }
    bool IsFile() const { return Kind == ekFile; }
};

// Lists one folder (drive-letter path, with or without a trailing "\"),
// without "." and "..", in the order the file system gives. Hidden and
// system entries are included. Links to files are followed for size and
// date; links to folders are reported, never followed, so a walk cannot
// loop or leave the tree it was given. Returns false with the system error
// code when the folder cannot be opened.
bool ListFolder(const QString &letterFolder, std::vector<TFolderEntry> &entries, int *error = nullptr);

// The file date of a modification time (seconds since the epoch), or of the
// birth time when that gives no date after 1899-12-30.
TDateTime FileDateOfTimes(qint64 modifiedSeconds, std::optional<qint64> birthSeconds = std::nullopt);

} // namespace trovalo
