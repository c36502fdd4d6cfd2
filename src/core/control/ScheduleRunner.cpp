#include "control/ScheduleRunner.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "model/NextRunTime.h"
#include "model/ProgramData.h"
#include "model/Schedule.h"
#include "platform/FileSystem.h"

#include <cmath>

namespace trovalo {

namespace {

// Whole minutes since the epoch, rounded to the millisecond first so that
// 10:00:00 computed from a date is not taken for 09:59.
qint64 WholeMinutes(TDateTime value)
{
    const qint64 msecs = std::llround(value * MSecsPerDay);
    return msecs >= 0 ? msecs / 60000 : (msecs - 59999) / 60000;
}

QString DriveRoot(const QString &file)
{
    return IncludeTrailingBackslash(ExtractFileDrive(file));
}

} // namespace

QString TFileNotFoundQuestion::Title()
{
    return QStringLiteral("File Not Found");
}

QString TFileNotFoundQuestion::Text() const
{
    return QStringLiteral("Backup file not found in pc.\n"
                          "Please insert the disk with backup file and click ok to continue\n"
                          "File Name : %1\n"
                          "Job Name : %2")
        .arg(FileName, JobName);
}

TScheduleRunner::TScheduleRunner(TProgramDatabase &database, const TProgramData &settings,
                                 TScheduleClock clock)
    : FDatabase(database)
    , FSettings(settings)
    , FClock(std::move(clock))
{
    FLastRun = FClock();
    FLastTimer = FLastRun;
}

TScheduleDecisions TScheduleRunner::MinuteTick()
{
    if (FQuestionOpen)
        return {};
    const TDateTime now = FClock();
    if (WholeMinutes(now) == WholeMinutes(FLastTimer))
        return {};
    FLastTimer = now;
    return Queue(FDatabase.DueTimeSchedules(now), now);
}

TScheduleDecisions TScheduleRunner::RunStartupSchedules()
{
    const TDateTime now = FClock();
    return Queue(FDatabase.ActiveSchedules(stStartup), now);
}

TScheduleDecisions TScheduleRunner::RunShutdownSchedules()
{
    const TDateTime now = FClock();
    return Queue(FDatabase.ActiveSchedules(stShutdown), now);
}

TScheduleDecisions TScheduleRunner::RunDriveSchedules(const QString &drive)
{
    TScheduleDecisions decisions;
    if (drive.isEmpty())
        return decisions;
    for (const TScheduleRunRow &row : FDatabase.ActiveSchedules(stDriveInsertion)) {
        if (row.FileName.isEmpty())
            continue;
        const QString file = drive.left(1) + row.FileName.mid(1);
        if (FileExists(file))
            decisions.Starts << TScheduledStart{file, DriveRoot(file), row.ID, stDriveInsertion, false};
    }
    return decisions;
}

TScheduleDecisions TScheduleRunner::AnswerFileNotFound(bool ok)
{
    if (!FQuestionOpen)
        return {};
    FQuestionOpen = false;
    if (!ok) {
        const TPendingRow passedOver = FPending.takeFirst();
        Reschedule(passedOver.Row);
        Finish(passedOver);
    }
    // After OK the same row is decided again: found now, or asked again.
    return Work();
}

std::optional<QString> TScheduleRunner::FindJobFile(const QString &fileName)
{
    if (FileExists(fileName))
        return fileName;
    if (fileName.size() < 3 || !IsDriveLetter(fileName.at(0)) || fileName.at(1) != QLatin1Char(':'))
        return std::nullopt;
    const QString rest = fileName.mid(1);
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const QString candidate = QLatin1Char(letter) + rest;
        if (FileExists(candidate))
            return candidate;
    }
    return std::nullopt;
}

TScheduleDecisions TScheduleRunner::Queue(const QList<TScheduleRunRow> &rows, TDateTime checkStart)
{
    if (rows.isEmpty()) {
        // Nothing to decide, but the check happened: what fell due before it
        // and was not selected can only be a missed run from now on.
        if (FPending.isEmpty())
            FLastRun = checkStart;
        return {};
    }
    for (const TScheduleRunRow &row : rows)
        FPending << TPendingRow{row, checkStart, false};
    FPending.last().LastOfCheck = true;
    // Rows queued behind an open question are decided after its answer.
    return FQuestionOpen ? TScheduleDecisions{} : Work();
}

TScheduleDecisions TScheduleRunner::Work()
{
    TScheduleDecisions decisions;
    while (!FPending.isEmpty()) {
        const TPendingRow pending = FPending.first();
        if (!Decide(pending, decisions)) {
            FQuestionOpen = true;
            return decisions;
        }
        FPending.removeFirst();
        Finish(pending);
    }
    return decisions;
}

bool TScheduleRunner::Decide(const TPendingRow &pending, TScheduleDecisions &decisions)
{
    const TScheduleRunRow &row = pending.Row;
    if (row.Mode == stTime && row.NextRunTime && *row.NextRunTime < FLastRun) {
        Reschedule(row);
        return true;
    }
    const std::optional<QString> file = FindJobFile(row.FileName);
    if (!file) {
        switch (FSettings.ScheduleRunMode()) {
        case srmNext:
            // Left as it is: the next check finds it missed and moves it on.
            return true;
        case srmSkip:
            Reschedule(row);
            return true;
        case srmAsk:
        default:
            decisions.Question = TFileNotFoundQuestion{row.ID, row.FileName, row.JobName};
            return false;
        }
    }
    decisions.Starts << TScheduledStart{*file, DriveRoot(*file), row.ID, TScheduleTrigger(row.Mode), true};
    Reschedule(row);
    return true;
}

void TScheduleRunner::Reschedule(const TScheduleRunRow &row)
{
    std::optional<TDateTime> next;
    if (row.Mode == stTime && row.Data) {
        // A fresh rule per row: a row without a readable rule gets no next
        // run rather than the rule of the row before it.
        TSchedule schedule;
        try {
            schedule.LoadFromBlob(row.Data);
            next = NextRunAfterRun(schedule, FClock());
        } catch (const ETrovaloError &) {
            // A damaged rule would otherwise be due, and fail, every minute.
            next.reset();
        }
    }
    if (next != row.NextRunTime)
        FDatabase.SetNextRunTime(row.ID, next);
}

void TScheduleRunner::Finish(const TPendingRow &pending)
{
    if (pending.LastOfCheck)
        FLastRun = pending.CheckStart;
}

} // namespace trovalo
