#include "TestFiles.h"

#include "platform/OpenFileHolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

using namespace trovalo;

class TestOpenFileHolders : public QObject
{
    Q_OBJECT

private slots:
    void findsProgramsHoldingFiles_data();
    void findsProgramsHoldingFiles();
    void findsThisProcessAlone();
};

void TestOpenFileHolders::findsProgramsHoldingFiles_data()
{
    QTest::addColumn<QString>("openFile");      // relative to the drive folder; "" for none
    QTest::addColumn<QString>("workingFolder"); // relative to the drive folder; "" for outside it
    QTest::addColumn<QStringList>("held");

    QTest::newRow("a file open below the folder") << "Docs/a.txt"
                                                  << "" << QStringList{"Docs/a.txt"};
    QTest::newRow("working in a folder below it") << ""
                                                  << "Docs" << QStringList{"Docs"};
    QTest::newRow("both") << "Docs/a.txt"
                          << "Docs" << QStringList{"Docs", "Docs/a.txt"};
    QTest::newRow("a file beside the folder, in one named alike") << "../drive-2/b.txt"
                                                                  << "" << QStringList{};
}

// A test program, "sleep", holds a file and works in a folder, as an editor
// or a shell in a terminal would.
void TestOpenFileHolders::findsProgramsHoldingFiles()
{
    QFETCH(QString, openFile);
    QFETCH(QString, workingFolder);
    QFETCH(QStringList, held);

    QTemporaryDir base;
    const QString drive = base.filePath(QStringLiteral("drive"));
    test::PutNative(drive + QStringLiteral("/Docs/a.txt"), "a");
    test::PutNative(base.filePath(QStringLiteral("drive-2/b.txt")), "b");

    QProcess holder;
    auto stop = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished();
    });
    holder.setWorkingDirectory(workingFolder.isEmpty() ? base.path()
                                                       : drive + QLatin1Char('/') + workingFolder);
    const QString file =
        openFile.isEmpty() ? QStringLiteral("/dev/null") : drive + QLatin1Char('/') + openFile;
    holder.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QStringLiteral("exec sleep 60 3<\"$0\""), QDir::cleanPath(file)});
    QVERIFY(holder.waitForStarted());
    QTRY_COMPARE(test::ReadOrMissing(QStringLiteral("/proc/%1/comm").arg(holder.processId())).trimmed(),
                 QByteArray("sleep"));

    const QList<TFileHolder> holders = ProcessesHoldingFilesUnder(drive);
    QStringList expected;
    for (const QString &path : held)
        expected << drive + QLatin1Char('/') + path;
    if (expected.isEmpty()) {
        QVERIFY(holders.isEmpty());
        return;
    }
    QCOMPARE(holders.size(), 1);
    QCOMPARE(holders.first().ProcessId, holder.processId());
    QCOMPARE(holders.first().Program, QStringLiteral("sleep"));
    QStringList paths = holders.first().Paths;
    paths.sort();
    QCOMPARE(paths, expected);
    QVERIFY(
        FileHoldersText(holders).startsWith(QStringLiteral("sleep (process %1: ").arg(holder.processId())));
}

// The program proves it holds nothing on a drive before it asks for the
// unmount.
void TestOpenFileHolders::findsThisProcessAlone()
{
    QTemporaryDir drive;
    test::PutNative(drive.filePath(QStringLiteral("a.txt")), "a");
    const qint64 self = QCoreApplication::applicationPid();
    QVERIFY(ProcessesHoldingFilesUnder(drive.path(), self).isEmpty());
    QFile file(drive.filePath(QStringLiteral("a.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<TFileHolder> holders = ProcessesHoldingFilesUnder(drive.path(), self);
    QCOMPARE(holders.size(), 1);
    QCOMPARE(holders.first().Paths, QStringList{file.fileName()});
    file.close();
    QVERIFY(ProcessesHoldingFilesUnder(drive.path(), self).isEmpty());
}

QTEST_GUILESS_MAIN(TestOpenFileHolders)
#include "tst_openfileholders.moc"
