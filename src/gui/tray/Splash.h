#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

class QTimer;

namespace trovalo {

class TDataModuleQuillonSuite;

// The start-up picture: a borderless window with per-pixel transparency
// that can be dragged anywhere. Its one-shot timer (2 s, running from
// creation) finishes the start-up through the controller, then the window
// closes and frees itself.
class TSplash : public QWidget
{
    Q_OBJECT

public:
    static constexpr int StartUpDelay = 2000;

    explicit TSplash(TDataModuleQuillonSuite &Controller, QWidget *parent = nullptr);
    ~TSplash() override;

    // Prepares the picture, sizes the window to it and shows it centred.
    void Execute();

    QTimer *Timer1() const { return FTimer1; }
    const QPixmap &Picture() const { return FPicture; }

    // The picture as drawn: opaque card, transparent around it.
    static QPixmap DrawPicture();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // The rest of the start-up, in its fixed order.
    void Timer1Timer();

    TDataModuleQuillonSuite &FController;
    QTimer *FTimer1 = nullptr;
    QPixmap FPicture;
    bool FDragging = false;
    QPoint FDragOffset;
};

} // namespace trovalo
