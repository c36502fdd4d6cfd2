#include "TestDrives.h"

#include "base/Exceptions.h"
#include "model/ProgramIdentity.h"
#include "platform/AppPaths.h"

#include <QtTest>

using namespace trovalo;

class TestAppPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commonDataFolder_data();
    void commonDataFolder();
    void folderOutsideEveryDriveIsRefused();
    void resolveWorkPath_data();
    void resolveWorkPath();

private:
    QMap<QByteArray, std::optional<QByteArray>> FSaved;
};

void TestAppPaths::init()
{
    for (const char *name : {"ProgramData", "ALLUSERSPROFILE", "XDG_DATA_HOME"})
        FSaved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
}

void TestAppPaths::cleanup()
{
    for (auto it = FSaved.cbegin(); it != FSaved.cend(); ++it)
        it.value() ? qputenv(it.key().constData(), *it.value()) : qunsetenv(it.key().constData());
    ResetAppPathsForTesting();
}

void TestAppPaths::commonDataFolder_data()
{
    // "native:x" stands for the native folder x on the test drive C:.
    QTest::addColumn<QString>("programData");
    QTest::addColumn<QString>("allUsers");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ProgramData, native path") << "native:PD"
                                              << ""
                                              << ""
                                              << "C:\\PD";
    QTest::newRow("ProgramData, letter path") << "E:\\Shared\\Data"
                                              << ""
                                              << ""
                                              << "E:\\Shared\\Data";
    QTest::newRow("ProgramData, trailing backslash") << "C:\\PD\\"
                                                     << ""
                                                     << ""
                                                     << "C:\\PD";
    QTest::newRow("ProgramData wins") << "C:\\PD"
                                      << "C:\\All"
                                      << ""
                                      << "C:\\PD";
    QTest::newRow("ALLUSERSPROFILE, letter") << ""
                                             << "C:\\Users\\All"
                                             << ""
                                             << "C:\\Users\\All\\Application Data";
    QTest::newRow("ALLUSERSPROFILE, native") << ""
                                             << "native:All Users"
                                             << ""
                                             << "C:\\All Users\\Application Data";
    QTest::newRow("ALLUSERSPROFILE at a drive root") << ""
                                                     << "E:\\"
                                                     << ""
                                                     << "E:\\Application Data";
    QTest::newRow("desktop data folder") << ""
                                         << ""
                                         << "native:home/share"
                                         << "C:\\home\\share";
}

void TestAppPaths::commonDataFolder()
{
    QFETCH(QString, programData);
    QFETCH(QString, allUsers);
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    test::TTestDrives drives;
    const auto set = [&](const char *name, const QString &value) {
        qputenv(name, (value.startsWith("native:") ? drives.Native('C', value.mid(7)) : value).toUtf8());
    };
    set("ProgramData", programData);
    set("ALLUSERSPROFILE", allUsers);
    set("XDG_DATA_HOME", dataHome);
    ResetAppPathsForTesting();

    QCOMPARE(CommonDataFolder(), expected);
    QCOMPARE(AppDataFolder(), expected + QLatin1Char('\\') + AppFolderName());
    // Decided once: a later change of the environment has no effect.
    set("ProgramData", QStringLiteral("C:\\Changed"));
    QCOMPARE(CommonDataFolder(), expected);
}

void TestAppPaths::folderOutsideEveryDriveIsRefused()
{
    test::TTestDrives drives;
    const QString outside = drives.Base() + QStringLiteral("/outside");
    qputenv("ProgramData", outside.toUtf8());
    ResetAppPathsForTesting();
    try {
        CommonDataFolder();
        QFAIL("a folder outside every drive was accepted");
    } catch (const EPathError &error) {
        QVERIFY2(error.Message().contains(outside), qPrintable(error.Message()));
        QVERIFY2(error.Message().contains(QStringLiteral("ProgramData")), qPrintable(error.Message()));
    }
}

void TestAppPaths::resolveWorkPath_data()
{
    QTest::addColumn<QString>("workFolder");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QString work = QStringLiteral("C:\\ProgramData\\Trovalo");
    QTest::newRow("relative name") << work << "AutoFill"
                                   << "C:\\ProgramData\\Trovalo\\AutoFill";
    QTest::newRow("relative subfolder") << work << "a\\b"
                                        << "C:\\ProgramData\\Trovalo\\a\\b";
    QTest::newRow("drive letter path") << work << "E:\\Backup"
                                       << "E:\\Backup";
    QTest::newRow("share") << work << "\\\\server\\share\\x"
                           << "\\\\server\\share\\x";
    QTest::newRow("letter without backslash") << work << "E:x"
                                              << "C:\\ProgramData\\Trovalo\\E:x";
    QTest::newRow("root work folder") << "C:\\"
                                      << "Tmp"
                                      << "C:\\Tmp";
}

void TestAppPaths::resolveWorkPath()
{
    QFETCH(QString, workFolder);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    SetWorkFolder(workFolder);
    QCOMPARE(ResolveWorkPath(path), expected);
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
