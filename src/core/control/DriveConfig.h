#pragma once

#include <QString>

namespace trovalo {

// What a drive's configuration says about this computer.
struct TDriveCheck
{
    bool Known = false;    // this computer's PC ID is in the drive's list
    bool AutoLoad = false; // the drive asks to open its console when inserted
};

// "Config\Drive Config.cfg" below a drive root ("E:\" or "E:").
QString DriveConfigFileName(const QString &driveRoot);

// Creates the drive's "Config" folder when it is missing and makes it hidden
// then; an existing folder keeps the attributes its owner gave it. Returns
// the folder ("E:\Config\").
QString EnsureConfigFolder(const QString &driveRoot);

// Reads the drive configuration; a drive without one is unknown.
TDriveCheck CheckDrive(const QString &driveRoot, const QString &pcId);

// Adds this computer to the drive's configuration (appending, even when it is
// listed already) and stores the auto-load choice. The "Config" folder is
// made hidden when this call creates it; the file is always left hidden.
// A failure to write (read-only or removed drive) raises EFileError.
void AddPCToDrive(const QString &driveRoot, const QString &pcId, bool autoLoad);

} // namespace trovalo
