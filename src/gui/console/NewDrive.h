#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace trovalo {

class TWizardWindow;
class TScheduleLookup;
class TSearchDrive;
class TWorkerObserver;
struct TAutoRunFileData;

// The job console of one drive: lists the drive's jobs, creates, runs,
// restores and deletes them, and holds one tab per running job.
class TNewDrive : public QMainWindow
{
    Q_OBJECT
public:
    // Finds or creates the console of DriveLetter (a drive root with its
    // trailing backslash, e.g. "E:\\"), shows it and brings it to the front.
    // Null when the drive's folder does not exist.
    static TNewDrive *OpenDrive(const QString &DriveLetter);
    // Every console that exists (shown or hidden), in creation order.
    static const QList<TNewDrive *> &OpenConsoles();
    // Recomputes the schedule marks of every console (after a schedule was
    // saved or deleted).
    static void RefreshAllScheduleInfo();

    // What a row of ListView1 holds besides its texts, in its first column:
    // the hidden extra data, and the schedule mark (0 none, 1 active, 2
    // inactive) that its icon shows.
    static constexpr int ExtraDataRole = Qt::UserRole;
    static constexpr int ScheduleMarkRole = Qt::UserRole + 1;

    ~TNewDrive() override;

    QString DriveLetter() const;
    // The page control that holds the job list and the jobs' panels.
    QTabWidget *ThreadState() const;

    // (Re)fills the job list in the background; nothing while a search runs.
    void StartSearch();
    bool Searching() const;
    // Stops the job-file search and waits for its end, so nothing of this
    // window reads the drive any more (before the drive is removed).
    void StopSearchAndWait();
    // Recomputes the schedule marks of all rows.
    void Refreshscheduleinfo();

    // The wizards opened from this console and still open. A form leaves
    // the list by itself when it is destroyed; while the list is not empty
    // the console cannot be closed.
    void AddSubForm(QWidget *Form);
    void RemoveSubForm(QWidget *Form);
    QList<QWidget *> SubForms() const;

    // Whether a job tab still has a running job.
    bool HasRunningJobs() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    explicit TNewDrive(const QString &DriveLetter);

    void BuildMenus();
    void BuildJobListTab();
    QWidget *BuildNewJobButtons();

    // Search reports, on the interface thread, tagged with the search they
    // belong to so that a late report of an earlier search is dropped.
    void AddListItem(quint64 search, const TAutoRunFileData &data);
    void ShowSearchStatus(quint64 search, const QString &status);
    void SearchFailed(quint64 search, const QString &message);
    void SearchEnded(quint64 search);
    void StopSearch();
    void SetStatusText(const QString &text);

    QTreeWidgetItem *SelectedRow() const;
    void UpdateSelectionActions();
    void UpdatePopupItems();
    void UpdateTip();
    void SetScheduleMark(QTreeWidgetItem *row, int mark);

    void ListView1DblClick(bool runMode);
    void btnBackupClick();
    void BtnMoveClick();
    void BtnSyncClick();
    void OpenRestore1Click();
    void Schedule1Click();
    void Delete1Click();
    // Gives the wizard its console and job file and shows it; a wizard that
    // could not open the job is freed.
    void OpenWizard(std::unique_ptr<TWizardWindow> wizard, const QString &fileName, bool isNew);
    // FDriveLetter + "Config\" + Prefix + the current time + Extension.
    QString NewJobFile(const QString &prefix, const QString &extension) const;
    // Runs the direction chooser; -1 when cancelled, else the choice.
    int ChooseDirection(const QString &title, const QString &text, const QString &groupCaption,
                        const QStringList &choices, int picture);

    QString FDriveLetter;
    QString FPCID;
    std::unique_ptr<TSearchDrive> FSearch;
    std::unique_ptr<TWorkerObserver> FSearchReports;
    quint64 FSearchNumber = 0;
    std::unique_ptr<TScheduleLookup> FSearchSchedules;
    QList<QPointer<QWidget>> FSubForms;

    QPushButton *btnBackup = nullptr;
    QPushButton *BtnSync = nullptr;
    QPushButton *BtnMove = nullptr;
    QLabel *lblDriveRoot = nullptr;
    QTabWidget *FThreadState = nullptr;
    QWidget *TabSheet1 = nullptr;
    QTreeWidget *ListView1 = nullptr;
    QPushButton *btnRun = nullptr;
    QPushButton *BtnEdit = nullptr;
    QPushButton *BtnDelete = nullptr;
    QPushButton *btnRestore = nullptr;
    QPushButton *BtnSchedule = nullptr;
    QPushButton *btnRefresh = nullptr;
    QWidget *Panel1 = nullptr;
    QLabel *Label2 = nullptr;
    QString FStatusText;
    QToolButton *SpeedButton1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *lblTip = nullptr;

    QMenu *PopupMenu1 = nullptr;
    QAction *Open1 = nullptr;
    QAction *Delete1 = nullptr;
    QAction *Run1 = nullptr;
    QAction *OpenRestore1 = nullptr;
    QAction *Schedule1 = nullptr;
    QAction *Schedules1 = nullptr;
};

} // namespace trovalo
