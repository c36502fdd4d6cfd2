#pragma once

#include <QString>

namespace trovalo {

// Text operations on paths in the drive-letter form; they never touch the
// file system.

// "E:" for E:\x, "\\server\share" for \\server\share\x, "" otherwise.
QString ExtractFileDrive(const QString &path);
// A to Z in either case: what may name a drive.
bool IsDriveLetter(QChar c);
// True when the path starts with a drive letter and ":\" or with "\\".
bool IsAbsolutePath(const QString &path);
QString IncludeTrailingBackslash(const QString &path);
QString ExcludeTrailingBackslash(const QString &path);
// Folder part including the trailing backslash ("E:\a\" for E:\a\b.txt).
QString ExtractFilePath(const QString &path);
// Name part after the last backslash.
QString ExtractFileName(const QString &path);
// Extension from the last "." of the name, dot included; "" when none.
QString ExtractFileExt(const QString &path);
// Replaces the extension (ChangeFileExt("E:\a.Zja", ".Zjd") = "E:\a.Zjd").
QString ChangeFileExt(const QString &path, const QString &ext);
// Text before the last "\" ("E:\a\b" -> "E:\a"); "" when there is none.
QString ParentOf(const QString &path);

} // namespace trovalo
