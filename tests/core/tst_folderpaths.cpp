#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "platform/FolderPaths.h"

#include <QDir>
#include <QtTest>

using namespace trovalo;

namespace {
// The user's home is C:\home\ann; its config folder C:\home\ann\.config,
// unless XDG_CONFIG_HOME names C:\xdg.
struct THome
{
    test::TTestDrives Drives{{{'C', QString()}}};
    test::TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};
    std::optional<test::TScopedEnv> ConfigHome;

    THome() { QDir().mkpath(Drives.Native('C', QStringLiteral("home/ann"))); }
};

// "<native C:>" in a row stands for drive C:'s native root.
QByteArray WithRoot(const QString &text, const test::TTestDrives &drives)
{
    QString expanded = text;
    return expanded.replace(QStringLiteral("<native C:>"), drives.NativeRoot('C')).toUtf8();
}
} // namespace

class TestFolderPaths : public QObject
{
    Q_OBJECT

private slots:
    void userDirectories_data();
    void userDirectories();
    void applicationFolders();
    void usableFolders_data();
    void usableFolders();
};

void TestFolderPaths::userDirectories_data()
{
    QTest::addColumn<QString>("userDirs");   // the file's text; "<none>": no file
    QTest::addColumn<QString>("configHome"); // XDG_CONFIG_HOME below C:'s root; "": unset
    // Desktop, documents, pictures, music, videos.
    QTest::addColumn<QStringList>("expected");
    const QStringList fallbacks{"C:\\home\\ann\\Desktop\\", "C:\\home\\ann\\Documents\\",
                                "C:\\home\\ann\\Pictures\\", "C:\\home\\ann\\Music\\",
                                "C:\\home\\ann\\Videos\\"};
    const QString german = QStringLiteral("# This file is written by xdg-user-dirs-update\n"
                                          "# If you want to change or add directories, just edit the line\n"
                                          "\n"
                                          "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                          "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                          "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                                          "XDG_MUSIC_DIR=\"$HOME/Musik\"\n"
                                          "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                                          "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n");
    const QStringList germanFolders{"C:\\home\\ann\\Schreibtisch\\", "C:\\home\\ann\\Dokumente\\",
                                    "C:\\home\\ann\\Bilder\\", "C:\\home\\ann\\Musik\\",
                                    "C:\\home\\ann\\Videos\\"};
    QTest::newRow("no file: the usual folders") << "<none>"
                                                << "" << fallbacks;
    QTest::newRow("quoted $HOME paths in ~/.config") << german << "" << germanFolders;
    QTest::newRow("quoted $HOME paths in XDG_CONFIG_HOME") << german << "xdg" << germanFolders;
    QTest::newRow("entries set to the home folder are missing")
        << "XDG_DESKTOP_DIR=\"$HOME/\"\nXDG_MUSIC_DIR=\"$HOME\"\nXDG_VIDEOS_DIR=\"<native C:>/home/ann\"\n"
        << "" << QStringList{"", "C:\\home\\ann\\Documents\\", "C:\\home\\ann\\Pictures\\", "", ""};
    QTest::newRow("absolute paths, inside and outside the drives")
        << "XDG_DOCUMENTS_DIR=\"<native C:>/shared/docs/\"\nXDG_PICTURES_DIR=\"/nowhere-on-any-drive/pics\"\n"
        << ""
        << QStringList{"C:\\home\\ann\\Desktop\\", "C:\\shared\\docs\\", "", "C:\\home\\ann\\Music\\",
                       "C:\\home\\ann\\Videos\\"};
    QTest::newRow("unquoted, braced, escaped, spaced, commented out")
        << "  XDG_DESKTOP_DIR=$HOME/Desk\n"
           "XDG_DOCUMENTS_DIR=\"${HOME}/My \\\"Docs\\\"\"\n"
           "XDG_PICTURES_DIR=\"$HOME/Photo Album\"\n"
           "#XDG_MUSIC_DIR=\"$HOME/Old Music\"\n"
           "XDG_VIDEOS_DIR=\"relative/films\"\n"
        << ""
        << QStringList{"C:\\home\\ann\\Desk\\", "C:\\home\\ann\\My \"Docs\"\\",
                       "C:\\home\\ann\\Photo Album\\", "C:\\home\\ann\\Music\\", "C:\\home\\ann\\Videos\\"};
    QTest::newRow("a file in ~/.config is not read when XDG_CONFIG_HOME names another folder")
        << "<in .config>XDG_DESKTOP_DIR=\"$HOME/Elsewhere\"\n"
        << "xdg" << fallbacks;
}

void TestFolderPaths::userDirectories()
{
    QFETCH(QString, userDirs);
    QFETCH(QString, configHome);
    QFETCH(QStringList, expected);
    THome home;
    if (!configHome.isEmpty())
        home.ConfigHome.emplace("XDG_CONFIG_HOME", home.Drives.Native('C', configHome));
    else
        home.ConfigHome.emplace("XDG_CONFIG_HOME", std::nullopt);
    const QString inDotConfig = QStringLiteral("<in .config>");
    if (userDirs != QLatin1String("<none>")) {
        const bool dotConfig = configHome.isEmpty() || userDirs.startsWith(inDotConfig);
        const QString folder = dotConfig ? QStringLiteral("home/ann/.config") : configHome;
        test::PutNative(
            home.Drives.Native('C', folder + QStringLiteral("/user-dirs.dirs")),
            WithRoot(userDirs.mid(userDirs.startsWith(inDotConfig) ? inDotConfig.size() : 0), home.Drives));
    }
    const TFolderPaths paths;
    QCOMPARE((QStringList{paths.Desktop(), paths.MyDocuments(), paths.MyPictures(), paths.MyMusic(),
                          paths.MyVideos()}),
             expected);
}

void TestFolderPaths::applicationFolders()
{
    THome home;
    const TFolderPaths paths;
    QCOMPARE(paths.UserDataFolder(), QStringLiteral("C:\\home\\ann\\"));
    QCOMPARE((QStringList{paths.FireFox(), paths.Skype(), paths.Outlook(), paths.WindowsMail(),
                          paths.Favorites()}),
             (QStringList{"C:\\home\\ann\\.mozilla\\firefox\\", "C:\\home\\ann\\.config\\skypeforlinux\\",
                          "C:\\home\\ann\\.thunderbird\\", "C:\\home\\ann\\.local\\share\\evolution\\",
                          "C:\\home\\ann\\.config\\chromium\\"}));
}

void TestFolderPaths::usableFolders_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("usable");           // hidden entries not shown
    QTest::addColumn<bool>("usableShowHidden"); // shown
    QTest::newRow("a plain folder") << "C:\\home\\ann\\Docs\\" << false << true << true;
    QTest::newRow("without backslash") << "C:\\home\\ann\\Docs" << false << true << true;
    QTest::newRow("a dot folder") << "C:\\home\\ann\\.thunderbird\\" << true << false << true;
    QTest::newRow("inside a dot folder") << "C:\\home\\ann\\.mozilla\\firefox\\" << true << false << true;
    QTest::newRow("listed in the parent's .hidden") << "C:\\home\\ann\\Listed\\" << true << false << true;
    QTest::newRow("inside a listed folder") << "C:\\home\\ann\\Listed\\Sub\\" << true << false << true;
    QTest::newRow("a missing folder") << "C:\\home\\ann\\Missing\\" << false << false << false;
    QTest::newRow("a missing folder in a dot folder")
        << "C:\\home\\ann\\.gone\\x\\" << true << false << false;
    QTest::newRow("a file is no folder") << "C:\\home\\ann\\note.txt" << false << false << false;
    QTest::newRow("a drive whose root folder's name starts with a dot")
        << "E:\\Docs\\" << false << true << true;
    QTest::newRow("that drive's root") << "E:\\" << false << true << true;
    QTest::newRow("no drive") << "Z:\\Docs\\" << false << false << false;
    QTest::newRow("no path") << "" << false << false << false;
}

void TestFolderPaths::usableFolders()
{
    QFETCH(QString, path);
    QFETCH(bool, hidden);
    QFETCH(bool, usable);
    QFETCH(bool, usableShowHidden);
    THome home;
    test::TTestDrives &drives = home.Drives;
    drives.AddDrive('E', drives.Native('C', QStringLiteral("media/.stick")), QStringLiteral("bus=USB"));
    for (const char *folder : {"home/ann/Docs", "home/ann/.thunderbird", "home/ann/.mozilla/firefox",
                               "home/ann/Listed/Sub", "media/.stick/Docs"})
        QDir().mkpath(drives.Native('C', QLatin1String(folder)));
    test::WriteFile(drives.Native('C', QStringLiteral("home/ann/.hidden")), "Other\nListed\n");
    test::WriteFile(drives.Native('C', QStringLiteral("home/ann/note.txt")), "x");

    QCOMPARE(TFolderPaths::IsHiddenPath(path), hidden);
    QCOMPARE(TFolderPaths::IsFolderUsable(path, false), usable);
    QCOMPARE(TFolderPaths::IsFolderUsable(path, true), usableShowHidden);
}

QTEST_GUILESS_MAIN(TestFolderPaths)
#include "tst_folderpaths.moc"
