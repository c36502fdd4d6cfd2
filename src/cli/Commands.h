#pragma once

#include "CliContext.h"

#include "control/RestoreLauncher.h"
#include "platform/DriveTable.h"

#include <optional>

namespace trovalo::cli {

int DrivesCommand(TCliContext &context);
int ShowCommand(TCliContext &context);
int SaveCommand(TCliContext &context);
int DemoCommand(TCliContext &context);
int NewCommand(TCliContext &context);
int ListCommand(TCliContext &context);
int RunCommand(TCliContext &context);
int RunsCommand(TCliContext &context);
int RestoreCommand(TCliContext &context);
int ServiceCommand(TCliContext &context);
int ScheduleCommand(TCliContext &context);
int EjectCommand(TCliContext &context);

// The drive a user named: a letter (E, E: or E:\) or the folder it is
// mounted on. Raises TCliFailure (status 3, with Usage) for anything else: a
// folder on a drive, an unknown letter or path.
TDriveInfo NamedDrive(const QString &text, const QString &usage);

// The drive table as "drives" prints it; false when there are no drives.
bool PrintDriveTable(QTextStream &out);

// Prints the record in a file (drive-letter form) as JSON on Out; a zip
// password shows as "***" unless ShowPassword. Raises TCliFailure (status 3)
// for a missing file, a file that is not a record, or a damaged record
// (after printing what could be read).
void PrintRecordFile(const QString &letterPath, QTextStream &out, bool showPassword = false);

// Rows of text in columns as wide as their widest cell, two spaces apart;
// the first row is the heading. Nothing for no rows.
void PrintTable(QTextStream &out, const QList<QStringList> &rows);

// What the job console says of a backup job that never ran.
inline const QString NoBackupDataText =
    QStringLiteral("No backup data found for this backup job. please run the job at lest ones.");

// The backup job a command was given (either path form), loaded strictly
// into Job; returns its drive-letter path. Raises TCliFailure (status 3)
// for a missing or unreadable file and for any job but a backup job: the
// restore wizard opens backup jobs only.
QString LoadBackupJob(const QString &argument, TArchiveData &job);

// The job's runs that can be restored, oldest first; nullopt when the job
// never ran (it has no database). Raises TCliFailure (status 1) when the
// database cannot be read.
std::optional<QList<TRestorableRun>> RestorableRunsOf(const QString &jobFile);

} // namespace trovalo::cli
