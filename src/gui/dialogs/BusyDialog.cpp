#include "dialogs/BusyDialog.h"

namespace trovalo {

TBusyDialog::TBusyDialog()
    : TBusyWindow(
          QStringLiteral("Searching For File Folders "),
          QStringLiteral("We are searching for files in the selected folder. This might take few minutes. "
                         "Please wait till this process completes."),
          Qt::WindowFlags())
{}

std::unique_ptr<TBusyDialog> TBusyDialog::Execute(QWidget *Owner)
{
    if (!CanShowFor(Owner))
        return nullptr;
    std::unique_ptr<TBusyDialog> window(new TBusyDialog);
    window->setWindowTitle(Owner->window()->windowTitle());
    window->ShowOver(Owner);
    return window;
}

} // namespace trovalo
