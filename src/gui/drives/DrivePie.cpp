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

QList<TPieSlice> DriveSlices(qint64 used, qint64 free)
{
    return {{QObject::tr("Used Space"), used, UsedColor}, {QObject::tr("Free Space"), free, FreeColor}};
}
} // namespace

TDrivePie::TDrivePie(QWidget *parent)
    : QWidget(parent)
    , FSlices(DriveSlices(0, 0))
{
    setMinimumSize(160, 110);
}

void TDrivePie::SetCaptions(const QList<TPieSlice> &slices)
{
    FSlices = slices;
    for (TPieSlice &slice : FSlices)
        slice.Value = 0;
    FHasData = false;
    update();
}

void TDrivePie::SetSlices(const QList<TPieSlice> &slices)
{
    FSlices = slices;
    for (TPieSlice &slice : FSlices)
        slice.Value = std::max<qint64>(slice.Value, 0);
    FHasData = true;
    update();
}

void TDrivePie::SetValues(qint64 used, qint64 free)
{
    SetSlices(DriveSlices(used, free));
}

void TDrivePie::Clear()
{
    SetCaptions(FSlices);
}

qint64 TDrivePie::Value(int index) const
{
    return index >= 0 && index < FSlices.size() ? FSlices.at(index).Value : 0;
}

QSize TDrivePie::sizeHint() const
{
    const int lines = std::max<int>(2, FSlices.size());
    int legendWidth = 0;
    for (const TPieSlice &slice : FSlices)
        legendWidth = std::max(legendWidth, fontMetrics().horizontalAdvance(slice.Caption));
    return {std::max(220, legendWidth + 140), std::max(120, lines * (fontMetrics().height() + 4) + 8)};
}

void TDrivePie::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int lineHeight = fontMetrics().height() + 4;
    const int legendHeight = int(FSlices.size()) * lineHeight;
    const int box = fontMetrics().height() - 4;
    // The legend keeps its full captions; the pie takes the room left.
    int legendWidth = 0;
    for (const TPieSlice &slice : FSlices)
        legendWidth = std::max(legendWidth, box + 6 + fontMetrics().horizontalAdvance(slice.Caption));
    const int side = std::max(10, std::min(width() - legendWidth - 18, height() - 8));
    const QRectF pie(4, 4, side, side);

    double total = 0;
    for (const TPieSlice &slice : FSlices)
        total += double(slice.Value);
    if (!FHasData || total <= 0) {
        painter.setPen(QPen(EmptyColor, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(pie);
    } else {
        // Start at twelve o'clock and run clockwise; the last sector takes
        // what rounding left, so the pie always closes.
        painter.setPen(QPen(palette().color(QPalette::Base), 1));
        int start = 90 * 16;
        int drawn = 0;
        for (int i = 0; i < FSlices.size(); ++i) {
            const int span = i + 1 == FSlices.size()
                                 ? FullCircle - drawn
                                 : int(double(FullCircle) * (double(FSlices.at(i).Value) / total));
            if (span > 0) {
                painter.setBrush(FSlices.at(i).Color);
                painter.drawPie(pie, start, -span);
            }
            start -= span;
            drawn += span;
        }
    }

    // Legend to the right of the pie.
    const int x = int(pie.right()) + 10;
    int y = std::max(4, (height() - legendHeight) / 2);
    for (const TPieSlice &slice : FSlices) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(slice.Color);
        painter.drawRect(x, y + 2, box, box);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(x + box + 6, y + fontMetrics().ascent(), slice.Caption);
        y += lineHeight;
    }
}

} // namespace trovalo
