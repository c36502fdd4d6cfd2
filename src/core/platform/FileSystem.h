#pragma once

#include <sys/stat.h>

#include "base/DateTime.h"

#include <QString>

#include <functional>
#include <optional>

namespace trovalo {

// File-system queries and folder creation on drive-letter paths. Paths that
// have no native form count as not existing.
bool FileExists(const QString &path);      // a file (not a folder)
bool DirectoryExists(const QString &path); // a folder
bool PathExists(const QString &path);      // either

// Creates a folder and its missing parents silently. A path without a drive
// part is taken on C:\. Failures are ignored; returns whether the folder
// exists afterwards.
bool ForceFolder(const QString &path);

// stat() of a drive-letter path (links followed); nullopt when it fails.
std::optional<struct stat> StatOf(const QString &letterPath);

// Creates one folder (its parent must exist); false on failure.
bool CreateDir(const QString &path);

// Removes an empty folder ("E:\a\" or "E:\a"); false on failure, with
// errno telling why (ENOTEMPTY for a folder that still holds something).
bool RemoveDir(const QString &path);

// The file date of the Overview: last-write time in local time, reduced to
// the two-second precision of a DOS date and time; the creation time reduced
// the same way when that value is not greater than 0. nullopt when the file
// cannot be read.
std::optional<TDateTime> FileDate(const QString &path);

// Reduces a local date-time to DOS precision (even seconds, no milliseconds).
TDateTime ToDosPrecision(TDateTime value);

struct TDiskSpace
{
    qint64 Free = 0;  // bytes available to this user
    qint64 Total = 0; // size of the volume
};
// Free and total space of the volume holding the path; nullopt when unknown.
std::optional<TDiskSpace> DiskSpace(const QString &path);
// False for a volume that tells nothing of its space: FUSE drivers without
// the call (fusefat) report 0 of 0 blocks, which is no size, not a full disk.
bool ReportsDiskSpace(const QString &path);

// Test seam: when set, DiskSpace answers with it (drive-letter path in).
// Set it only while no worker runs; an empty function removes it.
using TDiskSpaceHook = std::function<std::optional<TDiskSpace>(const QString &path)>;
void SetDiskSpaceHookForTests(TDiskSpaceHook hook);

// Copies a file with fail-if-exists semantics, without replacing anything;
// used for templates. Returns false on failure (the target exists, I/O).
bool CopyFileNoReplace(const QString &from, const QString &to);

} // namespace trovalo
