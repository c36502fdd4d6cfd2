#pragma once

#include <QtGlobal>

class QWidget;

namespace trovalo {

class TSliderForm;

// What a job's progress panel reports beyond its own tab: the number of
// running jobs (the tray animates while it is above 0), the job's row in the
// slide-out window and the auto-close setting. The controller is the host
// of the program's panels; tests install their own. Interface thread only.
class TJobPanelHost
{
public:
    virtual ~TJobPanelHost() = default;

    virtual int RunningThreadCount() const = 0;
    virtual void SetRunningThreadCount(int Value) = 0;
    // Null when there is no slide-out window.
    virtual TSliderForm *SliderForm() = 0;
    // The program setting a new panel's "Auto close after job completed"
    // takes; a click on the box writes it back (in memory).
    virtual bool AutoCloseJobTab() const = 0;
    virtual void SetAutoCloseJobTab(bool value) = 0;
    // A job ended: a shut-down waiting for the running jobs may go on.
    virtual void JobEnded() {}
    // The panel's job has ended and released its drive, and the user asked
    // for the drive to be removed safely then.
    virtual void RemoveDriveOfPanel(QWidget &panel) { Q_UNUSED(panel); }

    // The host the panels use; none in a test that installed none.
    static TJobPanelHost *Current();
    static void SetCurrent(TJobPanelHost *host);
};

} // namespace trovalo
