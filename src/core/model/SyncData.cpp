#include "model/SyncData.h"

#include "model/RecordVersion.h"

namespace trovalo {

TSyncData::TSyncData(QObject *parent)
    : TSaveLoadComponent(parent)
    , FVersion(RecordVersionText())
    , FFileFilter(std::make_unique<TFileFilter>())
{}

TSyncData::~TSyncData() = default;

} // namespace trovalo
