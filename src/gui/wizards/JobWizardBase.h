#pragma once

#include "wizards/WizardForm.h"

#include <memory>

class QPushButton;

namespace trovalo {

class TExcludeFilterPage;
class TSpaceInfoBox;
struct TShellEntry;

// What the backup and move wizards share beyond the window of pages: the
// job record being made or changed, the destination check with the drive's
// space, the filter page, "Save" and "Save and Run".
class TJobWizardBase : public TWizardForm
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
    TArchiveData &ArchiveData() const { return *FArchiveData; }

    // Loads the existing job or starts a new one, then prepares the pages.
    // Raises EAbortByUser when the file cannot be read (after saying so) or
    // the user declined another computer's job.
    void SetFileName(const QString &fileName);
    QString FileName() const { return FFileName; }

    // False when the job could not be saved (the user was told).
    bool BtnSaveClick();
    void BtnRunClick();

protected:
    TJobWizardBase(const QString &objectName, const QString &caption);

    // The filter page, filled from the job.
    void AddFilterPage();
    // The last page: its text and the "Save and Run" button.
    void AddFinishPage(const QString &text);
    // After the job was loaded or started: set the pages from it.
    virtual void PrepareJob() = 0;
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
    void UpdateButtons() override;
    // A USB drive listed below "Local PC" (the tree's own root, a stick the
    // wizard is rooted at, is never hidden).
    static bool IsUsbDriveEntry(const TShellEntry &entry);
    TExcludeFilterPage *FilterPage() const { return FFilterPage; }

    QPushButton *BtnSave = nullptr;
    QPushButton *BtnSaveandRun = nullptr;

private:
    std::unique_ptr<TArchiveData> FArchiveData;
    QString FFileName;
    QString FBackUpDrive;
    bool FNew = true;
    TExcludeFilterPage *FFilterPage = nullptr;
};

} // namespace trovalo
