#pragma once

#include "base/DateTime.h"
#include "model/Schedule.h"

#include <optional>

namespace trovalo {

// The next run of a recurring schedule strictly after Now, built on
// GetNextTransfer. GetNextTransfer may answer with today's time even when it
// has passed; such a candidate is replaced by the next one from tomorrow on,
// which is also what the rule gives once the day has changed, so a schedule
// keeps its interval and never runs twice on one day. No value for a weekly
// rule without days and for a mode this version does not know: those rules
// have no run at all. A once-only rule is answered like a yearly one (the
// editor shows its coming date); after its run see NextRunAfterRun.
std::optional<TDateTime> NextFutureRun(const TSchedule &schedule, TDateTime now);

// What a time schedule holds after it ran or was passed over at Now: no
// value for a once-only rule, else NextFutureRun.
std::optional<TDateTime> NextRunAfterRun(const TSchedule &schedule, TDateTime now);

} // namespace trovalo
