#pragma once

#include "engine/ThreadBase.h"

#include <functional>

namespace trovalo {

// One job file found on a drive, as the job console lists it.
struct TAutoRunFileData
{
    QString Name;
    QString FileName;
    QString LastSync;
    QString PCID;
    QString FileType;
    QString ExtraData;
};

// Lists the job files in a drive's "Config" folder (one level deep) and
// hands one row per job to AddListItem, in the worker's thread. It lowers
// LiveWorkerCount itself when it ends: it has no progress panel to do so.
class TSearchDrive : public TThreadBase
{
    Q_OBJECT
public:
    using TAddListItem = std::function<void(TThreadBase &sender, TAutoRunFileData &data)>;

    using TThreadBase::TThreadBase;

    // E: or E:\ .
    QString Drive() const { return FDrive; }
    void SetDrive(const QString &value) { FDrive = value; }
    void SetAddListItem(TAddListItem value) { FAddListItem = std::move(value); }

    // The row of one job file, read from disk (the error texts when it
    // cannot be read).
    static TAutoRunFileData ReadJobFile(const QString &fileName);

protected:
    void Execute() override;
    bool IsExcludedFolder(const QString &) override { return false; }

private:
    void SearchFolder(const QString &path);
    void AddJobFile(const QString &fileName);

    QString FDrive;
    TAddListItem FAddListItem;
};

} // namespace trovalo
