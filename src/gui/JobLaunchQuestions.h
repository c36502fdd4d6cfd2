#pragma once

#include "control/ArchiveJobLauncher.h"

namespace trovalo {

// The questions asked before a job runs, as the tray program asks them:
// warning message boxes with Yes and No. A job of another computer runs
// only on Yes; a job with missing folders is held back only by No.
class TJobLaunchQuestions : public TLaunchQuestions
{
public:
    bool ConfirmForeignJob(const QString &jobFile, const QString &jobPcId) override;
    bool ConfirmMissingItems(const QStringList &missing, int checked) override;

    static const QString ForeignJobMessage;
    static const QString MissingItemsMessage;
};

} // namespace trovalo
