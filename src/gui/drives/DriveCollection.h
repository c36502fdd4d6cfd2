#pragma once

#include "model/Collection.h"

#include <QString>

namespace trovalo {

// One drive a job writes to, with its room. Sizes are -1 when they cannot
// be read.
class TDriveData : public TMyCollectionItem
{
    Q_OBJECT

public:
    QString Drive() const { return FDrive; } // "E:\"
    void SetDrive(const QString &Value) { FDrive = Value; }
    qint64 FreeSapce() const { return FFreeSapce; }
    void SetFreeSapce(qint64 Value) { FFreeSapce = Value; }
    qint64 SapceRequited() const { return FSapceRequited; }
    void SetSapceRequited(qint64 Value) { FSapceRequited = Value; }
    qint64 TotalSpace() const { return FTotalSpace; }
    void SetTotalSpace(qint64 Value) { FTotalSpace = Value; }

    // Reads free and total bytes of Drive: -1 for both unless it starts with
    // an upper-case letter and its volume answers.
    void ReadSizes();

private:
    QString FDrive;
    qint64 FFreeSapce = -1;
    qint64 FSapceRequited = 0;
    qint64 FTotalSpace = -1;
};

// The drives met while adding up what a job needs, in the order met.
class TDriveCollection : public TMyCollection
{
    Q_OBJECT

public:
    // A new item for Drive with its sizes read.
    TDriveData *Add(const QString &Drive);
    TDriveData *Insert(int Index);
    TDriveData *Items(int Index) const;
    // The item whose Drive is exactly this text; null when none is.
    TDriveData *Find(const QString &Drive) const;

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override;
};

} // namespace trovalo
