#pragma once

#include "wizards/JobWizardBase.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace trovalo {

class TSelectionSizeCounter;

// The move wizard: makes or changes a job that copies one folder to a
// destination and, when asked, deletes the copied files at the source
// ("Move From USB" or "Move To USB"). Pages: destination and name; the
// folder to move, with its space analysis; deleting the originals; the
// filter; finish.
class TMoveWizard : public TJobWizardBase
{
    Q_OBJECT

public:
    TMoveWizard();
    ~TMoveWizard() override;

    // Counts the chosen source folder in the background; the figures
    // follow when the count ends.
    void BtnAnalizeClick();

protected:
    void PrepareArchiveJob() override;
    bool TakeOverPage(const QString &page) override;
    void PageShown(const QString &page) override;
    TNvShellTreeViewEx *FolderTreeOf(const QString &page) const override;
    bool NextAllowed(const QString &page) const override;
    void BeforeSave() override;

private:
    bool SourceChosen() const;

    QLineEdit *BackupName = nullptr;
    TNvShellTreeViewEx *stvDestination = nullptr;
    TNvShellTreeViewEx *stvPC = nullptr;
    TSpaceInfoBox *FSpace = nullptr;
    QPushButton *BtnAnalize = nullptr;
    QCheckBox *DeleteFiles = nullptr;
    TSelectionSizeCounter *FAnalysis = nullptr;
};

} // namespace trovalo
