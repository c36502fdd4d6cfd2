#include "console/JobListStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace trovalo {

namespace {

constexpr int Cell = 16;
constexpr int Gap = 2;

enum class TPicture { None, PCSync, FileSync, Move, Backup };

struct TTypeStyle
{
    const char *Text;
    TPicture Picture;
    QColor Color;
};

const QList<TTypeStyle> &TypeStyles()
{
    static const QList<TTypeStyle> styles = {
        {"PC-PC Sync", TPicture::PCSync, QColor(0, 128, 255)},
        {"File / Folder Sync", TPicture::FileSync, QColor(255, 0, 128)},
        {"Move To USB", TPicture::Move, QColor(128, 0, 255)},
        {"Move From USB", TPicture::Move, QColor(0, 128, 128)},
        {"Backup From USB", TPicture::Backup, QColor(128, 0, 0)},
        {"Backup To USB", TPicture::Backup, QColor(255, 0, 0)},
        {"USB To USB", TPicture::Backup, QColor(255, 128, 128)},
    };
    return styles;
}

const TTypeStyle *FindStyle(const QString &typeText)
{
    for (const TTypeStyle &style : TypeStyles())
        if (typeText == QLatin1String(style.Text))
            return &style;
    return nullptr;
}

void DrawPage(QPainter &p, const QColor &fill)
{
    QPainterPath page;
    page.moveTo(3, 1);
    page.lineTo(10, 1);
    page.lineTo(13, 4);
    page.lineTo(13, 15);
    page.lineTo(3, 15);
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(fill);
    p.drawPath(page);
    p.drawLine(QPointF(10, 1), QPointF(10, 4));
    p.drawLine(QPointF(10, 4), QPointF(13, 4));
}

// 0 new_document16, 1 Time, 2 properties_doc16.
void DrawScheduleMark(QPainter &p, int mark)
{
    switch (mark) {
    case 1:
        p.setPen(QPen(QColor(0, 90, 170), 1.5));
        p.setBrush(QColor(230, 242, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.drawLine(QPointF(8, 8), QPointF(8, 4));
        p.drawLine(QPointF(8, 8), QPointF(11, 10));
        break;
    case 2:
        DrawPage(p, QColor(235, 235, 235));
        p.setPen(QPen(QColor(120, 120, 120), 1));
        for (int y = 7; y <= 12; y += 2)
            p.drawLine(QPointF(5, y), QPointF(11, y));
        break;
    default:
        DrawPage(p, Qt::white);
        break;
    }
}

void DrawArrow(QPainter &p, QPointF from, QPointF to, const QColor &color)
{
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF direction = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF normal(-direction.y(), direction.x());
    p.drawLine(to, to - direction * 4 + normal * 3);
    p.drawLine(to, to - direction * 4 - normal * 3);
}

void DrawTypePicture(QPainter &p, TPicture picture, const QColor &color)
{
    switch (picture) {
    case TPicture::Backup:
        // A drive with an arrow going into it.
        p.setPen(QPen(QColor(70, 70, 70), 1));
        p.setBrush(QColor(200, 200, 200));
        p.drawRoundedRect(QRectF(1.5, 9.5, 13, 5), 1.5, 1.5);
        DrawArrow(p, QPointF(8, 1), QPointF(8, 8), color);
        break;
    case TPicture::Move:
        DrawArrow(p, QPointF(1, 8), QPointF(14, 8), color);
        break;
    case TPicture::FileSync:
        DrawArrow(p, QPointF(2, 5), QPointF(14, 5), color);
        DrawArrow(p, QPointF(14, 11), QPointF(2, 11), color);
        break;
    case TPicture::PCSync:
        // Two screens.
        p.setPen(QPen(color, 1.2));
        p.setBrush(QColor(230, 242, 255));
        p.drawRect(QRectF(0.5, 2.5, 6, 5));
        p.drawRect(QRectF(8.5, 8.5, 6, 5));
        p.drawLine(QPointF(4, 10), QPointF(8, 10));
        break;
    case TPicture::None:
        // An unreadable job: a red cross.
        p.setPen(QPen(QColor(200, 0, 0), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
        break;
    }
}

} // namespace

QColor TJobListStyle::TypeColor(const QString &typeText)
{
    const TTypeStyle *style = FindStyle(typeText);
    return style ? style->Color : QColor();
}

QColor TJobListStyle::PCIDColor(const QString &jobPCID, const QString &ownPCID)
{
    if (jobPCID == ownPCID)
        return QColor(0, 128, 255);
    if (jobPCID == QLatin1String("<Error Loading Data>"))
        return QColor(255, 0, 128);
    return QColor(254, 174, 10);
}

QSize TJobListStyle::RowIconSize()
{
    return QSize(2 * Cell + Gap, Cell);
}

QIcon TJobListStyle::RowIcon(const QString &typeText, int scheduleMark)
{
    QPixmap pixmap(RowIconSize());
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        DrawScheduleMark(p, scheduleMark);
        p.translate(Cell + Gap, 0);
        const TTypeStyle *style = FindStyle(typeText);
        DrawTypePicture(p, style ? style->Picture : TPicture::None, style ? style->Color : QColor());
    }
    return QIcon(pixmap);
}

QPixmap TJobListStyle::TypePicture(const QString &typeText, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(double(size) / Cell, double(size) / Cell);
        const TTypeStyle *style = FindStyle(typeText);
        DrawTypePicture(p, style ? style->Picture : TPicture::None, style ? style->Color : QColor());
    }
    return pixmap;
}

bool TJobListStyle::IsBackupType(const QString &typeText)
{
    return typeText == QLatin1String("Backup From USB") || typeText == QLatin1String("Backup To USB") ||
           typeText == QLatin1String("USB To USB");
}

} // namespace trovalo
