#include "control/ScheduleEditing.h"

#include "base/Exceptions.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/NextRunTime.h"
#include "model/PCSyncData.h"
#include "model/Schedule.h"
#include "model/SyncData.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

namespace trovalo {

namespace {

template <typename TJob>
QString NameOf(const QString &jobFile, QString (TJob::*name)() const)
{
    TJob job;
    LoadFromFile(job, jobFile);
    return (job.*name)();
}

QString JobNameOf(const QString &jobFile, TJobKind kind)
{
    switch (kind) {
    case TJobKind::Backup:
    case TJobKind::Move:
        return NameOf(jobFile, &TArchiveData::BackupName);
    case TJobKind::Sync:
        return NameOf(jobFile, &TSyncData::SyncName);
    case TJobKind::PCSync:
        return NameOf(jobFile, &TPCSyncData::SyncName);
    }
    return QStringLiteral("-");
}

} // namespace

QString ScheduleTriggerCaption(int mode)
{
    switch (mode) {
    case stStartup:
        return QStringLiteral("Windows Startup");
    case stShutdown:
        return QStringLiteral("Window Shutdown");
    case stTime:
        return QStringLiteral("Every Day/Week/Month/year");
    case stDriveInsertion:
        return QStringLiteral("USB Disk Insertion");
    }
    return QString();
}

QString ScheduleJobTypeText(const QString &fileName)
{
    switch (JobKindOfFile(fileName).value_or(TJobKind(-1))) {
    case TJobKind::Backup:
        return QStringLiteral("Backup Job");
    case TJobKind::Move:
        return QStringLiteral("Move Job");
    case TJobKind::Sync:
        return QStringLiteral("Sync Job");
    case TJobKind::PCSync:
        return QStringLiteral("PC-PC Sync");
    }
    return QStringLiteral("N/A");
}

qint64 ScheduleJobFile(TProgramDatabase &database, const QString &jobFile)
{
    if (const std::optional<TScheduleRunRow> existing = database.FindScheduleOfJobFile(jobFile))
        return existing->ID;
    const std::optional<TJobKind> kind = JobKindOfFile(jobFile);
    if (!kind)
        throw EUserException(
            QStringLiteral("\"%1\" is not a job file (.Zja, .Zjm, .Zjs or .Zjp): it cannot be scheduled.")
                .arg(jobFile));
    if (!FileExists(jobFile))
        throw EUserException(QStringLiteral("The job file \"%1\" does not exist.").arg(jobFile));
    return database.AddSchedule(jobFile, JobNameOf(jobFile, *kind));
}

TScheduleRunRow ScheduleRowToSave(TScheduleRunRow row, const TSchedule &schedule, TDateTime now)
{
    if (ScheduleTriggerCaption(row.Mode).isEmpty())
        throw EUserException(
            QStringLiteral("Unknown schedule mode %1: it must be 0 (%2), 1 (%3), 2 (%4) or 3 (%5).")
                .arg(row.Mode)
                .arg(ScheduleTriggerCaption(stStartup), ScheduleTriggerCaption(stShutdown),
                     ScheduleTriggerCaption(stTime), ScheduleTriggerCaption(stDriveInsertion)));
    row.NextRunTime.reset();
    if (row.Mode == stTime) {
        row.NextRunTime = NextFutureRun(schedule, now);
        if (!row.NextRunTime && schedule.ScheduleMode() == smWeekly)
            throw EUserException(QStringLiteral("Please select at least one day of the week: a weekly "
                                                "schedule without days never runs."));
        if (!row.NextRunTime)
            throw EUserException(QStringLiteral("This schedule's repetition has no run time."));
    }
    row.Data = schedule.SaveToBytes();
    return row;
}

TScheduleRunRow SaveSchedule(TProgramDatabase &database, const TScheduleRunRow &row,
                             const TSchedule &schedule, TDateTime now)
{
    const TScheduleRunRow saved = ScheduleRowToSave(row, schedule, now);
    database.UpdateSchedule(saved);
    return saved;
}

} // namespace trovalo
