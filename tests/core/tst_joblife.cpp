#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/JobDeletion.h"
#include "db/ProgramDatabase.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/JobRunLock.h"

#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

using namespace trovalo;

namespace {

const char *const HelperSwitch = "--run-lock-helper";
const QString Guid = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
const QString JobFile = QStringLiteral("E:\\Config\\b.Zja");

// Another process running a job: takes its lock, says "held" (or "refused")
// and keeps it until it is killed or its input closes.
int RunLockHelper(char **argv)
{
    try {
        const TJobRunLock lock = TJobRunLock::Take(QString::fromUtf8(argv[2]), QString::fromUtf8(argv[3]));
        std::puts("held");
        std::fflush(stdout);
        for (char byte = 0; ::read(STDIN_FILENO, &byte, 1) > 0;) {
        }
    } catch (const EUserException &) {
        std::puts("refused");
    }
    return 0;
}

QString StartHelper(QProcess &helper, const QString &guid)
{
    helper.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(HelperSwitch), guid, JobFile});
    return helper.waitForReadyRead(10000) ? QString::fromUtf8(helper.readLine()).trimmed() : QString();
}

bool Ask(const QString &query, const QString &argument)
{
    if (query == QLatin1String("guid"))
        return TJobRunLock::IsRunning(argument);
    if (query == QLatin1String("file"))
        return TJobRunLock::IsJobFileRunning(argument);
    return !TJobRunLock::RunningJobsOfDrive(argument).isEmpty();
}

QByteArray PCSyncJob(const QStringList &itemIds)
{
    TPCSyncData job;
    for (const QString &id : itemIds)
        job.SyncDataItems()->Add()->SetID(id);
    return job.SaveToBytes();
}

} // namespace

class TestJobLife : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(FRuntime.isValid());
        qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
    }

    void runSeenFromAnotherProcess_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("argument"); // "<E>": drive E's native folder
        QTest::addColumn<bool>("running");
        QTest::newRow("its GUID") << "guid" << Guid << true;
        QTest::newRow("its GUID, plain lower case") << "guid" << Guid.toLower().mid(1, 36) << true;
        QTest::newRow("another GUID") << "guid"
                                      << "{00000001-8B86-D011-B42D-00C04FC964FF}" << false;
        QTest::newRow("its job file") << "file" << JobFile << true;
        QTest::newRow("another job file") << "file"
                                          << "E:\\Config\\c.Zja" << false;
        QTest::newRow("its drive letter") << "drive"
                                          << "E:\\" << true;
        QTest::newRow("its drive folder") << "drive"
                                          << "<E>" << true;
        QTest::newRow("another drive") << "drive"
                                       << "C:\\" << false;
    }

    void runSeenFromAnotherProcess()
    {
        QFETCH(QString, query);
        QFETCH(QString, argument);
        QFETCH(bool, running);
        test::TTestDrives drives;
        test::PutAt(JobFile, "job");
        argument.replace(QStringLiteral("<E>"), drives.NativeRoot('E'));
        QProcess helper;
        QCOMPARE(StartHelper(helper, Guid), QStringLiteral("held"));
        QCOMPARE(Ask(query, argument), running);
        // However the run ends, the mark goes with its process.
        helper.kill();
        QVERIFY(helper.waitForFinished(10000));
        QVERIFY(!Ask(query, argument));
    }

    void oneRunAtATime_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::newRow("GUID") << Guid;
        QTest::newRow("no GUID: by job file") << "";
        QTest::newRow("hostile GUID") << "..\\../../evil";
    }

    void oneRunAtATime()
    {
        QFETCH(QString, guid);
        test::TTestDrives drives;
        test::PutAt(JobFile, "job");
        const QString name = TJobRunLock::LockFileName(guid, JobFile);
        QVERIFY2(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')), qPrintable(name));
        std::optional<TJobRunLock> lock = TJobRunLock::TryTake(guid, JobFile);
        QVERIFY(lock && QFile::exists(TJobRunLock::LockFolder() + QLatin1Char('/') + name));
        QVERIFY(TJobRunLock::IsJobFileRunning(JobFile));
        QVERIFY(!TJobRunLock::TryTake(guid, JobFile));
        QProcess other;
        QCOMPARE(StartHelper(other, guid), QStringLiteral("refused"));
        QVERIFY(other.waitForFinished(10000));
        lock->Release();
        QVERIFY(!TJobRunLock::IsJobFileRunning(JobFile));
        QVERIFY(TJobRunLock::TryTake(guid, JobFile));
    }

    void deleteJob_data()
    {
        QTest::addColumn<QString>("job"); // in E:\Config
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("belonging"); // below E:\Config
        QTest::addColumn<bool>("running");
        TArchiveData move;
        move.SetArchiveMode(amMove);
        const QByteArray backup = TArchiveData().SaveToBytes();
        QTest::newRow("backup") << "b.Zja" << backup << QStringList{"b.Zjd", "b.Zjd-journal"} << false;
        QTest::newRow("move") << "m.Zjm" << move.SaveToBytes() << QStringList{"m.Zjd"} << false;
        QTest::newRow("sync") << "s.Zjs" << TSyncData().SaveToBytes()
                              << QStringList{"s.Zjt", "s.Zjt-wal", "s.Zjt-shm"} << false;
        QTest::newRow("pc-pc sync, one item ID leading out")
            << "p.Zjp" << PCSyncJob({"OFFICE", "HOME", "..\\Keep"})
            << QStringList{"OFFICE.Zjt", "HOME.Zjt", "HOME.Zjt-journal"} << false;
        QTest::newRow("unreadable") << "u.Zja" << QByteArray("junk") << QStringList{"u.Zjd"} << false;
        QTest::newRow("running") << "r.Zja" << backup << QStringList{"r.Zjd"} << true;
    }

    void deleteJob()
    {
        QFETCH(QString, job);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, belonging);
        QFETCH(bool, running);
        test::TTestDrives drives;
        const QString config = QStringLiteral("E:\\Config\\");
        const QStringList files = QStringList{job} + belonging;
        // Another job's databases and the file the item ID points at stay.
        const QStringList others = {config + "Other.Zjd", config + "Other.Zjt", "E:\\Keep.Zjt"};
        for (const QString &file : files)
            test::PutAt(config + file, file == job ? content : "data");
        for (const QString &file : others)
            test::PutAt(file, "data");
        const QString programDatabase = QStringLiteral("C:\\ProgramData\\ProgramData.zjd");
        QVERIFY(ForceFolder(ExtractFilePath(programDatabase)));
        CreateProgramDatabaseFile(NativePath(programDatabase));
        TProgramDatabase schedules(NativePath(programDatabase));
        for (const QString &scheduled : {config + job, "F:\\Config\\" + job, config + "Other.Zja"})
            schedules.AddSchedule(scheduled, QStringLiteral("job"));

        std::optional<TJobRunLock> lock;
        if (running) {
            TArchiveData record;
            record.LoadFromBytes(content);
            lock = TJobRunLock::Take(record.FileGUID(), config + job);
            QVERIFY_THROWS_EXCEPTION(EUserException, DeleteJob(config + job, programDatabase));
        } else {
            const TJobDeletion deletion = DeleteJob(config + job, programDatabase);
            QVERIFY2(deletion.Complete(), qPrintable(deletion.Problems()));
            QCOMPARE(deletion.Deleted.size(), files.size());
        }
        for (const QString &file : files)
            QVERIFY2(FileExists(config + file) == running, qPrintable(file));
        for (const QString &file : others)
            QVERIFY2(FileExists(file), qPrintable(file));
        // Its schedules go under any drive letter.
        QCOMPARE(schedules.AllSchedules().size(), running ? 3 : 1);
    }

private:
    QTemporaryDir FRuntime;
};

int main(int argc, char **argv)
{
    if (argc >= 4 && qstrcmp(argv[1], HelperSwitch) == 0)
        return RunLockHelper(argv);
    QCoreApplication app(argc, argv);
    TestJobLife test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_joblife.moc"
