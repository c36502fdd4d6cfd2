#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace trovalo {

class TArchiveData;
class TExcludeFilterPage;
class TNewDrive;
class TNvShellTreeViewEx;
class TSpaceInfoBox;
struct TShellEntry;

// What the backup and move wizards share: a window of pages shown one
// after the other (Back / Next / Save / Close / New Folder), the job record
// being made or changed, loading it (with the question about another
// computer's job), the destination check with the drive's space, the filter
// page, "New Folder", "Save" and "Save and Run".
//
// The console that opened a wizard keeps it in its SubForms until the
// wizard closes; a wizard frees itself when closed.
class TJobWizardBase : public QWidget
{
    Q_OBJECT

public:
    ~TJobWizardBase() override;

    // Called by the console in this order: SetNew, the direction
    // (ArchiveData().SetArchiveDir), SetBackUpDrive, SetDriveForm,
    // SetFileName.
    void SetNew(bool value) { FNew = value; }
    bool New() const { return FNew; }
    // The USB drive ("E:") that holds the job's sources, for jobs from USB.
    void SetBackUpDrive(const QString &drive) { FBackUpDrive = drive; }
    QString BackUpDrive() const { return FBackUpDrive; }
    void SetDriveForm(TNewDrive *console);
    TNewDrive *DriveForm() const;
    TArchiveData &ArchiveData() const { return *FArchiveData; }

    // Loads the existing job or starts a new one, then prepares the pages.
    // Raises EAbortByUser when the file cannot be read (after saying so) or
    // the user declined another computer's job.
    void SetFileName(const QString &fileName);
    QString FileName() const { return FFileName; }

    // The current page's object name.
    QString PageName() const;
    int PageIndex() const;

    void btnNextClick();
    void btnBackClick();
    // False when the job could not be saved (the user was told).
    bool BtnSaveClick();
    void BtnRunClick();
    void NewFolderClick();

protected:
    TJobWizardBase(const QString &objectName, const QString &caption);

    // A page with its heading (and prompt); the caller fills its layout.
    QVBoxLayout *AddPage(const char *name, const QString &heading, const QString &prompt = {});
    // The filter page, filled from the job.
    void AddFilterPage();
    // The last page: its text and the "Save and Run" button.
    void AddFinishPage(const QString &text);
    // The page widget of a name.
    QWidget *Page(const char *name) const;
    bool OnPage(const char *name) const;

    // After the job was loaded or started: set the pages from it.
    virtual void PrepareJob() = 0;
    // "Next" on Page: take the page over into the job and check it; false
    // keeps the page.
    virtual bool TakeOverPage(const QString &page) = 0;
    // After a page was shown.
    virtual void PageShown(const QString &page);
    // The tree "New Folder" creates in on Page; none hides the button.
    virtual TNvShellTreeViewEx *FolderTreeOf(const QString &page) const = 0;
    // Whether "Next" may be pressed on Page (besides being no last page).
    virtual bool NextAllowed(const QString &page) const;
    // Just before the job is saved.
    virtual void BeforeSave();

    // Destination := the tree's folder with "\"; refuses a missing folder
    // and reads the drive's space into Space.
    bool TakeDestination(const TNvShellTreeViewEx &tree, TSpaceInfoBox &space);
    // The job's folders checked together (destination inside a source and
    // the like); false after telling the user.
    bool CheckFolders();
    // Every list line moved onto the backup drive when there is one.
    void MoveListsToBackUpDrive();
    // Follows a selected folder of a destination tree: "New Folder" and
    // "Backup Drive : ".
    void DestinationChanged(const QString &path, TSpaceInfoBox &space);
    void UpdateButtons();
    // A USB drive listed below "Local PC" (the tree's own root, a stick the
    // wizard is rooted at, is never hidden).
    static bool IsUsbDriveEntry(const TShellEntry &entry);
    bool ShowHidden() const;
    QString PCID() const;
    TExcludeFilterPage *FilterPage() const { return FFilterPage; }

    QPushButton *btnBack = nullptr;
    QPushButton *btnNext = nullptr;
    QPushButton *BtnSave = nullptr;
    QPushButton *BtnCancle = nullptr;
    QPushButton *NewFolder = nullptr;
    QPushButton *BtnSaveandRun = nullptr;

private:
    void ShowPage(int index);

    std::unique_ptr<TArchiveData> FArchiveData;
    QString FFileName;
    QString FBackUpDrive;
    bool FNew = true;
    QPointer<TNewDrive> FDriveForm;
    QStackedWidget *FPages = nullptr;
    TExcludeFilterPage *FFilterPage = nullptr;
};

} // namespace trovalo
