#include "console/NewDrive.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "console/JobListStyle.h"
#include "control/ArchiveJobEditing.h"
#include "control/JobDeletion.h"
#include "control/ScheduleLookup.h"
#include "dialogs/RatioBoxEx.h"
#include "drives/SafeRemoval.h"
#include "drives/USBSelect.h"
#include "engine/SearchDrive.h"
#include "model/ArchiveData.h"
#include "model/ProgramIdentity.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/VolumeInfo.h"
#include "progress/ThreadStatuesFrame.h"
#include "schedules/ScheduleForm.h"
#include "wizards/BackupWizard.h"
#include "wizards/MoveWizard.h"
#include "wizards/RestoreWizard.h"
#include "wizards/SyncWizard.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

namespace trovalo {

namespace {

const QString ErrorLoadingData = QStringLiteral("<Error Loading Data>");
const QString JobListTip = QStringLiteral("Tips : Click a button on the top to create a new job.");
const QString JobTabTip =
    QStringLiteral("Tips:Check the \"Auto close after job completed\" if you don't want to "
                   "manually close the current tab after the job is completed.");

// Columns of the job list.
enum TJobColumn { jcType = 0, jcName, jcFile, jcLastRun, jcPCID, jcCount };

QList<TNewDrive *> &Consoles()
{
    static QList<TNewDrive *> consoles;
    return consoles;
}

// Hands a search's reports to the console's thread. Every report is posted
// to the same receiver, so they arrive in the order they were made, the end
// of the search last; nothing arrives once the console is gone.
class TSearchReports final : public TWorkerObserver
{
public:
    using THandler = std::function<void(const QString &)>;

    TSearchReports(QObject *context, THandler status, THandler error, THandler finished)
        : FContext(context)
        , FStatus(std::move(status))
        , FError(std::move(error))
        , FFinished(std::move(finished))
    {}

    void OnStatuesChange(TThreadBase &, const TStatusReport &report) override
    {
        Post(FStatus, report.StatusMsg);
    }
    void OnError(TThreadBase &, const QString &statusMsg, int) override { Post(FError, statusMsg); }
    void OnFileProsess(TThreadBase &, double, const QString &) override {}
    void OnLog(TThreadBase &, const QString &, const QString &, const QString &, TEvent) override {}
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &, const QString &) override { return ldaAbort; }
    void OnFinished(TThreadBase &, const TRunOutcome &) override { Post(FFinished, QString()); }

private:
    void Post(const THandler &handler, const QString &text)
    {
        QMetaObject::invokeMethod(
            FContext, [handler, text] { handler(text); }, Qt::QueuedConnection);
    }

    QObject *FContext;
    THandler FStatus, FError, FFinished;
};

// Sorted by type text, as the list always is; a new row goes after the rows
// of the same type, so rows of one type keep the order they were found in.
int InsertPosition(const QTreeWidget &list, const QString &type)
{
    int position = list.topLevelItemCount();
    while (position > 0 &&
           QString::compare(list.topLevelItem(position - 1)->text(jcType), type, Qt::CaseInsensitive) > 0)
        --position;
    return position;
}

// Where the drive lives on this computer, so a Linux user sees which stick
// the console belongs to.
QString DriveRootText(const QString &driveLetter)
{
    const QString drive = ExtractFileDrive(driveLetter);
    if (drive.size() != 2)
        return driveLetter;
    const std::optional<TDriveInfo> info = TDriveTable::Instance().Drive(drive.at(0).toUpper());
    if (!info)
        return driveLetter;
    QString text = QStringLiteral("Drive %1 is %2").arg(driveLetter, info->Root);
    if (!info->Label.isEmpty())
        text += QStringLiteral(" (%1)").arg(info->Label);
    return text;
}

QPushButton *MakeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QAction *MakeAction(const QString &name, const QString &caption, QObject *parent)
{
    auto *action = new QAction(caption, parent);
    action->setObjectName(name);
    return action;
}

// The controller's action, when there is a controller (not in every test).
void BindToController(QAction *action, void (TDataModuleQuillonSuite::*handler)())
{
    QObject::connect(action, &QAction::triggered, action, [handler] {
        if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
            (controller->*handler)();
    });
}

} // namespace

// --- finding and creating -----------------------------------------------

TNewDrive *TNewDrive::OpenDrive(const QString &DriveLetter)
{
    if (!DirectoryExists(DriveLetter))
        return nullptr;
    TNewDrive *console = nullptr;
    for (TNewDrive *open : Consoles()) {
        if (open->FDriveLetter == DriveLetter) {
            console = open;
            break;
        }
    }
    if (!console)
        console = new TNewDrive(DriveLetter);
    console->show();
    if (console->isMinimized())
        console->showNormal();
    console->raise();
    console->activateWindow();
    return console;
}

const QList<TNewDrive *> &TNewDrive::OpenConsoles()
{
    return Consoles();
}

void TNewDrive::RefreshAllScheduleInfo()
{
    for (TNewDrive *console : Consoles())
        console->Refreshscheduleinfo();
}

TNewDrive::TNewDrive(const QString &DriveLetter)
    : FDriveLetter(DriveLetter)
    , FPCID(ComputePCID())
{
    setObjectName(QStringLiteral("NewDrive"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("New Drive Detected. ") + FDriveLetter);
    resize(760, 520);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(BuildNewJobButtons());

    lblDriveRoot = new QLabel(DriveRootText(FDriveLetter), central);
    lblDriveRoot->setObjectName(QStringLiteral("lblDriveRoot"));
    lblDriveRoot->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblDriveRoot);

    FThreadState = new QTabWidget(central);
    FThreadState->setObjectName(QStringLiteral("ThreadState"));
    layout->addWidget(FThreadState, 1);
    BuildJobListTab();

    lblTip = new QLabel(JobListTip, central);
    lblTip->setObjectName(QStringLiteral("lblTip"));
    lblTip->setWordWrap(true);
    layout->addWidget(lblTip);
    setCentralWidget(central);

    BuildMenus();
    connect(FThreadState, &QTabWidget::currentChanged, this, &TNewDrive::UpdateTip);
    UpdateSelectionActions();
    Consoles().append(this);
}

TNewDrive::~TNewDrive()
{
    Consoles().removeAll(this);
    if (FSearch) {
        // The search reports to this window; it must end before the window.
        FSearch->RequestStop();
        FSearch->wait();
    }
}

QWidget *TNewDrive::BuildNewJobButtons()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString second = QStringLiteral("\ncomputers and USB drives.");
    btnBackup =
        MakeButton(QStringLiteral("btnBackup"), QStringLiteral("Backup files between ") + second, row);
    BtnSync =
        MakeButton(QStringLiteral("BtnSync"), QStringLiteral("Synchronize files between ") + second, row);
    BtnMove = MakeButton(QStringLiteral("BtnMove"), QStringLiteral("Move files between ") + second, row);
    btnBackup->setIcon(TJobListStyle::TypePicture(QStringLiteral("Backup To USB"), 32));
    BtnSync->setIcon(TJobListStyle::TypePicture(QStringLiteral("File / Folder Sync"), 32));
    BtnMove->setIcon(TJobListStyle::TypePicture(QStringLiteral("Move To USB"), 32));
    // Equal stretch spreads the three buttons evenly across any width.
    for (QPushButton *button : {btnBackup, BtnSync, BtnMove}) {
        button->setIconSize(QSize(32, 32));
        button->setMinimumHeight(56);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(button, 1);
    }
    connect(btnBackup, &QPushButton::clicked, this, &TNewDrive::btnBackupClick);
    connect(BtnSync, &QPushButton::clicked, this, &TNewDrive::BtnSyncClick);
    connect(BtnMove, &QPushButton::clicked, this, &TNewDrive::BtnMoveClick);
    return row;
}

void TNewDrive::BuildJobListTab()
{
    TabSheet1 = new QWidget(FThreadState);
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto *layout = new QVBoxLayout(TabSheet1);

    ListView1 = new QTreeWidget(TabSheet1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(jcCount);
    ListView1->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Job Name"),
                                QStringLiteral("Archived Name"), QStringLiteral("Last Run At"),
                                QStringLiteral("PC ID")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setIconSize(TJobListStyle::RowIconSize());
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->header()->setSectionResizeMode(QHeaderView::Interactive);
    ListView1->setColumnWidth(jcType, 170);
    ListView1->setColumnWidth(jcName, 150);
    ListView1->setColumnWidth(jcFile, 220);
    layout->addWidget(ListView1, 1);

    auto *buttons = new QHBoxLayout;
    btnRun = MakeButton(QStringLiteral("btnRun"), QStringLiteral("Run"), TabSheet1);
    BtnEdit = MakeButton(QStringLiteral("BtnEdit"), QStringLiteral("Edit"), TabSheet1);
    BtnDelete = MakeButton(QStringLiteral("BtnDelete"), QStringLiteral("Delete"), TabSheet1);
    btnRestore = MakeButton(QStringLiteral("btnRestore"), QStringLiteral("Restore"), TabSheet1);
    BtnSchedule = MakeButton(QStringLiteral("BtnSchedule"), QStringLiteral("Shedule"), TabSheet1);
    btnRefresh = MakeButton(QStringLiteral("btnRefresh"), QStringLiteral("Refresh"), TabSheet1);
    for (QPushButton *button : {btnRun, BtnEdit, BtnDelete, btnRestore, BtnSchedule})
        buttons->addWidget(button);
    buttons->addStretch(1);

    Panel1 = new QWidget(TabSheet1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto *panel = new QHBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setMinimumWidth(80);
    Label2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    SpeedButton1 = new QToolButton(Panel1);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Stop"));
    SpeedButton1->setToolTip(QStringLiteral("Stop Search"));
    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 0); // marquee
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setMaximumWidth(120);
    panel->addWidget(Label2, 1);
    panel->addWidget(SpeedButton1);
    panel->addWidget(ProgressBar1);
    Panel1->hide();
    buttons->addWidget(Panel1, 3);
    buttons->addWidget(btnRefresh);
    layout->addLayout(buttons);

    FThreadState->addTab(TabSheet1, QStringLiteral("Job list"));

    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TNewDrive::UpdateSelectionActions);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(false); });
    connect(btnRun, &QPushButton::clicked, this, [this] { ListView1DblClick(true); });
    connect(BtnEdit, &QPushButton::clicked, this, [this] { ListView1DblClick(false); });
    connect(BtnDelete, &QPushButton::clicked, this, &TNewDrive::Delete1Click);
    connect(btnRestore, &QPushButton::clicked, this, &TNewDrive::OpenRestore1Click);
    connect(BtnSchedule, &QPushButton::clicked, this, &TNewDrive::Schedule1Click);
    connect(btnRefresh, &QPushButton::clicked, this, &TNewDrive::StartSearch);
    connect(SpeedButton1, &QToolButton::clicked, this, &TNewDrive::StopSearch);
}

void TNewDrive::BuildMenus()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Open1 = MakeAction(QStringLiteral("Open1"), QStringLiteral("Edit"), PopupMenu1);
    Delete1 = MakeAction(QStringLiteral("Delete1"), QStringLiteral("Delete"), PopupMenu1);
    Run1 = MakeAction(QStringLiteral("Run1"), QStringLiteral("Run"), PopupMenu1);
    OpenRestore1 = MakeAction(QStringLiteral("OpenRestore1"), QStringLiteral("Open Restore"), PopupMenu1);
    Schedule1 = MakeAction(QStringLiteral("Schedule1"), QStringLiteral("Schedule"), PopupMenu1);
    PopupMenu1->addActions({Open1, Delete1, Run1, OpenRestore1, Schedule1});
    PopupMenu1->setDefaultAction(Open1);
    connect(Open1, &QAction::triggered, this, [this] { ListView1DblClick(false); });
    connect(Run1, &QAction::triggered, this, [this] { ListView1DblClick(true); });
    connect(Delete1, &QAction::triggered, this, &TNewDrive::Delete1Click);
    connect(OpenRestore1, &QAction::triggered, this, &TNewDrive::OpenRestore1Click);
    connect(Schedule1, &QAction::triggered, this, &TNewDrive::Schedule1Click);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TNewDrive::UpdatePopupItems);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at)); });

    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    QMenu *settings = bar->addMenu(QStringLiteral("Setings"));
    QMenu *help = bar->addMenu(QStringLiteral("Help"));

    QAction *openDrive = MakeAction(QStringLiteral("OpenDrive1"), QStringLiteral("Open Drive"), file);
    openDrive->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction *safelyRemove =
        MakeAction(QStringLiteral("SafelyRemove1"), QStringLiteral("Safely Remove"), file);
    QAction *exitProgram = MakeAction(QStringLiteral("ExitProgram1"), QStringLiteral("Exit Program"), file);
    exitProgram->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    file->addActions({openDrive, safelyRemove, exitProgram});
    connect(safelyRemove, &QAction::triggered, this, [this] {
        if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
            controller->SafeRemoval().Remove(FDriveLetter);
    });
    BindToController(openDrive, &TDataModuleQuillonSuite::OpenDriveAction);
    BindToController(exitProgram, &TDataModuleQuillonSuite::ExitAction);

    // The options window comes with its own window; until then its item is
    // there and does nothing.
    QAction *options = MakeAction(QStringLiteral("Options1"), QStringLiteral("Options"), settings);
    Schedules1 = MakeAction(QStringLiteral("Schedules1"), QStringLiteral("Schedules"), settings);
    settings->addActions({options, Schedules1});
    BindToController(options, &TDataModuleQuillonSuite::OptionsAction);
    BindToController(Schedules1, &TDataModuleQuillonSuite::SchedulesAction);

    QAction *upgrade = MakeAction(QStringLiteral("Upgrade1"), QStringLiteral("Upgrade"), help);
    QAction *manual = MakeAction(QStringLiteral("UsersManual1"), QStringLiteral("User's Manual"), help);
    QAction *helpItem = MakeAction(QStringLiteral("Help2"), QStringLiteral("Help"), help);
    helpItem->setShortcut(QKeySequence(Qt::Key_F1));
    QAction *about = MakeAction(QStringLiteral("About1"), QStringLiteral("About"), help);
    about->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    help->addActions({upgrade, manual, helpItem, about});
    BindToController(manual, &TDataModuleQuillonSuite::UsersManualAction);
    BindToController(helpItem, &TDataModuleQuillonSuite::HelpAction);
    BindToController(about, &TDataModuleQuillonSuite::AboutAction);
}

QString TNewDrive::DriveLetter() const
{
    return FDriveLetter;
}

QTabWidget *TNewDrive::ThreadState() const
{
    return FThreadState;
}

// --- showing, closing, activation ----------------------------------------

void TNewDrive::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // A window brought back from the task bar is not a new showing.
    if (event->spontaneous())
        return;
    StartSearch();
    for (QWidget *button : {static_cast<QWidget *>(btnBackup), static_cast<QWidget *>(BtnSync),
                            static_cast<QWidget *>(BtnMove)})
        button->setEnabled(true);
    Schedules1->setEnabled(true);
    OpenRestore1->setEnabled(true);
}

void TNewDrive::closeEvent(QCloseEvent *event)
{
    if (!SubForms().isEmpty()) {
        event->ignore();
        ShowInfoDialog(
            QStringLiteral("Backup jobs are open. please close all the backup jobs and try again."),
            QStringLiteral("Canot Close Window."), ProgramTitle, mtInformation);
        return;
    }
    // A running job's panel lives on one of this window's tabs, and a search
    // still reports to it: the window only hides and stays in OpenConsoles,
    // to be shown again by the next OpenDrive of its drive.
    if (Searching() || HasRunningJobs()) {
        event->ignore();
        if (FSearch)
            FSearch->RequestStop();
        hide();
        return;
    }
    event->accept();
}

void TNewDrive::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        for (QWidget *form : SubForms())
            form->raise();
}

void TNewDrive::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    SetStatusText(FStatusText);
}

void TNewDrive::AddSubForm(QWidget *Form)
{
    if (!Form || SubForms().contains(Form))
        return;
    FSubForms.append(Form);
    connect(Form, &QObject::destroyed, this, [this, Form] { RemoveSubForm(Form); });
}

void TNewDrive::RemoveSubForm(QWidget *Form)
{
    FSubForms.removeIf([Form](const QPointer<QWidget> &open) { return open.isNull() || open == Form; });
}

QList<QWidget *> TNewDrive::SubForms() const
{
    QList<QWidget *> forms;
    for (const QPointer<QWidget> &form : FSubForms)
        if (form)
            forms.append(form);
    return forms;
}

bool TNewDrive::HasRunningJobs() const
{
    for (int index = 0; index < FThreadState->count(); ++index) {
        QWidget *page = FThreadState->widget(index);
        QList<QWidget *> candidates = page->findChildren<QWidget *>();
        candidates.prepend(page);
        for (QWidget *candidate : candidates)
            if (auto *panel = dynamic_cast<TThreadStatuesFrame *>(candidate); panel && panel->Running())
                return true;
    }
    return false;
}

void TNewDrive::UpdateTip()
{
    lblTip->setText(FThreadState->currentIndex() == FThreadState->indexOf(TabSheet1)
                        ? QLatin1Char(' ') + JobListTip
                        : JobTabTip);
}

// --- the job search --------------------------------------------------------

bool TNewDrive::Searching() const
{
    return FSearch != nullptr;
}

void TNewDrive::StartSearch()
{
    if (FSearch)
        return;
    const quint64 search = ++FSearchNumber;
    Panel1->show();
    btnRefresh->hide();
    SpeedButton1->setEnabled(true);
    SetStatusText(QString());
    ListView1->clear();
    UpdateSelectionActions();
    FSearchSchedules = std::make_unique<TScheduleLookup>();

    FSearchReports = std::make_unique<TSearchReports>(
        this, [this, search](const QString &status) { ShowSearchStatus(search, status); },
        [this, search](const QString &message) { SearchFailed(search, message); },
        [this, search](const QString &) { SearchEnded(search); });
    FSearch = std::make_unique<TSearchDrive>();
    FSearch->SetDrive(FDriveLetter);
    FSearch->SetObserver(FSearchReports.get());
    // Called in the search's thread: the row is copied and added here.
    FSearch->SetAddListItem([this, search](TThreadBase &, TAutoRunFileData &data) {
        QMetaObject::invokeMethod(
            this, [this, search, data] { AddListItem(search, data); }, Qt::QueuedConnection);
    });
    FSearch->start();
}

void TNewDrive::StopSearch()
{
    SpeedButton1->setEnabled(false);
    if (FSearch)
        FSearch->RequestStop();
}

void TNewDrive::StopSearchAndWait()
{
    StopSearch();
    if (FSearch)
        SearchEnded(FSearchNumber);
}

void TNewDrive::AddListItem(quint64 search, const TAutoRunFileData &data)
{
    if (search != FSearchNumber)
        return;
    auto *row = new QTreeWidgetItem;
    row->setText(jcType, data.FileType);
    row->setText(jcName, data.Name);
    row->setText(jcFile, data.FileName);
    row->setText(jcLastRun, data.LastSync);
    row->setText(jcPCID, data.PCID);
    row->setData(jcType, ExtraDataRole, data.ExtraData);
    if (const QColor color = TJobListStyle::TypeColor(data.FileType); color.isValid())
        for (int column = jcType; column < jcPCID; ++column)
            row->setForeground(column, color);
    row->setForeground(jcPCID, TJobListStyle::PCIDColor(data.PCID, FPCID));
    SetScheduleMark(row, FSearchSchedules ? FSearchSchedules->isScheduled(data.FileName) : 0);
    ListView1->insertTopLevelItem(InsertPosition(*ListView1, data.FileType), row);
}

void TNewDrive::ShowSearchStatus(quint64 search, const QString &status)
{
    if (search == FSearchNumber)
        SetStatusText(status);
}

void TNewDrive::SearchFailed(quint64 search, const QString &message)
{
    // The list would otherwise pass for a drive without jobs.
    if (search == FSearchNumber)
        statusBar()->showMessage(message);
}

void TNewDrive::SearchEnded(quint64 search)
{
    if (search != FSearchNumber || !FSearch)
        return;
    FSearch->wait();
    FSearch.reset();
    FSearchReports.reset();
    FSearchSchedules.reset();
    Panel1->hide();
    btnRefresh->show();
}

void TNewDrive::SetStatusText(const QString &text)
{
    FStatusText = text;
    // The path is shortened in its middle, so the folder name stays visible.
    const int width = Label2->width();
    Label2->setText(width > 40 ? Label2->fontMetrics().elidedText(text, Qt::ElideMiddle, width) : text);
    Label2->setToolTip(text);
}

// --- schedule marks ----------------------------------------------------------

void TNewDrive::SetScheduleMark(QTreeWidgetItem *row, int mark)
{
    row->setData(jcType, ScheduleMarkRole, mark);
    row->setIcon(jcType, TJobListStyle::RowIcon(row->text(jcType), mark));
}

void TNewDrive::Refreshscheduleinfo()
{
    TScheduleLookup schedules;
    for (int index = 0; index < ListView1->topLevelItemCount(); ++index) {
        QTreeWidgetItem *row = ListView1->topLevelItem(index);
        SetScheduleMark(row, schedules.isScheduled(row->text(jcFile)));
    }
}

// --- selection -----------------------------------------------------------------

QTreeWidgetItem *TNewDrive::SelectedRow() const
{
    const QList<QTreeWidgetItem *> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TNewDrive::UpdateSelectionActions()
{
    const bool selected = SelectedRow() != nullptr;
    for (QPushButton *button : {btnRun, BtnEdit, BtnDelete, btnRestore, BtnSchedule})
        button->setEnabled(selected);
    if (Run1)
        for (QAction *action : {Run1, Open1, Delete1, Schedule1})
            action->setEnabled(selected);
}

void TNewDrive::UpdatePopupItems()
{
    const QTreeWidgetItem *row = SelectedRow();
    OpenRestore1->setEnabled(row && TJobListStyle::IsBackupType(row->text(jcType)));
}

// --- the job actions -----------------------------------------------------------

void TNewDrive::ListView1DblClick(bool runMode)
{
    const QTreeWidgetItem *row = SelectedRow();
    if (!row || row->text(jcPCID) == ErrorLoadingData)
        return;
    const QString type = row->text(jcType);
    const bool runnable = type == QLatin1String("File / Folder Sync") || TJobListStyle::IsBackupType(type) ||
                          type == QLatin1String("Move From USB") || type == QLatin1String("Move To USB");
    // PC-to-PC jobs are run by their schedules only; unreadable ones never.
    if (!runnable)
        return;
    if (runMode) {
        if (TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance())
            controller->RunFile(row->text(jcFile), FThreadState, -1, false);
        return;
    }
    if (TJobListStyle::IsBackupType(type))
        OpenWizard(std::make_unique<TBackupWizard>(), row->text(jcFile), false);
    else if (type == QLatin1String("File / Folder Sync"))
        OpenWizard(std::make_unique<TSyncWizard>(), row->text(jcFile), false);
    else
        OpenWizard(std::make_unique<TMoveWizard>(), row->text(jcFile), false);
}

void TNewDrive::OpenWizard(std::unique_ptr<TWizardWindow> wizard, const QString &fileName, bool isNew)
{
    wizard->SetNew(isNew);
    wizard->SetDriveForm(this);
    try {
        wizard->SetFileName(fileName);
    } catch (const EUserException &) {
        // The wizard said why (or the user declined); it opens nothing.
        return;
    }
    TWizardWindow *shown = wizard.release();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

QString TNewDrive::NewJobFile(const QString &prefix, const QString &extension) const
{
    return NewJobFileName(FDriveLetter, prefix, extension, QDateTime::currentDateTime());
}

int TNewDrive::ChooseDirection(const QString &title, const QString &text, const QString &groupCaption,
                               const QStringList &choices, int picture)
{
    TRatioBoxEx chooser(this, this);
    chooser.setWindowTitle(ProgramTitle);
    static const QString pictures[] = {QStringLiteral("Backup To USB"), QStringLiteral("File / Folder Sync"),
                                       QStringLiteral("Move To USB")};
    chooser.SetPicture(TJobListStyle::TypePicture(pictures[picture], 48));
    chooser.SetTitle(title);
    chooser.SetText(text);
    chooser.SetGroupCaption(groupCaption);
    chooser.SetItems(choices);
    chooser.SetItemIndex(0);
    if (ExecModal(chooser) != mrOk)
        return -1;
    return chooser.ItemIndex();
}

void TNewDrive::btnBackupClick()
{
    const int choice = ChooseDirection(QStringLiteral("Backup files between computers and USB drives."),
                                       QString(), QStringLiteral("Select file copy direction"),
                                       {QStringLiteral("From Computer to USB drive"),
                                        QStringLiteral("From USB drive to Computer"),
                                        QStringLiteral("From USB drive to USB drive")},
                                       0);
    if (choice < 0)
        return;
    QString sourceDrive;
    if (choice == 2) {
        TUSBSelect select(this);
        select.SetDriveTypes(QStringLiteral("USB"));
        select.SetHostDrive(FDriveLetter);
        if (ExecModal(select) != QDialog::Accepted)
            return;
        sourceDrive = ExtractFileDrive(select.DefaultStr());
    }
    auto wizard = std::make_unique<TBackupWizard>();
    static const TArchiveDir directions[] = {amPcToUsb, amUsbToPc, amUsbToUSB};
    wizard->ArchiveData().SetArchiveDir(directions[choice]);
    if (choice != 0)
        wizard->SetBackUpDrive(ExtractFileDrive(FDriveLetter));
    wizard->SetSourceDrive(sourceDrive);
    OpenWizard(std::move(wizard), NewJobFile(QStringLiteral("Backup"), QStringLiteral(".Zja")), true);
}

void TNewDrive::BtnMoveClick()
{
    const int choice =
        ChooseDirection(QStringLiteral("Move files between computers and USB drives."),
                        QStringLiteral("(Copy files from source to target, then delete them from soucre.)"),
                        QStringLiteral("Select direction"),
                        {QStringLiteral("USB drive to Local PC or LAN drive"),
                         QStringLiteral("Local PC or LAN drive to USB drive")},
                        2);
    if (choice < 0)
        return;
    auto wizard = std::make_unique<TMoveWizard>();
    wizard->ArchiveData().SetArchiveDir(choice == 0 ? amUsbToPc : amPcToUsb);
    if (choice == 0)
        wizard->SetBackUpDrive(ExtractFileDrive(FDriveLetter));
    OpenWizard(std::move(wizard), NewJobFile(QStringLiteral("Move "), QStringLiteral(".Zjm")), true);
}

void TNewDrive::BtnSyncClick()
{
    OpenWizard(std::make_unique<TSyncWizard>(), NewJobFile(QStringLiteral("sync "), QStringLiteral(".Zjs")),
               true);
}

void TNewDrive::OpenRestore1Click()
{
    const QTreeWidgetItem *row = SelectedRow();
    if (!row || row->text(jcPCID) == ErrorLoadingData || !TJobListStyle::IsBackupType(row->text(jcType)))
        return;
    auto wizard = std::make_unique<TRestoreWizard>();
    try {
        wizard->SetFileName(row->text(jcFile));
    } catch (const EAbortByUser &) {
        return;
    } catch (const std::exception &) {
        // The job has never run (no job database) or its database is damaged.
        ShowInfoDialog(
            QStringLiteral("No backup data found for this backup job. please run the job at lest ones."),
            QStringLiteral("No Backup Data"), ProgramTitle, mtWarning);
        return;
    }
    wizard->SetDriveForm(this);
    TRestoreWizard *shown = wizard.release();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

// Opens the schedule editor on the selected job's schedule, adding one when
// the job has none.
void TNewDrive::Schedule1Click()
{
    const QTreeWidgetItem *row = SelectedRow();
    TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    if (!row || !controller)
        return;
    controller->SchedulesAction();
    if (TScheduleForm *editor = controller->ScheduleForm())
        editor->AddSchedule(row->text(jcFile));
}

void TNewDrive::Delete1Click()
{
    QTreeWidgetItem *row = SelectedRow();
    if (!row)
        return;
    if (ShowYesNoDialog(
            QStringLiteral("Are you sure you want to permanently delete this job ?\r\nJob Name : ") +
                row->text(jcName),
            QStringLiteral("Delete Job"), ProgramTitle, mtConfirmation, false) != mrYes)
        return;
    TJobDeletion deletion;
    try {
        deletion = DeleteJob(row->text(jcFile));
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Delete Job"), ProgramTitle, mtError);
        return;
    }
    if (!deletion.Complete())
        ShowInfoDialog(deletion.Problems(), QStringLiteral("Delete Job"), ProgramTitle,
                       deletion.JobFileDeleted ? mtWarning : mtError);
    // A job file that is still there keeps its row.
    if (!deletion.JobFileDeleted)
        return;
    delete row;
    UpdateSelectionActions();
}

} // namespace trovalo
