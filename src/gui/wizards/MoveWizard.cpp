#include "wizards/MoveWizard.h"

#include "base/PathText.h"
#include "control/ArchiveJobEditing.h"
#include "engine/SelectionSizeCounter.h"
#include "model/ArchiveData.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/DriveInterfaceType.h"
#include "platform/FileSystem.h"
#include "wizards/ExcludeFilterPage.h"
#include "wizards/SpaceInfoBox.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace trovalo {

TMoveWizard::TMoveWizard()
    : TJobWizardBase(QStringLiteral("TMoveWizard"), QStringLiteral("Move Wizard"))
    , FAnalysis(new TSelectionSizeCounter(this))
{
    QVBoxLayout *layout =
        AddPage("TargatFolder", QStringLiteral("Where do you want to save the moved files?"),
                QStringLiteral("Select the folder you would like to use as your target."));
    QWidget *page = Page("TargatFolder");
    auto *name = new QFormLayout;
    BackupName = new QLineEdit(page);
    BackupName->setObjectName(QStringLiteral("BackupName"));
    name->addRow(QStringLiteral("Job Name"), BackupName);
    layout->addLayout(name);
    stvDestination = new TNvShellTreeViewEx(page);
    stvDestination->setObjectName(QStringLiteral("stvDestination"));
    stvDestination->SetCheckBoxes(false);
    stvDestination->SetShowHidden(ShowHidden());
    // A move from a USB drive goes to the computer.
    stvDestination->SetOnAddFolder([this](const TShellEntry &entry) {
        return !(ArchiveData().ArchiveDir() == amUsbToPc && IsUsbDriveEntry(entry));
    });
    layout->addWidget(stvDestination, 1);

    layout = AddPage("SoruceTab", QStringLiteral("What do you want to move?"),
                     QStringLiteral("Select a folder which containing you want to move files?"));
    page = Page("SoruceTab");
    auto *row = new QHBoxLayout;
    stvPC = new TNvShellTreeViewEx(page);
    stvPC->setObjectName(QStringLiteral("stvPC"));
    stvPC->SetCheckBoxes(false);
    stvPC->SetShowHidden(ShowHidden());
    // Moving to the stick takes from the computer, never from a USB drive.
    stvPC->SetOnAddFolder([this](const TShellEntry &entry) {
        return ArchiveData().ArchiveDir() == amUsbToPc || !IsUsbDriveEntry(entry);
    });
    row->addWidget(stvPC, 3);
    FSpace = new TSpaceInfoBox(QStringLiteral("Analyse Drive storage space"), page);
    FSpace->setObjectName(QStringLiteral("AnalyseDriveStorageSpace"));
    BtnAnalize = new QPushButton(QStringLiteral("Analyse"), FSpace);
    BtnAnalize->setObjectName(QStringLiteral("BtnAnalize"));
    BtnAnalize->setEnabled(false);
    FSpace->AddButton(BtnAnalize);
    row->addWidget(FSpace, 2);
    layout->addLayout(row, 1);

    layout = AddPage("DeleteFilesTab",
                     QStringLiteral("Do you want to delete the original files when the move is complete?"));
    DeleteFiles = new QCheckBox(
        QStringLiteral("Scratch: This will delete the source folder when the copy is complete."),
        Page("DeleteFilesTab"));
    DeleteFiles->setObjectName(QStringLiteral("DeleteFiles"));
    layout->addWidget(DeleteFiles);
    layout->addStretch(1);

    AddFilterPage();
    AddFinishPage(
        QStringLiteral("Click \"Save\" button to finish the job creation.\nIf you want to run the job "
                       "immediately, click \"Save and Run\" button."));

    connect(stvDestination, &TNvShellTreeViewEx::SelectedPathChanged, this,
            [this](const QString &path) { DestinationChanged(path, *FSpace); });
    connect(stvPC, &TNvShellTreeViewEx::SelectedPathChanged, this, [this] {
        BtnAnalize->setEnabled(SourceChosen());
        UpdateButtons();
    });
    connect(BtnAnalize, &QPushButton::clicked, this, &TMoveWizard::BtnAnalizeClick);
    connect(FAnalysis, &TSelectionSizeCounter::Counted, this, [this](const TSelectionTotals &totals) {
        FSpace->SetRequired(totals.Size, totals.Files, totals.Folders);
    });
}

TMoveWizard::~TMoveWizard() = default;

void TMoveWizard::PrepareArchiveJob()
{
    TArchiveData &job = ArchiveData();
    if (job.ArchiveDir() == amPcToUsb) {
        const QString jobDrive = ExtractFileDrive(FileName());
        stvDestination->SetRootFolder(jobDrive + QStringLiteral("\\"));
        if (job.Destination().isEmpty() || !stvDestination->SelectPath(OnDrive(job.Destination(), jobDrive)))
            stvDestination->SelectPath(jobDrive + QStringLiteral("\\"));
        stvPC->SetRootDesktop();
    } else {
        stvDestination->SetRootDesktop();
        if (!job.Destination().isEmpty())
            stvDestination->SelectPath(job.Destination());
        stvPC->SetRootFolder(BackUpDrive() + QStringLiteral("\\"));
    }
    BackupName->setText(job.BackupName());
    DeleteFiles->setChecked(job.DeleteFile());
}

void TMoveWizard::PageShown(const QString &page)
{
    if (page == QLatin1String("SoruceTab") && stvPC->SelectedPath().isEmpty() &&
        !ArchiveData().FolderList().isEmpty())
        stvPC->SelectPath(ArchiveData().FolderList().constFirst());
}

bool TMoveWizard::SourceChosen() const
{
    const QString folder = stvPC->SelectedPath();
    return !folder.isEmpty() && DirectoryExists(folder);
}

bool TMoveWizard::NextAllowed(const QString &page) const
{
    return page != QLatin1String("SoruceTab") || SourceChosen();
}

void TMoveWizard::BtnAnalizeClick()
{
    if (!SourceChosen())
        return;
    FSpace->SetCounting();
    FAnalysis->Start(TSelectionLists({IncludeTrailingBackslash(stvPC->SelectedPath())}, {}));
}

bool TMoveWizard::TakeOverPage(const QString &page)
{
    TArchiveData &job = ArchiveData();
    if (page == QLatin1String("TargatFolder")) {
        job.SetBackupName(BackupName->text().trimmed());
        job.SetArchiveMode(amMove);
        job.SetArchiveType(atFile);
        return TakeDestination(*stvDestination, *FSpace);
    }
    if (page == QLatin1String("SoruceTab")) {
        if (!SourceChosen())
            return false;
        job.SetFolderList({IncludeTrailingBackslash(stvPC->SelectedPath())});
        job.SetDeleteFile(DeleteFiles->isChecked());
        return CheckFolders();
    }
    if (page == QLatin1String("DeleteFilesTab")) {
        job.SetDeleteFile(DeleteFiles->isChecked());
        return CheckFolders();
    }
    if (page == QLatin1String("Exclude"))
        FilterPage()->TakeFilter(*job.FileFilter());
    return true;
}

void TMoveWizard::BeforeSave()
{
    ArchiveData().SetDeleteFile(DeleteFiles->isChecked());
}

TNvShellTreeViewEx *TMoveWizard::FolderTreeOf(const QString &page) const
{
    if (page == QLatin1String("TargatFolder"))
        return stvDestination;
    if (page == QLatin1String("SoruceTab"))
        return stvPC;
    return nullptr;
}

} // namespace trovalo
