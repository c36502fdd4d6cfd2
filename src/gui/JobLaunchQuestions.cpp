#include "JobLaunchQuestions.h"

#include "MessageBoxes.h"
#include "model/ProgramIdentity.h"

namespace trovalo {

const QString TJobLaunchQuestions::ForeignJobMessage = QStringLiteral(
    "You have selected job settings that belong to a deferent pc. Continue using this settings might cause "
    "data corruption. Do you want to Continue?");

const QString TJobLaunchQuestions::MissingItemsMessage = QStringLiteral(
    "Some of the folders / files configured in this job is missing. It is recommended that you reconfigure "
    "this job. Do you want to run the job ?");

bool TJobLaunchQuestions::ConfirmForeignJob(const QString &, const QString &)
{
    return ShowYesNoDialog(ForeignJobMessage, QStringLiteral("Load Job"), ProgramTitle, mtWarning, false) ==
           mrYes;
}

bool TJobLaunchQuestions::ConfirmMissingItems(const QStringList &, int)
{
    // Closing the box without a button runs the job, as any answer but No.
    return ShowYesNoDialog(MissingItemsMessage, QStringLiteral("Folder Missing"), ProgramTitle, mtWarning,
                           false) != mrNo;
}

} // namespace trovalo
