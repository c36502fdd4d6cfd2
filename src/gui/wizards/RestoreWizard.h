#pragma once

#include "control/RestoreLauncher.h"
#include "wizards/WizardForm.h"

#include <memory>

class QComboBox;
class QLineEdit;
class QListView;
class QListWidget;
class QRadioButton;
class QTreeWidget;

namespace trovalo {

class TArchiveData;
class TFileListDelegate;
class TShellTreeModel;

// "Restore Wizard": puts back files of one earlier run of a backup job. The
// user picks the run, checks folders in its tree and adds single files from
// the file list, chooses the former places or a folder, and starts the
// restore, which runs in a progress panel of the console; the wizard then
// closes. Zip runs are browsed through their archives.
class TRestoreWizard : public TWizardForm
{
    Q_OBJECT

public:
    TRestoreWizard();
    ~TRestoreWizard() override;

    // Loads the job and lists its runs. Raises EAbortByUser when the file
    // cannot be read (after saying so) or the user declined another
    // computer's job; any other error (no job database, a damaged one)
    // passes on to the console.
    void SetFileName(const QString &fileName);
    QString FileName() const { return FFileName; }
    TArchiveData &ArchiveData() const { return *FArchiveData; }
    QString PasswordTxt() const { return FPasswordTxt; }
    // The runs listed, oldest first.
    const QList<TRestorableRun> &Runs() const { return FRuns; }

    // What the restore would get now: the run chosen on the first page and
    // the lists taken over from the second, relative to the run folder.
    TRestoreSelection Selection() const;

    void AddFilesClick();
    void RemoveFromListClick();
    void BtnRunClick();

protected:
    bool TakeOverPage(const QString &page) override;
    TNvShellTreeViewEx *FolderTreeOf(const QString &page) const override;
    bool NextAllowed(const QString &page) const override;
    void UpdateButtons() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildRunPage();
    void BuildSelectPage();
    void BuildLocationPage();
    void BuildFinishPage();
    bool IsZipJob() const;
    int ChosenRun() const;
    bool TakeRun();
    bool AskPassword(const TRestorableRun &run);
    void ShowFolderInList(const QString &path);
    void SetListStyle(int index);
    void OpenListEntry();
    // A path of the run's tree relative to the run folder, without a
    // trailing "\".
    QString RelativeToRun(const QString &path) const;

    std::unique_ptr<TArchiveData> FArchiveData;
    QString FFileName;
    QString FPasswordTxt;
    bool PattenChnage = false;
    QList<TRestorableRun> FRuns;
    int FRunShown = -1; // the run the tree is rooted at
    TShellTreeModel *FListModel = nullptr;
    TFileListDelegate *FListDelegate = nullptr;

    QLineEdit *BackupName = nullptr;
    QTreeWidget *ListView1 = nullptr;
    TNvShellTreeViewEx *NvShellTreeViewEx1 = nullptr;
    QListView *ShellListView1 = nullptr;
    QComboBox *ViewStyle = nullptr;
    QListWidget *LbFileList = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    TNvShellTreeViewEx *ShellTreeView1 = nullptr;
    QPushButton *AddFiles = nullptr;
    QPushButton *BtnSaveandRun = nullptr;
};

} // namespace trovalo
