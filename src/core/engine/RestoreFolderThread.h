#pragma once

#include "engine/BackUpThreadBase.h"

namespace trovalo {

// Puts back files from a backup made as plain copies: the first folder
// level below the run folder names the drive (C\...) or the server
// (__srv\share\...) the files came from. Each file goes back to its former
// place or below RestoreDir (which then keeps that first level: <RestoreDir>C\Users\...).
//
// Inputs: Source (the run folder, trailing "\"), Include (full paths of
// folders inside the backup, trailing "\"), FileList (files relative to
// Source), Exclude (full folder paths to skip), RestoreDir (empty: former
// places), the file filter.
class TRestoreFolderThread : public TRestoreThreadBase
{
    Q_OBJECT
public:
    explicit TRestoreFolderThread(QObject *parent = nullptr);

    // Where a backup path (full, below Source, or relative to it) goes back to.
    QString MapBack(const QString &path);

protected:
    void Execute() override;
    // A restore to its former places may write to several drives: what one
    // of them cannot hold is listed as the walk meets it.
    QString RefusalCheckTarget() const override { return RestoreDir(); }

private:
    void RestoreFolder(const QString &sourceDir, const QString &targetDir);
    void RestoreFile(const QString &source, const QString &target);

    void CountSingleFiles();
    // The full path in the backup of an Include or FileList line.
    QString InBackup(const QString &line) const;
    // False, with an error report, when the line has no place to go back
    // to or would be restored into itself.
    bool CanRestoreTo(const QString &line, const QString &target);
    void ReportFailure(const QString &message);
    // TargetAbsent: the target's folder was just listed without that name.
    void RestoreListedFile(const QString &source, const QString &target, qint64 size,
                           const TFolderEntry *entry, bool targetAbsent);
};

} // namespace trovalo
