#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QMessageBox;

namespace trovalo {

// Kind of a message: decides the icon.
enum TMsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// Modal results; mrNone when the box was closed without a button.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrYes = 6, mrNo = 7 };

// One message box as asked for: body text, bold title line above it, window
// caption, kind and the buttons (as modal results, in display order).
struct TMessageRequest
{
    QString Message;
    QString Title;
    QString Caption;
    TMsgDlgType Kind = mtInformation;
    QList<TModalResult> Buttons;
};

// Every message box of the program goes through one service. A handler set
// here answers instead of a modal window (tests, a headless run); an empty
// handler brings the real window back. Returns the previous handler.
using TMessageBoxHandler = std::function<int(const TMessageRequest &)>;
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

// Shows the request through the handler or the real window.
int ShowMessageRequest(const TMessageRequest &request);

// The window the real service shows for a request (not yet shown).
std::unique_ptr<QMessageBox> BuildMessageBox(const TMessageRequest &request);

// "OK".
int ShowInfoDialog(const QString &MessageStr, const QString &inTitle, const QString &inCaption,
                   TMsgDlgType MType);
// "OK" and "Cancel".
int ShowOKCancleDialog(const QString &MessageStr, const QString &inTitle, const QString &inCaption,
                       TMsgDlgType MType);
// "Yes" and "No", and "Cancel" when ShowCancel is true.
int ShowYesNoDialog(const QString &MessageStr, const QString &inTitle, const QString &inCaption,
                    TMsgDlgType MType, bool ShowCancel);

} // namespace trovalo
