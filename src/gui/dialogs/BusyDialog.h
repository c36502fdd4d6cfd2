#pragma once

#include "dialogs/BusyWindow.h"

#include <memory>

namespace trovalo {

// "Searching For File Folders": shown while a folder is searched.
class TBusyDialog : public TBusyWindow
{
    Q_OBJECT

public:
    // The shown window with Owner's caption, or none when Owner is none or
    // not visible.
    static std::unique_ptr<TBusyDialog> Execute(QWidget *Owner);

private:
    TBusyDialog();
};

} // namespace trovalo
