#include "wizards/JobWizardBase.h"

#include "MessageBoxes.h"
#include "base/PathText.h"
#include "control/ArchiveJobEditing.h"
#include "control/ArchiveJobLauncher.h"
#include "model/ArchiveData.h"
#include "model/ProgramIdentity.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/FileSystem.h"
#include "wizards/SpaceInfoBox.h"

namespace trovalo {

TJobWizardBase::TJobWizardBase(const QString &objectName, const QString &caption)
    : TWizardWindow(objectName, caption)
    , FArchiveData(std::make_unique<TArchiveData>())
{}

TJobWizardBase::~TJobWizardBase() = default;

QString TJobWizardBase::LoadJob(const QString &fileName)
{
    TArchiveJobLauncher::LoadJob(ArchiveData(), fileName);
    return ArchiveData().PCID();
}

void TJobWizardBase::InitNewJob()
{
    InitNewArchiveJob(ArchiveData(), PCID(), DateTimeNow());
}

void TJobWizardBase::PrepareJob()
{
    if (ArchiveData().ArchiveDir() == amUsbToPc)
        FBackUpDrive = ExtractFileDrive(FileName());
    if (!FBackUpDrive.isEmpty())
        MoveListsToDrive(ArchiveData(), FBackUpDrive);
    PrepareArchiveJob();
}

void TJobWizardBase::BeforeSave()
{}

void TJobWizardBase::SaveJob()
{
    BeforeSave();
    SaveArchiveJob(ArchiveData(), FileName(), New(), PCID());
}

void TJobWizardBase::MarkRunStart()
{
    ArchiveData().SetLastUpdate(DateTimeNow());
}

TFileFilter &TJobWizardBase::JobFilter()
{
    return *ArchiveData().FileFilter();
}

bool TJobWizardBase::TakeDestination(const TNvShellTreeViewEx &tree, TSpaceInfoBox &space)
{
    const QString folder = tree.SelectedPath();
    ArchiveData().SetDestination(folder.isEmpty() ? QString() : IncludeTrailingBackslash(folder));
    if (folder.isEmpty() || !DirectoryExists(folder)) {
        ShowInfoDialog(QStringLiteral("Destination folder you selected not found in this system.\r\nPlease "
                                      "select a destination folder"),
                       QStringLiteral("Destination Folder Not Found"), ProgramTitle, mtWarning);
        return false;
    }
    qint64 free = -1, total = -1;
    if (folder.at(0) >= QLatin1Char('A') && folder.at(0) <= QLatin1Char('Z'))
        if (const std::optional<TDiskSpace> disk = DiskSpace(folder)) {
            free = disk->Free;
            total = disk->Total;
        }
    space.SetDiskSpace(free, total);
    return true;
}

bool TJobWizardBase::CheckFolders()
{
    const QString problem = ArchiveJobFolderProblem(ArchiveData());
    if (problem.isEmpty())
        return true;
    ShowInfoDialog(problem, QStringLiteral("Check the Folders"), ProgramTitle, mtWarning);
    return false;
}

void TJobWizardBase::DestinationChanged(const QString &path, TSpaceInfoBox &space)
{
    const QString drive = ExtractFileDrive(path);
    space.SetDriveName(drive.isEmpty() ? QString() : drive + QStringLiteral("\\"));
    UpdateButtons();
}

} // namespace trovalo
