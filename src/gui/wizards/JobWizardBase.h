#pragma once

#include "wizards/WizardWindow.h"

#include <memory>

namespace trovalo {

class TArchiveData;
class TSpaceInfoBox;

// What the backup and move wizards share beyond the wizard window: the
// job record being made or changed, its lists moved onto the stick's
// letter, the destination check with the drive's space, the folder checks.
class TJobWizardBase : public TWizardWindow
{
    Q_OBJECT

public:
    ~TJobWizardBase() override;

    // The USB drive ("E:") that holds the job's sources, for jobs from USB;
    // set by the console before SetFileName (a job from USB edited later
    // takes the drive of its job file).
    void SetBackUpDrive(const QString &drive) { FBackUpDrive = drive; }
    QString BackUpDrive() const { return FBackUpDrive; }
    // The job; its direction is set by the console for a new job.
    TArchiveData &ArchiveData() const { return *FArchiveData; }

protected:
    TJobWizardBase(const QString &objectName, const QString &caption);

    // After the job was loaded or started and its lists moved onto the
    // backup drive: set the pages from it.
    virtual void PrepareArchiveJob() = 0;
    // Just before the job is saved.
    virtual void BeforeSave();

    // Destination := the tree's folder with "\"; refuses a missing folder
    // and reads the drive's space into Space.
    bool TakeDestination(const TNvShellTreeViewEx &tree, TSpaceInfoBox &space);
    // The job's folders checked together (destination inside a source and
    // the like); false after telling the user.
    bool CheckFolders();
    // Follows a selected folder of a destination tree: "New Folder" and
    // "Backup Drive : ".
    void DestinationChanged(const QString &path, TSpaceInfoBox &space);

private:
    QString LoadJob(const QString &fileName) override;
    void InitNewJob() override;
    void PrepareJob() override;
    void SaveJob() override;
    void MarkRunStart() override;
    TFileFilter &JobFilter() override;

    std::unique_ptr<TArchiveData> FArchiveData;
    QString FBackUpDrive;
};

} // namespace trovalo
