// Writes an empty database of one kind: the templates installed beside the
// executables are produced by the build from the schema in the code.
//
//   trovalo-mkdb KIND OUTFILE      KIND = job | sync | program

#include "base/Exceptions.h"
#include "db/JobDatabase.h"
#include "db/ProgramDatabase.h"
#include "db/SqliteDatabase.h"
#include "db/SyncDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <functional>
#include <map>

using namespace trovalo;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const std::map<QString, std::function<void(TSqliteDatabase &)>> kinds = {
        {QStringLiteral("job"), &TJobDatabase::CreateSchema},
        {QStringLiteral("sync"), &TSyncDatabase::CreateSchema},
        {QStringLiteral("program"), &CreateProgramDatabaseSchema},
    };
    const QStringList args = app.arguments();
    const auto kind = args.size() == 3 ? kinds.find(args[1]) : kinds.end();
    if (kind == kinds.end()) {
        err << "usage: trovalo-mkdb job|sync|program OUTFILE\n";
        return 2;
    }
    // Build beside the target and rename, so the output is whole or absent.
    const QString target = args[2];
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    try {
        {
            TSqliteDatabase database(partial, {TOpenMode::CreateNew, TJournalMode::Delete});
            kind->second(database);
        }
        QFile::remove(target);
        if (!QFile::rename(partial, target)) {
            err << "trovalo-mkdb: cannot write " << target << "\n";
            return 1;
        }
    } catch (const ETrovaloError &error) {
        QFile::remove(partial);
        err << "trovalo-mkdb: " << error.Message() << "\n";
        return 1;
    }
    return 0;
}
