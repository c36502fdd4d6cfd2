#pragma once

#include <QDialog>

class QLabel;

namespace trovalo {

// A small waiting window with a bold heading and a text, shown without
// blocking while the interface thread is busy.
class TBusyWindow : public QDialog
{
    Q_OBJECT

protected:
    TBusyWindow(const QString &heading, const QString &text, Qt::WindowFlags extraFlags);

    // Whether a waiting window may be shown for Owner: set and visible.
    static bool CanShowFor(const QWidget *Owner);
    // Keeps the window over Owner's, shows it and lets it paint before the
    // caller blocks the interface thread.
    void ShowOver(QWidget *Owner);

private:
    QLabel *FHeading;
    QLabel *FText;
};

} // namespace trovalo
