#include "drives/OpenFlash.h"

#include "control/DriveConfig.h"
#include "platform/VolumeInfo.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace trovalo {

namespace {
QLabel *Text(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setWordWrap(false);
    return label;
}
} // namespace

TOpenFlash::TOpenFlash(QWidget *parent)
    : TDriveSelectDialog(parent)
    , FPCID(ComputePCID())
{
    IntroArea()->addWidget(
        Text(QStringLiteral("Label1"),
             QStringLiteral("The easy and simple way to backup, synchronize and move your files \n"
                            "between computers and USB storage devices."),
             this));
    IntroArea()->addWidget(
        Text(QStringLiteral("Label2"),
             QStringLiteral("Choose one USB drive to Configure for automatic backup, sync and \n"
                            "move, if you don\u2019t see your drive listed below, insert your USB drive \n"
                            "and click \u201CRefresh Drive List\u201D."),
             this));
    ChkAutoLoad = new QCheckBox(QStringLiteral("Automatically load the USB drive next time"), this);
    ChkAutoLoad->setObjectName(QStringLiteral("ChkAutoLoad"));
    OptionsArea()->addWidget(ChkAutoLoad);
}

TOpenFlash::~TOpenFlash() = default;

bool TOpenFlash::PrepareDrive(const QString &root)
{
    if (!CheckDrive(root, FPCID).Known)
        AddPCToDrive(root, FPCID, ChkAutoLoad->isChecked());
    return true;
}

} // namespace trovalo
