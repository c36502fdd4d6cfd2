#pragma once

#include <QObject>

// The enumerations of persisted records. They live in one meta-object
// namespace so the stream can write and read them by their declared names.
namespace trovalo {
Q_NAMESPACE

// How a schedule whose job file cannot be found is handled.
enum TScheduleRunMode { srmAsk, srmNext, srmSkip };
Q_ENUM_NS(TScheduleRunMode)

} // namespace trovalo
