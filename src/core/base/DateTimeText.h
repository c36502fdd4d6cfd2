#pragma once

#include "base/DateTime.h"

#include <QString>

namespace trovalo {

// A date-time as the program's lists show it (a job's last run, a backup
// run): the locale's short date and long time without a time zone, the
// date alone at exactly midnight, "N/A" for never (0).
QString DateTimeText(TDateTime value);

} // namespace trovalo
