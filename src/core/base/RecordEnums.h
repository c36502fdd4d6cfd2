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

// The names do not describe the direction: sdPCToUSB copies from the USB
// drive (side A) to the computer (side B), sdUSBToPC the other way.
enum TSyncDirection : int { sdBidi, sdPCToUSB, sdUSBToPC };
Q_ENUM_NS(TSyncDirection)

// What a sync does when both sides changed. sdaPCVersion copies side A over
// side B, sdaUSBVersion side B over side A.
enum TSyncDefaultAction : int { sdaAsk, sdaNothing, sdaPCVersion, sdaUSBVersion, sdaNewVersion };
Q_ENUM_NS(TSyncDefaultAction)

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
