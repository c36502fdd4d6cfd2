#include "RecordRegistry.h"

#include "model/ArchiveData.h"
#include "model/DiskConfigFile.h"
#include "model/PCSyncData.h"
#include "model/ProgramData.h"
#include "model/Schedule.h"
#include "model/SyncData.h"

#include <functional>
#include <map>

namespace trovalo {

namespace {
using TFactory = std::function<std::unique_ptr<TSaveLoadComponent>(const QString &appDataFolder)>;

const std::map<QString, TFactory> &Factories()
{
    static const std::map<QString, TFactory> factories = {
        {QStringLiteral("TProgramData"),
         [](const QString &appData) { return std::make_unique<TProgramData>(appData); }},
        {QStringLiteral("TDiskConfigFile"),
         [](const QString &) { return std::make_unique<TDiskConfigFile>(); }},
        {QStringLiteral("TArchiveData"), [](const QString &) { return std::make_unique<TArchiveData>(); }},
        {QStringLiteral("TSyncData"), [](const QString &) { return std::make_unique<TSyncData>(); }},
        {QStringLiteral("TPCSyncData"), [](const QString &) { return std::make_unique<TPCSyncData>(); }},
        {QStringLiteral("TSchedule"), [](const QString &) { return std::make_unique<TSchedule>(); }},
    };
    return factories;
}
} // namespace

std::unique_ptr<TSaveLoadComponent> CreateRecord(const QString &className, const QString &appDataFolder)
{
    const auto &factories = Factories();
    const auto it = factories.find(className);
    return it == factories.end() ? nullptr : it->second(appDataFolder);
}

QStringList RecordClassNames()
{
    QStringList names;
    for (const auto &entry : Factories())
        names << entry.first;
    return names;
}

} // namespace trovalo
