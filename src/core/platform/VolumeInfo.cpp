#include "VolumeInfo.h"

#include "DriveTable.h"
#include "PathText.h"

namespace trovalo {

namespace {
bool IsHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

std::optional<quint32> FirstEightHexDigits(const QString &text, bool dashesAllowed)
{
    QString digits;
    for (const QChar c : text) {
        if (dashesAllowed && c == QLatin1Char('-'))
            continue;
        if (!IsHexDigit(c))
            return std::nullopt;
        digits += c;
    }
    if (digits.size() < 8)
        return std::nullopt;
    return digits.left(8).toUInt(nullptr, 16);
}
} // namespace

std::optional<quint32> SerialFromUuid(const QString &uuid)
{
    return FirstEightHexDigits(uuid, true);
}

std::optional<quint32> SerialFromMachineId(const QString &text)
{
    const QString id = text.trimmed();
    if (id.count(QLatin1Char('0')) == id.size())
        return std::nullopt;
    return FirstEightHexDigits(id, false);
}

std::optional<quint32> VolumeSerialNumber(const QString &driveRoot)
{
    const QString drive = ExtractFileDrive(driveRoot);
    if (drive.size() != 2)
        return std::nullopt;
    const std::optional<TDriveInfo> info = TDriveTable::Instance().Drive(drive.at(0));
    return info ? info->Serial : std::nullopt;
}

QString SerialNumberText(quint32 serial)
{
    return QStringLiteral("%1 - %2")
        .arg(serial >> 16, 4, 16, QLatin1Char('0'))
        .arg(serial & 0xFFFFu, 4, 16, QLatin1Char('0'))
        .toUpper();
}

QString ComputePCID()
{
    const std::optional<quint32> serial = VolumeSerialNumber(QStringLiteral("C:\\"));
    return serial ? SerialNumberText(*serial) : QString();
}

} // namespace trovalo
