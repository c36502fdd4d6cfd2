#include "drives/DriveSpace.h"

#include "base/PathText.h"
#include "base/SizeText.h"
#include "engine/FolderSizeCollection.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trovalo {

const QColor TDriveSpace::LotOfSpaceColor(17, 136, 255);
const QColor TDriveSpace::LowSpaceColor(255, 128, 0);
const QColor TDriveSpace::NoSpaceColor(255, 0, 128);
const QColor TDriveSpace::NotAvailableColor(0, 128, 64);

namespace {
enum TColumn { colDrive, colSize, colFree, colRequired, colFreeAfter, colCount };

QString SizeOrNotAvailable(qint64 bytes)
{
    return bytes < 0 ? QStringLiteral("N/A") : SizeText(bytes);
}

QLabel *LegendLabel(const QString &name, const QString &text, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}
} // namespace

TDriveSpace::TDriveSpace(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    DriveList = new QTreeWidget(this);
    DriveList->setObjectName(QStringLiteral("DriveList"));
    DriveList->setColumnCount(colCount);
    DriveList->setHeaderLabels({QStringLiteral("Drive"), QStringLiteral("Size"), QStringLiteral("Free"),
                                QStringLiteral("Required"), QStringLiteral("Free After Action")});
    for (int column = colSize; column < colCount; ++column)
        DriveList->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    DriveList->setRootIsDecorated(false);
    DriveList->setSelectionMode(QAbstractItemView::NoSelection);
    DriveList->setSortingEnabled(true);
    DriveList->sortByColumn(colDrive, Qt::AscendingOrder);
    DriveList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(DriveList, 1);

    auto *legend = new QGridLayout;
    legend->addWidget(LegendLabel(QStringLiteral("LotOfSpaceLabel"),
                                  QStringLiteral("Lot of free space on disk"), LotOfSpaceColor, this),
                      0, 0);
    legend->addWidget(LegendLabel(QStringLiteral("LowSpaceLabel"), QStringLiteral("Low on disk space"),
                                  LowSpaceColor, this),
                      0, 1);
    legend->addWidget(LegendLabel(QStringLiteral("NoSpaceLabel"), QStringLiteral("Not enugh disk space"),
                                  NoSpaceColor, this),
                      1, 0);
    legend->addWidget(LegendLabel(QStringLiteral("NotAvailableLabel"), QStringLiteral("Not not avalable"),
                                  NotAvailableColor, this),
                      1, 1);
    layout->addLayout(legend);
}

TDriveSpace::~TDriveSpace() = default;

QColor TDriveSpace::RowColor(const TDriveData &Drive)
{
    if (Drive.FreeSapce() == -1)
        return NotAvailableColor;
    const qint64 after = Drive.FreeSapce() - Drive.SapceRequited();
    if (after < 0)
        return NoSpaceColor;
    if (after > Drive.TotalSpace() / 10)
        return LotOfSpaceColor;
    return LowSpaceColor;
}

QString TDriveSpace::FreeAfterText(const TDriveData &Drive)
{
    if (Drive.FreeSapce() == -1)
        return QStringLiteral("N/A");
    return SizeText(Drive.FreeSapce() - Drive.SapceRequited());
}

void TDriveSpace::Require(const QString &Path, qint64 Bytes)
{
    const QString drivePart = ExtractFileDrive(Path);
    if (drivePart.isEmpty())
        return; // a relative name lies on no drive
    const QString drive = IncludeTrailingBackslash(drivePart);
    TDriveData *data = FDrives.Find(drive);
    if (!data)
        data = FDrives.Add(drive);
    // A size still being measured (-1) adds nothing yet.
    if (Bytes > 0)
        data->SetSapceRequited(data->SapceRequited() + Bytes);
}

void TDriveSpace::AddRow(const TDriveData &Drive)
{
    auto *row = new QTreeWidgetItem(DriveList);
    row->setText(colDrive, Drive.Drive());
    row->setText(colSize, SizeOrNotAvailable(Drive.TotalSpace()));
    row->setText(colFree, SizeOrNotAvailable(Drive.FreeSapce()));
    row->setText(colRequired, SizeText(Drive.SapceRequited()));
    row->setText(colFreeAfter, FreeAfterText(Drive));
    const QColor color = RowColor(Drive);
    for (int column = 0; column < colCount; ++column) {
        row->setForeground(column, color);
        if (column != colDrive)
            row->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TDriveSpace::Refresh()
{
    DriveList->clear();
    FDrives.Clear();
    if (FFileCollectionA && FFileCollectionB) {
        const foldersize::TFileCollection &a = *FFileCollectionA;
        const foldersize::TFileCollection &b = *FFileCollectionB;
        // What lies on B is written to A's drive, and the other way round.
        for (int i = 0; i < b.Count(); ++i)
            if (i < a.Count())
                Require(a.Root() + a.Items(i)->FileName(), b.Items(i)->FileSize());
        for (int i = 0; i < a.Count(); ++i)
            if (i < b.Count())
                Require(b.Root() + b.Items(i)->FileName(), a.Items(i)->FileSize());
    }
    for (int i = 0; i < FDrives.Count(); ++i)
        AddRow(*FDrives.Items(i));
}

} // namespace trovalo
