#include "dialogs/InputBox.h"

#include "MessageBoxes.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace trovalo {

namespace {

const QString InvalidFolderNameCharacters = QStringLiteral("\\/:*?\"<>|");

} // namespace

TInputBox::TInputBox(QWidget *parent, QWidget *BlendForm)
    : TParentDialog(parent, BlendForm)
    , Label1(new QLabel(this))
    , Label2(new QLabel(this))
    , Edit1(new QLineEdit(this))
    , BtnOK(new QPushButton(QStringLiteral("OK"), this))
    , BtnCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    SetUpTitleAndText(Label1, Label2);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Edit1);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    // Enter in the edit presses "OK" (eventFilter).
    BtnOK->setDefault(true);
    BtnCancel->setAutoDefault(false);
    Edit1->installEventFilter(this);
    connect(BtnOK, &QPushButton::clicked, this, &TInputBox::OkClick);
    connect(BtnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

void TInputBox::SetTitle(const QString &title)
{
    FTitle = title;
    Label1->setText(title);
}

void TInputBox::SetText(const QString &text)
{
    Ftext = text;
    Label2->setText(text);
}

void TInputBox::SetValue(const QString &value)
{
    FDefaultStr = value;
    Edit1->setText(value);
}

void TInputBox::SetAllowNumbers(bool allow)
{
    if (!FOnlyNumbers)
        FAllowNumbers = allow;
}

void TInputBox::SetOnlyNumbers(bool only)
{
    FOnlyNumbers = only;
    if (only)
        FAllowNumbers = true;
}

void TInputBox::SetMasked(bool masked)
{
    Edit1->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    QFont font = Edit1->font();
    font.setBold(masked);
    Edit1->setFont(font);
}

bool TInputBox::AcceptsTyped(QChar character) const
{
    if (character == QLatin1Char('\b') || character == QLatin1Char('\t'))
        return true;
    const bool digit = character.isDigit();
    if (digit && !FAllowNumbers)
        return false;
    return digit || !FOnlyNumbers;
}

QString TInputBox::FolderNameError(const QString &name)
{
    for (QChar character : InvalidFolderNameCharacters) {
        if (name.contains(character))
            return QStringLiteral("Folder name cannot contain any of the aollowing characters\r\n") +
                   InvalidFolderNameCharacters;
    }
    // Would name no new folder at all: the folder itself or its parent.
    if (name.trimmed().isEmpty())
        return QStringLiteral("Folder name cannot be empty.");
    if (name == QStringLiteral(".") || name == QStringLiteral(".."))
        return QStringLiteral("Folder name cannot be \".\" or \"..\".");
    return {};
}

bool TInputBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OkClick();
            return true;
        }
        // Only typed characters are ruled; editing keys carry no text.
        const QString text = key->text();
        if (!text.isEmpty() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            for (QChar character : text) {
                if (character.isPrint() && !AcceptsTyped(character))
                    return true;
            }
        }
    }
    return TParentDialog::eventFilter(watched, event);
}

void TInputBox::ShowInputError(const QString &message)
{
    ShowInfoDialog(message, QStringLiteral("Errors In Input."), FTitle.isEmpty() ? windowTitle() : FTitle,
                   mtError);
    Edit1->setFocus();
}

void TInputBox::OkClick()
{
    if (FadeType() == 1)
        return; // already closing with another answer
    const QString text = Edit1->text();
    if (FVerifyInput) {
        QString error;
        if (!FVerifyInput(text, error)) {
            ShowInputError(error);
            return;
        }
    }
    if (FRequestFileName) {
        const QString error = FolderNameError(text);
        if (!error.isEmpty()) {
            ShowInputError(error);
            return;
        }
    }
    FDefaultStr = text;
    done(mrOk);
}

bool TInputBox::FileNameRequest(QWidget *BlendForm, const QString &inMessage, QString &Name,
                                const QString &inTitle, const QString &inCaption)
{
    TInputBox box(BlendForm, BlendForm);
    box.setWindowTitle(inCaption);
    box.SetTitle(inTitle);
    box.SetText(inMessage);
    box.SetValue(Name);
    box.SetAllowNumbers(true);
    box.SetOnlyNumbers(false);
    box.SetRequestFileName(true);
    const int result = ExecModal(box);
    Name = box.Value();
    return result == mrOk;
}

} // namespace trovalo
