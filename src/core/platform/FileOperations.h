#pragma once

#include "base/DateTime.h"

#include <QString>

#include <ctime>
#include <functional>

#include <sys/types.h>

namespace trovalo {

// File operations on drive-letter paths for the engines. None of them throws:
// each reports a result the caller can log.

// NameSeenFree is FailIfExists for a caller that has just seen the name
// free: it is not looked at first, and a name taken meanwhile fails the copy
// (EEXIST) only when the file is linked in, after its data were written.
enum class TCopyMode { FailIfExists, Replace, NameSeenFree };

struct TCopyProgress
{
    qint64 Done = 0;  // bytes copied so far
    qint64 Total = 0; // size of the source when the copy began
};

// Called after each chunk; returning false cancels the copy.
using TProgressCallback = std::function<bool(const TCopyProgress &)>;

struct TFileOpResult
{
    bool Ok = false;
    bool Cancelled = false;
    int Errno = 0;   // the system error code when not Ok
    QString Message; // the system's text for the error, or why a path is refused

    static TFileOpResult Success();
    static TFileOpResult Failure(int error);
    static TFileOpResult Failure(int error, const QString &message);
    static TFileOpResult Cancel();
};

// The system's text for an error code ("No space left on device").
QString SystemErrorText(int error);

// The size of one copy step; progress is reported once per step.
constexpr qint64 CopyChunkSize = qint64(1) << 20;

// When a copy's data must be on the disk before its name appears.
enum class TCopyDurability {
    // Only when the copy replaces an existing file, so a good old file is
    // never swapped for one a power cut could empty. A new name is not
    // synced: callers that record the copy sync the file system first
    // (SyncFileSystem), once per batch instead of once per file.
    WhenReplacing,
    // Always: the caller is about to delete the only other copy.
    Always,
};

// The modification time a copy gets: the source's exactly, or cut to the
// two-second precision of a file date (what the engines give every copy).
enum class TCopyTimes { Exact, DosPrecision };

// Copies a regular file. The data go to a hidden temporary file in the
// target's folder which gets the source's permission bits and times and
// only then takes the target's name: a cancelled, failed or interrupted
// copy leaves no partial file and never touches an old target.
// FailIfExists never replaces anything, not even a dangling link; Replace
// swaps the new file in atomically.
TFileOpResult CopyFileChunked(const QString &from, const QString &to, TCopyMode mode,
                              const TProgressCallback &progress = {},
                              TCopyDurability durability = TCopyDurability::WhenReplacing,
                              TCopyTimes times = TCopyTimes::Exact);

// Flushes everything written to the file system holding the path (syncfs).
TFileOpResult SyncFileSystem(const QString &path);

// Makes a native folder's entries (a new or renamed name) durable.
void SyncFolder(const QString &nativeFolder);

// Writes all of Data to a file descriptor (retrying short writes and
// interruptions); false with errno set when a write fails.
bool WriteAll(int fd, const char *data, qint64 size);

// The permission bits a new file gets: 0666 less the process's umask.
mode_t NewFileMode();

// Moves a file without ever replacing an existing target: a rename on one
// file system; across file systems a copy (with the progress callback) and
// the source's deletion once the copy is complete. When the source cannot be
// deleted the copy is removed again, so a failed move changes nothing.
TFileOpResult MoveFile(const QString &from, const QString &to, const TProgressCallback &progress = {});

// Sets the modification time to a local date and time (0 is refused).
TFileOpResult SetFileModificationTime(const QString &path, TDateTime localTime);

// Deletes a file (not a folder).
TFileOpResult DeleteFileChecked(const QString &path);

// Metadata on every destination, USB sticks included. Permission bits are
// best effort: FAT and NTFS sticks cannot hold them, and their drivers
// refuse the change (vfat: EPERM) or do not implement it (fusefat: ENOSYS).
// The modification time is not: every later comparison reads it, so a time
// the file system did not keep is a failure (DateNotKeptText()).

// Gives an open file permission bits; false (errno set) only when the
// change failed for another reason than the file system refusing it.
bool SetModeIfHeld(int fd, mode_t mode);

// Gives an open file its access and modification times (both: fusefat
// ignores a change that leaves one out) and reads the modification time
// back: a date the file system cannot hold (FAT: the years 1980 to 2107)
// comes back as another, and fails with ERANGE.
TFileOpResult SetTimesChecked(int fd, const struct timespec times[2]);

// Gives a finished temporary file the target's name, replacing the target
// or never doing so. With Times, a modification time the rename cost the
// file (fusefat stamps a renamed file with the current time) is set again
// and checked; a new name that does not keep it is removed again. The
// temporary file is gone afterwards, whatever the result.
TFileOpResult PlaceTempFile(const QByteArray &tempName, const QByteArray &target, TCopyMode mode,
                            const struct timespec *times);

// Why a copy failed whose target did not keep the modification time.
QString DateNotKeptText();

// The folder part of a native path ("/a/b" -> "/a", "/a" -> "/").
QString NativeFolderOf(const QString &native);

// Test seam: called before each chunk of every copy with the native source
// and target paths and the chunk's index (from 0); a non-zero return fails
// that chunk with that error code. Set it only while no copy runs; an empty
// function removes it.
using TCopyFaultHook =
    std::function<int(const QString &nativeSource, const QString &nativeTarget, int chunkIndex)>;
void SetCopyFaultHookForTests(TCopyFaultHook hook);

} // namespace trovalo
