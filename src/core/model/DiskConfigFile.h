#pragma once

#include "model/SaveLoadComponent.h"

#include <QStringList>

namespace trovalo {

// The drive configuration, "Config\Drive Config.cfg" on a USB drive: the
// computers that know the drive and whether its console opens by itself.
class TDiskConfigFile : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(QStringList PCList READ PCList WRITE SetPCList)
    Q_PROPERTY(bool AutoLoad READ AutoLoad WRITE SetAutoLoad)

public:
    using TSaveLoadComponent::TSaveLoadComponent;

    // PC IDs in the order they were added; compared without regard to case.
    QStringList PCList() const { return FPCList; }
    void SetPCList(const QStringList &value) { FPCList = value; }
    bool AutoLoad() const { return FAutoLoad; }
    void SetAutoLoad(bool value) { FAutoLoad = value; }

    bool KnowsPC(const QString &pcId) const { return FPCList.contains(pcId, Qt::CaseInsensitive); }

private:
    QStringList FPCList;
    bool FAutoLoad = false;
};

} // namespace trovalo
