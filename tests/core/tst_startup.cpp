#include "TestDrives.h"

#include "control/StartUp.h"
#include "model/ProgramIdentity.h"
#include "platform/AppPaths.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace trovalo;

namespace {

// The program's own folder, as if installed on drive E:.
const QString TemplateFolder = QStringLiteral("E:\\Install\\");

bool WriteFile(const QString &nativePath, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(nativePath).absolutePath());
    QFile file(nativePath);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray ReadFile(const QString &nativePath)
{
    QFile file(nativePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString DataFolder()
{
    return QStringLiteral("C:\\ProgramData\\") + AppFolderName();
}

QString NativeData(const test::TTestDrives &drives, const QString &relative)
{
    return drives.Native('C', QStringLiteral("ProgramData/") + AppFolderName() + QLatin1Char('/') + relative);
}

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void init() { ResetAppPathsForTesting(); }
    void cleanup() { ResetAppPathsForTesting(); }
    void firstStartCreatesTheTree();
    void templateCopiedButNeverOverwritten();
    void unusableSettingsFileGivesDefaults_data();
    void unusableSettingsFileGivesDefaults();
    void savedSettingsAreLoaded();
    void pcIdOfTheSystemVolume_data();
    void pcIdOfTheSystemVolume();
};

void TestStartUp::firstStartCreatesTheTree()
{
    test::TTestDrives drives;
    TStartUp startUp(TemplateFolder); // no template there: not an error
    startUp.Run();
    QVERIFY2(startUp.Errors().isEmpty(), qPrintable(startUp.Errors().join('\n')));

    for (const char *folder : {"", "AutoFill", "ErrorLogs", "ConfigData", "Tmp", "Deleted"})
        QVERIFY2(QFileInfo(NativeData(drives, QLatin1String(folder))).isDir(), folder);
    QCOMPARE(WorkFolder(), DataFolder());
    const QStringList report = startUp.FolderManager().OutPutList();
    QCOMPARE(report.mid(0, 2), (QStringList{"Directory Created : C:\\ProgramData",
                                            QStringLiteral("Directory Created : ") + DataFolder()}));
    QVERIFY(report.contains(QStringLiteral("Setting Attributes : ConfigData")));
    // Without a template the program database is made from the schema.
    QVERIFY(QFileInfo::exists(NativeData(drives, QStringLiteral("ConfigData/ProgramData.zjd"))));
    QVERIFY(startUp.ProgramDatabase());

    // Nothing configured yet: every setting has its default.
    QCOMPARE(startUp.ProgramData()->DeletedFolder(), DataFolder() + QStringLiteral("\\Deleted\\"));
    QCOMPARE(startUp.ProgramData()->MaxDeletedSize(), TProgramData::DefaultMaxDeletedSize);
    QVERIFY(startUp.ProgramData()->DriveAutoRun());
}

void TestStartUp::templateCopiedButNeverOverwritten()
{
    test::TTestDrives drives;
    const QString templateFile = drives.Native('E', QStringLiteral("Install/ProgramData.zjd"));
    const QString database = NativeData(drives, QStringLiteral("ConfigData/ProgramData.zjd"));
    QVERIFY(WriteFile(templateFile, "first template"));
    TStartUp first(TemplateFolder);
    first.Run();
    QCOMPARE(ReadFile(database), QByteArray("first template"));
    // It is no database: reported with the file's name, and left as it was.
    QCOMPARE(first.Errors().size(), 1);
    QVERIFY2(first.Errors().first().contains(QStringLiteral("ProgramData.zjd")),
             qPrintable(first.Errors().first()));
    QVERIFY(!first.ProgramDatabase());

    // A database in use survives a newer template.
    QVERIFY(WriteFile(database, "user's schedules"));
    QVERIFY(WriteFile(templateFile, "second template"));
    TStartUp(TemplateFolder).Run();
    QCOMPARE(ReadFile(database), QByteArray("user's schedules"));
}

void TestStartUp::unusableSettingsFileGivesDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("asFolder");
    QTest::newRow("garbage") << QByteArray("this is not a settings file") << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("zlib header, then nothing") << QByteArray::fromHex("78da") << false;
    QTest::newRow("a folder in its place") << QByteArray() << true;
}

void TestStartUp::unusableSettingsFileGivesDefaults()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, asFolder);
    test::TTestDrives drives;
    const QString settings = NativeData(drives, QStringLiteral("ConfigData/Config.cfg"));
    QVERIFY(asFolder ? QDir().mkpath(settings) : WriteFile(settings, content));

    TStartUp startUp(TemplateFolder);
    startUp.Run();
    QVERIFY2(startUp.Errors().isEmpty(), qPrintable(startUp.Errors().join('\n')));
    QCOMPARE(startUp.ProgramData()->DeletedFolder(), DataFolder() + QStringLiteral("\\Deleted\\"));
    QCOMPARE(startUp.ProgramData()->MaxDeletedSize(), TProgramData::DefaultMaxDeletedSize);
    QVERIFY(!startUp.ProgramData()->MoveToDeleted());
    // The steps after the settings still ran.
    QVERIFY(QFileInfo(NativeData(drives, QStringLiteral("Tmp"))).isDir());
}

void TestStartUp::savedSettingsAreLoaded()
{
    test::TTestDrives drives;
    TStartUp first(TemplateFolder);
    first.Run();
    TProgramData *settings = first.ProgramData();
    settings->SetMoveToDeleted(true);
    settings->SetDeletedFolder(QStringLiteral("E:\\Kept\\Deleted files\\"));
    settings->SetMaxDeletedSize(5 * 1024 * 1024);
    SaveToFile(*settings, TStartUp::SettingsFileName());
    QVERIFY(QFileInfo(NativeData(drives, QStringLiteral("ConfigData/Config.cfg"))).isFile());

    TStartUp second(TemplateFolder);
    second.Run();
    QVERIFY(second.ProgramData()->MoveToDeleted());
    QCOMPARE(second.ProgramData()->DeletedFolder(), QStringLiteral("E:\\Kept\\Deleted files\\"));
    QCOMPARE(second.ProgramData()->MaxDeletedSize(), qint64(5 * 1024 * 1024));
    // The deleted-files folder made is the loaded one.
    QVERIFY(QFileInfo(drives.Native('E', QStringLiteral("Kept/Deleted files"))).isDir());
}

void TestStartUp::pcIdOfTheSystemVolume_data()
{
    QTest::addColumn<QString>("systemDrive");
    QTest::addColumn<QString>("expected");
    QTest::newRow("readable serial") << "serial=1A2B3C4D"
                                     << "1A2B - 3C4D";
    QTest::newRow("leading zeros kept") << "serial=000F00A0"
                                        << "000F - 00A0";
    QTest::newRow("unreadable serial") << "serial=none"
                                       << "";
}

void TestStartUp::pcIdOfTheSystemVolume()
{
    QFETCH(QString, systemDrive);
    QFETCH(QString, expected);
    test::TTestDrives drives({{'C', systemDrive}, {'E', QStringLiteral("bus=USB")}});
    TStartUp startUp(TemplateFolder);
    startUp.Run();
    QCOMPARE(startUp.PCID(), expected);
}

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
