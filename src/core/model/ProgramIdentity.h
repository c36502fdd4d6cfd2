#pragma once

#include <QString>

namespace trovalo {

// Application title: window caption of every message box, tray hint.
inline const QString ProgramTitle = QStringLiteral("Trovalo");
// The one application ID: the desktop entry, the autostart entry and the
// session manager's client name.
inline const QString ProgramApplicationId = QStringLiteral("org.trovalo.Trovalo");
// The project's version ("4.0.1"), set by the build from the one in
// CMakeLists.txt; `--version` prints it.
extern const QString ProgramVersionNumber;
// "V " and that number: shown by the about window and compared with the
// update service's answer.
extern const QString ProgramVersion;

// True when the process was started under a debugger (decided once).
bool DebugMode();

// "Trovalo", or "Trovalo Debug" under a debugger: the data folder's name.
QString AppFolderName();

} // namespace trovalo
