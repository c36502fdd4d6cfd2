#pragma once

#include "engine/ThreadBase.h"
#include "model/RecordEnums.h"
#include "model/SyncItems.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

namespace trovalo {

class TSyncDatabase;
class TFileCollection;
class TFilePair;
struct TFolderEntry;

// The sync engine's scan: both sides of every folder pair and file pair
// are walked and matched against the job's sync database (LogFileName).
// Side A lies on the USB drive and is stored without its drive (the drive
// of the database's path is put in front); side B is on the computer.
class TSyncThreadBase : public TThreadBase
{
    Q_OBJECT
public:
    explicit TSyncThreadBase(QObject *parent = nullptr);
    ~TSyncThreadBase() override;

    // Setting copies the entries.
    const TSyncItems &SyncItems() const { return FSyncItems; }
    void SetSyncItems(const TSyncItems &items);
    const TSyncItems &SyncFiles() const { return FSyncFiles; }
    void SetSyncFiles(const TSyncItems &items);
    TSyncDirection SyncDirection() const { return FSyncDirection; }
    void SetSyncDirection(TSyncDirection value) { FSyncDirection = value; }
    TSyncDefaultAction SyncDefaultAction() const { return FSyncDefaultAction; }
    void SetSyncDefaultAction(TSyncDefaultAction value) { FSyncDefaultAction = value; }

protected:
    void Execute() override; // the scan
    bool IsExcludedFolder(const QString &path) override;

    TSyncItems FSyncItems;
    TSyncItems FSyncFiles;
    TSyncDirection FSyncDirection = sdBidi;
    TSyncDefaultAction FSyncDefaultAction = sdaAsk;
    std::unique_ptr<TSyncDatabase> SyncFileLog;
    std::unique_ptr<TFileCollection> FileCollection;

    // The drive of side A: that of the sync database ("E:").
    QString SideADrive() const { return FDrive; }
    // Sets StatuesInfo and reports it.
    void ReportStatusText(const QString &text);
    // "Thread Error : Class = TThreadBase : " with the message.
    void ReportThreadError(const QString &message);
    // The scan ended early on an error: the pairs are incomplete, so
    // nothing may be decided from them.
    bool ScanFailed() const { return FScanFailed; }

private:
    // A folder a walk could not list, relative to its pair's root on that side.
    struct TUnreadFolder
    {
        QChar Side;
        QString RelativeKey; // case-folded, "" for the root itself
    };

    void OpenSyncFileLog();
    void ScanFolderPair(const TSyncItem &item);
    void WalkFolder(const QString &folder);
    void MatchFile(const QString &folder, const TFolderEntry &entry);
    // Pairs a file met on Side ('A' or 'B') with its row, found by Key
    // under that side's folder or added with both folders.
    void MatchSide(QChar side, const QString &path, const QString &key, const QString &folderA,
                   const QString &folderB, qint64 size, TDateTime date);
    void ScanFilePair(const TSyncItem &item);
    // The pair a row has in this run, or a new one.
    TFilePair &PairOfRow(qint64 rowId);
    bool IsDatabaseFile(const QString &folder, const QString &name) const;
    void LogSkipped(const QString &fileName, const QString &action, const QString &info);
    void HoldUnreadFolders(int firstPair);

    QString FDrive;
    QChar FActiveFolder = QLatin1Char('A');
    QString FActiveRootFolderA;
    QString FActiveRootFolderB;
    // ListID of the rows met in this run: the index of their pair. Kept in
    // memory only, as it lives for one run; set by whichever side meets the
    // row first, so a row never gets two pairs.
    QHash<qint64, int> FListIds;
    std::vector<TUnreadFolder> FUnreadFolders;
    QString FDatabaseFolderKey;
    QSet<QString> FDatabaseNameKeys;
    bool FScanFailed = false;
};

// A sync run: the scan, then every pair gets its action (asking the
// observer about conflicts), then the actions are carried out.
class TSyncFolderThread : public TSyncThreadBase
{
    Q_OBJECT
public:
    using TSyncThreadBase::TSyncThreadBase;

protected:
    void Execute() override;

private:
    void DecideAndAct();
    void Decide();
    void DecideBothDirections(TFilePair &pair);
    void DecideOneWay(TFilePair &pair, bool towardsB);
    void SettleConflict(TFilePair &pair, TFileAction preferred);
    // The unmet side's path, rebuilt from the pair's row.
    void RebuildTarget(TFilePair &pair, TFileAction copy);
    void CountTotals();
    bool AskConflicts();
    void ApplyAnswer(TFilePair &pair, TFileAction answer);
    void Act();
    void ActOn(TFilePair &pair);
    void SyncWrittenDrives();
    void CloseSyncFileLog();

    QSet<QString> FWrittenDrives; // drive roots copied to since the last commit
};

} // namespace trovalo
