#include "base/Exceptions.h"
#include "db/SqliteDatabase.h"

#include <QtTest>

#include <atomic>

#include <limits>

using namespace trovalo;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::unique_ptr<TSqliteDatabase> NewDatabase(const QString &path, TJournalMode journal)
{
    auto database =
        std::make_unique<TSqliteDatabase>(path, TSqliteOpenOptions{TOpenMode::CreateNew, journal});
    database->Exec(
        QStringLiteral("CREATE TABLE T (Id INTEGER PRIMARY KEY, Txt TEXT, Num INTEGER, Dbl REAL, Bin BLOB)"));
    return database;
}

qint64 CountRows(TSqliteDatabase &database)
{
    TSqliteStatement &count = database.Prepare(QStringLiteral("SELECT count(*) FROM T"));
    count.Step();
    const qint64 rows = count.ColumnInt64(0);
    count.Reset();
    return rows;
}

} // namespace

class TestSqliteDatabase : public QObject
{
    Q_OBJECT

private slots:
    void damagedFileIsRefusedAndKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("plain text") << QByteArray("This is a job log, not a database.\n").repeated(40);
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("header only") << QByteArray("SQLite format 3", 16);
        QByteArray garbage("SQLite format 3", 16);
        for (int i = 0; i < 8192; ++i)
            garbage.append(char((i * 7919) % 251));
        QTest::newRow("header then garbage") << garbage;
    }
    void damagedFileIsRefusedAndKept()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Backup.Zjd"));
        WriteAll(path, content);
        for (TOpenMode mode : {TOpenMode::OpenExisting, TOpenMode::ReadOnly, TOpenMode::CreateNew}) {
            try {
                TSqliteDatabase database(path, {mode, std::nullopt});
                QFAIL("a damaged file was opened");
            } catch (const EDatabaseError &error) {
                QVERIFY2(error.Message().startsWith(path + QStringLiteral(": ")),
                         qPrintable(error.Message()));
            }
        }
        QCOMPARE(ReadAll(path), content);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Backup.Zjd")});
    }

    void missingFileIsNotCreated()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("none.Zjt"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, TSqliteDatabase{path});
        QVERIFY(!QFileInfo::exists(path));
    }

    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<double>("dateTime");
        QTest::addColumn<QByteArray>("blob");
        QTest::newRow("never") << QString() << qint64(0) << 0.0 << QByteArray("", 0);
        QTest::newRow("size over 4 GiB")
            << QStringLiteral("C:\\big.iso") << (qint64(5) << 30) << 45658.75 << QByteArray("\0\1\2", 3);
        QTest::newRow("largest size") << QStringLiteral("x") << std::numeric_limits<qint64>::max()
                                      << 41830.37847222222 << QByteArray(300, '\xff');
        QTest::newRow("odd fraction")
            << QStringLiteral("Ä\\ä\\日本.txt") << qint64(-1) << (45000.0 + 1.0 / 3.0) << QByteArray("TPF0");
        QTest::newRow("negative date")
            << QStringLiteral("it's") << std::numeric_limits<qint64>::min() << -1.25 << QByteArray(1, '\0');
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(qint64, number);
        QFETCH(double, dateTime);
        QFETCH(QByteArray, blob);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("v.db"));
        NewDatabase(path, TJournalMode::Delete)
            ->Prepare(QStringLiteral("INSERT INTO T (Txt, Num, Dbl, Bin) VALUES (:txt, ?2, @dbl, $bin)"))
            .BindText(":txt", text)
            .BindInt64(2, number)
            .BindDouble("@dbl", dateTime)
            .BindBlob("$bin", blob)
            .Execute();
        TSqliteDatabase reopened(path, {TOpenMode::ReadOnly, std::nullopt});
        TSqliteStatement &select = reopened.Prepare(QStringLiteral("SELECT Txt, Num, Dbl, Bin FROM T"));
        QVERIFY(select.Step());
        QCOMPARE(select.ColumnText(select.ColumnIndex(QStringLiteral("txt"))), text);
        QCOMPARE(select.ColumnInt64(1), number);
        QCOMPARE(select.ColumnDouble(2), dateTime); // exact, not fuzzy
        QVERIFY(!select.IsNull(3));
        QCOMPARE(select.ColumnBlob(3), blob);
        QVERIFY(!select.Step());
    }

    void readerAndWriterShareOneFile_data()
    {
        QTest::addColumn<TJournalMode>("journal");
        QTest::newRow("wal") << TJournalMode::Wal;
        QTest::newRow("rollback journal") << TJournalMode::Delete;
    }
    void readerAndWriterShareOneFile()
    {
        QFETCH(TJournalMode, journal);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shared.db"));
        auto writer = NewDatabase(path, journal);
        QCOMPARE(writer->JournalMode(), journal);
        TSqliteDatabase reader(path, {TOpenMode::OpenExisting, journal});
        {
            TSqliteTransaction transaction(*writer);
            writer->Exec(QStringLiteral("INSERT INTO T (Txt) VALUES ('a')"));
            QCOMPARE(CountRows(reader), 0);
            transaction.Commit();
        }
        QCOMPARE(CountRows(reader), 1);
    }

    void transactionRollsBackUnlessCommitted()
    {
        QTemporaryDir dir;
        auto database = NewDatabase(dir.filePath(QStringLiteral("t.db")), TJournalMode::Delete);
        {
            TSqliteTransaction transaction(*database);
            database->Exec(QStringLiteral("INSERT INTO T (Txt) VALUES ('lost')"));
        }
        QCOMPARE(CountRows(*database), 0);
    }

    void batchCommitsEveryNWritesAndAtTheEnd()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("b.db"));
        auto writer = NewDatabase(path, TJournalMode::Wal);
        TSqliteDatabase reader(path);
        {
            TSqliteBatchCommitter batch(*writer, 3, 60000);
            for (int i = 0; i < 4; ++i)
                batch.Write([&] { writer->Exec(QStringLiteral("INSERT INTO T (Num) VALUES (1)")); });
            QCOMPARE(CountRows(reader), 3);
            QVERIFY(batch.Pending());
        }
        QCOMPARE(CountRows(reader), 4);
    }

    // Deferred rows are committed only after the durability work of their
    // batch returned, which runs on another thread while the next batch is
    // collected; a batch whose work failed is never committed.
    void deferredRowsWaitForTheirBatchsFlush()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.db"));
        auto writer = NewDatabase(path, TJournalMode::Wal);
        TSqliteDatabase reader(path);
        QSemaphore flushMayEnd;
        std::atomic<int> flushesRun{0};
        std::atomic<bool> failNextFlush{false};
        TSqliteBatchCommitter batch(*writer, 3, 60000);
        batch.SetBeforeCommit([&] {
            return [&] {
                flushMayEnd.acquire();
                ++flushesRun;
                if (failNextFlush.exchange(false))
                    throw EFileError(QStringLiteral("the disk went away"));
            };
        });
        const auto insert = [&](int value) {
            batch.Defer([&writer, value] {
                writer->Prepare(QStringLiteral("INSERT INTO T (Num) VALUES (?1)"))
                    .BindInt64(1, value)
                    .Execute();
            });
        };
        for (int i = 1; i <= 4; ++i)
            insert(i);
        // The first batch is full and flushing on its own thread; nothing is
        // committed while the flush has not returned.
        QCOMPARE(CountRows(reader), 0);
        QCOMPARE(flushesRun.load(), 0);
        flushMayEnd.release(2); // the running flush, then the one Commit runs
        batch.Commit();
        QCOMPARE(flushesRun.load(), 2);
        QCOMPARE(CountRows(reader), 4);

        failNextFlush = true;
        for (int i = 5; i <= 7; ++i)
            insert(i);
        flushMayEnd.release(1);
        QVERIFY_THROWS_EXCEPTION(EFileError, batch.Commit());
        QCOMPARE(CountRows(reader), 4);
        QVERIFY(!batch.Pending());
    }

    // The keys of a walk's paths, folded folder by folder, are the keys
    // of the whole paths, also for letters that fold to others or to two.
    void pathKeysFoldLikeWholePaths()
    {
        const QStringList paths = {
            QStringLiteral("C:\\Data\\Äpfel\\Straße.TXT"),
            QStringLiteral("C:\\Data\\Äpfel\\ΣΟΦΟΣ ς.doc"),
            QStringLiteral("C:\\DATA\\äpfel\\x"),
            QStringLiteral("C:\\Data\\Äpfel\\\U0001D400\U00010400.txt"),
            QStringLiteral("C:\\Data\\Äpfel\\sub\\"),
            QStringLiteral("no folder.TXT"),
            QStringLiteral("C:\\Data\\Äpfel\\Last"),
        };
        TPathKeys keys;
        for (const QString &path : paths)
            QCOMPARE(keys.KeyOf(path), LookupKey(path));
    }

    void badStatementNamesTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.db"));
        auto database = NewDatabase(path, TJournalMode::Delete);
        try {
            database->Prepare(QStringLiteral("SELECT Missing FROM T"));
            QFAIL("a bad statement was accepted");
        } catch (const EDatabaseError &error) {
            QVERIFY(error.Message().startsWith(path + QStringLiteral(": ")));
            QVERIFY(error.Message().contains(QStringLiteral("Missing")));
        }
    }

    void schemaVersionIsKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.db"));
        NewDatabase(path, TJournalMode::Delete)->SetSchemaVersion(7);
        TSqliteDatabase reopened(path);
        QCOMPARE(reopened.SchemaVersion(), 7);
        QVERIFY(reopened.TableExists(QStringLiteral("t")));
        QVERIFY(!reopened.TableExists(QStringLiteral("FileLog")));
    }
};

QTEST_GUILESS_MAIN(TestSqliteDatabase)
#include "tst_sqlitedatabase.moc"
