#include "control/ScheduleLookup.h"

#include "base/Exceptions.h"
#include "control/StartUp.h"
#include "platform/DriveTable.h"

namespace trovalo {

TScheduleLookup::TScheduleLookup()
{
    try {
        Open(TStartUp::ProgramDatabaseFileName());
    } catch (const ETrovaloError &) {
        // No data folder in drive-letter form: no program database either.
    }
}

TScheduleLookup::TScheduleLookup(const QString &programDatabaseFile)
{
    Open(programDatabaseFile);
}

TScheduleLookup::~TScheduleLookup() = default;

void TScheduleLookup::Open(const QString &programDatabaseFile)
{
    const std::optional<QString> native = ToNativePath(programDatabaseFile);
    if (!native)
        return;
    try {
        // Opening an existing file only: a look-up never creates the database.
        FDatabase = std::make_unique<TProgramDatabase>(*native);
    } catch (const ETrovaloError &) {
        FDatabase.reset();
    }
}

int TScheduleLookup::isScheduled(const QString &FileName)
{
    if (!FDatabase)
        return ssNotScheduled;
    try {
        return FDatabase->IsScheduled(FileName);
    } catch (const ETrovaloError &) {
        // A database that broke after opening marks nothing rather than
        // taking the job list down.
        return ssNotScheduled;
    }
}

int isScheduled(const QString &FileName)
{
    TScheduleLookup lookup;
    return lookup.isScheduled(FileName);
}

} // namespace trovalo
