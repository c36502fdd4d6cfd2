#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo {

// Whether two drive-letter paths name the same file-system object or one
// lies inside the other, judged on canonical native paths: links are
// resolved and C: is "/", so E:\Docs and C:\media\ann\STICK\Docs are one
// folder. A path that does not exist (yet) is resolved as far as it exists
// and the rest is appended lexically. A path without a native form overlaps
// nothing.
bool PathsOverlap(const QString &a, const QString &b);
// Path is Folder or lies inside it, on canonical native paths as above.
bool IsSameOrInsideFolder(const QString &path, const QString &folder);

// Why a job's destination and sources cannot work together.
struct TFolderOverlap
{
    enum TKind { DestinationInsideSource, SourceInsideDestination };
    TKind Kind;
    QString Source; // the include entry concerned
};

// The first include entry that holds Destination (and no exclude entry
// between them leaves the destination out) or that lies inside Destination;
// nullopt when the folders are apart.
std::optional<TFolderOverlap> FindFolderOverlap(const QString &destination, const QStringList &include,
                                                const QStringList &exclude);

// Whether deleting every file below Folder would empty the computer's root
// or the user's home folder itself (a move job's "Scratch" must not).
bool IsRootOrHomeFolder(const QString &folder);

} // namespace trovalo
