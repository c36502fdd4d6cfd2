#include "options/DeletedSizeDisplay.h"

namespace trovalo {

QString UsedSizeText(qint64 usedBytes)
{
    return QString::number(double(usedBytes) / double(BytesPerMegabyte), 'f', 2);
}

QColor UsedSizeColor(qint64 usedBytes, qint64 limitBytes)
{
    // A limit in whole megabytes divides by four, so the comparison is exact.
    if (usedBytes <= limitBytes / 4 * 3)
        return QColor(0, 128, 255);
    if (usedBytes <= limitBytes)
        return QColor(255, 128, 0);
    return QColor(255, 0, 128);
}

QString LimitWarningText(int megabytes)
{
    return QStringLiteral("Warning when the Deleted File Protection Folder is over ") +
           QString::number(megabytes) + QStringLiteral(" MB");
}

} // namespace trovalo
