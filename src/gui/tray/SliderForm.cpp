#include "tray/SliderForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trovalo {

namespace {

const QString AutoCloseCaption = QStringLiteral("Auto Close");
constexpr int CountdownStepMs = 500;

} // namespace

TSliderForm::TSliderForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("SliderForm"));
    setWindowTitle(QStringLiteral("Running jobs"));
    setFixedSize(316, 194);

    ListView = new QTreeWidget(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setColumnCount(2);
    ListView->setHeaderLabels({QStringLiteral("Job Name"), QStringLiteral("Action")});
    ListView->setRootIsDecorated(false);
    ListView->setUniformRowHeights(true);
    ListView->setIconSize(QSize(16, 16));
    ListView->header()->setStretchLastSection(true);
    ListView->setColumnWidth(0, 120);

    // Lies over the list, in the same cell, while there is no row.
    Panel = new QLabel(QStringLiteral("No job is  running..."), this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setAlignment(Qt::AlignCenter);
    Panel->setAttribute(Qt::WA_TransparentForMouseEvents);

    CloseBtn = new QPushButton(QStringLiteral("Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    cbAutoClose = new QCheckBox(AutoCloseCaption, this);
    cbAutoClose->setObjectName(QStringLiteral("cbAutoClose"));
    cbAutoClose->setChecked(true);

    auto *listCell = new QGridLayout;
    listCell->addWidget(ListView, 0, 0);
    listCell->addWidget(Panel, 0, 0);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cbAutoClose, 1);
    buttons->addWidget(CloseBtn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(listCell, 1);
    layout->addLayout(buttons);

    TimerAC = new QTimer(this);
    TimerAC->setObjectName(QStringLiteral("TimerAC"));
    TimerAC->setInterval(CountdownStepMs);
    connect(TimerAC, &QTimer::timeout, this, &TSliderForm::TimerACTimer);
    connect(CloseBtn, &QPushButton::clicked, this, &TSliderForm::CloseBtnClick);
    connect(cbAutoClose, &QCheckBox::clicked, this, &TSliderForm::cbAutoCloseClick);
    UpdateOverlay();
}

TSliderForm::~TSliderForm() = default;

QIcon TSliderForm::KindIcon(TItemType kind)
{
    QStyle *style = QApplication::style();
    switch (kind) {
    case itPCSync:
        return style->standardIcon(QStyle::SP_ComputerIcon);
    case itSync:
        return style->standardIcon(QStyle::SP_BrowserReload);
    case itBackup:
        return style->standardIcon(QStyle::SP_DriveFDIcon);
    case itResotre:
        return style->standardIcon(QStyle::SP_ArrowBack);
    case itMove:
        return style->standardIcon(QStyle::SP_FileDialogToParent);
    case itUnknown:
        break;
    }
    return style->standardIcon(QStyle::SP_DirIcon);
}

TSliderRow TSliderForm::AddListItem(const QString &Name, TItemType ItemIype)
{
    auto *item = new QTreeWidgetItem(ListView, {Name, QStringLiteral("Loading...")});
    item->setIcon(0, KindIcon(ItemIype));
    item->setData(0, Qt::UserRole, int(ItemIype));
    const TSliderRow row = ++FLastRow;
    FRows.insert(row, item);
    UpdateOverlay();
    return row;
}

void TSliderForm::UpDateListItem(TSliderRow ListItem, const QString &Info)
{
    if (QTreeWidgetItem *item = FRows.value(ListItem))
        item->setText(1, Info);
}

void TSliderForm::RemoveListItem(TSliderRow ListItem)
{
    delete FRows.take(ListItem);
    UpdateOverlay();
}

void TSliderForm::UpdateOverlay()
{
    Panel->setVisible(FRows.isEmpty());
}

void TSliderForm::ShowSlider()
{
    TimeLeft = FAutoCloseTime * 1000;
    cbAutoClose->setText(AutoCloseCaption);
    // Bottom-right corner of the desktop area that panels and task bars
    // leave free.
    if (const QScreen *screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + area.width() - width(), area.y() + area.height() - height());
    }
    show();
    raise();
    if (cbAutoClose->isChecked())
        TimerAC->start();
}

bool TSliderForm::AutoClose() const
{
    return FAutoClose;
}

void TSliderForm::SetAutoClose(bool value)
{
    FAutoClose = value;
    cbAutoClose->setChecked(value);
    cbAutoCloseClick();
}

void TSliderForm::cbAutoCloseClick()
{
    FAutoClose = cbAutoClose->isChecked();
    if (!FAutoClose) {
        TimerAC->stop();
        cbAutoClose->setText(AutoCloseCaption);
    } else if (isVisible() && !TimerAC->isActive() && !underMouse()) {
        RestartCountdown();
    }
}

void TSliderForm::RestartCountdown()
{
    TimeLeft = FAutoCloseTime * 1000;
    cbAutoClose->setText(AutoCloseCaption);
    if (cbAutoClose->isChecked() && isVisible())
        TimerAC->start();
}

void TSliderForm::TimerACTimer()
{
    TimeLeft -= CountdownStepMs;
    cbAutoClose->setText(QStringLiteral("Auto Closing In ") + QString::number(TimeLeft / 1000.0, 'f', 2) +
                         QStringLiteral("  Seconds"));
    if (TimeLeft <= 0)
        hide();
}

void TSliderForm::CloseBtnClick()
{
    hide();
}

void TSliderForm::enterEvent(QEnterEvent *event)
{
    // The window stays while the user looks at it.
    TimerAC->stop();
    QWidget::enterEvent(event);
}

void TSliderForm::leaveEvent(QEvent *event)
{
    RestartCountdown();
    QWidget::leaveEvent(event);
}

void TSliderForm::hideEvent(QHideEvent *event)
{
    TimerAC->stop();
    QWidget::hideEvent(event);
}

} // namespace trovalo
