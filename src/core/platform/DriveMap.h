#pragma once

#include "DriveTable.h"

#include <QList>
#include <QString>

#include <optional>

namespace trovalo {

// A mounted network share, reachable in the drive-letter form as
// \\server\share\... .
struct TNetworkShare
{
    QString Unc;  // "\\server\share" (may go deeper: "\\server\share\sub"), no trailing backslash
    QString Root; // native mount root, no trailing slash
};

// Why a path has no form on the other side.
enum class TPathFault {
    None,
    NotLetterForm,   // neither "E:\..." nor "\\server\share\..."
    NoSuchDrive,     // the letter names no drive
    DotFolder,       // a "." or ".." component: it could climb out of the drive root
    ShareNotMounted, // \\server\share is not mounted here
    NotAbsolute,     // a native path that does not start with "/"
    OutsideDrives,   // a native path under no drive root
    NulCharacter,    // no file name can hold it
};

// Linux names may hold "\" and ":", which the drive-letter form reads as a
// separator and as a drive. In the letter form such a character stands as
// U+F000 plus the character (U+F05C, U+F03A), and a native name holding
// U+F000, U+F03A or U+F05C itself gets U+F000 before it, so every native
// name has exactly one letter form and comes back unchanged. A letter name
// holding a plain ":" (stored before) keeps it.
QString LetterName(const QString &nativeName);
QString NativeName(const QString &letterName);
// LetterName of a name as readdir gives it.
QString LetterNameOfEntry(const char *nativeName);

// One immutable set of drives and shares, and the conversions between the
// drive-letter form and native paths on it.
//
// Folder form: a path that ends with a separator keeps one on the other side
// ("E:\Docs\" <-> "<root>/Docs/"); one without keeps none. A drive root is
// always "E:\" in the letter form and the bare root folder natively.
// Native paths are cleaned lexically ("a//b", "a/./b", "a/../b") before
// they are matched against the roots; symbolic links are not followed, so a
// root must be named the way the paths name it.
class TDriveMap
{
public:
    TDriveMap() = default;
    TDriveMap(QList<TDriveInfo> drives, QList<TNetworkShare> shares);

    const QList<TDriveInfo> &Drives() const { return FDrives; }
    const QList<TNetworkShare> &Shares() const { return FShares; }

    // The drive of a letter (either case); nullptr when there is none.
    const TDriveInfo *Drive(QChar letter) const;
    // The drive whose root holds the native path (longest matching root);
    // nullptr when none does or a network share lies deeper.
    const TDriveInfo *DriveOfNative(const QString &nativePath) const;

    std::optional<QString> ToNative(const QString &letterPath, TPathFault *fault = nullptr) const;
    std::optional<QString> ToLetter(const QString &nativePath, TPathFault *fault = nullptr) const;

private:
    struct TRootMatch
    {
        const TDriveInfo *Drive = nullptr;
        const TNetworkShare *Share = nullptr;
        qsizetype RootLength = -1;
    };
    TRootMatch BestRoot(const QString &cleanNativePath) const;

    QList<TDriveInfo> FDrives;
    QList<TNetworkShare> FShares;
};

} // namespace trovalo
