#include "schedules/ScheduleDisplay.h"

#include "base/Exceptions.h"
#include "base/Logging.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace trovalo {

namespace {

const QStringList DayNames = {QStringLiteral("Monday"),    QStringLiteral("Tuesday"),
                              QStringLiteral("Wednesday"), QStringLiteral("Thursday"),
                              QStringLiteral("Friday"),    QStringLiteral("Saturday"),
                              QStringLiteral("Sunday")};
const QStringList MonthItems = {
    QStringLiteral("01 January"), QStringLiteral("02 February"), QStringLiteral("03 March"),
    QStringLiteral("04 April"),   QStringLiteral("05 May"),      QStringLiteral("06 June"),
    QStringLiteral("07 July"),    QStringLiteral("08 August"),   QStringLiteral("09 September"),
    QStringLiteral("10 October"), QStringLiteral("11 November"), QStringLiteral("12 December")};

template <typename TControl>
TControl *Named(TControl *control, const char *name)
{
    control->setObjectName(QLatin1String(name));
    return control;
}

QSpinBox *SpinEdit(const char *name, int minimum, int maximum, QWidget *parent)
{
    auto *spin = Named(new QSpinBox(parent), name);
    spin->setRange(minimum, maximum);
    return spin;
}

QLabel *Caption(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TScheduleDisplay::TScheduleDisplay(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ScheduleDisplay"));
    BuildControls();
    SetTimeRowVisible(false);
    ModeChange(ComboBoxMode->currentIndex());
}

void TScheduleDisplay::BuildControls()
{
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    ComboBoxMode = Named(new QComboBox(this), "ComboBoxMode");
    ComboBoxMode->addItems({QStringLiteral("Weekly"), QStringLiteral("Monthly"), QStringLiteral("Yearly"),
                            QStringLiteral("One Time Only")});
    ComboBoxMode->setCurrentIndex(FSchedule.ScheduleMode());
    ComboBoxMode->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    SpinEditEvery = SpinEdit("SpinEditEvery", 1, 30, this);
    LabelEvery = Named(Caption(QStringLiteral("Repeat every"), SpinEditEvery, this), "LabelEvery");
    WMY = Named(new QLabel(this), "WMY");
    top->addWidget(Caption(QStringLiteral("Repeats"), ComboBoxMode, this));
    top->addWidget(ComboBoxMode);
    top->addSpacing(24);
    top->addWidget(LabelEvery);
    top->addWidget(SpinEditEvery);
    top->addWidget(WMY);
    top->addStretch(1);
    layout->addLayout(top);
    for (QWidget *row : {BuildWeeklyPanel(), BuildMonthlyPanel(), BuildYearlyPanel(), BuildTimeRow()}) {
        row->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        layout->addWidget(row);
    }
    layout->addStretch(1);

    connect(ComboBoxMode, &QComboBox::currentIndexChanged, this,
            [this](int mode) { Write([this, mode] { ModeChange(mode); }); });
    connect(SpinEditEvery, &QSpinBox::valueChanged, this,
            [this](int value) { Write([this, value] { FSchedule.SetEvery(quint8(value)); }); });
}

QWidget *TScheduleDisplay::BuildWeeklyPanel()
{
    PanelWeekly = Named(new QWidget(this), "PanelWeekly");
    auto *grid = new QGridLayout(PanelWeekly);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int position = 0; position < DayNames.size(); ++position) {
        auto *box = new QCheckBox(DayNames.at(position), PanelWeekly);
        box->setObjectName(QStringLiteral("CheckBox") + DayNames.at(position));
        grid->addWidget(box, position / 4, position % 4);
        grid->setColumnStretch(position % 4, 1);
        const int tag = position + 1;
        connect(box, &QCheckBox::toggled, this, [this, tag](bool checked) { WeekDayToggled(tag, checked); });
        FDayBoxes << box;
    }
    return PanelWeekly;
}

QWidget *TScheduleDisplay::BuildMonthlyPanel()
{
    PanelMonthly = Named(new QWidget(this), "PanelMonthly");
    auto *row = new QHBoxLayout(PanelMonthly);
    row->setContentsMargins(0, 0, 0, 0);
    SpinEditDay = SpinEdit("SpinEditDay", 1, 31, PanelMonthly);
    LabelDay = Named(Caption(QStringLiteral("Day"), SpinEditDay, PanelMonthly), "LabelDay");
    CheckBoxLastDay =
        Named(new QCheckBox(QStringLiteral("Last day of the month."), PanelMonthly), "CheckBoxLastDay");
    row->addWidget(LabelDay);
    row->addWidget(SpinEditDay);
    row->addSpacing(16);
    row->addWidget(CheckBoxLastDay);
    row->addStretch(1);
    connect(SpinEditDay, &QSpinBox::valueChanged, this,
            [this](int value) { Write([this, value] { FSchedule.SetDayOfMonth(quint8(value)); }); });
    connect(CheckBoxLastDay, &QCheckBox::toggled, this, &TScheduleDisplay::LastDayToggled);
    return PanelMonthly;
}

QWidget *TScheduleDisplay::BuildYearlyPanel()
{
    PanelYearly = Named(new QWidget(this), "PanelYearly");
    auto *row = new QHBoxLayout(PanelYearly);
    row->setContentsMargins(0, 0, 0, 0);
    ComboBoxMonth = Named(new QComboBox(PanelYearly), "ComboBoxMonth");
    ComboBoxMonth->addItems(MonthItems);
    ComboBoxMonth->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    DayYearMode = SpinEdit("DayYearMode", 1, 31, PanelYearly);
    row->addWidget(Caption(QStringLiteral("Month"), ComboBoxMonth, PanelYearly));
    row->addWidget(ComboBoxMonth);
    row->addSpacing(16);
    row->addWidget(Caption(QStringLiteral("Day"), DayYearMode, PanelYearly));
    row->addWidget(DayYearMode);
    row->addStretch(1);
    connect(ComboBoxMonth, &QComboBox::currentIndexChanged, this,
            [this](int index) { Write([this, index] { FSchedule.SetMonth(quint8(index + 1)); }); });
    connect(DayYearMode, &QSpinBox::valueChanged, this,
            [this](int value) { Write([this, value] { FSchedule.SetDayOfMonthYearMode(quint8(value)); }); });
    return PanelYearly;
}

QWidget *TScheduleDisplay::BuildTimeRow()
{
    Panel1 = Named(new QWidget(this), "Panel1");
    auto *row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    // One past each end, so that stepping or typing past it wraps round.
    SpinEditH = SpinEdit("SpinEditH", -1, 24, Panel1);
    SpinEditM = SpinEdit("SpinEditM", -1, 60, Panel1);
    row->addWidget(new QLabel(QStringLiteral("Time"), Panel1));
    row->addWidget(Caption(QStringLiteral("H"), SpinEditH, Panel1));
    row->addWidget(SpinEditH);
    row->addWidget(Caption(QStringLiteral("M:"), SpinEditM, Panel1));
    row->addWidget(SpinEditM);
    row->addStretch(1);
    connect(SpinEditH, &QSpinBox::valueChanged, this, &TScheduleDisplay::HourChanged);
    connect(SpinEditM, &QSpinBox::valueChanged, this, &TScheduleDisplay::MinuteChanged);
    return Panel1;
}

void TScheduleDisplay::SetTimeRowVisible(bool visible)
{
    Panel1->setVisible(visible);
}

void TScheduleDisplay::LoadSchedule(const std::optional<QByteArray> &blob)
{
    FLoading = true;
    const TSchedule fresh;
    FSchedule.Assign(&fresh);
    try {
        FSchedule.LoadFromBlob(blob);
    } catch (const ETrovaloError &error) {
        qCWarning(LogGui).noquote() << "A schedule's rule could not be read:" << error.Message();
    }
    // Each control's handler writes its value back; the values are read
    // before each control is set, so none is overwritten by another's.
    ComboBoxMode->setCurrentIndex(std::clamp<int>(FSchedule.ScheduleMode(), smWeekly, smOnesOnly));
    const int days = FSchedule.WeekDays().toInt();
    for (int position = 0; position < FDayBoxes.size(); ++position)
        FDayBoxes.at(position)->setChecked(days & (1 << position));
    SpinEditEvery->setValue(FSchedule.Every());
    CheckBoxLastDay->setChecked(FSchedule.LastDayOFMonth());
    SpinEditDay->setValue(FSchedule.DayOfMonth());
    DayYearMode->setValue(FSchedule.DayOfMonthYearMode());
    ComboBoxMonth->setCurrentIndex(std::clamp<int>(FSchedule.Month(), 1, 12) - 1);
    SpinEditH->setValue(std::clamp(FSchedule.TimeH(), 0, 23));
    SpinEditM->setValue(std::clamp(FSchedule.TimeM(), 0, 59));
    ModeChange(ComboBoxMode->currentIndex());
    FLoading = false;
}

void TScheduleDisplay::Write(const std::function<void()> &write)
{
    write();
    if (!FLoading)
        emit Changed();
}

void TScheduleDisplay::ModeChange(int mode)
{
    PanelWeekly->setVisible(mode == smWeekly);
    PanelMonthly->setVisible(mode == smMonthly);
    PanelYearly->setVisible(mode == smYearly || mode == smOnesOnly);
    static const QStringList units = {QStringLiteral("Weeks"), QStringLiteral("Months"),
                                      QStringLiteral("Years"), QString()};
    WMY->setText(units.value(mode));
    for (QWidget *control : {static_cast<QWidget *>(LabelEvery), static_cast<QWidget *>(SpinEditEvery),
                             static_cast<QWidget *>(WMY)})
        control->setEnabled(mode != smOnesOnly);
    FSchedule.SetScheduleMode(TScheduleMode(mode));
    emit ScheduleModeChanged(mode);
}

void TScheduleDisplay::WeekDayToggled(int tag, bool checked)
{
    Write([this, tag, checked] {
        TWeekDays days = FSchedule.WeekDays();
        days.setFlag(TWeekDay(1 << (tag - 1)), checked);
        FSchedule.SetWeekDays(days);
    });
}

void TScheduleDisplay::LastDayToggled(bool checked)
{
    SpinEditDay->setEnabled(!checked);
    LabelDay->setEnabled(!checked);
    Write([this, checked] { FSchedule.SetLastDayOFMonth(checked); });
}

void TScheduleDisplay::HourChanged(int value)
{
    if (value > 23) {
        SpinEditH->setValue(0);
        return;
    }
    if (value < 0) {
        SpinEditH->setValue(23);
        return;
    }
    Write([this, value] { FSchedule.SetTimeH(value); });
}

void TScheduleDisplay::MinuteChanged(int value)
{
    if (value > 59 || value < 0) {
        const int hourStep = value > 59 ? 1 : -1;
        SpinEditM->setValue(value > 59 ? 0 : 59);
        SpinEditH->setValue(SpinEditH->value() + hourStep);
        return;
    }
    Write([this, value] { FSchedule.SetTimeM(value); });
}

} // namespace trovalo
