#include "StartUp.h"

#include "db/DatabaseTemplate.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"

#include <QFileInfo>

namespace trovalo {

namespace {

const QString TemplateName = QStringLiteral("ProgramData.zjd");

TDirConfigItem HiddenSystemFolder(const QString &name)
{
    TDirConfigItem item(name, name);
    item.FileAttributes().SetHidden(true);
    item.FileAttributes().SetIndexed(true);
    item.FileAttributes().SetSystem(true);
    return item;
}

} // namespace

TStartUp::TStartUp(const QString &templateFolder)
    : FTemplateFolder(templateFolder)
{
    for (const char *name : {"AutoFill", "ErrorLogs", "ConfigData"})
        FFolderManager.DirListEx() << HiddenSystemFolder(QLatin1String(name));
}

TStartUp::~TStartUp() = default;

QString TStartUp::SettingsFileName()
{
    return AppDataFolder() + QStringLiteral("\\ConfigData\\Config.cfg");
}

QString TStartUp::ProgramDatabaseFileName()
{
    return AppDataFolder() + QStringLiteral("\\ConfigData\\ProgramData.zjd");
}

QString TStartUp::TemporaryFolder()
{
    return AppDataFolder() + QStringLiteral("\\Tmp");
}

QString TStartUp::ErrorLogFileName()
{
    return AppDataFolder() + QStringLiteral("\\ErrorLogs\\Trovalo.log");
}

void TStartUp::Run()
{
    RunCommonModule();
    RunController();
}

void TStartUp::RunCommonModule()
{
    const QString dataFolder = AppDataFolder();
    FFolderManager.MakeDir(dataFolder);
    SetWorkFolder(dataFolder);
    FFolderManager.MakeDirTree();
}

bool TStartUp::RunController()
{
    try {
        RunControllerSteps();
        return true;
    } catch (const ETrovaloError &error) {
        FErrors << error.Message();
    } catch (const std::exception &error) {
        FErrors << QString::fromLocal8Bit(error.what());
    }
    return false;
}

void TStartUp::RunControllerSteps()
{
    FPCID = ComputePCID();
    LoadSettings();
    ForceFolder(FProgramData->DeletedFolder());
    OpenProgramDatabase();
    ForceFolder(TemporaryFolder());
}

void TStartUp::LoadSettings()
{
    FProgramData = std::make_unique<TProgramData>(AppDataFolder());
    try {
        LoadFromFile(*FProgramData, SettingsFileName());
    } catch (const EFileError &) {
        // An unreadable settings file leaves the defaults, without a message:
        // the user can still set everything again in the options.
    }
}

void TStartUp::CopyProgramDatabaseTemplate() const
{
    const QString database = ProgramDatabaseFileName();
    if (FileExists(database))
        return;
    // A missing template fails quietly; the database is then made from the
    // schema below.
    if (FTemplateFolder.isEmpty())
        TDatabaseTemplate::CopyIfMissing(TDatabaseTemplate::InstalledFile(TemplateName), database);
    else
        CopyFileNoReplace(IncludeTrailingBackslash(FTemplateFolder) + TemplateName, database);
}

void TStartUp::OpenProgramDatabase()
{
    CopyProgramDatabaseTemplate();
    const QString native = NativePath(ProgramDatabaseFileName());
    if (!QFileInfo::exists(native)) {
        // Without its template the program would never get a database; the
        // schema in the code makes the same empty file.
        CreateProgramDatabaseFile(native);
    }
    FProgramDatabase = std::make_unique<TProgramDatabase>(native);
}

} // namespace trovalo
