// Times the backup job database's per-file work: recording 100,000 copied
// files and looking 100,000 of them up, on a database on local disk.
//
//   bench_db [FOLDER]   (default: a temporary folder in the current one)

#include "base/Exceptions.h"
#include "db/JobDatabase.h"
#include "db/SqliteDatabase.h"
#include "platform/DriveTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace trovalo;

namespace {

constexpr int Operations = 100000;

QString SourceFile(int i)
{
    return QStringLiteral("C:\\Users\\Ann\\Documents\\Project %1\\Report %2.docx").arg(i % 97).arg(i);
}

void Report(QTextStream &out, const char *what, const QElapsedTimer &timer)
{
    const double micros = double(timer.nsecsElapsed()) / 1000.0 / Operations;
    out << what << ": " << QString::number(micros, 'f', 2) << " us per operation\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QString base = app.arguments().value(1, QDir::currentPath());
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("bench_db-XXXXXX")));
    if (!dir.isValid()) {
        out << "cannot create a folder in " << base << "\n";
        return 1;
    }
    QDir(dir.path()).mkpath(QStringLiteral("c"));
    QDir(dir.path()).mkpath(QStringLiteral("e"));
    qputenv("TROVALO_DRIVES", QStringLiteral("C=%1/c;E=%1/e").arg(dir.path()).toUtf8());
    TDriveTable::Instance().Refresh();
    try {
        const QString databaseFile = QStringLiteral("E:\\Job.Zjd");
        {
            TSqliteDatabase created(NativePath(databaseFile), {TOpenMode::CreateNew, std::nullopt});
            TJobDatabase::CreateSchema(created);
            out << "journal: " << (created.JournalMode() == TJournalMode::Wal ? "wal" : "rollback") << "\n";
        }
        TJobDatabase database(databaseFile);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Operations; ++i)
            database.RecordFile(SourceFile(i), 45000.0 + i / 86400.0);
        database.Flush();
        Report(out, "FileLog record", timer);

        timer.restart();
        int found = 0;
        for (int i = 0; i < Operations; ++i)
            found += database.FileUpdate(SourceFile((i * 7919) % Operations).toUpper()) ? 1 : 0;
        Report(out, "FileLog look-up", timer);
        if (found != Operations) {
            out << "look-ups found " << found << " of " << Operations << " rows\n";
            return 1;
        }
    } catch (const ETrovaloError &error) {
        out << error.Message() << "\n";
        return 1;
    }
    return 0;
}
