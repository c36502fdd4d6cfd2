#pragma once

#include "base/Exceptions.h"
#include "engine/ThreadBase.h"
#include "platform/FileSystem.h"

#include <QString>

namespace trovalo::test {

// An engine that ends the way a test asks, and whose status texts say
// otherwise ("Canceled :(" after a finished run, "Finished !" after a
// cancelled one): whatever decides from them instead of from the run's
// outcome shows the wrong result. Endings: "finished", "failed file",
// "cancelled", "low-disk abort" (the question is asked for drive E:),
// "thread error".
class TStandInEngine : public TThreadBase
{
public:
    explicit TStandInEngine(const QString &ending)
        : FEnding(ending)
    {}

protected:
    void Execute() override
    {
        BaseStart();
        FileNum = 3;
        StartClock();
        PbarPosition = 2;
        if (FEnding == QLatin1String("failed file")) {
            LogEventFileName = QStringLiteral("C:\\Docs\\unreadable.txt");
            LogEventAction = QStringLiteral("Copy File");
            LogEvent = eFailedorSkip;
            LogEventInfo = QStringLiteral("Permission denied");
            ReportLog();
        } else if (FEnding == QLatin1String("cancelled")) {
            RequestStop();
        } else if (FEnding == QLatin1String("low-disk abort")) {
            SetDiskSpaceHookForTests([](const QString &) { return std::optional<TDiskSpace>({0, 1 << 20}); });
            WaitForFreeSpace(1000, QStringLiteral("E:\\Backup\\a.txt"));
            SetDiskSpaceHookForTests({});
        } else if (FEnding == QLatin1String("thread error")) {
            StatuesInfo = QStringLiteral("Finished !");
            ReportStatus();
            throw ETrovaloError(QStringLiteral("the drive went away"));
        }
        StatuesInfo = ReachEnd(QStringLiteral("Canceled :("), QStringLiteral("Finished !"));
        ReportStatus();
    }
    bool IsExcludedFolder(const QString &) override { return false; }

private:
    QString FEnding;
};

} // namespace trovalo::test
