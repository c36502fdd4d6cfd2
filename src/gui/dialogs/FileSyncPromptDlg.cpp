#include "dialogs/FileSyncPromptDlg.h"

#include "MessageBoxes.h"
#include "base/DateTimeText.h"
#include "base/PathText.h"
#include "engine/SyncFileData.h"
#include "platform/DriveTable.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeDatabase>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trovalo {

namespace {

constexpr int PairRole = Qt::UserRole;
constexpr int IconRole = Qt::UserRole + 1;
constexpr int ColumnName = 0;
constexpr int ColumnUsbDrive = 1;
constexpr int ColumnComputer = 2;
constexpr int ColumnAction = 3;
constexpr int FolderIcon = 0;
constexpr int UnknownIcon = 1;
constexpr int LargeIconSize = 32;

const QString NotShownYet = QStringLiteral("N / A");
const QString NotShown = QStringLiteral("N/A");
const QString NotFound = QStringLiteral("File Not Found");
const QString BothExist = QStringLiteral("This file exists and is different on two side");

const TFileSyncPromptDlg::TConflictChoice AllChoices[] = {
    TFileSyncPromptDlg::ccDoNothing, TFileSyncPromptDlg::ccComputerVersion,
    TFileSyncPromptDlg::ccUsbDriveVersion, TFileSyncPromptDlg::ccNewestVersion};

// A row sorts by its name as the user reads it (letter case aside); equal
// names by their folder on the USB drive, so the order never depends on
// the order the engine met them in.
class TConflictRow : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int byName = text(ColumnName).compare(other.text(ColumnName), Qt::CaseInsensitive);
        if (byName != 0)
            return byName < 0;
        const int byCase = text(ColumnName).compare(other.text(ColumnName));
        if (byCase != 0)
            return byCase < 0;
        // The tool tip holds the whole path on the USB drive.
        return data(ColumnName, Qt::ToolTipRole).toString() <
               other.data(ColumnName, Qt::ToolTipRole).toString();
    }
};

// Grid lines between the cells, which a tree view does not draw itself.
class TGridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

// A path that may be longer than its label: the middle gives way, the
// label keeps the whole text.
class TPathLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        painter.setFont(font());
        painter.drawText(area, int(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

QString SizeTextOf(qint64 size)
{
    TFileData file;
    file.FFileSize = size;
    return file.SizeText();
}

// A missing side has no date to show.
QString DateTextOf(qint64 size, TDateTime date)
{
    return size < 0 ? QString() : DateTimeText(date);
}

QString FolderOf(const QString &letterPath)
{
    const QString folder = ExtractFilePath(letterPath);
    return ToNativePath(folder).value_or(folder);
}

QIcon ThemeIcon(const QString &name, const QString &generic, QStyle::StandardPixmap standard)
{
    return QIcon::fromTheme(name, QIcon::fromTheme(generic, QApplication::style()->standardIcon(standard)));
}

QLabel *ValueLabel(QWidget *parent, const char *name, bool path)
{
    QLabel *label = path ? new TPathLabel(NotShownYet, parent) : new QLabel(NotShownYet, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

QString TFileSyncPromptDlg::ChoiceText(TConflictChoice choice)
{
    switch (choice) {
    case ccDoNothing:
        return QStringLiteral("Do nothing");
    case ccComputerVersion:
        return QStringLiteral("Use this computer's version");
    case ccUsbDriveVersion:
        return QStringLiteral("Use this USB drive's version");
    case ccNewestVersion:
        break;
    }
    return QStringLiteral("Use the newest version");
}

QColor TFileSyncPromptDlg::ChoiceColor(TConflictChoice choice)
{
    switch (choice) {
    case ccDoNothing:
        return QColor(255, 0, 128);
    case ccComputerVersion:
        return QColor(0, 145, 72);
    case ccUsbDriveVersion:
        return QColor(114, 174, 0);
    case ccNewestVersion:
        break;
    }
    return QColor(0, 128, 255);
}

TFileSyncPromptDlg::TFileSyncPromptDlg(QWidget *parent, QWidget *BlendForm)
    : TParentDialog(parent, BlendForm)
{
    BuildControls();
    // Positions 0 and 1 exist before any extension is met.
    FFileExtList << QStringLiteral("folder") << QStringLiteral("unknown");
    FFileTypeList << QStringLiteral("File Folder") << QStringLiteral("Unknown File");
    FFileIcons << ThemeIcon(QStringLiteral("folder"), QString(), QStyle::SP_DirIcon)
               << ThemeIcon(QStringLiteral("application-octet-stream"), QStringLiteral("unknown"),
                            QStyle::SP_FileIcon);
}

TFileSyncPromptDlg::~TFileSyncPromptDlg() = default;

void TFileSyncPromptDlg::BuildControls()
{
    setWindowTitle(QStringLiteral("File Conflicts"));
    Label1 = new QLabel(QStringLiteral("Resolving Conflicts"), this);
    Label2 = new QLabel(
        QStringLiteral("A conflict occurs when there are two files with the same name and location (on "
                       "computer and USB drive),but with different contents or attributes. How should it "
                       "be handled? Please select the resolving conflict action.\nTips: double click the "
                       "file from the list, will open it on both folders."),
        this);
    SetUpTitleAndText(Label1, Label2);

    ListView = new QTreeWidget(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("USB Drive"),
                               QStringLiteral("Computer"), QStringLiteral("Action")});
    ListView->setRootIsDecorated(false);
    ListView->setUniformRowHeights(true);
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setIconSize(QSize(16, 16));
    ListView->setItemDelegate(new TGridDelegate(ListView));
    ListView->setSortingEnabled(true);
    ListView->sortByColumn(ColumnName, Qt::AscendingOrder);
    ListView->header()->setSectionsClickable(false);
    ListView->header()->setSortIndicatorShown(false);
    ListView->header()->setStretchLastSection(false);
    ListView->setColumnWidth(ColumnName, 220);
    for (int column : {ColumnUsbDrive, ColumnComputer, ColumnAction})
        ListView->setColumnWidth(column, 157);
    ListView->setMinimumHeight(160);
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto *openInExplorer = new QAction(QStringLiteral("Open in Explorer"), this);
    openInExplorer->setObjectName(QStringLiteral("OpeninExplorer1"));
    PopupMenu1->addAction(openInExplorer);
    PopupMenu1->setDefaultAction(openInExplorer);
    connect(openInExplorer, &QAction::triggered, this, [this] { OpenInExplorer(); });
    connect(ListView, &QTreeWidget::itemDoubleClicked, this, [this] { OpenInExplorer(); });
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(ListView->viewport()->mapToGlobal(at)); });
    connect(ListView, &QTreeWidget::itemSelectionChanged, this, &TFileSyncPromptDlg::ListSelectionChanged);
    // The panel follows the current row too (Ctrl and an arrow key move it
    // without selecting).
    connect(ListView, &QTreeWidget::currentItemChanged, this, &TFileSyncPromptDlg::ListSelectionChanged);

    Action = new QGroupBox(QStringLiteral("Resolving conflict action"), this);
    Action->setObjectName(QStringLiteral("Action"));
    FActionButtons = new QButtonGroup(this);
    auto *actionGrid = new QGridLayout(Action);
    const char *radioNames[] = {"ActionDoNothing", "ActionComputerVersion", "ActionUsbDriveVersion",
                                "ActionNewestVersion"};
    for (TConflictChoice choice : AllChoices) {
        auto *radio = new QRadioButton(ChoiceText(choice), Action);
        radio->setObjectName(QString::fromLatin1(radioNames[choice]));
        FActionButtons->addButton(radio, choice);
        // Two columns, filled down the first one first.
        actionGrid->addWidget(radio, choice % 2, choice / 2);
    }
    // Every click counts, also on the entry already checked: with several
    // rows selected it applies that entry to all of them.
    connect(FActionButtons, &QButtonGroup::idClicked, this, &TFileSyncPromptDlg::ActionClicked);
    Action->setEnabled(false);

    chkRepeat = new QCheckBox(QStringLiteral("Repeat selected action for all other conflicts"), this);
    chkRepeat->setObjectName(QStringLiteral("chkRepeat"));
    chkRepeat->setEnabled(false);
    connect(chkRepeat, &QCheckBox::toggled, this, &TFileSyncPromptDlg::RepeatToggled);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Image1 = new QLabel(GroupBox1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(LargeIconSize, LargeIconSize);
    FileName = ValueLabel(GroupBox1, "FileName", true);
    QFont bold = FileName->font();
    bold.setBold(true);
    FileName->setFont(bold);
    FileType = new QLabel(GroupBox1);
    FileType->setObjectName(QStringLiteral("FileType"));
    DifferLabel = new QLabel(BothExist, GroupBox1);
    DifferLabel->setObjectName(QStringLiteral("DifferLabel"));
    DifferLabel->setWordWrap(true);
    PCSize = ValueLabel(GroupBox1, "PCSize", false);
    PCDate = ValueLabel(GroupBox1, "PCDate", false);
    PCFolder = ValueLabel(GroupBox1, "PCFolder", true);
    USBSize = ValueLabel(GroupBox1, "USBSize", false);
    USBDate = ValueLabel(GroupBox1, "USBDate", false);
    USBFolder = ValueLabel(GroupBox1, "USBFolder", true);

    auto *names = new QVBoxLayout;
    names->addWidget(FileName);
    names->addWidget(FileType);
    auto *heading = new QHBoxLayout;
    heading->addWidget(Image1);
    heading->addLayout(names, 1);
    auto *values = new QGridLayout;
    values->addWidget(new QLabel(QStringLiteral("Computer"), GroupBox1), 0, 1);
    values->addWidget(new QLabel(QStringLiteral("USB Drive"), GroupBox1), 0, 2);
    values->addWidget(new QLabel(QStringLiteral("Size"), GroupBox1), 1, 0);
    values->addWidget(new QLabel(QStringLiteral("Modfied"), GroupBox1), 2, 0);
    values->addWidget(new QLabel(QStringLiteral("Location"), GroupBox1), 3, 0);
    values->addWidget(PCSize, 1, 1);
    values->addWidget(PCDate, 2, 1);
    values->addWidget(PCFolder, 3, 1);
    values->addWidget(USBSize, 1, 2);
    values->addWidget(USBDate, 2, 2);
    values->addWidget(USBFolder, 3, 2);
    values->setColumnStretch(1, 1);
    values->setColumnStretch(2, 1);
    auto *details = new QVBoxLayout(GroupBox1);
    details->addLayout(heading);
    details->addWidget(DifferLabel);
    details->addLayout(values);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    PngSpeedButton1 = new QPushButton(QStringLiteral("Cancel"), this);
    PngSpeedButton1->setObjectName(QStringLiteral("PngSpeedButton1"));
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(PngSpeedButton1, &QPushButton::clicked, this, [this] { done(mrCancel); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(PngSpeedButton1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(ListView, 1);
    layout->addWidget(Action);
    layout->addWidget(chkRepeat);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    resize(760, 640);
}

QString TFileSyncPromptDlg::Title() const
{
    return Label1->text();
}

void TFileSyncPromptDlg::SetTitle(const QString &title)
{
    Label1->setText(title);
}

QString TFileSyncPromptDlg::Text() const
{
    return Label2->text();
}

void TFileSyncPromptDlg::SetText(const QString &text)
{
    Label2->setText(text);
}

void TFileSyncPromptDlg::AddConflicts(const QList<TSyncConflict> &conflicts)
{
    for (const TSyncConflict &pair : conflicts) {
        auto *row = new TConflictRow;
        const int icon = GetIconIndex(ExtractFileExt(pair.FileA));
        row->setText(ColumnName, ExtractFileName(pair.FileA));
        row->setData(ColumnName, Qt::ToolTipRole, pair.FileA);
        row->setData(ColumnName, PairRole, int(FPairs.size()));
        row->setData(ColumnName, IconRole, icon);
        row->setIcon(ColumnName, FFileIcons.at(icon));
        row->setText(ColumnUsbDrive, pair.SizeA < 0 ? NotFound : DateTimeText(pair.DateA));
        row->setText(ColumnComputer, pair.SizeB < 0 ? NotFound : DateTimeText(pair.DateB));
        FPairs << pair;
        SetRowChoice(row, ccNewestVersion);
        ListView->addTopLevelItem(row);
    }
}

TFileSyncPromptDlg::TConflictChoice TFileSyncPromptDlg::Choice(int pair) const
{
    for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = ListView->topLevelItem(i);
        if (row->data(ColumnName, PairRole).toInt() == pair)
            return RowChoice(row);
    }
    return ccNewestVersion;
}

void TFileSyncPromptDlg::ApplyChoices(QList<TSyncConflict> &conflicts) const
{
    for (int i = 0; i < conflicts.size(); ++i) {
        switch (Choice(i)) {
        case ccDoNothing:
            conflicts[i].Action = faSkip;
            break;
        case ccComputerVersion:
            conflicts[i].Action = faCopyBA;
            break;
        case ccUsbDriveVersion:
            conflicts[i].Action = faCopyAB;
            break;
        case ccNewestVersion:
            break;
        }
    }
}

int TFileSyncPromptDlg::GetIconIndex(const QString &FileExt)
{
    if (FileExt.isEmpty())
        return UnknownIcon;
    const QString ext = FileExt.toLower();
    // From position 2: "folder" and "unknown" are names, not extensions.
    const qsizetype known = FFileExtList.indexOf(ext, 2);
    if (known >= 0)
        return int(known);
    const QString bare = ext.startsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
    const QMimeType mime =
        QMimeDatabase().mimeTypeForFile(QStringLiteral("file.") + bare, QMimeDatabase::MatchExtension);
    FFileExtList << ext;
    // An extension no type knows is named after itself, as the desktop does.
    FFileTypeList << (mime.isDefault() ? bare.toUpper() + QStringLiteral(" File") : mime.comment());
    FFileIcons << ThemeIcon(mime.iconName(), mime.genericIconName(), QStyle::SP_FileIcon);
    return int(FFileExtList.size() - 1);
}

QStringList TFileSyncPromptDlg::OpenInExplorer()
{
    const QTreeWidgetItem *row = ShownRow();
    if (!row)
        return {};
    const TSyncConflict &pair = FPairs.at(row->data(ColumnName, PairRole).toInt());
    QStringList files;
    for (const auto &[file, size] : {std::pair{pair.FileA, pair.SizeA}, std::pair{pair.FileB, pair.SizeB}}) {
        // A deleted side has no file to select.
        if (size < 0)
            continue;
        if (const std::optional<QString> native = ToNativePath(file))
            files << *native;
    }
    if (files.isEmpty())
        return files;
    if (!FFileManager)
        FFileManager.emplace();
    FFileManager->Show(files);
    return files;
}

bool TFileSyncPromptDlg::Ask(QWidget *parent, QList<TSyncConflict> &conflicts)
{
    TFileSyncPromptDlg dialog(parent, parent);
    dialog.AddConflicts(conflicts);
    if (ExecModal(dialog) != mrOk)
        return false;
    dialog.ApplyChoices(conflicts);
    return true;
}

void TFileSyncPromptDlg::ListSelectionChanged()
{
    FLoading = true;
    const bool any = !ListView->selectedItems().isEmpty();
    Action->setEnabled(any);
    chkRepeat->setEnabled(any);
    if (const QTreeWidgetItem *row = ShownRow())
        ShowPair(row);
    else
        ClearDetails();
    FLoading = false;
}

void TFileSyncPromptDlg::ActionClicked(int choice)
{
    if (FLoading)
        return;
    for (QTreeWidgetItem *row : ListView->selectedItems())
        SetRowChoice(row, TConflictChoice(choice));
}

void TFileSyncPromptDlg::RepeatToggled()
{
    // Checking and unchecking both copy the group's entry to every row. The
    // box is disabled until a row is selected; should it change before the
    // group ever had an entry, there is nothing to copy and every row keeps
    // its answer.
    if (FLoading || FActionButtons->checkedId() < 0)
        return;
    const TConflictChoice choice = TConflictChoice(FActionButtons->checkedId());
    for (int i = 0; i < ListView->topLevelItemCount(); ++i)
        SetRowChoice(ListView->topLevelItem(i), choice);
}

void TFileSyncPromptDlg::SetRowChoice(QTreeWidgetItem *row, TConflictChoice choice)
{
    row->setText(ColumnAction, ChoiceText(choice));
    const QBrush colour(ChoiceColor(choice));
    for (int column = 0; column < ListView->columnCount(); ++column)
        row->setForeground(column, colour);
}

TFileSyncPromptDlg::TConflictChoice TFileSyncPromptDlg::RowChoice(const QTreeWidgetItem *row) const
{
    for (TConflictChoice choice : AllChoices) {
        if (row->text(ColumnAction) == ChoiceText(choice))
            return choice;
    }
    return ccNewestVersion;
}

QTreeWidgetItem *TFileSyncPromptDlg::ShownRow() const
{
    QTreeWidgetItem *current = ListView->currentItem();
    if (current && current->isSelected())
        return current;
    for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
        if (ListView->topLevelItem(i)->isSelected())
            return ListView->topLevelItem(i);
    }
    return nullptr;
}

void TFileSyncPromptDlg::ShowPair(const QTreeWidgetItem *row)
{
    const TSyncConflict &pair = FPairs.at(row->data(ColumnName, PairRole).toInt());
    FActionButtons->button(RowChoice(row))->setChecked(true);
    FileName->setText(row->text(ColumnName));
    FileName->setToolTip(row->text(ColumnName));
    PCSize->setText(SizeTextOf(pair.SizeB));
    USBSize->setText(SizeTextOf(pair.SizeA));
    PCDate->setText(DateTextOf(pair.SizeB, pair.DateB));
    USBDate->setText(DateTextOf(pair.SizeA, pair.DateA));
    PCFolder->setText(FolderOf(pair.FileB));
    PCFolder->setToolTip(PCFolder->text());
    USBFolder->setText(FolderOf(pair.FileA));
    USBFolder->setToolTip(USBFolder->text());
    const int icon = row->data(ColumnName, IconRole).toInt();
    Image1->setPixmap(FFileIcons.at(icon).pixmap(LargeIconSize, LargeIconSize));
    FileType->setText(FFileTypeList.at(icon));
    // The engine deletes the remaining copy when the deleted side's version
    // is chosen; the user must know before choosing it.
    if (pair.SizeA < 0)
        DifferLabel->setText(
            QStringLiteral("This file was deleted from the USB drive. Choosing the USB drive's version "
                           "deletes it from this computer as well."));
    else if (pair.SizeB < 0)
        DifferLabel->setText(
            QStringLiteral("This file was deleted from this computer. Choosing this computer's version "
                           "deletes it from the USB drive as well."));
    else
        DifferLabel->setText(BothExist);
}

void TFileSyncPromptDlg::ClearDetails()
{
    FileName->setText(NotShown);
    FileName->setToolTip(NotShown);
    for (QLabel *label : {PCSize, PCDate, PCFolder, USBSize, USBDate, USBFolder})
        label->setText(NotShown);
    PCFolder->setToolTip(NotShown);
    USBFolder->setToolTip(NotShown);
    FileType->clear();
    Image1->clear();
    DifferLabel->setText(BothExist);
}

} // namespace trovalo
