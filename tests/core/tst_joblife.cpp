#include "TestDrives.h"
#include "TestFiles.h"

#include "model/Exceptions.h"
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
