#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "control/ArchiveJobLauncher.h"
#include "engine/ThreadBase.h"
#include "model/JobFiles.h"
#include "model/SyncItems.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace trovalo {

class TFileFilter;
class TSaveLoadComponent;
class TSyncData;
class TPCSyncData;
class TSyncDataItem;
class TSyncFolderThread;

// A sync job made ready to run: the engine configured and not yet started,
// and the job record that is saved once the engine has started. The engine
// does not free itself (it is owned here), as with TArchiveLaunch.
struct TSyncLaunch
{
    TJobRunLock RunLock; // see TArchiveLaunch
    QString JobFile;
    TJobKind Kind = TJobKind::Sync;     // Sync (".zjs") or PCSync (".zjp")
    std::unique_ptr<TSyncData> Job;     // a sync job
    std::unique_ptr<TPCSyncData> PCJob; // a PC-to-PC sync job
    int ItemIndex = -1;                 // PC-to-PC: the item run
    QString Caption;                    // the job's or the item's SyncName
    QString PanelKey;                   // the job's or the item's FileGUID
    QString DatabaseFile;               // the sync database the engine keeps
    TDateTime PreviousLastUpdate = 0;   // before this run; 0 when it never ran
    std::unique_ptr<TSyncFolderThread> Thread;

    TSyncLaunch();
    ~TSyncLaunch();
    TSyncLaunch(TSyncLaunch &&) noexcept;
    TSyncLaunch &operator=(TSyncLaunch &&) noexcept;

    // The item run of a PC-to-PC job, nullptr for a sync job.
    TSyncDataItem *Item() const;
};

// Why Prepare gave no launch.
enum class TSyncLaunchRefusal { None, Declined, NoItemForComputer };

// Turns a sync job file (".zjs") or this computer's item of a PC-to-PC sync
// job (".zjp") into a configured sync engine, the way every front end
// starts one: load the job strictly, ask about a job of another computer,
// pick the item, build the folder and file pairs (side A without its
// drive: the drive of the sync database, which lies beside the job file,
// is put in front at run time, so a drive that got another letter keeps
// its history), and set the database, filter, direction, conflict rule and
// the run's start time as LastUpdate.
class TSyncJobLauncher
{
public:
    TSyncJobLauncher(QString pcId, TDeletionProtection protection, TLaunchQuestions &questions);

    // ItemIndex chooses the item of a PC-to-PC job (0-based); -1 takes the
    // first item of this computer's PC ID. Nullptr when the question was
    // answered No or the job has no item for this computer (Refusal() tells
    // which). Raises EFileError when the job file cannot be opened and
    // EUserException for a file that is no readable sync job, a job the
    // engine cannot run (damaged pair lists, direction or rule), an item
    // index outside the job and a job that is running already (any item, in
    // any process). Nothing is asked and nothing is written before
    // the file has been read in full.
    std::unique_ptr<TSyncLaunch> Prepare(const QString &jobFile, TDateTime now, int itemIndex = -1);
    TSyncLaunchRefusal Refusal() const { return FRefusal; }

    // After the engine was started: saves the job file with the new
    // LastUpdate (raises EFileError when it cannot be written).
    static void SaveStartedJob(TSyncLaunch &launch);

    // Loads a sync or PC-to-PC sync job file strictly: EFileError when it
    // cannot be opened, EUserException when it holds no record of Job's
    // class (not a record, damaged, another kind of record).
    static void LoadJob(TSaveLoadComponent &job, const QString &jobFile);

    // The engine's pairs from the paired lists of a job. Side A loses any
    // drive part and always starts with "\"; "<Root>" is the drive's root.
    // Raises EUserException naming the job file when the lists differ in
    // length, an entry is empty, or a side-B entry is no full path.
    static TSyncItems Pairs(const QStringList &sideA, const QStringList &sideB, bool folders,
                            const QString &jobFile);

private:
    // The engine's pairs of a job or item, checked before anything is asked.
    struct TRunPairs
    {
        TSyncItems Folders;
        TSyncItems Files;
    };
    static TRunPairs RunPairs(const QString &jobFile, const QStringList &folderA, const QStringList &folderB,
                              const QStringList &fileA, const QStringList &fileB, TSyncDirection direction,
                              TSyncDefaultAction rule);
    // False when the question was answered No.
    bool AcceptedComputer(const QString &jobFile, const QString &jobPcId);
    // False when a question was answered No or no item is for this computer.
    bool PrepareSyncJob(TSyncLaunch &launch, TDateTime now, int itemIndex);
    bool PreparePCSyncJob(TSyncLaunch &launch, TDateTime now, int itemIndex);
    // Constructed only once the run is decided: a worker counts as live
    // from its construction.
    std::unique_ptr<TSyncFolderThread> MakeThread(const TRunPairs &pairs, const QString &databaseFile,
                                                  const TFileFilter &filter, TSyncDirection direction,
                                                  TSyncDefaultAction rule) const;

    QString FPcId;
    TDeletionProtection FProtection;
    TLaunchQuestions &FQuestions;
    TSyncLaunchRefusal FRefusal = TSyncLaunchRefusal::None;
};

} // namespace trovalo
