#include "wizards/SpaceInfoBox.h"

#include "base/SizeText.h"
#include "drives/DrivePie.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace trovalo {

namespace {
const QColor UsedColor(40, 96, 200);
const QColor AfterColor(120, 200, 90);
const QColor RequiredColor(240, 170, 40);
const QColor OverloadColor(220, 40, 40);

QList<TPieSlice> SpaceSlices(qint64 used, qint64 after, qint64 required, qint64 overload)
{
    return {{QStringLiteral("Currently Used Space"), used, UsedColor},
            {QStringLiteral("Free Space After Backup"), after, AfterColor},
            {QStringLiteral("Space Requited"), required, RequiredColor},
            {QStringLiteral("Over load"), overload, OverloadColor}};
}
} // namespace

TSpaceInfoBox::TSpaceInfoBox(const QString &title, QWidget *parent)
    : QGroupBox(title, parent)
{
    auto *layout = new QVBoxLayout(this);
    FForm = new QFormLayout;
    layout->addLayout(FForm);
    DriveName = AddRow("DriveName", QStringLiteral("Backup Drive : "));
    UsedSpace = AddRow("UsedSpace", QStringLiteral("Used  / Free Space : "));
    TotalSpace = AddRow("TotalSpace", QStringLiteral("Total Space : "));
    lblSpaceRequred = AddRow("lblSpaceRequred", QStringLiteral("Space Required : "));
    lblFilesFolders = AddRow("lblFilesFolders", QStringLiteral("Files / Folders : "));
    LblAfterBackup = AddRow("LblAfterBackup", QStringLiteral("Free Space After Backup : "));
    FChart = new TDrivePie(this);
    FChart->setObjectName(QStringLiteral("Chart"));
    FChart->SetCaptions(SpaceSlices(0, 0, 0, 0));
    layout->addWidget(FChart, 1);
}

QLabel *TSpaceInfoBox::AddRow(const char *name, const QString &caption)
{
    auto *value = new QLabel(this);
    value->setObjectName(QLatin1String(name));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FForm->addRow(caption, value);
    return value;
}

void TSpaceInfoBox::AddButton(QWidget *button)
{
    FForm->addRow(button);
}

void TSpaceInfoBox::SetDriveName(const QString &drive)
{
    DriveName->setText(drive);
}

void TSpaceInfoBox::SetDiskSpace(qint64 free, qint64 total)
{
    FFree = free;
    FTotal = total;
    const bool known = free >= 0 && total >= 0;
    UsedSpace->setText(known ? SizeText(total - free) + QStringLiteral(" / ") + SizeText(free) : QString());
    TotalSpace->setText(known ? SizeText(total) : QString());
    LblAfterBackup->clear();
    FChart->Clear();
}

void TSpaceInfoBox::SetCounting()
{
    lblSpaceRequred->setText(QStringLiteral("Counting…"));
    lblFilesFolders->setText(QStringLiteral("Counting…"));
}

void TSpaceInfoBox::SetRequired(qint64 size, qint64 files, qint64 folders)
{
    lblSpaceRequred->setText(SizeText(size));
    lblFilesFolders->setText(QString::number(files) + QStringLiteral(" / ") + QString::number(folders));
    if (FFree < 0 || FTotal < 0) {
        LblAfterBackup->clear();
        FChart->Clear();
        return;
    }
    const qint64 after = FFree - size;
    LblAfterBackup->setText(SizeText(after));
    FChart->SetSlices(SpaceSlices(FTotal - FFree, after > 0 ? after : 0, size, after > 0 ? 0 : size - FFree));
}

} // namespace trovalo
