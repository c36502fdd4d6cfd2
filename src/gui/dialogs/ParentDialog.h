#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QTimer;

namespace trovalo {

// Base of the program's own modal dialogs. It fades in when shown and out
// when closed, and dims the window that opened it (the blend form) while
// it is up. The first close request (a button, Esc, the close box) only
// starts the fade-out; the dialog closes with the kept result once it has
// faded away. Results are the program's modal results (MessageBoxes.h);
// Esc and the close box answer Cancel.
class TParentDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int FADE_IN_SPEED = 10;
    static constexpr int FADE_OUT_SPEED = 30;
    static constexpr int PARENT_MINI_ALPHA = 200;
    static constexpr int FullAlpha = 255;

    explicit TParentDialog(QWidget *parent = nullptr, QWidget *BlendForm = nullptr);
    ~TParentDialog() override;

    // The window dimmed while this dialog is shown (may be none).
    void SetBlendForm(QWidget *BlendForm);
    QWidget *BlendForm() const { return FBlendForm; }
    void SetCloseonEscKey(bool closeOnEsc) { FCloseonEscKey = closeOnEsc; }
    bool CloseonEscKey() const { return FCloseonEscKey; }

    // 0 fading in (or shown), 1 fading out.
    int FadeType() const { return fFadeType; }
    // The dialog's own opacity, 0..255.
    int Alpha() const { return FAlpha; }

    // The opacity of a window on the 0..255 scale.
    static int OpacityOf(const QWidget *window);
    // What the blend form shows while the dialog is at Alpha.
    static int BlendAlphaFor(int Alpha);

    // Refused the first time: the result is kept and the fade-out starts.
    void done(int result) override;
    // Cancel, as Esc and the close box give.
    void reject() override;

protected:
    // The bold title line and the text below it that every dialog on this
    // base shows: named Label1 and Label2, plain text, wrapped.
    static void SetUpTitleAndText(QLabel *Label1, QLabel *Label2);
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FadeTick();
    void SetAlpha(int alpha);
    void SetBlendAlpha(int alpha);
    void FinishClose();

    int fFadeType = 0;
    int FAlpha = 0;
    int FKeptResult = 0;
    bool FCloseAccepted = false;
    bool FBlendDimmed = false; // this dialog set the blend form's opacity below full
    bool FCloseonEscKey = true;
    QPointer<QWidget> FBlendForm;
    QTimer *FadeTimer;
    QTimer *Timer1;
};

} // namespace trovalo
