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

private:
    std::unique_ptr<QProcess> Start(const QProcessEnvironment &environment) const;
};

std::unique_ptr<QProcess> TestTrayApp::Start(const QProcessEnvironment &environment) const
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo"), {});
    return process;
}

void TestTrayApp::oneCopyAtATimeAndAKilledCopyDoesNotBlock()
{
    const QString program = qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo");
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    test::TTestDrives drives;
    QDir runtime(drives.Base());
    QVERIFY(runtime.mkdir(QStringLiteral("runtime")));
    QFile::setPermissions(runtime.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TROVALO_DRIVES"), drives.DrivesVariable());
    environment.insert(QStringLiteral("ProgramData"), QStringLiteral("C:\\ProgramData"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.filePath(QStringLiteral("runtime")));

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

    third->terminate();
    if (!third->waitForFinished(5000)) {
        third->kill();
        third->waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(TestTrayApp)
#include "tst_trayapp.moc"
