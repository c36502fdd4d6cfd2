#include "wizards/JobWizardBase.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "control/ArchiveJobEditing.h"
#include "model/ArchiveData.h"
#include "model/ProgramIdentity.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "wizards/ExcludeFilterPage.h"
#include "wizards/SpaceInfoBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace trovalo {

TJobWizardBase::TJobWizardBase(const QString &objectName, const QString &caption)
    : TWizardForm(objectName, caption)
    , FArchiveData(std::make_unique<TArchiveData>())
{
    BtnSave = new QPushButton(QStringLiteral("Save"), this);
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    ButtonRow()->insertWidget(ButtonRow()->indexOf(BtnCancle), BtnSave);
    BtnSave->setEnabled(false);
    connect(BtnSave, &QPushButton::clicked, this, [this] { BtnSaveClick(); });
}

TJobWizardBase::~TJobWizardBase() = default;

void TJobWizardBase::AddFilterPage()
{
    QVBoxLayout *layout = AddPage("Exclude", QStringLiteral("Do you want to filter the files? "));
    FFilterPage = new TExcludeFilterPage(Page("Exclude"));
    layout->addWidget(FFilterPage, 1);
}

void TJobWizardBase::AddFinishPage(const QString &text)
{
    QVBoxLayout *layout = AddPage("TabSheet4", QStringLiteral("Finish !"));
    auto *label = new QLabel(text, Page("TabSheet4"));
    label->setWordWrap(true);
    layout->addWidget(label);
    BtnSaveandRun = new QPushButton(QStringLiteral("Save and Run"), Page("TabSheet4"));
    BtnSaveandRun->setObjectName(QStringLiteral("BtnSaveandRun"));
    BtnSaveandRun->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    BtnSaveandRun->setMinimumHeight(48);
    layout->addWidget(BtnSaveandRun, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(BtnSaveandRun, &QPushButton::clicked, this, &TJobWizardBase::BtnRunClick);
}

void TJobWizardBase::SetFileName(const QString &fileName)
{
    FFileName = fileName;
    TArchiveData &job = ArchiveData();
    if (!FNew)
        LoadJobAsking(job, fileName);
    else
        InitNewArchiveJob(job, PCID(), DateTimeNow());
    if (job.ArchiveDir() == amUsbToPc)
        FBackUpDrive = ExtractFileDrive(fileName);
    MoveListsToBackUpDrive();
    FFilterPage->ShowFilter(*job.FileFilter());
    PrepareJob();
    ShowPage(0);
}

void TJobWizardBase::MoveListsToBackUpDrive()
{
    if (!FBackUpDrive.isEmpty())
        MoveListsToDrive(ArchiveData(), FBackUpDrive);
}

void TJobWizardBase::BeforeSave()
{}

void TJobWizardBase::UpdateButtons()
{
    TWizardForm::UpdateButtons();
    BtnSave->setEnabled(PageIndex() == PageCount() - 1);
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

bool TJobWizardBase::IsUsbDriveEntry(const TShellEntry &entry)
{
    return entry.Kind == TShellEntry::Drive && entry.Level > 0 &&
           TDriveInterfaceType::Instance().GetInterfaceType(entry.DriveLetter) == QLatin1String("USB");
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

bool TJobWizardBase::BtnSaveClick()
{
    BeforeSave();
    try {
        SaveArchiveJob(ArchiveData(), FFileName, FNew, PCID());
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(QStringLiteral("Error Saving File. \nFile name : ") + FFileName +
                           QStringLiteral("\nError : ") + error.Message(),
                       QStringLiteral("Invalied File Format."), ProgramTitle, mtError);
        return false;
    }
    FNew = false;
    if (DriveForm())
        DriveForm()->StartSearch();
    PageShown(PageName());
    UpdateButtons();
    return true;
}

void TJobWizardBase::BtnRunClick()
{
    ArchiveData().SetLastUpdate(DateTimeNow());
    if (!BtnSaveClick())
        return;
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->RunFile(FFileName, DriveForm() ? DriveForm()->ThreadState() : nullptr, -1, false);
    close();
}

} // namespace trovalo
