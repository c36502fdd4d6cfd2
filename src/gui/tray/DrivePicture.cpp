#include "tray/DrivePicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace trovalo {

void PaintDrivePicture(QPainter &painter, int frame)
{
    // Connector with its two contacts.
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    painter.setBrush(QColor(0xc8, 0xc8, 0xc8));
    painter.drawRect(QRectF(22, 3, 20, 14));
    painter.setBrush(QColor(0x55, 0x55, 0x55));
    painter.drawRect(QRectF(27, 7, 3, 4));
    painter.drawRect(QRectF(34, 7, 3, 4));

    // Body.
    const QRectF bodyRect(13, 16, 38, 46);
    QLinearGradient body(0, 16, 0, 62);
    body.setColorAt(0, QColor(0x3a, 0x7b, 0xd5));
    body.setColorAt(1, QColor(0x1a, 0x41, 0x80));
    painter.setPen(QPen(QColor(0x12, 0x2e, 0x5c), 2));
    painter.setBrush(body);
    painter.drawRoundedRect(bodyRect, 7, 7);

    // Arrow pointing down into the drive; while animating it starts above
    // its place and slides down, clipped to the body.
    const double shift = frame == 0 ? 0.0 : (frame - 4) * 4.0;
    QPainterPath arrow;
    arrow.moveTo(28, 24 + shift);
    arrow.lineTo(36, 24 + shift);
    arrow.lineTo(36, 38 + shift);
    arrow.lineTo(43, 38 + shift);
    arrow.lineTo(32, 52 + shift);
    arrow.lineTo(21, 38 + shift);
    arrow.lineTo(28, 38 + shift);
    arrow.closeSubpath();
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(bodyRect.adjusted(2, 2, -2, -2), 6, 6);
    painter.setClipPath(clip);
    painter.setPen(Qt::NoPen);
    painter.setBrush(frame == 0 ? QColor(Qt::white) : QColor(0xff, 0xf3, 0xb0));
    painter.drawPath(arrow);
    painter.restore();

    // Activity light: lit in every other frame.
    if (frame != 0 && frame % 2 == 1) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x4c, 0xff, 0x4c));
        painter.drawEllipse(QPointF(44, 55), 3.5, 3.5);
    }
}

} // namespace trovalo
