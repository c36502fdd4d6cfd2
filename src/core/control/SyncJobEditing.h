#pragma once

#include "base/DateTime.h"

#include <QList>
#include <QPair>
#include <QString>

namespace trovalo {

class TSyncData;

// The steps of making and changing a sync job that its editors share (the
// sync wizard and the command line's `new sync`).

// The values a new job starts with: named "<New Sync date>", created Now,
// never run, folder mode, no pairs, this computer's PC ID.
void InitNewSyncJob(TSyncData &job, const QString &pcId, TDateTime now);

// How a job keeps the USB side of a pair: the folder without its drive, so
// the job survives a new letter ("E:\Docs" gives "\Docs", the root "\").
QString SyncSideAValue(const QString &usbFolder);
// The USB folder a stored side-A value names on Drive ("E:").
QString SyncSideAFolder(const QString &sideA, const QString &drive);

// A pair as the editor holds it: the USB folder and the computer folder,
// both as drive-letter paths.
using TSyncFolderPair = QPair<QString, QString>;

// Why the pair cannot join Pairs, as the message the user is shown ("" when
// it can): a folder that does not exist; the two sides being one folder or
// one inside the other; a side that is, holds or lies inside a folder of a
// pair already listed. Folders are compared on canonical native paths, so
// E:\Docs and the stick's mount folder's Docs are one folder. The lines of
// the message are joined by "\r\n".
QString SyncPairProblem(const QString &usbFolder, const QString &computerFolder,
                        const QList<TSyncFolderPair> &pairs);

// Saves a job made or changed in an editor: PCID := PcId; a new job loses
// the sync history left under its file name. Raises EFileError.
void SaveSyncJob(TSyncData &job, const QString &jobFile, bool isNew, const QString &pcId);

} // namespace trovalo
