#include "PseudoFileSystems.h"

#include <QDir>

namespace trovalo {

bool IsPseudoFileSystemFolder(const QString &nativePath)
{
    const QString clean = QDir::cleanPath(nativePath);
    return clean == QLatin1String("/proc") || clean == QLatin1String("/sys") ||
           clean == QLatin1String("/dev") || clean == QLatin1String("/run");
}

} // namespace trovalo
