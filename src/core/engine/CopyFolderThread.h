#pragma once

#include "engine/BackUpThreadBase.h"

#include <QPair>
#include <QSet>

#include <optional>

namespace trovalo {

class TTargetFolder;

struct TFolderEntry;

// Backup jobs written as plain copies, and move jobs, in all seven modes.
// Sources are mapped below the destination by their drive letter or server
// (C:\Users\Ann\ -> <Destination>C\Users\Ann\, \\srv\data\ ->
// <Destination>__srv\data\); move jobs put the contents of their folders
// straight into the destination.
class TCopyFolderThread : public TArchiveThreadBase
{
    Q_OBJECT
public:
    explicit TCopyFolderThread(QObject *parent = nullptr);

    // The move job's choice to delete the sources (move mode only).
    bool MoveFile() const { return FMoveFile; }
    void SetMoveFile(bool value) { FMoveFile = value; }

    // Where a source path lands below Destination.
    QString MapToDestination(const QString &path) const;

protected:
    void Execute() override;
    QString RefusalCheckTarget() const override;
    // Leaves the folder of the job database and the deleted-files folder
    // alone, wherever the tree being emptied lies.
    void DeleteFolderTree(const QString &path) override;

private:
    // How a walk treats the files it meets.
    enum TCopyKind {
        ckNew,         // copy when the mode says so, never over an existing file
        ckIncremental, // copy what changed, replacing (protected)
        ckMove,        // as incremental, and remove each source once its copy is safe
    };
    enum TDecision { dCopy, dSkip, dFiltered };

    void CleanUpMirror();
    // Removes a destination item whose source vanished; false on failure.
    bool RemoveVanishedItem(const QString &target, bool isFolder);
    void CopyPhase();
    void MoveFolders();

    void CopyFolderIncremental(const QString &sourceDir, const QString &targetDir, bool moveSource);
    void CopyFolderNew(const QString &sourceDir, const QString &targetDir);
    void CopyFileIncremental(const QString &source, const QString &target);
    void CopyFileNew(const QString &source, const QString &target);

    void WalkFolder(const QString &sourceDir, const QString &targetDir, TCopyKind kind);
    void WalkSubFolder(const QString &sourceDir, const QString &targetDir, const QString &name,
                       TCopyKind kind);
    void CopySingleFile(const QString &source, const QString &target, TCopyKind kind);
    TDecision Decide(const QString &source, TDateTime fileDate, qint64 size, TCopyKind kind,
                     TTargetFolder &targets, const QString &target);
    void ProcessFile(const QString &source, const QString &target, qint64 size, TDecision decision,
                     TCopyKind kind, const TFolderEntry *entry, bool targetAbsent);
    void DeleteMovedSource(const QString &source);

    // The include folders of a move merge into one tree: a file that one
    // source was moved to in this run is never replaced by another source,
    // since the first one is gone.
    using TFileIdentity = QPair<quint64, quint64>; // device, inode
    static std::optional<TFileIdentity> IdentityOf(const QString &path);
    bool IsMovedTarget(const QString &target);
    void RememberMovedTarget(const QString &target);

    bool FMoveFile = false;
    QSet<TFileIdentity> FMovedTargets;
};

} // namespace trovalo
