#pragma once

#include <QList>
#include <QWidget>

class QAction;
class QLabel;

namespace trovalo {

// Stands in for the notification-area icon on desktops without one: a small
// window offering the tray menu's items, so the program is never out of
// reach. Closing it only minimises it; the menu's "Exit" ends the program.
class TTrayFallbackWindow : public QWidget
{
    Q_OBJECT

public:
    // One button per item of the menu; separators become spacing.
    explicit TTrayFallbackWindow(const QList<QAction *> &menuActions, QWidget *parent = nullptr);

    // Brings the window back from wherever it is.
    void BringToFront();

    // What the tray balloon would warn about (the deleted-files alert),
    // shown under the title; empty hides it.
    void ShowNotice(const QString &text);
    QString Notice() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *FNotice = nullptr;
};

} // namespace trovalo
