#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "model/SaveLoadComponent.h"

namespace trovalo {

// The repetition rule of a time-triggered schedule, stored in the Data blob
// of its ScheduleRun row.
//
// GetNextTransfer(FromDate) works on At(y, m, d), the date y-m-d at
// TimeH:TimeM, and on Start, midnight at the beginning of FromDate's day. A
// candidate later than Start is the result even when its time of day has
// already passed; otherwise it is moved on by the interval:
//   smWeekly    the first day from FromDate's own day on whose weekday is in
//               WeekDays; with no day chosen, FromDate minus one day.
//   smMonthly   DayOfMonth (or the month's last day with LastDayOFMonth) of
//               FromDate's month, else Every months later (the last day of
//               the following month with LastDayOFMonth); a day missing in
//               a month falls on that month's last day, and a candidate
//               already cut keeps the cut day.
//   smYearly,   Month/DayOfMonthYearMode of FromDate's year, else Every years
//   smOnesOnly  later.
//   other       FromDate unchanged.
//
// Stored values the editor cannot produce are brought into range rather than
// refused, so a damaged or hand-made schedule still yields a usable time:
//   - TimeH is clamped to 0..23 and TimeM to 0..59;
//   - DayOfMonth, Month and DayOfMonthYearMode of 0 count as 1, a Month
//     above 12 as 12;
//   - a yearly or once-only day that a month lacks in a given year (31 April,
//     29 February outside leap years) falls on that month's last day; the
//     day is cut again for each target year, so 29 February comes back in
//     the next leap year;
//   - Every of 0 counts as 1, so a passed candidate always moves forward;
//   - week-day bits outside Monday..Sunday are ignored.
class TSchedule : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(trovalo::TScheduleMode ScheduleMode READ ScheduleMode WRITE SetScheduleMode)
    Q_CLASSINFO("default:ScheduleMode", "smMonthly")
    Q_PROPERTY(trovalo::TWeekDays WeekDays READ WeekDays WRITE SetWeekDays)
    Q_CLASSINFO("default:WeekDays", "[]")
    Q_PROPERTY(quint8 DayOfMonth READ DayOfMonth WRITE SetDayOfMonth)
    Q_PROPERTY(bool LastDayOFMonth READ LastDayOFMonth WRITE SetLastDayOFMonth)
    Q_CLASSINFO("default:LastDayOFMonth", "false")
    Q_PROPERTY(quint8 Every READ Every WRITE SetEvery)
    Q_CLASSINFO("default:Every", "1")
    Q_PROPERTY(quint8 Month READ Month WRITE SetMonth)
    Q_PROPERTY(quint8 DayOfMonthYearMode READ DayOfMonthYearMode WRITE SetDayOfMonthYearMode)
    Q_PROPERTY(int TimeH READ TimeH WRITE SetTimeH)
    Q_PROPERTY(int TimeM READ TimeM WRITE SetTimeM)

public:
    explicit TSchedule(QObject *parent = nullptr);

    TScheduleMode ScheduleMode() const { return FScheduleMode; }
    void SetScheduleMode(TScheduleMode value) { FScheduleMode = value; }
    TWeekDays WeekDays() const { return FWeekDays; }
    void SetWeekDays(TWeekDays value) { FWeekDays = value; }
    quint8 DayOfMonth() const { return FDayOfMonth; }
    void SetDayOfMonth(quint8 value) { FDayOfMonth = value; }
    bool LastDayOFMonth() const { return FLastDayOFMonth; }
    void SetLastDayOFMonth(bool value) { FLastDayOFMonth = value; }
    quint8 Every() const { return FEvery; }
    void SetEvery(quint8 value) { FEvery = value; }
    quint8 Month() const { return FMonth; }
    void SetMonth(quint8 value) { FMonth = value; }
    quint8 DayOfMonthYearMode() const { return FDayOfMonthYearMode; }
    void SetDayOfMonthYearMode(quint8 value) { FDayOfMonthYearMode = value; }
    int TimeH() const { return FTimeH; }
    void SetTimeH(int value) { FTimeH = value; }
    int TimeM() const { return FTimeM; }
    void SetTimeM(int value) { FTimeM = value; }

    // Copies the rule but not the time of day (TimeH, TimeM). Raises
    // EConvertError when Source is not a schedule.
    void Assign(const QObject *source);

    // The next run time at or after FromDate's day; see the class comment.
    TDateTime GetNextTransfer(TDateTime fromDate) const;

private:
    TDateTime NextWeekly(TDateTime fromDate) const;
    TDateTime NextMonthly(const QDate &fromDay) const;
    TDateTime NextYearly(const QDate &fromDay) const;
    // TimeH:TimeM clamped to a valid time of day.
    QTime RunTime() const;
    TDateTime At(const QDate &day) const;
    bool IsAfterStart(const QDate &candidate, const QDate &fromDay) const;
    // Every, with 0 counting as 1.
    int Interval() const;

    TScheduleMode FScheduleMode = smMonthly;
    TWeekDays FWeekDays;
    quint8 FDayOfMonth = 1;
    bool FLastDayOFMonth = false;
    quint8 FEvery = 1;
    quint8 FMonth = 1;
    quint8 FDayOfMonthYearMode = 1;
    int FTimeH = 0;
    int FTimeM = 0;
};

} // namespace trovalo
