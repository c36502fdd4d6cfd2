#pragma once

#include "base/DateTime.h"
#include "base/RecordEnums.h"
#include "engine/ThreadBase.h"
#include "platform/JobRunLock.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace trovalo {

class TArchiveData;
class TBackUpThreadBase;

// The two questions asked before a backup or move job runs. The tray
// program shows message boxes; the command line asks on its terminal.
class TLaunchQuestions
{
public:
    virtual ~TLaunchQuestions() = default;
    // The job was saved on another computer (its PCID differs): run it?
    virtual bool ConfirmForeignJob(const QString &jobFile, const QString &jobPcId) = 0;
    // Folders or files of the job are missing (listed); SourcesLeft of its
    // folders and files to back up are there: run it anyway?
    virtual bool ConfirmMissingItems(const QStringList &missing, int sourcesLeft) = 0;
};

// A backup or move job made ready to run: the engine configured and not yet
// started, and the job record that is saved once the engine has started.
// The engine does not free itself (it is owned here); a front end that
// starts it on its own thread waits for it before letting go of the launch.
struct TArchiveLaunch
{
    // Marks the job as running for every process while the launch lives;
    // first, so that it goes after the engine.
    TJobRunLock RunLock;
    QString JobFile;
    std::unique_ptr<TArchiveData> Job;
    std::unique_ptr<TBackUpThreadBase> Thread;
    QString Destination; // the engine's destination (time-stamped for those modes)
    // The job's LastUpdate before this run; 0 when it never ran.
    TDateTime PreviousLastUpdate = 0;

    TArchiveLaunch();
    ~TArchiveLaunch();
    TArchiveLaunch(TArchiveLaunch &&) noexcept;
    TArchiveLaunch &operator=(TArchiveLaunch &&) noexcept;
};

// Turns a backup or move job file into a configured engine, the way every
// front end starts one: load the job, ask about a job of another computer,
// re-base its paths to the drive letter the job file has now, check that
// its folders exist (and ask), then set the engine's lists, filter,
// database, mode, destination (a new time-stamped folder for those modes)
// and the run's start time as the job's LastUpdate.
class TArchiveJobLauncher
{
public:
    TArchiveJobLauncher(QString pcId, TDeletionProtection protection, TLaunchQuestions &questions);

    // Nullptr when a question was answered No. Raises EFileError when the
    // job file cannot be opened and EUserException for a file that is no
    // readable backup or move job (not a record, damaged, another kind of
    // record), for a job the engines cannot run (a damaged mode, no
    // destination) and for a job that is running already (here or in another
    // process). Nothing is asked and nothing is written before the file has
    // been read in full.
    std::unique_ptr<TArchiveLaunch> Prepare(const QString &jobFile, TDateTime now);

    // Loads a backup or move job file strictly. Raises EFileError when it
    // cannot be opened and EUserException when it is no readable backup or
    // move job (not a record, damaged, another kind of record).
    static void LoadJob(TArchiveData &job, const QString &jobFile);

    // After the engine was started: saves the job file with its new
    // LastUpdate (raises EFileError when it cannot be written).
    static void SaveStartedJob(TArchiveLaunch &launch);

    // The job's destination and sources re-based to the drive the job file
    // is on now (the paths are changed in Job).
    static void RebaseToJobDrive(TArchiveData &job, const QString &jobFile);
    // The items of the job that do not exist (destination first).
    static QStringList MissingItems(const TArchiveData &job, const QString &destination);
    // How many of the job's folders and files to back up exist.
    static int SourcesLeft(const TArchiveData &job);
    // The engine's destination and FromDate for a run starting at Start.
    static QString RunDestination(const QString &destination, TArchiveMode mode, TDateTime start);
    static TDateTime RunFromDate(TArchiveMode mode, TDateTime start);

private:
    QString FPcId;
    TDeletionProtection FProtection;
    TLaunchQuestions &FQuestions;
};

} // namespace trovalo
