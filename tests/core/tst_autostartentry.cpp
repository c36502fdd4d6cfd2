#include "ScopedEnv.h"
#include "TestFiles.h"

#include "model/ProgramIdentity.h"
#include "platform/AutostartEntry.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace trovalo;
using test::TScopedEnv;

namespace {

const QByteArray Missing = "<missing>";

// The user's and the system's autostart folders lie in a temporary folder:
// the user's own desktop is never touched.
struct TConfigFolders
{
    QTemporaryDir Dir;
    TScopedEnv Home{"XDG_CONFIG_HOME", Dir.filePath(QStringLiteral("config"))};
    TScopedEnv System{"XDG_CONFIG_DIRS",
                      Dir.filePath(QStringLiteral("none:")) + Dir.filePath(QStringLiteral("xdg"))};
    const QString User =
        Dir.filePath(QStringLiteral("config/autostart/%1.desktop")).arg(ProgramApplicationId);
    const QString Systemwide =
        Dir.filePath(QStringLiteral("xdg/autostart/%1.desktop")).arg(ProgramApplicationId);
};

QByteArray Entry(const QByteArray &extraLines)
{
    return "[Desktop Entry]\nType=Application\nName=Trovalo\nExec=/usr/bin/trovalo\n" + extraLines;
}

} // namespace

class TestAutostartEntry : public QObject
{
    Q_OBJECT

private slots:
    void entryStateAsTheDesktopReadsIt_data();
    void entryStateAsTheDesktopReadsIt();
    void offOverASystemEntryHidesIt();
    void desktopStartsTheProgramAsWritten_data();
    void desktopStartsTheProgramAsWritten();
};

void TestAutostartEntry::entryStateAsTheDesktopReadsIt_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("system");
    QTest::addColumn<bool>("enabled");
    const QByteArray hidden = Entry("Hidden=true\n");
    QTest::newRow("no entry anywhere") << Missing << Missing << false;
    QTest::newRow("the user's entry") << Entry("") << Missing << true;
    QTest::newRow("hidden") << hidden << Missing << false;
    QTest::newRow("hidden, spaces around '='") << Entry("Hidden = true\n") << Missing << false;
    QTest::newRow("Hidden=false") << Entry("Hidden=false\n") << Missing << true;
    QTest::newRow("Hidden=true of another group")
        << Entry("[Desktop Action Quit]\nHidden=true\n") << Missing << true;
    QTest::newRow("a system entry") << Missing << Entry("") << true;
    QTest::newRow("a hidden system entry") << Missing << hidden << false;
    QTest::newRow("the user hides the system entry") << hidden << Entry("") << false;
    QTest::newRow("the user's entry over a hidden system one") << Entry("") << hidden << true;
}

void TestAutostartEntry::entryStateAsTheDesktopReadsIt()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, system);
    QFETCH(bool, enabled);
    TConfigFolders folders;
    if (user != Missing)
        test::PutNative(folders.User, user);
    if (system != Missing)
        test::PutNative(folders.Systemwide, system);
    QCOMPARE(AutostartFileName(), folders.User);
    QCOMPARE(AutostartEnabled(), enabled);
}

// Removing the user's entry alone would bring the system's back.
void TestAutostartEntry::offOverASystemEntryHidesIt()
{
    TConfigFolders folders;
    test::PutNative(folders.Systemwide, Entry(""));
    QVERIFY(EnableAutostart(QStringLiteral("/opt/trovalo/trovalo")));
    QString error;
    QVERIFY2(DisableAutostart(&error), qPrintable(error));
    QVERIFY(!AutostartEnabled());
    QVERIFY(test::ReadOrMissing(folders.User).contains("\nHidden=true\n"));
    QCOMPARE(test::ReadOrMissing(folders.Systemwide), Entry(""));
    QVERIFY(EnableAutostart(QStringLiteral("/opt/trovalo/trovalo")));
    QVERIFY(AutostartEnabled());
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
// (It looks the program up before undoing "%%", so "%" is left out here.)
void TestAutostartEntry::desktopStartsTheProgramAsWritten()
{
    QFETCH(QString, folder);
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        QSKIP("gio (libglib2.0-bin) is not installed");
    TConfigFolders folders;
    const QString program = folders.Dir.filePath(folder + QStringLiteral("/trovalo"));
    const QString marker = folders.Dir.filePath(QStringLiteral("started"));
    test::PutNative(program, QStringLiteral("#!/bin/sh\nprintf '%s' \"$0\" > '%1'\n").arg(marker).toUtf8());
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QString error;
    QVERIFY2(EnableAutostart(program, &error), qPrintable(error));

    QProcess launch;
    launch.start(gio, {QStringLiteral("launch"), AutostartFileName()});
    QVERIFY(launch.waitForFinished(10000));
    QVERIFY2(launch.exitCode() == 0, launch.readAllStandardError().constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 5000);
    QCOMPARE(QString::fromUtf8(test::ReadOrMissing(marker)), program);
}

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
