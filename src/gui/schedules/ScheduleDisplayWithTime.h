#pragma once

#include "schedules/ScheduleDisplay.h"

namespace trovalo {

// The schedule frame with its time row ("Time", hours and minutes) shown.
class TScheduleDisplayWithTime : public TScheduleDisplay
{
    Q_OBJECT

public:
    explicit TScheduleDisplayWithTime(QWidget *parent = nullptr);
};

} // namespace trovalo
