#include "dialogs/BusyWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWindow>

namespace trovalo {

TBusyWindow::TBusyWindow(const QString &heading, const QString &text, Qt::WindowFlags extraFlags)
    : QDialog(nullptr, Qt::Dialog | extraFlags)
    , FHeading(new QLabel(heading, this))
    , FText(new QLabel(text, this))
{
    FHeading->setObjectName(QStringLiteral("Label1"));
    FText->setObjectName(QStringLiteral("Label2"));
    QFont headingFont = FHeading->font();
    headingFont.setBold(true);
    FHeading->setFont(headingFont);
    FText->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FHeading);
    layout->addWidget(FText);
    setMinimumWidth(360);
}

bool TBusyWindow::CanShowFor(const QWidget *Owner)
{
    return Owner && Owner->isVisible();
}

void TBusyWindow::ShowOver(QWidget *Owner)
{
    // No QObject parent: the caller owns and frees the window.
    winId();
    if (QWindow *ownerWindow = Owner->window()->windowHandle())
        windowHandle()->setTransientParent(ownerWindow);
    show();
    QCoreApplication::processEvents();
}

} // namespace trovalo
