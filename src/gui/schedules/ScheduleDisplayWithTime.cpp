#include "schedules/ScheduleDisplayWithTime.h"

namespace trovalo {

TScheduleDisplayWithTime::TScheduleDisplayWithTime(QWidget *parent)
    : TScheduleDisplay(parent)
{
    SetTimeRowVisible(true);
}

} // namespace trovalo
