#include "TestDrives.h"

#include "control/FolderManager.h"
#include "platform/AppPaths.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace trovalo;

namespace {

TDirConfigItem HiddenSystemItem(const QString &dir)
{
    TDirConfigItem item(dir, dir);
    item.FileAttributes().SetHidden(true);
    item.FileAttributes().SetIndexed(true);
    item.FileAttributes().SetSystem(true);
    return item;
}

QByteArray ReadOrMissing(const QString &nativePath)
{
    QFile file(nativePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFolderManager : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ResetAppPathsForTesting(); }
    void attributeWord_data();
    void attributeWord();
    void inWorkDir_data();
    void inWorkDir();
    void makeDir_data();
    void makeDir();
    void treeCreatesFoldersAndSetsAttributesOnce();
    void folderWithWantedBitIsLeftAlone_data();
    void folderWithWantedBitIsLeftAlone();
};

void TestFolderManager::attributeWord_data()
{
    // Flags in the order archive, hidden, indexed, read-only, system, temporary.
    QTest::addColumn<QList<bool>>("flags");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("defaults") << QList<bool>{true, false, false, false, false, false} << 0x2020u;
    QTest::newRow("folder tree item") << QList<bool>{true, true, true, false, true, false} << 0x26u;
    QTest::newRow("nothing at all") << QList<bool>{false, false, true, false, false, false} << 0x0u;
    QTest::newRow("not indexed only") << QList<bool>{false, false, false, false, false, false} << 0x2000u;
    QTest::newRow("every flag, indexed") << QList<bool>{true, true, true, true, true, true} << 0x127u;
    QTest::newRow("read-only temporary") << QList<bool>{false, false, true, true, false, true} << 0x101u;
}

void TestFolderManager::attributeWord()
{
    QFETCH(QList<bool>, flags);
    QFETCH(quint32, expected);
    using TSetter = void (TFileAttributes::*)(bool);
    const TSetter setters[] = {&TFileAttributes::SetArchive, &TFileAttributes::SetHidden,
                               &TFileAttributes::SetIndexed, &TFileAttributes::SetReadOnlyFolder,
                               &TFileAttributes::SetSystem,  &TFileAttributes::SetTemporary};
    TFileAttributes attributes;
    QCOMPARE(attributes.AttributeWord(), 0x2020u);
    // Each flag changes both ways, so a setter that forgets to recompute shows.
    for (int i = 0; i < 6; ++i)
        (attributes.*setters[i])(!flags[i]);
    for (int i = 0; i < 6; ++i)
        (attributes.*setters[i])(flags[i]);
    QCOMPARE(attributes.AttributeWord(), expected);
}

void TestFolderManager::inWorkDir_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("expected");
    QTest::newRow("name") << "AutoFill" << true;
    QTest::newRow("relative subfolder") << "a\\b" << true;
    QTest::newRow("drive letter path") << "C:\\x" << false;
    QTest::newRow("drive root") << "E:\\" << false;
    QTest::newRow("share") << "\\\\server\\share" << false;
    QTest::newRow("letter without backslash") << "C:x" << true;
    QTest::newRow("leading backslash") << "\\x" << true;
}

void TestFolderManager::inWorkDir()
{
    QFETCH(QString, dir);
    QFETCH(bool, expected);
    TDirConfigItem item;
    item.SetInWorkDir(!expected);
    item.SetDir(dir);
    QCOMPARE(item.InWorkDir(), expected);
}

void TestFolderManager::makeDir_data()
{
    // Setup: "dir:a/b" makes a folder, "file:f" a file, on drive C:.
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("existsAfter");
    QTest::newRow("nested, nothing there")
        << QStringList() << "C:\\a\\b\\c"
        << QStringList{"Directory Created : C:\\a", "Directory Created : C:\\a\\b",
                       "Directory Created : C:\\a\\b\\c"}
        << "a/b/c";
    QTest::newRow("already there") << QStringList{"dir:a/b"} << "C:\\a\\b"
                                   << QStringList{"Directory Exists : C:\\a\\b"} << "a/b";
    QTest::newRow("trailing backslash")
        << QStringList() << "C:\\x\\" << QStringList{"Directory Created : C:\\x"} << "x";
    QTest::newRow("parent is a file")
        << QStringList{"file:f"} << "C:\\f\\x"
        << QStringList{"Error Createing Directory : C:\\f", "Error Createing Directory : C:\\f\\x"} << "";
    QTest::newRow("drive not present")
        << QStringList() << "Q:\\x" << QStringList{"Error Createing Directory : Q:\\x"} << "";
    QTest::newRow("relative, in the work folder")
        << QStringList{"dir:work"} << "sub\\deeper"
        << QStringList{"Directory Created : sub", "Directory Created : sub\\deeper"} << "work/sub/deeper";
}

void TestFolderManager::makeDir()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, dir);
    QFETCH(QStringList, expected);
    QFETCH(QString, existsAfter);
    test::TTestDrives drives;
    for (const QString &entry : setup) {
        const QString path = drives.Native('C', entry.section(QLatin1Char(':'), 1));
        QFile file(path);
        QVERIFY(entry.startsWith("dir:") ? QDir().mkpath(path) : file.open(QIODevice::WriteOnly));
    }
    SetWorkFolder(QStringLiteral("C:\\work"));
    TFolderManager manager;
    manager.MakeDir(dir);
    QCOMPARE(manager.OutPutList(), expected);
    if (!existsAfter.isEmpty())
        QVERIFY(QFileInfo(drives.Native('C', existsAfter)).isDir());
}

void TestFolderManager::treeCreatesFoldersAndSetsAttributesOnce()
{
    test::TTestDrives drives;
    QVERIFY(QDir().mkpath(drives.Native('C', QStringLiteral("Data"))));
    SetWorkFolder(QStringLiteral("C:\\Data"));
    const auto makeTree = [] {
        TFolderManager manager;
        manager.DirList() << QStringLiteral("Plain");
        for (const char *dir : {"AutoFill", "ConfigData", "E:\\Absolute"})
            manager.DirListEx() << HiddenSystemItem(QLatin1String(dir));
        manager.MakeDirTree();
        return manager.OutPutList();
    };
    QCOMPARE(makeTree(),
             (QStringList{"Directory Created : C:\\Data\\Plain", "Directory Created : C:\\Data\\AutoFill",
                          "Setting Attributes : AutoFill", "Directory Created : C:\\Data\\ConfigData",
                          "Setting Attributes : ConfigData", "Directory Created : E:\\Absolute",
                          "Setting Attributes : E:\\Absolute"}));
    for (const char *dir : {"C:\\Data\\AutoFill", "C:\\Data\\ConfigData", "E:\\Absolute"}) {
        const std::optional<quint32> attributes = GetFileAttributes(QLatin1String(dir));
        QVERIFY2(attributes && (*attributes & faHidden), dir);
    }
    QVERIFY(!(GetFileAttributes(QStringLiteral("C:\\Data\\Plain")).value_or(faHidden) & faHidden));
    // Once hidden, the folders are left as they are.
    QCOMPARE(makeTree(),
             (QStringList{"Directory Exists : C:\\Data\\Plain", "Directory Exists : C:\\Data\\AutoFill",
                          "Directory Exists : C:\\Data\\ConfigData", "Directory Exists : E:\\Absolute"}));
}

void TestFolderManager::folderWithWantedBitIsLeftAlone_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QByteArray>("hiddenList");
    QTest::newRow("listed in .hidden") << "ConfigData" << QByteArray("Other\nConfigData\n");
    QTest::newRow("name begins with a dot") << ".ConfigData" << QByteArray();
}

void TestFolderManager::folderWithWantedBitIsLeftAlone()
{
    QFETCH(QString, dir);
    QFETCH(QByteArray, hiddenList);
    test::TTestDrives drives;
    QVERIFY(QDir().mkpath(drives.Native('C', QStringLiteral("Data/") + dir)));
    const QString listFile = drives.Native('C', QStringLiteral("Data/.hidden"));
    QFile list(listFile);
    QVERIFY(hiddenList.isEmpty() || (list.open(QIODevice::WriteOnly) && list.write(hiddenList) > 0));
    list.close();
    const QByteArray listBefore = ReadOrMissing(listFile);
    SetWorkFolder(QStringLiteral("C:\\Data"));

    TFolderManager manager;
    manager.DirListEx() << HiddenSystemItem(dir);
    manager.MakeDirTree();
    QCOMPARE(manager.OutPutList(), QStringList{QStringLiteral("Directory Exists : C:\\Data\\") + dir});
    QCOMPARE(ReadOrMissing(listFile), listBefore);
}

QTEST_GUILESS_MAIN(TestFolderManager)
#include "tst_foldermanager.moc"
