#include "options/OptionForm.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/DeletedFolderEmptying.h"
#include "control/ProtectionFolderRule.h"
#include "control/StartUp.h"
#include "model/ProgramData.h"
#include "model/ProgramIdentity.h"
#include "options/DeletedSizeDisplay.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/AppPaths.h"
#include "platform/AutostartEntry.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaEnum>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace trovalo {

namespace {

constexpr int SmallestLimit = 100;
constexpr int LargestLimit = 6000000;
constexpr int LimitStep = 100;

const QString EmptyTitle = QStringLiteral("Delete Files?");

QLabel *NamedLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

void SetTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

TOptionForm::TOptionForm(TDataModuleQuillonSuite &Controller, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , FController(Controller)
    , FTimer1(new QTimer(this))
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("Options"));
    try {
        FDataFolder = AppDataFolder();
    } catch (const ETrovaloError &) {
        // Without a drive-letter form nothing can lie inside it either.
    }

    auto *layout = new QVBoxLayout(this);
    QLabel *heading = NamedLabel("Heading", QStringLiteral("Options "), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    auto *columns = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(BuildGeneralGroup());
    left->addWidget(BuildScheduleGroup());
    left->addStretch(1);
    columns->addLayout(left);
    columns->addWidget(BuildProtectionGroup(), 1);
    layout->addLayout(columns, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(
        NamedLabel("Tips", QStringLiteral("Tips: Click the save button after the setting changes. "), this),
        1);
    SaveBtn = new QPushButton(QStringLiteral("Save"), this);
    SaveBtn->setObjectName(QStringLiteral("SaveBtn"));
    connect(SaveBtn, &QPushButton::clicked, this, &TOptionForm::SaveBtnClick);
    bottom->addWidget(SaveBtn);
    layout->addLayout(bottom);
    resize(780, 540);

    FTimer1->setObjectName(QStringLiteral("Timer1"));
    FTimer1->setInterval(UsedSizeInterval);
    connect(FTimer1, &QTimer::timeout, this, &TOptionForm::Timer1Timer);
    RefeechBtnClick();
    FTimer1->start();
}

TOptionForm::~TOptionForm() = default;

QCheckBox *TOptionForm::AddCheckBox(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    parent->layout()->addWidget(box);
    return box;
}

QGroupBox *TOptionForm::BuildGeneralGroup()
{
    auto *group = new QGroupBox(QStringLiteral("General"), this);
    group->setObjectName(QStringLiteral("General"));
    new QVBoxLayout(group);
    EnableMini = AddCheckBox("EnableMini", QStringLiteral("Enable mini window"), group);
    ShowHiddenFiles = AddCheckBox("ShowHiddenFiles", QStringLiteral("Display hidden files"), group);
    DriveAutoRun =
        AddCheckBox("DriveAutoRun", QStringLiteral("Auto start when USB drive is inserted "), group);
    checkupdate = AddCheckBox("checkupdate", QStringLiteral("Check for update on startup"), group);
    ChkStartup = AddCheckBox("ChkStartup", QStringLiteral("Enable launch at windows startup"), group);
    // A click by the user only: the state set from the entry is not one.
    connect(ChkStartup, &QCheckBox::clicked, this, &TOptionForm::ChkStartupClick);
    return group;
}

QGroupBox *TOptionForm::BuildScheduleGroup()
{
    cbSchMode = new QGroupBox(QStringLiteral("Miss scheduled jobs"), this);
    cbSchMode->setObjectName(QStringLiteral("cbSchMode"));
    auto *layout = new QVBoxLayout(cbSchMode);
    FSchModeItems = new QButtonGroup(cbSchMode);
    const std::pair<TScheduleRunMode, const char *> items[] = {
        {srmAsk, "Show notification"}, {srmNext, "Run as USB disk insertion"}, {srmSkip, "Skip"}};
    for (const auto &[mode, caption] : items) {
        auto *item = new QRadioButton(QLatin1String(caption), cbSchMode);
        item->setObjectName(QLatin1String(QMetaEnum::fromType<TScheduleRunMode>().valueToKey(mode)));
        FSchModeItems->addButton(item, mode);
        layout->addWidget(item);
    }
    return cbSchMode;
}

QGroupBox *TOptionForm::BuildProtectionGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Deleted File Protection"), this);
    group->setObjectName(QStringLiteral("Protection"));
    auto *layout = new QVBoxLayout(group);
    cbMoveToDelete = AddCheckBox("cbMoveToDelete",
                                 QStringLiteral("Save previous versions of deleted / replaced files"), group);

    auto *limit = new QHBoxLayout;
    seMaxDeleteSize = new QSpinBox(group);
    seMaxDeleteSize->setObjectName(QStringLiteral("seMaxDeleteSize"));
    seMaxDeleteSize->setRange(SmallestLimit, LargestLimit);
    seMaxDeleteSize->setSingleStep(LimitStep);
    seMaxDeleteSize->setValue(SmallestLimit);
    connect(seMaxDeleteSize, &QSpinBox::valueChanged, this, &TOptionForm::seMaxDeleteSizeChange);
    lblWarning =
        NamedLabel("lblWarning",
                   QStringLiteral("Warning when the Deleted File Protection Folder is over 100 MB "), group);
    limit->addWidget(seMaxDeleteSize);
    limit->addWidget(lblWarning, 1);
    layout->addLayout(limit);

    ShellTreeView1 = new TNvShellTreeViewEx(group);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->SetCheckBoxes(false);
    ShellTreeView1->SetCalcFileSize(false);
    ShellTreeView1->SetShowHidden(true);
    ShellTreeView1->SetRootDesktop();
    connect(ShellTreeView1, &TNvShellTreeViewEx::SelectedPathChanged, this,
            &TOptionForm::ShellTreeView1Change);
    layout->addWidget(ShellTreeView1, 1);
    Label4 = NamedLabel("Label4", QString(), group);
    Label4->setTextFormat(Qt::PlainText);
    Label4->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Label4);
    lblFolderRefused = NamedLabel("lblFolderRefused", QString(), group);
    lblFolderRefused->setTextFormat(Qt::PlainText);
    lblFolderRefused->setWordWrap(true);
    SetTextColor(lblFolderRefused, QColor(255, 0, 128));
    lblFolderRefused->hide();
    layout->addWidget(lblFolderRefused);

    auto *used = new QHBoxLayout;
    Label1 = NamedLabel("Label1", QStringLiteral("Used Size (MB) :"), group);
    UsedSize = NamedLabel("UsedSize", UsedSizeText(0), group);
    QFont usedFont = UsedSize->font();
    usedFont.setBold(true);
    UsedSize->setFont(usedFont);
    BtnDeleteDeleted = new QPushButton(QStringLiteral("Empty Deleted File Protection folder"), group);
    BtnDeleteDeleted->setObjectName(QStringLiteral("BtnDeleteDeleted"));
    connect(BtnDeleteDeleted, &QPushButton::clicked, this, &TOptionForm::BtnDeleteDeletedClick);
    used->addWidget(Label1);
    used->addWidget(UsedSize);
    used->addStretch(1);
    used->addWidget(BtnDeleteDeleted);
    layout->addLayout(used);
    return group;
}

void TOptionForm::RefeechBtnClick()
{
    const TProgramData &settings = FController.ProgramData();
    EnableMini->setChecked(settings.MiniWindows());
    ShowHiddenFiles->setChecked(settings.ShowHidden());
    DriveAutoRun->setChecked(settings.DriveAutoRun());
    checkupdate->setChecked(settings.CheckForUpdates());
    if (QAbstractButton *item = FSchModeItems->button(settings.ScheduleRunMode()))
        item->setChecked(true);
    cbMoveToDelete->setChecked(settings.MoveToDeleted());
    seMaxDeleteSize->setValue(
        int(std::clamp<qint64>(BytesToMegabytes(settings.MaxDeletedSize()), SmallestLimit, LargestLimit)));

    const QString folder = IncludeTrailingBackslash(settings.DeletedFolder());
    Label4->setText(folder);
    ShowFolderRefusal(ProtectionFolderRefusal(folder, FDataFolder).value_or(QString()));
    if (!DirectoryExists(folder) && ForceFolder(folder))
        ShellTreeView1->RefreshSelected();
    ShellTreeView1->SelectPath(folder);

    FController.TimerAlertTimer();
    Timer1Timer();
}

void TOptionForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // Changing the box here counts as a click: an entry that is there is
    // written again, with the path of the program that runs now.
    const bool enabled = AutostartEnabled();
    if (ChkStartup->isChecked() != enabled) {
        ChkStartup->setChecked(enabled);
        ChkStartupClick();
    }
}

void TOptionForm::ChkStartupClick()
{
    QString error;
    const bool done =
        ChkStartup->isChecked() ? EnableAutostart(ExecutableFilePath(), &error) : DisableAutostart(&error);
    ChkStartup->setChecked(AutostartEnabled());
    if (!done)
        ShowInfoDialog(QStringLiteral("The start with your log-on could not be changed.\n") + error,
                       QStringLiteral("Launch at Startup"), ProgramTitle, mtError);
}

void TOptionForm::seMaxDeleteSizeChange()
{
    lblWarning->setText(LimitWarningText(seMaxDeleteSize->value()));
    Timer1Timer();
}

void TOptionForm::ShellTreeView1Change(const QString &Path)
{
    if (Path.isEmpty() || !DirectoryExists(Path))
        return;
    const QString folder = IncludeTrailingBackslash(Path);
    const std::optional<QString> refusal = ProtectionFolderRefusal(folder, FDataFolder);
    ShowFolderRefusal(refusal.value_or(QString()));
    if (!refusal)
        Label4->setText(folder);
}

void TOptionForm::ShowFolderRefusal(const QString &reason)
{
    lblFolderRefused->setText(reason);
    lblFolderRefused->setVisible(!reason.isEmpty());
}

void TOptionForm::Timer1Timer()
{
    const qint64 used = FController.DeleteUsedFileSize();
    UsedSize->setText(UsedSizeText(used));
    SetTextColor(UsedSize, UsedSizeColor(used, MegabytesToBytes(seMaxDeleteSize->value())));
}

void TOptionForm::BtnDeleteDeletedClick()
{
    const QString folder = FController.ProgramData().DeletedFolder();
    if (const std::optional<QString> refusal = ProtectionFolderRefusal(folder, FDataFolder)) {
        ShowInfoDialog(*refusal + QStringLiteral("\nNothing was deleted. Choose another folder and save the "
                                                 "settings first."),
                       EmptyTitle, ProgramTitle, mtWarning);
        return;
    }
    if (ShowYesNoDialog(QStringLiteral("Are you sure u want to delete all files in deleted files folder?\n"
                                       "Folder : ") +
                            folder,
                        EmptyTitle, ProgramTitle, mtConfirmation, false) != mrYes)
        return;
    TProgramDatabase *database = FController.ProgramDatabase();
    if (!database) {
        ShowInfoDialog(QStringLiteral("The program database is not open, so the deleted files it records "
                                      "cannot be told apart from other files. Nothing was deleted."),
                       EmptyTitle, ProgramTitle, mtError);
        return;
    }
    try {
        const TDeletedFolderEmptying emptying = EmptyDeletedFolder(folder, *database, FDataFolder);
        if (!emptying.Kept.isEmpty())
            ShowInfoDialog(QStringLiteral("Only the folders that deletion protection made were deleted. "
                                          "These entries stay in ") +
                               folder + QStringLiteral(":\n") + emptying.KeptLines(),
                           QStringLiteral("Files Kept"), ProgramTitle, mtInformation);
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), EmptyTitle, ProgramTitle, mtError);
    }
    FController.TimerAlertTimer();
    Timer1Timer();
}

void TOptionForm::SaveBtnClick()
{
    TProgramData &settings = FController.ProgramData();
    settings.SetMiniWindows(EnableMini->isChecked());
    settings.SetShowHidden(ShowHiddenFiles->isChecked());
    settings.SetDriveAutoRun(DriveAutoRun->isChecked());
    settings.SetCheckForUpdates(checkupdate->isChecked());
    if (FSchModeItems->checkedId() >= 0)
        settings.SetScheduleRunMode(TScheduleRunMode(FSchModeItems->checkedId()));
    settings.SetMoveToDeleted(cbMoveToDelete->isChecked());
    settings.SetMaxDeletedSize(MegabytesToBytes(seMaxDeleteSize->value()));
    settings.SetDeletedFolder(Label4->text());
    try {
        SaveToFile(settings, TStartUp::SettingsFileName());
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(QStringLiteral("The settings are in effect until the program ends, but they could not "
                                      "be saved.\n") +
                           error.Message(),
                       QStringLiteral("Save Settings"), ProgramTitle, mtError);
    }
}

} // namespace trovalo
