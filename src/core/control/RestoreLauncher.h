#pragma once

#include "base/DateTime.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace trovalo {

class TArchiveData;
class TRestoreThreadBase;

// One run of a backup job that can be restored, as the restore lists it.
struct TRestorableRun
{
    TDateTime DateTime = 0; // 0: never set
    QString DateTimeText;   // "N/A" when not set
    QString ArchiveFolder;  // as stored in the job's ArchiveLog
    QString Format;
    QString Status;
    QString Folder; // where the run's folder is now (drive-letter path, trailing "\")
};

// What to restore from one run.
struct TRestoreSelection
{
    // Paths relative to the run folder: folders (C\Users\Ann or
    // C.Zip\Users\Ann) restore with everything below them, files
    // (C\Users\Ann\a.txt, C.Zip\Users\Ann\a.txt) on their own. Empty: the
    // whole run.
    QStringList Items;
    // Folders inside Items (or inside the whole run) that the user left
    // out, relative to the run folder too; a folder of Items inside one of
    // them is restored all the same.
    QStringList Exclude;
    QString RestoreDir; // empty: the former places
    QString Password;   // zip backups
};

// The window-free part of a restore, shared by the restore wizard and the
// command line: the job's restorable runs, and an engine configured for a
// selection of one run.
class TRestoreLauncher
{
public:
    // The runs of the job's ArchiveLog whose folder exists (found again on
    // the job file's drive after a drive-letter change), oldest first.
    // Raises EDatabaseError when the job's database cannot be read and
    // EFileError when it does not exist (the job never ran).
    static QList<TRestorableRun> RestorableRuns(const QString &jobFile);

    // True when an archive of the run holds encrypted entries (a ZIP backup
    // that needs a password, even when the job no longer stores one).
    // Raises EZipError for an archive that cannot be read.
    static bool HasEncryptedArchives(const TRestorableRun &run);

    // The restore engine for the job's kind of backup (copies or ZIP),
    // configured and not started; it does not free itself. Raises
    // EUserException for a selected item that the run does not hold, for a
    // RestoreDir that is no existing folder and when there is nothing to
    // restore; EFileError when the run's folder or an archive cannot be
    // read. A copy backup restores only what lies below a drive (C) or
    // server (__srv) folder of the run: nothing else is a copy of the job's.
    static std::unique_ptr<TRestoreThreadBase> Prepare(const TArchiveData &job, const TRestorableRun &run,
                                                       const TRestoreSelection &selection);
};

} // namespace trovalo
