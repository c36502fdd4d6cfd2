#pragma once

#include <QObject>

// The enumerations of persisted records. They live in one meta-object
// namespace so the stream can write and read them by their declared names.
// Each has int as its underlying type, so a value outside the named ones is
// still a value the code can test for, not undefined behaviour.
// Ordinals matter too: the controller and the engines compare them.
namespace trovalo {
Q_NAMESPACE

// How a schedule whose job file cannot be found is handled.
enum TScheduleRunMode : int { srmAsk, srmNext, srmSkip };
Q_ENUM_NS(TScheduleRunMode)

// Backup strategy of a backup or move job.
enum TArchiveMode : int {
    amIncremental,
    amOnlyNew,
    amCompletelyNew,
    amTimeStamped,
    amTimeStampedIncremental,
    amMove,
    amMirror
};
Q_ENUM_NS(TArchiveMode)

// Plain file copies or a zip archive.
enum TArchiveType : int { atFile, atImage };
Q_ENUM_NS(TArchiveType)

// Which side is the USB drive holding the job file.
enum TArchiveDir : int { amUsbToPc, amPcToUsb, amUsbToUSB };
Q_ENUM_NS(TArchiveDir)

// Stored for older readers; running a sync job does not consult it.
enum TSyncMode : int { smFolder, smFile };
Q_ENUM_NS(TSyncMode)

// Which way a sync copies. Two stored names say the opposite of what they
// do; code uses the truthful aliases below them. The aliases are constants,
// not enumerators, so the meta-object knows only the stored names: files
// keep being written and read with those.
enum TSyncDirection : int { sdBidi, sdPCToUSB, sdUSBToPC };
Q_ENUM_NS(TSyncDirection)
// Stored as sdPCToUSB: copies only from the USB drive (side A) to the
// computer (side B), "Only To Computer".
constexpr TSyncDirection sdToComputerOnly = sdPCToUSB;
// Stored as sdUSBToPC: copies only from the computer (side B) to the USB
// drive (side A), "Only To USB Drive".
constexpr TSyncDirection sdToUsbDriveOnly = sdUSBToPC;

// What a sync does when both sides changed. Two stored names say the
// opposite of what they do; code uses the aliases below them (constants,
// not enumerators, as above).
enum TSyncDefaultAction : int { sdaAsk, sdaNothing, sdaPCVersion, sdaUSBVersion, sdaNewVersion };
Q_ENUM_NS(TSyncDefaultAction)
// Stored as sdaPCVersion: the USB drive's copy wins (side A over side B),
// "Use this USB drive's version".
constexpr TSyncDefaultAction sdaUseUsbDriveVersion = sdaPCVersion;
// Stored as sdaUSBVersion: the computer's copy wins (side B over side A),
// "Use this computer's version".
constexpr TSyncDefaultAction sdaUseComputerVersion = sdaUSBVersion;

// Repetition kind of a time schedule; smOnesOnly is a single run.
enum TScheduleMode : int { smWeekly, smMonthly, smYearly, smOnesOnly };
Q_ENUM_NS(TScheduleMode)

// Days of a weekly schedule; bit n is the day of ordinal n (Monday = bit 0).
enum TWeekDay : int {
    dMonday = 0x01,
    dTuesday = 0x02,
    dWednesday = 0x04,
    dThursday = 0x08,
    dFriday = 0x10,
    dSaturday = 0x20,
    dSunday = 0x40
};
Q_DECLARE_FLAGS(TWeekDays, TWeekDay)
Q_FLAG_NS(TWeekDays)
Q_DECLARE_OPERATORS_FOR_FLAGS(TWeekDays)

} // namespace trovalo
