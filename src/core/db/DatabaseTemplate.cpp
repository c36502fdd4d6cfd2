#include "db/DatabaseTemplate.h"

#include "db/SqliteDatabase.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace trovalo {

QString TDatabaseTemplate::InstalledFile(const QString &templateName)
{
    const QString folder = InstalledDataFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(templateName);
}

void TDatabaseTemplate::CreateIfMissing(const QString &databaseFile, const QString &templateName,
                                        const std::function<void(TSqliteDatabase &)> &createSchema)
{
    if (FileExists(databaseFile) || CopyIfMissing(InstalledFile(templateName), databaseFile))
        return;
    TSqliteOpenOptions options;
    options.Mode = TOpenMode::CreateNew;
    TSqliteDatabase created(NativePath(databaseFile), options);
    createSchema(created);
}

bool TDatabaseTemplate::CopyIfMissing(const QString &templateNativeFile, const QString &databaseFile)
{
    const std::optional<QString> target = ToNativePath(databaseFile);
    if (!target)
        return false;
    if (QFileInfo::exists(*target))
        return true;
    QDir().mkpath(QFileInfo(*target).absolutePath());
    // QFile::copy refuses an existing target, so a file that appeared in the
    // meantime is kept; it writes to a temporary file first, so no half
    // copy is left under the database's name.
    QFile::copy(templateNativeFile, *target);
    return QFileInfo::exists(*target);
}

std::unique_ptr<TSqliteDatabase>
TDatabaseTemplate::OpenWithSchema(const QString &databaseFile, int version, const QStringList &tables,
                                  const std::function<void(TSqliteDatabase &)> &createSchema)
{
    auto database = std::make_unique<TSqliteDatabase>(NativePath(databaseFile));
    if (database->SchemaVersion() > version)
        database->Fail(QStringLiteral("the database was written by a newer version of the program"));
    int present = 0;
    for (const QString &table : tables)
        present += database->TableExists(table) ? 1 : 0;
    if (present == 0 && database->SchemaVersion() == 0) {
        createSchema(*database);
    } else if (present != tables.size()) {
        database->Fail(
            QStringLiteral("the database lacks the table(s) %1").arg(tables.join(QStringLiteral(", "))));
    }
    return database;
}

} // namespace trovalo
