#include "drives/USBSelect.h"

#include <QLabel>
#include <QVBoxLayout>

namespace trovalo {

TUSBSelect::TUSBSelect(QWidget *parent)
    : TDriveSelectDialog(parent)
{
    auto *text =
        new QLabel(QStringLiteral("Choose one USB drive to backup Data from. if you don\u2019t see your "
                                  "drive listed below, insert USB drive and click \u201CRefresh Drive "
                                  "List\u201D."),
                   this);
    text->setObjectName(QStringLiteral("Label1"));
    text->setWordWrap(true);
    IntroArea()->addWidget(text);
}

TUSBSelect::~TUSBSelect() = default;

void TUSBSelect::SetHostDrive(const QString &Value)
{
    FHostDrive = Value;
    RefreshList();
}

} // namespace trovalo
