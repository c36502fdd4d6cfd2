#include "TestDrives.h"

#include "base/Exceptions.h"
#include "control/DriveConfig.h"
#include "model/DiskConfigFile.h"
#include "platform/FileAttributes.h"
#include "platform/RecordFile.h"

#include <QFile>
#include <QtTest>

using namespace trovalo;

class TestDriveConfig : public QObject
{
    Q_OBJECT

private slots:
    void unknownDriveWithoutConfigFolder();
    void addedComputerIsRecognised_data();
    void addedComputerIsRecognised();
    void addingTwiceKeepsBothEntries();
    void configFolderHiddenOnlyWhenCreated();
    void configFileIsHidden();
    void otherComputersStayListed();
    void failedWriteRaisesAndChangesNothing();
};

void TestDriveConfig::unknownDriveWithoutConfigFolder()
{
    test::TTestDrives drives;
    const TDriveCheck check = CheckDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"));
    QVERIFY(!check.Known);
    QVERIFY(!check.AutoLoad);
    QVERIFY(!QFileInfo::exists(drives.Native('E', QStringLiteral("Config"))));
}

void TestDriveConfig::addedComputerIsRecognised_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("storedId");
    QTest::addColumn<QString>("askedId");
    QTest::addColumn<bool>("autoLoad");
    QTest::newRow("same text, auto-load") << "E:\\"
                                          << "1A2B - 3C4D"
                                          << "1A2B - 3C4D" << true;
    QTest::newRow("root without backslash") << "E:"
                                            << "1A2B - 3C4D"
                                            << "1A2B - 3C4D" << false;
    QTest::newRow("other letter case") << "E:\\"
                                       << "1a2b - 3c4d"
                                       << "1A2B - 3C4D" << true;
    QTest::newRow("empty PC ID") << "E:\\"
                                 << ""
                                 << "" << false;
}

void TestDriveConfig::addedComputerIsRecognised()
{
    QFETCH(QString, root);
    QFETCH(QString, storedId);
    QFETCH(QString, askedId);
    QFETCH(bool, autoLoad);
    test::TTestDrives drives;
    AddPCToDrive(root, storedId, autoLoad);
    const TDriveCheck check = CheckDrive(root, askedId);
    QVERIFY(check.Known);
    QCOMPARE(check.AutoLoad, autoLoad);
    QVERIFY(!CheckDrive(root, QStringLiteral("FFFF - 0000")).Known);
}

void TestDriveConfig::addingTwiceKeepsBothEntries()
{
    test::TTestDrives drives;
    AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"), true);
    AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"), false);
    TDiskConfigFile config;
    LoadFromFile(config, DriveConfigFileName(QStringLiteral("E:\\")));
    QCOMPARE(config.PCList(), QStringList({QStringLiteral("1A2B - 3C4D"), QStringLiteral("1A2B - 3C4D")}));
    // The latest choice wins, and recognition is unaffected by the duplicate.
    const TDriveCheck check = CheckDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"));
    QVERIFY(check.Known);
    QVERIFY(!check.AutoLoad);
}

void TestDriveConfig::configFolderHiddenOnlyWhenCreated()
{
    {
        test::TTestDrives drives;
        AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"), false);
        const auto attributes = GetFileAttributes(QStringLiteral("E:\\Config"));
        QVERIFY(attributes);
        QVERIFY(*attributes & faHidden);
    }
    {
        test::TTestDrives drives;
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Config"))));
        AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"), false);
        const auto attributes = GetFileAttributes(QStringLiteral("E:\\Config"));
        QVERIFY(attributes);
        QVERIFY(!(*attributes & faHidden));
    }
}

void TestDriveConfig::configFileIsHidden()
{
    test::TTestDrives drives;
    AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("1A2B - 3C4D"), false);
    // A second save replaces the hidden file and leaves it hidden again.
    AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("5E6F - 7A8B"), false);
    const auto attributes = GetFileAttributes(QStringLiteral("E:\\Config\\Drive Config.cfg"));
    QVERIFY(attributes);
    QVERIFY(*attributes & faHidden);
}

void TestDriveConfig::otherComputersStayListed()
{
    test::TTestDrives drives;
    AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("1111 - 2222"), true);
    AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("3333 - 4444"), false);
    QVERIFY(CheckDrive(QStringLiteral("E:\\"), QStringLiteral("1111 - 2222")).Known);
    QVERIFY(CheckDrive(QStringLiteral("E:\\"), QStringLiteral("3333 - 4444")).Known);
}

void TestDriveConfig::failedWriteRaisesAndChangesNothing()
{
    test::TTestDrives drives;
    // A file named "Config" where the folder belongs makes every write fail,
    // whoever runs the test (root ignores permission bits).
    const QString blocker = drives.Native('E', QStringLiteral("Config"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
    file.close();

    QVERIFY_THROWS_EXCEPTION(EFileError,
                             AddPCToDrive(QStringLiteral("E:\\"), QStringLiteral("3333 - 4444"), false));
    QVERIFY(QFileInfo(blocker).isFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("not a folder"));
    QCOMPARE(QDir(drives.NativeRoot('E')).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Config")});
}

QTEST_GUILESS_MAIN(TestDriveConfig)
#include "tst_driveconfig.moc"
