#include "MessageBoxes.h"

#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QTextDocument>

namespace trovalo {

namespace {

QMutex handlerMutex;
TMessageBoxHandler currentHandler;

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
    auto box = std::make_unique<QMessageBox>();
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

} // namespace trovalo
