#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "UDisks2Mock.h"

#include "platform/JobRunLock.h"

#include <QUuid>
#include <QtTest>

using namespace trovalo;

// `trovalo-cli eject` as a user types it, with dbusmock standing in for
// UDisks2 on the system bus the command is given: E: is a stick UDisks2
// knows (mounted on its folder), F: a folder it does not.
class TestEject : public test::TUDisks2Suite
{
    Q_OBJECT

private slots:
    void ejects_data();
    void ejects();
};

void TestEject::ejects_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("jobRuns");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("calls");

    const test::TMockStick stick;
    const QStringList removed{stick.Block + QStringLiteral(" Unmount"),
                              stick.Drive + QStringLiteral(" PowerOff")};
    QTest::newRow("stick by letter") << "E:" << false << 0 << "may be pulled out now" << removed;
    QTest::newRow("stick by its folder") << "<E>" << false << 0 << "may be pulled out now" << removed;
    QTest::newRow("a job of the stick runs elsewhere")
        << "E" << true << 1 << "cannot be removed while a job of it runs: E:\\Config\\Backup.Zja"
        << QStringList{};
    QTest::newRow("a folder, not a drive UDisks2 knows")
        << "F:\\" << false << 1 << "is not a drive UDisks2 can remove" << QStringList{};
    QTest::newRow("a folder on the stick")
        << "<E>/Config" << false << 3 << "is a folder on drive E:" << QStringList{};
}

void TestEject::ejects()
{
    QFETCH(QString, drive);
    QFETCH(bool, jobRuns);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QStringList, calls);

    test::TTestDrives drives(
        {{'C', QString()}, {'E', QStringLiteral("bus=USB")}, {'F', QStringLiteral("bus=USB")}});
    test::PutNative(drives.Native('E', QStringLiteral("Config/Backup.Zja")), "job");
    QVERIFY(FUDisks2.Start());
    QVERIFY(FUDisks2.AddStick(test::TMockStick::MountedAt(drives.NativeRoot('E'))));
    TJobRunLock job;
    if (jobRuns)
        job = TJobRunLock::Take(QUuid::createUuid().toString(), QStringLiteral("E:\\Config\\Backup.Zja"));

    const test::TCliRun run =
        test::RunCli({QStringLiteral("eject"), drive.replace(QStringLiteral("<E>"), drives.NativeRoot('E'))});
    QVERIFY2(run.Status == status, qPrintable(run.Out + run.Err));
    QVERIFY2((run.Out + run.Err).contains(output), qPrintable(run.Out + run.Err));
    QCOMPARE(FUDisks2.RemovalCalls(), calls);
}

QTEST_GUILESS_MAIN(TestEject)
#include "tst_eject.moc"
