#include "model/ArchiveDataBase.h"

namespace trovalo {

TArchiveDataBase::TArchiveDataBase(QObject *parent)
    : TSaveLoadComponent(parent)
    , FFileFilter(std::make_unique<TFileFilter>())
{}

TArchiveDataBase::~TArchiveDataBase() = default;

} // namespace trovalo
