#include "tray/Splash.h"

#include "DataModuleQuillonSuite.h"
#include "model/ProgramData.h"
#include "model/ProgramIdentity.h"
#include "tray/DrivePicture.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace trovalo {

namespace {

constexpr int PictureWidth = 420;
constexpr int PictureHeight = 240;
constexpr int ShadowMargin = 12;

} // namespace

TSplash::TSplash(TDataModuleQuillonSuite &Controller, QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
    , FController(Controller)
    , FTimer1(new QTimer(this))
{
    setObjectName(QStringLiteral("Splash"));
    setWindowTitle(ProgramTitle);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    FTimer1->setObjectName(QStringLiteral("Timer1"));
    FTimer1->setSingleShot(true);
    FTimer1->setInterval(StartUpDelay);
    connect(FTimer1, &QTimer::timeout, this, &TSplash::Timer1Timer);
    FTimer1->start();
}

TSplash::~TSplash() = default;

QPixmap TSplash::DrawPicture()
{
    QPixmap picture(PictureWidth + 2 * ShadowMargin, PictureHeight + 2 * ShadowMargin);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // A soft shadow: rings of falling opacity around the card.
    const QRectF card(ShadowMargin, ShadowMargin, PictureWidth, PictureHeight);
    painter.setPen(Qt::NoPen);
    for (int ring = ShadowMargin; ring > 0; --ring) {
        painter.setBrush(QColor(0, 0, 0, 6));
        painter.drawRoundedRect(card.adjusted(-ring, -ring + 3, ring, ring + 3), 18 + ring, 18 + ring);
    }

    QLinearGradient background(card.topLeft(), card.bottomRight());
    background.setColorAt(0, QColor(0x24, 0x5c, 0xb0));
    background.setColorAt(1, QColor(0x0e, 0x26, 0x52));
    painter.setBrush(background);
    painter.drawRoundedRect(card, 18, 18);

    painter.save();
    painter.translate(card.left() + 28, card.top() + 48);
    painter.scale(2, 2);
    PaintDrivePicture(painter);
    painter.restore();

    painter.setPen(Qt::white);
    QFont title = painter.font();
    title.setPixelSize(46);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRectF(card.left() + 170, card.top() + 60, 240, 60), Qt::AlignLeft | Qt::AlignVCenter,
                     ProgramTitle);
    QFont subtitle = painter.font();
    subtitle.setPixelSize(14);
    subtitle.setBold(false);
    painter.setFont(subtitle);
    painter.setPen(QColor(0xd0, 0xe0, 0xff));
    const QRectF textColumn(card.left() + 172, card.top(), card.width() - 172 - 12, card.height());
    painter.drawText(QRectF(textColumn.left(), card.top() + 122, textColumn.width(), 40),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("Your files, safe on your USB drives"));
    painter.drawText(QRectF(card.left() + 172, card.bottom() - 44, 230, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     ProgramVersion);
    return picture;
}

void TSplash::Execute()
{
    FPicture = DrawPicture();
    setFixedSize(FPicture.size());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void TSplash::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(0, 0, FPicture);
}

void TSplash::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FDragging = true;
    FDragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TSplash::mouseMoveEvent(QMouseEvent *event)
{
    if (FDragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - FDragOffset);
}

void TSplash::mouseReleaseEvent(QMouseEvent *)
{
    FDragging = false;
}

void TSplash::Timer1Timer()
{
    FTimer1->stop();
    FController.CreateOptionForm(); // hidden until the user opens it
    FController.ShowTrayIcon();
    FController.StartWatching();
    FController.RunStartupSchedules();
    close();
    // Image 1 then 0, so the icon is redrawn.
    FController.SetTrayImageIndex(1);
    FController.SetTrayImageIndex(0);
    // The silent update check runs here, when CheckForUpdates is on, once
    // the update check exists.
    FController.ShowBalloon();
}

} // namespace trovalo
