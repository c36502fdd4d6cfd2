#pragma once

#include "dialogs/ParentDialog.h"

class QLabel;

namespace trovalo {

// Asks what to do when a drive ran out of space: "Skip" (2), "Abort" (3)
// or "Retry" (4).
class TSkipAbortRetryDialog : public TParentDialog
{
    Q_OBJECT

public:
    explicit TSkipAbortRetryDialog(QWidget *parent = nullptr, QWidget *BlendForm = nullptr);

    void SetTitle(const QString &title);
    void SetText(const QString &text);

    // Runs the dialog through ExecModal with the program title as caption.
    // Returns Skip 2, Abort 3 or Retry 4; closing without a button skips.
    static int Ask(QWidget *parent, const QString &title, const QString &text);

private:
    QLabel *Label1;
    QLabel *Label2;
};

} // namespace trovalo
