// Installs the build into a temporary prefix and packs it with cpack, then
// checks what a user gets: every file in its place, the desktop entry and
// the AppStream metadata valid, the installed programs answering and using
// the templates of share/trovalo, and the Debian package's files and
// dependencies.
#include "CliProcess.h"
#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/SqliteDatabase.h"
#include "model/JobFiles.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace trovalo;

namespace {

using test::RunProgram;
using TRun = test::TCliRun;

enum class TFileKind { Program, Database, Svg, Png, Text };

struct TExpectedFile
{
    QString Path; // relative to the prefix
    TFileKind Kind;
};

QList<TExpectedFile> ExpectedFiles()
{
    const QString appId = QStringLiteral("org.trovalo.Trovalo");
    QList<TExpectedFile> files = {
        {"bin/trovalo", TFileKind::Program},
        {"bin/trovalo-cli", TFileKind::Program},
        {"share/trovalo/Database.Zjd", TFileKind::Database},
        {"share/trovalo/SyncDatabase.Zjt", TFileKind::Database},
        {"share/trovalo/ProgramData.zjd", TFileKind::Database},
        {"share/applications/" + appId + ".desktop", TFileKind::Text},
        {"share/metainfo/" + appId + ".metainfo.xml", TFileKind::Text},
        {"share/icons/hicolor/scalable/apps/" + appId + ".svg", TFileKind::Svg},
        {"share/man/man1/trovalo.1", TFileKind::Text},
        {"share/man/man1/trovalo-cli.1", TFileKind::Text},
        {"share/bash-completion/completions/trovalo-cli", TFileKind::Text},
        {"lib/systemd/user/trovalo.service", TFileKind::Text},
    };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        files.append(
            {QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId), TFileKind::Png});
    return files;
}

QStringList ExpectedPaths()
{
    QStringList paths;
    for (const TExpectedFile &file : ExpectedFiles())
        paths << file.Path;
    paths.sort();
    return paths;
}

QString Describe(const TRun &run)
{
    return QStringLiteral("status %1\n%2\n%3").arg(run.Status).arg(run.Out, run.Err);
}

// The drive-letter path of the one job file of that extension on drive E:.
QString OnlyJobFile(const test::TTestDrives &drives, const QString &extension)
{
    const QStringList jobs = QDir(drives.Native('E', QStringLiteral("Config"))).entryList({"*" + extension});
    return jobs.size() == 1 ? QStringLiteral("E:\\Config\\") + jobs.first() : QString();
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsEveryFile_data();
    void installsEveryFile();
    void installsNothingElse();
    void commandsSucceed_data();
    void commandsSucceed();
    void unitStartsTheInstalledService();
    void completionKnowsTheCommands_data();
    void completionKnowsTheCommands();
    void newDatabasesComeFromTheInstalledTemplates_data();
    void newDatabasesComeFromTheInstalledTemplates();
    void debianPackageHoldsTheFilesAndDependencies();

private:
    QString Installed(const QString &path) const { return FPrefix.filePath(path); }

    QString FBuild = qEnvironmentVariable("TROVALO_BIN_DIR");
    QTemporaryDir FPrefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(FPrefix.isValid());
    const TRun install = RunProgram(qEnvironmentVariable("TROVALO_CMAKE"),
                                    {"--install", FBuild, "--prefix", FPrefix.path()}, 300000);
    QVERIFY2(install.Status == 0, qPrintable(Describe(install)));
}

void TestInstall::installsEveryFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<TFileKind>("kind");
    for (const TExpectedFile &file : ExpectedFiles())
        QTest::newRow(qPrintable(file.Path)) << file.Path << file.Kind;
}

void TestInstall::installsEveryFile()
{
    QFETCH(QString, path);
    QFETCH(TFileKind, kind);
    const QFileInfo info(Installed(path));
    QVERIFY2(info.isFile() && info.size() > 0, qPrintable(info.filePath()));
    const QByteArray content = test::ReadOrMissing(info.filePath());
    switch (kind) {
    case TFileKind::Program:
        QVERIFY(info.isExecutable());
        QVERIFY(content.startsWith("\177ELF"));
        break;
    case TFileKind::Database:
        QVERIFY(content.startsWith(QByteArray("SQLite format 3\0", 16)));
        QCOMPARE(content, test::ReadOrMissing(QDir(FBuild).filePath(info.fileName())));
        break;
    case TFileKind::Svg:
        QVERIFY(content.contains("<svg") && content.trimmed().endsWith("</svg>"));
        break;
    case TFileKind::Png: {
        const int size = path.section(QLatin1Char('/'), 3, 3).section(QLatin1Char('x'), 0, 0).toInt();
        QCOMPARE(QImage(info.filePath()).size(), QSize(size, size));
        break;
    }
    case TFileKind::Text: // no placeholder left unconfigured
        QVERIFY(!QString::fromUtf8(content).contains(QRegularExpression(QStringLiteral("@[A-Z_]+@"))));
        break;
    }
}

void TestInstall::installsNothingElse()
{
    QCOMPARE(test::FilesBelow(FPrefix.path()), ExpectedPaths());
}

void TestInstall::commandsSucceed_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // a line of standard output, if any
    QTest::newRow("desktop entry valid")
        << "desktop-file-validate" << QStringList{Installed("share/applications/org.trovalo.Trovalo.desktop")}
        << QString();
    QTest::newRow("AppStream metadata valid")
        << "appstreamcli"
        << QStringList{"validate", "--no-net", Installed("share/metainfo/org.trovalo.Trovalo.metainfo.xml")}
        << QString();
    // man reports troff mistakes on standard error.
    for (const QString page : {"trovalo", "trovalo-cli"})
        QTest::newRow(qPrintable("manual page " + page))
            << "man" << QStringList{"--warnings",
                                    "-E",
                                    "UTF-8",
                                    "-Tutf8",
                                    "-Z",
                                    "-l",
                                    Installed("share/man/man1/" + page + ".1")}
            << QString();

    const QString version = qEnvironmentVariable("TROVALO_VERSION");
    for (const QString program : {"trovalo", "trovalo-cli"})
        QTest::newRow(qPrintable(program + " --version"))
            << Installed("bin/" + program) << QStringList{"--version"} << program + " " + version;
    QTest::newRow("trovalo-cli --help")
        << Installed("bin/trovalo-cli") << QStringList{"--help"} << "Usage: trovalo-cli COMMAND [ARGUMENTS]";
    QTest::newRow("trovalo --help") << Installed("bin/trovalo") << QStringList{"--help"}
                                    << "Usage: trovalo [--help | --version]";
    QTest::newRow("trovalo ignores other arguments")
        << Installed("bin/trovalo") << QStringList{"--ignored", "file", "--version"} << "trovalo " + version;
}

void TestInstall::commandsSucceed()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const TRun run = RunProgram(program, arguments, 30000);
    QVERIFY2(run.Status == 0 && run.Err.isEmpty(), qPrintable(Describe(run)));
    if (!expected.isEmpty())
        QVERIFY2(run.Out.split(QLatin1Char('\n')).contains(expected), qPrintable(Describe(run)));
}

void TestInstall::unitStartsTheInstalledService()
{
    const QString unit =
        QString::fromUtf8(test::ReadOrMissing(Installed("lib/systemd/user/trovalo.service")));
    const QRegularExpressionMatch exec =
        QRegularExpression(QStringLiteral("^ExecStart=(\\S+) service$"), QRegularExpression::MultilineOption)
            .match(unit);
    QVERIFY2(exec.hasMatch(), qPrintable(unit));
    QCOMPARE(QFileInfo(exec.captured(1)).canonicalFilePath(),
             QFileInfo(Installed("bin/trovalo-cli")).canonicalFilePath());
}

void TestInstall::completionKnowsTheCommands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("offered");
    // The commands are those trovalo-cli --help lists.
    const TRun help = RunProgram(Installed("bin/trovalo-cli"), {"--help"});
    QStringList commands = {"help"};
    for (const QRegularExpressionMatch &match :
         QRegularExpression(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption)
             .globalMatch(help.Out))
        commands << match.captured(1);
    QTest::newRow("commands") << "trovalo-cli " << commands;
    QTest::newRow("job kinds") << "trovalo-cli new " << QStringList{"backup", "move", "sync"};
    QTest::newRow("backup types") << "trovalo-cli new backup --type "
                                  << QStringList{"mirror", "incremental", "zip", "versions", "versions-zip"};
    QTest::newRow("sync directions") << "trovalo-cli new sync --direction "
                                     << QStringList{"both", "to-computer", "to-usb"};
    QTest::newRow("run options") << "trovalo-cli run job.Zja --"
                                 << QStringList{"--yes", "--unattended", "--item", "--conflicts",
                                                "--verbose"};
    QTest::newRow("conflict rules of run") << "trovalo-cli --verbose run job.Zjs --conflicts "
                                           << QStringList{"skip", "usb", "computer", "newest"};
    QTest::newRow("schedule actions")
        << "trovalo-cli schedule " << QStringList{"list", "add", "remove", "enable", "disable"};
}

void TestInstall::completionKnowsTheCommands()
{
    QFETCH(QString, line);
    QFETCH(QStringList, offered);
    // As bash does on Tab: the words up to the cursor, the last one being completed.
    const QString script = QStringLiteral(
        "source /usr/share/bash-completion/bash_completion; source \"$1\"\n"
        "COMP_LINE=$2; COMP_POINT=${#COMP_LINE}; read -ra COMP_WORDS <<< \"$COMP_LINE\"\n"
        "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "_trovalo_cli trovalo-cli \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    const TRun run = RunProgram(
        "bash", {"-c", script, "bash", Installed("share/bash-completion/completions/trovalo-cli"), line});
    QVERIFY2(run.Status == 0, qPrintable(Describe(run)));
    QStringList completions = run.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    completions.sort();
    offered.sort();
    QCOMPARE(completions, offered);
}

void TestInstall::newDatabasesComeFromTheInstalledTemplates_data()
{
    QTest::addColumn<QString>("templateName");
    QTest::addColumn<QStringList>("newJob");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("database"); // empty: the job's own database
    const QStringList backup = {"new",    "backup",   "--direction", "to-usb",        "--type",
                                "mirror", "--source", "C:\\Docs",    "--destination", "E:\\Backup"};
    QTest::newRow("a backup job's database") << "Database.Zjd" << backup << ".Zja" << QString();
    QTest::newRow("a sync job's database")
        << "SyncDatabase.Zjt" << QStringList{"new", "sync", "--pair", "E:\\Docs=C:\\Docs"} << ".Zjs"
        << QString();
    QTest::newRow("the program database") << "ProgramData.zjd" << backup << ".Zja"
                                          << "C:\\ProgramData\\Trovalo\\ConfigData\\ProgramData.zjd";
}

void TestInstall::newDatabasesComeFromTheInstalledTemplates()
{
    QFETCH(QString, templateName);
    QFETCH(QStringList, newJob);
    QFETCH(QString, extension);
    QFETCH(QString, database);
    // A table no schema makes marks the installed template, so only a copy of
    // it has the table.
    const QString mark = QStringLiteral("InstalledTemplateMark");
    TSqliteDatabase(Installed("share/trovalo/" + templateName))
        .Exec("CREATE TABLE IF NOT EXISTS " + mark + "(x)");

    test::TTestDrives drives;
    test::PutAt(QStringLiteral("C:\\Docs\\letter.txt"), "Dear Ann");
    for (const QString folder : {"Backup", "Docs"})
        QVERIFY(QDir().mkpath(drives.Native('E', folder)));
    const test::TScopedEnv installedCli("TROVALO_BIN_DIR", Installed("bin"));
    const TRun made = test::RunCli(newJob);
    QVERIFY2(made.Status == 0, qPrintable(Describe(made)));
    const QString job = OnlyJobFile(drives, extension);
    QVERIFY(!job.isEmpty());
    const TRun run = test::RunCli({"run", job, "--yes"});
    QVERIFY2(run.Status == 0, qPrintable(Describe(run)));

    const QString native = NativePath(database.isEmpty() ? JobDatabaseFileName(job) : database);
    QVERIFY2(QFileInfo::exists(native), qPrintable(native));
    QVERIFY(TSqliteDatabase(native).TableExists(mark));
}

void TestInstall::debianPackageHoldsTheFilesAndDependencies()
{
    QTemporaryDir packages;
    const TRun pack =
        RunProgram(qEnvironmentVariable("TROVALO_CPACK"),
                   {"-G", "DEB", "--config", FBuild + "/CPackConfig.cmake", "-B", packages.path()}, 600000);
    QVERIFY2(pack.Status == 0, qPrintable(Describe(pack)));
    const QStringList debs = QDir(packages.path()).entryList({"*.deb"});
    QCOMPARE(debs.size(), 1);
    const QString deb = QDir(packages.path()).filePath(debs.first());

    const TRun contents = RunProgram("dpkg-deb", {"-c", deb});
    QVERIFY2(contents.Status == 0, qPrintable(Describe(contents)));
    QStringList files; // regular files: "-rw-r--r-- root/root 1234 2026-12-11 10:00 ./usr/bin/trovalo"
    for (const QString &line : contents.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('-')))
            files << line.section(QStringLiteral(" ./usr/"), 1);
    }
    files.sort();
    QCOMPARE(files, ExpectedPaths());

    const TRun depends = RunProgram("dpkg-deb", {"-f", deb, "Depends"});
    QVERIFY2(depends.Status == 0, qPrintable(Describe(depends)));
    // dpkg-shlibdeps names each library's package with the version it needs.
    for (const QString library : {"libc6 (>=", "libqt6core6 (>=", "libqt6widgets6 (>=", "libqt6dbus6 (>=",
                                  "libsqlite3-0 (>=", "libzip4 (>=", "qt6-qpa-plugins"})
        QVERIFY2(depends.Out.contains(library), qPrintable(library + QStringLiteral(" in: ") + depends.Out));
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
