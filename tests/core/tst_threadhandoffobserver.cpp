#include "engine/ThreadBase.h"
#include "engine/ThreadHandOffObserver.h"

#include <QPointer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSet>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

using namespace trovalo;

namespace {

// A worker that plays a script of reports, one letter each: S status,
// P file progress, L log row, E error, Q low-disk-space question; and W
// waits 60 ms, B blocks until Release is given. A report's number is the
// letter's position; its content is derived from it so the receiver can
// check that it arrived intact.
class TScriptedWorker : public TThreadBase
{
public:
    explicit TScriptedWorker(QString script)
        : FScript(std::move(script))
    {}

    // Runs in the worker after each question with its number and answer.
    std::function<void(int, TLowDiskAnswer)> AfterQuestion;
    QSemaphore Release;

protected:
    void Execute() override
    {
        FileNum = FScript.size();
        for (int i = 0; i < FScript.size(); ++i) {
            const QString number = QString::number(i);
            PbarPosition = i;
            switch (FScript.at(i).toLatin1()) {
            case 'S':
                StatuesInfo = number;
                ReportStatus();
                break;
            case 'P':
                FileOperation = number;
                FilePercentage = i % 101;
                ReportFileProgress();
                break;
            case 'L':
                LogEventFileName = number;
                LogEventAction = QStringLiteral("Copy File");
                LogEvent = i % 2 == 0 ? eSuccess : eFailedorSkip;
                LogEventInfo = QStringLiteral("Info ") + number;
                ReportLog();
                break;
            case 'E':
                Sta = number;
                ErrorCode = -i;
                ReportError();
                break;
            case 'Q': {
                const TLowDiskAnswer answer = Observer()->AskLowDiskSpace(*this, number);
                if (AfterQuestion)
                    AfterQuestion(i, answer);
                break;
            }
            case 'W':
                QThread::msleep(60);
                break;
            case 'B':
                Release.acquire();
                break;
            default:
                break;
            }
        }
    }
    bool IsExcludedFolder(const QString &) override { return false; }

private:
    const QString FScript;
};

// The answer the target gives to question number N.
TLowDiskAnswer AnswerFor(int number)
{
    static const TLowDiskAnswer answers[] = {ldaSkip, ldaAbort, ldaRetry};
    return answers[number % 3];
}

// Records what reaches it as "S12", "L13", ..., "F" in a list that outlives
// it; a report whose content does not match its number is recorded with a
// "!" so the comparison fails.
class TSequenceTarget : public QObject, public TWorkerObserver
{
public:
    explicit TSequenceTarget(QStringList &delivered)
        : FDelivered(delivered)
    {}

    bool OnlyInOwnThread = true;
    bool Finished = false;
    TThreadBase *ExpectedSender = nullptr;
    std::atomic<int> LastAnswered{-1};
    int AnswerDelayMs = 20;

    void OnStatuesChange(TThreadBase &sender, const TStatusReport &report) override
    {
        const bool intact = report.ProcessedItems == report.StatusMsg.toInt();
        Record(sender, QLatin1Char('S') + report.StatusMsg, intact);
    }
    void OnError(TThreadBase &sender, const QString &statusMsg, int error) override
    {
        Record(sender, QLatin1Char('E') + statusMsg, error == -statusMsg.toInt());
    }
    void OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo) override
    {
        Record(sender, QLatin1Char('P') + fileInfo, percentage == fileInfo.toInt() % 101);
    }
    void OnLog(TThreadBase &sender, const QString &fileName, const QString &action, const QString &info,
               TEvent event) override
    {
        const int number = fileName.toInt();
        const bool intact = action == QLatin1String("Copy File") &&
                            info == QStringLiteral("Info ") + fileName &&
                            event == (number % 2 == 0 ? eSuccess : eFailedorSkip);
        Record(sender, QLatin1Char('L') + fileName, intact);
    }
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &sender, const QString &message) override
    {
        Record(sender, QLatin1Char('Q') + message, true);
        // Long enough that a worker that did not wait would run on.
        QThread::msleep(AnswerDelayMs);
        LastAnswered = message.toInt();
        return AnswerFor(message.toInt());
    }
    void OnFinished(TThreadBase &sender, const TRunOutcome &) override
    {
        Record(sender, QStringLiteral("F"), true);
        Finished = true;
    }

private:
    void Record(TThreadBase &sender, const QString &entry, bool intact)
    {
        OnlyInOwnThread = OnlyInOwnThread && QThread::currentThread() == thread();
        if (ExpectedSender && &sender != ExpectedSender)
            intact = false;
        FDelivered << (intact ? entry : entry + QLatin1Char('!'));
    }

    QStringList &FDelivered;
};

// Empty when Delivered is Script with only superseded statuses and progress
// reports left out: order kept, every log row, error and question there,
// the last status and progress there, the end last. Otherwise what is wrong.
QString DeliveryProblem(const QString &script, const QStringList &delivered)
{
    if (delivered.isEmpty() || delivered.constLast() != QLatin1String("F"))
        return QStringLiteral("the end of the run did not arrive last");
    int previous = -1;
    QSet<int> seen;
    for (qsizetype i = 0; i + 1 < delivered.size(); ++i) {
        const QString &entry = delivered.at(i);
        bool isNumber = false;
        const int number = entry.mid(1).toInt(&isNumber);
        if (!isNumber || number >= script.size() || script.at(number) != entry.at(0))
            return QStringLiteral("unexpected or damaged report %1").arg(entry);
        if (number <= previous)
            return QStringLiteral("%1 arrived after report %2").arg(entry).arg(previous);
        previous = number;
        seen.insert(number);
    }
    for (const QChar kind : {QLatin1Char('S'), QLatin1Char('P')}) {
        const int last = int(script.lastIndexOf(kind));
        if (last >= 0 && !seen.contains(last))
            return QStringLiteral("the last %1 (%2) is missing").arg(kind).arg(last);
    }
    for (int i = 0; i < script.size(); ++i) {
        if (QStringLiteral("LEQ").contains(script.at(i)) && !seen.contains(i))
            return QStringLiteral("%1%2 is missing").arg(script.at(i)).arg(i);
    }
    return {};
}

QString Repeated(const QString &part, int times)
{
    return part.repeated(times);
}

} // namespace

class TestThreadHandOffObserver : public QObject
{
    Q_OBJECT

private slots:
    // A worker thread and the target in this (the main) thread, with the
    // event loop running while the worker reports.
    void deliversEveryReportInOrder_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("queueLimit");
        QTest::newRow("10,000 log rows, statuses and progress") << Repeated("SPL", 10000) + "S" << 65536;
        QTest::newRow("same, worker waits for the interface") << Repeated("SPL", 10000) + "S" << 1000;
        QTest::newRow("errors and questions between log rows")
            << Repeated("LSE", 500) + "Q" + Repeated("PLS", 500) + "QQ" + Repeated("SL", 300) << 65536;
        QTest::newRow("statuses only") << Repeated("S", 5000) << 65536;
        QTest::newRow("empty run") << QString() << 65536;
    }
    void deliversEveryReportInOrder()
    {
        QFETCH(QString, script);
        QFETCH(int, queueLimit);
        QStringList delivered;
        TSequenceTarget target(delivered);
        TScriptedWorker worker(script);
        target.ExpectedSender = &worker;
        TThreadHandOffObserver observer(target, &target, {queueLimit, 1000});
        worker.SetObserver(&observer);
        QList<int> unansweredQuestions;
        QList<TLowDiskAnswer> answers;
        worker.AfterQuestion = [&](int number, TLowDiskAnswer answer) {
            if (target.LastAnswered != number)
                unansweredQuestions << number;
            answers << answer;
        };

        worker.start();
        QTRY_VERIFY_WITH_TIMEOUT(target.Finished, 60000);
        QVERIFY(worker.wait(10000));

        const QString problem = DeliveryProblem(script, delivered);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(target.OnlyInOwnThread);
        QCOMPARE(unansweredQuestions, QList<int>());
        QList<TLowDiskAnswer> expectedAnswers;
        for (int i = 0; i < script.size(); ++i)
            if (script.at(i) == QLatin1Char('Q'))
                expectedAnswers << AnswerFor(i);
        QCOMPARE(answers, expectedAnswers);
    }

    // With the interface thread busy until the worker has ended, what it then
    // gets is exactly the pending reports minus the superseded ones.
    void coalescesPendingStatusAndProgress_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("statuses only") << "SSSS"
                                       << "S3 F";
        QTest::newRow("a status does not overtake a log row") << "SLSS"
                                                              << "L1 S3 F";
        QTest::newRow("status and progress around log rows") << "SPLSPL"
                                                             << "L2 S3 P4 L5 F";
        QTest::newRow("progress replaced in place") << "PPSPP"
                                                    << "S2 P4 F";
        QTest::newRow("last status after the last log row") << "LSLS"
                                                            << "L0 L2 S3 F";
        QTest::newRow("log rows and errors all kept") << "LELLE"
                                                      << "L0 E1 L2 L3 E4 F";
        QTest::newRow("nothing reported") << ""
                                          << "F";
    }
    void coalescesPendingStatusAndProgress()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QStringList delivered;
        TSequenceTarget target(delivered);
        TScriptedWorker worker(script);
        TThreadHandOffObserver observer(target, &target);
        worker.SetObserver(&observer);
        worker.start();
        QVERIFY(worker.wait(10000));
        QVERIFY(delivered.isEmpty()); // nothing without the event loop
        QTRY_VERIFY(target.Finished);
        QCOMPARE(delivered.join(QLatin1Char(' ')), expected);
    }

    // Reports made after the interface thread has caught up and gone idle
    // still arrive, without waiting for more reports or the end of the run.
    void deliversAfterPauses()
    {
        QStringList delivered;
        TSequenceTarget target(delivered);
        TScriptedWorker worker(QStringLiteral("LWSWLPWWLB"));
        TThreadHandOffObserver observer(target, &target);
        worker.SetObserver(&observer);
        worker.start();
        // Lets the worker end even when a comparison fails.
        const auto release = qScopeGuard([&] {
            worker.Release.release();
            worker.wait();
        });
        QTRY_COMPARE(delivered.join(QLatin1Char(' ')), QStringLiteral("L0 S2 L4 P5 L8"));
        worker.Release.release();
        QTRY_VERIFY(target.Finished);
        QVERIFY(worker.wait(10000));
        QCOMPARE(delivered.join(QLatin1Char(' ')), QStringLiteral("L0 S2 L4 P5 L8 F"));
    }

    // Run in the target's own thread, every report goes straight through:
    // nothing coalesced, nothing waits for the event loop.
    void synchronousUseCallsDirectly()
    {
        const QString script = QStringLiteral("SPLSPLQE");
        QStringList delivered;
        TSequenceTarget target(delivered);
        target.AnswerDelayMs = 0;
        TScriptedWorker worker(script);
        TThreadHandOffObserver observer(target, &target);
        worker.SetObserver(&observer);
        QList<TLowDiskAnswer> answers;
        worker.AfterQuestion = [&](int, TLowDiskAnswer answer) { answers << answer; };
        worker.RunSynchronously();
        const QString expected = QStringLiteral("S0 P1 L2 S3 P4 L5 Q6 E7 F");
        QCOMPARE(delivered.join(QLatin1Char(' ')), expected);
        QCOMPARE(answers, QList<TLowDiskAnswer>{AnswerFor(6)});
        QTest::qWait(20);
        QCOMPARE(delivered.join(QLatin1Char(' ')), expected);
    }

    // Reports still queued from a worker thread go before one made in the
    // target's thread.
    void directReportWaitsForQueuedOnes()
    {
        QStringList delivered;
        TSequenceTarget target(delivered);
        TScriptedWorker worker(QStringLiteral("LSL"));
        TThreadHandOffObserver observer(target, &target);
        worker.SetObserver(&observer);
        worker.start();
        QVERIFY(worker.wait(10000));
        observer.OnLog(worker, QStringLiteral("8"), QStringLiteral("Copy File"), QStringLiteral("Info 8"),
                       eSuccess);
        QCOMPARE(delivered.join(QLatin1Char(' ')), QStringLiteral("L0 S1 L2 F L8"));
        QTest::qWait(20);
        QCOMPARE(delivered.size(), 5);
    }

    // The worker has ended, its reports are still queued, and then the
    // observer, the target (with its context) or the worker goes.
    void destroyedBeforeDelivery_data()
    {
        QTest::addColumn<QString>("destroyed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("observer: the queue is still delivered") << "observer"
                                                                << "L2 S3 P4 L5 F";
        QTest::newRow("context: nothing is delivered") << "context"
                                                       << "";
        QTest::newRow("worker: its reports are dropped") << "worker"
                                                         << "";
    }
    void destroyedBeforeDelivery()
    {
        QFETCH(QString, destroyed);
        QFETCH(QString, expected);
        QStringList delivered;
        auto target = std::make_unique<TSequenceTarget>(delivered);
        auto worker = std::make_unique<TScriptedWorker>(QStringLiteral("SPLSPL"));
        auto observer = std::make_unique<TThreadHandOffObserver>(*target, target.get());
        worker->SetObserver(observer.get());
        worker->start();
        QVERIFY(worker->wait(10000));
        if (destroyed == QLatin1String("observer"))
            observer.reset();
        else if (destroyed == QLatin1String("context"))
            target.reset();
        else
            worker.reset();
        QTest::qWait(50);
        QCOMPARE(delivered.join(QLatin1Char(' ')), expected);
    }

    // A worker that frees itself when it ends (as the progress panel runs
    // it): everything arrives, and the end arrives before the worker goes.
    void freeOnTerminateWorker()
    {
        const QString script = Repeated("SPL", 2000);
        QStringList delivered;
        TSequenceTarget target(delivered);
        auto *worker = new TScriptedWorker(script);
        QPointer<TScriptedWorker> watch(worker);
        target.ExpectedSender = worker;
        TThreadHandOffObserver observer(target, &target);
        worker->SetObserver(&observer);
        worker->SetFreeOnTerminate(true);
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(watch.isNull(), 60000);
        QVERIFY(target.Finished);
        const QString problem = DeliveryProblem(script, delivered);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // Nobody can answer once the context is gone: the worker is not left
    // waiting, it gets Abort.
    void questionAfterContextDestroyedAborts()
    {
        QStringList delivered;
        auto target = std::make_unique<TSequenceTarget>(delivered);
        TScriptedWorker worker(QStringLiteral("LQL"));
        TThreadHandOffObserver observer(*target, target.get());
        worker.SetObserver(&observer);
        QList<TLowDiskAnswer> answers;
        worker.AfterQuestion = [&](int, TLowDiskAnswer answer) { answers << answer; };
        worker.start();
        // The question is asked after the first log row: let the worker get there.
        QThread::msleep(50);
        target.reset();
        QVERIFY(worker.wait(10000));
        QCOMPARE(answers, QList<TLowDiskAnswer>{ldaAbort});
        QVERIFY(delivered.isEmpty());
    }

    // An interface thread that does not deliver at all (busy, or waiting for
    // the worker) holds the worker up only briefly; nothing is lost.
    void stalledInterfaceDoesNotHoldTheWorker()
    {
        const QString script = Repeated("LS", 1000);
        QStringList delivered;
        TSequenceTarget target(delivered);
        TScriptedWorker worker(script);
        TThreadHandOffObserver observer(target, &target, {100, 20});
        worker.SetObserver(&observer);
        QElapsedTimer clock;
        clock.start();
        worker.start();
        QVERIFY(worker.wait(10000));
        QVERIFY(clock.elapsed() < 5000);
        QTRY_VERIFY(target.Finished);
        const QString problem = DeliveryProblem(script, delivered);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestThreadHandOffObserver)
#include "tst_threadhandoffobserver.moc"
