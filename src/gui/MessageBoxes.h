#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

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

// Every modal dialog of the program (its own dialogs, file dialogs) is run
// through ExecModal. A handler set here is called with the dialog instead
// of running it: it may fill the dialog's fields and returns the dialog's
// result, so no test ever blocks on a modal window. An empty handler brings
// the real modal run back. Returns the previous handler.
using TModalHandler = std::function<int(QDialog &)>;
TModalHandler SetModalHandler(TModalHandler handler);
int ExecModal(QDialog &dialog);

// One file type of a file dialog: the name shown and its mask ("*.Zja";
// several masks separated by ';' or spaces). A display name that already
// ends with the mask in parentheses is shown as it is.
struct TFileType
{
    QString DisplayName;
    QString FileMask;
};

// The name filters of a file dialog for the types, in order.
QStringList FileDialogFilters(const QList<TFileType> &FileTypes);
// The extension (without the dot) that the first type's first mask gives a
// name typed without one; empty when that mask has no plain extension.
QString DefaultExtension(const QList<TFileType> &FileTypes);

// Lets the user choose an existing file. Preset with FileName and starting
// in its folder; FileName receives the chosen file. False when cancelled
// (FileName unchanged). Runs through ExecModal: a handler may call
// selectFile on the QFileDialog and return QDialog::Accepted.
bool ShowFileOpenDialog(QString &FileName, const QList<TFileType> &FileTypes, QWidget *parent = nullptr);
// The same for saving: asks before overwriting and requires an existing
// folder.
bool ShowFileSaveDialog(QString &FileName, const QList<TFileType> &FileTypes, QWidget *parent = nullptr);

} // namespace trovalo
