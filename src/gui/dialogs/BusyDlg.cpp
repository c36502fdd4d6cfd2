#include "dialogs/BusyDlg.h"

#include "model/ProgramIdentity.h"

namespace trovalo {

TBusyDlg::TBusyDlg()
    : TBusyWindow(
          QStringLiteral("Processing Your Request "),
          QStringLiteral("We are processing your request. This might take few minutes. Please wait till "
                         "this process completes."),
          Qt::WindowStaysOnTopHint)
{
    setWindowTitle(ProgramTitle);
}

std::unique_ptr<TBusyDlg> TBusyDlg::Execute(QWidget *Owner)
{
    if (!CanShowFor(Owner))
        return nullptr;
    std::unique_ptr<TBusyDlg> window(new TBusyDlg);
    window->setWindowTitle(QStringLiteral("Processing Request"));
    window->ShowOver(Owner);
    return window;
}

} // namespace trovalo
