#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace trovalo {

class TDriveMap;

// One drive as the program sees it: a letter and the native folder it stands
// for. C: is the system volume ("/"); mounted volumes get D: to Z:.
struct TDriveInfo
{
    QChar Letter;                  // upper case, 'C'..'Z'
    QString Root;                  // native mount root, no trailing slash except "/"
    QString Label;                 // volume label, may be empty
    QString FileSystem;            // e.g. "vfat", "ext4"; may be empty
    QString Device;                // backing block device (/dev/sdb1), may be empty
    QString Uuid;                  // file-system UUID, may be empty
    QString BusType;               // "USB" for USB-attached disks, else the bus name or ""
    std::optional<quint32> Serial; // volume serial number, when readable

    QString LetterRoot() const { return QString(Letter) + QStringLiteral(":\\"); }
};

// The table of drive letters. Built from the environment variable
// TROVALO_DRIVES when it is set (isolated drives in folders, for tests,
// benchmarks and the demo), otherwise from the mount table:
//
//   TROVALO_DRIVES="C=/tmp/t/c;E=/tmp/t/e,bus=USB,label=STICK,serial=1A2B3C4D"
//
// Each entry is LETTER=ROOT followed by optional comma-separated settings
// (bus, label, serial as 8 hex digits or "none" for unreadable, fs). Letters
// may be given in either case; roots must be absolute. The label defaults to
// the root folder's name, the file system to what statfs reports, the serial
// to that of the real volume holding the folder. A malformed value is
// reported once on stderr and leaves the table EMPTY rather than guessed.
//
//   TROVALO_DRIVES="@/tmp/t/drives"
//
// reads the same entries from that file (the name must be absolute): one or
// more a line, separated by ";" as well; blank lines and lines beginning
// with "#" are skipped. Refresh() reads the file again, so a test or a demo
// "plugs in" a stick by adding a line (TDriveArrivalListener watches the
// file). A file that is missing, unreadable or names no drive gives an
// empty table and OverrideError() says why, as a malformed value does.
//
// Without the variable, "/" is C: and block-device volumes mounted under
// /media, /run/media and /mnt get the letters D: to Z: (after 23, none); a
// volume keeps its letter across plug-ins, remembered by file-system UUID
// (by device and label when it has none) in <generic data folder>/Trovalo/
// drive-letters. cifs/smb mounts of //server/share are reached as
// \\server\share\... .
class TDriveTable
{
public:
    // The process-wide table, built on first use.
    static TDriveTable &Instance();

    // Re-reads the environment and the mount table, or the drive-table file
    // (after a plug-in, or after a test changed TROVALO_DRIVES). Safe to
    // call from any thread.
    void Refresh();

    QList<TDriveInfo> Drives() const;
    std::optional<TDriveInfo> Drive(QChar letter) const;
    // The drive whose root holds the native path (longest matching root).
    std::optional<TDriveInfo> DriveOfNative(const QString &nativePath) const;

    // True when TROVALO_DRIVES defined the table.
    bool IsOverridden() const;
    // Why TROVALO_DRIVES was refused (the table is then empty); "" when it
    // was not.
    QString OverrideError() const;

    // The current drives and network shares with the path conversions; the
    // object stays valid and unchanged while the caller holds it, even across
    // Refresh().
    std::shared_ptr<const TDriveMap> Map() const;

    ~TDriveTable();

private:
    TDriveTable();
    struct TSnapshot;
    std::shared_ptr<const TSnapshot> Snapshot() const;
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

// The one conversion from the drive-letter form (E:\Docs\a.txt, E:\Docs\,
// \\server\share\x) to a native path, and the one conversion back. A letter
// without a drive, or a native path outside every drive, gives nullopt.
//
// "E:", "E:\" and "e:/" all name the root of E:; "/" separators are taken
// as "\". A "." or ".." folder is refused: paths come from job files on
// removable drives and must not climb out of a drive root. A path ending in
// a separator keeps one on the other side ("E:\Docs\" <-> "<root>/Docs/"),
// one without keeps none; a root is "E:\" and the bare root folder. Names
// keep their case. A native path is cleaned lexically and belongs to the
// drive with the longest matching root; a native name holding "\" or ":"
// is mapped as LetterName (DriveMap.h) says.
std::optional<QString> ToNativePath(const QString &letterPath);
std::optional<QString> ToLetterPath(const QString &nativePath);

// As above, but raise EPathError with a message that names the path.
QString NativePath(const QString &letterPath);
QString LetterPath(const QString &nativePath);

// "E:\Docs\a.txt  (/media/ann/STICK/Docs/a.txt)": the letter form with the
// native path beside it, so a Linux user sees where a file really is; the
// letter form alone when it has no native path.
QString WithNative(const QString &letterPath);

// The file system ("vfat", "ext4", ...) of the drive holding a path in the
// drive-letter form; "" for a network share or a letter without a drive.
QString FileSystemOfPath(const QString &letterPath);

// Accepts either form (what a command-line user typed) and returns the
// drive-letter form; raises EPathError when it has none.
QString LetterPathFromUserInput(const QString &path);

} // namespace trovalo
