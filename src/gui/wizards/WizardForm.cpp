#include "wizards/WizardForm.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "control/ArchiveJobLauncher.h"
#include "dialogs/InputBox.h"
#include "model/ArchiveData.h"
#include "model/ProgramData.h"
#include "model/ProgramIdentity.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/DriveInterfaceType.h"
#include "platform/FileSystem.h"
#include "platform/VolumeInfo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>

namespace trovalo {

TWizardForm::TWizardForm(const QString &objectName, const QString &caption)
    : QWidget(nullptr, Qt::Window)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 600);

    auto *layout = new QVBoxLayout(this);
    FPages = new QStackedWidget(this);
    FPages->setObjectName(QStringLiteral("Pages"));
    layout->addWidget(FPages, 1);

    FButtons = new QHBoxLayout;
    const auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        FButtons->addWidget(b);
        return b;
    };
    NewFolder = button("NewFolder", QStringLiteral("New Folder"));
    FButtons->addStretch(1);
    btnBack = button("btnBack", QStringLiteral("Back"));
    btnNext = button("btnNext", QStringLiteral("Next"));
    BtnCancle = button("BtnCancle", QStringLiteral("Close"));
    layout->addLayout(FButtons);
    NewFolder->hide();
    NewFolder->setEnabled(false);
    btnBack->setEnabled(false);
    btnNext->setDefault(true);

    connect(btnNext, &QPushButton::clicked, this, &TWizardForm::btnNextClick);
    connect(btnBack, &QPushButton::clicked, this, &TWizardForm::btnBackClick);
    connect(BtnCancle, &QPushButton::clicked, this, &QWidget::close);
    connect(NewFolder, &QPushButton::clicked, this, &TWizardForm::NewFolderClick);

    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->AddViewForm(this);
}

TWizardForm::~TWizardForm()
{
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->FreeViewForm(this);
    if (FDriveForm)
        FDriveForm->RemoveSubForm(this);
}

void TWizardForm::SetDriveForm(TNewDrive *console)
{
    FDriveForm = console;
    if (console)
        console->AddSubForm(this);
}

TNewDrive *TWizardForm::DriveForm() const
{
    return FDriveForm;
}

QString TWizardForm::PCID() const
{
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        return controller->PCID();
    return ComputePCID();
}

bool TWizardForm::ShowHidden() const
{
    TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    return controller && controller->ProgramData().ShowHidden();
}

void TWizardForm::LoadJobAsking(TArchiveData &job, const QString &fileName) const
{
    LoadJobAsking([&] {
        TArchiveJobLauncher::LoadJob(job, fileName);
        return job.PCID();
    });
}

bool TWizardForm::IsUsbDriveEntry(const TShellEntry &entry)
{
    return entry.Kind == TShellEntry::Drive && entry.Level > 0 &&
           TDriveInterfaceType::Instance().GetInterfaceType(entry.DriveLetter) == QLatin1String("USB");
}

void TWizardForm::LoadJobAsking(const std::function<QString()> &load) const
{
    QString jobPcId;
    try {
        jobPcId = load();
    } catch (const ETrovaloError &) {
        ShowInfoDialog(QStringLiteral("The file format is unknown."), QStringLiteral("Invalied File Format."),
                       ProgramTitle, mtError);
        throw EAbortByUser();
    }
    if (jobPcId != PCID() &&
        ShowYesNoDialog(QStringLiteral("You have selected backup settings that belong to a deferent pc. "
                                       "Continue using this settings might cause data corruption. Do you "
                                       "want to Continue?"),
                        QStringLiteral("Load Backup"), ProgramTitle, mtWarning, false) != mrYes)
        throw EAbortByUser();
}

QVBoxLayout *TWizardForm::AddPage(const char *name, const QString &heading, const QString &prompt)
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

QWidget *TWizardForm::Page(const char *name) const
{
    return FPages->findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

bool TWizardForm::OnPage(const char *name) const
{
    return PageName() == QLatin1String(name);
}

int TWizardForm::PageCount() const
{
    return FPages->count();
}

QString TWizardForm::PageName() const
{
    return FPages->currentWidget() ? FPages->currentWidget()->objectName() : QString();
}

int TWizardForm::PageIndex() const
{
    return FPages->currentIndex();
}

void TWizardForm::ShowPage(int index)
{
    FPages->setCurrentIndex(index);
    PageShown(PageName());
    UpdateButtons();
}

void TWizardForm::PageShown(const QString &)
{}

bool TWizardForm::NextAllowed(const QString &) const
{
    return true;
}

void TWizardForm::UpdateButtons()
{
    const int index = FPages->currentIndex();
    const bool last = index == FPages->count() - 1;
    btnBack->setEnabled(index > 0);
    btnNext->setEnabled(!last && NextAllowed(PageName()));
    const TNvShellTreeViewEx *tree = FolderTreeOf(PageName());
    NewFolder->setVisible(tree != nullptr);
    NewFolder->setEnabled(tree && tree->isEnabled() && !tree->SelectedPath().isEmpty() &&
                          DirectoryExists(tree->SelectedPath()));
}

void TWizardForm::btnNextClick()
{
    if (FPages->currentIndex() >= FPages->count() - 1 || !TakeOverPage(PageName()))
        return;
    ShowPage(FPages->currentIndex() + 1);
}

void TWizardForm::btnBackClick()
{
    if (FPages->currentIndex() > 0)
        ShowPage(FPages->currentIndex() - 1);
}

void TWizardForm::NewFolderClick()
{
    TNvShellTreeViewEx *tree = FolderTreeOf(PageName());
    if (!tree || !tree->isEnabled())
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
