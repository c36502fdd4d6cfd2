#include "drives/DrivePie.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace trovalo {

namespace {
const QColor UsedColor(40, 96, 200);
const QColor FreeColor(120, 200, 90);
const QColor EmptyColor(210, 210, 210);
constexpr int FullCircle = 360 * 16; // QPainter angles are in 1/16 degree
} // namespace

TDrivePie::TDrivePie(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(160, 110);
}

void TDrivePie::SetValues(qint64 used, qint64 free)
{
    FUsed = std::max<qint64>(used, 0);
    FFree = std::max<qint64>(free, 0);
    FHasData = true;
    update();
}

void TDrivePie::Clear()
{
    FHasData = false;
    FUsed = FFree = 0;
    update();
}

QSize TDrivePie::sizeHint() const
{
    return {200, 120};
}

void TDrivePie::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int legendHeight = 2 * fontMetrics().height() + 6;
    const int side = std::max(10, std::min(width() / 2, height()) - 8);
    const QRectF pie(4, 4, side, side);

    const double total = double(FUsed) + double(FFree);
    if (!FHasData || total <= 0) {
        painter.setPen(QPen(EmptyColor, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(pie);
    } else {
        // Start at twelve o'clock and run clockwise, used space first.
        const int usedSpan = int(double(FullCircle) * (double(FUsed) / total));
        painter.setPen(QPen(palette().color(QPalette::Base), 1));
        painter.setBrush(UsedColor);
        painter.drawPie(pie, 90 * 16, -usedSpan);
        painter.setBrush(FreeColor);
        painter.drawPie(pie, 90 * 16 - usedSpan, -(FullCircle - usedSpan));
    }

    // Legend to the right of the pie.
    const int x = int(pie.right()) + 10;
    int y = std::max(4, (height() - legendHeight) / 2);
    const int box = fontMetrics().height() - 4;
    const struct
    {
        QColor Color;
        QString Text;
    } slices[] = {{UsedColor, tr("Used Space")}, {FreeColor, tr("Free Space")}};
    for (const auto &slice : slices) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(slice.Color);
        painter.drawRect(x, y + 2, box, box);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(x + box + 6, y + fontMetrics().ascent(), slice.Text);
        y += fontMetrics().height() + 4;
    }
}

} // namespace trovalo
