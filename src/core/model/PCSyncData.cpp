#include "model/PCSyncData.h"

#include "model/RecordVersion.h"

namespace trovalo {

TPCSyncData::TPCSyncData(QObject *parent)
    : TSaveLoadComponent(parent)
    , FVersion(RecordVersionText())
    , FSyncDataItems(std::make_unique<TSyncDataItems>())
{}

TPCSyncData::~TPCSyncData() = default;

} // namespace trovalo
