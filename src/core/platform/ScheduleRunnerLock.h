#pragma once

#include <QString>

#include <optional>

namespace trovalo {

// The right to run the schedules of one data folder. The tray program and
// `trovalo-cli service` both can; if both did, every scheduled job would
// start twice. The single-instance guard cannot tell them apart (it is keyed
// on the program file), so this lock is keyed on the data folder alone: an
// exclusive flock on "schedules-<hash>.lock" in the user's runtime folder,
// released by the kernel when the process ends however it ends. The file
// names its holder, so the one turned away can say who runs the schedules.
class TScheduleRunnerLock
{
public:
    TScheduleRunnerLock() = default;
    ~TScheduleRunnerLock();
    TScheduleRunnerLock(TScheduleRunnerLock &&other) noexcept;
    TScheduleRunnerLock &operator=(TScheduleRunnerLock &&other) noexcept;
    TScheduleRunnerLock(const TScheduleRunnerLock &) = delete;
    TScheduleRunnerLock &operator=(const TScheduleRunnerLock &) = delete;

    // Takes the lock for the data folder (native path) in the name of
    // Holder ("the tray program", "trovalo-cli service"); the process ID is
    // added. When another process holds it: nullopt, and *heldBy receives
    // its holder text ("trovalo-cli service (process 4242)"). Raises
    // EFileError when the lock file cannot be made.
    static std::optional<TScheduleRunnerLock> TryTake(const QString &dataFolder, const QString &holder,
                                                      QString *heldBy = nullptr);

    bool Held() const { return FFd >= 0; }
    void Release();

private:
    explicit TScheduleRunnerLock(int fd)
        : FFd(fd)
    {}
    int FFd = -1;
};

} // namespace trovalo
