#include "ScopedEnv.h"
#include "TestFiles.h"

#include "model/ProgramIdentity.h"
#include "platform/AutostartEntry.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace trovalo;
using test::TScopedEnv;

namespace {

const QString EntryName = ProgramApplicationId + QStringLiteral(".desktop");
const QByteArray Missing = "<missing>";

// Every autostart folder the entry may be read from lies in a temporary
// folder: the user's own desktop is never touched.
struct TConfigFolders
{
    QTemporaryDir Dir;
    TScopedEnv Home{"XDG_CONFIG_HOME", Dir.filePath(QStringLiteral("config"))};
    TScopedEnv System{"XDG_CONFIG_DIRS", Dir.filePath(QStringLiteral("nothing")) + QLatin1Char(':') +
                                             Dir.filePath(QStringLiteral("xdg"))};

    QString UserEntry() const { return Dir.filePath(QStringLiteral("config/autostart/")) + EntryName; }
    QString SystemEntry() const { return Dir.filePath(QStringLiteral("xdg/autostart/")) + EntryName; }
};

QByteArray Entry(const QByteArray &extraLines)
{
    return "[Desktop Entry]\nType=Application\nName=Trovalo\nExec=/usr/bin/trovalo\n" + extraLines;
}

// The value of Key in the entry's main group; "<missing>" when absent.
QByteArray KeyOf(const QString &entry, const QByteArray &key)
{
    for (const QByteArray &line : test::ReadOrMissing(entry).split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    return Missing;
}

} // namespace

class TestAutostartEntry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void entryStateAsTheDesktopReadsIt_data();
    void entryStateAsTheDesktopReadsIt();
    void switchingOnAndOff_data();
    void switchingOnAndOff();
    void configHome_data();
    void configHome();
    void failureLeavesTheEntryOff();
    void desktopStartsTheProgramAsWritten_data();
    void desktopStartsTheProgramAsWritten();
    void percentIsNoFieldCode();

private:
    std::unique_ptr<TConfigFolders> FFolders;
};

void TestAutostartEntry::init()
{
    FFolders = std::make_unique<TConfigFolders>();
}

void TestAutostartEntry::cleanup()
{
    FFolders.reset();
}

void TestAutostartEntry::entryStateAsTheDesktopReadsIt_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("system");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("no entry anywhere") << Missing << Missing << false;
    QTest::newRow("the user's entry") << Entry("") << Missing << true;
    QTest::newRow("hidden") << Entry("Hidden=true\n") << Missing << false;
    QTest::newRow("hidden, spaces around '='") << Entry("Hidden = true\n") << Missing << false;
    QTest::newRow("Hidden=false") << Entry("Hidden=false\n") << Missing << true;
    QTest::newRow("Hidden=true of another group")
        << Entry("\n[Desktop Action Quit]\nName=Quit\nHidden=true\n") << Missing << true;
    QTest::newRow("a system entry only") << Missing << Entry("") << true;
    QTest::newRow("a hidden system entry") << Missing << Entry("Hidden=true\n") << false;
    QTest::newRow("the user hides the system entry") << Entry("Hidden=true\n") << Entry("") << false;
    QTest::newRow("the user's entry over a hidden system one") << Entry("") << Entry("Hidden=true\n") << true;
}

void TestAutostartEntry::entryStateAsTheDesktopReadsIt()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, system);
    QFETCH(bool, enabled);
    if (user != Missing)
        test::PutNative(FFolders->UserEntry(), user);
    if (system != Missing)
        test::PutNative(FFolders->SystemEntry(), system);
    QCOMPARE(AutostartFileName(), FFolders->UserEntry());
    QCOMPARE(AutostartEnabled(), enabled);
}

void TestAutostartEntry::switchingOnAndOff_data()
{
    QTest::addColumn<bool>("systemEntry");
    QTest::addColumn<QByteArray>("userEntryWhenOff");
    QTest::newRow("only the user's entry") << false << Missing;
    // Removing the user's entry alone would bring the system's back.
    QTest::newRow("over a system entry") << true << QByteArray("true");
}

void TestAutostartEntry::switchingOnAndOff()
{
    QFETCH(bool, systemEntry);
    QFETCH(QByteArray, userEntryWhenOff);
    if (systemEntry)
        test::PutNative(FFolders->SystemEntry(), Entry(""));
    // An older entry, hidden or pointing elsewhere, is replaced.
    test::PutNative(FFolders->UserEntry(), Entry("Hidden=true\n"));
    const QString program = FFolders->Dir.filePath(QStringLiteral("bin/trovalo"));

    QString error;
    QVERIFY2(EnableAutostart(program, &error), qPrintable(error));
    QVERIFY(AutostartEnabled());
    QCOMPARE(KeyOf(FFolders->UserEntry(), "Exec"), DesktopExecValue(program).toUtf8());
    QCOMPARE(KeyOf(FFolders->UserEntry(), "Hidden"), Missing);

    QVERIFY2(DisableAutostart(&error), qPrintable(error));
    QVERIFY(!AutostartEnabled());
    QCOMPARE(QFile::exists(FFolders->UserEntry()), userEntryWhenOff != Missing);
    if (userEntryWhenOff != Missing)
        QCOMPARE(KeyOf(FFolders->UserEntry(), "Hidden"), userEntryWhenOff);
    QVERIFY(!systemEntry || QFile::exists(FFolders->SystemEntry()));

    // Off twice is still off, and on again works from there.
    QVERIFY(DisableAutostart());
    QVERIFY(EnableAutostart(program));
    QVERIFY(AutostartEnabled());
}

void TestAutostartEntry::configHome_data()
{
    QTest::addColumn<std::optional<QString>>("configHome"); // "~" stands for the temporary folder
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME") << std::optional<QString>("~/cfg") << "~/cfg/autostart/";
    QTest::newRow("not set") << std::optional<QString>() << "~/home/.config/autostart/";
    QTest::newRow("empty") << std::optional<QString>("") << "~/home/.config/autostart/";
    QTest::newRow("relative, so ignored") << std::optional<QString>("cfg") << "~/home/.config/autostart/";
}

void TestAutostartEntry::configHome()
{
    QFETCH(std::optional<QString>, configHome);
    QFETCH(QString, expected);
    const QString base = FFolders->Dir.path();
    TScopedEnv home("HOME", base + QStringLiteral("/home"));
    if (configHome)
        configHome->replace(QLatin1Char('~'), base);
    TScopedEnv config("XDG_CONFIG_HOME", configHome);
    const QString entry = expected.replace(QLatin1Char('~'), base) + EntryName;
    QCOMPARE(AutostartFileName(), entry);
    QVERIFY(EnableAutostart(QStringLiteral("/usr/bin/trovalo")));
    QVERIFY(QFile::exists(entry));
}

void TestAutostartEntry::failureLeavesTheEntryOff()
{
    // A file where the autostart folder should be: even root cannot write there.
    test::PutNative(FFolders->Dir.filePath(QStringLiteral("config/autostart")), "not a folder");
    QString error;
    QVERIFY(!EnableAutostart(QStringLiteral("/usr/bin/trovalo"), &error));
    QVERIFY2(error.contains(QStringLiteral("config/autostart")), qPrintable(error));
    QVERIFY(!AutostartEnabled());

    QVERIFY(!EnableAutostart(QString(), &error));
    QVERIFY(!error.isEmpty());
}

void TestAutostartEntry::desktopStartsTheProgramAsWritten_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "bin";
    QTest::newRow("space") << "My Programs";
    QTest::newRow("dollar") << "cost $HOME";
    QTest::newRow("double quote") << "say \"hi\"";
    QTest::newRow("backslash") << "a\\b";
    QTest::newRow("two backslashes") << "a\\\\b";
    QTest::newRow("backtick") << "run `id`";
    QTest::newRow("apostrophe and more") << "Ann's (copy) & <new>; #1 *?~|";
}

// GLib's desktop entry reader, which GNOME's autostart uses, runs the
// entry: the program it starts must be the one written, byte for byte.
void TestAutostartEntry::desktopStartsTheProgramAsWritten()
{
    QFETCH(QString, folder);
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        QSKIP("gio (libglib2.0-bin) is not installed");
    const QString program = FFolders->Dir.filePath(folder + QStringLiteral("/trovalo"));
    const QString marker = FFolders->Dir.filePath(QStringLiteral("started"));
    test::PutNative(program, QStringLiteral("#!/bin/sh\nprintf '%s' \"$0\" > '%1'\n").arg(marker).toUtf8());
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QString error;
    QVERIFY2(EnableAutostart(program, &error), qPrintable(error));

    QProcess launch;
    launch.start(gio, {QStringLiteral("launch"), AutostartFileName()});
    QVERIFY(launch.waitForFinished(10000));
    QVERIFY2(launch.exitCode() == 0, launch.readAllStandardError().constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker) && QFileInfo(marker).size() > 0, 5000);
    QCOMPARE(QString::fromUtf8(test::ReadOrMissing(marker)), program);
}

// A literal "%" is written "%%", as field codes begin with "%". (GLib's
// reader looks the program up before it undoes "%%", so this case is not
// left to gio above.)
void TestAutostartEntry::percentIsNoFieldCode()
{
    QCOMPARE(DesktopExecValue(QStringLiteral("/opt/100% sure/trovalo")),
             QStringLiteral("\"/opt/100%% sure/trovalo\""));
}

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
