#pragma once

#include <QString>

namespace trovalo {

// Where the program keeps its data, all in drive-letter form.

// The machine-wide application data folder, decided once per process: the
// environment variable "ProgramData" (native or drive-letter form); when that
// is empty, "ALLUSERSPROFILE" followed by "\Application Data"; when both are
// empty, the desktop's data folder (XDG data home). Raises EPathError when
// the chosen folder has no drive-letter form. No trailing backslash.
QString CommonDataFolder();

// CommonDataFolder + "\" + AppFolderName(): the program's own data folder.
QString AppDataFolder();

// Native path of the running program file; "" when it cannot be read.
QString ExecutableFilePath();

// Native folder of the files installed with the program (the empty template
// databases): <prefix>/share/trovalo when the program runs from <prefix>/bin,
// else, in a build tree, the program's own folder. "" when the program file
// cannot be read.
QString InstalledDataFolder();

// The process-wide work folder against which relative folder names resolve.
// It is kept here rather than in the process's real current directory: the
// rest of the program only ever hands drive-letter paths to the file system,
// so nothing depends on the real one, and changing it would surprise Qt
// (relative file dialogs, plugin lookups). Until set, the work folder is the
// letter form of the real current directory ("" when it has none).
QString WorkFolder();
void SetWorkFolder(const QString &letterPath);

// True when the path is relative: it neither begins with two backslashes nor
// has ":\" as its second and third characters.
bool IsWorkRelativePath(const QString &path);

// An absolute path unchanged; a relative one joined to the work folder.
QString ResolveWorkPath(const QString &path);

// Forgets the cached data folder and the work folder, so a test can change
// the environment and start over.
void ResetAppPathsForTesting();

} // namespace trovalo
