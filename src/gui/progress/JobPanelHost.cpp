#include "progress/JobPanelHost.h"

namespace trovalo {

namespace {

// Interface thread only, like the panels that read it.
TJobPanelHost *currentHost = nullptr;

} // namespace

TJobPanelHost *TJobPanelHost::Current()
{
    return currentHost;
}

void TJobPanelHost::SetCurrent(TJobPanelHost *host)
{
    currentHost = host;
}

} // namespace trovalo
