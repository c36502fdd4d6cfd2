#include "wizards/WizardWindow.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "console/NewDrive.h"
#include "model/ProgramIdentity.h"
#include "wizards/ExcludeFilterPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace trovalo {

TWizardWindow::TWizardWindow(const QString &objectName, const QString &caption)
    : TWizardForm(objectName, caption)
{
    BtnSave = new QPushButton(QStringLiteral("Save"), this);
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    BtnSave->setEnabled(false);
    ButtonRow()->insertWidget(ButtonRow()->indexOf(BtnCancle), BtnSave);
    connect(BtnSave, &QPushButton::clicked, this, [this] { BtnSaveClick(); });
}

TWizardWindow::~TWizardWindow() = default;

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

void TWizardWindow::SetFileName(const QString &fileName)
{
    FFileName = fileName;
    if (!FNew)
        LoadJobAsking([&] { return LoadJob(fileName); });
    else
        InitNewJob();
    FFilterPage->ShowFilter(JobFilter());
    PrepareJob();
    ShowPage(0);
}

void TWizardWindow::UpdateButtons()
{
    TWizardForm::UpdateButtons();
    BtnSave->setEnabled(PageIndex() == PageCount() - 1);
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
    if (TNewDrive *console = DriveForm())
        console->StartSearch();
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
        controller->RunFile(FFileName, DriveForm() ? DriveForm()->ThreadState() : nullptr, -1, false);
    close();
}

} // namespace trovalo
