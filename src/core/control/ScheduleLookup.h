#pragma once

#include "db/ProgramDatabase.h"

#include <QString>

#include <memory>

namespace trovalo {

// Answers whether a job file has a schedule, for the job console's marks.
// It opens the program database once and answers any number of questions;
// a job is matched under any drive letter, so a stick that comes back as F:
// still shows the schedule made while it was E:. Without a readable program
// database every job reads as not scheduled: a missing mark must never keep
// the job list from showing. Interface thread only (one connection).
class TScheduleLookup
{
public:
    // The program database of this computer (AppDataFolder\ConfigData).
    TScheduleLookup();
    // The program database at a drive-letter path.
    explicit TScheduleLookup(const QString &programDatabaseFile);
    ~TScheduleLookup();
    TScheduleLookup(const TScheduleLookup &) = delete;
    TScheduleLookup &operator=(const TScheduleLookup &) = delete;

    // 0 no schedule, 1 the job's first schedule is active, 2 it is not.
    int isScheduled(const QString &FileName);

    // Whether the program database could be opened.
    bool IsOpen() const { return FDatabase != nullptr; }

private:
    void Open(const QString &programDatabaseFile);

    std::unique_ptr<TProgramDatabase> FDatabase;
};

// One question on the program database of this computer.
int isScheduled(const QString &FileName);

} // namespace trovalo
