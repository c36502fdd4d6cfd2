#include "TestDrives.h"

#include "MessageBoxes.h"
#include "dialogs/FileSyncPromptDlg.h"
#include "engine/CopyFolderThread.h"
#include "engine/ThreadBase.h"
#include "platform/FileSystem.h"
#include "progress/JobPanelHost.h"
#include "progress/ThreadStatuesFrame.h"
#include "tray/SliderForm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

using namespace trovalo;

Q_DECLARE_METATYPE(TThreadTermStat)

namespace {

const QString Guid = QStringLiteral("{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}");
const QString ErrorText = QStringLiteral("Thread Error : Class = TCopyFolderThread : disk gone");

// What the panels report to the controller, recorded.
class TTestHost : public TJobPanelHost
{
public:
    int Count = 0;
    bool AutoClose = false;
    int Ended = 0;
    TSliderForm *Slider = nullptr;

    int RunningThreadCount() const override { return Count; }
    void SetRunningThreadCount(int value) override { Count = value; }
    TSliderForm *SliderForm() override { return Slider; }
    bool AutoCloseJobTab() const override { return AutoClose; }
    void SetAutoCloseJobTab(bool value) override { AutoClose = value; }
    void JobEnded() override { ++Ended; }
};

// A worker that reports what the test scripts, then waits while Hold is
// set until it is told to stop.
class TScriptedWorker : public TThreadBase
{
public:
    std::function<void(TScriptedWorker &)> Script;
    std::atomic<bool> Hold{false};

    void Status(const TStatusReport &report) { Observer()->OnStatuesChange(*this, report); }
    void Log(const QString &file, const QString &action, const QString &info, TEvent event)
    {
        Observer()->OnLog(*this, file, action, info, event);
    }
    void Error(const QString &message) { Observer()->OnError(*this, message, -1); }
    void Progress(double percentage, const QString &info)
    {
        Observer()->OnFileProsess(*this, percentage, info);
    }
    void StartedSecondsAgo(double seconds) { OverrideStartTimeForTests(DateTimeNow() - seconds / 86400); }

protected:
    void Execute() override
    {
        BaseStart();
        if (Script)
            Script(*this);
        while (Hold && !Terminated())
            QThread::msleep(2);
        ReachEnd();
    }
    bool IsExcludedFolder(const QString &) override { return false; }
};

// A status whose speed is BytesPerSecond over one second and whose
// estimate is RemainingSeconds (ElapsedSeconds 0 gives the speed "N/A").
TStatusReport Estimate(double remainingSeconds, double elapsedSeconds = 1, int position = 10)
{
    TStatusReport report;
    report.StatusMsg = QStringLiteral("File : C:\\Data\\a.txt");
    report.ProgressBarPosition = position;
    report.ElapsedSeconds = elapsedSeconds;
    report.BytesProcessed = 1000;
    report.BytesTotal = 1000 + qint64(remainingSeconds * 1000);
    return report;
}

template <class T>
T *Child(QWidget *panel, const char *name)
{
    T *child = panel->findChild<T *>(QString::fromLatin1(name));
    if (!child)
        qWarning("no child %s", name);
    return child;
}

QString TextOf(QWidget *panel, const char *name)
{
    QWidget *child = panel->findChild<QWidget *>(QString::fromLatin1(name));
    if (auto *label = qobject_cast<QLabel *>(child))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(child))
        return button->text();
    return QStringLiteral("<none>");
}

bool Marquee(QWidget *panel)
{
    const auto *bar = Child<QProgressBar>(panel, "pbTotal");
    return bar->minimum() == 0 && bar->maximum() == 0;
}

void Tick(TThreadStatuesFrame *panel)
{
    QVERIFY(QMetaObject::invokeMethod(panel, "Timer1Timer"));
}

// Every row of the panel's log as "action|file|info|state".
QStringList LogRows(QWidget *panel)
{
    QCoreApplication::processEvents();
    const QAbstractItemModel *model = Child<QTreeView>(panel, "ListView")->model();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << QStringList{model->index(row, 1).data().toString(), model->index(row, 2).data().toString(),
                            model->index(row, 3).data().toString(),
                            model->index(row, 0).data(Qt::UserRole).toString()}
                    .join(QLatin1Char('|'));
    return rows;
}

} // namespace

class TestThreadStatuesFrame : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TTestHost> FHost;
    std::unique_ptr<TSliderForm> FSlider;
    std::unique_ptr<QTabWidget> FPages;

    // A panel for the job Guid on the test's pages, with a row in the
    // slide-out window, observing Worker.
    TThreadStatuesFrame *Attach(TScriptedWorker &worker, const QString &caption = QStringLiteral("Docs"),
                                const QString &guid = Guid)
    {
        TThreadStatuesFrame *panel = TThreadStatuesFrame::MakeFrame(caption, FPages.get(), guid);
        panel->SetMiniFrameItem(FSlider->AddListItem(caption, itBackup));
        panel->AttachThread(worker, itBackup, nullptr);
        return panel;
    }

    QTreeWidget *SliderRows() { return FSlider->findChild<QTreeWidget *>(QStringLiteral("ListView")); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        FHost = std::make_unique<TTestHost>();
        FSlider = std::make_unique<TSliderForm>();
        FHost->Slider = FSlider.get();
        TJobPanelHost::SetCurrent(FHost.get());
        FPages = std::make_unique<QTabWidget>();
        FPages->addTab(new QWidget, QStringLiteral("Jobs"));
    }

    void cleanup()
    {
        FPages.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        TJobPanelHost::SetCurrent(nullptr);
        FSlider.reset();
        FHost.reset();
        SetMessageBoxHandler({});
        SetModalHandler({});
    }

    void namesAndCaption_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<QString>("frameName");
        QTest::addColumn<QString>("tabText");
        QTest::newRow("example") << Guid << "Docs"
                                 << "Tab1B4E28BA2FA111D2883F0016D3CCA427"
                                 << "Frame1B4E28BA2FA111D2883F0016D3CCA427"
                                 << "Docs";
        QTest::newRow("empty name") << "{00000000-0000-0000-0000-0000000000FF}"
                                    << ""
                                    << "Tab000000000000000000000000000000FF"
                                    << "Frame000000000000000000000000000000FF"
                                    << "New Job";
        QTest::newRow("blank name") << Guid << "   \t"
                                    << "Tab1B4E28BA2FA111D2883F0016D3CCA427"
                                    << "Frame1B4E28BA2FA111D2883F0016D3CCA427"
                                    << "New Job";
        QTest::newRow("ampersand shown as such") << Guid << "Mine & Yours"
                                                 << "Tab1B4E28BA2FA111D2883F0016D3CCA427"
                                                 << "Frame1B4E28BA2FA111D2883F0016D3CCA427"
                                                 << "Mine && Yours";
    }
    void namesAndCaption()
    {
        QFETCH(QString, guid);
        QFETCH(QString, caption);
        QFETCH(QString, tabName);
        QFETCH(QString, frameName);
        QFETCH(QString, tabText);
        QCOMPARE(TThreadStatuesFrame::TabName(guid), tabName);
        QCOMPARE(TThreadStatuesFrame::FrameName(guid), frameName);
        TThreadStatuesFrame *panel = TThreadStatuesFrame::MakeFrame(caption, FPages.get(), guid);
        QCOMPARE(FPages->count(), 2);
        QCOMPARE(FPages->currentIndex(), 1);
        QCOMPARE(FPages->currentWidget()->objectName(), tabName);
        QCOMPARE(FPages->tabText(1), tabText);
        QCOMPARE(panel->objectName(), frameName);
        QCOMPARE(panel->Tab(), FPages->currentWidget());
        QCOMPARE(panel->GUID(), guid);
        QVERIFY(Marquee(panel));
    }

    void controlCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("visible");
        QTest::newRow("Action") << "Action"
                                << "--------------------" << true;
        QTest::newRow("Label5") << "Label5"
                                << "Speed" << true;
        QTest::newRow("Label4") << "Label4"
                                << "Remaing time" << true;
        QTest::newRow("Label6") << "Label6"
                                << "00:00:00" << true;
        QTest::newRow("BtnCancel") << "BtnCancel"
                                   << "Cancel" << true;
        QTest::newRow("BtnClose") << "BtnClose"
                                  << "Close" << false;
        QTest::newRow("btnSave") << "btnSave"
                                 << "Save log" << true;
        QTest::newRow("BtnClear") << "BtnClear"
                                  << "Clear Log" << true;
        QTest::newRow("cbAutoClose") << "cbAutoClose"
                                     << "Auto close after job completed" << true;
    }
    void controlCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, visible);
        FPages->show();
        TThreadStatuesFrame *panel =
            TThreadStatuesFrame::MakeFrame(QStringLiteral("Docs"), FPages.get(), Guid);
        QCOMPARE(TextOf(panel, name.toLatin1().constData()), text);
        QCOMPARE(panel->findChild<QWidget *>(name)->isVisible(), visible);
        const QAbstractItemModel *log = Child<QTreeView>(panel, "ListView")->model();
        QStringList headers;
        for (int column = 0; column < log->columnCount(); ++column)
            headers << log->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, QStringList({"Time Stamp", "Action", "File Name", "Info"}));
    }

    // Each step: a status position (a number), "error" for a thread error
    // reported, or "text" for a status whose text merely reads like one.
    void overallBar_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("marquee");
        QTest::addColumn<int>("value"); // when not a marquee
        QTest::addColumn<bool>("errorState");
        QTest::newRow("searching") << QStringList{"-1"} << true << 0 << false;
        QTest::newRow("-1 then 40") << QStringList{"-1", "40"} << false << 40 << false;
        QTest::newRow("40 then -1") << QStringList{"40", "-1"} << true << -1 << false;
        QTest::newRow("thread error leaves the marquee") << QStringList{"-1", "error"} << false << 0 << true;
        QTest::newRow("error state stays") << QStringList{"error", "30"} << false << 30 << true;
        QTest::newRow("a status text decides nothing") << QStringList{"text"} << false << 20 << false;
    }
    void overallBar()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, marquee);
        QFETCH(int, value);
        QFETCH(bool, errorState);
        TScriptedWorker worker;
        worker.Script = [&](TScriptedWorker &self) {
            for (const QString &step : steps) {
                if (step == QLatin1String("error")) {
                    self.Error(ErrorText);
                    continue;
                }
                TStatusReport report;
                report.StatusMsg = step == QLatin1String("text") ? ErrorText : QStringLiteral("File : a");
                report.ProgressBarPosition = step == QLatin1String("text") ? 20 : step.toInt();
                self.Status(report);
            }
        };
        TThreadStatuesFrame *panel = nullptr;
        bool atEnd = false;
        worker.Script = [&, script = worker.Script](TScriptedWorker &self) {
            script(self);
            atEnd = true;
            QCOMPARE(Marquee(panel), marquee);
            if (!marquee)
                QCOMPARE(Child<QProgressBar>(panel, "pbTotal")->value(), value);
            QCOMPARE(Child<QProgressBar>(panel, "pbTotal")->property("errorState").toBool(), errorState);
        };
        panel = Attach(worker);
        worker.RunSynchronously();
        QVERIFY(atEnd);
        // The end shows a full bar, never a marquee.
        QVERIFY(!Marquee(panel));
        QCOMPARE(Child<QProgressBar>(panel, "pbTotal")->value(), 100);
    }

    void remainingTimeCountsDown_data()
    {
        QTest::addColumn<double>("remainingSeconds");
        QTest::addColumn<double>("elapsedSeconds");
        QTest::addColumn<QStringList>("ticks");
        QTest::addColumn<QString>("speed");
        QTest::newRow("2 hours") << 7200.0 << 1.0
                                 << QStringList{"Remaing time 01 : 59 : 59", "Remaing time 01 : 59 : 58",
                                                "Remaing time 01 : 59 : 57"}
                                 << "Speed  1,000.00B/s";
        QTest::newRow("speed N/A") << 7200.0 << 0.0 << QStringList{"Remaing time N/A", "Remaing time N/A"}
                                   << "Speed  N/A";
        QTest::newRow("half a second")
            << 0.5 << 1.0 << QStringList{"Remaing time N/A"} << "Speed  1,000.00B/s";
        QTest::newRow("a second and a half")
            << 1.5 << 1.0 << QStringList{"Remaing time 00 : 00 : 00", "Remaing time N/A"}
            << "Speed  1,000.00B/s";
        QTest::newRow("over 99 hours")
            << 101.0 * 3600 << 1.0 << QStringList{"Remaing time 100 : 59 : 59"} << "Speed  1,000.00B/s";
        QTest::newRow("nothing processed yet")
            << 60.0 << 1.0 << QStringList{"Remaing time N/A"} << "Speed  1,000.00B/s";
    }
    void remainingTimeCountsDown()
    {
        QFETCH(double, remainingSeconds);
        QFETCH(double, elapsedSeconds);
        QFETCH(QStringList, ticks);
        QFETCH(QString, speed);
        TScriptedWorker worker;
        TThreadStatuesFrame *panel = nullptr;
        QStringList shown;
        worker.Script = [&](TScriptedWorker &self) {
            TStatusReport report = Estimate(remainingSeconds, elapsedSeconds);
            if (QTest::currentDataTag() == QLatin1String("nothing processed yet"))
                report.BytesProcessed = 0;
            self.Status(report);
            for (int i = 0; i < ticks.size(); ++i) {
                Tick(panel);
                shown << TextOf(panel, "Label4");
            }
            QCOMPARE(TextOf(panel, "Label5"),
                     QTest::currentDataTag() == QLatin1String("nothing processed yet") ? "Speed  0.00B/s"
                                                                                       : speed);
        };
        panel = Attach(worker);
        worker.RunSynchronously();
        QCOMPARE(shown, ticks);
    }

    void newStatusReplacesTheEstimate()
    {
        TScriptedWorker worker;
        TThreadStatuesFrame *panel = nullptr;
        QStringList shown;
        worker.Script = [&](TScriptedWorker &self) {
            self.Status(Estimate(7200));
            Tick(panel);
            Tick(panel);
            self.Status(Estimate(600));
            Tick(panel);
            shown << TextOf(panel, "Label4");
            self.Status(Estimate(600, 0));
            Tick(panel);
            shown << TextOf(panel, "Label4");
        };
        panel = Attach(worker);
        worker.RunSynchronously();
        QCOMPARE(shown, QStringList({"Remaing time 00 : 09 : 59", "Remaing time N/A"}));
    }

    void elapsedTime_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("just started") << 0.0 << "00 : 00 : 00";
        QTest::newRow("1 h 5 min 9 s") << 3909.0 << "01 : 05 : 09";
        QTest::newRow("hours beyond two digits") << 100.0 * 3600 + 61 << "100 : 01 : 01";
    }
    void elapsedTime()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        TScriptedWorker worker;
        TThreadStatuesFrame *panel = nullptr;
        QString shown;
        worker.Script = [&](TScriptedWorker &self) {
            // A little past the whole second, so the test's own time does
            // not reach the next one.
            self.StartedSecondsAgo(seconds + 0.05);
            self.Status(Estimate(10));
            Tick(panel);
            shown = TextOf(panel, "Label6");
        };
        panel = Attach(worker);
        worker.RunSynchronously();
        QCOMPARE(shown, text);
    }

    void spanText_data()
    {
        QTest::addColumn<double>("days");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00 : 00 : 00";
        QTest::newRow("7199 s from fractions of a day") << (7200.0 / 86400 - 1.0 / 86400) << "01 : 59 : 59";
        QTest::newRow("negative") << -0.001 << "N/A";
        QTest::newRow("not a number") << qQNaN() << "N/A";
        QTest::newRow("infinite") << qInf() << "N/A";
    }
    void spanText()
    {
        QFETCH(double, days);
        QFETCH(QString, text);
        QCOMPARE(TThreadStatuesFrame::SpanText(days), text);
    }

    void logAndErrorRows()
    {
        TScriptedWorker worker;
        TThreadStatuesFrame *panel = nullptr;
        QStringList sliderTexts;
        const auto sliderAction = [&] { return SliderRows()->topLevelItem(0)->text(1); };
        worker.Script = [&](TScriptedWorker &self) {
            self.Progress(42.9, QStringLiteral("Copying File: a.txt"));
            QCOMPARE(Child<QProgressBar>(panel, "ProgressBar2")->value(), 42);
            QCOMPARE(TextOf(panel, "Action"), "Copying File: a.txt");
            sliderTexts << sliderAction();
            self.Log(QStringLiteral("C:\\Data\\a.txt"), QStringLiteral("Copy File"), QStringLiteral("Done"),
                     eSuccess);
            self.Log(QStringLiteral("C:\\Data\\b.txt"), QStringLiteral("Copy File"),
                     QStringLiteral("Access is denied."), eFailedorSkip);
            self.Error(ErrorText);
            sliderTexts << sliderAction();
        };
        panel = Attach(worker);
        QCOMPARE(SliderRows()->topLevelItemCount(), 1);
        worker.RunSynchronously();
        QCOMPARE(sliderTexts, QStringList({"Copying File: a.txt", ErrorText}));
        QCOMPARE(LogRows(panel), QStringList({"Copy File|C:\\Data\\a.txt|Done|0",
                                              "Copy File|C:\\Data\\b.txt|Access is denied.|1",
                                              "Thread Error|" + ErrorText + "||2"}));
        QCOMPARE(panel->ErrorCount(), 1);
        // The end takes the row out of the slide-out window and resets the
        // current operation.
        QCOMPARE(SliderRows()->topLevelItemCount(), 0);
        QCOMPARE(TextOf(panel, "Action"), "--------------------");
        QCOMPARE(Child<QProgressBar>(panel, "ProgressBar2")->value(), 0);

        Child<QPushButton>(panel, "BtnClear")->click();
        QVERIFY(LogRows(panel).isEmpty());
    }

    void saveLog()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("job.log"));
        TScriptedWorker worker;
        worker.Script = [](TScriptedWorker &self) {
            self.Log(QStringLiteral("C:\\Data\\a.txt"), QStringLiteral("Copy File"), QStringLiteral("Done"),
                     eSuccess);
            self.Error(ErrorText);
        };
        TThreadStatuesFrame *panel = Attach(worker);
        worker.RunSynchronously();
        QStringList offered;
        SetModalHandler([&](QDialog &dialog) {
            auto *files = qobject_cast<QFileDialog *>(&dialog);
            if (!files)
                return int(QDialog::Rejected);
            offered << files->defaultSuffix() << files->nameFilters()
                    << QFileInfo(files->selectedFiles().value(0)).fileName();
            files->selectFile(path);
            return int(QDialog::Accepted);
        });
        Child<QPushButton>(panel, "btnSave")->click();
        QCOMPARE(offered, QStringList({"log", "Log File (*.log)", "Trovalo.log"}));

        QCoreApplication::processEvents();
        const QAbstractItemModel *model = Child<QTreeView>(panel, "ListView")->model();
        const QString first = model->index(0, 0).data().toString();
        const QString second = model->index(1, 0).data().toString();
        QVERIFY(!first.isEmpty());
        const QByteArray rule(82, '=');
        const QByteArray expected = rule + "\r\n\t\t\t\tTrovalo File Log\r\n" + rule +
                                    "\r\nTime Stamp\t\tAction\t\tStatus\tFile Name\r\n" + rule + "\r\n" +
                                    first.toUtf8() + "\tCopy File\tSuccess\tC:\\Data\\a.txt\r\n" +
                                    second.toUtf8() + "\tThread Error\tThread Error\t" + ErrorText.toUtf8() +
                                    "\r\n" + rule + "\r\nEnd Log.\r\n";
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), expected);
    }

    void saveLogFailureIsShownAndChangesNothing()
    {
        QTemporaryDir folder;
        // A link into a folder that does not exist: the dialog accepts the
        // name, the write cannot happen.
        const QString path = folder.filePath(QStringLiteral("job.log"));
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("missing/job.log")), path));
        TScriptedWorker worker;
        TThreadStatuesFrame *panel = Attach(worker);
        worker.RunSynchronously();
        SetModalHandler([&](QDialog &dialog) {
            qobject_cast<QFileDialog *>(&dialog)->selectFile(path);
            return int(QDialog::Accepted);
        });
        QList<TMessageRequest> shown;
        SetMessageBoxHandler([&](const TMessageRequest &request) {
            shown << request;
            return int(mrOk);
        });
        Child<QPushButton>(panel, "btnSave")->click();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().Kind, mtError);
        QVERIFY2(shown.first().Message.contains(QStringLiteral("job.log")),
                 qPrintable(shown.first().Message));
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot),
                 QStringList({"job.log"}));
    }

    void endOfRun_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("autoClose");
        QTest::addColumn<TThreadTermStat>("stat");
        QTest::newRow("cancel, auto close") << true << true << ttsCancel;
        QTest::newRow("cancel, stays") << true << false << ttsCancel;
        QTest::newRow("finish, auto close") << false << true << ttsFinish;
        QTest::newRow("finish, stays") << false << false << ttsFinish;
    }
    void endOfRun()
    {
        QFETCH(bool, cancel);
        QFETCH(bool, autoClose);
        QFETCH(TThreadTermStat, stat);
        FHost->AutoClose = autoClose;
        const int liveBefore = TThreadBase::LiveWorkerCount();
        auto worker = std::make_shared<TScriptedWorker>();
        worker->Hold = true;
        const std::weak_ptr<TScriptedWorker> watched = worker;
        TThreadStatuesFrame *panel =
            TThreadStatuesFrame::MakeFrame(QStringLiteral("Docs"), FPages.get(), Guid);
        QCOMPARE(Child<QCheckBox>(panel, "cbAutoClose")->isChecked(), autoClose);
        QList<TThreadTermStat> ends;
        int runningAtEnd = -1;
        bool cancelledAtEnd = false;
        panel->SetOnTerminate([&](TThreadStatuesFrame &sender, TThreadTermStat value) {
            QCOMPARE(&sender, panel);
            cancelledAtEnd = sender.Cancled();
            // The controller reads the run's figures here: the worker lives.
            QVERIFY(sender.Worker() != nullptr);
            runningAtEnd = FHost->Count;
            ends << value;
        });
        panel->SetMiniFrameItem(FSlider->AddListItem(QStringLiteral("Docs"), itBackup));
        panel->AttachThread(*worker, itBackup, worker);
        QCOMPARE(FHost->Count, 1);
        worker->start();
        QVERIFY(panel->Running());
        const QPointer<TThreadStatuesFrame> alive(panel);
        auto *cancelButton = Child<QPushButton>(panel, "BtnCancel");
        if (cancel) {
            cancelButton->click();
            QCOMPARE(cancelButton->text(), "Canceling...");
            QVERIFY(!cancelButton->isEnabled());
        } else {
            worker->Hold = false;
        }
        worker.reset();
        QTRY_COMPARE(ends.size(), 1);
        QCOMPARE(ends.first(), stat);
        // With auto close the panel may be gone already.
        QCOMPARE(cancelledAtEnd, cancel);
        QCOMPARE(runningAtEnd, 0);
        QCOMPARE(FHost->Ended, 1);
        QCOMPARE(TThreadBase::LiveWorkerCount(), liveBefore);
        QCOMPARE(SliderRows()->topLevelItemCount(), 0);
        // The panel let the worker go once it had ended.
        QTRY_VERIFY(watched.expired());
        if (autoClose) {
            QTRY_COMPARE(FPages->count(), 1);
            QCOMPARE(FPages->currentIndex(), 0);
            QTRY_VERIFY(!alive);
        } else {
            QCOMPARE(FPages->count(), 2);
            QVERIFY(!panel->Running());
            QVERIFY(Child<QPushButton>(panel, "BtnClose")->isVisibleTo(panel));
            QVERIFY(!cancelButton->isVisibleTo(panel));
        }
    }

    void closeOnlyAfterTheEnd()
    {
        TScriptedWorker worker;
        worker.Hold = true;
        TThreadStatuesFrame *panel = Attach(worker);
        const QPointer<TThreadStatuesFrame> alive(panel);
        worker.start();
        // Close is hidden while the job runs; a click that came anyway is
        // ignored.
        QVERIFY(!Child<QPushButton>(panel, "BtnClose")->isVisibleTo(panel));
        QVERIFY(QMetaObject::invokeMethod(panel, "BtnCloseClick"));
        QTest::qWait(30);
        QCOMPARE(FPages->count(), 2);
        QVERIFY(alive);
        worker.Hold = false;
        QTRY_VERIFY(!panel->Running());
        QVERIFY(worker.wait(5000));
        FPages->setCurrentIndex(1);
        Child<QPushButton>(panel, "BtnClose")->click();
        QCOMPARE(FPages->currentIndex(), 0);
        QTRY_COMPARE(FPages->count(), 1);
        QTRY_VERIFY(!alive);
    }

    void autoCloseBoxWritesTheSetting()
    {
        FHost->AutoClose = false;
        TThreadStatuesFrame *first = TThreadStatuesFrame::MakeFrame(QStringLiteral("A"), FPages.get(), Guid);
        TThreadStatuesFrame *second = TThreadStatuesFrame::MakeFrame(
            QStringLiteral("B"), FPages.get(), QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
        Child<QCheckBox>(first, "cbAutoClose")->click();
        QVERIFY(FHost->AutoClose);
        // Panels already open keep their own box.
        QVERIFY(!Child<QCheckBox>(second, "cbAutoClose")->isChecked());
        TThreadStatuesFrame *third = TThreadStatuesFrame::MakeFrame(
            QStringLiteral("C"), FPages.get(), QStringLiteral("{00000000-0000-0000-0000-000000000002}"));
        QVERIFY(Child<QCheckBox>(third, "cbAutoClose")->isChecked());
    }

    void endedTabIsReused()
    {
        TScriptedWorker worker;
        worker.Script = [](TScriptedWorker &self) {
            self.Log(QStringLiteral("C:\\a"), QStringLiteral("Copy File"), QStringLiteral("Done"), eSuccess);
        };
        TThreadStatuesFrame *old = Attach(worker, QStringLiteral("Docs"));
        worker.RunSynchronously();
        QCOMPARE(LogRows(old).size(), 1);
        const QPointer<TThreadStatuesFrame> oldPanel(old);
        QWidget *tab = old->Tab();
        FPages->setCurrentIndex(0);

        TThreadStatuesFrame *panel =
            TThreadStatuesFrame::MakeFrame(QStringLiteral("Renamed"), FPages.get(), Guid);
        QCOMPARE(FPages->count(), 2);
        QCOMPARE(panel->Tab(), tab);
        QCOMPARE(FPages->currentWidget(), tab);
        QCOMPARE(FPages->tabText(1), "Docs");
        QCOMPARE(tab->findChildren<TThreadStatuesFrame *>(TThreadStatuesFrame::FrameName(Guid)),
                 QList<TThreadStatuesFrame *>{panel});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!oldPanel);
        QVERIFY(LogRows(panel).isEmpty());
    }

    void runningPanelIsNeverReplaced()
    {
        TScriptedWorker first;
        first.Hold = true;
        TThreadStatuesFrame *running = Attach(first);
        const QPointer<TThreadStatuesFrame> runningAlive(running);
        first.start();

        // The second run gets its own tab with the same name.
        TScriptedWorker second;
        TThreadStatuesFrame *ended = Attach(second, QStringLiteral("Docs again"));
        QCOMPARE(FPages->count(), 3);
        QVERIFY(ended->Tab() != running->Tab());
        QCOMPARE(ended->Tab()->objectName(), running->Tab()->objectName());
        QCOMPARE(FPages->currentWidget(), ended->Tab());
        second.RunSynchronously();
        QVERIFY(!ended->Running());

        // A third run takes the ended tab, never the running one.
        TThreadStatuesFrame *third =
            TThreadStatuesFrame::MakeFrame(QStringLiteral("Docs"), FPages.get(), Guid);
        QCOMPARE(FPages->count(), 3);
        QCOMPARE(third->Tab(), FPages->widget(2));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(runningAlive);
        QVERIFY(running->Running());
        QCOMPARE(running->Tab(), FPages->widget(1));

        // While both are taken by running panels, a fourth gets a new tab.
        TScriptedWorker fourth;
        fourth.Hold = true;
        third->AttachThread(fourth, itBackup, nullptr);
        fourth.start();
        TThreadStatuesFrame *fifth =
            TThreadStatuesFrame::MakeFrame(QStringLiteral("Docs"), FPages.get(), Guid);
        QCOMPARE(FPages->count(), 4);
        QCOMPARE(fifth->Tab(), FPages->widget(3));

        first.Hold = false;
        fourth.Hold = false;
        QTRY_VERIFY(!running->Running() && !third->Running());
        QVERIFY(first.wait(5000));
        QVERIFY(fourth.wait(5000));
    }

    void panelGoingWhileRunningStopsItsWorker()
    {
        const int liveBefore = TThreadBase::LiveWorkerCount();
        TScriptedWorker worker;
        worker.Hold = true;
        Attach(worker);
        worker.start();
        QTRY_VERIFY(worker.isRunning());
        // The console goes (program exit): the worker is stopped and waited
        // for, never left reporting to a destroyed panel.
        FPages.reset();
        QVERIFY(worker.isFinished());
        QVERIFY(worker.Terminated());
        QCOMPARE(TThreadBase::LiveWorkerCount(), liveBefore);
        QCOMPARE(FHost->Count, 0);
        QCOMPARE(SliderRows()->topLevelItemCount(), 0);
    }

    // The question reaches the conflict dialog and its answers reach the
    // waiting worker.
    void syncConflictQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QList<int>>("actions");
        QTest::newRow("ok with b skipped") << int(mrOk) << true << QList<int>{faCopyAB, faSkip};
        QTest::newRow("cancel cancels") << int(mrCancel) << false << QList<int>{faCopyAB, faDelete};
    }
    void syncConflictQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, goOn);
        QFETCH(QList<int>, actions);
        SetModalHandler([&](QDialog &dialog) {
            auto *prompt = qobject_cast<TFileSyncPromptDlg *>(&dialog);
            if (!prompt)
                return int(mrCancel);
            // b.txt, the second row: the list is sorted by name.
            auto *list = prompt->findChild<QTreeWidget *>(QStringLiteral("ListView"));
            list->setCurrentItem(list->topLevelItem(1));
            prompt->findChild<QAbstractButton *>(QStringLiteral("ActionDoNothing"))->click();
            return answer;
        });
        TScriptedWorker worker;
        QList<TSyncConflict> conflicts{{QStringLiteral("\\Docs\\a.txt"), QStringLiteral("C:\\Docs\\a.txt")},
                                       {QStringLiteral("\\Docs\\b.txt"), QStringLiteral("C:\\Docs\\b.txt")}};
        conflicts[0].Action = faCopyAB;
        conflicts[1].Action = faDelete;
        std::atomic<int> result{-1};
        worker.Script = [&](TScriptedWorker &self) {
            result = self.Observer()->AskSyncConflicts(self, conflicts) ? 1 : 0;
        };
        Attach(worker);
        worker.start();
        QVERIFY(QTest::qWaitFor([&] { return worker.isFinished(); }, 5000));
        QCOMPARE(result.load(), goOn ? 1 : 0);
        QList<int> chosen;
        for (const TSyncConflict &pair : conflicts)
            chosen << int(pair.Action);
        QCOMPARE(chosen, actions);
    }

    // A real copy run on a drive that is short of space until the question
    // is answered.
    void copyRunWithLowDiskQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("copied");
        QTest::newRow("skip") << 2 << 2;
        QTest::newRow("abort") << 3 << 0;
        QTest::newRow("retry") << 4 << 3;
    }
    void copyRunWithLowDiskQuestion()
    {
        QFETCH(int, answer);
        QFETCH(int, copied);
        trovalo::test::TTestDrives drives({{'C', QString()}, {'E', QStringLiteral("bus=USB")}});
        for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
            QDir().mkpath(drives.Native('C', QStringLiteral("Data")));
            QFile file(drives.Native('C', QStringLiteral("Data/") + QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("content");
        }
        std::atomic<bool> low{true};
        const qint64 plenty = qint64(1) << 40;
        SetDiskSpaceHookForTests([&](const QString &path) {
            return std::optional<TDiskSpace>({path.startsWith(QLatin1Char('E')) && low ? 0 : plenty, plenty});
        });
        QStringList questions;
        SetModalHandler([&](QDialog &dialog) {
            questions << dialog.windowTitle();
            low = false;
            return answer;
        });
        auto engine = std::make_shared<TCopyFolderThread>();
        engine->SetArchiveMode(amIncremental);
        engine->SetInclude({QStringLiteral("C:\\Data\\")});
        engine->SetDestination(QStringLiteral("E:\\Backup\\"));
        engine->SetLogFileName(QStringLiteral("E:\\Config\\Job.Zjd"));
        TThreadStatuesFrame *panel =
            TThreadStatuesFrame::MakeFrame(QStringLiteral("Docs"), FPages.get(), Guid);
        bool ended = false;
        panel->SetOnTerminate([&](TThreadStatuesFrame &, TThreadTermStat) { ended = true; });
        panel->AttachThread(*engine, itBackup, engine);
        engine->start();
        engine.reset();
        QTRY_VERIFY(ended);
        SetDiskSpaceHookForTests({});
        QCOMPARE(questions, QStringList({"Trovalo"}));
        int copies = 0;
        for (const QString &row : LogRows(panel))
            copies += row.startsWith(QStringLiteral("Copy File|")) && row.endsWith(QStringLiteral("|Done|0"));
        QCOMPARE(copies, copied);
        QCOMPARE(QDir(drives.Native('E', QStringLiteral("Backup/C/Data"))).entryList(QDir::Files).size(),
                 copied);
    }
};

QTEST_MAIN(TestThreadStatuesFrame)
#include "tst_threadstatuesframe.moc"
