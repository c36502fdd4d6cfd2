#pragma once

#include "model/Schedule.h"

#include <QByteArray>
#include <QList>
#include <QWidget>

#include <functional>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace trovalo {

// The frame that shows and edits one repetition rule (TSchedule): the kind
// ("Repeats"), the interval, and a panel per kind (week days; day of the
// month; month and day). The time row is hidden here and shown by
// TScheduleDisplayWithTime. Every change of a control is written into the
// owned schedule at once; a change the user made is also reported as
// Changed, one made while a stored rule is being shown is not.
class TScheduleDisplay : public QWidget
{
    Q_OBJECT

public:
    explicit TScheduleDisplay(QWidget *parent = nullptr);

    // Shows a stored rule (a Data blob). The rule is first reset to a new
    // schedule's, except its time, which stays as shown: a row without a
    // rule yet takes the time of the row shown before it. A blob that cannot
    // be read leaves the reset rule.
    void LoadSchedule(const std::optional<QByteArray> &blob);
    const TSchedule &Schedule() const { return FSchedule; }

signals:
    // The user changed the rule.
    void Changed();
    // The kind in ComboBoxMode, after its panel was shown; also when a
    // stored rule is shown.
    void ScheduleModeChanged(int mode);

protected:
    void SetTimeRowVisible(bool visible);

private:
    void BuildControls();
    QWidget *BuildWeeklyPanel();
    QWidget *BuildMonthlyPanel();
    QWidget *BuildYearlyPanel();
    QWidget *BuildTimeRow();
    // Which panel and unit the kind shows.
    void ModeChange(int mode);
    void WeekDayToggled(int tag, bool checked);
    void LastDayToggled(bool checked);
    // A value past either end of the range wraps round: hours 24 -> 0 and
    // -1 -> 23; minutes 60 -> 0 of the next hour and -1 -> 59 of the
    // previous one.
    void HourChanged(int value);
    void MinuteChanged(int value);
    // Writes a control's value into the rule and reports a user's change.
    void Write(const std::function<void()> &write);

    TSchedule FSchedule;
    bool FLoading = false;

    QComboBox *ComboBoxMode = nullptr;
    QLabel *LabelEvery = nullptr;
    QSpinBox *SpinEditEvery = nullptr;
    QLabel *WMY = nullptr;
    QWidget *PanelWeekly = nullptr;
    QList<QCheckBox *> FDayBoxes;
    QWidget *PanelMonthly = nullptr;
    QLabel *LabelDay = nullptr;
    QSpinBox *SpinEditDay = nullptr;
    QCheckBox *CheckBoxLastDay = nullptr;
    QWidget *PanelYearly = nullptr;
    QComboBox *ComboBoxMonth = nullptr;
    QSpinBox *DayYearMode = nullptr;
    QWidget *Panel1 = nullptr;
    QSpinBox *SpinEditH = nullptr;
    QSpinBox *SpinEditM = nullptr;
};

} // namespace trovalo
