#pragma once

#include "base/DateTime.h"

#include <QDateTime>
#include <QString>

namespace trovalo {

class TArchiveData;
class TSaveLoadComponent;

// The steps of making and changing a backup or move job that every editor
// shares (the wizards and their tests), so a job made in a window is the
// job the command line would have made.

// The values a new job starts with: created Now, never run, incremental
// plain copies, no password, no folders, this computer's PC ID.
void InitNewArchiveJob(TArchiveData &job, const QString &pcId, TDateTime now);

// The job file name of a new job made on the drive DriveRoot ("E:\"):
// DriveRoot + "Config\" + Prefix + the time as "yyyy-MM-dd HH-mm-ss zzz" +
// Extension, e.g. E:\Config\Backup2026-01-31 14-05-09 042.Zja.
QString NewJobFileName(const QString &driveRoot, const QString &prefix, const QString &extension,
                       const QDateTime &now);

// Every line of the job's folder, exclude and file lists moved onto Drive
// ("E:"): its path below its own drive put after Drive + "\"; a bare root
// becomes Drive + "\". So a job made while its stick was F: works as E:.
void MoveListsToDrive(TArchiveData &job, const QString &drive);
// Destination's path below its own drive, put after Drive + "\".
QString OnDrive(const QString &path, const QString &drive);

// What stops a job's folders from working; "" when nothing does:
// a destination inside a source (every run would copy its own output
// again), a source inside the destination, and a move job that deletes its
// sources when a source is the computer's root or the home folder itself.
QString ArchiveJobFolderProblem(const TArchiveData &job);

// Saves a job made or changed in an editor: PCID := PcId; a new job gets a
// fresh GUID unless it has one (a second save keeps it) and loses a stale
// job database left under its file name. The file is replaced atomically,
// so a failed save leaves the previous file. Raises EFileError.
void SaveArchiveJob(TArchiveData &job, const QString &jobFile, bool isNew, const QString &pcId);

// The save every job editor makes: the folder made when missing, Database
// (the stale history of an earlier job under this file name) removed for
// a new job, the file replaced atomically. Raises EFileError.
void SaveEditedJob(const TSaveLoadComponent &job, const QString &jobFile, bool isNew,
                   const QString &database);

// Whether the job keeps a database that "Reset Backup" can clear.
bool HasJobDatabase(const QString &jobFile);
// Clears the job database's file log (its runs stay restorable), so the
// next run copies every file again. False when there is no database.
// Raises EFileError when the database cannot be opened or written.
bool ResetBackupJob(const QString &jobFile);

} // namespace trovalo
