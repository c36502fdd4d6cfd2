#pragma once

#include <QString>

namespace trovalo {

// The program's start with the user's log-on, kept where every freedesktop
// desktop looks for it: the user's autostart entry named after the
// application ID, <config home>/autostart/<ProgramApplicationId>.desktop.
// The config home is $XDG_CONFIG_HOME when that is an absolute path,
// otherwise ~/.config. Every change takes effect at once: the desktop
// reads the folder at the next log-on.

// The native path of the entry.
QString AutostartFileName();

// Whether the desktop starts the program at log-on: the entry exists and
// is not marked Hidden=true (which makes it count as deleted).
bool AutostartEnabled();

// Writes the entry so that the desktop starts ProgramPath (native,
// absolute) at log-on, replacing an entry that was there. False with the
// reason in *error when it could not be written.
bool EnableAutostart(const QString &programPath, QString *error = nullptr);

// Removes the entry. False with the reason in *error when it is still there.
bool DisableAutostart(QString *error = nullptr);

// ProgramPath as the Exec value of a desktop entry: quoted, with the
// characters the quoting reserves escaped, "%" doubled, and the string
// escapes of the file format applied on top, so any path runs as it is.
QString DesktopExecValue(const QString &programPath);

} // namespace trovalo
