#include "wizards/WizardWindow.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "console/NewDrive.h"
#include "dialogs/InputBox.h"
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

TWizardWindow::TWizardWindow(const QString &objectName, const QString &caption)
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

    connect(btnNext, &QPushButton::clicked, this, &TWizardWindow::btnNextClick);
    connect(btnBack, &QPushButton::clicked, this, &TWizardWindow::btnBackClick);
    connect(BtnSave, &QPushButton::clicked, this, [this] { BtnSaveClick(); });
    connect(BtnCancle, &QPushButton::clicked, this, &QWidget::close);
    connect(NewFolder, &QPushButton::clicked, this, &TWizardWindow::NewFolderClick);

    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->AddViewForm(this);
}

TWizardWindow::~TWizardWindow()
{
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->FreeViewForm(this);
    if (FDriveForm)
        FDriveForm->RemoveSubForm(this);
}

void TWizardWindow::SetDriveForm(TNewDrive *console)
{
    FDriveForm = console;
    if (console)
        console->AddSubForm(this);
}

TNewDrive *TWizardWindow::DriveForm() const
{
    return FDriveForm;
}

QString TWizardWindow::PCID() const
{
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        return controller->PCID();
    return ComputePCID();
}

bool TWizardWindow::ShowHidden() const
{
    TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    return controller && controller->ProgramData().ShowHidden();
}

QVBoxLayout *TWizardWindow::AddPage(const char *name, const QString &heading, const QString &prompt)
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

void TWizardWindow::AddFilterPage()
{
    QVBoxLayout *layout = AddPage("Exclude", QStringLiteral("Do you want to filter the files? "));
    FFilterPage = new TExcludeFilterPage(Page("Exclude"));
    layout->addWidget(FFilterPage, 1);
}

void TWizardWindow::AddFinishPage(const QString &text)
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
    connect(BtnSaveandRun, &QPushButton::clicked, this, &TWizardWindow::BtnRunClick);
}

QWidget *TWizardWindow::Page(const char *name) const
{
    return FPages->findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

bool TWizardWindow::OnPage(const char *name) const
{
    return PageName() == QLatin1String(name);
}

QString TWizardWindow::PageName() const
{
    return FPages->currentWidget() ? FPages->currentWidget()->objectName() : QString();
}

int TWizardWindow::PageIndex() const
{
    return FPages->currentIndex();
}

void TWizardWindow::SetFileName(const QString &fileName)
{
    FFileName = fileName;
    if (!FNew) {
        QString jobPcId;
        try {
            jobPcId = LoadJob(fileName);
        } catch (const ETrovaloError &) {
            ShowInfoDialog(QStringLiteral("The file format is unknown."),
                           QStringLiteral("Invalied File Format."), ProgramTitle, mtError);
            throw EAbortByUser();
        }
        if (jobPcId != PCID() &&
            ShowYesNoDialog(QStringLiteral("You have selected backup settings that belong to a deferent pc. "
                                           "Continue using this settings might cause data corruption. Do you "
                                           "want to Continue?"),
                            QStringLiteral("Load Backup"), ProgramTitle, mtWarning, false) != mrYes)
            throw EAbortByUser();
    } else {
        InitNewJob();
    }
    FFilterPage->ShowFilter(JobFilter());
    PrepareJob();
    ShowPage(0);
}

void TWizardWindow::ShowPage(int index)
{
    FPages->setCurrentIndex(index);
    PageShown(PageName());
    UpdateButtons();
}

void TWizardWindow::PageShown(const QString &)
{}

bool TWizardWindow::NextAllowed(const QString &) const
{
    return true;
}

void TWizardWindow::UpdateButtons()
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

void TWizardWindow::btnNextClick()
{
    if (FPages->currentIndex() >= FPages->count() - 1 || !TakeOverPage(PageName()))
        return;
    ShowPage(FPages->currentIndex() + 1);
}

void TWizardWindow::btnBackClick()
{
    if (FPages->currentIndex() > 0)
        ShowPage(FPages->currentIndex() - 1);
}

bool TWizardWindow::IsUsbDriveEntry(const TShellEntry &entry)
{
    return entry.Kind == TShellEntry::Drive && entry.Level > 0 &&
           TDriveInterfaceType::Instance().GetInterfaceType(entry.DriveLetter) == QLatin1String("USB");
}

bool TWizardWindow::BtnSaveClick()
{
    try {
        SaveJob();
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

void TWizardWindow::BtnRunClick()
{
    MarkRunStart();
    if (!BtnSaveClick())
        return;
    if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
        controller->RunFile(FFileName, FDriveForm ? FDriveForm->ThreadState() : nullptr, -1, false);
    close();
}

void TWizardWindow::NewFolderClick()
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
