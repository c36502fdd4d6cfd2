#include "CommandLine.h"
#include "Commands.h"

#include "base/PathText.h"
#include "control/DriveConfig.h"
#include "control/StartUp.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace trovalo::cli {

namespace {
// Makes two isolated drives, C: (the computer) and E: (a USB stick), and
// points the program's data folder into C:.
QString MakeDemoDrives(const QString &base)
{
    QDir().mkpath(base + QStringLiteral("/c"));
    QDir().mkpath(base + QStringLiteral("/e"));
    const QString drives = QStringLiteral("C=%1/c;E=%1/e,bus=USB,label=DEMO-STICK,serial=5EED1234").arg(base);
    qputenv("TROVALO_DRIVES", drives.toUtf8());
    qputenv("ProgramData", "C:\\ProgramData");
    TDriveTable::Instance().Refresh();
    ResetAppPathsForTesting();
    return drives;
}

QString AttributeText(const QString &path)
{
    const std::optional<quint32> attributes = GetFileAttributes(path);
    if (!attributes)
        return QStringLiteral("missing");
    QStringList names;
    if (*attributes & faHidden)
        names << QStringLiteral("hidden");
    if (*attributes & faSysFile)
        names << QStringLiteral("system");
    if (*attributes & faReadOnly)
        names << QStringLiteral("read-only");
    return names.isEmpty() ? QStringLiteral("-") : names.join(QLatin1Char(' '));
}

void Heading(QTextStream &out, const QString &text)
{
    out << "\n== " << text << " ==\n";
    out.flush();
}

// An argument as it would be typed in a shell.
QString ShellWord(const QString &argument)
{
    if (!argument.contains(QLatin1Char(' ')) && !argument.contains(QLatin1Char('\\')))
        return argument;
    return QLatin1Char('\'') + argument + QLatin1Char('\'');
}

// Runs one trovalo-cli command on the demo drives, with the demo's streams,
// as a user would type it; a failing step ends the demo with its status.
void Command(TCliContext &context, int (*command)(TCliContext &), const QStringList &arguments)
{
    QStringList words;
    for (const QString &argument : arguments)
        words << ShellWord(argument);
    context.Out << "$ trovalo-cli " << words.join(QLatin1Char(' ')) << "\n";
    context.Out.flush();
    TCliContext step{arguments.mid(1), context.Out, context.Err, context.In};
    const int status = command(step);
    context.Out.flush();
    context.Err.flush();
    if (status != ExitOk)
        throw TCliFailure{
            QStringLiteral("the demo step '%1' ended with status %2").arg(arguments.first()).arg(status),
            status};
}

QByteArray DemoFileText(const QString &letterPath)
{
    QFile file(NativePath(letterPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("(missing)");
}

void WriteDemoFile(const QString &letterPath, const QByteArray &content)
{
    ForceFolder(ExtractFilePath(letterPath));
    QFile file(NativePath(letterPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        throw TCliFailure{QStringLiteral("cannot write the demo file %1").arg(letterPath), ExitErrors};
}

// A zip backup of a few documents onto the stick, a change to one of them,
// and the restore that brings it back.
void ZipBackupAndRestore(TCliContext &context)
{
    QTextStream &out = context.Out;
    const QString documents = QStringLiteral("C:\\Users\\Demo\\Documents\\");
    const QString letter = documents + QStringLiteral("letter.txt");
    WriteDemoFile(letter, "Dear Ann, the stick keeps a copy of this letter.\n");
    WriteDemoFile(documents + QStringLiteral("Notes\\todo.txt"), "1. Back up the documents.\n");
    WriteDemoFile(documents + QStringLiteral("Notes\\ideas.txt"), "A second stick for the holidays.\n");
    ForceFolder(QStringLiteral("E:\\Backup\\"));

    Heading(out, QStringLiteral("A zip backup of the documents in ") + documents);
    Command(context, NewCommand,
            {QStringLiteral("new"), QStringLiteral("backup"), QStringLiteral("--direction"),
             QStringLiteral("to-usb"), QStringLiteral("--type"), QStringLiteral("zip"),
             QStringLiteral("--source"), documents, QStringLiteral("--destination"),
             QStringLiteral("E:\\Backup"), QStringLiteral("--name"), QStringLiteral("Demo documents")});
    const QStringList jobs =
        QDir(NativePath(QStringLiteral("E:\\Config\\"))).entryList({QStringLiteral("*.Zja")}, QDir::Files);
    if (jobs.size() != 1)
        throw TCliFailure{QStringLiteral("the demo backup job was not saved"), ExitErrors};
    const QString job = QStringLiteral("E:\\Config\\") + jobs.first();
    out << "\n";
    Command(context, RunCommand, {QStringLiteral("run"), job});

    Heading(out, QStringLiteral("The runs that can be restored"));
    Command(context, RunsCommand, {QStringLiteral("runs"), job});

    Heading(out, QStringLiteral("A document is changed"));
    out << letter << " was:  " << DemoFileText(letter) << "\n";
    WriteDemoFile(letter, "Oops, the letter was overwritten.\n");
    out << letter << " now:  " << DemoFileText(letter) << "\n";

    Heading(out, QStringLiteral("Restoring the run to the former places"));
    Command(context, RestoreCommand, {QStringLiteral("restore"), job, QStringLiteral("--yes")});
    out << "\n" << letter << " is back:  " << DemoFileText(letter) << "\n";
}
} // namespace

int DemoCommand(TCliContext &context)
{
    const QCommandLineOption keepOption(QStringLiteral("keep"), QStringLiteral("keep the demo folder"));
    QCommandLineParser parser;
    ParseCommand(parser, {QStringLiteral("trovalo-cli demo [--keep]"), {keepOption}, 0, 0},
                 context.Arguments);

    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/trovalo-demo-XXXXXX"));
    if (!base.isValid())
        throw TCliFailure{QStringLiteral("cannot make a temporary folder: %1").arg(base.errorString()),
                          ExitErrors};
    base.setAutoRemove(!parser.isSet(keepOption));
    QTextStream &out = context.Out;

    out << "Trovalo demo: two drives made in " << base.path() << "\n"
        << "(TROVALO_DRIVES=" << MakeDemoDrives(base.path()) << ")\n";
    Heading(out, QStringLiteral("Drives"));
    PrintDriveTable(out);

    Heading(out, QStringLiteral("Start-up on a new computer"));
    const QString programFolder = QStringLiteral("C:\\Program Files\\Trovalo\\");
    ForceFolder(programFolder);
    TStartUp startUp(programFolder);
    startUp.Run();
    for (const QString &error : startUp.Errors())
        out << "start-up error: " << error << "\n";
    const QString appData = AppDataFolder();
    const QStringList folders = {appData,
                                 appData + QStringLiteral("\\AutoFill"),
                                 appData + QStringLiteral("\\ErrorLogs"),
                                 appData + QStringLiteral("\\ConfigData"),
                                 TStartUp::TemporaryFolder(),
                                 startUp.ProgramData() ? startUp.ProgramData()->DeletedFolder() : QString()};
    out << "Data folder tree (attributes in brackets):\n";
    for (const QString &folder : folders) {
        if (!folder.isEmpty())
            out << "  " << folder.leftJustified(38) << " [" << AttributeText(folder) << "]  "
                << ToNativePath(folder).value_or(QStringLiteral("?")) << "\n";
    }
    out << "PC ID of this computer: "
        << (startUp.PCID().isEmpty() ? QStringLiteral("(none)") : startUp.PCID()) << "\n";

    Heading(out, QStringLiteral("Settings, saved as Config.cfg"));
    if (startUp.ProgramData()) {
        SaveToFile(*startUp.ProgramData(), TStartUp::SettingsFileName());
        PrintRecordFile(TStartUp::SettingsFileName(), out);
    }

    Heading(out, QStringLiteral("Setting up the USB drive E: for this computer"));
    AddPCToDrive(QStringLiteral("E:\\"), startUp.PCID(), true);
    const TDriveCheck check = CheckDrive(QStringLiteral("E:\\"), startUp.PCID());
    out << "E:\\ is " << (check.Known ? "known" : "NOT known") << " on this computer; its console opens "
        << (check.AutoLoad ? "by itself" : "only by hand") << " when it is plugged in.\n"
        << DriveConfigFileName(QStringLiteral("E:\\")) << " ["
        << AttributeText(DriveConfigFileName(QStringLiteral("E:\\"))) << "]:\n";
    PrintRecordFile(DriveConfigFileName(QStringLiteral("E:\\")), out);

    ZipBackupAndRestore(context);

    Heading(out, QStringLiteral("Done"));
    out << (parser.isSet(keepOption)
                ? "The demo folder is kept: " + base.path() + "\n"
                : QStringLiteral("The demo folder was removed (use --keep to look around).\n"));
    return ExitOk;
}

} // namespace trovalo::cli
