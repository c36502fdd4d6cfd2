#include "TestDrives.h"
#include "base/Exceptions.h"
#include "db/JobDatabase.h"
#include "db/SyncDatabase.h"

#include <QtTest>

using namespace trovalo;

namespace {

const QString DatabaseFile = QStringLiteral("E:\\Config\\sync 2024-03-05 14-07-09 123.Zjt");

void MakeSyncDatabase(const test::TTestDrives &drives)
{
    const QString native = drives.Native('E', QStringLiteral("Config/sync 2024-03-05 14-07-09 123.Zjt"));
    QDir().mkpath(QFileInfo(native).absolutePath());
    TSqliteDatabase database(native, {TOpenMode::CreateNew, std::nullopt});
    TSyncDatabase::CreateSchema(database);
}

} // namespace

class TestSyncDatabase : public QObject
{
    Q_OBJECT

private slots:
    void lookupsIgnoreCase_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("folderA");
        QTest::addColumn<QString>("folderB");
        QTest::addColumn<bool>("foundByA");
        QTest::addColumn<bool>("foundByB");
        QTest::newRow("same spelling") << "Sub\\file.txt"
                                       << "\\Docs\\"
                                       << "C:\\Users\\Ann\\Docs\\" << true << true;
        QTest::newRow("other case") << "sub\\FILE.TXT"
                                    << "\\DOCS\\"
                                    << "c:\\users\\ann\\docs\\" << true << true;
        QTest::newRow("upper-case file, lower-case folder") << "SUB\\FILE.TXT"
                                                            << "\\docs\\"
                                                            << "C:\\Users\\ANN\\DOCS\\" << true << true;
        QTest::newRow("other file") << "Sub\\file.txt.bak"
                                    << "\\Docs\\"
                                    << "C:\\Users\\Ann\\Docs\\" << false << false;
        QTest::newRow("other side-A folder") << "Sub\\file.txt"
                                             << "\\Doc\\"
                                             << "C:\\Users\\Ann\\Docs\\" << false << true;
        QTest::newRow("other side-B folder") << "Sub\\file.txt"
                                             << "\\Docs\\"
                                             << "D:\\Docs\\" << true << false;
    }
    void lookupsIgnoreCase()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, folderA);
        QFETCH(QString, folderB);
        QFETCH(bool, foundByA);
        QFETCH(bool, foundByB);
        test::TTestDrives drives;
        MakeSyncDatabase(drives);
        TSyncDatabase database(DatabaseFile);
        database.Append(QStringLiteral("Ärger\\ä.doc"), QStringLiteral("\\Docs\\"),
                        QStringLiteral("C:\\Users\\Ann\\Docs\\"));
        const qint64 id = database.Append(QStringLiteral("Sub\\file.txt"), QStringLiteral("\\Docs\\"),
                                          QStringLiteral("C:\\Users\\Ann\\Docs\\"));
        const auto byA = database.FindByFolderA(fileName, folderA);
        const auto byB = database.FindByFolderB(fileName, folderB);
        QCOMPARE(byA.has_value(), foundByA);
        QCOMPARE(byB.has_value(), foundByB);
        if (byA)
            QCOMPARE(byA->ID, id);
        if (byB)
            QCOMPARE(byB->FileName, QStringLiteral("Sub\\file.txt"));
        QVERIFY(database.FindByFolderA(QStringLiteral("äRGER\\Ä.DOC"), QStringLiteral("\\docs\\")));
    }

    void newRowHasNoListIdAndNoDates()
    {
        test::TTestDrives drives;
        MakeSyncDatabase(drives);
        TSyncDatabase database(DatabaseFile);
        const qint64 first =
            database.Append(QStringLiteral("a.txt"), QStringLiteral("\\"), QStringLiteral("C:\\A\\"));
        const qint64 second =
            database.Append(QStringLiteral("b.txt"), QStringLiteral("\\"), QStringLiteral("C:\\A\\"), 4);
        QVERIFY(second > first);
        const auto row = database.FindById(first);
        QVERIFY(row);
        QVERIFY(!row->ListID);
        QVERIFY(!row->DateFolderA && !row->DateFolderB);
        QCOMPARE(row->DateA(), 0.0);
        QCOMPARE(database.FindById(second)->ListID, std::optional<qint64>(4));
        QVERIFY(!database.FindById(second + 1));
    }

    void resetClearsEveryListId()
    {
        test::TTestDrives drives;
        MakeSyncDatabase(drives);
        {
            TSyncDatabase run(DatabaseFile);
            for (int i = 0; i < 5; ++i)
                run.Append(QStringLiteral("f%1").arg(i), QStringLiteral("\\"), QStringLiteral("C:\\"), i);
            run.SetListId(run.Rows().first().ID, std::nullopt);
        }
        TSyncDatabase next(DatabaseFile);
        QCOMPARE(next.Rows().size(), 5);
        QVERIFY(!next.Rows().first().ListID);
        QVERIFY(next.Rows().last().ListID);
        next.ResetListIds();
        TSyncDatabase other(DatabaseFile); // committed, seen by another connection
        for (const TSyncFileRow &row : other.Rows())
            QVERIFY(!row.ListID);
    }

    void datesRoundTripAndStayPerRow_data()
    {
        QTest::addColumn<double>("dateA");
        QTest::addColumn<double>("dateB");
        QTest::newRow("two-second steps") << 45658.75 << 45658.750023148145;
        QTest::newRow("thirds") << (45000.0 + 1.0 / 3.0) << (45000.0 + 2.0 / 3.0);
    }
    void datesRoundTripAndStayPerRow()
    {
        QFETCH(double, dateA);
        QFETCH(double, dateB);
        test::TTestDrives drives;
        MakeSyncDatabase(drives);
        qint64 copied = 0, skipped = 0;
        {
            TSyncDatabase database(DatabaseFile);
            skipped = database.Append(QStringLiteral("s.txt"), QStringLiteral("\\"), QStringLiteral("C:\\"));
            copied = database.Append(QStringLiteral("c.txt"), QStringLiteral("\\"), QStringLiteral("C:\\"));
            database.SetDates(skipped, 1, 2);
            database.SetDates(copied, dateA, dateB);
        }
        TSyncDatabase reopened(DatabaseFile);
        QCOMPARE(reopened.FindById(copied)->DateA(), dateA);
        QCOMPARE(reopened.FindById(copied)->DateB(), dateB);
        QCOMPARE(reopened.FindById(skipped)->DateA(), 1.0);
        QCOMPARE(reopened.FindById(skipped)->DateB(), 2.0);
    }

    void lookupsUseIndexes_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("side A") << "FileKey = ?1 AND FolderAKey = ?2";
        QTest::newRow("side B") << "FileKey = ?1 AND FolderBKey = ?2";
        QTest::newRow("id") << "ID = ?1";
    }
    void lookupsUseIndexes()
    {
        QFETCH(QString, where);
        test::TTestDrives drives;
        MakeSyncDatabase(drives);
        TSyncDatabase database(DatabaseFile);
        TSqliteStatement plan(database.Database(),
                              QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM FileLog WHERE ") + where);
        QVERIFY(plan.Step());
        const QString detail = plan.ColumnText(plan.ColumnIndex(QStringLiteral("detail")));
        QVERIFY2(detail.startsWith(QStringLiteral("SEARCH")), qPrintable(detail));
    }

    void jobDatabaseIsRefused()
    {
        test::TTestDrives drives;
        const QString native = drives.Native('E', QStringLiteral("Config/sync 2024-03-05 14-07-09 123.Zjt"));
        QDir().mkpath(QFileInfo(native).absolutePath());
        {
            TSqliteDatabase made(native, {TOpenMode::CreateNew, std::nullopt});
            TJobDatabase::CreateSchema(made);
        }
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, TSyncDatabase{DatabaseFile});
    }
};

QTEST_GUILESS_MAIN(TestSyncDatabase)
#include "tst_syncdatabase.moc"
