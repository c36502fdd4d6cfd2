#pragma once

#include "tray/ItemType.h"

#include <QHash>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace trovalo {

// Handle of a row of the slide-out window. Rows are addressed by handle,
// not by pointer, so a job that ends after its row went can still ask for
// it safely. 0 names no row.
using TSliderRow = quint64;

// The small always-on-top list of running jobs at the bottom-right corner
// of the screen, shown when the pointer moves over the tray icon. Lives for
// the whole run; only shown and hidden.
class TSliderForm : public QWidget
{
    Q_OBJECT

public:
    explicit TSliderForm(QWidget *parent = nullptr);
    ~TSliderForm() override;

    // A row with caption Name, the action "Loading..." and the image of the
    // kind, after the rows already there.
    TSliderRow AddListItem(const QString &Name, TItemType ItemIype);
    // The row's "Action" column; nothing when the row is gone.
    void UpDateListItem(TSliderRow ListItem, const QString &Info);
    // Removes the row; nothing when it is gone already.
    void RemoveListItem(TSliderRow ListItem);

    // Shows the window at the bottom-right corner and starts the auto-close
    // countdown when "Auto Close" is checked.
    void ShowSlider();

    bool AutoClose() const;
    void SetAutoClose(bool value);

    // The image of a row kind.
    static QIcon KindIcon(TItemType kind);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void TimerACTimer();
    void CloseBtnClick();
    void cbAutoCloseClick();

private:
    void RestartCountdown();
    void UpdateOverlay();

    QTreeWidget *ListView = nullptr;
    QLabel *Panel = nullptr;
    QPushButton *CloseBtn = nullptr;
    QCheckBox *cbAutoClose = nullptr;
    QTimer *TimerAC = nullptr;
    bool FAutoClose = true;
    int FAutoCloseTime = 3; // seconds
    int TimeLeft = 0;       // milliseconds
    TSliderRow FLastRow = 0;
    QHash<TSliderRow, QTreeWidgetItem *> FRows;
};

} // namespace trovalo
