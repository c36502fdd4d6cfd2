#pragma once

#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "engine/ThreadBase.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace trovalo::test {

// Deletion protection into C:\Deleted\, recorded in a program database on
// the test drive C: that is made on first use.
inline TDeletionProtection Protection()
{
    const QString native = NativePath(QStringLiteral("C:\\ProgramData\\ProgramData.zjd"));
    if (!QFile::exists(native)) {
        QDir().mkpath(QFileInfo(native).path());
        TSqliteOpenOptions options;
        options.Mode = TOpenMode::CreateNew;
        TSqliteDatabase database(native, options);
        CreateProgramDatabaseSchema(database);
    }
    return {true, QStringLiteral("C:\\Deleted\\"), native};
}

} // namespace trovalo::test
