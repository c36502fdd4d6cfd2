#include "CliProcess.h"
#include "TestDrives.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace trovalo;

namespace {
using test::RunCli;
using TRun = test::TCliRun;

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
    void drivesListsEveryDrive_data();
    void drivesListsEveryDrive();
    void saveThenShowKeepsStreamOrder();
    void showThenSaveReproducesTheFile();
    void refusedInput_data();
    void refusedInput();
    void showRefusesWhatIsNoRecord_data();
    void showRefusesWhatIsNoRecord();
    void demoWalksThrough();
    void newJobThenShow_data();
    void newJobThenShow();
    void newJobRefused_data();
    void newJobRefused();
    void passwordStaysHidden();
};

void TestCli::drivesListsEveryDrive_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("rules"); // QT_LOGGING_RULES
    QTest::addColumn<bool>("infoShown");   // on standard error
    QTest::newRow("quiet by default") << QStringList{"drives"} << QByteArray() << false;
    QTest::newRow("verbose first") << QStringList{"--verbose", "drives"} << QByteArray() << true;
    QTest::newRow("verbose last") << QStringList{"drives", "--verbose"} << QByteArray() << true;
    QTest::newRow("logging rules ask")
        << QStringList{"drives"} << QByteArray("trovalo.drives.info=true") << true;
}

void TestCli::drivesListsEveryDrive()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, rules);
    QFETCH(bool, infoShown);
    test::TTestDrives drives({{'C', QString()}, {'E', QStringLiteral("bus=USB,label=STICK")}});
    qputenv("QT_LOGGING_RULES", rules);
    const TRun run = RunCli(arguments);
    qunsetenv("QT_LOGGING_RULES");
    QCOMPARE(run.Status, 0);
    static const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d [\\d:.]{12} info +trovalo\\.drives: Drive E: appeared: "),
        QRegularExpression::MultilineOption);
    QVERIFY2(run.Err.contains(line) == infoShown, qPrintable(run.Err));
    const QList<QByteArray> lines = run.OutBytes.trimmed().split('\n');
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
    const QJsonObject shown = QJsonDocument::fromJson(show.OutBytes).object();
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
        const qsizetype at = show.OutBytes.indexOf('"' + name.toUtf8() + '"');
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
    QCOMPARE(RunCli({QStringLiteral("save"), QStringLiteral("E:\\b.cfg")}, show.OutBytes).Status, 0);
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
    QVERIFY(run.OutBytes.contains("E:\\ is known on this computer"));
    QVERIFY(run.OutBytes.contains("\"class\": \"TDiskConfigFile\""));
    QVERIFY(run.OutBytes.contains("ConfigData"));
}

namespace {
// A computer folder with a file and a subfolder, and a backup folder on E:.
void MakeJobFolders(const test::TTestDrives &drives)
{
    QDir().mkpath(drives.Native('C', QStringLiteral("Users/ann/Docs/sub")));
    QDir().mkpath(drives.Native('E', QStringLiteral("Backup")));
    QFile file(drives.Native('C', QStringLiteral("Users/ann/Docs/a.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QJsonObject ShowOnlyJob(const test::TTestDrives &drives, const QStringList &extra = {})
{
    const QStringList jobs = QDir(drives.Native('E', QStringLiteral("Config"))).entryList(QDir::Files);
    if (jobs.size() != 1)
        return {};
    const TRun show = RunCli(
        QStringList{QStringLiteral("show"), drives.Native('E', QStringLiteral("Config/") + jobs.first())} +
        extra);
    return QJsonDocument::fromJson(show.OutBytes).object().value(QLatin1String("properties")).toObject();
}
} // namespace

void TestCli::newJobThenShow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("namePrefix");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("incremental backup to USB")
        << QStringList{"backup",
                       "--direction",
                       "to-usb",
                       "--type",
                       "incremental",
                       "--source",
                       "C:\\Users\\ann\\Docs",
                       "--exclude",
                       "C:\\Users\\ann\\Docs\\sub",
                       "--destination",
                       "E:\\Backup",
                       "--name",
                       "Docs",
                       "--exclude-ext",
                       ".TMP",
                       "--exclude-name",
                       "Thumbs.db",
                       "--skip-hidden"}
        << "Backup2"
        << QVariantMap{{"BackupName", "Docs"},
                       {"ArchiveMode", "amIncremental"},
                       {"ArchiveType", "atFile"},
                       {"ArchiveDir", "amPcToUsb"},
                       {"BackupSystem", 1},
                       {"Port", 21},
                       {"Path", "/"},
                       {"Destination", "E:\\Backup\\"},
                       {"FolderList.Strings", QStringList{"C:\\Users\\ann\\Docs\\"}},
                       {"ExcludeList.Strings", QStringList{"C:\\Users\\ann\\Docs\\sub\\"}},
                       {"FileFilter.ExcludeFileExtList.Strings", QStringList{".tmp"}},
                       {"FileFilter.ExcludeMaskList.Strings", QStringList{"thumbs.db"}},
                       {"FileFilter.Hidden", true}};
    QTest::newRow("versions backup from USB")
        << QStringList{"backup",     "--direction",   "from-usb",
                       "--type",     "versions",      "--source",
                       "E:\\Backup", "--destination", "C:\\Users\\ann\\Docs"}
        << "Backup2"
        << QVariantMap{
               {"ArchiveMode", "amTimeStampedIncremental"}, {"ArchiveDir", "amUsbToPc"}, {"BackupSystem", 3}};
    // A bare letter names the drive.
    QTest::newRow("move to USB")
        << QStringList{"move",          "--direction", "to-usb",  "--source", "C:\\Users\\ann\\Docs",
                       "--destination", "E:\\Backup",  "--drive", "E"}
        << "Move 2" << QVariantMap{{"ArchiveMode", "amMove"}, {"BackupSystem", 0}, {"DeleteFile", true}};
    QTest::newRow("sync of the drive root")
        << QStringList{"sync",        "--pair", "E:\\=C:\\Users\\ann\\Docs", "--direction", "to-computer",
                       "--conflicts", "usb"}
        << "sync 2"
        << QVariantMap{{"FolderAList.Strings", QStringList{"\\"}},
                       {"FolderBList.Strings", QStringList{"C:\\Users\\ann\\Docs"}},
                       {"SyncDirection", "sdPCToUSB"},
                       {"SyncDefaultAction", "sdaPCVersion"}};
}

void TestCli::newJobThenShow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, namePrefix);
    QFETCH(QVariantMap, expected);
    test::TTestDrives drives;
    MakeJobFolders(drives);
    const TRun run = RunCli(QStringList{QStringLiteral("new")} + arguments);
    QVERIFY2(run.Status == 0, qPrintable(run.Err));
    const QStringList jobs = QDir(drives.Native('E', QStringLiteral("Config"))).entryList(QDir::Files);
    QCOMPARE(jobs.size(), 1);
    QVERIFY2(jobs.first().startsWith(namePrefix), qPrintable(jobs.first()));
    const QJsonObject properties = ShowOnlyJob(drives);
    QVERIFY(!properties.value(QLatin1String("PCID")).toString().isEmpty());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant actual = properties.value(it.key()).toVariant();
        if (it.value().typeId() == QMetaType::QStringList)
            QCOMPARE(actual.toStringList(), it.value().toStringList());
        else
            QCOMPARE(actual, it.value());
    }
}

void TestCli::newJobRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QStringList backup = {"backup",   "--direction",         "to-usb", "--type", "mirror",
                                "--source", "C:\\Users\\ann\\Docs"};
    QTest::newRow("no kind") << QStringList{} << "say which kind of job";
    QTest::newRow("missing destination") << backup << "--destination is missing";
    QTest::newRow("mistyped type") << (QStringList{"backup", "--direction", "to-usb", "--type", "mirorr",
                                                   "--source", "C:\\Users", "--destination", "E:\\Backup"})
                                   << "did you mean 'mirror'";
    QTest::newRow("missing source folder")
        << QStringList{"backup",   "--direction", "to-usb",        "--type",    "mirror",
                       "--source", "C:\\nope",    "--destination", "E:\\Backup"}
        << "is not an existing folder or file";
    QTest::newRow("exclude outside the sources")
        << (backup + QStringList{"--destination", "E:\\Backup", "--exclude", "E:\\Backup"})
        << "inside none of the source folders";
    QTest::newRow("extension without dot")
        << (backup + QStringList{"--destination", "E:\\Backup", "--exclude-ext", "tmp"})
        << "must start with a dot";
    QTest::newRow("password on a plain copy")
        << (backup + QStringList{"--destination", "E:\\Backup", "--password-file", "/dev/null"})
        << "Password not set";
    QTest::newRow("job on the system drive")
        << QStringList{"backup",   "--direction", "to-usb",        "--type",   "mirror",
                       "--source", "E:\\Backup",  "--destination", "C:\\Users"}
        << "not on the computer's system drive";
    QTest::newRow("move of two folders")
        << QStringList{"move",     "--direction", "to-usb",        "--source",  "C:\\Users\\ann\\Docs",
                       "--source", "C:\\Users",   "--destination", "E:\\Backup"}
        << "exactly one folder";
    QTest::newRow("sync to itself") << QStringList{"sync", "--pair", "E:\\Backup=E:\\Backup"}
                                    << "Cannot Sync folder to itself";
    QTest::newRow("sync pair twice") << QStringList{"sync", "--pair", "E:\\Backup=C:\\Users", "--pair",
                                                    "E:\\=C:\\Users"}
                                     << "already in the Sync folder list";
}

void TestCli::newJobRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    test::TTestDrives drives;
    MakeJobFolders(drives);
    const TRun run = RunCli(QStringList{QStringLiteral("new")} + arguments);
    QCOMPARE(run.Status, 3);
    QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
    QVERIFY(QDir(drives.Native('E', QStringLiteral("Config"))).entryList(QDir::Files).isEmpty());
}

void TestCli::passwordStaysHidden()
{
    test::TTestDrives drives;
    MakeJobFolders(drives);
    const QString passwordFile = drives.Native('C', QStringLiteral("pw.txt"));
    QFile file(passwordFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("s3cret pass\n");
    file.close();
    const TRun run =
        RunCli({"new", "backup", "--direction", "to-usb", "--type", "zip", "--source", "C:\\Users\\ann\\Docs",
                "--destination", "E:\\Backup", "--password-file", passwordFile});
    QVERIFY2(run.Status == 0, qPrintable(run.Err));
    QVERIFY(!run.OutBytes.contains("s3cret"));
    QCOMPARE(ShowOnlyJob(drives).value(QLatin1String("Password")).toString(), QStringLiteral("***"));
    QCOMPARE(
        ShowOnlyJob(drives, {QStringLiteral("--show-password")}).value(QLatin1String("Password")).toString(),
        QStringLiteral("s3cret pass"));

    // Saving what 'show' printed must not replace the password by its mask.
    const QStringList jobs = QDir(drives.Native('E', QStringLiteral("Config"))).entryList(QDir::Files);
    const QString job = drives.Native('E', QStringLiteral("Config/") + jobs.first());
    const TRun masked = RunCli({QStringLiteral("show"), job});
    const TRun save = RunCli({QStringLiteral("save"), job}, masked.OutBytes);
    QCOMPARE(save.Status, 3);
    QCOMPARE(
        ShowOnlyJob(drives, {QStringLiteral("--show-password")}).value(QLatin1String("Password")).toString(),
        QStringLiteral("s3cret pass"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
