#include "wizards/BackupWizard.h"

#include "MessageBoxes.h"
#include "base/PathText.h"
#include "control/ArchiveJobEditing.h"
#include "dialogs/BusyDialog.h"
#include "model/ArchiveData.h"
#include "model/ProgramIdentity.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/DriveInterfaceType.h"
#include "platform/FolderPaths.h"
#include "wizards/ExcludeFilterPage.h"
#include "wizards/SpaceInfoBox.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace trovalo {

namespace {
struct TBackupKind
{
    const char *Name;
    const char *Item;
    TArchiveMode Mode;
    TArchiveType Type;
    const char *Description;
};

// The item index is what the job stores as BackupSystem.
const TBackupKind BackupKinds[] = {
    {"BackupTypeMirror", "Mirror", amMirror, atFile,
     "Make target exact same as source folder, the target folder will be an exact copy of the source "
     "folder."},
    {"BackupTypeIncremental", "Incremental backup", amIncremental, atFile,
     "Copies files from the Source directory to the Destination directory. Only new and modified files will "
     "be "
     "copied (incremental backup)."},
    {"BackupTypeZip", "Zip archive", amCompletelyNew, atImage,
     "Compresses the copied files into a single Zip file. This option is useful if you want to have a "
     "compressed copy of your source files. Automatically deletes files that are not in the source directory "
     "from the Zip compressed archive."},
    {"BackupTypeVersions", "Versions tracking", amTimeStampedIncremental, atFile,
     "Each time when run a backup job a time-stamped folder containing the new or update files will be "
     "created."},
    {"BackupTypeVersionsZip", "Version tracking with zip compressoin", amTimeStampedIncremental, atImage,
     "Each time when run a backup job a time-stamped folder containing the new or update files into a single "
     "zip file will be created."},
};
constexpr int KindCount = int(std::size(BackupKinds));

const QString NamePlaceholder = QStringLiteral(
    "Enter the name of the task. A descriptive name is recommended. This will help you recall the aim of the "
    "task when you next see the name.");

const QString PcToUsbNote = QStringLiteral(
    "Choose the folders or files you would like to backup. Quickly choose the window libraries and some "
    "application data click the relative icon below. Or choose the folders or files from the tree list "
    "manually.\r\nPlease note: check the “Display hidden files” on Global Settings/Options, to enable some "
    "hide "
    "files and disable application data selection.");

} // namespace

TBackupWizard::TBackupWizard()
    : TJobWizardBase(QStringLiteral("TBackupWizard"), QStringLiteral("Backup Wizard"))
    , FolderPaths(std::make_unique<TFolderPaths>())
{
    FQuickPicks = {
        {"BtnDesktop", QStringLiteral("Desktop"), FolderPaths->Desktop(), {}},
        {"BtnFavorites", QStringLiteral("Chromium Bookmarks"), FolderPaths->Favorites(),
         QStringLiteral("Chromium")},
        {"BtnMyDocs", QStringLiteral("My Docs"), FolderPaths->MyDocuments(), {}},
        {"BtnMyPics", QStringLiteral("My Pictures"), FolderPaths->MyPictures(), {}},
        {"BtnMyMusic", QStringLiteral("My Music"), FolderPaths->MyMusic(), {}},
        {"BtnMyVideos", QStringLiteral("My Videos"), FolderPaths->MyVideos(), {}},
        {"BtnSkype", QStringLiteral("Skype"), FolderPaths->Skype(), QStringLiteral("Skype")},
        {"BtnFirefox", QStringLiteral("Firefox"), FolderPaths->FireFox(), QStringLiteral("Firefox")},
        {"BtnOutlook", QStringLiteral("Thunderbird"), FolderPaths->Outlook(), QStringLiteral("Thunderbird")},
        {"BtnWinMail", QStringLiteral("Evolution"), FolderPaths->WindowsMail(), QStringLiteral("Evolution")},
    };
    BuildSettingsPage();
    BuildDestinationPage();
    BuildSourcePage();
    AddFilterPage();
    AddFinishPage(
        QStringLiteral("Click \"Save\" button to finish the job creation.\nIf you want to run the job "
                       "immediately, click \"Save and Run\" button."));
}

TBackupWizard::~TBackupWizard() = default;

void TBackupWizard::BuildSettingsPage()
{
    QVBoxLayout *layout = AddPage("TabSheet2", QStringLiteral("Backup Settings "));
    QWidget *page = Page("TabSheet2");
    BackupName = new QLineEdit(page);
    BackupName->setObjectName(QStringLiteral("BackupName"));
    BackupName->setPlaceholderText(NamePlaceholder);
    BackupName->setToolTip(NamePlaceholder);
    layout->addWidget(BackupName);

    auto *row = new QHBoxLayout;
    BackupType = new QGroupBox(QStringLiteral("Backup Type"), page);
    BackupType->setObjectName(QStringLiteral("BackupType"));
    auto *types = new QVBoxLayout(BackupType);
    FTypes = new QButtonGroup(this);
    for (int index = 0; index < KindCount; ++index) {
        auto *radio = new QRadioButton(QLatin1String(BackupKinds[index].Item), BackupType);
        radio->setObjectName(QLatin1String(BackupKinds[index].Name));
        FTypes->addButton(radio, index);
        types->addWidget(radio);
    }
    connect(FTypes, &QButtonGroup::idClicked, this, &TBackupWizard::BackupTypeClick);
    row->addWidget(BackupType);

    auto *GroupBox1 = new QGroupBox(QStringLiteral("Description"), page);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *description = new QVBoxLayout(GroupBox1);
    Note = new QLabel(GroupBox1);
    Note->setObjectName(QStringLiteral("Note"));
    Note->setWordWrap(true);
    description->addWidget(Note);
    description->addStretch(1);
    row->addWidget(GroupBox1, 1);
    layout->addLayout(row);

    GroupZip = new QGroupBox(QStringLiteral("Encrypt"), page);
    GroupZip->setObjectName(QStringLiteral("GroupZip"));
    auto *zip = new QGridLayout(GroupZip);
    RadioButtonyes = new QRadioButton(QStringLiteral("Yes"), GroupZip);
    RadioButtonyes->setObjectName(QStringLiteral("RadioButtonyes"));
    RadioButtonyes->setChecked(true);
    RadioButtonNo = new QRadioButton(QStringLiteral("No"), GroupZip);
    RadioButtonNo->setObjectName(QStringLiteral("RadioButtonNo"));
    PasswordLabel = new QLabel(QStringLiteral("Password"), GroupZip);
    Password1Label = new QLabel(QStringLiteral("Confirm Password"), GroupZip);
    Password = new QLineEdit(GroupZip);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setEchoMode(QLineEdit::Password);
    Password1 = new QLineEdit(GroupZip);
    Password1->setObjectName(QStringLiteral("Password1"));
    Password1->setEchoMode(QLineEdit::Password);
    zip->addWidget(RadioButtonyes, 0, 0);
    zip->addWidget(RadioButtonNo, 0, 1);
    zip->addWidget(PasswordLabel, 1, 0);
    zip->addWidget(Password, 1, 1);
    zip->addWidget(Password1Label, 2, 0);
    zip->addWidget(Password1, 2, 1);
    layout->addWidget(GroupZip);
    connect(RadioButtonyes, &QRadioButton::toggled, this, &TBackupWizard::RadioButtonyesClick);

    auto *reset = new QPushButton(QStringLiteral("Reset Backup"), page);
    reset->setObjectName(QStringLiteral("btnResetBackup"));
    reset->setEnabled(false);
    btnResetBackup = reset;
    connect(reset, &QPushButton::clicked, this, &TBackupWizard::btnResetBackupClick);
    layout->addWidget(reset, 0, Qt::AlignLeft);
    layout->addStretch(1);
}

void TBackupWizard::BuildDestinationPage()
{
    QVBoxLayout *layout = AddPage(
        "TargatFolder", QStringLiteral("Where do you want to save your backup?"),
        QStringLiteral("Choose a folder you would like to save your backup? Or Click the New Folder to "
                       "create one."));
    stvDestination = new TNvShellTreeViewEx(Page("TargatFolder"));
    stvDestination->setObjectName(QStringLiteral("stvDestination"));
    stvDestination->SetCheckBoxes(false);
    stvDestination->SetShowHidden(ShowHidden());
    stvDestination->SetOnAddFolder([this](const TShellEntry &entry) { return ListedByDestination(entry); });
    layout->addWidget(stvDestination, 1);
    connect(stvDestination, &TNvShellTreeViewEx::SelectedPathChanged, this,
            [this](const QString &path) { DestinationChanged(path, *FSpace); });
}

void TBackupWizard::BuildSourcePage()
{
    QVBoxLayout *layout = AddPage("SourceFolderTab", QStringLiteral("What do you want to backup?"));
    QWidget *page = Page("SourceFolderTab");
    LabelTopNote = new QLabel(QStringLiteral("Choose the folders you would like to backup."), page);
    LabelTopNote->setObjectName(QStringLiteral("LabelTopNote"));
    LabelTopNote->setWordWrap(true);
    layout->addWidget(LabelTopNote);

    fpSpicialFolders = new QWidget(page);
    fpSpicialFolders->setObjectName(QStringLiteral("fpSpicialFolders"));
    auto *picks = new QGridLayout(fpSpicialFolders);
    picks->setContentsMargins(0, 0, 0, 0);
    FQuickButtons = new QButtonGroup(this);
    FQuickButtons->setExclusive(false);
    for (int index = 0; index < FQuickPicks.size(); ++index) {
        const TQuickPick &pick = FQuickPicks.at(index);
        auto *button = new QToolButton(fpSpicialFolders);
        button->setObjectName(QLatin1String(pick.Name));
        button->setText(pick.Caption);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        const QString folder = pick.Folder.isEmpty() ? QStringLiteral("(not on this computer)") : pick.Folder;
        button->setToolTip(pick.Application.isEmpty()
                               ? folder
                               : QStringLiteral("%1 data: %2").arg(pick.Application, folder));
        FQuickButtons->addButton(button, index);
        picks->addWidget(button, index / 5, index % 5);
    }
    connect(FQuickButtons, &QButtonGroup::buttonToggled, this, [this](QAbstractButton *button, bool pressed) {
        if (button->property("syncing").toBool())
            return;
        BtnSpicialFoldersClick(button, pressed);
    });
    layout->addWidget(fpSpicialFolders);

    auto *row = new QHBoxLayout;
    stvPC = new TNvShellTreeViewEx(page);
    stvPC->setObjectName(QStringLiteral("stvPC"));
    stvPC->SetSelectFiles(true);
    stvPC->SetShowHidden(ShowHidden());
    stvPC->SetDesktopCaptions(QStringLiteral("My Computer"), QStringLiteral("Local PC"));
    stvPC->SetOnAddFolder([this](const TShellEntry &entry) { return ListedBySource(entry); });
    row->addWidget(stvPC, 3);
    FSpace = new TSpaceInfoBox(QStringLiteral("Backup drive information"), page);
    FSpace->setObjectName(QStringLiteral("BackupDriveInformation"));
    row->addWidget(FSpace, 2);
    layout->addLayout(row, 1);
    connect(stvPC, &TNvShellTreeViewEx::FileSizeChanged, this, &TBackupWizard::stvPCFileSize);
    connect(stvPC, &TNvShellTreeViewEx::CheckChanged, this, [this] {
        if (stvPC->Counting())
            FSpace->SetCounting();
        UpdateQuickPicks();
    });
    connect(stvPC, &TNvShellTreeViewEx::SelectedPathChanged, this, [this] { UpdateButtons(); });
}

bool TBackupWizard::ListedBySource(const TShellEntry &entry) const
{
    // A backup to the stick never takes a USB drive as its source; one from
    // a stick is rooted at that stick and lists everything on it.
    return !IsUsbDriveEntry(entry);
}

bool TBackupWizard::ListedByDestination(const TShellEntry &entry) const
{
    // A backup from a USB drive goes to a drive of the computer.
    return !(ArchiveData().ArchiveDir() == amUsbToPc && IsUsbDriveEntry(entry));
}

void TBackupWizard::PrepareArchiveJob()
{
    TArchiveData &job = ArchiveData();
    const QString jobRoot = ExtractFileDrive(FileName()) + QStringLiteral("\\");
    fpSpicialFolders->setVisible(job.ArchiveDir() == amPcToUsb);
    if (job.ArchiveDir() == amUsbToPc) {
        stvDestination->SetRootDesktop();
        if (!job.Destination().isEmpty())
            stvDestination->SelectPath(job.Destination());
    } else {
        stvDestination->SetRootFolder(jobRoot);
        const QString destination =
            job.Destination().isEmpty() ? jobRoot : OnDrive(job.Destination(), ExtractFileDrive(jobRoot));
        if (!stvDestination->SelectPath(destination))
            stvDestination->SelectPath(jobRoot);
    }
    if (job.ArchiveDir() == amPcToUsb)
        LabelTopNote->setText(PcToUsbNote);

    BackupName->setText(job.BackupName());
    const int kind = std::clamp(job.BackupSystem(), 0, KindCount - 1);
    FTypes->button(kind)->setChecked(true);
    Password->setText(job.Password());
    Password1->setText(job.Password());
    // The password of an encrypted job cannot be changed: its archives keep it.
    const bool passwordFree = New() || job.Password().isEmpty();
    RadioButtonyes->setEnabled(passwordFree);
    RadioButtonNo->setEnabled(passwordFree);
    if (!New())
        (job.Password().isEmpty() ? RadioButtonNo : RadioButtonyes)->setChecked(true);
    // The type of a job cannot change once it was made.
    BackupType->setEnabled(New());
    BackupTypeClick();
    RadioButtonyesClick();
    PattenChnage = true;
}

void TBackupWizard::BackupTypeClick()
{
    const int index = std::max(0, FTypes->checkedId());
    GroupZip->setVisible(BackupKinds[index].Type == atImage);
    Note->setText(QLatin1String(BackupKinds[index].Description));
    btnResetBackup->setEnabled(!New() && BackupKinds[index].Mode == amTimeStampedIncremental);
}

void TBackupWizard::RadioButtonyesClick()
{
    const bool enabled = RadioButtonyes->isEnabled() && RadioButtonyes->isChecked();
    for (QWidget *widget : {static_cast<QWidget *>(Password), static_cast<QWidget *>(Password1),
                            static_cast<QWidget *>(PasswordLabel), static_cast<QWidget *>(Password1Label)})
        widget->setEnabled(enabled);
}

void TBackupWizard::btnResetBackupClick()
{
    if (!HasJobDatabase(FileName()))
        return;
    if (ShowYesNoDialog(QStringLiteral("This action will reset the backup job. do you want to continue ?"),
                        QStringLiteral("Reset backup."), ProgramTitle, mtConfirmation, false) != mrYes)
        return;
    try {
        ResetBackupJob(FileName());
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Reset backup."), ProgramTitle, mtError);
    }
}

bool TBackupWizard::TakeSettings()
{
    TArchiveData &job = ArchiveData();
    job.SetBackupName(BackupName->text().trimmed() == NamePlaceholder ? QString()
                                                                      : BackupName->text().trimmed());
    const int index = std::max(0, FTypes->checkedId());
    job.SetBackupSystem(index);
    job.SetArchiveMode(BackupKinds[index].Mode);
    job.SetArchiveType(BackupKinds[index].Type);
    if (job.ArchiveType() == atImage && RadioButtonyes->isChecked() && RadioButtonyes->isEnabled()) {
        if (Password->text() != Password1->text()) {
            ShowInfoDialog(
                QStringLiteral("Password you entered does not match. Please reenter the password."),
                QStringLiteral("Password Mismatch"), ProgramTitle, mtWarning);
            return false;
        }
        if (Password->text().isEmpty()) {
            ShowInfoDialog(QStringLiteral("Password not set. Please enter a the password."),
                           QStringLiteral("No Password"), ProgramTitle, mtWarning);
            return false;
        }
    }
    // "No" leaves a new job unencrypted whatever was typed; an existing
    // job's password cannot be edited, so its own text stays.
    job.SetPassword(job.ArchiveType() == atImage && RadioButtonyes->isChecked() ? Password->text()
                                                                                : QString());
    PrepareSourceTree();
    return true;
}

void TBackupWizard::PrepareSourceTree()
{
    // Rooted once: going back to the first page must not lose the marks.
    if (FSourceTreeReady)
        return;
    FSourceTreeReady = true;
    const TArchiveData &job = ArchiveData();
    QString sourceDrive;
    if (job.ArchiveDir() == amUsbToPc)
        sourceDrive = BackUpDrive();
    else if (job.ArchiveDir() == amUsbToUSB)
        // An edited job names its source drive only through its folders.
        sourceDrive = !FSourceDrive.isEmpty()       ? FSourceDrive
                      : !job.FolderList().isEmpty() ? ExtractFileDrive(job.FolderList().constFirst())
                                                    : QString();
    if (sourceDrive.isEmpty() || sourceDrive.startsWith(QLatin1String("\\\\"))) {
        stvPC->SetRootDesktop();
    } else {
        stvPC->SetRootSellectOK(true);
        stvPC->SetRootFolder(sourceDrive + QStringLiteral("\\"));
    }
}

bool TBackupWizard::TakeOverPage(const QString &page)
{
    TArchiveData &job = ArchiveData();
    if (page == QLatin1String("TabSheet2"))
        return TakeSettings();
    if (page == QLatin1String("TargatFolder"))
        return TakeDestination(*stvDestination, *FSpace);
    if (page == QLatin1String("SourceFolderTab")) {
        job.SetExcludeList(stvPC->ExcludeList());
        job.SetFolderList(stvPC->IncludeList());
        if (job.FolderList().isEmpty()) {
            ShowInfoDialog(QStringLiteral("Choose at least one folder or file to back up."),
                           QStringLiteral("Nothing Selected"), ProgramTitle, mtWarning);
            return false;
        }
        return CheckFolders();
    }
    if (page == QLatin1String("Exclude"))
        FilterPage()->TakeFilter(*job.FileFilter());
    return true;
}

void TBackupWizard::PageShown(const QString &page)
{
    if (page == QLatin1String("TabSheet2"))
        BackupTypeClick();
    if (page == QLatin1String("SourceFolderTab"))
        SourceFolderTabShow();
}

void TBackupWizard::SourceFolderTabShow()
{
    if (!PattenChnage) {
        stvPCFileSize();
        return;
    }
    PattenChnage = false;
    const auto busy = TBusyDialog::Execute(this);
    const QStringList missing =
        stvPC->LoadFromDataList(ArchiveData().FolderList(), ArchiveData().ExcludeList());
    if (!missing.isEmpty())
        ShowInfoDialog(QStringLiteral("Folder skiped because it is not found on local disk.\r\n") +
                           missing.join(QStringLiteral("\r\n")),
                       ProgramTitle, QStringLiteral("Folder Not Found"), mtError);
    if (stvPC->Counting())
        FSpace->SetCounting();
    UpdateQuickPicks();
}

void TBackupWizard::UpdateQuickPicks()
{
    const bool showHidden = ShowHidden();
    for (int index = 0; index < FQuickPicks.size(); ++index) {
        QAbstractButton *button = FQuickButtons->button(index);
        const QString &folder = FQuickPicks.at(index).Folder;
        button->setProperty("syncing", true);
        button->setEnabled(!folder.isEmpty() && TFolderPaths::IsFolderUsable(folder, showHidden));
        button->setChecked(!folder.isEmpty() && stvPC->isClick(folder));
        button->setProperty("syncing", false);
    }
}

void TBackupWizard::BtnSpicialFoldersClick(QAbstractButton *button, bool pressed)
{
    const QString folder = FQuickPicks.value(FQuickButtons->id(button)).Folder;
    try {
        stvPC->ClickFolder(folder, pressed);
    } catch (const EFolderNotFound &) {
        ShowInfoDialog(
            QStringLiteral("Folder not found on local disk.\r\nMost common likely Folder is hidden or you "
                           "not have read access to this folder.\r\n") +
                folder,
            ProgramTitle, QStringLiteral("Folder Not Found"), mtError);
    }
    UpdateQuickPicks();
}

void TBackupWizard::stvPCFileSize()
{
    if (stvPC->Counting())
        FSpace->SetCounting();
    else
        FSpace->SetRequired(stvPC->FileSize(), stvPC->FileCount(), stvPC->FolderCount());
}

TNvShellTreeViewEx *TBackupWizard::FolderTreeOf(const QString &page) const
{
    if (page == QLatin1String("TargatFolder"))
        return stvDestination;
    if (page == QLatin1String("SourceFolderTab"))
        return stvPC;
    return nullptr;
}

} // namespace trovalo
