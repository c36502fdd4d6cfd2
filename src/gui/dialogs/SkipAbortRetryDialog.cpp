#include "dialogs/SkipAbortRetryDialog.h"

#include "MessageBoxes.h"
#include "model/ProgramIdentity.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace trovalo {

namespace {

constexpr int SkipResult = 2;

} // namespace

TSkipAbortRetryDialog::TSkipAbortRetryDialog(QWidget *parent, QWidget *BlendForm)
    : TParentDialog(parent, BlendForm)
    , Label1(new QLabel(this))
    , Label2(new QLabel(this))
{
    SetUpTitleAndText(Label1, Label2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    const struct
    {
        const char *name;
        const char *caption;
        int result;
    } answers[] = {
        {"BtnSkip", "Skip", SkipResult}, {"BtnAbort", "Abort", mrAbort}, {"BtnRetry", "Retry", mrRetry}};
    for (const auto &answer : answers) {
        auto *button = new QPushButton(QString::fromLatin1(answer.caption), this);
        button->setObjectName(QString::fromLatin1(answer.name));
        const int result = answer.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        buttons->addWidget(button);
    }
    // The labels take the height of their text; the window follows.
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(380);
}

void TSkipAbortRetryDialog::SetTitle(const QString &title)
{
    Label1->setText(title);
}

void TSkipAbortRetryDialog::SetText(const QString &text)
{
    Label2->setText(text);
}

int TSkipAbortRetryDialog::Ask(QWidget *parent, const QString &title, const QString &text)
{
    TSkipAbortRetryDialog dialog(parent, parent);
    dialog.setWindowTitle(ProgramTitle);
    dialog.SetTitle(title);
    dialog.SetText(text);
    const int result = ExecModal(dialog);
    // Esc and the close box (Cancel) skip, as does any other answer.
    return result == mrAbort || result == mrRetry ? result : SkipResult;
}

} // namespace trovalo
