#pragma once

#include <QDateTime>
#include <QLoggingCategory>
#include <QString>

namespace trovalo {

// What the program records for a person to read afterwards. Every message
// names its category; the categories let through info and above unless
// QT_LOGGING_RULES (or SetQuietLogging) says otherwise.
Q_DECLARE_LOGGING_CATEGORY(LogEngine)   // trovalo.engine: deletions, failed file operations
Q_DECLARE_LOGGING_CATEGORY(LogDb)       // trovalo.db: database errors
Q_DECLARE_LOGGING_CATEGORY(LogDrives)   // trovalo.drives: drives that appear, go or change
Q_DECLARE_LOGGING_CATEGORY(LogSchedule) // trovalo.schedule
Q_DECLARE_LOGGING_CATEGORY(LogGui)      // trovalo.gui
Q_DECLARE_LOGGING_CATEGORY(LogCli)      // trovalo.cli
Q_DECLARE_LOGGING_CATEGORY(LogStartUp)  // trovalo.startup: single instance, the log file itself
Q_DECLARE_LOGGING_CATEGORY(LogSession)  // trovalo.session: log-off, shut-down and what holds them back

// The size a log file may reach before it is rotated.
constexpr qint64 DefaultLogFileCap = 1024 * 1024;

// One record as written, without its line end:
//   2024-05-01 14:03:22.481 warning  trovalo.engine: Copy File not done: ...
// Line breaks inside the message become " | ", so every record is one line.
QString FormatLogLine(const QDateTime &time, QtMsgType type, const char *category, const QString &message);

// Makes every message of the process go to standard error as one line of
// FormatLogLine, and to the log file when one is open. Returns the handler
// that was installed before.
QtMessageHandler InstallLogHandler();

// Quiet: only warnings and above, of every category (the command line's
// default, so its output stays clean). QT_LOGGING_RULES still wins.
void SetQuietLogging(bool quiet);

// Also writes messages of MinLevel and above to a file (native path). When
// the next line would take the file past MaxBytes, it is renamed to
// "<file>.1", replacing the earlier old file, and a new file is begun. A
// file that cannot be opened or written is given up with a note on standard
// error; the program goes on. Returns false when it cannot be opened.
bool OpenLogFile(const QString &nativeFile, qint64 maxBytes = DefaultLogFileCap,
                 QtMsgType minLevel = QtInfoMsg);
void CloseLogFile();

} // namespace trovalo
