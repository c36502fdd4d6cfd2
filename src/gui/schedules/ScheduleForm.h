#pragma once

#include "control/ScheduleRunner.h"
#include "db/ProgramDatabase.h"

#include <QWidget>

#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTableView;

namespace trovalo {

class TScheduleDisplayWithTime;
class TScheduleTableModel;

// The schedule editor: the rows of ScheduleRun (which job file runs, on which
// trigger, whether the schedule is active, its repetition rule and next run
// time), edited one row at a time. A change stays pending in the window
// until it is saved; "Save", moving to another row and scheduling another
// job all save it by the same rules (control/ScheduleEditing), so a stored
// rule always comes with the next run the runner will use. One window for
// the whole run: closing only hides it. Interface thread only.
class TScheduleForm : public QWidget
{
    Q_OBJECT

public:
    // Database: the program database the runner reads (not owned). Clock:
    // the time next runs are computed from.
    TScheduleForm(TProgramDatabase &database, TScheduleClock clock, QWidget *parent = nullptr);
    ~TScheduleForm() override;

    // Removes the rows without a job file and reads the table again; pending
    // changes are dropped. The current row stays current while it exists.
    void TableRefresh();
    // Makes the schedule of a job file current, adding a row when the file
    // has none. Pending changes of the current row are saved first, as
    // "Save" does. When that save or the job file is refused, a message says
    // why and the current row stays. True when the job's row is current.
    bool AddSchedule(const QString &FileName);

    // The current row's ID; 0 without rows.
    qint64 CurrentScheduleId() const;
    // Whether the current row has changes that are not saved.
    bool Modified() const { return FModified; }

signals:
    void Hidden();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void BuildControls();
    QWidget *BuildRowEditors();
    QWidget *BuildButtons();
    // Reads every row again and makes the row with KeepId current, else the
    // one at FallbackRow (or the last); pending changes are dropped.
    void Reload(qint64 keepId, int fallbackRow = 0);
    int CurrentRow() const;
    void CurrentRowChanged(const QModelIndex &current, const QModelIndex &previous);
    // The current row's values into the controls.
    void ShowRow();
    // Changes the current row's pending values.
    void EditPending(const std::function<void(TScheduleRunRow &)> &edit);
    void MarkModified();
    // Saves the pending changes of Row with the rule shown; false, with a
    // message, when they are refused or cannot be written.
    bool Post(int row);
    void UpdateButtons();
    void ShowNextRun();
    void ShowScheduleMode(int scheduleMode);
    void SaveBtnClick();
    void ResetBtnClick();
    void RefeechBtnClick();
    void DeleteBtnClick();

    TProgramDatabase &FDatabase;
    TScheduleClock FClock;
    TScheduleTableModel *FModel = nullptr;
    // The current row as stored, for "Reset".
    std::optional<TScheduleRunRow> FStored;
    bool FModified = false;
    // Set while the window itself moves the current row.
    bool FMovingRow = false;

    QLabel *Label2 = nullptr;
    QTableView *DBGrid1 = nullptr;
    QLineEdit *DBEdit1 = nullptr;
    QGroupBox *DBRadioGroup1 = nullptr;
    QButtonGroup *FModeButtons = nullptr;
    QCheckBox *DBCheckBox1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *RunDate = nullptr;
    QLabel *RunTime = nullptr;
    QGroupBox *gbFrequency = nullptr;
    TScheduleDisplayWithTime *ScheduleDisplay = nullptr;
    QPushButton *DeleteBtn = nullptr;
    QPushButton *RefeechBtn = nullptr;
    QPushButton *ResetBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
};

} // namespace trovalo
