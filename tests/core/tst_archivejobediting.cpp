#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/ArchiveJobEditing.h"
#include "db/DatabaseTemplate.h"
#include "db/JobDatabase.h"
#include "model/ArchiveData.h"
#include "platform/DriveTable.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace trovalo;

namespace {
const QString ThisPc = QStringLiteral("1A2B - 3C4D");
const QString JobFile = QStringLiteral("E:\\Config\\Backup2026-01-31 14-05-09 042.Zja");
const QString JobDatabase = QStringLiteral("E:\\Config\\Backup2026-01-31 14-05-09 042.Zjd");
const QString JobDatabaseNative = QStringLiteral("Config/Backup2026-01-31 14-05-09 042.Zjd");

QString Native(const QString &letterPath)
{
    return NativePath(letterPath);
}

std::unique_ptr<TArchiveData> LoadedJob(const QString &jobFile)
{
    auto job = std::make_unique<TArchiveData>();
    job->SetGUID(QString());
    LoadFromFile(*job, jobFile);
    return job;
}

// A job database with one FileLog row and one finished run.
void MakeJobDatabase(const QString &database)
{
    TDatabaseTemplate::CreateIfMissing(database, TJobDatabase::TemplateName, &TJobDatabase::CreateSchema);
    TJobDatabase db(database);
    db.RecordFile(QStringLiteral("C:\\Data\\a.txt"), 45000.5);
    db.FinishRun(db.StartRun(QStringLiteral("E:\\Backup\\"), 45000.5, amIncremental),
                 TJobDatabase::StatusFinished);
}

// Writes fail beyond the first byte of any file while it lives, whoever
// runs the test (root ignores permission bits, not resource limits).
class TFileSizeLimit
{
public:
    TFileSizeLimit()
    {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOld;
        limit.rlim_cur = 1;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit &) = delete;
    TFileSizeLimit &operator=(const TFileSizeLimit &) = delete;

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};
} // namespace

class TestArchiveJobEditing : public QObject
{
    Q_OBJECT

private slots:
    void newJobFileName_data();
    void newJobFileName();
    void onDrive_data();
    void onDrive();
    void folderProblem_data();
    void folderProblem();
    void guid_data();
    void guid();
    void staleDatabase();
    void failedSaveKeepsTheFile_data();
    void failedSaveKeepsTheFile();
    void resetBackupJob();
    void resetWithoutDatabase();
    void resetDamagedDatabase();
};

void TestArchiveJobEditing::newJobFileName_data()
{
    QTest::addColumn<QString>("driveRoot");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");
    QTest::newRow("backup") << "E:\\"
                            << "Backup"
                            << ".Zja"
                            << "E:\\Config\\Backup2026-01-31 14-05-09 042.Zja";
    QTest::newRow("move, root without backslash") << "E:"
                                                  << "Move "
                                                  << ".Zjm"
                                                  << "E:\\Config\\Move 2026-01-31 14-05-09 042.Zjm";
    QTest::newRow("sync") << "F:\\"
                          << "sync "
                          << ".Zjs"
                          << "F:\\Config\\sync 2026-01-31 14-05-09 042.Zjs";
}

void TestArchiveJobEditing::newJobFileName()
{
    QFETCH(QString, driveRoot);
    QFETCH(QString, prefix);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2026, 1, 31), QTime(14, 5, 9, 42));
    QCOMPARE(NewJobFileName(driveRoot, prefix, extension, now), expected);
}

void TestArchiveJobEditing::onDrive_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("expected");
    QTest::newRow("folder") << "F:\\Photos\\"
                            << "E:"
                            << "E:\\Photos\\";
    QTest::newRow("file") << "F:\\Photos\\a.jpg"
                          << "E:"
                          << "E:\\Photos\\a.jpg";
    QTest::newRow("root") << "F:\\"
                          << "E:"
                          << "E:\\";
    QTest::newRow("bare root") << "F:"
                               << "E:"
                               << "E:\\";
    QTest::newRow("same drive") << "E:\\Photos\\"
                                << "E:"
                                << "E:\\Photos\\";
    QTest::newRow("drive given with backslash") << "F:\\Photos\\"
                                                << "E:\\"
                                                << "E:\\Photos\\";
    QTest::newRow("from a share") << "\\\\old\\share\\x"
                                  << "E:"
                                  << "E:\\x";
    QTest::newRow("onto a share") << "F:\\Photos\\"
                                  << "\\\\srv\\share"
                                  << "\\\\srv\\share\\Photos\\";
}

void TestArchiveJobEditing::onDrive()
{
    QFETCH(QString, path);
    QFETCH(QString, drive);
    QFETCH(QString, expected);
    QCOMPARE(OnDrive(path, drive), expected);
}

void TestArchiveJobEditing::folderProblem_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("excludes");
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("deleteFiles");
    QTest::addColumn<QString>("message"); // %1: the folder concerned, with its native path
    QTest::addColumn<QString>("folder");
    const QString destinationInside =
        QStringLiteral("The destination folder is inside a folder you chose to back up:\r\n%1\r\nEvery run "
                       "would copy its own "
                       "backup again. Choose a destination outside it, or exclude the destination from it.");
    const QString sourceInside =
        QStringLiteral("A folder you chose to back up is inside the destination "
                       "folder:\r\n%1\r\nChoose a destination outside the folders you "
                       "back up.");
    const QString deletesHome = QStringLiteral(
        "This move job would delete every file in %1 after copying it.\r\nChoose a folder inside "
        "it, or untick \"Scratch\" to keep the source files.");
    QTest::newRow("fine") << "E:\\Backup\\" << QStringList{"C:\\home\\ann\\Docs\\"} << QStringList{} << false
                          << false << ""
                          << "";
    QTest::newRow("destination inside a source")
        << "C:\\home\\ann\\Docs\\Backup\\" << QStringList{"C:\\home\\ann\\Docs\\"} << QStringList{} << false
        << false << destinationInside << "C:\\home\\ann\\Docs\\";
    QTest::newRow("destination in an excluded folder")
        << "C:\\home\\ann\\Docs\\Backup\\" << QStringList{"C:\\home\\ann\\Docs\\"}
        << QStringList{"C:\\home\\ann\\Docs\\Backup\\"} << false << false << ""
        << "";
    QTest::newRow("source inside the destination")
        << "E:\\" << QStringList{"C:\\home\\ann\\Docs\\", "C:\\media\\ann\\STICK\\Docs\\"} << QStringList{}
        << false << false << sourceInside << "C:\\media\\ann\\STICK\\Docs\\";
    QTest::newRow("a move that deletes the home folder")
        << "E:\\Backup\\" << QStringList{"C:\\home\\ann\\Docs\\", "C:\\home\\ann\\"} << QStringList{} << true
        << true << deletesHome << "C:\\home\\ann\\";
    QTest::newRow("a move that deletes the computer's root")
        << "E:\\Backup\\" << QStringList{"R:\\"} << QStringList{} << true << true << deletesHome << "R:\\";
    QTest::newRow("a move that deletes the home folder it backs up into")
        << "C:\\home\\ann\\Backup\\" << QStringList{"C:\\home\\ann\\"} << QStringList{} << true << true
        << deletesHome << "C:\\home\\ann\\";
    QTest::newRow("a move that keeps the home folder's files")
        << "E:\\Backup\\" << QStringList{"C:\\home\\ann\\"} << QStringList{} << true << false << ""
        << "";
    QTest::newRow("a backup of the home folder")
        << "E:\\Backup\\" << QStringList{"C:\\home\\ann\\"} << QStringList{} << false << true << ""
        << "";
    QTest::newRow("a move that deletes a folder in home")
        << "E:\\Backup\\" << QStringList{"C:\\home\\ann\\Docs\\"} << QStringList{} << true << true << ""
        << "";
}

void TestArchiveJobEditing::folderProblem()
{
    QFETCH(QString, destination);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, excludes);
    QFETCH(bool, move);
    QFETCH(bool, deleteFiles);
    QFETCH(QString, message);
    QFETCH(QString, folder);
    // The stick E: is mounted inside C:, R: is the computer's root.
    test::TTestDrives drives({{'C', QString()}});
    drives.AddDrive('E', drives.Native('C', QStringLiteral("media/ann/STICK")), QStringLiteral("bus=USB"));
    drives.AddDrive('R', QStringLiteral("/"));
    QDir().mkpath(drives.Native('C', QStringLiteral("home/ann/Docs")));
    QDir().mkpath(drives.Native('E', QStringLiteral("Docs")));
    const test::TScopedEnv home("HOME", drives.Native('C', QStringLiteral("home/ann")));

    TArchiveData job;
    job.SetArchiveMode(move ? amMove : amIncremental);
    job.SetDeleteFile(deleteFiles);
    job.SetDestination(destination);
    job.SetFolderList(folders);
    job.SetExcludeList(excludes);
    QCOMPARE(ArchiveJobFolderProblem(job), message.isEmpty() ? QString() : message.arg(WithNative(folder)));
}

void TestArchiveJobEditing::guid_data()
{
    QTest::addColumn<QString>("guid"); // the new job's GUID before its first save
    QTest::addColumn<bool>("kept");
    QTest::newRow("blank") << "" << false;
    QTest::newRow("spaces") << "  " << false;
    QTest::newRow("not a GUID") << "{not-a-guid}" << false;
    QTest::newRow("a real GUID") << "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}" << true;
}

void TestArchiveJobEditing::guid()
{
    QFETCH(QString, guid);
    QFETCH(bool, kept);
    test::TTestDrives drives;
    TArchiveData job;
    job.SetGUID(guid);
    job.SetPCID(QStringLiteral("FFFF - 0000"));
    SaveArchiveJob(job, JobFile, true, ThisPc);
    const QString first = job.GUID();
    QVERIFY(!QUuid::fromString(first).isNull());
    if (kept)
        QCOMPARE(first, guid);
    const std::unique_ptr<TArchiveData> saved = LoadedJob(JobFile);
    QCOMPARE(saved->GUID(), first);
    QCOMPARE(saved->PCID(), ThisPc);

    // Saved again, changed or as a new job once more: the GUID stays.
    job.SetBackupName(QStringLiteral("Photos"));
    SaveArchiveJob(job, JobFile, false, ThisPc);
    QCOMPARE(LoadedJob(JobFile)->GUID(), first);
    SaveArchiveJob(job, JobFile, true, ThisPc);
    QCOMPARE(LoadedJob(JobFile)->GUID(), first);
    QCOMPARE(LoadedJob(JobFile)->BackupName(), QStringLiteral("Photos"));

    // Another new job gets a GUID of its own.
    TArchiveData other;
    other.SetGUID(QString());
    SaveArchiveJob(other, QStringLiteral("E:\\Config\\Backup2.Zja"), true, ThisPc);
    QVERIFY(!QUuid::fromString(other.GUID()).isNull());
    QVERIFY(other.GUID() != first);
}

void TestArchiveJobEditing::staleDatabase()
{
    test::TTestDrives drives;
    // No Config folder yet: the save makes it.
    QVERIFY(!QFileInfo::exists(drives.Native('E', QStringLiteral("Config"))));
    TArchiveData job;
    SaveArchiveJob(job, JobFile, true, ThisPc);
    QVERIFY(QFileInfo(Native(JobFile)).isFile());

    // Leftovers of an earlier job of that name go with a new save...
    const QStringList leftovers{JobDatabaseNative, JobDatabaseNative + "-wal", JobDatabaseNative + "-journal",
                                JobDatabaseNative + "-shm"};
    for (const QString &file : leftovers)
        test::WriteFile(drives.Native('E', file), "stale");
    const QString unrelated = drives.Native('E', QStringLiteral("Config/Backup1.Zjd"));
    test::WriteFile(unrelated, "another job's");
    TArchiveData fresh;
    SaveArchiveJob(fresh, JobFile, true, ThisPc);
    for (const QString &file : leftovers)
        QVERIFY2(!QFileInfo::exists(drives.Native('E', file)), qPrintable(file));
    QCOMPARE(test::ReadOrMissing(unrelated), QByteArray("another job's"));

    // ...but the job's own database stays when it is saved again.
    MakeJobDatabase(JobDatabase);
    SaveArchiveJob(fresh, JobFile, false, ThisPc);
    QVERIFY(HasJobDatabase(JobFile));
    QCOMPARE(TJobDatabase(JobDatabase).FileRows().size(), 1);
}

void TestArchiveJobEditing::failedSaveKeepsTheFile_data()
{
    QTest::addColumn<bool>("readOnlyFolder"); // else a file size limit stops the write
    QTest::newRow("read-only folder") << true;
    QTest::newRow("write fails") << false;
}

void TestArchiveJobEditing::failedSaveKeepsTheFile()
{
    QFETCH(bool, readOnlyFolder);
    test::TTestDrives drives;
    TArchiveData job;
    job.SetBackupName(QStringLiteral("Before"));
    SaveArchiveJob(job, JobFile, true, ThisPc);
    const QByteArray before = test::ReadOrMissing(Native(JobFile));
    const QString config = drives.Native('E', QStringLiteral("Config"));
    const QFileDevice::Permissions permissions = QFile::permissions(config);

    job.SetBackupName(QStringLiteral("After"));
    QString message;
    if (readOnlyFolder) {
        QVERIFY(QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QString probe = config + QStringLiteral("/probe");
        if (QFile(probe).open(QIODevice::WriteOnly)) {
            QFile::remove(probe);
            QFile::setPermissions(config, permissions);
            QSKIP("permission bits do not bind this user (root)");
        }
        try {
            SaveArchiveJob(job, JobFile, false, ThisPc);
        } catch (const EFileError &error) {
            message = error.Message();
        }
        QFile::setPermissions(config, permissions);
    } else {
        const TFileSizeLimit limit;
        try {
            SaveArchiveJob(job, JobFile, false, ThisPc);
        } catch (const EFileError &error) {
            message = error.Message();
        }
    }
    QVERIFY2(message.contains(JobFile), qPrintable(message));
    QCOMPARE(test::ReadOrMissing(Native(JobFile)), before);
    QCOMPARE(LoadedJob(JobFile)->BackupName(), QStringLiteral("Before"));
    QCOMPARE(QDir(config).entryList(QDir::Files | QDir::Hidden), QStringList{ExtractFileName(JobFile)});
}

void TestArchiveJobEditing::resetBackupJob()
{
    test::TTestDrives drives;
    TArchiveData job;
    SaveArchiveJob(job, JobFile, true, ThisPc);
    QVERIFY(!HasJobDatabase(JobFile));
    MakeJobDatabase(JobDatabase);
    QVERIFY(HasJobDatabase(JobFile));

    QVERIFY(ResetBackupJob(JobFile));
    TJobDatabase database(JobDatabase);
    QCOMPARE(database.FileRows().size(), 0);
    const QList<TArchiveLogRow> runs = database.ArchiveRuns();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().Status, TJobDatabase::StatusFinished);
}

void TestArchiveJobEditing::resetWithoutDatabase()
{
    test::TTestDrives drives;
    TArchiveData job;
    SaveArchiveJob(job, JobFile, true, ThisPc);
    QVERIFY(!HasJobDatabase(JobFile));
    QVERIFY(!ResetBackupJob(JobFile));
    QVERIFY(!QFileInfo::exists(Native(JobDatabase))); // not made by asking
    QVERIFY(!HasJobDatabase(QStringLiteral("Z:\\Config\\Backup1.Zja")));
    QVERIFY(!ResetBackupJob(QStringLiteral("Z:\\Config\\Backup1.Zja")));
}

void TestArchiveJobEditing::resetDamagedDatabase()
{
    test::TTestDrives drives;
    test::PutNative(drives.Native('E', JobDatabaseNative), QByteArray(4096, 'x'));
    QVERIFY(HasJobDatabase(JobFile));
    try {
        ResetBackupJob(JobFile);
        QFAIL("no EFileError");
    } catch (const EFileError &error) {
        QVERIFY2(error.Message().contains(JobDatabase), qPrintable(error.Message()));
    }
}

QTEST_GUILESS_MAIN(TestArchiveJobEditing)
#include "tst_archivejobediting.moc"
