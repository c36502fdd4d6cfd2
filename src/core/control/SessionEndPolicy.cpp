#include "SessionEndPolicy.h"

namespace trovalo {

bool TSessionEndPolicy::Query()
{
    if (FShutDownSend)
        return false;
    FShutDownSend = true;
    return true;
}

bool TSessionEndPolicy::MayEnd(int runningJobs)
{
    FEndWaiting = runningJobs > 0;
    return !FEndWaiting;
}

bool TSessionEndPolicy::JobEnded(int runningJobs)
{
    if (!FEndWaiting || runningJobs > 0)
        return false;
    FEndWaiting = false;
    return true;
}

void TSessionEndPolicy::Cancel()
{
    FShutDownSend = false;
    FEndWaiting = false;
}

} // namespace trovalo
