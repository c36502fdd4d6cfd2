#include "drives/SafeRemoval.h"

#include "MessageBoxes.h"
#include "console/NewDrive.h"
#include "model/ProgramIdentity.h"
#include "platform/DriveRemoval.h"
#include "platform/DriveTable.h"

#include <QAction>
#include <QMenu>
#include <QThread>

#include <memory>

namespace trovalo {

namespace {

void ShowRefusal(const QString &text)
{
    ShowInfoDialog(text, QStringLiteral("The drive cannot be removed"), ProgramTitle, mtWarning);
}

QList<TNewDrive *> ConsolesOf(const QString &driveRoot)
{
    QList<TNewDrive *> consoles;
    for (TNewDrive *console : TNewDrive::OpenConsoles())
        if (console->DriveLetter().compare(driveRoot, Qt::CaseInsensitive) == 0)
            consoles << console;
    return consoles;
}

} // namespace

TSafeRemoval::TSafeRemoval(QObject *parent)
    : QObject(parent)
{}

TSafeRemoval::~TSafeRemoval()
{
    for (QThread *thread : std::as_const(FRunning)) {
        thread->wait();
        delete thread;
    }
}

void TSafeRemoval::FillMenu(QMenu &menu)
{
    menu.clear();
    for (const TDriveInfo &drive : TDriveTable::Instance().Drives()) {
        if (drive.Letter == QLatin1Char('C') ||
            drive.BusType.compare(QLatin1String("USB"), Qt::CaseInsensitive))
            continue;
        const QString root = drive.LetterRoot();
        QAction *item = menu.addAction(QStringLiteral("%1  %2  (%3)").arg(root, drive.Label, drive.Root));
        item->setObjectName(QStringLiteral("SafelyRemove") + drive.Letter);
        item->setEnabled(!Removing(root));
        connect(item, &QAction::triggered, this, [this, root] { Remove(root); });
    }
    if (menu.isEmpty())
        menu.addAction(QStringLiteral("(no USB drive)"))->setEnabled(false);
}

bool TSafeRemoval::Removing(const QString &driveRoot) const
{
    return FRunning.contains(driveRoot.toUpper());
}

void TSafeRemoval::Remove(const QString &driveRoot)
{
    const QString root = driveRoot.toUpper();
    if (Removing(root))
        return;
    if (const std::optional<TRemovalResult> refused = RemovalRefusedForJobs(root))
        return ShowRefusal(refused->Text);
    const QList<TNewDrive *> consoles = ConsolesOf(root);
    for (TNewDrive *console : consoles) {
        if (!console->SubForms().isEmpty())
            return ShowRefusal(QStringLiteral("The drive %1 cannot be removed while windows opened from its "
                                              "console are open: close them first.")
                                   .arg(WithNative(root)));
    }
    for (TNewDrive *console : consoles)
        console->StopSearchAndWait();

    auto result = std::make_shared<TRemovalResult>();
    QThread *thread = QThread::create([root, result] { *result = SafelyRemoveDrive(root); });
    FRunning.insert(root, thread);
    connect(thread, &QThread::finished, this, [this, root, result, thread] {
        FRunning.remove(root);
        thread->deleteLater();
        if (!result->Ok())
            return ShowRefusal(result->Text);
        for (TNewDrive *console : ConsolesOf(root))
            console->close();
        emit Removed(root, result->Text);
    });
    thread->start();
}

} // namespace trovalo
