#include "drives/DriveSelectDialog.h"

#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "base/SizeText.h"
#include "drives/DrivePie.h"
#include "model/ProgramIdentity.h"
#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trovalo {

namespace {
const QString NoDriveName = QStringLiteral("N/A");
const QString NoUsedSpace = QStringLiteral("0.00 Gb / 0.00 Gb");
const QString NoTotalSpace = QStringLiteral("0.00 Gb");
const QString InputErrorTitle = QStringLiteral("Errors In Input.");
constexpr int RootRole = Qt::UserRole;

// The drive list moves with the arrow keys only: typed letters would jump
// to a drive the user did not mean.
class TDriveListView : public QTreeWidget
{
public:
    using QTreeWidget::QTreeWidget;
    void keyboardSearch(const QString &) override {}
};

// "STICK (E:)", as the file manager names a drive.
QString DisplayName(const TDriveInfo &drive)
{
    QString name = drive.Label;
    if (name.isEmpty())
        name = drive.BusType == QLatin1String("USB") ? QStringLiteral("USB Drive")
                                                     : QStringLiteral("Local Disk");
    return QStringLiteral("%1 (%2:)").arg(name, QString(drive.Letter));
}

QLabel *Caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel *Value(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton *Button(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}
} // namespace

TDriveSelectDialog::TDriveSelectDialog(QWidget *parent)
    : QDialog(parent)
    , FInterfaceTable(&TDriveInterfaceType::Instance())
{
    setWindowTitle(ProgramTitle);
    auto *layout = new QVBoxLayout(this);

    FIntroArea = new QVBoxLayout;
    layout->addLayout(FIntroArea);

    ShellListView1 = new TDriveListView(this);
    ShellListView1->setObjectName(QStringLiteral("ShellListView1"));
    ShellListView1->setColumnCount(2);
    ShellListView1->setHeaderLabels({tr("Drive"), tr("Mounted at")});
    ShellListView1->setRootIsDecorated(false);
    ShellListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellListView1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ShellListView1->setMinimumHeight(120);
    layout->addWidget(ShellListView1, 1);

    auto *details = new QHBoxLayout;
    auto *grid = new QGridLayout;
    DriveName = Value(QStringLiteral("DriveName"), NoDriveName, this);
    UsedSpace = Value(QStringLiteral("UsedSpace"), NoUsedSpace, this);
    TotalSpace = Value(QStringLiteral("TotalSpace"), NoTotalSpace, this);
    grid->addWidget(Caption(QStringLiteral("Drive Name : "), this), 0, 0);
    grid->addWidget(DriveName, 0, 1);
    grid->addWidget(Caption(QStringLiteral("Used  / Free Space : "), this), 1, 0);
    grid->addWidget(UsedSpace, 1, 1);
    grid->addWidget(Caption(QStringLiteral("Total Space : "), this), 2, 0);
    grid->addWidget(TotalSpace, 2, 1);
    grid->setRowStretch(3, 1);
    details->addLayout(grid, 1);
    NvPieChart1 = new TDrivePie(this);
    NvPieChart1->setObjectName(QStringLiteral("NvPieChart1"));
    details->addWidget(NvPieChart1);
    layout->addLayout(details);

    FOptionsArea = new QVBoxLayout;
    layout->addLayout(FOptionsArea);

    auto *buttons = new QHBoxLayout;
    btnRefresh = Button(QStringLiteral("btnRefresh"), QStringLiteral("Refresh Drive List"), this);
    OKBtn = Button(QStringLiteral("OKBtn"), QStringLiteral("Next"), this);
    PngSpeedButton1 = Button(QStringLiteral("PngSpeedButton1"), QStringLiteral("Cancel"), this);
    buttons->addWidget(btnRefresh);
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(PngSpeedButton1);
    layout->addLayout(buttons);

    connect(ShellListView1, &QTreeWidget::itemSelectionChanged, this, &TDriveSelectDialog::ShowSelection);
    connect(ShellListView1, &QTreeWidget::itemDoubleClicked, this, [this] { Next(); });
    connect(btnRefresh, &QPushButton::clicked, this, &TDriveSelectDialog::RefreshDriveList);
    connect(OKBtn, &QPushButton::clicked, this, &TDriveSelectDialog::Next);
    connect(PngSpeedButton1, &QPushButton::clicked, this, &QDialog::reject);

    resize(520, 460);
    RefreshList();
}

TDriveSelectDialog::~TDriveSelectDialog() = default;

void TDriveSelectDialog::SetDriveTypes(const QString &Value)
{
    FDriveTypes = Value.toUpper();
    RefreshList();
}

void TDriveSelectDialog::SetInterfaceTable(TDriveInterfaceType *table)
{
    FInterfaceTable = table ? table : &TDriveInterfaceType::Instance();
    RefreshList();
}

bool TDriveSelectDialog::Listed(const TDriveInfo &drive) const
{
    const QString root = drive.LetterRoot();
    if (!root.contains(QLatin1Char(':')))
        return false;
    if (FDriveTypes.isEmpty())
        return true;
    const QString type = FInterfaceTable->GetInterfaceType(root.at(0).toUpper());
    // An unknown bus never matches a filter.
    return !type.isEmpty() && FDriveTypes.contains(type);
}

void TDriveSelectDialog::RefreshList()
{
    const QString selected = SelectedRoot();
    ShellListView1->clear();
    for (const TDriveInfo &drive : TDriveTable::Instance().Drives()) {
        if (!Listed(drive))
            continue;
        auto *item = new QTreeWidgetItem(ShellListView1, {DisplayName(drive), drive.Root});
        item->setData(0, RootRole, drive.LetterRoot());
        item->setToolTip(0, drive.Root);
        item->setToolTip(1, drive.Root);
    }
    if (!selected.isEmpty())
        SelectDrive(selected);
    ShowSelection();
}

void TDriveSelectDialog::RefreshDriveList()
{
    FInterfaceTable->Refresh();
    RefreshList();
}

QString TDriveSelectDialog::SelectedRoot() const
{
    const QList<QTreeWidgetItem *> selected = ShellListView1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(0, RootRole).toString();
}

bool TDriveSelectDialog::SelectDrive(const QString &root)
{
    for (int i = 0; i < ShellListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = ShellListView1->topLevelItem(i);
        if (item->data(0, RootRole).toString().compare(root, Qt::CaseInsensitive) == 0) {
            ShellListView1->setCurrentItem(item);
            item->setSelected(true);
            return true;
        }
    }
    return false;
}

QStringList TDriveSelectDialog::ListedRoots() const
{
    QStringList roots;
    for (int i = 0; i < ShellListView1->topLevelItemCount(); ++i)
        roots << ShellListView1->topLevelItem(i)->data(0, RootRole).toString();
    return roots;
}

void TDriveSelectDialog::ShowSelection()
{
    const QList<QTreeWidgetItem *> selected = ShellListView1->selectedItems();
    if (selected.isEmpty()) {
        DriveName->setText(NoDriveName);
        UsedSpace->setText(NoUsedSpace);
        TotalSpace->setText(NoTotalSpace);
        NvPieChart1->Clear();
        return;
    }
    DriveName->setText(selected.first()->text(0));
    const std::optional<TDiskSpace> space = DiskSpace(selected.first()->data(0, RootRole).toString());
    if (!space) {
        UsedSpace->setText(QStringLiteral("N/A / N/A"));
        TotalSpace->setText(QStringLiteral("N/A"));
        NvPieChart1->Clear();
        return;
    }
    const qint64 used = space->Total - space->Free;
    UsedSpace->setText(SizeText(used) + QStringLiteral(" / ") + SizeText(space->Free));
    TotalSpace->setText(SizeText(space->Total));
    NvPieChart1->SetValues(used, space->Free);
}

bool TDriveSelectDialog::PrepareDrive(const QString &)
{
    return true;
}

void TDriveSelectDialog::Next()
{
    const QString root = SelectedRoot();
    if (root.isEmpty()) {
        ShowInfoDialog(QStringLiteral("No drive is selected. Please select a drive."), InputErrorTitle,
                       ProgramTitle, mtError);
        return;
    }
    if (!DirectoryExists(root)) {
        ShowInfoDialog(QStringLiteral("Selected drive cannot be opened. Please select a deferent drive."),
                       InputErrorTitle, ProgramTitle, mtError);
        return;
    }
    try {
        if (!PrepareDrive(root))
            return;
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QString(), ProgramTitle, mtError);
        return;
    } catch (const std::exception &error) {
        ShowInfoDialog(QString::fromLocal8Bit(error.what()), QString(), ProgramTitle, mtError);
        return;
    }
    FDefaultStr = root;
    accept();
}

} // namespace trovalo
