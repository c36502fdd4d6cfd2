#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "platform/FolderOverlap.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace trovalo;

namespace {
// C: is a folder tree; the stick E: is mounted inside it, at
// C:\media\ann\STICK, so one folder has two names. R: is the computer's
// root "/" and the user's home is C:\home\ann. C:\Link is a link to
// C:\Data, C:\HomeLink one to the home folder.
struct TOverlapDrives
{
    test::TTestDrives Drives{{{'C', QString()}}};
    std::optional<test::TScopedEnv> Home;

    TOverlapDrives()
    {
        Drives.AddDrive('E', Drives.Native('C', QStringLiteral("media/ann/STICK")),
                        QStringLiteral("bus=USB"));
        Drives.AddDrive('R', QStringLiteral("/"));
        for (const char *folder : {"Data/Sub", "Data/Backup/Old", "Data/tmp", "Database", "Other",
                                   "home/ann/Docs", "media/ann/STICK/Docs/Backup"})
            QDir().mkpath(Drives.Native('C', QLatin1String(folder)));
        test::WriteFile(Drives.Native('C', QStringLiteral("Data/a.txt")), "a");
        QFile::link(Drives.Native('C', QStringLiteral("Data")), Drives.Native('C', QStringLiteral("Link")));
        QFile::link(Drives.Native('C', QStringLiteral("home/ann")),
                    Drives.Native('C', QStringLiteral("HomeLink")));
        Home.emplace("HOME", Drives.Native('C', QStringLiteral("home/ann")));
    }
};
} // namespace

class TestFolderOverlap : public QObject
{
    Q_OBJECT

private slots:
    void pathsOverlap_data();
    void pathsOverlap();
    void findFolderOverlap_data();
    void findFolderOverlap();
    void rootOrHome_data();
    void rootOrHome();
};

void TestFolderOverlap::pathsOverlap_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("overlap");
    QTest::addColumn<bool>("aInsideB");
    QTest::newRow("the stick's folder under both names") << "E:\\Docs\\"
                                                         << "C:\\media\\ann\\STICK\\Docs\\" << true << true;
    QTest::newRow("the stick inside C:") << "E:\\Docs\\Backup\\"
                                         << "C:\\media\\" << true << true;
    QTest::newRow("the stick's root holds its mount folder's contents") << "C:\\media\\ann\\STICK\\Docs"
                                                                        << "E:\\" << true << true;
    QTest::newRow("C: holds the folder E: is mounted on") << "C:\\media\\"
                                                          << "E:\\Docs\\" << true << false;
    QTest::newRow("boundary: Data and Database") << "C:\\Data\\"
                                                 << "C:\\Database\\" << false << false;
    QTest::newRow("boundary: Database and Data") << "C:\\Database\\"
                                                 << "C:\\Data" << false << false;
    QTest::newRow("same folder, with and without backslash") << "C:\\Data"
                                                             << "C:\\Data\\" << true << true;
    QTest::newRow("a file in a folder") << "C:\\Data\\a.txt"
                                        << "C:\\Data\\" << true << true;
    QTest::newRow("a folder holding a file") << "C:\\Data\\"
                                             << "C:\\Data\\a.txt" << true << false;
    QTest::newRow("a link to a folder") << "C:\\Link\\Sub\\"
                                        << "C:\\Data\\" << true << true;
    QTest::newRow("a folder seen through a link") << "C:\\Data\\Sub\\"
                                                  << "C:\\Link\\" << true << true;
    QTest::newRow("not there yet") << "C:\\Data\\New\\Deeper\\"
                                   << "C:\\Data\\" << true << true;
    QTest::newRow("not there yet, through a link") << "C:\\Link\\New\\"
                                                   << "C:\\Data\\New\\" << true << true;
    QTest::newRow("not there yet, apart") << "C:\\Data\\New\\"
                                          << "C:\\Data\\Newer\\" << false << false;
    QTest::newRow("names differ in case") << "C:\\data\\"
                                          << "C:\\Data\\" << false << false;
    QTest::newRow("the drive root holds everything on it") << "C:\\Other\\"
                                                           << "C:\\" << true << true;
    QTest::newRow("the computer's root holds every drive") << "E:\\Docs\\"
                                                           << "R:\\" << true << true;
    QTest::newRow("no drive") << "Z:\\Data\\"
                              << "C:\\" << false << false;
    QTest::newRow("empty") << ""
                           << "C:\\" << false << false;
}

void TestFolderOverlap::pathsOverlap()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, overlap);
    QFETCH(bool, aInsideB);
    TOverlapDrives drives;
    QCOMPARE(PathsOverlap(a, b), overlap);
    QCOMPARE(PathsOverlap(b, a), overlap);
    QCOMPARE(IsSameOrInsideFolder(a, b), aInsideB);
}

void TestFolderOverlap::findFolderOverlap_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("include");
    QTest::addColumn<QStringList>("exclude");
    QTest::addColumn<QString>("kind"); // "", "destination inside", "source inside"
    QTest::addColumn<QString>("source");
    const QString none, destinationInside = QStringLiteral("destination inside"),
                        sourceInside = QStringLiteral("source inside");
    QTest::newRow("apart") << "E:\\Backup\\" << QStringList{"C:\\Data\\", "C:\\Other\\"} << QStringList{}
                           << none << "";
    QTest::newRow("destination inside a source")
        << "C:\\Data\\Backup\\" << QStringList{"C:\\Other\\", "C:\\Data\\"} << QStringList{}
        << destinationInside << "C:\\Data\\";
    QTest::newRow("destination is the source")
        << "C:\\Data\\" << QStringList{"C:\\Data\\"} << QStringList{} << sourceInside << "C:\\Data\\";
    QTest::newRow("destination in an excluded folder of that source")
        << "C:\\Data\\Backup\\" << QStringList{"C:\\Data\\"}
        << QStringList{"C:\\Data\\tmp\\", "C:\\Data\\Backup\\"} << none << "";
    QTest::newRow("destination deeper in an excluded folder")
        << "C:\\Data\\Backup\\Old\\" << QStringList{"C:\\Data\\"} << QStringList{"C:\\Data\\Backup\\"} << none
        << "";
    QTest::newRow("excluded folder inside the destination leaves it in")
        << "C:\\Data\\Backup\\" << QStringList{"C:\\Data\\"} << QStringList{"C:\\Data\\Backup\\Old\\"}
        << destinationInside << "C:\\Data\\";
    QTest::newRow("excluded folder of another source")
        << "C:\\Data\\Backup\\" << QStringList{"C:\\Data\\"} << QStringList{"C:\\Other\\"}
        << destinationInside << "C:\\Data\\";
    QTest::newRow("exclusion under the stick's other name")
        << "C:\\media\\ann\\STICK\\Docs\\Backup\\" << QStringList{"E:\\Docs\\"}
        << QStringList{"E:\\Docs\\Backup\\"} << none << "";
    QTest::newRow("a source inside the destination") << "C:\\Data\\" << QStringList{"C:\\Data\\Sub\\"}
                                                     << QStringList{} << sourceInside << "C:\\Data\\Sub\\";
    QTest::newRow("a source inside the destination, whatever is excluded")
        << "C:\\Data\\" << QStringList{"C:\\Data\\Sub\\"} << QStringList{"C:\\Data\\Sub\\"} << sourceInside
        << "C:\\Data\\Sub\\";
    QTest::newRow("a file source inside the destination")
        << "C:\\Data\\" << QStringList{"C:\\Data\\a.txt"} << QStringList{} << sourceInside
        << "C:\\Data\\a.txt";
    QTest::newRow("a file source apart")
        << "C:\\Data\\Backup\\" << QStringList{"C:\\Data\\a.txt"} << QStringList{} << none << "";
    QTest::newRow("boundary: destination Database, source Data")
        << "C:\\Database\\" << QStringList{"C:\\Data\\", "C:\\Data\\a.txt"} << QStringList{} << none << "";
    QTest::newRow("boundary: destination Data, source Database")
        << "C:\\Data\\" << QStringList{"C:\\Database\\"} << QStringList{} << none << "";
    QTest::newRow("destination on the stick, source the same folder by its C: name")
        << "E:\\Docs\\Backup\\" << QStringList{"C:\\media\\ann\\STICK\\Docs\\"} << QStringList{}
        << destinationInside << "C:\\media\\ann\\STICK\\Docs\\";
    QTest::newRow("destination under the stick's mount folder, source the stick")
        << "C:\\media\\ann\\STICK\\Backup\\" << QStringList{"E:\\"} << QStringList{} << destinationInside
        << "E:\\";
    QTest::newRow("the stick as destination holds a source by its C: name")
        << "E:\\" << QStringList{"C:\\media\\ann\\STICK\\Docs\\"} << QStringList{} << sourceInside
        << "C:\\media\\ann\\STICK\\Docs\\";
    QTest::newRow("destination through a link") << "C:\\Link\\Backup\\" << QStringList{"C:\\Data\\"}
                                                << QStringList{} << destinationInside << "C:\\Data\\";
    QTest::newRow("source through a link") << "C:\\Data\\" << QStringList{"C:\\Link\\Sub\\"} << QStringList{}
                                           << sourceInside << "C:\\Link\\Sub\\";
    QTest::newRow("destination not made yet, inside a source")
        << "C:\\Data\\New\\Backup\\" << QStringList{"C:\\Data\\"} << QStringList{} << destinationInside
        << "C:\\Data\\";
    QTest::newRow("destination not made yet, in an excluded folder not made yet")
        << "C:\\Data\\New\\Backup\\" << QStringList{"C:\\Data\\"} << QStringList{"C:\\Data\\New\\"} << none
        << "";
    QTest::newRow("destination without a drive")
        << "Z:\\Backup\\" << QStringList{"C:\\"} << QStringList{} << none << "";
    QTest::newRow("source without a drive")
        << "C:\\Data\\" << QStringList{"Z:\\Data\\"} << QStringList{} << none << "";
    QTest::newRow("no destination") << "" << QStringList{"C:\\Data\\"} << QStringList{} << none << "";
}

void TestFolderOverlap::findFolderOverlap()
{
    QFETCH(QString, destination);
    QFETCH(QStringList, include);
    QFETCH(QStringList, exclude);
    QFETCH(QString, kind);
    QFETCH(QString, source);
    TOverlapDrives drives;
    const std::optional<TFolderOverlap> overlap = FindFolderOverlap(destination, include, exclude);
    QString found;
    if (overlap)
        found = overlap->Kind == TFolderOverlap::DestinationInsideSource
                    ? QStringLiteral("destination inside")
                    : QStringLiteral("source inside");
    QCOMPARE(found, kind);
    QCOMPARE(overlap ? overlap->Source : QString(), source);
}

void TestFolderOverlap::rootOrHome_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("rootOrHome");
    QTest::newRow("the computer's root") << "R:\\" << true;
    QTest::newRow("the computer's root, bare") << "R:" << true;
    QTest::newRow("a folder of the root") << "R:\\tmp\\" << false;
    QTest::newRow("home") << "C:\\home\\ann\\" << true;
    QTest::newRow("home without backslash") << "C:\\home\\ann" << true;
    QTest::newRow("home through a link") << "C:\\HomeLink\\" << true;
    QTest::newRow("the folder above home") << "C:\\home\\" << false;
    QTest::newRow("a folder in home") << "C:\\home\\ann\\Docs\\" << false;
    QTest::newRow("a drive root that is not the computer's") << "E:\\" << false;
    QTest::newRow("no drive") << "Z:\\" << false;
}

void TestFolderOverlap::rootOrHome()
{
    QFETCH(QString, folder);
    QFETCH(bool, rootOrHome);
    TOverlapDrives drives;
    QCOMPARE(IsRootOrHomeFolder(folder), rootOrHome);
}

QTEST_GUILESS_MAIN(TestFolderOverlap)
#include "tst_folderoverlap.moc"
