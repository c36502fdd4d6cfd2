#pragma once

#include "model/SaveLoadComponent.h"
#include "model/SyncDataItems.h"

#include <memory>

namespace trovalo {

// A PC-to-PC sync job (".zjp"): one job file on a shared USB drive holding
// one sync definition per computer. This program runs such files but has no
// editor for them.
class TPCSyncData : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(QString SyncName READ SyncName WRITE SetSyncName)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    // Owned: the stream fills it in place and writes it even when empty.
    Q_PROPERTY(trovalo::TSyncDataItems *SyncDataItems READ SyncDataItems)

public:
    explicit TPCSyncData(QObject *parent = nullptr);
    ~TPCSyncData() override;

    QString SyncName() const { return FSyncName; }
    void SetSyncName(const QString &value) { FSyncName = value; }
    QString Version() const { return FVersion; }
    void SetVersion(const QString &value) { FVersion = value; }
    TSyncDataItems *SyncDataItems() const { return FSyncDataItems.get(); }

private:
    QString FSyncName;
    QString FVersion;
    std::unique_ptr<TSyncDataItems> FSyncDataItems;
};

} // namespace trovalo
