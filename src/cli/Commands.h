#pragma once

#include "CliContext.h"

namespace trovalo::cli {

int DrivesCommand(TCliContext &context);
int ShowCommand(TCliContext &context);
int SaveCommand(TCliContext &context);
int DemoCommand(TCliContext &context);
int NewCommand(TCliContext &context);
int ListCommand(TCliContext &context);
int RunCommand(TCliContext &context);

// The drive table as "drives" prints it; false when there are no drives.
bool PrintDriveTable(QTextStream &out);

// Prints the record in a file (drive-letter form) as JSON on Out; a zip
// password shows as "***" unless ShowPassword. Raises TCliFailure (status 3)
// for a missing file, a file that is not a record, or a damaged record
// (after printing what could be read).
void PrintRecordFile(const QString &letterPath, QTextStream &out, bool showPassword = false);

} // namespace trovalo::cli
