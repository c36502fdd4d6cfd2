#include "MessageBoxes.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTextDocument>

namespace trovalo {

namespace {

QMutex handlerMutex;
TMessageBoxHandler currentHandler;
TModalHandler currentModalHandler;

QMessageBox::Icon IconOf(TMsgDlgType kind)
{
    switch (kind) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
    case mtConfirmation: // questions show the information icon too
        return QMessageBox::Information;
    case mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton StandardButtonOf(TModalResult result)
{
    switch (result) {
    case mrOk:
        return QMessageBox::Ok;
    case mrCancel:
        return QMessageBox::Cancel;
    case mrAbort:
        return QMessageBox::Abort;
    case mrRetry:
        return QMessageBox::Retry;
    case mrYes:
        return QMessageBox::Yes;
    case mrNo:
        return QMessageBox::No;
    case mrNone:
        break;
    }
    return QMessageBox::NoButton;
}

// A box without "Cancel" that offers a choice (Yes/No) must not turn the
// close box or Esc into one of its answers: the stock box would answer
// "No". Closing it answers nothing (mrNone) instead.
class TMessageBoxWindow : public QMessageBox
{
public:
    explicit TMessageBoxWindow(bool closingAnswersNothing)
        : FClosingAnswersNothing(closingAnswersNothing)
    {}

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (FClosingAnswersNothing)
            QDialog::closeEvent(event); // rejects without a clicked button
        else
            QMessageBox::closeEvent(event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (FClosingAnswersNothing && event->key() == Qt::Key_Escape &&
            event->modifiers() == Qt::NoModifier) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }

private:
    bool FClosingAnswersNothing;
};

QStringList MasksOf(const TFileType &type)
{
    static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
    return type.FileMask.split(separators, Qt::SkipEmptyParts);
}

// The one file dialog run of both directions. The result is read from the
// dialog after ExecModal, so a handler's selectFile counts like a user's.
bool RunFileDialog(QString &FileName, const QList<TFileType> &FileTypes, QWidget *parent,
                   QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = FileDialogFilters(FileTypes);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(DefaultExtension(FileTypes));
    if (!FileName.isEmpty()) {
        const QFileInfo preset(FileName);
        if (preset.isAbsolute() || FileName.contains(QLatin1Char('/'))) {
            if (preset.absoluteDir().exists())
                dialog.setDirectory(preset.absolutePath());
        }
        dialog.selectFile(preset.fileName());
    }
    if (ExecModal(dialog) != QDialog::Accepted)
        return false;
    const QString chosen = dialog.selectedFiles().value(0);
    if (chosen.isEmpty())
        return false;
    // The checks the window makes itself, repeated for answers that did not
    // come through it.
    const QFileInfo info(chosen);
    if (mode == QFileDialog::AcceptOpen ? !info.isFile() : (info.isDir() || !info.absoluteDir().exists()))
        return false;
    FileName = QDir::toNativeSeparators(info.absoluteFilePath());
    return true;
}

int ShowWithButtons(const QString &message, const QString &title, const QString &caption, TMsgDlgType kind,
                    QList<TModalResult> buttons)
{
    return ShowMessageRequest(TMessageRequest{message, title, caption, kind, std::move(buttons)});
}

} // namespace

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler)
{
    QMutexLocker lock(&handlerMutex);
    std::swap(currentHandler, handler);
    return handler;
}

std::unique_ptr<QMessageBox> BuildMessageBox(const TMessageRequest &request)
{
    // Only a box with "Cancel" (or a single button) has an answer for closing.
    const bool closingAnswersNothing = request.Buttons.size() > 1 && !request.Buttons.contains(mrCancel);
    std::unique_ptr<QMessageBox> box = std::make_unique<TMessageBoxWindow>(closingAnswersNothing);
    box->setWindowTitle(request.Caption);
    box->setIcon(IconOf(request.Kind));
    // Texts are shown as given: a path with "<" in it is not markup.
    if (request.Title.isEmpty()) {
        box->setTextFormat(Qt::PlainText);
        box->setText(request.Message);
    } else {
        box->setTextFormat(Qt::RichText);
        box->setText(QStringLiteral("<b>") + request.Title.toHtmlEscaped() + QStringLiteral("</b>"));
        box->setInformativeText(Qt::convertFromPlainText(request.Message, Qt::WhiteSpaceNormal));
    }
    for (TModalResult result : request.Buttons) {
        const QMessageBox::StandardButton button = StandardButtonOf(result);
        if (button != QMessageBox::NoButton)
            box->addButton(button);
    }
    return box;
}

int ShowMessageRequest(const TMessageRequest &request)
{
    TMessageBoxHandler handler;
    {
        QMutexLocker lock(&handlerMutex);
        handler = currentHandler;
    }
    if (handler)
        return handler(request);

    const std::unique_ptr<QMessageBox> box = BuildMessageBox(request);
    box->exec();
    QAbstractButton *clicked = box->clickedButton();
    if (!clicked)
        return mrNone;
    const QMessageBox::StandardButton pressed = box->standardButton(clicked);
    for (TModalResult result : request.Buttons) {
        if (StandardButtonOf(result) == pressed)
            return result;
    }
    return mrNone;
}

int ShowInfoDialog(const QString &MessageStr, const QString &inTitle, const QString &inCaption,
                   TMsgDlgType MType)
{
    return ShowWithButtons(MessageStr, inTitle, inCaption, MType, {mrOk});
}

int ShowOKCancleDialog(const QString &MessageStr, const QString &inTitle, const QString &inCaption,
                       TMsgDlgType MType)
{
    return ShowWithButtons(MessageStr, inTitle, inCaption, MType, {mrOk, mrCancel});
}

int ShowYesNoDialog(const QString &MessageStr, const QString &inTitle, const QString &inCaption,
                    TMsgDlgType MType, bool ShowCancel)
{
    QList<TModalResult> buttons{mrYes, mrNo};
    if (ShowCancel)
        buttons << mrCancel;
    return ShowWithButtons(MessageStr, inTitle, inCaption, MType, buttons);
}

TModalHandler SetModalHandler(TModalHandler handler)
{
    QMutexLocker lock(&handlerMutex);
    std::swap(currentModalHandler, handler);
    return handler;
}

int ExecModal(QDialog &dialog)
{
    TModalHandler handler;
    {
        QMutexLocker lock(&handlerMutex);
        handler = currentModalHandler;
    }
    if (handler) {
        const int result = handler(dialog);
        dialog.setResult(result);
        return result;
    }
    return dialog.exec();
}

QStringList FileDialogFilters(const QList<TFileType> &FileTypes)
{
    QStringList filters;
    for (const TFileType &type : FileTypes) {
        const QString masks = MasksOf(type).join(QLatin1Char(' '));
        if (masks.isEmpty())
            continue;
        const QString name = type.DisplayName.trimmed();
        if (name.endsWith(QLatin1Char(')')) && name.contains(QLatin1Char('(')))
            filters << name;
        else
            filters << (name.isEmpty() ? masks : name + QStringLiteral(" (") + masks + QLatin1Char(')'));
    }
    return filters;
}

QString DefaultExtension(const QList<TFileType> &FileTypes)
{
    if (FileTypes.isEmpty())
        return {};
    static const QRegularExpression plainExtension(QStringLiteral("^\\*\\.([^*?.\\[\\]]+)$"));
    const QRegularExpressionMatch match = plainExtension.match(MasksOf(FileTypes.first()).value(0));
    return match.hasMatch() ? match.captured(1) : QString();
}

bool ShowFileOpenDialog(QString &FileName, const QList<TFileType> &FileTypes, QWidget *parent)
{
    return RunFileDialog(FileName, FileTypes, parent, QFileDialog::AcceptOpen);
}

bool ShowFileSaveDialog(QString &FileName, const QList<TFileType> &FileTypes, QWidget *parent)
{
    return RunFileDialog(FileName, FileTypes, parent, QFileDialog::AcceptSave);
}

} // namespace trovalo
