#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "model/ArchiveData.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {
using test::RunCli;
using TRun = test::TCliRun;

QString LineWith(const QString &output, const QString &text)
{
    const QStringList lines = output.split(QLatin1Char('\n')).filter(text);
    return lines.size() == 1 ? lines.first() : QString();
}
} // namespace

// E: holds a backup job made by "trovalo-cli new", a move job of another
// computer and a broken job file; F: holds nothing.
class TestListCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listsEveryJob();
    void answers_data();
    void answers();

private:
    std::unique_ptr<test::TTestDrives> FDrives;
};

void TestListCommand::initTestCase()
{
    FDrives = std::make_unique<test::TTestDrives>(
        QMap<QChar, QString>{{'C', ""}, {'E', "bus=USB"}, {'F', "bus=USB"}});
    QVERIFY(QDir().mkpath(FDrives->Native('C', "Docs")) && QDir().mkpath(FDrives->Native('E', "Backup")));
    const TRun created = RunCli({"new", "backup", "--direction", "to-usb", "--type", "incremental",
                                 "--source", "C:\\Docs", "--destination", "E:\\Backup", "--name", "My docs"});
    QVERIFY2(created.Status == 0, qPrintable(created.Err));
    TArchiveData move;
    move.SetBackupName(QStringLiteral("Their move"));
    move.SetArchiveMode(amMove);
    move.SetLastUpdate(EncodeDateTime(QDate(2014, 7, 10), QTime(9, 15, 30)));
    move.SetPCID(QStringLiteral("0000 - 0001"));
    SaveToFile(move, QStringLiteral("E:\\Config\\Move 1.Zjm"));
    test::WriteFile(FDrives->Native('E', "Config/sync broken.Zjs"), "garbage");
}

void TestListCommand::listsEveryJob()
{
    const TRun run = RunCli({"list", "E:"});
    QVERIFY2(run.Status == 0 && run.Err.isEmpty(), qPrintable(run.Err));
    QVERIFY(run.Out.startsWith(QStringLiteral("Jobs on E:\\ (%1):\n").arg(FDrives->NativeRoot('E'))));
    const QString pcId = ComputePCID();
    const QStringList expected[] = {
        {"My docs", "Backup To USB", "N/A", pcId + "  ", "E:\\Config\\Backup",
         FDrives->Native('E', "Config/Backup")},
        {"Their move", "Move From USB", "9:15:30", "0000 - 0001 *", "E:\\Config\\Move 1.Zjm",
         FDrives->Native('E', "Config/Move 1.Zjm")},
        {"<Error Loading Data>", "<Error> ", "<Error Loading Data>  E:\\Config\\sync broken.Zjs"},
    };
    for (const QStringList &fragments : expected) {
        const QString line = LineWith(run.Out, fragments.first());
        for (const QString &fragment : fragments)
            QVERIFY2(line.contains(fragment), qPrintable(fragment + " in: " + line));
    }
    QVERIFY(run.Out.endsWith(
        QStringLiteral("\n\n* saved on another computer (this one is %1): running it asks first\n")
            .arg(pcId)));
    QCOMPARE(run.Out.count(QLatin1Char('\n')), 7); // header, titles, three jobs, blank line, note
}

void TestListCommand::answers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("beginning"); // of the output, or of the error for status 3

    const QString jobsOnE = QStringLiteral("Jobs on E:\\ (");
    const QString native = FDrives->NativeRoot('E');
    QTest::newRow("root") << QStringList{"list", "E:\\"} << 0 << jobsOnE;
    QTest::newRow("bare letter, lower case") << QStringList{"list", "e"} << 0 << jobsOnE;
    QTest::newRow("mount folder") << QStringList{"list", native} << 0 << jobsOnE;
    QTest::newRow("no jobs") << QStringList{"list", "F:"} << 0
                             << QStringLiteral("No jobs on F:\\ (%1)\n").arg(FDrives->NativeRoot('F'));
    QTest::newRow("help") << QStringList{"list", "--help"} << 0 << "Usage: trovalo-cli list DRIVE\n";
    const QString refused = QStringLiteral("trovalo-cli list: ");
    QTest::newRow("no drive") << QStringList{"list"} << 3 << refused + "missing argument";
    QTest::newRow("unknown letter") << QStringList{"list", "Q:"} << 3 << refused + "there is no drive Q:";
    QTest::newRow("native folder on a drive")
        << QStringList{"list", native + "/Config"} << 3
        << refused + native + "/Config (E:\\Config) is a folder on drive E:";
    QTest::newRow("two drives") << QStringList{"list", "E:", "F:"} << 3
                                << refused + "unexpected argument 'F:'";
}

void TestListCommand::answers()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, beginning);
    const TRun run = RunCli(arguments);
    QCOMPARE(run.Status, status);
    QVERIFY2((status == 0 ? run.Out : run.Err).startsWith(beginning), qPrintable(run.Out + run.Err));
    QVERIFY(status == 0 ? run.Err.isEmpty() : run.Out.isEmpty());
}

QTEST_GUILESS_MAIN(TestListCommand)
#include "tst_listcommand.moc"
