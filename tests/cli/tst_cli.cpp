#include "TestDrives.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace trovalo;

namespace {
struct TRun
{
    int Status = -1;
    QByteArray Out;
    QString Err;
};

TRun RunCli(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.setProgram(qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo-cli"));
    process.setArguments(arguments);
    process.start();
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray SettingsJson = R"({
  "class": "TProgramData",
  "properties": {
    "FileGUID": "{11111111-2222-3333-4444-555555555555}",
    "MoveToDeleted": true,
    "MaxDeletedSize": 5368709120,
    "ScheduleRunMode": "srmSkip"
  }
})";
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void drivesListsEveryDrive();
    void saveThenShowKeepsStreamOrder();
    void showThenSaveReproducesTheFile();
    void refusedInput_data();
    void refusedInput();
    void showRefusesWhatIsNoRecord_data();
    void showRefusesWhatIsNoRecord();
    void demoWalksThrough();
};

void TestCli::drivesListsEveryDrive()
{
    test::TTestDrives drives({{'C', QString()}, {'E', QStringLiteral("bus=USB,label=STICK")}});
    const TRun run = RunCli({QStringLiteral("drives")});
    QCOMPARE(run.Status, 0);
    const QList<QByteArray> lines = run.Out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith("Drive"));
    QVERIFY(lines[1].startsWith("C:\\"));
    QVERIFY(lines[2].startsWith("E:\\"));
    QVERIFY(lines[2].contains(drives.NativeRoot('E').toUtf8()));
    QVERIFY(lines[2].contains("STICK"));
    QVERIFY(lines[2].contains("USB"));
}

void TestCli::saveThenShowKeepsStreamOrder()
{
    test::TTestDrives drives;
    const TRun save = RunCli({QStringLiteral("save"), QStringLiteral("E:\\settings.cfg"),
                              QStringLiteral("--class"), QStringLiteral("TProgramData")},
                             SettingsJson);
    QCOMPARE(save.Status, 0);
    QVERIFY(QFileInfo::exists(drives.Native('E', QStringLiteral("settings.cfg"))));

    // Shown by its native path this time: both forms are accepted.
    const TRun show = RunCli({QStringLiteral("show"), drives.Native('E', QStringLiteral("settings.cfg"))});
    QCOMPARE(show.Status, 0);
    const QJsonObject shown = QJsonDocument::fromJson(show.Out).object();
    QCOMPARE(shown.value(QLatin1String("class")).toString(), QStringLiteral("TProgramData"));
    const QJsonObject properties = shown.value(QLatin1String("properties")).toObject();
    QCOMPARE(properties.value(QLatin1String("MaxDeletedSize")).toInteger(), Q_INT64_C(5368709120));
    QCOMPARE(properties.value(QLatin1String("ScheduleRunMode")).toString(), QStringLiteral("srmSkip"));
    QVERIFY(!properties.contains(QLatin1String("DriveAutoRun"))); // default, not stored

    // QJsonObject sorts its keys; the stream order is checked on the text.
    const QStringList order = {QStringLiteral("FileGUID"),        QStringLiteral("MoveToDeleted"),
                               QStringLiteral("DeletedFolder"),   QStringLiteral("MaxDeletedSize"),
                               QStringLiteral("CheckForUpdates"), QStringLiteral("ShowHidden"),
                               QStringLiteral("MiniWindows"),     QStringLiteral("ScheduleRunMode")};
    qsizetype last = -1;
    for (const QString &name : order) {
        const qsizetype at = show.Out.indexOf('"' + name.toUtf8() + '"');
        QVERIFY2(at > last, qPrintable(name));
        last = at;
    }
}

void TestCli::showThenSaveReproducesTheFile()
{
    test::TTestDrives drives;
    QCOMPARE(RunCli({QStringLiteral("save"), QStringLiteral("E:\\a.cfg"), QStringLiteral("--class"),
                     QStringLiteral("TProgramData")},
                    SettingsJson)
                 .Status,
             0);
    const TRun show = RunCli({QStringLiteral("show"), QStringLiteral("E:\\a.cfg")});
    QCOMPARE(show.Status, 0);
    QCOMPARE(RunCli({QStringLiteral("save"), QStringLiteral("E:\\b.cfg")}, show.Out).Status, 0);
    QCOMPARE(ReadFile(drives.Native('E', QStringLiteral("b.cfg"))),
             ReadFile(drives.Native('E', QStringLiteral("a.cfg"))));
}

void TestCli::refusedInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");

    const QStringList save = {QStringLiteral("save"), QStringLiteral("E:\\x.cfg")};
    QTest::newRow("unknown command") << QStringList{QStringLiteral("shwo")} << QByteArray()
                                     << "did you mean 'show'";
    QTest::newRow("mistyped option") << (save + QStringList{QStringLiteral("--clas"),
                                                            QStringLiteral("TProgramData")})
                                     << SettingsJson << "did you mean '--class'";
    QTest::newRow("missing file argument")
        << QStringList{QStringLiteral("show")} << QByteArray() << "missing argument";
    QTest::newRow("unknown class") << (save +
                                       QStringList{QStringLiteral("--class"), QStringLiteral("TProgramDat")})
                                   << QByteArray(R"({"properties":{}})") << "did you mean 'TProgramData'";
    QTest::newRow("not JSON") << (save +
                                  QStringList{QStringLiteral("--class"), QStringLiteral("TProgramData")})
                              << QByteArray("{nope") << "not JSON";
    QTest::newRow("unknown property")
        << (save + QStringList{QStringLiteral("--class"), QStringLiteral("TProgramData")})
        << QByteArray(R"({"properties":{"MoveToDeleted":true,"Colour":"red"}})") << "Colour";
    QTest::newRow("wrong type") << save
                                << QByteArray(R"({"class":"TProgramData","properties":{"ShowHidden":"yes"}})")
                                << "ShowHidden";
    QTest::newRow("bad enumeration name")
        << save << QByteArray(R"({"class":"TProgramData","properties":{"ScheduleRunMode":"srmLater"}})")
        << "srmLater";
    QTest::newRow("class mismatch") << (save + QStringList{QStringLiteral("--class"),
                                                           QStringLiteral("TDiskConfigFile")})
                                    << SettingsJson << "TProgramData";
    QTest::newRow("path outside the drives")
        << QStringList{QStringLiteral("show"), QStringLiteral("/nowhere/x.cfg")} << QByteArray()
        << "/nowhere/x.cfg";
}

void TestCli::refusedInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    test::TTestDrives drives;
    const TRun run = RunCli(arguments, input);
    QCOMPARE(run.Status, 3);
    QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
    // Nothing was written on the drive.
    QVERIFY(!QFileInfo::exists(drives.Native('E', QStringLiteral("x.cfg"))));
}

void TestCli::showRefusesWhatIsNoRecord_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("text file") << QByteArray("just text") << "not a Trovalo record";
    QTest::newRow("empty file") << QByteArray() << "not a Trovalo record";
}

void TestCli::showRefusesWhatIsNoRecord()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    test::TTestDrives drives;
    QFile file(drives.Native('E', QStringLiteral("x.Zja")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const TRun run = RunCli({QStringLiteral("show"), QStringLiteral("E:\\x.Zja")});
    QCOMPARE(run.Status, 3);
    QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
    QVERIFY2(run.Err.contains(drives.Native('E', QStringLiteral("x.Zja"))), qPrintable(run.Err));
}

void TestCli::demoWalksThrough()
{
    const TRun run = RunCli({QStringLiteral("demo")});
    QVERIFY2(run.Status == 0, qPrintable(run.Err));
    QVERIFY(run.Out.contains("E:\\ is known on this computer"));
    QVERIFY(run.Out.contains("\"class\": \"TDiskConfigFile\""));
    QVERIFY(run.Out.contains("ConfigData"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
