#pragma once

#include "base/DateTime.h"
#include "db/ProgramDatabase.h"

#include <QString>

namespace trovalo {

class TSchedule;

// What the schedule editor decides about a ScheduleRun row, without a
// window, so the command line edits schedules by the same rules.

// The trigger as the editor's mode group names it: 0 "Windows Startup",
// 1 "Window Shutdown", 2 "Every Day/Week/Month/year", 3 "USB Disk
// Insertion"; empty for any other value.
QString ScheduleTriggerCaption(int mode);

// The kind of job a schedule starts, from its file's extension (any case):
// "Backup Job", "Move Job", "Sync Job", "PC-PC Sync", else "N/A".
QString ScheduleJobTypeText(const QString &fileName);

// The schedule of a job file (drive-letter path): the first row that names
// it under any drive letter, else a new active time schedule with the job's
// name, no rule and no next run, which the runner never starts until it is
// saved. Returns the row's ID. A file that is no job file, or that does not
// exist, raises EUserException and adds nothing; one that cannot be opened
// raises EFileError.
qint64 ScheduleJobFile(TProgramDatabase &database, const QString &jobFile);

// Row as Save writes it: Schedule stored in Data, and for a time schedule
// the next run strictly after Now (NextFutureRun), so a rule whose time
// today has passed waits for its next qualifying day instead of being left
// without a run; other triggers have no next run. A trigger outside 0 to 3,
// or a time schedule whose rule never runs (weekly without days), raises
// EUserException with the reason.
TScheduleRunRow ScheduleRowToSave(TScheduleRunRow row, const TSchedule &schedule, TDateTime now);

// Writes ScheduleRowToSave's row; nothing is written when it raises.
// Returns the row written.
TScheduleRunRow SaveSchedule(TProgramDatabase &database, const TScheduleRunRow &row,
                             const TSchedule &schedule, TDateTime now);

} // namespace trovalo
