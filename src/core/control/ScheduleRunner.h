#pragma once

#include "base/DateTime.h"
#include "db/ProgramDatabase.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace trovalo {

class TProgramData;

// The time the runner works with; the tray program passes DateTimeNow.
using TScheduleClock = std::function<TDateTime()>;

// A job the runner decided to start: the caller runs JobFile through the
// controller's RunFile in the console of Drive.
struct TScheduledStart
{
    // On the drive it was found on, which may differ from the stored one.
    QString JobFile;
    // The root of that drive ("F:\"), the key of its job console.
    QString Drive;
    qint64 ScheduleId = 0;
    TScheduleTrigger Trigger = stTime;
    // RunFile's Schedule flag: no completion message for a run nobody
    // watched start. A drive-insertion run was started by the user's
    // plugging in, so it shows its message.
    bool Unattended = true;
};

// A scheduled job whose file is on no drive: the caller asks with an
// OK/Cancel box (confirmation icon, the program title as caption) and hands
// the answer to TScheduleRunner::AnswerFileNotFound.
struct TFileNotFoundQuestion
{
    qint64 ScheduleId = 0;
    QString FileName;
    QString JobName;

    static QString Title();
    QString Text() const;
};

// What one call of the runner decided, in row order.
struct TScheduleDecisions
{
    QList<TScheduledStart> Starts;
    // While it is open, the runner decides nothing else that could ask.
    std::optional<TFileNotFoundQuestion> Question;
};

// Decides which scheduled jobs start, from the ScheduleRun rows of the
// program database, and writes each time schedule's next run back. It shows
// nothing and starts nothing: the tray program, and later a service, act on
// the decisions. Interface thread only, like the database connection.
//
// A time schedule is due when its next run has come; it is missed, and only
// rescheduled, when that time lies before the start of the previous check
// (or before the runner was made): the computer was off or asleep, the
// program was not running. Missed runs are not made up for.
class TScheduleRunner
{
public:
    TScheduleRunner(TProgramDatabase &database, const TProgramData &settings, TScheduleClock clock);

    // Call often (every second). Checks the time schedules at the first call
    // of each new clock minute, not in the minute the runner was made, and
    // not while a question is open.
    TScheduleDecisions MinuteTick();
    // Once after start-up, and once per shut-down or log-off. While a
    // question is open the rows wait and are decided after its answer.
    TScheduleDecisions RunStartupSchedules();
    TScheduleDecisions RunShutdownSchedules();
    // The drive-insertion schedules of a drive that has just been accepted
    // (its root, "F:\"): a schedule stored for E: runs when the same path
    // exists on the new drive. Rows are not changed; nothing is asked.
    TScheduleDecisions RunDriveSchedules(const QString &drive);

    // The answer to the open question. OK searches the drives again (and
    // asks again while the file is still missing); Cancel passes the run
    // over. Either way the rows after it are decided next.
    TScheduleDecisions AnswerFileNotFound(bool ok);
    bool QuestionOpen() const { return FQuestionOpen; }

    // A stored job file on its drive now: the stored name, else the same
    // path on drive C: to Z:, the first that exists.
    static std::optional<QString> FindJobFile(const QString &fileName);

private:
    struct TPendingRow
    {
        TScheduleRunRow Row;
        // Start of the check the row belongs to, and whether it is the last
        // row of it: its end moves the missed-run boundary.
        TDateTime CheckStart = 0;
        bool LastOfCheck = false;
    };

    TScheduleDecisions Queue(const QList<TScheduleRunRow> &rows, TDateTime checkStart);
    TScheduleDecisions Work();
    // Decides the first pending row; false when it needs the question.
    bool Decide(const TPendingRow &pending, TScheduleDecisions &decisions);
    void Reschedule(const TScheduleRunRow &row);
    void Finish(const TPendingRow &pending);

    TProgramDatabase &FDatabase;
    const TProgramData &FSettings;
    TScheduleClock FClock;
    // The start of the previous check; earlier due times count as missed.
    TDateTime FLastRun;
    // The previous minute check, to check once per clock minute.
    TDateTime FLastTimer;
    QList<TPendingRow> FPending;
    // Guards against a second question, and a check running again, while
    // the caller's box is open.
    bool FQuestionOpen = false;
};

} // namespace trovalo
