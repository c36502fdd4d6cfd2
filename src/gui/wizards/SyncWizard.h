#pragma once

#include "control/SyncJobEditing.h"
#include "wizards/WizardWindow.h"

#include <QPointer>

#include <memory>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace trovalo {

class TDriveSpace;
class TSyncData;

namespace foldersize {
class TFileCollection;
class TFileData;
} // namespace foldersize

// "File Sync Wizard Folder Mode": makes or changes a sync job: its folder
// pairs (a folder on the stick, a folder of the computer), the transfer
// direction, the conflict rule and the filter.
class TSyncWizard : public TWizardWindow
{
    Q_OBJECT

public:
    TSyncWizard();
    ~TSyncWizard() override;

    TSyncData &SyncData() const { return *FSyncData; }

    // "Add Pair": the folders selected in the two trees, unless a rule
    // refuses them (the user is told which).
    void AddFolderClick();
    // "Delete Pair" / "Delete Selected": every selected row.
    void DeleteSelectedPairs();
    void SyncDirectionClick();

protected:
    QString LoadJob(const QString &fileName) override;
    void InitNewJob() override;
    void PrepareJob() override;
    void SaveJob() override;
    void MarkRunStart() override;
    TFileFilter &JobFilter() override;
    bool TakeOverPage(const QString &page) override;
    TNvShellTreeViewEx *FolderTreeOf(const QString &page) const override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildFileSelectPage();
    // A row for the pair (side-A value as the job stores it, computer folder).
    void AddRow(const QString &sideA, const QString &sideB);
    void ItemMeasured(foldersize::TFileCollection &collection, foldersize::TFileData &item);
    QString JobDrive() const;
    QList<TSyncFolderPair> ListedPairs() const;

    std::unique_ptr<TSyncData> FSyncData;
    std::unique_ptr<foldersize::TFileCollection> FileCollectionA;
    std::unique_ptr<foldersize::TFileCollection> FileCollectionB;
    QPointer<TNvShellTreeViewEx> ActiveTreeView;

    QLineEdit *BackupName = nullptr;
    TNvShellTreeViewEx *stvFolderA = nullptr;
    TNvShellTreeViewEx *stvFolderB = nullptr;
    QGroupBox *SyncDirection = nullptr;
    QButtonGroup *FDirections = nullptr;
    QGroupBox *DefaultAction = nullptr;
    QButtonGroup *FActions = nullptr;
    QTreeWidget *ListView1 = nullptr;
    TDriveSpace *FDriveSpace = nullptr;
};

} // namespace trovalo
