#pragma once

#include "dialogs/BusyWindow.h"

#include <memory>

namespace trovalo {

// "Processing Your Request": always on top while a request is processed.
class TBusyDlg : public TBusyWindow
{
    Q_OBJECT

public:
    // The shown window, or none when Owner is none or not visible.
    static std::unique_ptr<TBusyDlg> Execute(QWidget *Owner);

private:
    TBusyDlg();
};

} // namespace trovalo
