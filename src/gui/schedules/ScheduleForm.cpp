#include "schedules/ScheduleForm.h"

#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "base/Logging.h"
#include "console/NewDrive.h"
#include "control/ScheduleEditing.h"
#include "model/NextRunTime.h"
#include "model/ProgramIdentity.h"
#include "schedules/ScheduleDisplayWithTime.h"
#include "schedules/ScheduleTableModel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

namespace trovalo {

namespace {

const QString NotSavedTitle = QStringLiteral("Schedule Not Saved");

// The mode group's choices in display order, two columns.
constexpr int ModeOrder[] = {stDriveInsertion, stStartup, stShutdown, stTime};

QPushButton *Button(const char *name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

TScheduleForm::TScheduleForm(TProgramDatabase &database, TScheduleClock clock, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , FDatabase(database)
    , FClock(std::move(clock))
{
    setObjectName(QStringLiteral("ScheduleForm"));
    setWindowTitle(QStringLiteral("Schedules"));
    setMinimumSize(678, 479);
    resize(760, 600);
    BuildControls();
    ShowRow();
}

TScheduleForm::~TScheduleForm() = default;

void TScheduleForm::BuildControls()
{
    auto *layout = new QVBoxLayout(this);
    Label2 = new QLabel(QStringLiteral("Please note: Scheduled jobs will only be run if Trovalo is running."),
                        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    layout->addWidget(Label2);

    FModel = new TScheduleTableModel(this);
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setModel(FModel);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Read-only: only the Active check boxes take a click.
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->setColumnWidth(TScheduleTableModel::colJobName, 220);
    DBGrid1->setColumnWidth(TScheduleTableModel::colNextRunTime, 170);
    DBGrid1->setColumnWidth(TScheduleTableModel::colActive, 60);
    layout->addWidget(DBGrid1, 1);
    layout->addWidget(BuildRowEditors());
    layout->addWidget(BuildButtons());

    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TScheduleForm::CurrentRowChanged);
    connect(FModel, &TScheduleTableModel::ActiveEdited, this, [this](int row, bool active) {
        if (row != CurrentRow())
            return;
        EditPending([active](TScheduleRunRow &pending) { pending.Active = active; });
        DBCheckBox1->setChecked(active);
    });
}

QWidget *TScheduleForm::BuildRowEditors()
{
    auto *editors = new QWidget(this);
    auto *grid = new QGridLayout(editors);
    grid->setContentsMargins(0, 0, 0, 0);

    DBEdit1 = new QLineEdit(editors);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setMaxLength(255);
    auto *nameLabel = new QLabel(QStringLiteral("Job Name"), editors);
    nameLabel->setBuddy(DBEdit1);
    auto *name = new QHBoxLayout;
    name->addWidget(nameLabel);
    name->addWidget(DBEdit1, 1);
    DBCheckBox1 = new QCheckBox(QStringLiteral("Active"), editors);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    grid->addLayout(name, 0, 0);
    grid->addWidget(DBCheckBox1, 0, 1);

    DBRadioGroup1 = new QGroupBox(QStringLiteral("Mode"), editors);
    DBRadioGroup1->setObjectName(QStringLiteral("DBRadioGroup1"));
    FModeButtons = new QButtonGroup(DBRadioGroup1);
    auto *modes = new QGridLayout(DBRadioGroup1);
    static const char *const modeNames[] = {"ModeDriveInsertion", "ModeStartup", "ModeShutdown", "ModeTime"};
    for (int position = 0; position < 4; ++position) {
        auto *radio = new QRadioButton(ScheduleTriggerCaption(ModeOrder[position]), DBRadioGroup1);
        radio->setObjectName(QLatin1String(modeNames[position]));
        FModeButtons->addButton(radio, ModeOrder[position]);
        modes->addWidget(radio, position / 2, position % 2);
    }
    grid->addWidget(DBRadioGroup1, 1, 0);

    GroupBox1 = new QGroupBox(QStringLiteral("Next Run At"), editors);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *next = new QVBoxLayout(GroupBox1);
    RunDate = new QLabel(GroupBox1);
    RunDate->setObjectName(QStringLiteral("RunDate"));
    RunTime = new QLabel(GroupBox1);
    RunTime->setObjectName(QStringLiteral("RunTime"));
    next->addWidget(RunDate);
    next->addWidget(RunTime);
    grid->addWidget(GroupBox1, 1, 1);

    gbFrequency = new QGroupBox(QStringLiteral("Frequency"), editors);
    gbFrequency->setObjectName(QStringLiteral("gbFrequency"));
    auto *frequency = new QVBoxLayout(gbFrequency);
    ScheduleDisplay = new TScheduleDisplayWithTime(gbFrequency);
    frequency->addWidget(ScheduleDisplay);
    grid->addWidget(gbFrequency, 2, 0, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);

    connect(DBEdit1, &QLineEdit::textEdited, this, [this](const QString &text) {
        EditPending([&text](TScheduleRunRow &pending) { pending.JobName = text; });
    });
    connect(FModeButtons, &QButtonGroup::idClicked, this,
            [this](int mode) { EditPending([mode](TScheduleRunRow &pending) { pending.Mode = mode; }); });
    connect(DBCheckBox1, &QCheckBox::clicked, this, [this](bool checked) {
        EditPending([checked](TScheduleRunRow &pending) { pending.Active = checked; });
    });
    connect(ScheduleDisplay, &TScheduleDisplay::Changed, this, &TScheduleForm::MarkModified);
    connect(ScheduleDisplay, &TScheduleDisplay::ScheduleModeChanged, this, &TScheduleForm::ShowScheduleMode);
    return editors;
}

QWidget *TScheduleForm::BuildButtons()
{
    auto *buttons = new QWidget(this);
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    DeleteBtn = Button("DeleteBtn", QStringLiteral("Delete"), buttons);
    RefeechBtn = Button("RefeechBtn", QStringLiteral("Refresh"), buttons);
    ResetBtn = Button("ResetBtn", QStringLiteral("Reset"), buttons);
    SaveBtn = Button("SaveBtn", QStringLiteral("Save"), buttons);
    row->addWidget(DeleteBtn);
    row->addStretch(1);
    for (QPushButton *button : {RefeechBtn, ResetBtn, SaveBtn})
        row->addWidget(button);
    connect(DeleteBtn, &QPushButton::clicked, this, &TScheduleForm::DeleteBtnClick);
    connect(RefeechBtn, &QPushButton::clicked, this, &TScheduleForm::RefeechBtnClick);
    connect(ResetBtn, &QPushButton::clicked, this, &TScheduleForm::ResetBtnClick);
    connect(SaveBtn, &QPushButton::clicked, this, &TScheduleForm::SaveBtnClick);
    return buttons;
}

// --- the table -----------------------------------------------------------------

void TScheduleForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window brought back from the task bar is not a new showing.
    if (!event->spontaneous())
        TableRefresh();
}

void TScheduleForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        emit Hidden();
}

void TScheduleForm::TableRefresh()
{
    try {
        FDatabase.DeleteSchedulesWithoutFile();
        Reload(CurrentScheduleId());
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Schedules"), ProgramTitle, mtError);
    }
}

void TScheduleForm::Reload(qint64 keepId, int fallbackRow)
{
    const QList<TScheduleRunRow> rows = FDatabase.AllSchedules();
    const int column = std::max(DBGrid1->currentIndex().column(), 0);
    FMovingRow = true;
    FModified = false;
    FModel->SetRows(rows);
    int row = FModel->RowOfId(keepId);
    if (row < 0)
        row = std::min(fallbackRow, FModel->rowCount() - 1);
    if (row >= 0)
        DBGrid1->setCurrentIndex(FModel->index(row, column));
    FMovingRow = false;
    FStored = row >= 0 ? std::optional(FModel->Row(row)) : std::nullopt;
    ShowRow();
}

int TScheduleForm::CurrentRow() const
{
    const QModelIndex current = DBGrid1->currentIndex();
    return current.isValid() && current.row() < FModel->rowCount() ? current.row() : -1;
}

qint64 TScheduleForm::CurrentScheduleId() const
{
    const int row = CurrentRow();
    return row >= 0 ? FModel->Row(row).ID : 0;
}

void TScheduleForm::CurrentRowChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (FMovingRow)
        return;
    // Leaving a changed row saves it; a refused save keeps the user on it.
    if (FModified && previous.isValid() && !Post(previous.row())) {
        FMovingRow = true;
        DBGrid1->setCurrentIndex(previous);
        FMovingRow = false;
        return;
    }
    FStored = current.isValid() ? std::optional(FModel->Row(current.row())) : std::nullopt;
    ShowRow();
}

bool TScheduleForm::AddSchedule(const QString &FileName)
{
    const int current = CurrentRow();
    if (FModified && current >= 0) {
        if (FModel->Row(current).FileName.isEmpty())
            ResetBtnClick();
        else if (!Post(current))
            return false;
    }
    qint64 id = 0;
    try {
        id = ScheduleJobFile(FDatabase, FileName);
        Reload(id);
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), NotSavedTitle, ProgramTitle, mtWarning);
        return false;
    }
    TNewDrive::RefreshAllScheduleInfo();
    return CurrentScheduleId() == id;
}

// --- the current row -------------------------------------------------------------

void TScheduleForm::ShowRow()
{
    const int current = CurrentRow();
    const bool hasRow = current >= 0;
    const TScheduleRunRow row = hasRow ? FModel->Row(current) : TScheduleRunRow();
    DBEdit1->setText(hasRow ? row.JobName : QString());
    if (QAbstractButton *mode = hasRow ? FModeButtons->button(row.Mode) : nullptr) {
        mode->setChecked(true);
    } else {
        // A trigger this version does not know checks no choice.
        FModeButtons->setExclusive(false);
        for (QAbstractButton *button : FModeButtons->buttons())
            button->setChecked(false);
        FModeButtons->setExclusive(true);
    }
    DBCheckBox1->setChecked(hasRow && row.Active);
    ScheduleDisplay->LoadSchedule(hasRow ? row.Data : std::nullopt);
    for (QWidget *editor : {static_cast<QWidget *>(DBEdit1), static_cast<QWidget *>(DBRadioGroup1),
                            static_cast<QWidget *>(DBCheckBox1), static_cast<QWidget *>(ScheduleDisplay)})
        editor->setEnabled(hasRow);
    UpdateButtons();
    ShowNextRun();
}

void TScheduleForm::EditPending(const std::function<void(TScheduleRunRow &)> &edit)
{
    const int current = CurrentRow();
    if (current < 0)
        return;
    TScheduleRunRow pending = FModel->Row(current);
    edit(pending);
    FModel->SetRow(current, pending);
    MarkModified();
}

void TScheduleForm::MarkModified()
{
    if (CurrentRow() < 0)
        return;
    FModified = true;
    UpdateButtons();
    ShowNextRun();
}

bool TScheduleForm::Post(int row)
{
    try {
        const TScheduleRunRow saved =
            SaveSchedule(FDatabase, FModel->Row(row), ScheduleDisplay->Schedule(), FClock());
        FModel->SetRow(row, saved);
        FStored = saved;
    } catch (const EUserException &refused) {
        ShowInfoDialog(refused.Message(), NotSavedTitle, ProgramTitle, mtWarning);
        return false;
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), NotSavedTitle, ProgramTitle, mtError);
        return false;
    }
    FModified = false;
    UpdateButtons();
    ShowNextRun();
    TNewDrive::RefreshAllScheduleInfo();
    return true;
}

void TScheduleForm::UpdateButtons()
{
    const bool hasRows = FModel->rowCount() > 0;
    DeleteBtn->setEnabled(hasRows);
    ResetBtn->setEnabled(FModified);
    SaveBtn->setEnabled(FModified && hasRows);
}

// The stored next run, or while the row is being changed the one "Save"
// would store.
void TScheduleForm::ShowNextRun()
{
    std::optional<TDateTime> next;
    if (const int current = CurrentRow(); current >= 0) {
        const TScheduleRunRow &row = FModel->Row(current);
        if (!FModified)
            next = row.NextRunTime;
        else if (row.Mode == stTime)
            next = NextFutureRun(ScheduleDisplay->Schedule(), FClock());
    }
    if (!next) {
        RunDate->setText(QStringLiteral("N/A"));
        RunTime->clear();
        return;
    }
    const QDateTime moment = DateTimeToQt(*next);
    RunDate->setText(QLocale::c().toString(moment.date(), QStringLiteral("dddd d 'of' MMMM yyyy")));
    RunTime->setText(moment.time().toString(QStringLiteral("HH:mm:ss")));
}

// Greyed for a one-time rule, whose run does not come back.
void TScheduleForm::ShowScheduleMode(int scheduleMode)
{
    for (QWidget *widget : {static_cast<QWidget *>(GroupBox1), static_cast<QWidget *>(RunDate),
                            static_cast<QWidget *>(RunTime)})
        widget->setEnabled(scheduleMode != smOnesOnly);
    ShowNextRun();
}

// --- the buttons ------------------------------------------------------------------

void TScheduleForm::SaveBtnClick()
{
    const int current = CurrentRow();
    if (!FModified || current < 0 || !Post(current))
        return;
    TableRefresh();
}

void TScheduleForm::ResetBtnClick()
{
    const int current = CurrentRow();
    if (!FModified || current < 0 || !FStored)
        return;
    FModel->SetRow(current, *FStored);
    FModified = false;
    ShowRow();
}

void TScheduleForm::RefeechBtnClick()
{
    try {
        Reload(CurrentScheduleId(), std::max(CurrentRow(), 0));
    } catch (const ETrovaloError &error) {
        // As before the refresh: the rows shown stay until the next one.
        qCWarning(LogGui).noquote() << "The schedules could not be read again:" << error.Message();
    }
}

void TScheduleForm::DeleteBtnClick()
{
    const int current = CurrentRow();
    if (current < 0)
        return;
    try {
        FDatabase.DeleteSchedule(FModel->Row(current).ID);
        Reload(0, current);
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Delete Schedule"), ProgramTitle, mtError);
        return;
    }
    TNewDrive::RefreshAllScheduleInfo();
}

} // namespace trovalo
