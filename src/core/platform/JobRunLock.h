#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace trovalo {

// One run of a job as its lock file tells it.
struct TJobRun
{
    QString Guid;            // the job's FileGUID as the run read it
    QString JobFile;         // drive-letter form, as the running process saw it
    QString NativeJobFile;   // the same file as a native path
    QString DriveRoot;       // "E:\"; empty when the job file lay on no drive
    QString NativeDriveRoot; // the drive's mount folder
    qint64 ProcessId = 0;
};

// The mark of a running job that every process of this user can see: an
// exclusive flock on "<key>.lock" in the user's runtime folder
// (XDG_RUNTIME_DIR/trovalo-runs, else a private folder in the temporary
// folder), where the key is the job's GUID in lower case without braces,
// or, for a job whose FileGUID is no GUID, a hash of its native job file
// path. The file holds the run as one JSON object (the fields of TJobRun).
// The kernel drops the lock with the process, so a crash never leaves a job
// marked as running; the file it leaves behind is taken over by the next run.
//
// Holding the lock is the right to run the job (or change its files): a
// second run of the same job, in this process or another, is refused.
class TJobRunLock
{
public:
    // Holds nothing.
    TJobRunLock() = default;
    ~TJobRunLock();
    TJobRunLock(TJobRunLock &&other) noexcept;
    TJobRunLock &operator=(TJobRunLock &&other) noexcept;
    TJobRunLock(const TJobRunLock &) = delete;
    TJobRunLock &operator=(const TJobRunLock &) = delete;

    // Takes the lock of the job with this FileGUID stored in JobFile
    // (drive-letter form). Raises EUserException naming the job file when a
    // run of the job holds it, and EFileError when the lock file cannot be
    // made.
    static TJobRunLock Take(const QString &guid, const QString &jobFile);
    // The same, but nullopt when a run of the job holds the lock.
    static std::optional<TJobRunLock> TryTake(const QString &guid, const QString &jobFile);

    bool Held() const { return FFd >= 0; }
    // Gives the lock up now (the destructor does otherwise).
    void Release();

    // Whether a run of the job with this GUID holds its lock (false for a
    // text that is no GUID).
    static bool IsRunning(const QString &guid);
    // Whether a running job is stored in this job file (drive-letter form),
    // found by its native path or by the file itself.
    static bool IsJobFileRunning(const QString &jobFile);
    // The running jobs on a drive, given as its letter root ("E:\") or its
    // native mount folder.
    static QList<TJobRun> RunningJobsOfDrive(const QString &drive);
    // Every running job of this user.
    static QList<TJobRun> RunningJobs();

    // The folder of the lock files (native path), made on demand. Raises
    // EFileError when no private folder can be had.
    static QString LockFolder();
    // The lock file's name for a job: "<key>.lock".
    static QString LockFileName(const QString &guid, const QString &jobFile);

private:
    TJobRunLock(int fd, QString path);

    int FFd = -1;
    QString FPath;
};

} // namespace trovalo
