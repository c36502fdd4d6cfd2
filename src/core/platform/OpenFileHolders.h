#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo {

// A process of this user that keeps files or folders under a folder open.
struct TFileHolder
{
    qint64 ProcessId = 0;
    QString Program;   // the program's name ("gedit"), as a user knows it
    QStringList Paths; // native paths under the folder: open files, its working folder
};

// The processes of this user that hold something under NativeFolder open: a
// file descriptor (/proc/<pid>/fd) or the working folder (/proc/<pid>/cwd)
// at the folder or below it. Other users' processes cannot be looked into
// and are left out. OnlyProcess limits the look to one process (this one,
// to prove it holds nothing). Sorted by process id.
QList<TFileHolder> ProcessesHoldingFilesUnder(const QString &nativeFolder,
                                              std::optional<qint64> onlyProcess = std::nullopt);

// "gedit (process 4711: /media/ann/STICK/notes.txt), bash (process 99:
// /media/ann/STICK)": the holders for a message; at most three paths each.
QString FileHoldersText(const QList<TFileHolder> &holders);

} // namespace trovalo
