#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QMenu;
class QThread;

namespace trovalo {

// "Safely Remove" of the tray menu, the consoles and the progress panels:
// lists the USB drives and removes one. What can be refused at once (a job
// of the drive runs, a window of its console is open) is refused with a
// message; then the drive's console stops its job-file search, the removal
// itself (platform/DriveRemoval) runs on a thread of its own, and at its
// end the console closes and Removed carries the text for the balloon, or
// a message says why the drive stays. Interface thread only.
class TSafeRemoval : public QObject
{
    Q_OBJECT

public:
    explicit TSafeRemoval(QObject *parent = nullptr);
    // Waits for a removal under way.
    ~TSafeRemoval() override;

    // Fills the sub-menu with one item per USB drive ("E:\  STICK
    // (/media/ann/STICK)"), or a disabled item saying there is none.
    void FillMenu(QMenu &menu);
    // Removes the drive (its letter root, "E:\"); a second request while it
    // is being removed is ignored.
    void Remove(const QString &driveRoot);
    bool Removing(const QString &driveRoot) const;

signals:
    void Removed(const QString &driveRoot, const QString &text);

private:
    QHash<QString, QThread *> FRunning;
};

} // namespace trovalo
