#pragma once

#include <QString>

#include <optional>

namespace trovalo {

// The serial number of the volume that holds the drive root (E:\), when
// readable. FAT volumes give their real volume ID; other volumes the first
// 32 bits of their file-system UUID; the system volume without a UUID (a
// container's overlay root) falls back to the machine ID.
std::optional<quint32> VolumeSerialNumber(const QString &driveRoot);

// A serial written as "1A2B - 3C4D" (four upper-case hex digits per half).
QString SerialNumberText(quint32 serial);

// This computer's identity: the system volume's serial as text, or "" when
// the volume information cannot be read.
QString ComputePCID();

} // namespace trovalo
