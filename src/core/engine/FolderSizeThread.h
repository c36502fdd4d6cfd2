#pragma once

#include <QString>
#include <QThread>

namespace trovalo::foldersize {

// Walks one folder and its subfolders in the background and adds up the
// sizes of the files, the number of files and the number of folders. It
// reports nothing while it runs: the totals are read after finished().
// A stop request (requestInterruption) ends the walk early with the partial
// sums. Links to folders are never entered, so a walk cannot loop.
class TFolderSizeThread : public QThread
{
    Q_OBJECT

public:
    // FolderName: a drive-letter path, with or without a trailing "\".
    explicit TFolderSizeThread(const QString &FolderName, QObject *parent = nullptr);

    QString FolderName() const { return FFolderName; }
    // Valid once the thread has finished.
    qint64 FolderSize() const { return FFolderSize; }
    qint64 FileCount() const { return FFileCount; }
    qint64 FolderCount() const { return FFolderCount; }

protected:
    void run() override;

private:
    qint64 Walk(const QString &folder);

    const QString FFolderName;
    qint64 FFolderSize = 0;
    qint64 FFileCount = 0;
    qint64 FFolderCount = 0;
};

} // namespace trovalo::foldersize
