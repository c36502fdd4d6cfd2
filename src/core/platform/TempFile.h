#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace trovalo {

// The lock a writer holds on its temporary file from its creation until the
// file is renamed into place or removed: an exclusive flock, which every
// other open of the file sees, also in this process (fcntl locks do not
// conflict within one process, and process IDs are reused). A sweep removes
// only temporary files whose lock it can take, so a run killed at any
// moment leaves debris the next run clears, and a running one keeps its
// files. Where the file system has no flock nothing is locked, and nothing
// is swept either.
class TTempFileLock
{
public:
    TTempFileLock() = default;
    ~TTempFileLock() { Release(); }
    TTempFileLock(const TTempFileLock &) = delete;
    TTempFileLock &operator=(const TTempFileLock &) = delete;

    // Locks the file open as Fd; the lock stays when Fd is closed.
    void Take(int fd);
    void Release();

private:
    int FFd = -1; // a duplicate of the writer's descriptor, holding the lock
};

// Whether a name is one of the program's temporary files:
// ".~trovalo-" + 8 hexadecimal digits + ".part", nothing else.
bool IsTempFileName(QStringView name);

// A new, empty, hidden file (mode 0600) in the folder of a native target
// that no one else can have opened, locked by Lock; its encoded name in
// TempName. -1 (with errno) when none can be made.
int CreateTempBeside(const QString &nativeTarget, QByteArray *tempName, TTempFileLock &lock);

// Removes a temporary file (drive-letter path) an interrupted run left:
// only a regular file with a temporary file's name whose lock no writer
// holds, never one on a network share (locks do not reach other
// computers). Its size when removed, nullopt otherwise.
std::optional<qint64> RemoveLeftover(const QString &letterPath);

} // namespace trovalo
