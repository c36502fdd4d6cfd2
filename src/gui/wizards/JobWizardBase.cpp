#include "wizards/JobWizardBase.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "control/ArchiveJobEditing.h"
#include "control/ArchiveJobLauncher.h"
#include "dialogs/InputBox.h"
#include "model/ArchiveData.h"
#include "model/ProgramData.h"
#include "model/ProgramIdentity.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/VolumeInfo.h"
#include "wizards/ExcludeFilterPage.h"
#include "wizards/SpaceInfoBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>

namespace trovalo {

TJobWizardBase::TJobWizardBase(const QString &objectName, const QString &caption)
    : QWidget(nullptr, Qt::Window)
    , FArchiveData(std::make_unique<TArchiveData>())
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 600);

    auto *layout = new QVBoxLayout(this);
    FPages = new QStackedWidget(this);
    FPages->setObjectName(QStringLiteral("Pages"));
    layout->addWidget(FPages, 1);

    auto *buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    NewFolder = button("NewFolder", QStringLiteral("New Folder"));
    buttons->addStretch(1);
    btnBack = button("btnBack", QStringLiteral("Back"));
    btnNext = button("btnNext", QStringLiteral("Next"));
    BtnSave = button("BtnSave", QStringLiteral("Save"));
    BtnCancle = button("BtnCancle", QStringLiteral("Close"));
    layout->addLayout(buttons);
    NewFolder->hide();
    NewFolder->setEnabled(false);
    btnBack->setEnabled(false);
    BtnSave->setEnabled(false);
    btnNext->setDefault(true);

    connect(btnNext, &QPushButton::clicked, this, &TJobWizardBase::btnNextClick);
    connect(btnBack, &QPushButton::clicked, this, &TJobWizardBase::btnBackClick);
    connect(BtnSave, &QPushButton::clicked, this, [this] { BtnSaveClick(); });
    connect(BtnCancle, &QPushButton::clicked, this, &QWidget::close);
    connect(NewFolder, &QPushButton::clicked, this, &TJobWizardBase::NewFolderClick);

    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->AddViewForm(this);
}

TJobWizardBase::~TJobWizardBase()
{
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->FreeViewForm(this);
    if (FDriveForm)
        FDriveForm->RemoveSubForm(this);
}

void TJobWizardBase::SetDriveForm(TNewDrive *console)
{
    FDriveForm = console;
    if (console)
        console->AddSubForm(this);
}

TNewDrive *TJobWizardBase::DriveForm() const
{
    return FDriveForm;
}

QString TJobWizardBase::PCID() const
{
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        return controller->PCID();
    return ComputePCID();
}

bool TJobWizardBase::ShowHidden() const
{
    TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    return controller && controller->ProgramData().ShowHidden();
}

QVBoxLayout *TJobWizardBase::AddPage(const char *name, const QString &heading, const QString &prompt)
{
    auto *page = new QWidget(FPages);
    page->setObjectName(QLatin1String(name));
    auto *layout = new QVBoxLayout(page);
    auto *title = new QLabel(heading, page);
    title->setObjectName(QLatin1String(name) + QStringLiteral("Heading"));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    title->setFont(font);
    layout->addWidget(title);
    if (!prompt.isEmpty()) {
        auto *text = new QLabel(prompt, page);
        text->setWordWrap(true);
        layout->addWidget(text);
    }
    FPages->addWidget(page);
    return layout;
}

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

QWidget *TJobWizardBase::Page(const char *name) const
{
    return FPages->findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

bool TJobWizardBase::OnPage(const char *name) const
{
    return PageName() == QLatin1String(name);
}

QString TJobWizardBase::PageName() const
{
    return FPages->currentWidget() ? FPages->currentWidget()->objectName() : QString();
}

int TJobWizardBase::PageIndex() const
{
    return FPages->currentIndex();
}

void TJobWizardBase::SetFileName(const QString &fileName)
{
    FFileName = fileName;
    TArchiveData &job = ArchiveData();
    if (!FNew) {
        try {
            TArchiveJobLauncher::LoadJob(job, fileName);
        } catch (const ETrovaloError &) {
            ShowInfoDialog(QStringLiteral("The file format is unknown."),
                           QStringLiteral("Invalied File Format."), ProgramTitle, mtError);
            throw EAbortByUser();
        }
        if (job.PCID() != PCID() &&
            ShowYesNoDialog(QStringLiteral("You have selected backup settings that belong to a deferent pc. "
                                           "Continue using this settings might cause data corruption. Do you "
                                           "want to Continue?"),
                            QStringLiteral("Load Backup"), ProgramTitle, mtWarning, false) != mrYes)
            throw EAbortByUser();
    } else {
        InitNewArchiveJob(job, PCID(), DateTimeNow());
    }
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

void TJobWizardBase::ShowPage(int index)
{
    FPages->setCurrentIndex(index);
    PageShown(PageName());
    UpdateButtons();
}

void TJobWizardBase::PageShown(const QString &)
{}

bool TJobWizardBase::NextAllowed(const QString &) const
{
    return true;
}

void TJobWizardBase::BeforeSave()
{}

void TJobWizardBase::UpdateButtons()
{
    const int index = FPages->currentIndex();
    const bool last = index == FPages->count() - 1;
    btnBack->setEnabled(index > 0);
    BtnSave->setEnabled(last);
    btnNext->setEnabled(!last && NextAllowed(PageName()));
    const TNvShellTreeViewEx *tree = FolderTreeOf(PageName());
    NewFolder->setVisible(tree != nullptr);
    NewFolder->setEnabled(tree && !tree->SelectedPath().isEmpty() && DirectoryExists(tree->SelectedPath()));
}

void TJobWizardBase::btnNextClick()
{
    if (FPages->currentIndex() >= FPages->count() - 1 || !TakeOverPage(PageName()))
        return;
    ShowPage(FPages->currentIndex() + 1);
}

void TJobWizardBase::btnBackClick()
{
    if (FPages->currentIndex() > 0)
        ShowPage(FPages->currentIndex() - 1);
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
    if (FDriveForm)
        FDriveForm->StartSearch();
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
        controller->RunFile(FFileName, FDriveForm ? FDriveForm->ThreadState() : nullptr, -1, false);
    close();
}

void TJobWizardBase::NewFolderClick()
{
    TNvShellTreeViewEx *tree = FolderTreeOf(PageName());
    if (!tree)
        return;
    const QString parent = tree->SelectedPath();
    if (parent.isEmpty() || !DirectoryExists(parent))
        return;
    TInputBox input(this, this);
    input.SetTitle(QStringLiteral("New Folder"));
    input.SetText(QStringLiteral("Enter a name for the new folder."));
    input.SetValue(QStringLiteral("New Folder"));
    input.SetRequestFileName(true);
    if (ExecModal(input) != mrOk)
        return;
    const QString folder = IncludeTrailingBackslash(parent) + input.Value().trimmed();
    if (!CreateDir(folder)) {
        const QString reason = PathExists(folder)
                                   ? QStringLiteral("A file or folder of that name exists already.")
                                   : QString::fromLocal8Bit(std::strerror(errno));
        ShowInfoDialog(QStringLiteral("Error creating folder."),
                       QStringLiteral("Error Creating Folder.\r\n") + reason, ProgramTitle, mtError);
        return;
    }
    tree->RefreshSelected();
    tree->SelectPath(IncludeTrailingBackslash(folder));
    UpdateButtons();
}

} // namespace trovalo
