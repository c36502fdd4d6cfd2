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

// The system's drive-type codes, as TVolumeInfo::DriveType gives them.
enum TDriveTypeCode : quint32 {
    dtUnknown = 0,
    dtNoRootDir = 1, // no drive of that letter, or its folder is gone
    dtRemovable = 2, // a USB-attached disk
    dtFixed = 3,
    dtRemote = 4, // a network file system
    dtCDRom = 5,
    dtRamDisk = 6,
};

// File-system flags, as TVolumeInfo::FileSystemFlags gives them.
enum TFileSystemFlag : quint32 {
    fsCaseSensitiveFileNames = 0x1,
    fsPreservedNames = 0x2,
    fsUnicode = 0x4,
    fsACL = 0x8,
    fsFileCompressed = 0x10,
    fsVolumeCompressed = 0x8000,
};

// A volume's label, file system, serial number and flags, read again on
// every change of Drive. A drive that does not exist (or whose folder is
// gone) reads as empty texts and zeros; a volume without a readable serial
// gives an empty SerialNumber and 0 but keeps its other values.
class TVolumeInfo
{
public:
    TVolumeInfo(); // reads "C:\"

    QString Drive() const { return FDrive; }
    void SetDrive(const QString &Value);

    QString VoulmeName() const { return FVoulmeName; }
    QString FileSystem() const { return FFileSystem; }
    QString SerialNumber() const { return FSerialNumber; }
    quint32 SerialNumberWord() const { return FSerialNumberWord; }
    bool VolumeCompressed() const { return FFileSystemFlags & fsVolumeCompressed; }
    bool FileCompressed() const { return FFileSystemFlags & fsFileCompressed; }
    bool CaseSensitiveFileNames() const { return FFileSystemFlags & fsCaseSensitiveFileNames; }
    bool PreservedNames() const { return FFileSystemFlags & fsPreservedNames; }
    bool ACL() const { return FFileSystemFlags & fsACL; }
    bool Unicode() const { return FFileSystemFlags & fsUnicode; }
    quint32 FileSystemFlags() const { return FFileSystemFlags; }
    quint32 MaximumComponentLength() const { return FMaximumComponentLength; }
    quint32 DriveType() const { return FDriveType; }

    // Relabelling a mounted volume needs rights the program never asks
    // for, so this always answers false and changes nothing.
    bool SetVolumeName(const QString &aName);

private:
    void Read();

    QString FDrive;
    QString FVoulmeName;
    QString FFileSystem;
    QString FSerialNumber;
    quint32 FSerialNumberWord = 0;
    quint32 FFileSystemFlags = 0;
    quint32 FMaximumComponentLength = 0;
    quint32 FDriveType = dtUnknown;
};

} // namespace trovalo
