#include "CommandLine.h"
#include "Commands.h"

#include "control/AppPaths.h"
#include "control/DriveConfig.h"
#include "control/StartUp.h"
#include "platform/DriveTable.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

#include <QDir>
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
        startUp.ProgramData()->SaveToFile(TStartUp::SettingsFileName());
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

    Heading(out, QStringLiteral("Done"));
    out << (parser.isSet(keepOption)
                ? "The demo folder is kept: " + base.path() + "\n"
                : QStringLiteral("The demo folder was removed (use --keep to look around).\n"));
    return ExitOk;
}

} // namespace trovalo::cli
