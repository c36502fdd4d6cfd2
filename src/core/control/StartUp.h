#pragma once

#include "control/FolderManager.h"
#include "model/ProgramData.h"
#include "platform/AppPaths.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace trovalo {

class TProgramDatabase;

// The non-visual start-up steps, in their fixed order: the data folder tree,
// then the controller's part (PC ID, settings, deleted-files folder, program
// database template, temporary folder). The windows come afterwards.
class TStartUp
{
public:
    // TemplateFolder (drive-letter form) holds the empty program database;
    // when empty, the one installed with the program is used.
    explicit TStartUp(const QString &templateFolder = QString());
    ~TStartUp();

    // Both parts. Errors of the controller part are collected, not raised.
    void Run();

    // Creates AppDataFolder, makes it the work folder and creates the folder
    // tree. Raises EPathError when the data folder has no drive-letter form.
    void RunCommonModule();

    // Returns false when a step failed; the error is in Errors() and the
    // remaining steps were skipped, as the program must still start.
    bool RunController();

    QString PCID() const { return FPCID; }
    // Null until RunController has constructed it.
    TProgramData *ProgramData() const { return FProgramData.get(); }
    const TFolderManager &FolderManager() const { return FFolderManager; }
    const QStringList &Errors() const { return FErrors; }
    // The program database, opened by RunController; null until then or when
    // opening failed.
    TProgramDatabase *ProgramDatabase() const { return FProgramDatabase.get(); }

    static QString SettingsFileName();        // AppDataFolder\ConfigData\Config.cfg
    static QString ProgramDatabaseFileName(); // AppDataFolder\ConfigData\ProgramData.zjd
    static QString TemporaryFolder();         // AppDataFolder\Tmp
    static QString ErrorLogFileName();        // AppDataFolder\ErrorLogs\Trovalo.log

private:
    void RunControllerSteps();
    void LoadSettings();
    void CopyProgramDatabaseTemplate() const;
    void OpenProgramDatabase();

    QString FTemplateFolder;
    TFolderManager FFolderManager;
    QString FPCID;
    std::unique_ptr<TProgramData> FProgramData;
    std::unique_ptr<TProgramDatabase> FProgramDatabase;
    QStringList FErrors;
};

} // namespace trovalo
