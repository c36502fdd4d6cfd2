#include "MessageBoxes.h"
#include "TrayController.h"
#include "control/StartUp.h"
#include "model/Exceptions.h"
#include "model/ProgramIdentity.h"
#include "platform/SingleInstance.h"

#include <QApplication>

using namespace trovalo;

int main(int argc, char *argv[])
{
    // Windows are laid out for 96 dpi when debugging, as on the developer's screen.
    if (DebugMode())
        qputenv("QT_FONT_DPI", "96");
    QApplication app(argc, argv); // command-line arguments have no effect
    QApplication::setApplicationName(ProgramTitle);
    QApplication::setQuitOnLastWindowClosed(false); // a tray program has no main window

    try {
        TApplicationInstance instance;
        if (instance.RestoreIfRunning())
            return 0;

        TStartUp startUp;
        startUp.Run();
        for (const QString &error : startUp.Errors())
            ShowInfoDialog(error, QStringLiteral("Start-up Error"), ProgramTitle, mtError);

        TTrayController tray;
        QObject::connect(&instance, &TApplicationInstance::RaiseRequested, &tray,
                         &TTrayController::RestoreRequested);
        tray.Show();
        return QApplication::exec();
    } catch (const ETrovaloError &error) {
        ShowInfoDialog(error.Message(), QStringLiteral("Start-up Error"), ProgramTitle, mtError);
        return 1;
    } catch (const std::exception &error) {
        ShowInfoDialog(QString::fromLocal8Bit(error.what()), QStringLiteral("Start-up Error"), ProgramTitle,
                       mtError);
        return 1;
    }
}
