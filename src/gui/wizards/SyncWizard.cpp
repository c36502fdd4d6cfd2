#include "wizards/SyncWizard.h"

#include "MessageBoxes.h"
#include "base/PathText.h"
#include "control/SyncJobEditing.h"
#include "control/SyncJobLauncher.h"
#include "drives/DriveSpace.h"
#include "engine/FolderSizeCollection.h"
#include "model/ProgramIdentity.h"
#include "model/SyncData.h"
#include "picker/NvShellTreeViewEx.h"
#include "wizards/ExcludeFilterPage.h"

#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trovalo {

using foldersize::TFileCollection;
using foldersize::TFileData;

namespace {
enum TPairColumn { pcComputer = 0, pcComputerSize, pcComputerFiles, pcUsb, pcUsbSize, pcUsbFiles };

// The positions are the stored values.
const char *const Directions[] = {"In Both Directions", "Only To Computer", "Only To USB Drive"};
const char *const Actions[] = {"Ask me what to do", "Do Nothing ", "Use this USB drive's version ",
                               "Use this computer's version ", "Use the newest version "};

QButtonGroup *RadioGroup(QGroupBox *box, const char *namePrefix, const char *const *captions, int count)
{
    auto *group = new QButtonGroup(box);
    auto *layout = new QVBoxLayout(box);
    for (int index = 0; index < count; ++index) {
        auto *radio = new QRadioButton(QString::fromUtf8(captions[index]), box);
        radio->setObjectName(QLatin1String(namePrefix) + QString::number(index));
        group->addButton(radio, index);
        layout->addWidget(radio);
    }
    return group;
}

QTreeWidgetItem *RowOf(const TFileData &item)
{
    return reinterpret_cast<QTreeWidgetItem *>(item.Data().value<quintptr>());
}
} // namespace

TSyncWizard::TSyncWizard()
    : TWizardWindow(QStringLiteral("TSyncWizard"), QStringLiteral("File Sync Wizard Folder Mode"))
    , FSyncData(std::make_unique<TSyncData>())
    , FileCollectionA(std::make_unique<TFileCollection>())
    , FileCollectionB(std::make_unique<TFileCollection>())
{
    resize(860, 680);
    for (TFileCollection *collection : {FileCollectionA.get(), FileCollectionB.get()}) {
        collection->SetReadFileData(true);
        collection->SetOnItemChnage(
            [this](TFileCollection &sender, TFileData &item) { ItemMeasured(sender, item); });
    }
    BuildFileSelectPage();
    AddFilterPage();
    AddFinishPage(
        QStringLiteral("Click \"Save\" button to finish the job creation.\nIf you want to run the job "
                       "immediately, click \"Save and Run\" button."));
}

TSyncWizard::~TSyncWizard()
{
    // The rows go before the collections that point at them.
    FileCollectionA->Clear();
    FileCollectionB->Clear();
}

void TSyncWizard::BuildFileSelectPage()
{
    QVBoxLayout *layout = AddPage(
        "FileSelect", QStringLiteral("Create sync pair"),
        QStringLiteral("Choose the folders you want to synchronize on both side, then click the button "
                       "“Add Pair”. \nClick the “New Folder” on each side if you want to create new "
                       "folder for syncing."));
    QWidget *page = Page("FileSelect");
    auto *name = new QFormLayout;
    BackupName = new QLineEdit(page);
    BackupName->setObjectName(QStringLiteral("BackupName"));
    name->addRow(QStringLiteral("Sync Name"), BackupName);
    layout->addLayout(name);

    auto *splitter = new QSplitter(Qt::Vertical, page);
    splitter->setObjectName(QStringLiteral("Splitter"));
    splitter->setChildrenCollapsible(false);
    auto *top = new QWidget(splitter);
    top->setMinimumHeight(230);
    auto *trees = new QHBoxLayout(top);
    trees->setContentsMargins(0, 0, 0, 0);
    const auto treeColumn = [this, top, trees](const char *name, const QString &caption) {
        auto *column = new QVBoxLayout;
        column->addWidget(new QLabel(caption, top));
        auto *tree = new TNvShellTreeViewEx(top);
        tree->setObjectName(QLatin1String(name));
        tree->SetCheckBoxes(false);
        tree->SetShowHidden(ShowHidden());
        tree->installEventFilter(this);
        column->addWidget(tree, 1);
        trees->addLayout(column, 1);
        connect(tree, &TNvShellTreeViewEx::SelectedPathChanged, this, [this, tree] {
            ActiveTreeView = tree;
            UpdateButtons();
        });
        return tree;
    };
    stvFolderA = treeColumn("stvFolderA", QStringLiteral("USB Drive"));
    auto *middle = new QVBoxLayout;
    middle->addStretch(1);
    auto *add = new QPushButton(QStringLiteral("Add Pair"), top);
    add->setObjectName(QStringLiteral("AddFolder"));
    auto *remove = new QPushButton(QStringLiteral("Delete Pair"), top);
    remove->setObjectName(QStringLiteral("BtnDeletePair"));
    remove->setEnabled(false);
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addStretch(1);
    trees->addLayout(middle);
    stvFolderB = treeColumn("stvFolderB", QStringLiteral("Local PC"));
    // The computer's side never offers a USB drive.
    stvFolderB->SetOnAddFolder([](const TShellEntry &entry) { return !IsUsbDriveEntry(entry); });

    auto *bottom = new QWidget(splitter);
    auto *bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto *groups = new QHBoxLayout;
    SyncDirection = new QGroupBox(QStringLiteral("The Transfer Direction"), bottom);
    SyncDirection->setObjectName(QStringLiteral("SyncDirection"));
    FDirections = RadioGroup(SyncDirection, "SyncDirection", Directions, int(std::size(Directions)));
    DefaultAction = new QGroupBox(QStringLiteral("How to Handle Conflicts"), bottom);
    DefaultAction->setObjectName(QStringLiteral("DefaultAction"));
    FActions = RadioGroup(DefaultAction, "DefaultAction", Actions, int(std::size(Actions)));
    groups->addWidget(SyncDirection);
    groups->addWidget(DefaultAction);
    bottomLayout->addLayout(groups);

    auto *tabs = new QTabWidget(bottom);
    tabs->setObjectName(QStringLiteral("PairTabs"));
    ListView1 = new QTreeWidget;
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setHeaderLabels({QStringLiteral("PC"), QStringLiteral("Size"), QStringLiteral("Files"),
                                QStringLiteral("USB Drive"), QStringLiteral("Size"),
                                QStringLiteral("Files")});
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *deleteSelected = new QAction(QStringLiteral("Delete Selected"), ListView1);
    deleteSelected->setObjectName(QStringLiteral("DeleteSelected"));
    deleteSelected->setShortcut(QKeySequence::Delete);
    deleteSelected->setShortcutContext(Qt::WidgetShortcut);
    deleteSelected->setEnabled(false);
    ListView1->addAction(deleteSelected);
    tabs->addTab(ListView1, QStringLiteral("Pair list"));
    FDriveSpace = new TDriveSpace;
    FDriveSpace->setObjectName(QStringLiteral("DiskSpace"));
    FDriveSpace->SetFileCollectionA(FileCollectionA.get());
    FDriveSpace->SetFileCollectionB(FileCollectionB.get());
    tabs->addTab(FDriveSpace, QStringLiteral("Disk space info"));
    bottomLayout->addWidget(tabs, 1);
    layout->addWidget(splitter, 1);

    connect(add, &QPushButton::clicked, this, &TSyncWizard::AddFolderClick);
    connect(remove, &QPushButton::clicked, this, &TSyncWizard::DeleteSelectedPairs);
    connect(deleteSelected, &QAction::triggered, this, &TSyncWizard::DeleteSelectedPairs);
    connect(FDirections, &QButtonGroup::idClicked, this, &TSyncWizard::SyncDirectionClick);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this, remove, deleteSelected] {
        const bool selected = !ListView1->selectedItems().isEmpty();
        remove->setEnabled(selected);
        deleteSelected->setEnabled(selected);
    });
}

bool TSyncWizard::eventFilter(QObject *watched, QEvent *event)
{
    // "New Folder" works in the tree the user is in.
    if (event->type() == QEvent::FocusIn && (watched == stvFolderA || watched == stvFolderB)) {
        ActiveTreeView = static_cast<TNvShellTreeViewEx *>(watched);
        UpdateButtons();
    }
    return TWizardWindow::eventFilter(watched, event);
}

QString TSyncWizard::LoadJob(const QString &fileName)
{
    TSyncJobLauncher::LoadJob(SyncData(), fileName);
    return SyncData().PCID();
}

void TSyncWizard::InitNewJob()
{
    InitNewSyncJob(SyncData(), PCID(), DateTimeNow());
}

QString TSyncWizard::JobDrive() const
{
    return ExtractFileDrive(FileName());
}

void TSyncWizard::PrepareJob()
{
    const TSyncData &job = SyncData();
    BackupName->setText(job.SyncName());
    if (QAbstractButton *direction = FDirections->button(int(job.SyncDirection())))
        direction->setChecked(true);
    if (QAbstractButton *action = FActions->button(int(job.SyncDefaultAction())))
        action->setChecked(true);
    // A one-way job has no conflicts to handle, loaded or clicked.
    SyncDirectionClick();
    const QStringList sideA = job.FolderAList();
    const QStringList sideB = job.FolderBList();
    for (int pair = 0; pair < sideA.size() && pair < sideB.size(); ++pair)
        AddRow(sideA.at(pair), sideB.at(pair));
    stvFolderA->SetRootFolder(JobDrive() + QStringLiteral("\\"));
    stvFolderB->SetRootDesktop();
    ActiveTreeView = stvFolderA;
}

void TSyncWizard::SyncDirectionClick()
{
    DefaultAction->setEnabled(FDirections->checkedId() == int(sdBidi));
}

QList<TSyncFolderPair> TSyncWizard::ListedPairs() const
{
    QList<TSyncFolderPair> pairs;
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = ListView1->topLevelItem(row);
        pairs << TSyncFolderPair(SyncSideAFolder(item->text(pcUsb), JobDrive()), item->text(pcComputer));
    }
    return pairs;
}

void TSyncWizard::AddFolderClick()
{
    const QString usb = stvFolderA->SelectedPath();
    const QString computer = stvFolderB->SelectedPath();
    const QString problem = SyncPairProblem(usb, computer, ListedPairs());
    if (!problem.isEmpty()) {
        ShowInfoDialog(problem, QStringLiteral("Folder Sellect Error"), ProgramTitle, mtWarning);
        return;
    }
    AddRow(SyncSideAValue(usb), ExcludeTrailingBackslash(computer));
}

void TSyncWizard::AddRow(const QString &sideA, const QString &sideB)
{
    const QString loading = QStringLiteral("Loading...");
    auto *row = new QTreeWidgetItem(ListView1, {sideB, loading, loading, sideA, loading, loading});
    const QVariant data = QVariant::fromValue(reinterpret_cast<quintptr>(row));
    FileCollectionA->Add(SyncSideAFolder(sideA, JobDrive()), data);
    FileCollectionB->Add(sideB, data);
}

void TSyncWizard::ItemMeasured(TFileCollection &collection, TFileData &item)
{
    QTreeWidgetItem *row = RowOf(item);
    if (!row)
        return;
    const bool sideA = &collection == FileCollectionA.get();
    const int sizeColumn = sideA ? pcUsbSize : pcComputerSize;
    const bool failed = item.Error() || item.FileSize() < 0;
    row->setText(sizeColumn, failed ? QStringLiteral("Error") : item.FileSizeAsString());
    row->setText(sizeColumn + 1, failed ? QStringLiteral("Error") : QString::number(item.FileCount()));
    FDriveSpace->Refresh();
}

void TSyncWizard::DeleteSelectedPairs()
{
    const QList<QTreeWidgetItem *> selected = ListView1->selectedItems();
    for (QTreeWidgetItem *row : selected) {
        const int index = ListView1->indexOfTopLevelItem(row);
        // The collections hold one entry per row, in row order.
        FileCollectionA->Delete(index);
        FileCollectionB->Delete(index);
        delete row;
    }
    try {
        FDriveSpace->Refresh();
    } catch (const ETrovaloError &) {
        // The space figures follow with the next measurement.
    }
}

bool TSyncWizard::TakeOverPage(const QString &page)
{
    TSyncData &job = SyncData();
    if (page == QLatin1String("FileSelect")) {
        job.SetSyncName(BackupName->text());
        job.SetSyncDirection(static_cast<TSyncDirection>(std::max(0, FDirections->checkedId())));
        job.SetSyncDefaultAction(static_cast<TSyncDefaultAction>(std::max(0, FActions->checkedId())));
        QStringList sideA, sideB;
        for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
            sideA << ListView1->topLevelItem(row)->text(pcUsb);
            sideB << ListView1->topLevelItem(row)->text(pcComputer);
        }
        job.SetFolderAList(sideA);
        job.SetFolderBList(sideB);
        if (sideA.isEmpty()) {
            ShowInfoDialog(QStringLiteral("Add at least one pair of folders to synchronize."),
                           QStringLiteral("No Sync Pair"), ProgramTitle, mtWarning);
            return false;
        }
    }
    if (page == QLatin1String("Exclude"))
        FilterPage()->TakeFilter(*job.FileFilter());
    return true;
}

TNvShellTreeViewEx *TSyncWizard::FolderTreeOf(const QString &page) const
{
    return page == QLatin1String("FileSelect") ? ActiveTreeView.data() : nullptr;
}

void TSyncWizard::SaveJob()
{
    SaveSyncJob(SyncData(), FileName(), New(), PCID());
}

void TSyncWizard::MarkRunStart()
{
    SyncData().SetLastUpdate(DateTimeNow());
}

TFileFilter &TSyncWizard::JobFilter()
{
    return *SyncData().FileFilter();
}

} // namespace trovalo
