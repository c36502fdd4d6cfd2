#pragma once

#include <QString>

#include <optional>

namespace trovalo {

// The serial number of the volume that holds the drive root (E:\), when
// readable. FAT volumes give their real volume ID; other volumes the first
// 32 bits of their file-system UUID; the system volume without a UUID (a
// container's overlay root) falls back to the machine ID. Drives named by
// TROVALO_DRIVES give their serial=, or without it the serial of the real
// volume that holds their folder (the system volume's when that one has
// none); serial=none gives nullopt.
std::optional<quint32> VolumeSerialNumber(const QString &driveRoot);

// The first 32 bits of a file-system UUID: "1A2B-3C4D" (FAT, exFAT) gives
// 0x1A2B3C4D, "0f8e...-..." gives 0x0f8e....; nullopt unless it is made of
// hexadecimal digits and dashes with at least 8 digits.
std::optional<quint32> SerialFromUuid(const QString &uuid);
// The first 32 bits of /etc/machine-id's text; nullopt when it is missing,
// not hexadecimal or all zero.
std::optional<quint32> SerialFromMachineId(const QString &text);

// A serial written as "1A2B - 3C4D" (four upper-case hex digits per half).
QString SerialNumberText(quint32 serial);

// This computer's identity: the system volume's serial as text, or "" when
// the volume information cannot be read.
QString ComputePCID();

} // namespace trovalo
