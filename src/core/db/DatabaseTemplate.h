#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace trovalo {

class TSqliteDatabase;

// The empty template databases installed with the program.
class TDatabaseTemplate
{
public:
    // Native path of a template installed with the running program
    // (InstalledDataFolder).
    static QString InstalledFile(const QString &templateName);

    // Creates the database's folder with its parents and copies the template
    // there when the database (drive-letter path) does not exist yet; an
    // existing file is never overwritten. Failures are silent by design: the
    // open that follows reports the missing database. True when the file
    // exists afterwards.
    static bool CopyIfMissing(const QString &templateNativeFile, const QString &databaseFile);

    // Makes a missing database (drive-letter path): a copy of the installed
    // template, or, when there is none, an empty database given the schema
    // the template holds.
    static void CreateIfMissing(const QString &databaseFile, const QString &templateName,
                                const std::function<void(TSqliteDatabase &)> &createSchema);

    // Opens an existing database (drive-letter path) of one kind. A file
    // without any table (an empty database) gets the schema; a file whose
    // schema is newer than `version`, or that lacks one of `tables`, is
    // refused with EDatabaseError and left as it is.
    static std::unique_ptr<TSqliteDatabase>
    OpenWithSchema(const QString &databaseFile, int version, const QStringList &tables,
                   const std::function<void(TSqliteDatabase &)> &createSchema);
};

} // namespace trovalo
