#pragma once

#include <QString>

namespace trovalo {

// The program's start with the user's log-on, kept where every freedesktop
// desktop looks for it: an autostart entry named after the application ID,
// <config home>/autostart/<ProgramApplicationId>.desktop. The config home
// is $XDG_CONFIG_HOME when that is an absolute path, otherwise ~/.config.
// Desktops also read entries of that name from the system's folders
// ($XDG_CONFIG_DIRS, /etc/xdg by default); the user's entry overrides them.
// Every change takes effect at once: the desktop reads the folder at the
// next log-on.

// The native path of the user's entry.
QString AutostartFileName();

// Whether the desktop starts the program at log-on: the user's entry (or,
// without one, the system's) exists and is not marked Hidden=true.
bool AutostartEnabled();

// Writes the user's entry so that the desktop starts ProgramPath (native,
// absolute) at log-on, replacing an entry that was there. False with the
// reason in *error when the entry could not be written.
bool EnableAutostart(const QString &programPath, QString *error = nullptr);

// Removes the user's entry. When a system entry would still start the
// program, the user's entry is written again marked Hidden=true, which is
// how a user switches a system entry off. False with the reason in *error
// when the entry could not be removed or written.
bool DisableAutostart(QString *error = nullptr);

// ProgramPath as the Exec value of a desktop entry: quoted, with the
// characters the quoting reserves escaped, "%" doubled, and the string
// escapes of the file format applied on top, so any path runs as it is.
QString DesktopExecValue(const QString &programPath);

} // namespace trovalo
