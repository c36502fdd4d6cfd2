#include "TestDrives.h"

#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace trovalo;

namespace {

const char *const HelperSwitch = "--instance-helper";

void PrintLine(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The other copy of the program, played by this test binary: asks for a slot
// with the given MaxInstances and prints "admitted" or "refused". An admitted
// copy stays until killed or until its standard input closes, printing
// "raise" for every request to come forward.
int RunInstanceHelper(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TApplicationInstance instance;
    instance.SetMaxInstances(QByteArray(argv[2]).toInt());
    if (instance.RestoreIfRunning()) {
        PrintLine("refused");
        return 0;
    }
    PrintLine("admitted");
    QObject::connect(&instance, &TApplicationInstance::RaiseRequested, [] { PrintLine("raise"); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

// Waits for the next output line while this process keeps serving its own
// local socket; "" on timeout.
QString NextLine(QProcess &process, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    // A process that ended has had its output read already.
    while (!process.canReadLine() && process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    return process.canReadLine() ? QString::fromUtf8(process.readLine()).trimmed() : QString();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void secondGuardInOneProcessRaises();
    void copyInAnotherProcessIsRefusedAndRaisesTheFirst();
    void killedHolderFreesItsSlot();
    void maxInstancesAdmitsThatMany_data();
    void maxInstancesAdmitsThatMany();
    void otherDataFolderRunsAlongside();

private:
    QProcess *StartHelper(int maxInstances);

    QTemporaryDir FRuntime;
    QByteArray FOldRuntime;
    std::unique_ptr<test::TTestDrives> FDrives;
    std::vector<std::unique_ptr<QProcess>> FHelpers;
};

void TestSingleInstance::initTestCase()
{
    // Lock files and sockets of this run stay in a folder of their own.
    QVERIFY(FRuntime.isValid());
    FOldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
}

void TestSingleInstance::cleanupTestCase()
{
    qputenv("XDG_RUNTIME_DIR", FOldRuntime);
}

void TestSingleInstance::init()
{
    // Each test gets its own data folder, so its slots are its own.
    FDrives = std::make_unique<test::TTestDrives>();
    ResetAppPathsForTesting();
}

void TestSingleInstance::cleanup()
{
    for (const std::unique_ptr<QProcess> &helper : FHelpers) {
        helper->kill();
        helper->waitForFinished(5000);
    }
    FHelpers.clear();
    FDrives.reset();
    ResetAppPathsForTesting();
}

QProcess *TestSingleInstance::StartHelper(int maxInstances)
{
    // The helper inherits the environment as it is now (drives, data folder).
    auto helper = std::make_unique<QProcess>();
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->start(QCoreApplication::applicationFilePath(),
                  {QString::fromLatin1(HelperSwitch), QString::number(maxInstances)});
    FHelpers.push_back(std::move(helper));
    return FHelpers.back().get();
}

void TestSingleInstance::secondGuardInOneProcessRaises()
{
    {
        TApplicationInstance first;
        try {
            TApplicationInstance second;
            QFAIL("a second guard was constructed");
        } catch (const EApplicationInstanceError &error) {
            QCOMPARE(error.Message(),
                     QStringLiteral("Only one copy of this component can be dropped on a application!"));
        }
        QVERIFY(!first.RestoreIfRunning());
    }
    // The refused construction did not leave the process without a guard
    // forever: once the first is gone a new one can be made.
    TApplicationInstance again;
    QVERIFY(!again.RestoreIfRunning());
}

void TestSingleInstance::copyInAnotherProcessIsRefusedAndRaisesTheFirst()
{
    TApplicationInstance instance;
    QSignalSpy raised(&instance, &TApplicationInstance::RaiseRequested);
    QVERIFY(!instance.RestoreIfRunning());
    QCOMPARE(instance.Slot(), 0);

    QProcess *second = StartHelper(1);
    QCOMPARE(NextLine(*second), QStringLiteral("refused"));
    QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 5000);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    // The first copy still holds its slot.
    QProcess *third = StartHelper(1);
    QCOMPARE(NextLine(*third), QStringLiteral("refused"));
}

void TestSingleInstance::killedHolderFreesItsSlot()
{
    QProcess *holder = StartHelper(1);
    QCOMPARE(NextLine(*holder), QStringLiteral("admitted"));

    TApplicationInstance instance;
    QSignalSpy raised(&instance, &TApplicationInstance::RaiseRequested);
    QVERIFY(instance.RestoreIfRunning());
    QCOMPARE(NextLine(*holder), QStringLiteral("raise"));

    holder->kill(); // SIGKILL: no clean-up code runs in the holder
    QVERIFY(holder->waitForFinished(5000));
    QVERIFY(!instance.RestoreIfRunning());

    // The dead holder's socket name was taken over: a new copy reaches us.
    QProcess *later = StartHelper(1);
    QCOMPARE(NextLine(*later), QStringLiteral("refused"));
    QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 1, 5000);
}

void TestSingleInstance::maxInstancesAdmitsThatMany_data()
{
    QTest::addColumn<int>("maxInstances");
    QTest::addColumn<int>("started");
    QTest::addColumn<int>("admitted");
    QTest::newRow("default of one") << 1 << 2 << 1;
    QTest::newRow("two") << 2 << 3 << 2;
    QTest::newRow("three") << 3 << 3 << 3;
    QTest::newRow("zero is ignored") << 0 << 2 << 1;
    QTest::newRow("negative is ignored") << -4 << 2 << 1;
}

void TestSingleInstance::maxInstancesAdmitsThatMany()
{
    QFETCH(int, maxInstances);
    QFETCH(int, started);
    QFETCH(int, admitted);
    QStringList answers;
    for (int i = 0; i < started; ++i)
        answers << NextLine(*StartHelper(maxInstances));
    QStringList expected;
    for (int i = 0; i < started; ++i)
        expected << (i < admitted ? QStringLiteral("admitted") : QStringLiteral("refused"));
    QCOMPARE(answers, expected);

    TApplicationInstance instance;
    instance.SetMaxInstances(maxInstances);
    QCOMPARE(instance.MaxInstances(), maxInstances > 0 ? maxInstances : 1);
}

void TestSingleInstance::otherDataFolderRunsAlongside()
{
    TApplicationInstance instance;
    QVERIFY(!instance.RestoreIfRunning());
    {
        // Same program file, another data folder: a separate installation.
        test::TTestDrives otherDrives;
        QProcess *other = StartHelper(1);
        QCOMPARE(NextLine(*other), QStringLiteral("admitted"));
    }
    // Back on this data folder the slot is taken.
    QProcess *same = StartHelper(1);
    QCOMPARE(NextLine(*same), QStringLiteral("refused"));
}

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], HelperSwitch) == 0)
        return RunInstanceHelper(argc, argv);
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
