#include "wizards/RestoreWizard.h"

#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "base/SizeText.h"
#include "console/NewDrive.h"
#include "db/JobDatabase.h"
#include "dialogs/InputBox.h"
#include "model/ArchiveData.h"
#include "model/ProgramIdentity.h"
#include "picker/NvShellTreeViewEx.h"
#include "picker/ShellTreeModel.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace trovalo {

// "Details" of the file list: each entry on a row of its own, its size at
// the right (a list view has no columns).
class TFileListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool Details = true;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const qint64 size = index.data(TShellTreeModel::SizeRole).toLongLong();
        const auto kind = TShellEntry::TKind(index.data(TShellTreeModel::KindRole).toInt());
        if (!Details || size < 0 || kind != TShellEntry::File) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem named = option;
        const int sizeWidth = std::min(120, option.rect.width() / 3);
        named.rect.setRight(option.rect.right() - sizeWidth);
        QStyledItemDelegate::paint(painter, named, index);
        QRect sizeRect = option.rect;
        sizeRect.setLeft(named.rect.right() + 1);
        if (option.state & QStyle::State_Selected)
            painter->fillRect(sizeRect, option.palette.highlight());
        painter->save();
        painter->setPen(option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                   : QPalette::Text));
        painter->drawText(sizeRect.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter,
                          SizeText(size, TSizeUnits::FileList));
        painter->restore();
    }
};

namespace {

const QString HelpText = QStringLiteral(
    "Restore the whole folder, simple check it on the left panel.\n"
    "Restore the individual file, select it on the right top panel, and click the button Add Restore. \n"
    "Remove the file from the restore list, right click it select Remove From List.  \n"
    "If you want to check the file content, right click it to open it on the relative application .");

enum TRunColumn { rcDateTime, rcArchiveFolder, rcFormat, rcStatus };

QColor StatusColour(const QString &status)
{
    if (status == TJobDatabase::StatusNotCompleted)
        return QColor(255, 0, 128);
    if (status == TJobDatabase::StatusCanceled)
        return QColor(254, 174, 10);
    return QColor(0, 128, 255);
}

bool EndsInArchiveName(const QString &name)
{
    return name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".cab"), Qt::CaseInsensitive);
}

} // namespace

TRestoreWizard::TRestoreWizard()
    : TWizardForm(QStringLiteral("TRestoreWizard"), QStringLiteral("Restore Wizard"))
    , FArchiveData(std::make_unique<TArchiveData>())
{
    NewFolder->setText(QStringLiteral("Add New Folder"));
    AddFiles = new QPushButton(QStringLiteral("Add Restore"), this);
    AddFiles->setObjectName(QStringLiteral("AddFiles"));
    AddFiles->hide();
    ButtonRow()->insertWidget(1, AddFiles);
    connect(AddFiles, &QPushButton::clicked, this, &TRestoreWizard::AddFilesClick);

    BuildRunPage();
    BuildSelectPage();
    BuildLocationPage();
    BuildFinishPage();
    ShowPage(0);
}

TRestoreWizard::~TRestoreWizard() = default;

void TRestoreWizard::BuildRunPage()
{
    QVBoxLayout *layout = AddPage("TabSheet1", QStringLiteral("Open Backup"));
    QWidget *page = Page("TabSheet1");
    auto *name = new QFormLayout;
    BackupName = new QLineEdit(page);
    BackupName->setObjectName(QStringLiteral("BackupName"));
    BackupName->setReadOnly(true);
    name->addRow(QStringLiteral("Backup Name"), BackupName);
    layout->addLayout(name);
    ListView1 = new QTreeWidget(page);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setHeaderLabels({QStringLiteral("Date / Time"), QStringLiteral("Archive Folder"),
                                QStringLiteral("Last Backup Action"), QStringLiteral("Status")});
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->header()->setSectionResizeMode(rcArchiveFolder, QHeaderView::Stretch);
    layout->addWidget(ListView1, 1);
    // Double click: the run is chosen.
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (btnNext->isEnabled())
            btnNextClick();
    });
}

void TRestoreWizard::BuildSelectPage()
{
    QVBoxLayout *layout = AddPage("TabSheet2", QStringLiteral("Select Folder or File to Restore"));
    QWidget *page = Page("TabSheet2");
    auto *Label3 = new QLabel(HelpText, page);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    layout->addWidget(Label3);

    auto *splitter = new QSplitter(Qt::Horizontal, page);
    NvShellTreeViewEx1 = new TNvShellTreeViewEx(splitter);
    NvShellTreeViewEx1->setObjectName(QStringLiteral("NvShellTreeViewEx1"));
    NvShellTreeViewEx1->SetShowHidden(ShowHidden());
    // Nothing of it is shown: a count would only walk the run for nothing.
    NvShellTreeViewEx1->SetCalcFileSize(false);
    NvShellTreeViewEx1->SetOnAddFolder([this](const TShellEntry &entry) {
        // A zip run holds its archives at the top; a copy run's archives
        // are files of the backup like any other.
        if (IsZipJob())
            return entry.Level != 1 || entry.Kind != TShellEntry::Folder;
        return entry.Kind != TShellEntry::File && !EndsInArchiveName(entry.Name);
    });

    auto *right = new QWidget(splitter);
    auto *column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    auto *viewRow = new QHBoxLayout;
    viewRow->addStretch(1);
    viewRow->addWidget(new QLabel(QStringLiteral("View"), right));
    ViewStyle = new QComboBox(right);
    ViewStyle->setObjectName(QStringLiteral("ViewStyle"));
    ViewStyle->addItems({QStringLiteral("Small Icons"), QStringLiteral("List"), QStringLiteral("Details"),
                         QStringLiteral("Tiles")});
    viewRow->addWidget(ViewStyle);
    column->addLayout(viewRow);

    FListModel = new TShellTreeModel(this);
    ShellListView1 = new QListView(right);
    ShellListView1->setObjectName(QStringLiteral("ShellListView1"));
    ShellListView1->setModel(FListModel);
    ShellListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ShellListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellListView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    FListDelegate = new TFileListDelegate(ShellListView1);
    ShellListView1->setItemDelegate(FListDelegate);
    auto *open = new QAction(QStringLiteral("Open"), ShellListView1);
    open->setObjectName(QStringLiteral("OpenFile1"));
    ShellListView1->addAction(open);
    connect(open, &QAction::triggered, this, &TRestoreWizard::OpenListEntry);
    column->addWidget(ShellListView1, 2);

    LbFileList = new QListWidget(right);
    LbFileList->setObjectName(QStringLiteral("LbFileList"));
    LbFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LbFileList->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *remove = new QAction(QStringLiteral("Remove From List"), LbFileList);
    remove->setObjectName(QStringLiteral("RemoveFromList1"));
    LbFileList->addAction(remove);
    LbFileList->installEventFilter(this);
    connect(remove, &QAction::triggered, this, &TRestoreWizard::RemoveFromListClick);
    column->addWidget(LbFileList, 1);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter, 1);

    connect(NvShellTreeViewEx1, &TNvShellTreeViewEx::CheckChanged, this, [this] { UpdateButtons(); });
    connect(NvShellTreeViewEx1, &TNvShellTreeViewEx::SelectedPathChanged, this,
            &TRestoreWizard::ShowFolderInList);
    connect(ShellListView1, &QListView::doubleClicked, this, [this](const QModelIndex &index) {
        if (TShellEntry::TKind(index.data(TShellTreeModel::KindRole).toInt()) == TShellEntry::File)
            OpenListEntry();
        else
            NvShellTreeViewEx1->SelectPath(index.data(TShellTreeModel::PathRole).toString());
    });
    connect(ViewStyle, &QComboBox::currentIndexChanged, this, &TRestoreWizard::SetListStyle);
    ViewStyle->setCurrentIndex(2);
    SetListStyle(2);
}

void TRestoreWizard::BuildLocationPage()
{
    QVBoxLayout *layout = AddPage("TabSheet4", QStringLiteral("Restore Location"));
    QWidget *page = Page("TabSheet4");
    RadioButton1 = new QRadioButton(QStringLiteral("Original Location"), page);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("Custom Location"), page);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    layout->addWidget(RadioButton1);
    layout->addWidget(RadioButton2);
    ShellTreeView1 = new TNvShellTreeViewEx(page);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->SetCheckBoxes(false);
    ShellTreeView1->SetShowHidden(ShowHidden());
    ShellTreeView1->setEnabled(false);
    layout->addWidget(ShellTreeView1, 1);
    for (QRadioButton *radio : {RadioButton1, RadioButton2})
        connect(radio, &QRadioButton::toggled, this, [this] {
            ShellTreeView1->setEnabled(RadioButton2->isChecked());
            UpdateButtons();
        });
    connect(ShellTreeView1, &TNvShellTreeViewEx::SelectedPathChanged, this, [this] { UpdateButtons(); });
}

void TRestoreWizard::BuildFinishPage()
{
    QVBoxLayout *layout = AddPage("Finish", QStringLiteral("Restore :) "));
    BtnSaveandRun = new QPushButton(QStringLiteral("Restore"), Page("Finish"));
    BtnSaveandRun->setObjectName(QStringLiteral("BtnSaveandRun"));
    BtnSaveandRun->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    BtnSaveandRun->setIconSize(QSize(32, 32));
    BtnSaveandRun->setMinimumHeight(48);
    layout->addWidget(BtnSaveandRun, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(BtnSaveandRun, &QPushButton::clicked, this, &TRestoreWizard::BtnRunClick);
}

bool TRestoreWizard::IsZipJob() const
{
    return FArchiveData->ArchiveType() == atImage;
}

void TRestoreWizard::SetFileName(const QString &fileName)
{
    FFileName = fileName;
    TArchiveData &job = *FArchiveData;
    if (!fileName.isEmpty()) {
        LoadJobAsking(job, fileName);
        PattenChnage = true;
    }
    // The restore's selection starts empty.
    job.SetFolderList({});
    job.SetExcludeList({});
    job.SetFileList({});
    BackupName->setText(job.BackupName());
    FPasswordTxt = job.Password();

    FRuns = TRestoreLauncher::RestorableRuns(fileName);
    ListView1->clear();
    for (const TRestorableRun &run : std::as_const(FRuns)) {
        auto *row =
            new QTreeWidgetItem(ListView1, {run.DateTimeText, run.ArchiveFolder, run.Format, run.Status});
        for (int column = 0; column < ListView1->columnCount(); ++column)
            row->setForeground(column, StatusColour(run.Status));
    }
    if (ListView1->topLevelItemCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));

    NvShellTreeViewEx1->SetShowZipFiles(IsZipJob());
    FListModel->SetOptions([this] {
        TShellTreeModel::TOptions options;
        options.CheckBoxes = false;
        options.SelectFiles = true;
        options.ShowHidden = ShowHidden();
        options.ShowZipFiles = IsZipJob();
        if (IsZipJob())
            options.Filter = [](const TShellEntry &entry) {
                return entry.Level != 1 || entry.Kind != TShellEntry::Folder;
            };
        return options;
    }());
    ShowPage(0);
}

int TRestoreWizard::ChosenRun() const
{
    QTreeWidgetItem *current = ListView1->currentItem();
    const int index = current && current->isSelected() ? ListView1->indexOfTopLevelItem(current) : -1;
    return index >= 0 ? index : (FRuns.isEmpty() ? -1 : 0);
}

bool TRestoreWizard::NextAllowed(const QString &page) const
{
    if (page == QLatin1String("TabSheet1"))
        return !FRuns.isEmpty();
    if (page == QLatin1String("TabSheet2"))
        return !NvShellTreeViewEx1->IncludeList().isEmpty() || LbFileList->count() > 0;
    return true;
}

void TRestoreWizard::UpdateButtons()
{
    TWizardForm::UpdateButtons();
    AddFiles->setVisible(OnPage("TabSheet2"));
}

TNvShellTreeViewEx *TRestoreWizard::FolderTreeOf(const QString &page) const
{
    return page == QLatin1String("TabSheet4") ? ShellTreeView1 : nullptr;
}

bool TRestoreWizard::TakeOverPage(const QString &page)
{
    TArchiveData &job = *FArchiveData;
    if (page == QLatin1String("TabSheet1"))
        return TakeRun();
    if (page == QLatin1String("TabSheet2")) {
        job.SetFolderList(NvShellTreeViewEx1->IncludeList());
        job.SetExcludeList(NvShellTreeViewEx1->ExcludeList());
        QStringList files;
        for (int row = 0; row < LbFileList->count(); ++row)
            files << LbFileList->item(row)->text();
        job.SetFileList(files);
        return true;
    }
    if (page == QLatin1String("TabSheet4") && RadioButton2->isChecked()) {
        const QString folder = ShellTreeView1->SelectedPath();
        if (folder.isEmpty() || !DirectoryExists(folder)) {
            ShowInfoDialog(
                QStringLiteral("Can not restore to the selected folder.Please select a deferent folder."),
                QStringLiteral("Invalied Folder."), ProgramTitle, mtError);
            return false;
        }
    }
    return true;
}

bool TRestoreWizard::TakeRun()
{
    const int index = ChosenRun();
    if (index < 0)
        return false;
    const TRestorableRun &run = FRuns.at(index);
    if (IsZipJob() && !AskPassword(run))
        return false;
    if (index != FRunShown) {
        // Another run: what was chosen in the last one need not be in it.
        FRunShown = index;
        NvShellTreeViewEx1->Initialize();
        NvShellTreeViewEx1->SetRootFolder(run.Folder);
        LbFileList->clear();
        FListModel->SetRootFolder(run.Folder);
        ShellListView1->setRootIndex(FListModel->index(0, 0));
        FListModel->fetchMore(ShellListView1->rootIndex());
    }
    return true;
}

bool TRestoreWizard::AskPassword(const TRestorableRun &run)
{
    const QString stored = FArchiveData->Password();
    bool encrypted = !stored.isEmpty();
    if (!encrypted) {
        // A job that no longer keeps its password may still have encrypted
        // archives; without one the restore could only fail.
        try {
            encrypted = TRestoreLauncher::HasEncryptedArchives(run);
        } catch (const ETrovaloError &) {
            encrypted = false; // the restore reports the archive it cannot read
        }
    }
    if (!encrypted)
        return true;
    TInputBox input(this, this);
    input.setWindowTitle(ProgramTitle);
    input.SetTitle(QStringLiteral("Password ?"));
    input.SetText(QStringLiteral("Enter password for the archive."));
    input.SetMasked(true);
    input.SetAllowNumbers(true);
    input.SetValue(stored);
    const int answer = ExecModal(input);
    // Cancel keeps the preset: the stored password goes on. Without one
    // there is nothing to go on with.
    if (stored.isEmpty() ? answer != mrOk : input.Value() != stored)
        return false;
    FPasswordTxt = input.Value();
    return true;
}

void TRestoreWizard::ShowFolderInList(const QString &path)
{
    if (path.isEmpty())
        return;
    const QModelIndex index = FListModel->FindPath(path);
    if (!index.isValid())
        return;
    if (FListModel->canFetchMore(index))
        FListModel->fetchMore(index);
    ShellListView1->setRootIndex(index);
}

void TRestoreWizard::SetListStyle(int index)
{
    // "Small Icons", "List", "Details", "Tiles".
    const bool icons = index == 0 || index == 3;
    ShellListView1->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    ShellListView1->setFlow(icons ? QListView::LeftToRight : QListView::TopToBottom);
    ShellListView1->setWrapping(index != 2);
    ShellListView1->setResizeMode(QListView::Adjust);
    ShellListView1->setMovement(QListView::Static);
    const int iconSize = index == 3 ? 48 : 16;
    ShellListView1->setIconSize(QSize(iconSize, iconSize));
    ShellListView1->setGridSize(index == 0 ? QSize(140, 24) : index == 3 ? QSize(120, 80) : QSize());
    FListDelegate->Details = index == 2;
    ShellListView1->doItemsLayout();
}

void TRestoreWizard::OpenListEntry()
{
    const QModelIndex index = ShellListView1->currentIndex();
    if (!index.isValid() || index.data(TShellTreeModel::InsideArchiveRole).toBool() ||
        TShellEntry::TKind(index.data(TShellTreeModel::KindRole).toInt()) != TShellEntry::File)
        return;
    if (const std::optional<QString> native = ToNativePath(index.data(TShellTreeModel::PathRole).toString()))
        QDesktopServices::openUrl(QUrl::fromLocalFile(*native));
}

QString TRestoreWizard::RelativeToRun(const QString &path) const
{
    const QString root = NvShellTreeViewEx1->RootPath();
    QString relative = path.startsWith(root, Qt::CaseInsensitive) ? path.mid(root.size()) : path;
    while (relative.endsWith(QLatin1Char('\\')))
        relative.chop(1);
    return relative;
}

void TRestoreWizard::AddFilesClick()
{
    QModelIndexList selected = ShellListView1->selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end());
    for (const QModelIndex &index : std::as_const(selected)) {
        if (TShellEntry::TKind(index.data(TShellTreeModel::KindRole).toInt()) != TShellEntry::File)
            continue;
        const QString line = RelativeToRun(index.data(TShellTreeModel::PathRole).toString());
        if (LbFileList->findItems(line, Qt::MatchFixedString).isEmpty())
            LbFileList->addItem(line);
    }
    UpdateButtons();
}

bool TRestoreWizard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LbFileList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        RemoveFromListClick();
        return true;
    }
    return TWizardForm::eventFilter(watched, event);
}

void TRestoreWizard::RemoveFromListClick()
{
    qDeleteAll(LbFileList->selectedItems());
    UpdateButtons();
}

TRestoreSelection TRestoreWizard::Selection() const
{
    const TArchiveData &job = *FArchiveData;
    TRestoreSelection selection;
    for (const QString &folder : job.FolderList())
        selection.Items << RelativeToRun(folder);
    selection.Items << job.FileList();
    for (const QString &folder : job.ExcludeList())
        selection.Exclude << RelativeToRun(folder);
    if (RadioButton2->isChecked())
        selection.RestoreDir = ShellTreeView1->SelectedPath();
    if (IsZipJob())
        selection.Password = FPasswordTxt;
    return selection;
}

void TRestoreWizard::BtnRunClick()
{
    if (ShowYesNoDialog(
            QStringLiteral(
                "Are you sure you want to continue with restore process?  Some files will be overwritten."),
            QStringLiteral("Continue with restore ?"), ProgramTitle, mtConfirmation, false) != mrYes)
        return;
    TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    TNewDrive *console = DriveForm();
    if (!controller || !console || FRunShown < 0)
        return;
    try {
        controller->RunRestore(FFileName, *FArchiveData, FRuns.at(FRunShown), Selection(),
                               console->ThreadState());
    } catch (const ETrovaloError &error) {
        // Nothing started: the wizard stays for another choice.
        ShowInfoDialog(error.Message(), QStringLiteral("Restore"), ProgramTitle, mtError);
        return;
    }
    close();
}

} // namespace trovalo
