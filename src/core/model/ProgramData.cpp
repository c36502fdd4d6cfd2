#include "ProgramData.h"

namespace trovalo {

TProgramData::TProgramData(const QString &appDataFolder, QObject *parent)
    : TSaveLoadComponent(parent)
    , FDeletedFolder(appDataFolder + QStringLiteral("\\Deleted\\"))
{}

} // namespace trovalo
