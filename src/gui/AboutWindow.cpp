#include "AboutWindow.h"

#include "model/ProgramIdentity.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace trovalo {

TAboutWindow::TAboutWindow(QWidget *parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(ProgramTitle);
    FLabel = new QLabel(ProgramTitle + QLatin1Char(' ') + ProgramVersion, this);
    FLabel->setAlignment(Qt::AlignCenter);
    QFont font = FLabel->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    FLabel->setFont(font);
    // Clicks on the text belong to the window, which hides on any click.
    FLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->addWidget(FLabel);
    // Without a title bar, a plain line keeps the window apart from the desktop.
    setFrameStyle(QFrame::Box | QFrame::Plain);
}

QString TAboutWindow::Text() const
{
    return FLabel->text();
}

void TAboutWindow::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    hide();
}

} // namespace trovalo
