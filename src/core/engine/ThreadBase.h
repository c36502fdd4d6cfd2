#pragma once

#include "base/DateTime.h"
#include "engine/WorkerObserver.h"
#include "platform/FileOperations.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>

namespace trovalo {

class TFileFilter;
class TProgramDatabase;
struct TFolderEntry;

// Deletion protection of a run: where overwritten and deleted files go and
// which program database records them. The job controller fills it from the
// program settings (MoveToDeleted, DeletedFolder) and start-up.
struct TDeletionProtection
{
    bool Enabled = false;
    QString DeletedFolder;         // drive-letter path with a trailing "\"
    QString ProgramDatabaseNative; // native path of the program database
};

// The base of every worker: the backup, move and restore engines, the sync
// engine and the job-file search. A worker runs on its own QThread (start())
// or synchronously in the caller's thread (RunSynchronously(), for the
// command line and tests); either way it reports only through its observer.
//
// Cancelling is cooperative: RequestStop() sets a flag that every loop tests
// and that cancels the file being copied; it is safe to call from any
// thread and from a signal handler.
class TThreadBase : public QThread
{
    Q_OBJECT
public:
    explicit TThreadBase(QObject *parent = nullptr);
    ~TThreadBase() override;

    // Workers alive in the process: raised at construction; lowered by
    // whoever handles the worker's end (ReleaseLiveWorker). Atomic, so the
    // job-file search may lower it from its own thread.
    static int LiveWorkerCount();
    static void ReleaseLiveWorker();

    void SetObserver(TWorkerObserver *observer) { FObserver = observer; }
    TWorkerObserver *Observer() const { return FObserver; }

    // Deletes the object once its thread has finished (run by start()).
    void SetFreeOnTerminate(bool value);

    void SetDeletionProtection(const TDeletionProtection &protection) { FProtection = protection; }
    const TDeletionProtection &DeletionProtection() const { return FProtection; }

    // Copies the given filter into the worker's own.
    void SetFileFilter(const TFileFilter &filter);
    TFileFilter &FileFilter() { return *FFileFilter; }

    // The job's name and file, for the diagnostic log.
    void SetJobTitle(const QString &value) { FJobTitle = value; }

    QString LogFileName() const { return FLogFileName; }
    void SetLogFileName(const QString &value) { FLogFileName = value; }
    TDateTime StartTime() const { return FStartTime; }

    // Asks the run to stop (formerly Terminate: renamed so that it is
    // never mistaken for QThread::terminate, which kills a thread unsafely).
    void RequestStop();
    bool Terminated() const { return FStop.load(std::memory_order_relaxed); }

    // Runs the whole job in the calling thread and returns when it ends.
    void RunSynchronously();

    qint64 GetNumFiles() const { return FileNum; }
    // PbarPosition, or 0 while it is -1.
    qint64 GetProcessedFiles() const { return PbarPosition < 0 ? 0 : PbarPosition; }

    // How the run ended, with its counts; complete once the run has ended
    // (it is also handed to the observer's OnFinished).
    const TRunOutcome &Outcome() const { return FOutcome; }

    // True for the restore engines, which never protect what they replace.
    virtual bool IsRestoreThread() const { return false; }

protected:
    void run() final;
    // The job itself; subclasses call BaseStart() first.
    virtual void Execute() = 0;

    // Start time, deletion protection, the early-stop status.
    void BaseStart();
    // ProcessStartTime = now, PbarPosition = 0: the measured phase begins.
    void StartClock();

    virtual bool IsExcludedFolder(const QString &path) = 0;
    virtual void DeleteFolderTree(const QString &path);
    // Size of a file, -1 when there is none.
    virtual qint64 GetFileSize(const QString &fileName);

    // The run has reached its end: returns FinishedText, or CancelledText
    // when it was stopped, for the engine to show. A run that returns
    // without coming here has failed, unless it was stopped.
    QString ReachEnd(const QString &finishedText = {}, const QString &cancelledText = {});

    void ReportStatus();
    void ReportError();
    void ReportFileProgress();
    void ReportLog();
    // Removes what interrupted runs left in a folder this run writes to
    // (RemoveLeftover: only unlocked temporary files of the program), one
    // log row each, counted apart from the run's files.
    void SweepLeftover(const QString &path);
    void SweepLeftovers(const QString &folder, const QStringList &names);
    // The same for a folder no walk lists (an archive's, an extraction's):
    // listed the first time the run writes there.
    void SweepFolderOnce(const QString &folder);
    // One log row of a file left out, with why (eFailedorSkip).
    void LogSkipped(const QString &fileName, const QString &action, const QString &info);
    // Fills LogEvent and LogEventInfo from the last file operation: "Done"
    // and eSuccess, or the system's message (or "Skiped") and eFailedorSkip.
    void SetLogResult(bool succeeded);

    // SourceEntry, when the caller has just listed the source, spares the
    // look-ups of its size and file date; TargetAbsent, when the caller has
    // just seen that no file or folder has the target's name, spares the
    // look-ups of a file to replace (one that appeared meanwhile is still
    // replaced as any other).
    bool CopyOneFile(const QString &source, const QString &target, bool failIfExists, bool moveSource,
                     const TFolderEntry *sourceEntry = nullptr, bool targetAbsent = false);
    bool DeleteOneFile(const QString &fileName);
    // Puts a copy of the file where DeleteOneFile would move it when the job
    // protects what it deletes (and records it there); the file stays. True
    // when nothing is protected.
    bool ProtectCopyOf(const QString &fileName);

    // Waits until Bytes fit on the drive of Path, asking the observer;
    // false for Skip and Abort (Abort also stops the run).
    bool WaitForFreeSpace(qint64 bytes, const QString &path);
    // Where deletion protection puts a file of this run.
    QString ProtectedPath(const QString &fileName) const;
    // Deletion protection is active for this run (set by BaseStart).
    bool ProtectsDeletions() const { return FProtecting; }

    // Lets a test place the run at a chosen minute after BaseStart.
    void OverrideStartTimeForTests(TDateTime value) { FStartTime = value; }

    // The run's fields, as every engine uses them.
    QString StatuesInfo;
    qint64 PbarPosition = 0;
    qint64 FileNum = 0;
    qint64 FileSize = 0;
    qint64 FileSizeProcessed = 0;
    QString Sta;
    int ErrorCode = 0;
    TDateTime ProcessStartTime = 0;
    QString MSgStr;
    int MSgInt = 0;
    QString FileOperation;
    double FilePercentage = 0;
    QString LogEventFileName;
    QString LogEventAction;
    TEvent LogEvent = eSuccess;
    QString LogEventInfo;

    // The system error of the last failed file operation (0: none known).
    int LastError = 0;

private:
    void RunBody();
    void ReportDeleteLogFailure(const QString &message);
    bool CopyProgress(const TCopyProgress &progress);
    TProgressCallback ProgressCallback();
    // The protected path of a file, or the next free "<name> (n)<ext>"
    // beside it when an earlier version already took it this minute.
    QString FreeProtectedPath(const QString &fileName) const;
    // FileName now lies at ProtectedPath.
    void RecordDeletedFile(const QString &fileName, const QString &protectedPath, qint64 size);
    bool FailWith(int error);
    // Also keeps the operation's own text for the log row (SetLogResult).
    bool FailWith(const TFileOpResult &result);
    QString FLastErrorText;

    TWorkerObserver *FObserver = nullptr;
    TDeletionProtection FProtection;
    bool FProtecting = false;
    std::unique_ptr<TProgramDatabase> FDeleteLog;
    std::unique_ptr<TFileFilter> FFileFilter;
    QString FLogFileName;
    QString FJobTitle;
    TDateTime FStartTime = 0;
    QElapsedTimer FProcessClock;
    // The folder the last copy went to, known to exist.
    QString FLastTargetFolder;
    void EnsureTargetFolder(const QString &folder);
    // Free space measured last (WaitForFreeSpace).
    QString FSpaceFolder;
    qint64 FSpaceLeft = 0;
    QElapsedTimer FSpaceClock;
    TDateTime FClockBase = 0; // ProcessStartTime when FProcessClock started
    QMetaObject::Connection FFreeOnTerminate;
    std::atomic<bool> FStop{false};
    bool FStoppedForLowDisk = false;
    // Set by ReachEnd: the run got to its end, and whether it was stopped then.
    std::optional<bool> FEndedStopped;
    TRunOutcome FOutcome;
    QSet<QString> FSweptFolders;
    TRunOutcome EndOutcome() const;
};

} // namespace trovalo
