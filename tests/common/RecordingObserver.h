#pragma once

#include "engine/WorkerObserver.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

#include <functional>

namespace trovalo::test {

// Records everything a worker reports, for the engine tests. Safe to use
// from a worker thread; read it after the worker has ended.
class TRecordingObserver : public TWorkerObserver
{
public:
    struct TLogRow
    {
        QString FileName;
        QString Action;
        QString Info;
        TEvent Event = eSuccess;
    };
    struct TErrorRow
    {
        QString Message;
        int Code = 0;
    };

    QList<TStatusReport> Statuses;
    QList<TErrorRow> Errors;
    QList<TLogRow> Logs;
    QStringList FileOperations; // distinct consecutive FileInfo texts
    QStringList LowDiskQuestions;
    // Every sync conflict question, with the pre-selected actions.
    QList<QList<TSyncConflict>> SyncConflictQuestions;
    int FileProgressReports = 0;
    bool Finished = false;
    TRunOutcome Outcome; // as OnFinished delivered it

    // Answers the low-disk-space question; Abort when unset. Called with the
    // message and the number of the question (from 1).
    std::function<TLowDiskAnswer(const QString &message, int count)> LowDiskAnswer;
    // Answers the sync conflict question (it may change the actions);
    // cancels (false) when unset.
    std::function<bool(QList<TSyncConflict> &)> SyncConflictAnswer;
    // Runs on every status report (to cancel a run at a chosen point).
    std::function<void(TThreadBase &, const TStatusReport &)> OnStatus;
    // Runs on every per-file progress report.
    std::function<void(TThreadBase &, double)> OnProgress;

    void OnStatuesChange(TThreadBase &sender, const TStatusReport &report) override
    {
        {
            QMutexLocker lock(&FMutex);
            Statuses.append(report);
        }
        if (OnStatus)
            OnStatus(sender, report);
    }
    void OnError(TThreadBase &, const QString &statusMsg, int error) override
    {
        QMutexLocker lock(&FMutex);
        Errors.append({statusMsg, error});
    }
    void OnFileProsess(TThreadBase &sender, double percentage, const QString &fileInfo) override
    {
        {
            QMutexLocker lock(&FMutex);
            ++FileProgressReports;
            if (FileOperations.isEmpty() || FileOperations.constLast() != fileInfo)
                FileOperations.append(fileInfo);
        }
        if (OnProgress)
            OnProgress(sender, percentage);
    }
    void OnLog(TThreadBase &, const QString &fileName, const QString &action, const QString &info,
               TEvent event) override
    {
        QMutexLocker lock(&FMutex);
        Logs.append({fileName, action, info, event});
    }
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &, const QString &message) override
    {
        int count = 0;
        {
            QMutexLocker lock(&FMutex);
            LowDiskQuestions.append(message);
            count = int(LowDiskQuestions.size());
        }
        return LowDiskAnswer ? LowDiskAnswer(message, count) : ldaAbort;
    }
    bool AskSyncConflicts(TThreadBase &, QList<TSyncConflict> &conflicts) override
    {
        {
            QMutexLocker lock(&FMutex);
            SyncConflictQuestions.append(conflicts);
        }
        return SyncConflictAnswer ? SyncConflictAnswer(conflicts) : false;
    }
    void OnFinished(TThreadBase &, const TRunOutcome &outcome) override
    {
        QMutexLocker lock(&FMutex);
        Finished = true;
        Outcome = outcome;
    }

    // The log rows of one action, as "file|info" texts, in order.
    QStringList LogsOf(const QString &action) const
    {
        QStringList rows;
        for (const TLogRow &row : Logs)
            if (row.Action == action)
                rows << row.FileName + QLatin1Char('|') + row.Info;
        return rows;
    }
    int FailedLogCount() const
    {
        int count = 0;
        for (const TLogRow &row : Logs)
            count += row.Event == eFailedorSkip ? 1 : 0;
        return count;
    }
    QString LastStatus() const { return Statuses.isEmpty() ? QString() : Statuses.constLast().StatusMsg; }

private:
    QMutex FMutex;
};

} // namespace trovalo::test
