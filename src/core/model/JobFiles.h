#pragma once

#include "base/RecordEnums.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo {

class TArchiveData;
class TPCSyncData;

// The four kinds of job file kept in a drive's "Config" folder.
enum class TJobKind { Backup, Move, Sync, PCSync };

// The kind a job file's extension stands for (".zja", ".zjm", ".zjs",
// ".zjp", any case); nullopt for any other file.
std::optional<TJobKind> JobKindOfFile(const QString &fileName);

// The extension a new job file gets: ".Zja", ".Zjm", ".Zjs", ".Zjp".
QString JobFileExtension(TJobKind kind);

// Backup for every archive mode but amMove.
TJobKind ArchiveJobKind(const TArchiveData &job);

// Path of a new job file: the drive root (a trailing "\" is added when
// missing), "Config\Backup", "Config\Move " or "Config\sync ", the time as
// "yyyy-MM-dd HH-mm-ss zzz" and the kind's extension. Empty for PC-to-PC
// jobs, which this program never creates.
QString NewJobFileName(const QString &driveRoot, TJobKind kind, const QDateTime &time);
// The time as a new job file's name holds it: "yyyy-MM-dd HH-mm-ss zzz".
QString JobFileNameTime(const QDateTime &time);

// The per-job database beside a backup or move job file (".Zjd") or a sync
// job file (".Zjt"): the job file's name with its extension replaced. Empty
// for PC-to-PC jobs (one database per item, see PCSyncDatabaseFileName) and,
// without a kind, for files that are no job file.
QString JobDatabaseFileName(const QString &jobFile);
QString JobDatabaseFileName(const QString &jobFile, TJobKind kind);

// The sync database of one item of a PC-to-PC job: the job file's folder,
// the item's ID and ".Zjt". The ID comes from the job file, so a blank ID
// and one that would lead out of that folder (one holding "\", "/" or ":")
// give an empty name instead of a shared or foreign path.
QString PCSyncDatabaseFileName(const QString &jobFile, const QString &itemId);

// Every database a job keeps beside its job file: the one of
// JobDatabaseFileName, or for a PC-to-PC job that of each item with a usable
// ID (each once).
QStringList JobDatabaseFileNames(const QString &jobFile, const TPCSyncData *pcJob);

// "Backup From USB", "Backup To USB", "USB To USB", "Move From USB",
// "Move To USB", "File / Folder Sync", "PC-PC Sync". Direction matters only
// to backup and move jobs; a move between two USB drives is never offered
// and has no caption (empty).
QString JobKindCaption(TJobKind kind, TArchiveDir dir = amUsbToPc);

// The item of a PC-to-PC job that belongs to this computer: the first whose
// PCID equals PcId exactly, -1 when none does (the job is then not run).
int ChoosePCSyncItem(const TPCSyncData &job, const QString &pcId);

// True when a job saved by JobPcId should be questioned before it is opened
// or run on the computer PcId (an empty stored ID counts as foreign too).
bool IsJobOfOtherComputer(const QString &jobPcId, const QString &pcId);

// The backup wizard's choices, by BackupSystem index 0..4.
struct TBackupSystemChoice
{
    TArchiveMode Mode;
    TArchiveType Type;
};
int BackupSystemCount();
// Mode and type the wizard derives from a choice; nullopt outside 0..4
// (a damaged or foreign file).
std::optional<TBackupSystemChoice> BackupSystemMode(int index);
// The choice that produces Mode and Type, -1 when no choice does
// (amOnlyNew, amTimeStamped, amMove and mismatched types).
int BackupSystemIndex(TArchiveMode mode, TArchiveType type);
// "Mirror", "Incremental backup", "Zip archive", "Versions tracking",
// "Version tracking with zip compressoin"; empty outside 0..4.
QString BackupSystemCaption(int index);
QStringList BackupSystemCaptions();

// What the wizards stamp on the first open of a new backup or move job:
// created now, never run, incremental plain copies, no password, host or
// user, port 21, active connection, path "/", no sources, this computer's
// PC ID.
void ApplyNewArchiveJobDefaults(TArchiveData &job, const QString &pcId);

} // namespace trovalo
