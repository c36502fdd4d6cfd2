#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "control/ArchiveJobLauncher.h"
#include "engine/CopyFolderThread.h"
#include "engine/ZipFolderThread.h"
#include "model/ArchiveData.h"
#include "model/SyncData.h"
#include "model/ZlibContainer.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QtTest>

using namespace trovalo;

namespace {
const QString ThisPc = QStringLiteral("1A2B - 3C4D");
const QString JobFile = QStringLiteral("F:\\Config\\Backup1.Zja");
const TDateTime Old = 41000.5;

TDateTime At(int hour, int minute, int second = 0)
{
    return EncodeDateTime(QDate(2014, 7, 10), QTime(hour, minute, second));
}

class TAnswers : public TLaunchQuestions
{
public:
    bool Answer = true;
    QStringList Asked;
    QStringList Missing;
    bool ConfirmForeignJob(const QString &, const QString &jobPcId) override
    {
        Asked << QStringLiteral("foreign:") + jobPcId;
        return Answer;
    }
    bool ConfirmMissingItems(const QStringList &missing, int) override
    {
        Asked << QStringLiteral("missing");
        Missing = missing;
        return Answer;
    }
};

// A move job saved when the stick was E:, whose file now lies on F:; every
// item it names exists.
struct TJobOnF
{
    test::TTestDrives Drives{{{'C', QString()}, {'F', QStringLiteral("bus=USB")}}};
    TArchiveData Job;

    TJobOnF()
    {
        QDir().mkpath(Drives.Native('C', QStringLiteral("Docs/tmp")));
        QDir().mkpath(Drives.Native('F', QStringLiteral("Backup")));
        QDir().mkpath(Drives.Native('F', QStringLiteral("Config")));
        test::WriteFile(Drives.Native('C', QStringLiteral("single.txt")), "x");
        Job.SetArchiveDir(amPcToUsb);
        Job.SetArchiveMode(amMove);
        Job.SetDeleteFile(true);
        Job.SetDestination(QStringLiteral("E:\\Backup\\"));
        Job.SetFolderList({QStringLiteral("C:\\Docs\\")});
        Job.SetExcludeList({QStringLiteral("C:\\Docs\\tmp\\")});
        Job.SetFileList({QStringLiteral("C:\\single.txt")});
        Job.FileFilter()->SetExcludeFileExtList({QStringLiteral(".tmp")});
        Job.SetPCID(ThisPc);
        Job.SetLastUpdate(Old);
    }
    QByteArray Save() const
    {
        SaveToFile(Job, JobFile);
        return Bytes();
    }
    QByteArray Bytes() const
    {
        return test::ReadOrMissing(Drives.Native('F', QStringLiteral("Config/Backup1.Zja")));
    }
};
} // namespace

class TestArchiveJobLauncher : public QObject
{
    Q_OBJECT

private slots:
    void rebase_data();
    void rebase();
    void runDestination_data();
    void runDestination();
    void engineGetsTheJob();
    void zipJobGetsTheZipEngine();
    void questions_data();
    void questions();
    void refusedFiles_data();
    void refusedFiles();
};

void TestArchiveJobLauncher::rebase_data()
{
    QTest::addColumn<int>("dir");
    QTest::addColumn<QString>("jobFile");
    QTest::addColumn<QStringList>("before"); // destination, then sources
    QTest::addColumn<QStringList>("after");
    QTest::newRow("to USB: saved on E:, run from F:")
        << int(amPcToUsb) << JobFile << QStringList{"E:\\Backup\\", "C:\\Users\\"}
        << QStringList{"F:\\Backup\\", "C:\\Users\\"};
    QTest::newRow("from USB: sources and bare roots follow")
        << int(amUsbToPc) << JobFile
        << QStringList{"C:\\Restore\\", "E:\\Data\\", "E:\\", "E:", "\\\\old\\share\\x"}
        << QStringList{"C:\\Restore\\", "F:\\Data\\", "F:\\", "F:\\", "F:\\x"};
    QTest::newRow("USB to USB: nothing moves")
        << int(amUsbToUSB) << JobFile << QStringList{"E:\\Backup\\", "G:\\Data\\"}
        << QStringList{"E:\\Backup\\", "G:\\Data\\"};
    QTest::newRow("to USB on a network share")
        << int(amPcToUsb) << QStringLiteral("\\\\srv\\share\\Config\\x.Zja") << QStringList{"E:\\Backup\\"}
        << QStringList{"\\\\srv\\share\\Backup\\"};
}

void TestArchiveJobLauncher::rebase()
{
    QFETCH(int, dir);
    QFETCH(QString, jobFile);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    TArchiveData job;
    job.SetArchiveDir(TArchiveDir(dir));
    job.SetDestination(before.first());
    job.SetFolderList(before.mid(1));
    job.SetExcludeList(before.mid(1));
    job.SetFileList(before.mid(1));
    TArchiveJobLauncher::RebaseToJobDrive(job, jobFile);
    QCOMPARE(job.Destination(), after.first());
    QCOMPARE(job.FolderList(), after.mid(1));
    QCOMPARE(job.ExcludeList(), after.mid(1));
    QCOMPARE(job.FileList(), after.mid(1));
}

void TestArchiveJobLauncher::runDestination_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<TDateTime>("start");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("fromStart"); // FromDate is the start, else 0

    const QString stamped = QStringLiteral("F:\\Backup\\ 2014-07-10 09-15\\");
    QTest::newRow("time-stamped") << int(amTimeStamped) << At(9, 15, 42) << stamped << false;
    QTest::newRow("time-stamped incremental")
        << int(amTimeStampedIncremental) << At(9, 15) << stamped << true;
    QTest::newRow("24-hour clock") << int(amTimeStamped) << At(21, 5)
                                   << QStringLiteral("F:\\Backup\\ 2014-07-10 21-05\\") << false;
    QTest::newRow("incremental") << int(amIncremental) << At(9, 15) << "F:\\Backup\\" << true;
    QTest::newRow("completely new") << int(amCompletelyNew) << At(9, 15) << "F:\\Backup\\" << false;
    QTest::newRow("mirror") << int(amMirror) << At(9, 15) << "F:\\Backup\\" << true;
}

void TestArchiveJobLauncher::runDestination()
{
    QFETCH(int, mode);
    QFETCH(TDateTime, start);
    QFETCH(QString, destination);
    QFETCH(bool, fromStart);
    QCOMPARE(TArchiveJobLauncher::RunDestination(QStringLiteral("F:\\Backup\\"), TArchiveMode(mode), start),
             destination);
    QCOMPARE(TArchiveJobLauncher::RunFromDate(TArchiveMode(mode), start), fromStart ? start : 0.0);
}

void TestArchiveJobLauncher::engineGetsTheJob()
{
    TJobOnF setup;
    const QByteArray saved = setup.Save();
    TAnswers answers;
    const TDeletionProtection protection{true, QStringLiteral("C:\\Deleted\\"), QStringLiteral("/db")};
    TArchiveJobLauncher launcher(ThisPc, protection, answers);
    const std::unique_ptr<TArchiveLaunch> launch = launcher.Prepare(JobFile, At(9, 15));
    QVERIFY(launch);
    QVERIFY(answers.Asked.isEmpty());
    QCOMPARE(launch->PreviousLastUpdate, Old);
    QCOMPARE(launch->Destination, QStringLiteral("F:\\Backup\\"));

    auto *thread = qobject_cast<TCopyFolderThread *>(launch->Thread.get());
    QVERIFY(thread);
    QCOMPARE(thread->Destination(), QStringLiteral("F:\\Backup\\"));
    QCOMPARE(thread->Include(), QStringList{"C:\\Docs\\"});
    QCOMPARE(thread->Exclude(), QStringList{"C:\\Docs\\tmp\\"});
    QCOMPARE(thread->FileList(), QStringList{"C:\\single.txt"});
    QCOMPARE(thread->FileFilter().ExcludeFileExtList(), QStringList{".tmp"});
    QCOMPARE(thread->ArchiveMode(), amMove);
    QVERIFY(thread->MoveFile());
    QCOMPARE(thread->FromDate(), At(9, 15));
    QCOMPARE(thread->LogFileName(), QStringLiteral("F:\\Config\\Backup1.Zjd"));
    QCOMPARE(thread->DeletionProtection().DeletedFolder, protection.DeletedFolder);

    // The job file changes only once the run has started.
    QCOMPARE(setup.Bytes(), saved);
    TArchiveJobLauncher::SaveStartedJob(*launch);
    TArchiveData reloaded;
    LoadFromFile(reloaded, JobFile);
    QCOMPARE(reloaded.LastUpdate(), At(9, 15));
    // Re-based for the run only: the stored destination stays as chosen.
    QCOMPARE(reloaded.Destination(), QStringLiteral("E:\\Backup\\"));
}

void TestArchiveJobLauncher::zipJobGetsTheZipEngine()
{
    TJobOnF setup;
    setup.Job.SetArchiveType(atImage);
    setup.Job.SetArchiveMode(amTimeStampedIncremental);
    setup.Job.SetPassword(QStringLiteral("s3cret"));
    setup.Save();
    TAnswers answers;
    const std::unique_ptr<TArchiveLaunch> launch =
        TArchiveJobLauncher(ThisPc, {}, answers).Prepare(JobFile, At(9, 15));
    QVERIFY(launch);
    auto *thread = qobject_cast<TZipFolderThread *>(launch->Thread.get());
    QVERIFY(thread);
    QCOMPARE(thread->Password(), QStringLiteral("s3cret"));
    QCOMPARE(thread->Destination(), QStringLiteral("F:\\Backup\\ 2014-07-10 09-15\\"));
}

void TestArchiveJobLauncher::questions_data()
{
    QTest::addColumn<QString>("jobPcId");
    QTest::addColumn<QString>("removed"); // native path under the test drives, "" for none
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("missing");

    QTest::newRow("own job, all there") << ThisPc << "" << QStringList() << QStringList();
    QTest::newRow("job of another computer") << "9999 - 0000"
                                             << "" << QStringList{"foreign:9999 - 0000"} << QStringList();
    QTest::newRow("job without PC ID") << ""
                                       << "" << QStringList{"foreign:"} << QStringList();
    QTest::newRow("only the destination missing")
        << ThisPc << "f/Backup" << QStringList{"missing"} << QStringList{"F:\\Backup\\"};
    QTest::newRow("source folder missing")
        << ThisPc << "c/Docs" << QStringList{"missing"} << QStringList{"C:\\Docs\\", "C:\\Docs\\tmp\\"};
    QTest::newRow("excluded folder missing")
        << ThisPc << "c/Docs/tmp" << QStringList{"missing"} << QStringList{"C:\\Docs\\tmp\\"};
    QTest::newRow("single file missing")
        << ThisPc << "c/single.txt" << QStringList{"missing"} << QStringList{"C:\\single.txt"};
    QTest::newRow("foreign and missing")
        << "9999 - 0000"
        << "f/Backup" << QStringList{"foreign:9999 - 0000", "missing"} << QStringList{"F:\\Backup\\"};
}

void TestArchiveJobLauncher::questions()
{
    QFETCH(QString, jobPcId);
    QFETCH(QString, removed);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, missing);
    TJobOnF setup;
    setup.Job.SetPCID(jobPcId);
    const QByteArray saved = setup.Save();
    if (!removed.isEmpty())
        QVERIFY(QFile::remove(setup.Drives.Base() + QLatin1Char('/') + removed) ||
                QDir(setup.Drives.Base() + QLatin1Char('/') + removed).removeRecursively());

    // No: nothing runs, the job file is untouched, no later question follows.
    TAnswers no;
    no.Answer = false;
    QVERIFY(bool(TArchiveJobLauncher(ThisPc, {}, no).Prepare(JobFile, At(9, 15))) == asked.isEmpty());
    QCOMPARE(no.Asked, asked.mid(0, 1));
    QCOMPARE(setup.Bytes(), saved);

    TAnswers yes;
    QVERIFY(TArchiveJobLauncher(ThisPc, {}, yes).Prepare(JobFile, At(9, 15)));
    QCOMPARE(yes.Asked, asked);
    QCOMPARE(yes.Missing, missing);
}

void TestArchiveJobLauncher::refusedFiles_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("exception");
    QTest::addColumn<QString>("message");
    QTest::newRow("no file") << "none"
                             << "EFileError"
                             << "Backup1.Zja";
    QTest::newRow("text file") << "text"
                               << "EUserException"
                               << "is not a readable job file";
    QTest::newRow("cut-off record") << "cut"
                                    << "EUserException"
                                    << "the record is damaged";
    QTest::newRow("sync job") << "sync"
                              << "EUserException"
                              << "holds a TSyncData record";
    QTest::newRow("no destination") << "nodest"
                                    << "EUserException"
                                    << "has no destination folder";
}

void TestArchiveJobLauncher::refusedFiles()
{
    QFETCH(QString, content);
    QFETCH(QString, exception);
    QFETCH(QString, message);
    TJobOnF setup;
    setup.Job.SetPCID(QStringLiteral("9999 - 0000")); // would be asked about, were the file read
    const QString native = setup.Drives.Native('F', QStringLiteral("Config/Backup1.Zja"));
    if (content == QLatin1String("text"))
        test::WriteFile(native, "just text");
    else if (content == QLatin1String("cut"))
        test::WriteFile(native, CompressContainer(setup.Job.ToObjectStream().chopped(3)));
    else if (content == QLatin1String("sync"))
        SaveToFile(TSyncData(), JobFile);
    if (content == QLatin1String("nodest")) {
        setup.Job.SetDestination(QString());
        setup.Save();
    }
    const QByteArray before = setup.Bytes();

    TAnswers answers;
    try {
        TArchiveJobLauncher(ThisPc, {}, answers).Prepare(JobFile, At(9, 15));
        QFAIL("no exception");
    } catch (const ETrovaloError &error) {
        QCOMPARE(QString::fromLatin1(error.ClassName()), exception);
        QVERIFY2(error.Message().contains(message), qPrintable(error.Message()));
    }
    QVERIFY(answers.Asked.isEmpty());
    QCOMPARE(setup.Bytes(), before);
}

QTEST_GUILESS_MAIN(TestArchiveJobLauncher)
#include "tst_archivejoblauncher.moc"
