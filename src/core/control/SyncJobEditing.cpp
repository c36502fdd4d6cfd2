#include "control/SyncJobEditing.h"

#include "base/PathText.h"
#include "control/ArchiveJobEditing.h"
#include "model/JobFiles.h"
#include "model/SyncData.h"
#include "platform/FileSystem.h"
#include "platform/FolderOverlap.h"

#include <QLocale>

namespace trovalo {

namespace {
const QString SelectOther = QStringLiteral("\r\nPlease select deferent folder.");

// A stick's FAT keeps one folder under any letter case.
bool SameText(const QString &a, const QString &b)
{
    return ExcludeTrailingBackslash(a).compare(ExcludeTrailingBackslash(b), Qt::CaseInsensitive) == 0;
}
} // namespace

void InitNewSyncJob(TSyncData &job, const QString &pcId, TDateTime now)
{
    job.SetSyncName(QStringLiteral("<New Sync %1>")
                        .arg(QLocale::system().toString(DateTimeToQt(now).date(), QLocale::ShortFormat)));
    job.SetCreateDate(now);
    job.SetLastUpdate(0);
    job.SetSyncMode(smFolder);
    job.SetPCID(pcId);
    job.SetFolderAList({});
    job.SetFolderBList({});
}

QString SyncSideAValue(const QString &usbFolder)
{
    const QString folder = ExcludeTrailingBackslash(usbFolder);
    const QString value = folder.mid(ExtractFileDrive(folder).size());
    return value.isEmpty() ? QStringLiteral("\\") : value;
}

QString SyncSideAFolder(const QString &sideA, const QString &drive)
{
    // Jobs of earlier versions name the stick's root "<Root>".
    if (sideA.isEmpty() || sideA == QLatin1String("<Root>") || sideA == QLatin1String("\\"))
        return drive + QStringLiteral("\\");
    return drive + (sideA.startsWith(QLatin1Char('\\')) ? sideA : QStringLiteral("\\") + sideA);
}

QString SyncPairProblem(const QString &usbFolder, const QString &computerFolder,
                        const QList<TSyncFolderPair> &pairs)
{
    if (usbFolder.isEmpty() || computerFolder.isEmpty() || !DirectoryExists(usbFolder) ||
        !DirectoryExists(computerFolder))
        return QStringLiteral("One or Both of the folders selected cannot be added.") + SelectOther;
    if (PathsOverlap(usbFolder, computerFolder))
        return QStringLiteral("Cannot Sync folder to itself.") + SelectOther;
    for (const TSyncFolderPair &pair : pairs) {
        // A folder inside another pair's folder would be synced twice, by
        // two histories that know nothing of each other.
        for (const QString &listed : {pair.first, pair.second})
            if (PathsOverlap(listed, usbFolder) || PathsOverlap(listed, computerFolder) ||
                SameText(listed, usbFolder) || SameText(listed, computerFolder))
                return QStringLiteral(
                           "One or Both of the folders selected are already in the Sync folder list.") +
                       SelectOther;
    }
    return {};
}

void SaveSyncJob(TSyncData &job, const QString &jobFile, bool isNew, const QString &pcId)
{
    job.SetPCID(pcId);
    SaveEditedJob(job, jobFile, isNew, JobDatabaseFileName(jobFile, TJobKind::Sync));
}

} // namespace trovalo
