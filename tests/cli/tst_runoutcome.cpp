#include "StandInEngine.h"

#include "CliContext.h"
#include "CliObserver.h"
#include "EngineRun.h"

#include <QtTest>

using namespace trovalo;
using namespace trovalo::cli;

// The exit status and the completion lines come from how the run ended, not
// from its status texts: the stand-in engine's texts say the opposite.
class TestRunOutcome : public QObject
{
    Q_OBJECT

private slots:
    void exitStatusAndMessage_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<int>("errors");
        QTest::newRow("finished") << "finished" << int(ExitOk) << "completed" << 0;
        QTest::newRow("a file failed") << "failed file" << int(ExitErrors) << "completed" << 1;
        QTest::newRow("cancelled") << "cancelled" << int(ExitCancelled) << "Cancled" << 0;
        // No terminal here: the Abort was nobody's choice.
        QTest::newRow("low-disk abort, unasked") << "low-disk abort" << int(ExitErrors) << "Cancled" << 0;
        QTest::newRow("thread error") << "thread error" << int(ExitErrors) << "completed" << 1;
    }
    void exitStatusAndMessage()
    {
        QFETCH(QString, ending);
        QFETCH(int, status);
        QFETCH(QString, headline);
        QFETCH(int, errors);
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        TCliObserver observer(out, err, TCliObserver::TTerminal{});
        test::TStandInEngine engine(ending);
        RunEngine(engine, observer);

        const TRunOutcome &outcome = engine.Outcome();
        const TCliObserver::TTotals totals = observer.Totals();
        PrintCompletion(
            out,
            QStringLiteral("Restore file operation %1 !")
                .arg(outcome.Cancelled() ? QStringLiteral("Cancled") : QStringLiteral("completed")),
            outcome, totals);
        out.flush();
        QCOMPARE(RunExitStatus(outcome, totals), status);
        const QString expected = QStringLiteral("Restore file operation %1 !\nTotal Files : 2\nErrors : %2\n")
                                     .arg(headline)
                                     .arg(errors);
        QVERIFY2(outText.contains(expected), qPrintable(outText));
        // A job file that could not be saved never leaves a clean run clean.
        if (status == ExitOk)
            QCOMPARE(RunExitStatus(outcome, totals, false), int(ExitErrors));
    }
};

QTEST_GUILESS_MAIN(TestRunOutcome)
#include "tst_runoutcome.moc"
