#include "model/SyncDataItems.h"

#include "model/RecordVersion.h"
#include "model/SaveLoadComponent.h"

namespace trovalo {

TSyncDataItem::TSyncDataItem()
    : FVersion(RecordVersionText())
    , FFileFilter(std::make_unique<TFileFilter>())
    , FFileGUID(TSaveLoadComponent::NewGuidText())
{}

TSyncDataItem::~TSyncDataItem() = default;

std::unique_ptr<TCollectionItem> TSyncDataItems::CreateItem() const
{
    return std::make_unique<TSyncDataItem>();
}

} // namespace trovalo
