#include "progress/ThreadStatuesFrame.h"

#include "MessageBoxes.h"
#include "base/Exceptions.h"
#include "dialogs/FileSyncPromptDlg.h"
#include "dialogs/SkipAbortRetryDialog.h"
#include "engine/ThreadBase.h"
#include "engine/ThreadHandOffObserver.h"
#include "model/ProgramIdentity.h"
#include "progress/JobLogFile.h"
#include "progress/JobLogModel.h"
#include "progress/JobPanelHost.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace trovalo {

namespace {

// Posted to the panel by "Close": its tab goes once the click has finished.
const QEvent::Type CloseTabEvent = QEvent::Type(QEvent::User + 25);

const QString NoFile = QStringLiteral("--------------------");
const QString NotAvailable = QStringLiteral("N/A");
// The code every engine reports a caught failure with.
constexpr int ThreadErrorCode = -1;
constexpr double SecondsPerDay = 86400;

TJobPanelHost *Host()
{
    return TJobPanelHost::Current();
}

TSliderForm *Slider()
{
    TJobPanelHost *host = Host();
    return host ? host->SliderForm() : nullptr;
}

void ChangeRunningCount(int delta)
{
    if (TJobPanelHost *host = Host())
        host->SetRunningThreadCount(host->RunningThreadCount() + delta);
}

} // namespace

TThreadStatuesFrame::TThreadStatuesFrame(QWidget *parent)
    : QWidget(parent)
{
    BuildControls();
}

TThreadStatuesFrame::~TThreadStatuesFrame()
{
    QObject::disconnect(FThreadGone);
    // First: a worker waiting for an answer from this panel gets Abort (or a
    // cancelled conflict question) and nothing more is delivered.
    FContext.reset();
    if (FAttached && !FEnded)
        AbandonThread();
    if (FThread) {
        if (FThread->isRunning())
            FThread->wait();
        FThread->SetObserver(nullptr);
    }
    FHandOff.reset();
    FOwner.reset();
}

QString TThreadStatuesFrame::TabName(const QString &FileGUID)
{
    return QStringLiteral("Tab") + FileGUID.mid(1, 36).remove(QLatin1Char('-'));
}

QString TThreadStatuesFrame::FrameName(const QString &FileGUID)
{
    return QStringLiteral("Frame") + FileGUID.mid(1, 36).remove(QLatin1Char('-'));
}

TThreadStatuesFrame *TThreadStatuesFrame::MakeFrame(const QString &Caption, QTabWidget *PageControl,
                                                    const QString &FileGUID)
{
    const QString tabName = TabName(FileGUID);
    const QString frameName = FrameName(FileGUID);
    QWidget *tab = nullptr;
    if (PageControl) {
        // An earlier run's tab is reused only when its run has ended; a
        // running one keeps its panel and the new run gets a tab of its own.
        for (int i = 0; i < PageControl->count() && !tab; ++i) {
            QWidget *page = PageControl->widget(i);
            if (page->objectName() != tabName)
                continue;
            auto *old = page->findChild<TThreadStatuesFrame *>(frameName, Qt::FindDirectChildrenOnly);
            if (old && old->Running())
                continue;
            tab = page;
            if (old) {
                // The old panel may be the one whose handler got us here, so
                // it goes later; its pending "Close" must not take the tab.
                QCoreApplication::removePostedEvents(old, CloseTabEvent);
                if (tab->layout())
                    tab->layout()->removeWidget(old);
                old->hide();
                old->setObjectName(QString());
                old->deleteLater();
            }
        }
        if (!tab) {
            tab = new QWidget;
            tab->setObjectName(tabName);
            auto *layout = new QVBoxLayout(tab);
            layout->setContentsMargins(0, 0, 0, 0);
            QString caption = Caption.trimmed().isEmpty() ? QStringLiteral("New Job") : Caption;
            PageControl->addTab(tab, caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        }
        PageControl->setCurrentWidget(tab);
    }
    auto *frame = new TThreadStatuesFrame(tab);
    if (tab && tab->layout())
        tab->layout()->addWidget(frame);
    frame->SetMarquee(true);
    frame->FPageControl = PageControl;
    frame->FTab = tab;
    frame->setObjectName(frameName);
    frame->setVisible(true);
    frame->FGUID = FileGUID;
    return frame;
}

void TThreadStatuesFrame::BuildControls()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Current Operation"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Text = new QLabel(GroupBox1);
    Text->setObjectName(QStringLiteral("Text"));
    Text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Text->setTextFormat(Qt::PlainText);
    Action = new QLabel(NoFile, GroupBox1);
    Action->setObjectName(QStringLiteral("Action"));
    Action->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Action->setTextFormat(Qt::PlainText);
    ProgressBar2 = new QProgressBar(GroupBox1);
    ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setValue(0);
    auto *currentLayout = new QVBoxLayout(GroupBox1);
    currentLayout->addWidget(Text);
    currentLayout->addWidget(Action);
    currentLayout->addWidget(ProgressBar2);

    Label5 = new QLabel(QStringLiteral("Speed"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setFrameShape(QFrame::StyledPanel);
    Label4 = new QLabel(QStringLiteral("Remaing time"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label6 = new QLabel(QStringLiteral("00:00:00"), this);
    Label6->setObjectName(QStringLiteral("Label6"));
    auto *clockLayout = new QHBoxLayout;
    clockLayout->addWidget(Label5, 1);
    clockLayout->addWidget(Label4, 1);
    clockLayout->addWidget(Label6);
    pbTotal = new QProgressBar(this);
    pbTotal->setObjectName(QStringLiteral("pbTotal"));
    pbTotal->setRange(0, 100);
    pbTotal->setValue(0);

    GroupBox2 = new QGroupBox(QStringLiteral("Operation Log"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    FLog = new TJobLogModel(this);
    ListView = new QTreeView(GroupBox2);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setRootIsDecorated(false);
    ListView->setUniformRowHeights(true);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setModel(FLog);
    ListView->header()->setStretchLastSection(true);
    // Whole time stamps and actions; the file name takes what is left.
    const QFontMetrics metrics = ListView->fontMetrics();
    const int padding = 3 * metrics.horizontalAdvance(QLatin1Char('M'));
    ListView->header()->resizeSection(0, metrics.horizontalAdvance(FLog->WidestTimeStamp()) +
                                             ListView->iconSize().width() + padding + 16);
    ListView->header()->resizeSection(1, metrics.horizontalAdvance(QStringLiteral("Thread Error")) + padding);
    ListView->header()->resizeSection(2, 24 * metrics.horizontalAdvance(QLatin1Char('M')));
    auto *logLayout = new QVBoxLayout(GroupBox2);
    logLayout->addWidget(ListView);
    // New rows scroll into view unless the user scrolled back to read.
    connect(FLog, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = ListView->verticalScrollBar();
        FFollowLog = bar->value() >= bar->maximum();
    });
    connect(FLog, &QAbstractItemModel::rowsInserted, this, [this] {
        if (FFollowLog)
            ListView->scrollToBottom();
    });

    cbAutoClose = new QCheckBox(QStringLiteral("Auto close after job completed"), this);
    cbAutoClose->setObjectName(QStringLiteral("cbAutoClose"));
    if (TJobPanelHost *host = Host())
        cbAutoClose->setChecked(host->AutoCloseJobTab());
    cbSafelyRemove = new QCheckBox(QStringLiteral("Safely remove the drive when the job ends"), this);
    cbSafelyRemove->setObjectName(QStringLiteral("cbSafelyRemove"));
    btnSave = new QPushButton(QStringLiteral("Save log"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    BtnClear = new QPushButton(QStringLiteral("Clear Log"), this);
    BtnClear->setObjectName(QStringLiteral("BtnClear"));
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnClose = new QPushButton(QStringLiteral("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setVisible(false);
    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addWidget(cbAutoClose);
    buttonLayout->addWidget(cbSafelyRemove);
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(btnSave);
    buttonLayout->addWidget(BtnClear);
    buttonLayout->addWidget(BtnCancel);
    buttonLayout->addWidget(BtnClose);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(clockLayout);
    layout->addWidget(pbTotal);
    layout->addWidget(GroupBox2, 1);
    layout->addLayout(buttonLayout);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    connect(BtnCancel, &QPushButton::clicked, this, &TThreadStatuesFrame::BtnCancelClick);
    connect(BtnClose, &QPushButton::clicked, this, &TThreadStatuesFrame::BtnCloseClick);
    connect(BtnClear, &QPushButton::clicked, this, &TThreadStatuesFrame::BtnClearClick);
    connect(btnSave, &QPushButton::clicked, this, &TThreadStatuesFrame::btnSaveClick);
    connect(cbAutoClose, &QCheckBox::clicked, this, &TThreadStatuesFrame::cbAutoCloseClick);
    connect(Timer1, &QTimer::timeout, this, &TThreadStatuesFrame::Timer1Timer);
}

void TThreadStatuesFrame::SetOnTerminate(TThreadEndEvent handler)
{
    FOnTerminate = std::move(handler);
}

void TThreadStatuesFrame::SetMiniFrameItem(TSliderRow row)
{
    MiniFrameItem = row;
}

void TThreadStatuesFrame::AttachThread(TThreadBase &Thread, TItemType kind, std::shared_ptr<void> Owner)
{
    Q_UNUSED(kind);
    if (FAttached)
        return;
    FAttached = true;
    FThread = &Thread;
    FOwner = std::move(Owner);
    FErrorCount = 0;
    FFailedRows = 0;
    FOutcome.reset();
    FStartTime = DateTimeNow();
    FContext = std::make_unique<QObject>();
    FHandOff =
        std::make_unique<TThreadHandOffObserver>(static_cast<TWorkerObserver &>(*this), FContext.get());
    Thread.SetObserver(FHandOff.get());
    // A worker that frees itself takes its last reports with it; its end
    // is then handled when it is gone.
    FThreadGone = connect(&Thread, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (FAttached && !FEnded)
                ThreadEnded();
        });
    });
    Timer1->start();
    BtnCancel->setEnabled(true);
    ChangeRunningCount(+1);
}

TThreadBase *TThreadStatuesFrame::Worker() const
{
    return FThread.data();
}

qint64 TThreadStatuesFrame::ErrorCount() const
{
    return FErrorCount;
}

const TRunOutcome &TThreadStatuesFrame::Outcome() const
{
    static const TRunOutcome NotEnded;
    return FOutcome ? *FOutcome : NotEnded;
}

bool TThreadStatuesFrame::Cancled() const
{
    return FCancled;
}

bool TThreadStatuesFrame::Running() const
{
    return FAttached && !FEnded;
}

QString TThreadStatuesFrame::GUID() const
{
    return FGUID;
}

QWidget *TThreadStatuesFrame::Tab() const
{
    return FTab.data();
}

QString TThreadStatuesFrame::SpanText(double days)
{
    // Whole seconds; the small allowance keeps a span such as 7199 s, built
    // from fractions of a day, from showing as 7198.
    const double seconds = std::floor(days * SecondsPerDay + 1e-6);
    if (!std::isfinite(seconds) || seconds < 0 || seconds > double(std::numeric_limits<qint32>::max()))
        return NotAvailable;
    const qint64 total = qint64(seconds);
    return QString::asprintf("%.2lld : %.2lld : %.2lld", total / 3600, total % 3600 / 60, total % 60);
}

void TThreadStatuesFrame::SetMarquee(bool marquee)
{
    if (marquee == !FMode)
        return;
    FMode = !marquee;
    if (marquee) {
        pbTotal->setRange(0, 0);
    } else {
        pbTotal->setRange(0, 100);
        // The marquee left no position behind.
        if (pbTotal->value() < 0)
            pbTotal->setValue(0);
    }
}

void TThreadStatuesFrame::ShowStatusText(const QString &text)
{
    FStatusText = text;
    Text->setToolTip(text);
    Text->setText(Text->fontMetrics().elidedText(text, Qt::ElideMiddle, qMax(Text->width(), 1)));
}

void TThreadStatuesFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ShowStatusText(FStatusText);
}

void TThreadStatuesFrame::OnStatuesChange(TThreadBase &sender, const TStatusReport &report)
{
    // The worker set its start time before its first report; the hand-off
    // has made it visible here.
    if (&sender == FThread.data() && sender.StartTime() > 0)
        FStartTime = sender.StartTime();
    ShowStatusText(report.StatusMsg);
    SetMarquee(report.ProgressBarPosition < 0 && FStyle != 2);
    ATRtmp = report.ATR();
    SpeedTmp = report.Speed();
    if (report.ProgressBarPosition >= 0)
        pbTotal->setValue(qMin(report.ProgressBarPosition, 100));
}

void TThreadStatuesFrame::ShowErrorState()
{
    SetMarquee(false);
    FStyle = 2;
    pbTotal->setProperty("errorState", true);
    pbTotal->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: #c62828; }"));
}

void TThreadStatuesFrame::OnError(TThreadBase &, const QString &statusMsg, int error)
{
    FLog->Append(QStringLiteral("Thread Error"), statusMsg, QString(), jlsThreadError);
    ++FErrorCount;
    if (error == ThreadErrorCode)
        ShowErrorState();
    if (TSliderForm *slider = Slider())
        slider->UpDateListItem(MiniFrameItem, statusMsg);
}

void TThreadStatuesFrame::OnFileProsess(TThreadBase &, double percentage, const QString &fileInfo)
{
    Action->setText(fileInfo);
    ProgressBar2->setValue(percentage >= 0 ? int(qMin(percentage, 100.0)) : 0);
    if (TSliderForm *slider = Slider())
        slider->UpDateListItem(MiniFrameItem, fileInfo);
}

void TThreadStatuesFrame::OnLog(TThreadBase &, const QString &fileName, const QString &action,
                                const QString &info, TEvent event)
{
    FLog->Append(action, fileName, info, event == eSuccess ? jlsSuccess : jlsFailed);
    if (event != eSuccess)
        ++FFailedRows;
}

TLowDiskAnswer TThreadStatuesFrame::AskLowDiskSpace(TThreadBase &, const QString &message)
{
    switch (TSkipAbortRetryDialog::Ask(window(), QStringLiteral("Low Disk Space"), message)) {
    case ldaSkip:
        return ldaSkip;
    case ldaAbort:
        return ldaAbort;
    default:
        return ldaRetry;
    }
}

bool TThreadStatuesFrame::AskSyncConflicts(TThreadBase &, QList<TSyncConflict> &conflicts)
{
    return TFileSyncPromptDlg::Ask(window(), conflicts);
}

void TThreadStatuesFrame::OnFinished(TThreadBase &, const TRunOutcome &outcome)
{
    FOutcome = outcome;
    ThreadEnded();
}

void TThreadStatuesFrame::ThreadEnded()
{
    if (FEnded)
        return;
    FEnded = true;
    if (!FOutcome) {
        // The worker went before its end reached this panel: nothing says
        // it finished, so only a cancel is taken for what it seems.
        FOutcome = TRunOutcome{FCancled ? TRunEnd::CancelledByUser : TRunEnd::ThreadError, 0, FFailedRows,
                               FErrorCount};
    }
    TThreadBase::ReleaseLiveWorker();
    ChangeRunningCount(-1);
    BtnCancel->setVisible(false);
    BtnClose->setVisible(true);
    SetMarquee(false);
    pbTotal->setValue(100);
    if (FOutcome->End == TRunEnd::ThreadError)
        ShowErrorState();
    // Queued before the completion message, so the drive is removed while
    // the message waits for a click.
    cbSafelyRemove->setEnabled(false);
    if (cbSafelyRemove->isChecked())
        QMetaObject::invokeMethod(this, &TThreadStatuesFrame::ReleaseThreadAndRemoveDrive,
                                  Qt::QueuedConnection);
    if (FOnTerminate) {
        const QPointer<TThreadStatuesFrame> alive(this);
        FOnTerminate(*this, FOutcome->Cancelled() ? ttsCancel : ttsFinish);
        if (!alive)
            return;
    }
    Timer1->stop();
    Action->setText(NoFile);
    ProgressBar2->setValue(0);
    if (TJobPanelHost *host = Host())
        host->JobEnded();
    if (TSliderForm *slider = Slider())
        slider->RemoveListItem(MiniFrameItem);
    // The worker may still be returning from its run (or, run in this
    // thread, still be on the stack): it is released from the event loop.
    QMetaObject::invokeMethod(this, &TThreadStatuesFrame::ReleaseThread, Qt::QueuedConnection);
    if (cbAutoClose->isChecked())
        BtnCloseClick();
}

void TThreadStatuesFrame::ReleaseThread()
{
    if (FThread && FThread->isRunning())
        FThread->wait();
    FOwner.reset();
}

void TThreadStatuesFrame::ReleaseThreadAndRemoveDrive()
{
    ReleaseThread();
    if (TJobPanelHost *host = Host())
        host->RemoveDriveOfPanel(*this);
}

void TThreadStatuesFrame::AbandonThread()
{
    FEnded = true;
    if (FThread) {
        FThread->RequestStop();
        if (FThread->isRunning())
            FThread->wait();
    }
    TThreadBase::ReleaseLiveWorker();
    ChangeRunningCount(-1);
    if (TSliderForm *slider = Slider())
        slider->RemoveListItem(MiniFrameItem);
}

void TThreadStatuesFrame::BtnCancelClick()
{
    FCancled = true;
    if (FThread)
        FThread->RequestStop();
    BtnCancel->setEnabled(false);
    BtnCancel->setText(QStringLiteral("Canceling..."));
}

void TThreadStatuesFrame::BtnCloseClick()
{
    // A running job's panel stays: its worker still reports to it.
    if (Running())
        return;
    QCoreApplication::postEvent(this, new QEvent(CloseTabEvent));
    if (FPageControl)
        FPageControl->setCurrentIndex(0);
}

void TThreadStatuesFrame::customEvent(QEvent *event)
{
    if (event->type() != CloseTabEvent) {
        QWidget::customEvent(event);
        return;
    }
    if (Running())
        return;
    if (!FTab) {
        deleteLater();
        return;
    }
    if (FPageControl) {
        const int index = FPageControl->indexOf(FTab);
        if (index >= 0)
            FPageControl->removeTab(index);
    }
    FTab->hide();
    FTab->deleteLater();
}

void TThreadStatuesFrame::BtnClearClick()
{
    FLog->Clear();
}

void TThreadStatuesFrame::btnSaveClick()
{
    QString fileName = QStringLiteral("Trovalo.log");
    if (!ShowFileSaveDialog(fileName, {{QStringLiteral("Log File"), QStringLiteral("*.log")}}, this))
        return;
    try {
        TJobLogFile::Save(fileName, FLog->Lines());
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Log not saved"), ProgramTitle, mtError);
    }
}

void TThreadStatuesFrame::cbAutoCloseClick()
{
    if (TJobPanelHost *host = Host())
        host->SetAutoCloseJobTab(cbAutoClose->isChecked());
}

void TThreadStatuesFrame::Timer1Timer()
{
    Label6->setText(SpanText(DateTimeNow() - FStartTime));
    Label5->setText(QStringLiteral("Speed  ") + SpeedTmp);
    QString remaining = NotAvailable;
    if (SpeedTmp != NotAvailable) {
        ATRtmp -= 1 / SecondsPerDay;
        if (ATRtmp > 0)
            remaining = SpanText(ATRtmp);
    }
    Label4->setText(QStringLiteral("Remaing time ") + remaining);
}

} // namespace trovalo
