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

// The autostart folder lies in a temporary folder: the user's own desktop
// is never touched.
struct TConfigFolder
{
    QTemporaryDir Dir;
    TScopedEnv Home{"XDG_CONFIG_HOME", Dir.filePath(QStringLiteral("config"))};
    const QString Entry =
        Dir.filePath(QStringLiteral("config/autostart/%1.desktop")).arg(ProgramApplicationId);
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
    void desktopStartsTheProgramAsWritten_data();
    void desktopStartsTheProgramAsWritten();
};

void TestAutostartEntry::entryStateAsTheDesktopReadsIt_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("no entry") << Missing << false;
    QTest::newRow("an entry") << Entry("") << true;
    QTest::newRow("hidden") << Entry("Hidden=true\n") << false;
    QTest::newRow("hidden, spaces around '='") << Entry("Hidden = true\n") << false;
    QTest::newRow("Hidden=false") << Entry("Hidden=false\n") << true;
    QTest::newRow("Hidden=true of another group") << Entry("[Desktop Action Quit]\nHidden=true\n") << true;
}

void TestAutostartEntry::entryStateAsTheDesktopReadsIt()
{
    QFETCH(QByteArray, entry);
    QFETCH(bool, enabled);
    TConfigFolder folder;
    if (entry != Missing)
        test::PutNative(folder.Entry, entry);
    QCOMPARE(AutostartFileName(), folder.Entry);
    QCOMPARE(AutostartEnabled(), enabled);
}

void TestAutostartEntry::desktopStartsTheProgramAsWritten_data()
{
    QTest::addColumn<QString>("subfolder");
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
    QFETCH(QString, subfolder);
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        QSKIP("gio (libglib2.0-bin) is not installed");
    TConfigFolder folder;
    const QString program = folder.Dir.filePath(subfolder + QStringLiteral("/trovalo"));
    const QString marker = folder.Dir.filePath(QStringLiteral("started"));
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
