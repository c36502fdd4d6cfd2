#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace trovalo {

class TExcludeFilterPage;
class TFileFilter;
class TNewDrive;
class TNvShellTreeViewEx;
struct TShellEntry;

// What every job wizard shares: a window of pages shown one after the
// other (Back / Next / Save / Close / New Folder), opening a job file (with
// the question about another computer's job), the filter page, "New
// Folder", "Save" and "Save and Run".
//
// The console that opened a wizard keeps it in its SubForms until the
// wizard closes; a wizard frees itself when closed.
class TWizardWindow : public QWidget
{
    Q_OBJECT

public:
    ~TWizardWindow() override;

    // Called by the console before SetFileName.
    void SetNew(bool value) { FNew = value; }
    bool New() const { return FNew; }
    void SetDriveForm(TNewDrive *console);
    TNewDrive *DriveForm() const;

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
    TWizardWindow(const QString &objectName, const QString &caption);

    // A page with its heading (and prompt); the caller fills its layout.
    QVBoxLayout *AddPage(const char *name, const QString &heading, const QString &prompt = {});
    // The filter page.
    void AddFilterPage();
    // The last page: its text and the "Save and Run" button.
    void AddFinishPage(const QString &text);
    QWidget *Page(const char *name) const;
    bool OnPage(const char *name) const;

    // Reads the job file strictly (raises ETrovaloError) and returns the
    // PC ID stored in it.
    virtual QString LoadJob(const QString &fileName) = 0;
    // The values a new job starts with.
    virtual void InitNewJob() = 0;
    // After the job was loaded or started: set the pages from it.
    virtual void PrepareJob() = 0;
    // Writes the job to FileName() (raises ETrovaloError).
    virtual void SaveJob() = 0;
    // "Save and Run": the job's LastUpdate becomes now.
    virtual void MarkRunStart() = 0;
    // The job's filter, shown on and taken from the filter page.
    virtual TFileFilter &JobFilter() = 0;
    // "Next" on Page: take the page over into the job and check it; false
    // keeps the page.
    virtual bool TakeOverPage(const QString &page) = 0;
    // After a page was shown.
    virtual void PageShown(const QString &page);
    // The tree "New Folder" creates in on Page; none hides the button.
    virtual TNvShellTreeViewEx *FolderTreeOf(const QString &page) const = 0;
    // Whether "Next" may be pressed on Page (besides being no last page).
    virtual bool NextAllowed(const QString &page) const;

    void UpdateButtons();
    bool ShowHidden() const;
    QString PCID() const;
    TExcludeFilterPage *FilterPage() const { return FFilterPage; }
    // A USB drive listed below "Local PC" (the tree's own root, a stick the
    // wizard is rooted at, is never hidden).
    static bool IsUsbDriveEntry(const TShellEntry &entry);

    QPushButton *btnBack = nullptr;
    QPushButton *btnNext = nullptr;
    QPushButton *BtnSave = nullptr;
    QPushButton *BtnCancle = nullptr;
    QPushButton *NewFolder = nullptr;
    QPushButton *BtnSaveandRun = nullptr;

private:
    void ShowPage(int index);

    QString FFileName;
    bool FNew = true;
    QPointer<TNewDrive> FDriveForm;
    QStackedWidget *FPages = nullptr;
    TExcludeFilterPage *FFilterPage = nullptr;
};

} // namespace trovalo
