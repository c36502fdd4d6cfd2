#pragma once

#include "base/DateTime.h"
#include "engine/WorkerObserver.h"
#include "tray/ItemType.h"
#include "tray/SliderForm.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeView;

namespace trovalo {

class TThreadBase;
class TThreadHandOffObserver;
class TJobLogModel;

// How a job ended: ran to its end, or the user pressed "Cancel".
enum TThreadTermStat : int { ttsFinish = 0, ttsCancel = 1 };

class TThreadStatuesFrame;
// Completion handler of a panel; called on the interface thread after the
// job's thread has ended.
using TThreadEndEvent = std::function<void(TThreadStatuesFrame &Sender, TThreadTermStat Stat)>;

// A running job's window on the user, on its own tab of a console's page
// control: current operation, per-file and overall progress, clock, speed,
// remaining time and the operation log, with Cancel, Close, Clear Log and
// Save log. It observes the job's worker (reports reach it on the interface
// thread) and keeps the worker alive until it has ended: a panel whose
// thread still runs is never destroyed, and a second run of a job whose
// earlier run is still going gets its own tab.
class TThreadStatuesFrame : public QWidget, private TWorkerObserver
{
    Q_OBJECT

public:
    // The panel of a new run on PageControl: reuses the tab of the same job
    // (named from FileGUID) when its earlier run has ended, else adds a tab
    // captioned Caption ("New Job" when blank). The tab is made current.
    static TThreadStatuesFrame *MakeFrame(const QString &Caption, QTabWidget *PageControl,
                                          const QString &FileGUID);
    ~TThreadStatuesFrame() override;

    // "Tab"/"Frame" + the GUID's 32 hexadecimal digits.
    static QString TabName(const QString &FileGUID);
    static QString FrameName(const QString &FileGUID);

    // An empty handler means no completion message.
    void SetOnTerminate(TThreadEndEvent handler);
    // The job's row in the slide-out window, removed when the job ends.
    void SetMiniFrameItem(TSliderRow row);

    // Observes Thread (not yet started) and starts the clock; the caller
    // starts the thread afterwards. Owner keeps the thread and whatever its
    // run needs alive; the panel releases it only after the thread ended.
    void AttachThread(TThreadBase &Thread, TItemType kind, std::shared_ptr<void> Owner);

    TThreadBase *Worker() const;
    qint64 ErrorCount() const;
    // How the run ended; what the completion handler decides from. Valid
    // once the run has ended.
    const TRunOutcome &Outcome() const;
    bool Cancled() const;
    bool Running() const;
    QString GUID() const;
    QWidget *Tab() const;

    // "00 : 00 : 00"-style text of a span in days, hours unbounded; "N/A"
    // for a span that cannot be shown.
    static QString SpanText(double days);

protected:
    void customEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void BtnCancelClick();
    void BtnCloseClick();
    void BtnClearClick();
    void btnSaveClick();
    void cbAutoCloseClick();
    void Timer1Timer();

private:
    explicit TThreadStatuesFrame(QWidget *parent);
    void BuildControls();
    void SetMarquee(bool marquee);
    void ShowStatusText(const QString &text);
    void ThreadEnded();
    void ShowErrorState();
    void ReleaseThread();
    // Once the run's launch (and with it the job's run lock) is released,
    // the host removes the drive.
    void ReleaseThreadAndRemoveDrive();
    // Forced end: the panel goes while its thread still runs (program exit).
    void AbandonThread();

    // The worker's reports, on the interface thread.
    void OnStatuesChange(TThreadBase &sender, const TStatusReport &report) override;
    void OnError(TThreadBase &sender, const QString &statusMsg, int error) override;
    void OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo) override;
    void OnLog(TThreadBase &sender, const QString &fileName, const QString &action, const QString &info,
               TEvent event) override;
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &sender, const QString &message) override;
    bool AskSyncConflicts(TThreadBase &sender, QList<TSyncConflict> &conflicts) override;
    void OnFinished(TThreadBase &sender, const TRunOutcome &outcome) override;

    QGroupBox *GroupBox1 = nullptr;
    QLabel *Text = nullptr;
    QLabel *Action = nullptr;
    QProgressBar *ProgressBar2 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label6 = nullptr;
    QProgressBar *pbTotal = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QTreeView *ListView = nullptr;
    TJobLogModel *FLog = nullptr;
    QPushButton *BtnCancel = nullptr;
    QPushButton *BtnClose = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *BtnClear = nullptr;
    QCheckBox *cbAutoClose = nullptr;
    QCheckBox *cbSafelyRemove = nullptr;
    QTimer *Timer1 = nullptr;

    QPointer<QWidget> FTab;
    QPointer<QTabWidget> FPageControl;
    bool FMode = true;
    int FStyle = 0;
    QPointer<TThreadBase> FThread;
    std::shared_ptr<void> FOwner;
    // The hand-off delivers through FContext, which goes first when the
    // panel goes, so a worker waiting for an answer is released before the
    // panel waits for it.
    std::unique_ptr<QObject> FContext;
    std::unique_ptr<TThreadHandOffObserver> FHandOff;
    TThreadEndEvent FOnTerminate;
    QString SpeedTmp = QStringLiteral("N/A");
    double ATRtmp = -1;
    // The run's start: the attach time until a report brings the thread's
    // own StartTime (read only then, when the hand-off has made it visible).
    TDateTime FStartTime = 0;
    bool FCancled = false;
    bool FAttached = false;
    bool FEnded = false;
    QString FGUID;
    QString FStatusText;
    bool FFollowLog = true; // the log view was at its last row before rows came
    QMetaObject::Connection FThreadGone;
    qint64 FErrorCount = 0;
    qint64 FFailedRows = 0;
    // Delivered with the end of the run; made up from what the panel saw
    // when the worker went without delivering it.
    std::optional<TRunOutcome> FOutcome;
    TSliderRow MiniFrameItem = 0;
};

} // namespace trovalo
