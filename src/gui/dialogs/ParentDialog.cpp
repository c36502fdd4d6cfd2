#include "dialogs/ParentDialog.h"

#include "MessageBoxes.h"
#include "model/ProgramIdentity.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace trovalo {

namespace {

void SetWindowAlpha(QWidget *window, int alpha)
{
    window->setWindowOpacity(double(alpha) / TParentDialog::FullAlpha);
}

} // namespace

TParentDialog::TParentDialog(QWidget *parent, QWidget *BlendForm)
    : QDialog(parent)
    , FBlendForm(BlendForm)
    , FadeTimer(new QTimer(this))
    , Timer1(new QTimer(this))
{
    setWindowTitle(ProgramTitle);
    SetWindowAlpha(this, 0);
    FadeTimer->setInterval(1);
    connect(FadeTimer, &QTimer::timeout, this, &TParentDialog::FadeTick);
    Timer1->setInterval(1000);
    // Not over a window it opened itself (an error message about the input).
    connect(Timer1, &QTimer::timeout, this, [this] {
        if (QApplication::activeModalWidget() == this)
            raise();
    });
}

TParentDialog::~TParentDialog()
{
    // Hidden by the destructor of QWidget, too late for hideEvent here.
    if (FBlendDimmed)
        SetBlendAlpha(FullAlpha);
}

void TParentDialog::SetBlendForm(QWidget *BlendForm)
{
    if (FBlendForm == BlendForm)
        return;
    if (FBlendDimmed)
        SetBlendAlpha(FullAlpha);
    FBlendForm = BlendForm;
    if (isVisible())
        SetBlendAlpha(BlendAlphaFor(FAlpha));
}

int TParentDialog::OpacityOf(const QWidget *window)
{
    return int(window->windowOpacity() * FullAlpha + 0.5);
}

int TParentDialog::BlendAlphaFor(int Alpha)
{
    return FullAlpha - (FullAlpha - PARENT_MINI_ALPHA) * std::clamp(Alpha, 0, FullAlpha) / FullAlpha;
}

void TParentDialog::done(int result)
{
    // Nothing to fade while hidden (an answer given without showing it).
    if (FCloseAccepted || !isVisible()) {
        QDialog::done(result);
        return;
    }
    if (fFadeType == 1)
        return; // already fading out: the first result stands
    FKeptResult = result;
    fFadeType = 1;
    SetAlpha(FullAlpha);
    FadeTimer->start();
}

void TParentDialog::reject()
{
    done(mrCancel);
}

void TParentDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A dialog shown again starts over.
    fFadeType = 0;
    FCloseAccepted = false;
    SetBlendAlpha(BlendAlphaFor(FAlpha));
    FadeTimer->start();
    Timer1->start();
}

void TParentDialog::hideEvent(QHideEvent *event)
{
    FadeTimer->stop();
    Timer1->stop();
    if (FBlendDimmed)
        SetBlendAlpha(FullAlpha);
    QDialog::hideEvent(event);
}

void TParentDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !FCloseonEscKey) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TParentDialog::FadeTick()
{
    if (fFadeType == 0) {
        SetAlpha(std::min(FullAlpha, FAlpha + FADE_IN_SPEED));
        if (FAlpha == FullAlpha)
            FadeTimer->stop();
    } else {
        SetAlpha(std::max(0, FAlpha - FADE_OUT_SPEED));
    }
    SetBlendAlpha(BlendAlphaFor(FAlpha));
    if (fFadeType == 1 && FAlpha == 0)
        FinishClose();
}

void TParentDialog::SetAlpha(int alpha)
{
    FAlpha = alpha;
    SetWindowAlpha(this, alpha);
}

void TParentDialog::SetBlendAlpha(int alpha)
{
    if (!FBlendForm)
        return;
    FBlendDimmed = alpha != FullAlpha;
    QWidget *window = FBlendForm->window();
    if (OpacityOf(window) != alpha)
        SetWindowAlpha(window, alpha);
}

void TParentDialog::FinishClose()
{
    FadeTimer->stop();
    FCloseAccepted = true;
    QDialog::done(FKeptResult);
    if (FBlendForm && FBlendForm->isVisible() && FBlendForm->isEnabled())
        FBlendForm->activateWindow();
}

void TParentDialog::SetUpTitleAndText(QLabel *Label1, QLabel *Label2)
{
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    Label1->setFont(titleFont);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label2->setTextFormat(Qt::PlainText);
    Label2->setWordWrap(true);
}

} // namespace trovalo
