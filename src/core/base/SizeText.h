#pragma once

#include <QString>

namespace trovalo {

// How a window names the units: the engines write " bytes", " Kb", " Mb",
// " Gb"; the file lists write " Bytes", " KB", " MB", " GB".
enum class TSizeUnits { Engine, FileList };

// A byte count as the program shows it: whole bytes below 1 KiB; kibibytes
// with at most two decimals; mebibytes with up to fifteen significant digits
// (the long form users of earlier versions know); gibibytes with at most two
// decimals in the engine style and in the long form in the file-list style.
// A negative count is "-" followed by the text of its magnitude.
QString SizeText(qint64 bytes, TSizeUnits units = TSizeUnits::Engine);

// The pattern "####0.##": at least one integer digit, at most two decimals,
// no trailing zeros, the locale's decimal separator.
QString FormatTwoDecimals(double value);

// A float in its general form with up to fifteen significant digits.
QString FloatToStr(double value);

} // namespace trovalo
