#include "TrayFallbackWindow.h"

#include "model/ProgramIdentity.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

namespace trovalo {

TTrayFallbackWindow::TTrayFallbackWindow(const QList<QAction *> &menuActions, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TrayFallbackWindow"));
    setWindowTitle(ProgramTitle);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(ProgramTitle + QStringLiteral(" is running."), this));
    FNotice = new QLabel(this);
    FNotice->setObjectName(QStringLiteral("Notice"));
    FNotice->setWordWrap(true);
    FNotice->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    FNotice->hide();
    layout->addWidget(FNotice);
    for (QAction *action : menuActions) {
        if (action->isSeparator()) {
            layout->addSpacing(8);
            continue;
        }
        auto *button = new QToolButton(this);
        button->setDefaultAction(action);
        if (action->menu())
            button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(button);
        // Makes the items' shortcuts work while this window is active.
        addAction(action);
    }
}

void TTrayFallbackWindow::BringToFront()
{
    showNormal();
    raise();
    activateWindow();
}

void TTrayFallbackWindow::ShowNotice(const QString &text)
{
    FNotice->setText(text);
    FNotice->setVisible(!text.isEmpty());
}

QString TTrayFallbackWindow::Notice() const
{
    return FNotice->text();
}

void TTrayFallbackWindow::closeEvent(QCloseEvent *event)
{
    // Hiding would leave the running program without any way to reach it.
    event->ignore();
    showMinimized();
}

} // namespace trovalo
