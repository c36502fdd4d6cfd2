#include "model/ArchiveData.h"

#include "model/RecordVersion.h"

namespace trovalo {

TArchiveData::TArchiveData(QObject *parent)
    : TArchiveDataBase(parent)
    , FCreateDate(DateTimeNow())
    , FVersion(RecordVersionText())
{}

} // namespace trovalo
