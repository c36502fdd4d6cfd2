#include "DataModuleQuillonSuite.h"
#include "MessageBoxes.h"
#include "automation/AutomationServer.h"
#include "base/Exceptions.h"
#include "base/Logging.h"
#include "control/StartUp.h"
#include "model/ProgramIdentity.h"
#include "platform/DriveTable.h"
#include "platform/SingleInstance.h"
#include "tray/Splash.h"

#include <QApplication>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstdio>
#include <optional>
#include <string_view>

using namespace trovalo;

namespace {

// The tray program has no options: --help and --version answer on standard
// output and end it, before any window or data folder is touched; every
// other argument is ignored.
std::optional<int> AnswerHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs("Usage: trovalo [--help | --version]\n\n"
                       "Trovalo keeps your files safe on USB drives. It starts in the notification\n"
                       "area, whose menu opens the jobs of a drive, the schedules and the options;\n"
                       "trovalo-cli runs the same jobs without windows.\n\n"
                       "  -h, --help  show this help and end\n"
                       "  --version   show the version and end\n"
                       "Every other argument is ignored.\n",
                       stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("trovalo %s\n", qPrintable(ProgramVersionNumber));
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = AnswerHelpOrVersion(argc, argv))
        return *status;
    InstallLogHandler();
    // Windows are laid out for 96 dpi when debugging, as on the developer's screen.
    if (DebugMode())
        qputenv("QT_FONT_DPI", "96");
    QApplication app(argc, argv); // further command-line arguments have no effect
    TAutomationServer::StartIfRequested();
    QApplication::setApplicationName(ProgramTitle);
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(ProgramApplicationId);
    QApplication::setQuitOnLastWindowClosed(false); // a tray program has no main window

    try {
        TApplicationInstance instance;
        if (instance.RestoreIfRunning())
            return 0;

        TStartUp startUp;
        startUp.Run();
        // Unattended runs delete and overwrite files: a record stays behind.
        if (const std::optional<QString> log = ToNativePath(TStartUp::ErrorLogFileName()))
            OpenLogFile(*log);
        for (const QString &error : startUp.Errors())
            ShowInfoDialog(error, QStringLiteral("Start-up Error"), ProgramTitle, mtError);

        TDataModuleQuillonSuite::TOptions options;
        // Without a notification area (GNOME without an extension, for
        // instance) "Open Drive" and a small stand-in window take its place.
        options.UseSystemTray = QSystemTrayIcon::isSystemTrayAvailable();
        options.PCID = startUp.PCID();
        options.ProgramData = startUp.ProgramData();
        options.ProgramDatabase = startUp.ProgramDatabase();
        TDataModuleQuillonSuite controller(options);
        QObject::connect(&instance, &TApplicationInstance::RaiseRequested, &controller,
                         &TDataModuleQuillonSuite::RestoreRequested);

        // The splash finishes the start-up from its timer and frees itself.
        QPointer<TSplash> splash = new TSplash(controller);
        splash->Execute();
        const int status = QApplication::exec();
        delete splash; // still there only when the program ended within its first seconds
        return status;
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Start-up Error"), ProgramTitle, mtError);
        return 1;
    } catch (const std::exception &error) {
        ShowInfoDialog(QString::fromLocal8Bit(error.what()), QStringLiteral("Start-up Error"), ProgramTitle,
                       mtError);
        return 1;
    }
}
