#include "base/Exceptions.h"
#include "db/ProgramDatabase.h"
#include "model/Schedule.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {

TDateTime At(int year, int month, int day, int hour, int minute, int second = 0, int msec = 0)
{
    return EncodeDateTime(QDate(year, month, day), QTime(hour, minute, second, msec));
}

QString CreateDatabase(const QTemporaryDir &folder, const QString &name = QStringLiteral("ProgramData.zjd"))
{
    const QString path = folder.filePath(name);
    TSqliteOpenOptions options;
    options.Mode = TOpenMode::CreateNew;
    TSqliteDatabase database(path, options);
    CreateProgramDatabaseSchema(database);
    return path;
}

QByteArray FileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<qint64> Ids(const QList<TScheduleRunRow> &rows)
{
    QList<qint64> ids;
    for (const TScheduleRunRow &row : rows)
        ids << row.ID;
    return ids;
}

} // namespace

class TestProgramDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void inactiveRowsAreNeverSelected_data();
    void inactiveRowsAreNeverSelected();
    void dueTime_data();
    void dueTime();
    void jobFileLookup_data();
    void jobFileLookup();
    void renamedJobFileIsFoundUnderItsNewName();
    void rowsWithoutFileAreRemoved();
    void scheduleBlobRoundTrip();
    void missingRowIsReported();
    void deletedFilesLog_data();
    void deletedFilesLog();
    void secondConnectionSeesWorkerRows();
    void unusableFilesAreRefusedAndLeftAlone_data();
    void unusableFilesAreRefusedAndLeftAlone();

private:
    std::unique_ptr<QTemporaryDir> FFolder;
    std::unique_ptr<TProgramDatabase> FDatabase;
};

void TestProgramDatabase::init()
{
    FDatabase.reset();
    FFolder = std::make_unique<QTemporaryDir>();
    QVERIFY(FFolder->isValid());
    FDatabase = std::make_unique<TProgramDatabase>(CreateDatabase(*FFolder));
}

void TestProgramDatabase::inactiveRowsAreNeverSelected_data()
{
    QTest::addColumn<int>("trigger");
    QTest::newRow("start-up") << int(stStartup);
    QTest::newRow("shutdown") << int(stShutdown);
    QTest::newRow("time") << int(stTime);
    QTest::newRow("drive insertion") << int(stDriveInsertion);
}

void TestProgramDatabase::inactiveRowsAreNeverSelected()
{
    QFETCH(int, trigger);
    const TDateTime due = At(2014, 7, 10, 9, 0);
    QList<qint64> activeIds;
    // One active and one inactive row per trigger, all due.
    for (int mode = stStartup; mode <= stDriveInsertion; ++mode) {
        for (const bool active : {false, true}) {
            TScheduleRunRow row;
            row.FileName = QStringLiteral("E:\\Config\\Job %1 %2.zja").arg(mode).arg(active);
            row.ID = FDatabase->AddSchedule(row.FileName, QStringLiteral("Job"));
            row.Mode = mode;
            row.Active = active;
            row.NextRunTime = due;
            FDatabase->UpdateSchedule(row);
            if (active && mode == trigger)
                activeIds << row.ID;
        }
    }
    const QList<TScheduleRunRow> selected =
        trigger == stTime ? FDatabase->DueTimeSchedules(At(2014, 7, 10, 9, 5))
                          : FDatabase->ActiveSchedules(static_cast<TScheduleTrigger>(trigger));
    QCOMPARE(Ids(selected), activeIds);
    QCOMPARE(selected.first().Mode, trigger);
}

void TestProgramDatabase::dueTime_data()
{
    QTest::addColumn<bool>("hasNextRun");
    QTest::addColumn<TDateTime>("nextRun");
    QTest::addColumn<TDateTime>("now");
    QTest::addColumn<bool>("due");

    const TDateTime now = At(2014, 7, 10, 9, 5);
    QTest::newRow("no next run") << false << 0.0 << now << false;
    QTest::newRow("due this very second") << true << now << now << true;
    QTest::newRow("due a minute ago") << true << At(2014, 7, 10, 9, 4) << now << true;
    QTest::newRow("due a year ago") << true << At(2013, 7, 10, 9, 5) << now << true;
    QTest::newRow("due next second") << true << At(2014, 7, 10, 9, 5, 1) << At(2014, 7, 10, 9, 5, 0, 999)
                                     << false;
    QTest::newRow("due later this second")
        << true << At(2014, 7, 10, 9, 5, 0, 500) << At(2014, 7, 10, 9, 5, 0, 900) << false;
    QTest::newRow("due tomorrow at the same time") << true << At(2014, 7, 11, 9, 5) << now << false;
}

void TestProgramDatabase::dueTime()
{
    QFETCH(bool, hasNextRun);
    QFETCH(TDateTime, nextRun);
    QFETCH(TDateTime, now);
    QFETCH(bool, due);

    const qint64 id = FDatabase->AddSchedule(QStringLiteral("E:\\Config\\Job.zja"), QStringLiteral("Job"));
    FDatabase->SetNextRunTime(id, hasNextRun ? std::optional<TDateTime>(nextRun) : std::nullopt);
    QCOMPARE(FDatabase->DueTimeSchedules(now).size(), due ? 1 : 0);

    // Clearing the next run takes the row out of the due list.
    FDatabase->SetNextRunTime(id, std::nullopt);
    QVERIFY(FDatabase->DueTimeSchedules(now).isEmpty());
    QVERIFY(!FDatabase->AllSchedules().first().NextRunTime.has_value());
}

void TestProgramDatabase::jobFileLookup_data()
{
    QTest::addColumn<QStringList>("stored"); // "T|path" or "F|path", in row order
    QTest::addColumn<QString>("asked");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("foundRow"); // index into stored, -1 for none

    const QString job = QStringLiteral("E:\\Config\\Job.zja");
    QTest::newRow("same path") << QStringList{"T|" + job} << job << int(ssActive) << 0;
    QTest::newRow("other letter and case")
        << QStringList{"T|" + job} << QStringLiteral("f:\\CONFIG\\job.ZJA") << int(ssActive) << 0;
    QTest::newRow("non-ASCII case") << QStringList{QStringLiteral("T|E:\\Config\\Änderung.zja")}
                                    << QStringLiteral("G:\\config\\äNDERUNG.zja") << int(ssActive) << 0;
    QTest::newRow("inactive") << QStringList{"F|" + job} << job << int(ssInactive) << 0;
    QTest::newRow("first row decides") << QStringList{"F|" + job, "T|" + job} << job << int(ssInactive) << 0;
    QTest::newRow("other jobs are skipped")
        << QStringList{QStringLiteral("T|E:\\Config\\Other.zja"), "F|" + job} << job << int(ssInactive) << 1;
    QTest::newRow("longer name is another job")
        << QStringList{QStringLiteral("T|E:\\Config\\Job.zja.old")} << job << int(ssNotScheduled) << -1;
    QTest::newRow("deeper folder is another job")
        << QStringList{QStringLiteral("T|E:\\Old\\Config\\Job.zja")} << job << int(ssNotScheduled) << -1;
    QTest::newRow("bare drive matches nothing")
        << QStringList{"T|" + job, QStringLiteral("T|")} << QStringLiteral("E:") << int(ssNotScheduled) << -1;
    QTest::newRow("no rows") << QStringList{} << job << int(ssNotScheduled) << -1;
}

void TestProgramDatabase::jobFileLookup()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, asked);
    QFETCH(int, state);
    QFETCH(int, foundRow);

    QList<qint64> ids;
    for (const QString &entry : stored) {
        TScheduleRunRow row;
        row.ID = FDatabase->AddSchedule(entry.mid(2), QStringLiteral("Job"));
        row.FileName = entry.mid(2);
        row.Active = entry.startsWith(QLatin1Char('T'));
        FDatabase->UpdateSchedule(row);
        ids << row.ID;
    }
    QCOMPARE(int(FDatabase->IsScheduled(asked)), state);
    const std::optional<TScheduleRunRow> found = FDatabase->FindScheduleOfJobFile(asked);
    QCOMPARE(found.has_value(), foundRow >= 0);
    if (found)
        QCOMPARE(found->ID, ids.at(foundRow));
}

void TestProgramDatabase::renamedJobFileIsFoundUnderItsNewName()
{
    TScheduleRunRow row;
    row.ID = FDatabase->AddSchedule(QString(), QStringLiteral("Photos"));
    row.FileName = QStringLiteral("E:\\Config\\Photos.zja");
    row.JobName = QStringLiteral("Photos");
    FDatabase->UpdateSchedule(row);
    QCOMPARE(FDatabase->IsScheduled(QStringLiteral("H:\\Config\\photos.zja")), ssActive);

    row.FileName = QStringLiteral("E:\\Config\\Pictures.zja");
    FDatabase->UpdateSchedule(row);
    QCOMPARE(FDatabase->IsScheduled(QStringLiteral("E:\\Config\\Photos.zja")), ssNotScheduled);
    QCOMPARE(FDatabase->IsScheduled(QStringLiteral("E:\\Config\\PICTURES.zja")), ssActive);
}

void TestProgramDatabase::rowsWithoutFileAreRemoved()
{
    const qint64 empty1 = FDatabase->AddSchedule(QString(), QStringLiteral("-"));
    const qint64 kept = FDatabase->AddSchedule(QStringLiteral("E:\\Config\\Job.zja"), QStringLiteral("Job"));
    const qint64 empty2 = FDatabase->AddSchedule(QString(), QStringLiteral("-"));
    const qint64 blank = FDatabase->AddSchedule(QStringLiteral(" "), QStringLiteral("-"));
    Q_UNUSED(empty1);
    Q_UNUSED(empty2);

    QCOMPARE(FDatabase->DeleteSchedulesWithoutFile(), 2);
    QCOMPARE(Ids(FDatabase->AllSchedules()), (QList<qint64>{kept, blank}));
    QCOMPARE(FDatabase->DeleteSchedulesWithoutFile(), 0);
}

void TestProgramDatabase::scheduleBlobRoundTrip()
{
    const qint64 id = FDatabase->AddSchedule(QStringLiteral("E:\\Config\\Job.zja"), QStringLiteral("Job"));
    TScheduleRunRow row = FDatabase->AllSchedules().first();
    QCOMPARE(row.ID, id);
    QCOMPARE(row.Mode, int(stTime));
    QVERIFY(row.Active);
    QVERIFY(!row.NextRunTime.has_value());
    QVERIFY(!row.Data.has_value());

    TSchedule schedule;
    schedule.SetScheduleMode(smWeekly);
    schedule.SetWeekDays(dMonday | dThursday);
    schedule.SetTimeH(10);
    row.Data = schedule.SaveToBytes();
    row.NextRunTime = schedule.GetNextTransfer(At(2014, 7, 8, 15, 0));
    FDatabase->UpdateSchedule(row);

    const TScheduleRunRow read = FDatabase->AllSchedules().first();
    QVERIFY(read.Data.has_value());
    QCOMPARE(*read.Data, *row.Data);
    QCOMPARE(read.NextRunTime, std::optional<TDateTime>(At(2014, 7, 10, 10, 0)));
    TSchedule loaded;
    loaded.LoadFromBlob(read.Data);
    QCOMPARE(loaded.WeekDays(), dMonday | dThursday);

    // An empty blob is not the same as no blob.
    row.Data = QByteArray("");
    FDatabase->UpdateSchedule(row);
    QVERIFY(FDatabase->AllSchedules().first().Data.has_value());
}

void TestProgramDatabase::missingRowIsReported()
{
    TScheduleRunRow row;
    row.ID = 4711;
    row.FileName = QStringLiteral("E:\\Config\\Job.zja");
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, FDatabase->UpdateSchedule(row));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, FDatabase->SetNextRunTime(4711, At(2014, 7, 10, 9, 5)));
    QVERIFY(FDatabase->AllSchedules().isEmpty());
}

void TestProgramDatabase::deletedFilesLog_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addColumn<qint64>("total");

    QTest::newRow("empty log") << QStringList{} << QList<qint64>{} << qint64(0);
    QTest::newRow("quotes in names") << QStringList{QStringLiteral("2014\\O'Brien's.txt"),
                                                    QStringLiteral("a'';--.txt")}
                                     << QList<qint64>{10, 32} << qint64(42);
    QTest::newRow("beyond 32 bits") << QStringList{QStringLiteral("a.iso"), QStringLiteral("b.iso")}
                                    << QList<qint64>{Q_INT64_C(3221225472), Q_INT64_C(2147483648)}
                                    << Q_INT64_C(5368709120);
    QTest::newRow("empty files") << QStringList{QStringLiteral("x"), QStringLiteral("y")}
                                 << QList<qint64>{0, 0} << qint64(0);
}

void TestProgramDatabase::deletedFilesLog()
{
    QFETCH(QStringList, names);
    QFETCH(QList<qint64>, sizes);
    QFETCH(qint64, total);

    for (qsizetype i = 0; i < names.size(); ++i)
        FDatabase->AddDeletedFile(names.at(i), sizes.at(i));
    QCOMPARE(FDatabase->DeletedFilesSize(), total);

    TSqliteStatement query(FDatabase->Connection(), QStringLiteral("SELECT FileName FROM DeleteDataLog"));
    QStringList stored;
    while (query.Step())
        stored << query.ColumnText(0);
    QCOMPARE(stored, names);

    FDatabase->ClearDeletedFiles();
    QCOMPARE(FDatabase->DeletedFilesSize(), qint64(0));
}

void TestProgramDatabase::secondConnectionSeesWorkerRows()
{
    const QString path = FFolder->filePath(QStringLiteral("ProgramData.zjd"));
    {
        TProgramDatabase worker(path);
        TSqliteBatchCommitter batch(worker.Connection());
        for (int i = 0; i < 3; ++i)
            batch.Write([&] { worker.AddDeletedFile(QStringLiteral("f%1").arg(i), 100); });
    }
    QCOMPARE(FDatabase->DeletedFilesSize(), qint64(300));
}

void TestProgramDatabase::unusableFilesAreRefusedAndLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a database") << "text";
    QTest::newRow("empty database") << "empty";
    QTest::newRow("newer version") << "newer";
    QTest::newRow("missing table") << "missing";
}

void TestProgramDatabase::unusableFilesAreRefusedAndLeftAlone()
{
    QFETCH(QString, kind);
    const QString path = FFolder->filePath(QStringLiteral("Other.zjd"));
    if (kind == QLatin1String("text")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("This is a job list, not a database.\n");
    } else {
        TSqliteOpenOptions options;
        options.Mode = TOpenMode::CreateNew;
        TSqliteDatabase database(path, options);
        if (kind == QLatin1String("empty")) {
            database.Exec(QStringLiteral("CREATE TABLE Unrelated (x)"));
        } else {
            CreateProgramDatabaseSchema(database);
            if (kind == QLatin1String("newer"))
                database.SetSchemaVersion(TProgramDatabase::SchemaVersion + 1);
            else
                database.Exec(QStringLiteral("DROP TABLE DeleteDataLog"));
        }
    }
    const QByteArray before = FileContent(path);
    QVERIFY(!before.isEmpty());
    try {
        TProgramDatabase database(path);
        QFAIL("an unusable file was opened as a program database");
    } catch (const EDatabaseError &error) {
        QVERIFY2(error.Message().contains(path), qPrintable(error.Message()));
    }
    QCOMPARE(FileContent(path), before);
}

QTEST_GUILESS_MAIN(TestProgramDatabase)
#include "tst_programdatabase.moc"
