#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace trovalo {

class TArchiveData;
class TNewDrive;
class TNvShellTreeViewEx;
struct TShellEntry;

// What every wizard window shares: pages shown one after the other with
// "Back", "Next", "Close" and a new-folder button for the folder tree of
// the page, the console that opened it (kept in its SubForms until the
// wizard goes), the controller's list of open windows, and loading a
// backup job with the question about another computer's job.
//
// A wizard frees itself when closed.
class TWizardForm : public QWidget
{
    Q_OBJECT

public:
    ~TWizardForm() override;

    void SetDriveForm(TNewDrive *console);
    TNewDrive *DriveForm() const;

    // The current page's object name.
    QString PageName() const;
    int PageIndex() const;

    void btnNextClick();
    void btnBackClick();
    // Asks for a name and makes the folder inside the selected folder of
    // the page's tree.
    void NewFolderClick();

protected:
    TWizardForm(const QString &objectName, const QString &caption);

    // A page with its heading (and prompt); the caller fills its layout.
    QVBoxLayout *AddPage(const char *name, const QString &heading, const QString &prompt = {});
    // The page widget of a name.
    QWidget *Page(const char *name) const;
    bool OnPage(const char *name) const;
    int PageCount() const;
    void ShowPage(int index);
    // The bottom row: the new-folder button, a stretch, Back, Next, Close.
    QHBoxLayout *ButtonRow() const { return FButtons; }

    // "Next" on Page: take the page over and check it; false keeps the page.
    virtual bool TakeOverPage(const QString &page) = 0;
    // After a page was shown.
    virtual void PageShown(const QString &page);
    // The tree the new-folder button creates in on Page; none hides the button.
    virtual TNvShellTreeViewEx *FolderTreeOf(const QString &page) const = 0;
    // Whether "Next" may be pressed on Page (besides being no last page).
    virtual bool NextAllowed(const QString &page) const;
    virtual void UpdateButtons();

    // Loads a job for changing or restoring it: Load reads the file
    // strictly (raising ETrovaloError) and returns the PC ID stored in it.
    // Raises EAbortByUser when the file cannot be read (after saying so) or
    // the user declined another computer's job.
    void LoadJobAsking(const std::function<QString()> &load) const;
    // The same for a backup or move job.
    void LoadJobAsking(TArchiveData &job, const QString &fileName) const;
    // A USB drive listed below "Local PC" (the tree's own root, a stick the
    // wizard is rooted at, is never hidden).
    static bool IsUsbDriveEntry(const TShellEntry &entry);

    bool ShowHidden() const;
    QString PCID() const;

    QPushButton *btnBack = nullptr;
    QPushButton *btnNext = nullptr;
    QPushButton *BtnCancle = nullptr;
    QPushButton *NewFolder = nullptr;

private:
    QPointer<TNewDrive> FDriveForm;
    QStackedWidget *FPages = nullptr;
    QHBoxLayout *FButtons = nullptr;
};

} // namespace trovalo
