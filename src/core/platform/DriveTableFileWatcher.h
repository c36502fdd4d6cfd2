#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace trovalo {

// Watches a drive-table file (TROVALO_DRIVES="@/file") and says when it may
// have changed: written in place, replaced by a rename (as editors and the
// tests do), removed or made anew. The folder is watched beside the file,
// since a watch on the file itself ends with the file it was put on. Bursts
// are folded into one Changed() some 100 ms after the last event.
class TDriveTableFileWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TDriveTableFileWatcher(const QString &fileName, QObject *parent = nullptr);

    // False when neither the file nor its folder can be watched.
    bool Start();
    QString FileName() const { return FFileName; }

    static constexpr int DebounceMs = 100;

signals:
    void Changed();

private:
    void Touched();
    void WatchFile();

    QString FFileName;
    QFileSystemWatcher FWatcher;
    QTimer FDebounce;
};

} // namespace trovalo
