#include "TestDrives.h"

#include "model/ProgramIdentity.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace trovalo;

class TestTrayApp : public QObject
{
    Q_OBJECT

private slots:
    void oneCopyAtATimeAndAKilledCopyDoesNotBlock();
    void copyInstalledElsewhereRunsAlongside();

private:
    static QString Program() { return qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo"); }
    static std::unique_ptr<QProcess> Start(const QProcessEnvironment &environment,
                                           const QString &program = Program());
    // The tray program's environment on isolated drives, with its own runtime folder.
    static QProcessEnvironment Environment(const test::TTestDrives &drives);
    static void Stop(QProcess &process);
};

std::unique_ptr<QProcess> TestTrayApp::Start(const QProcessEnvironment &environment, const QString &program)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, {});
    return process;
}

QProcessEnvironment TestTrayApp::Environment(const test::TTestDrives &drives)
{
    QDir runtime(drives.Base());
    runtime.mkdir(QStringLiteral("runtime"));
    QFile::setPermissions(runtime.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TROVALO_DRIVES"), drives.DrivesVariable());
    environment.insert(QStringLiteral("ProgramData"), QStringLiteral("C:\\ProgramData"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.filePath(QStringLiteral("runtime")));
    return environment;
}

void TestTrayApp::Stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void TestTrayApp::oneCopyAtATimeAndAKilledCopyDoesNotBlock()
{
    QVERIFY2(QFileInfo(Program()).isExecutable(), qPrintable(Program()));
    test::TTestDrives drives;
    const QProcessEnvironment environment = Environment(drives);

    const QString dataFolder = drives.Native('C', QStringLiteral("ProgramData/") + AppFolderName());
    std::unique_ptr<QProcess> first = Start(environment);
    QVERIFY(first->waitForStarted(5000));
    // The temporary folder is made last, after the copy holds its slot.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dataFolder + QStringLiteral("/Tmp")).isDir(), 15000);
    for (const char *folder : {"AutoFill", "ErrorLogs", "ConfigData", "Deleted"})
        QVERIFY2(QFileInfo(dataFolder + QLatin1Char('/') + QLatin1String(folder)).isDir(), folder);
    const std::optional<quint32> attributes = GetFileAttributes(
        QStringLiteral("C:\\ProgramData\\") + AppFolderName() + QStringLiteral("\\ConfigData"));
    QVERIFY(attributes && (*attributes & faHidden));

    std::unique_ptr<QProcess> second = Start(environment);
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTest::qWait(300);
    QCOMPARE(first->state(), QProcess::Running);

    first->kill(); // SIGKILL: the copy gets no chance to clean up
    QVERIFY(first->waitForFinished(5000));

    std::unique_ptr<QProcess> third = Start(environment);
    QVERIFY(third->waitForStarted(5000));
    QVERIFY2(!third->waitForFinished(3000), "the copy after a killed one did not stay up");
    // It holds the slot: yet another copy is turned away.
    std::unique_ptr<QProcess> fourth = Start(environment);
    QVERIFY(fourth->waitForFinished(10000));
    QCOMPARE(fourth->exitCode(), 0);
    QCOMPARE(third->state(), QProcess::Running);

    Stop(*third);
}

void TestTrayApp::copyInstalledElsewhereRunsAlongside()
{
    test::TTestDrives drives;
    const QProcessEnvironment environment = Environment(drives);
    const QString elsewhere = drives.Base() + QStringLiteral("/other install/trovalo");
    QVERIFY(QDir().mkpath(QFileInfo(elsewhere).path()));
    QVERIFY(QFile::copy(Program(), elsewhere));

    std::unique_ptr<QProcess> first = Start(environment);
    QVERIFY(first->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(drives.Native('C', QStringLiteral("ProgramData/") + AppFolderName() +
                                                              QStringLiteral("/Tmp")))
                                 .isDir(),
                             15000);
    std::unique_ptr<QProcess> second = Start(environment, elsewhere);
    QVERIFY(second->waitForStarted(5000));
    QVERIFY2(!second->waitForFinished(3000), "a copy installed in another folder was turned away");
    QCOMPARE(first->state(), QProcess::Running);
    Stop(*second);
    Stop(*first);
}

QTEST_GUILESS_MAIN(TestTrayApp)
#include "tst_trayapp.moc"
