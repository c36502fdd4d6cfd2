#include "TestDrives.h"
#include "base/Exceptions.h"
#include "db/DatabaseTemplate.h"
#include "db/JobDatabase.h"
#include "db/SyncDatabase.h"

#include <QtTest>

using namespace trovalo;

namespace {

const QString DatabaseFile = QStringLiteral("E:\\Config\\Backup2024-03-05 14-07-09 123.Zjd");

// A job database made the way the build makes the template.
void MakeJobDatabase(const test::TTestDrives &drives,
                     const QString &relative = QStringLiteral("Config/Backup2024-03-05 14-07-09 123.Zjd"))
{
    QDir().mkpath(QFileInfo(drives.Native('E', relative)).absolutePath());
    TSqliteDatabase database(drives.Native('E', relative), {TOpenMode::CreateNew, std::nullopt});
    TJobDatabase::CreateSchema(database);
}

QString QueryPlan(TSqliteDatabase &database, const QString &sql)
{
    TSqliteStatement plan(database, QStringLiteral("EXPLAIN QUERY PLAN ") + sql);
    QString details;
    while (plan.Step())
        details += plan.ColumnText(plan.ColumnIndex(QStringLiteral("detail"))) + QLatin1Char('\n');
    return details;
}

} // namespace

class TestJobDatabase : public QObject
{
    Q_OBJECT

private slots:
    void archiveKey_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("databaseFile");
        QTest::addColumn<QString>("key");
        QTest::newRow("same drive loses its letter")
            << "E:\\Backups\\Job1\\" << DatabaseFile << "\\Backups\\Job1\\";
        QTest::newRow("other drive keeps it")
            << "F:\\Backups\\Job1\\" << DatabaseFile << "F:\\Backups\\Job1\\";
        QTest::newRow("drive compared with case") << "e:\\Backups\\" << DatabaseFile << "e:\\Backups\\";
        QTest::newRow("same share") << "\\\\srv\\share\\B\\"
                                    << "\\\\srv\\share\\Config\\x.Zjd"
                                    << "\\B\\";
        QTest::newRow("other share") << "\\\\srv\\other\\B\\"
                                     << "\\\\srv\\share\\Config\\x.Zjd"
                                     << "\\\\srv\\other\\B\\";
    }
    void archiveKey()
    {
        QFETCH(QString, destination);
        QFETCH(QString, databaseFile);
        QFETCH(QString, key);
        QCOMPARE(TJobDatabase::ArchiveKeyFor(destination, databaseFile), key);
    }

    void formatText_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        QTest::newRow("incremental") << int(amIncremental) << "Incremental";
        QTest::newRow("only new") << int(amOnlyNew) << "Only New";
        QTest::newRow("completely new") << int(amCompletelyNew) << "Completely New";
        QTest::newRow("time stamped") << int(amTimeStamped) << "Time Stamped";
        QTest::newRow("incremental time stamped")
            << int(amTimeStampedIncremental) << "Incremental Time Stamped";
        QTest::newRow("move") << int(amMove) << "";
        QTest::newRow("mirror") << int(amMirror) << "";
    }
    void formatText()
    {
        QFETCH(int, mode);
        QFETCH(QString, text);
        QCOMPARE(TJobDatabase::FormatText(TArchiveMode(mode)), text);
    }

    void fileLookupIgnoresCase_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("found");
        QTest::newRow("ascii") << "C:\\Docs\\Report.doc"
                               << "C:\\DOCS\\REPORT.DOC" << true;
        QTest::newRow("umlaut") << "C:\\Ärger\\ä.txt"
                                << "c:\\äRGER\\Ä.TXT" << true;
        QTest::newRow("longer name") << "C:\\Docs\\Report.doc"
                                     << "C:\\Docs\\Report.docx" << false;
        QTest::newRow("other folder") << "C:\\Docs\\Report.doc"
                                      << "C:\\Doc\\Report.doc" << false;
    }
    void fileLookupIgnoresCase()
    {
        QFETCH(QString, stored);
        QFETCH(QString, asked);
        QFETCH(bool, found);
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        TJobDatabase database(DatabaseFile);
        database.RecordFile(stored, 45000.5);
        QCOMPARE(database.FileUpdate(asked).has_value(), found);
        // Recording under the other spelling edits the one row.
        database.RecordFile(asked, 45001.25);
        QCOMPARE(database.FileRows().size(), found ? 1 : 2);
        QCOMPARE(database.FileRows().first().FileName, stored);
        QCOMPARE(*database.FileUpdate(stored), found ? 45001.25 : 45000.5);
    }

    void recordsOutliveTheObject()
    {
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        {
            TJobDatabase database(DatabaseFile);
            for (int i = 0; i < 1200; ++i)
                database.RecordFile(QStringLiteral("C:\\d\\f%1").arg(i), 45000 + i / 7.0);
            database.DeleteFile(QStringLiteral("C:\\D\\F7"));
        }
        TJobDatabase reopened(DatabaseFile);
        QCOMPARE(reopened.FileRows().size(), 1199);
        QVERIFY(!reopened.FileUpdate(QStringLiteral("C:\\d\\f7")));
        QCOMPARE(*reopened.FileUpdate(QStringLiteral("C:\\d\\f1199")), 45000 + 1199 / 7.0);
    }

    void runRows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("destinations");
        QTest::addColumn<QStringList>("expectedFolders");
        QTest::addColumn<QString>("expectedFormat");
        QTest::newRow("incremental reuses its row")
            << int(amIncremental) << QStringList{"E:\\Backups\\Job1\\", "E:\\BACKUPS\\job1\\"}
            << QStringList{"\\Backups\\Job1\\"} << "Incremental";
        QTest::newRow("time stamped adds rows")
            << int(amTimeStamped) << QStringList{"E:\\B\\2024-03-05 14-07\\", "E:\\B\\2024-03-05 14-09\\"}
            << QStringList{"\\B\\2024-03-05 14-07\\", "\\B\\2024-03-05 14-09\\"} << "Time Stamped";
        QTest::newRow("other drive, move writes no format")
            << int(amMove) << QStringList{"F:\\Moved\\"} << QStringList{"F:\\Moved\\"} << "";
    }
    void runRows()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, destinations);
        QFETCH(QStringList, expectedFolders);
        QFETCH(QString, expectedFormat);
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        TJobDatabase database(DatabaseFile);
        TDateTime start = 45000.25;
        for (const QString &destination : destinations) {
            const qint64 row = database.StartRun(destination, start, TArchiveMode(mode));
            database.RecordFile(QStringLiteral("C:\\a.txt"), start);
            database.FinishRun(row, TJobDatabase::StatusFinished);
            start += 1.5;
        }
        const QList<TArchiveLogRow> rows = database.ArchiveRuns();
        QCOMPARE(rows.size(), expectedFolders.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].ArchiveFolder, expectedFolders[i]);
            QCOMPARE(rows[i].Format, expectedFormat);
            QCOMPARE(rows[i].Status, TJobDatabase::StatusFinished);
        }
        QCOMPARE(rows.last().DateTime, start - 1.5);
    }

    void runStatusIsCommittedAtOnce()
    {
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        TJobDatabase run(DatabaseFile);
        run.StartRun(QStringLiteral("E:\\B\\"), 45000, amIncremental);
        run.RecordFile(QStringLiteral("C:\\a.txt"), 45000); // left pending in the batch
        // The restore wizard reads through its own connection meanwhile.
        TJobDatabase wizard(DatabaseFile);
        QCOMPARE(wizard.ArchiveRuns().size(), 1);
        QCOMPARE(wizard.ArchiveRuns().first().Status, TJobDatabase::StatusNotCompleted);
    }

    void mirrorKeepsTheEarlierFormat()
    {
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        TJobDatabase database(DatabaseFile);
        database.StartRun(QStringLiteral("E:\\B\\"), 45000, amOnlyNew);
        database.StartRun(QStringLiteral("E:\\B\\"), 45001, amMirror);
        QCOMPARE(database.ArchiveRuns().first().Format, QStringLiteral("Only New"));
        QCOMPARE(database.ArchiveRuns().first().Status, TJobDatabase::StatusNotCompleted);
    }

    void resetEmptiesOnlyFileLog()
    {
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        TJobDatabase database(DatabaseFile);
        database.StartRun(QStringLiteral("E:\\B\\"), 45000, amIncremental);
        database.RecordFile(QStringLiteral("C:\\a.txt"), 45000);
        database.ResetFileLog();
        QVERIFY(database.FileRows().isEmpty());
        QCOMPARE(database.ArchiveRuns().size(), 1);
    }

    void restoreFindsFolderAfterLetterChange_data()
    {
        QTest::addColumn<QString>("jobFile");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("found");
        QTest::newRow("drive now G:") << "G:\\Config\\x.zja"
                                      << "\\Backups\\Job1\\"
                                      << "G:\\Backups\\Job1\\";
        QTest::newRow("full path") << "E:\\Config\\x.zja"
                                   << "G:\\Backups\\Job1\\"
                                   << "G:\\Backups\\Job1\\";
        QTest::newRow("gone") << "E:\\Config\\x.zja"
                              << "\\Backups\\Job1\\"
                              << "";
    }
    void restoreFindsFolderAfterLetterChange()
    {
        QFETCH(QString, jobFile);
        QFETCH(QString, stored);
        QFETCH(QString, found);
        test::TTestDrives drives({{'C', QString()}, {'E', QString()}, {'G', QString()}});
        QVERIFY(QDir().mkpath(drives.Native('G', QStringLiteral("Backups/Job1"))));
        QCOMPARE(TJobDatabase::ArchiveFolderOnDisk(jobFile, stored).value_or(QString()), found);
    }

    void lookupsUseIndexes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("file") << R"(SELECT "Update" FROM FileLog WHERE FileKey = ?1)";
        QTest::newRow("archive") << "SELECT rowid FROM ArchiveLog WHERE ArchiveKey = ?1";
    }
    void lookupsUseIndexes()
    {
        QFETCH(QString, sql);
        test::TTestDrives drives;
        MakeJobDatabase(drives);
        TJobDatabase database(DatabaseFile);
        const QString plan = QueryPlan(database.Database(), sql);
        QVERIFY2(plan.contains(QStringLiteral("USING")) && plan.contains(QStringLiteral("INDEX")),
                 qPrintable(plan));
        QVERIFY2(!plan.contains(QStringLiteral("SCAN")), qPrintable(plan));
    }

    void templateIsCopiedOnceAndNeverOver()
    {
        test::TTestDrives drives;
        const QString templateFile = drives.Base() + QStringLiteral("/Database.Zjd");
        {
            TSqliteDatabase made(templateFile, {TOpenMode::CreateNew, std::nullopt});
            TJobDatabase::CreateSchema(made);
        }
        const QString deep = QStringLiteral("E:\\Config\\Sub\\Job.Zjd");
        QVERIFY(TDatabaseTemplate::CopyIfMissing(templateFile, deep));
        TJobDatabase(deep).RecordFile(QStringLiteral("C:\\kept.txt"), 45000);
        QVERIFY(TDatabaseTemplate::CopyIfMissing(templateFile, deep));
        QVERIFY(TJobDatabase(deep).FileUpdate(QStringLiteral("C:\\kept.txt")));
        QVERIFY(!TDatabaseTemplate::CopyIfMissing(drives.Base() + QStringLiteral("/none"),
                                                  QStringLiteral("E:\\Config\\Other.Zjd")));
        QVERIFY(!QFileInfo::exists(drives.Native('E', QStringLiteral("Config/Other.Zjd"))));
    }

    void wrongFileIsRefusedUnchanged_data()
    {
        QTest::addColumn<bool>("syncDatabase");
        QTest::newRow("text file") << false;
        QTest::newRow("sync database") << true;
    }
    void wrongFileIsRefusedUnchanged()
    {
        QFETCH(bool, syncDatabase);
        test::TTestDrives drives;
        const QString native = drives.Native('E', QStringLiteral("Config/Backup2024-03-05 14-07-09 123.Zjd"));
        QDir().mkpath(QFileInfo(native).absolutePath());
        if (syncDatabase) {
            TSqliteDatabase made(native, {TOpenMode::CreateNew, std::nullopt});
            TSyncDatabase::CreateSchema(made);
        } else {
            QFile file(native);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("not a database\n").repeated(100));
        }
        QFile before(native);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        try {
            TJobDatabase database(DatabaseFile);
            QFAIL("a wrong file was opened as a job database");
        } catch (const EDatabaseError &error) {
            QVERIFY2(error.Message().startsWith(native + QStringLiteral(": ")), qPrintable(error.Message()));
        }
        QFile after(native);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }
};

QTEST_GUILESS_MAIN(TestJobDatabase)
#include "tst_jobdatabase.moc"
