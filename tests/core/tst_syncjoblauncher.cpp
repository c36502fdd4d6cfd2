#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "control/SyncJobLauncher.h"
#include "engine/SyncFolderThread.h"
#include "model/ArchiveData.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "model/SyncDataItems.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QtTest>

using namespace trovalo;

namespace {
const QString ThisPc = QStringLiteral("1A2B - 3C4D");
const QString OtherPc = QStringLiteral("9999 - 0000");
const QString SyncJobFile = QStringLiteral("F:\\Config\\sync 1.Zjs");
const QString PCSyncJobFile = QStringLiteral("F:\\Config\\Office.Zjp");
const TDateTime Old = 41000.5;
const TDateTime Now = 41100.25;

class TAnswers : public TLaunchQuestions
{
public:
    bool Answer = true;
    QStringList Asked;
    bool ConfirmForeignJob(const QString &, const QString &jobPcId) override
    {
        Asked << jobPcId;
        return Answer;
    }
    bool ConfirmMissingItems(const QStringList &, int) override
    {
        Asked << QStringLiteral("missing");
        return Answer;
    }
};

// The stick is F: now; the jobs were saved while it was E:.
struct TStick
{
    test::TTestDrives Drives{{{'C', QString()}, {'F', QStringLiteral("bus=USB")}}};
    TStick() { QDir().mkpath(Drives.Native('F', QStringLiteral("Config"))); }
    QByteArray Bytes(const QString &jobFile) const
    {
        return test::ReadOrMissing(Drives.Native('F', jobFile.mid(3).replace(QLatin1Char('\\'), '/')));
    }
};

void SaveSyncJob(const QString &pcId)
{
    TSyncData job;
    job.SetSyncName(QStringLiteral("Docs"));
    job.SetPCID(pcId);
    job.SetLastUpdate(Old);
    job.SetFolderAList({QStringLiteral("\\Docs")});
    job.SetFolderBList({QStringLiteral("C:\\Users\\ann\\Docs")});
    SaveToFile(job, SyncJobFile);
}

// Items: 1 of the other PC, 2 and 3 of this one.
void SavePCSyncJob(const QStringList &pcIds)
{
    TPCSyncData job;
    job.SetSyncName(QStringLiteral("Office"));
    for (int i = 0; i < pcIds.size(); ++i) {
        TSyncDataItem *item = job.SyncDataItems()->Add();
        item->SetID(QStringLiteral("item%1").arg(i + 1));
        item->SetSyncName(QStringLiteral("Item %1").arg(i + 1));
        item->SetPCID(pcIds[i]);
        item->SetLastUpdate(Old + i);
        item->SetFolderAList({QStringLiteral("\\Shared%1").arg(i + 1)});
        item->SetFolderBList({QStringLiteral("C:\\Work%1").arg(i + 1)});
    }
    SaveToFile(job, PCSyncJobFile);
}

std::unique_ptr<TSyncLaunch> Launch(TAnswers &answers, const QString &jobFile, int item = -1)
{
    TSyncJobLauncher launcher(ThisPc, TDeletionProtection{}, answers);
    std::unique_ptr<TSyncLaunch> launch = launcher.Prepare(jobFile, Now, item);
    if (launch)
        TThreadBase::ReleaseLiveWorker(); // never started here
    return launch;
}
} // namespace

class TestSyncJobLauncher : public QObject
{
    Q_OBJECT

private slots:
    void pairs_data();
    void pairs();
    void refusedPairs_data();
    void refusedPairs();
    void pcIdQuestion_data();
    void pcIdQuestion();
    void pcSyncItemChoice_data();
    void pcSyncItemChoice();
    void databasePath_data();
    void databasePath();
    void engineGetsTheJob();
    void refusedFiles_data();
    void refusedFiles();
};

void TestSyncJobLauncher::pairs_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("folders");
    QTest::addColumn<QString>("folderA");
    QTest::addColumn<QString>("folderB");
    QTest::newRow("drive root marker") << "<Root>"
                                       << "C:\\Data" << true << "\\"
                                       << "C:\\Data\\";
    QTest::newRow("drive root as stored by new") << "\\"
                                                 << "C:\\Data\\" << true << "\\"
                                                 << "C:\\Data\\";
    QTest::newRow("folder gets one trailing backslash") << "\\Docs"
                                                        << "C:\\Users\\ann\\Docs" << true << "\\Docs\\"
                                                        << "C:\\Users\\ann\\Docs\\";
    QTest::newRow("side A saved with its old drive") << "E:\\Docs\\"
                                                     << "C:\\Docs" << true << "\\Docs\\"
                                                     << "C:\\Docs\\";
    QTest::newRow("side A drive root with its old drive") << "E:\\"
                                                          << "C:\\Docs" << true << "\\"
                                                          << "C:\\Docs\\";
    QTest::newRow("side A without a leading backslash") << "Docs"
                                                        << "C:\\Docs" << true << "\\Docs\\"
                                                        << "C:\\Docs\\";
    QTest::newRow("computer side on a share") << "\\Docs"
                                              << "\\\\srv\\share\\docs" << true << "\\Docs\\"
                                              << "\\\\srv\\share\\docs\\";
    QTest::newRow("file pair kept as given") << "\\Notes\\todo.txt"
                                             << "C:\\Users\\ann\\todo.txt" << false << "\\Notes\\todo.txt"
                                             << "C:\\Users\\ann\\todo.txt";
    QTest::newRow("file pair loses an old drive") << "E:\\todo.txt"
                                                  << "C:\\todo.txt" << false << "\\todo.txt"
                                                  << "C:\\todo.txt";
}

void TestSyncJobLauncher::pairs()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, folders);
    QFETCH(QString, folderA);
    QFETCH(QString, folderB);
    const TSyncItems pairs = TSyncJobLauncher::Pairs({a}, {b}, folders, SyncJobFile);
    QCOMPARE(pairs.Count(), 1);
    QCOMPARE(pairs[0]->FolderA(), folderA);
    QCOMPARE(pairs[0]->FolderB(), folderB);
}

void TestSyncJobLauncher::refusedPairs_data()
{
    QTest::addColumn<QStringList>("a");
    QTest::addColumn<QStringList>("b");
    QTest::addColumn<QString>("message");
    QTest::newRow("lists of different lengths")
        << QStringList{"\\A", "\\B"} << QStringList{"C:\\A"} << "differ in length (2 on the USB drive, 1 on";
    QTest::newRow("empty side A") << QStringList{" "} << QStringList{"C:\\A"} << "pair 1 has an empty side";
    QTest::newRow("empty side B") << QStringList{"\\A", "\\B"} << QStringList{"C:\\A", ""}
                                  << "pair 2 has an empty side";
    QTest::newRow("relative computer side")
        << QStringList{"\\A"} << QStringList{"Users\\ann"} << "(Users\\ann) is no full path";
}

void TestSyncJobLauncher::refusedPairs()
{
    QFETCH(QStringList, a);
    QFETCH(QStringList, b);
    QFETCH(QString, message);
    try {
        TSyncJobLauncher::Pairs(a, b, true, SyncJobFile);
        QFAIL("no exception");
    } catch (const EUserException &error) {
        QVERIFY2(error.Message().contains(message), qPrintable(error.Message()));
        QVERIFY(error.Message().contains(SyncJobFile));
    }
}

void TestSyncJobLauncher::pcIdQuestion_data()
{
    QTest::addColumn<QString>("jobPcId");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("runs");
    QTest::newRow("this computer's job") << ThisPc << false << false << true;
    QTest::newRow("another computer's job, Yes") << OtherPc << true << true << true;
    QTest::newRow("another computer's job, No") << OtherPc << false << true << false;
    QTest::newRow("job without a PC ID, No") << QString() << false << true << false;
}

void TestSyncJobLauncher::pcIdQuestion()
{
    QFETCH(QString, jobPcId);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, runs);
    TStick stick;
    SaveSyncJob(jobPcId);
    const QByteArray before = stick.Bytes(SyncJobFile);
    TAnswers answers;
    answers.Answer = answer;
    const int liveBefore = TThreadBase::LiveWorkerCount();
    TSyncJobLauncher launcher(ThisPc, TDeletionProtection{}, answers);
    std::unique_ptr<TSyncLaunch> launch = launcher.Prepare(SyncJobFile, Now);
    QCOMPARE(answers.Asked, asked ? QStringList{jobPcId} : QStringList{});
    QCOMPARE(bool(launch), runs);
    QCOMPARE(launcher.Refusal(), runs ? TSyncLaunchRefusal::None : TSyncLaunchRefusal::Declined);
    // A declined job made no worker, and nothing is written before the start.
    QCOMPARE(TThreadBase::LiveWorkerCount(), liveBefore + (runs ? 1 : 0));
    if (launch)
        TThreadBase::ReleaseLiveWorker();
    QCOMPARE(stick.Bytes(SyncJobFile), before);
}

void TestSyncJobLauncher::pcSyncItemChoice_data()
{
    QTest::addColumn<QStringList>("itemPcIds");
    QTest::addColumn<int>("index"); // asked for
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("item"); // run, -1: none
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<int>("refusal");
    const QStringList mixed = {OtherPc, ThisPc, ThisPc};
    QTest::newRow("first item of this computer")
        << mixed << -1 << false << 1 << QStringList{} << int(TSyncLaunchRefusal::None);
    QTest::newRow("chosen item of this computer")
        << mixed << 2 << false << 2 << QStringList{} << int(TSyncLaunchRefusal::None);
    QTest::newRow("chosen item of another computer, Yes")
        << mixed << 0 << true << 0 << QStringList{OtherPc} << int(TSyncLaunchRefusal::None);
    QTest::newRow("chosen item of another computer, No")
        << mixed << 0 << false << -1 << QStringList{OtherPc} << int(TSyncLaunchRefusal::Declined);
    QTest::newRow("no item for this computer") << QStringList{OtherPc, QString()} << -1 << true << -1
                                               << QStringList{} << int(TSyncLaunchRefusal::NoItemForComputer);
    QTest::newRow("no items at all") << QStringList{} << -1 << true << -1 << QStringList{}
                                     << int(TSyncLaunchRefusal::NoItemForComputer);
}

void TestSyncJobLauncher::pcSyncItemChoice()
{
    QFETCH(QStringList, itemPcIds);
    QFETCH(int, index);
    QFETCH(bool, answer);
    QFETCH(int, item);
    QFETCH(QStringList, asked);
    QFETCH(int, refusal);
    TStick stick;
    SavePCSyncJob(itemPcIds);
    const QByteArray before = stick.Bytes(PCSyncJobFile);
    TAnswers answers;
    answers.Answer = answer;
    TSyncJobLauncher launcher(ThisPc, TDeletionProtection{}, answers);
    std::unique_ptr<TSyncLaunch> launch = launcher.Prepare(PCSyncJobFile, Now, index);
    QCOMPARE(answers.Asked, asked);
    QCOMPARE(int(launcher.Refusal()), refusal);
    if (item < 0) {
        QVERIFY(!launch);
        QCOMPARE(stick.Bytes(PCSyncJobFile), before);
        return;
    }
    QVERIFY(launch);
    TThreadBase::ReleaseLiveWorker();
    QCOMPARE(launch->ItemIndex, item);
    QCOMPARE(launch->Caption, QStringLiteral("Item %1").arg(item + 1));
    QCOMPARE(launch->PanelKey, launch->Item()->FileGUID());
    QCOMPARE(launch->Thread->SyncItems()[0]->FolderA(), QStringLiteral("\\Shared%1\\").arg(item + 1));
    QCOMPARE(launch->Thread->SyncItems()[0]->FolderB(), QStringLiteral("C:\\Work%1\\").arg(item + 1));
    QCOMPARE(launch->PreviousLastUpdate, Old + item);

    // Only the item run gets the new start time, and only once saved.
    QCOMPARE(stick.Bytes(PCSyncJobFile), before);
    TSyncJobLauncher::SaveStartedJob(*launch);
    TPCSyncData saved;
    LoadFromFile(saved, PCSyncJobFile);
    for (int i = 0; i < itemPcIds.size(); ++i)
        QCOMPARE(saved.SyncDataItems()->Items(i)->LastUpdate(), i == item ? Now : Old + i);
}

void TestSyncJobLauncher::databasePath_data()
{
    QTest::addColumn<QString>("jobFile");
    QTest::addColumn<QString>("itemId");   // PC-PC jobs
    QTest::addColumn<QString>("database"); // "" : refused
    QTest::newRow("sync job: beside the job file") << SyncJobFile << QString() << "F:\\Config\\sync 1.Zjt";
    QTest::newRow("PC-PC job: named after the item")
        << PCSyncJobFile << QStringLiteral("{5B2F}") << "F:\\Config\\{5B2F}.Zjt";
    QTest::newRow("PC-PC item ID leading out of the folder")
        << PCSyncJobFile << QStringLiteral("..\\..\\Windows\\x") << QString();
    QTest::newRow("PC-PC item without an ID") << PCSyncJobFile << QString() << QString();
}

void TestSyncJobLauncher::databasePath()
{
    QFETCH(QString, jobFile);
    QFETCH(QString, itemId);
    QFETCH(QString, database);
    TStick stick;
    if (jobFile == SyncJobFile) {
        SaveSyncJob(ThisPc);
    } else {
        TPCSyncData job;
        TSyncDataItem *item = job.SyncDataItems()->Add();
        item->SetID(itemId);
        item->SetPCID(ThisPc);
        item->SetFolderAList({QStringLiteral("\\Shared")});
        item->SetFolderBList({QStringLiteral("C:\\Work")});
        SaveToFile(job, jobFile);
    }
    TAnswers answers;
    try {
        const std::unique_ptr<TSyncLaunch> launch = Launch(answers, jobFile);
        QVERIFY(!database.isEmpty());
        QCOMPARE(launch->DatabaseFile, database);
        QCOMPARE(launch->Thread->LogFileName(), database);
    } catch (const EUserException &error) {
        QVERIFY2(database.isEmpty(), qPrintable(error.Message()));
        QVERIFY2(error.Message().contains(QStringLiteral("no usable ID")), qPrintable(error.Message()));
    }
}

void TestSyncJobLauncher::engineGetsTheJob()
{
    TStick stick;
    TSyncData job;
    job.SetSyncName(QStringLiteral("Everything"));
    job.SetPCID(ThisPc);
    job.SetFolderAList({QStringLiteral("<Root>"), QStringLiteral("\\Music")});
    job.SetFolderBList({QStringLiteral("C:\\Stick"), QStringLiteral("C:\\Music\\")});
    job.SetFileAList({QStringLiteral("\\todo.txt")});
    job.SetFileBList({QStringLiteral("C:\\todo.txt")});
    job.SetSyncDirection(sdToUsbDriveOnly);
    job.SetSyncDefaultAction(sdaNewVersion);
    job.FileFilter()->SetExcludeFileExtList({QStringLiteral(".tmp")});
    SaveToFile(job, SyncJobFile);

    TAnswers answers;
    TDeletionProtection protection;
    protection.Enabled = true;
    protection.DeletedFolder = QStringLiteral("C:\\Deleted\\");
    TSyncJobLauncher launcher(ThisPc, protection, answers);
    const std::unique_ptr<TSyncLaunch> launch = launcher.Prepare(SyncJobFile, Now);
    QVERIFY(launch);
    TThreadBase::ReleaseLiveWorker();
    TSyncFolderThread &engine = *launch->Thread;
    QCOMPARE(launch->Kind, TJobKind::Sync);
    QCOMPARE(launch->Caption, QStringLiteral("Everything"));
    QCOMPARE(launch->PanelKey, job.FileGUID());
    QCOMPARE(launch->PreviousLastUpdate, TDateTime(0));
    QCOMPARE(engine.SyncItems().Count(), 2);
    QCOMPARE(engine.SyncItems()[0]->FolderA(), QStringLiteral("\\"));
    QCOMPARE(engine.SyncItems()[0]->FolderB(), QStringLiteral("C:\\Stick\\"));
    QCOMPARE(engine.SyncItems()[1]->FolderA(), QStringLiteral("\\Music\\"));
    QCOMPARE(engine.SyncItems()[1]->FolderB(), QStringLiteral("C:\\Music\\"));
    QCOMPARE(engine.SyncFiles().Count(), 1);
    QCOMPARE(engine.SyncFiles()[0]->FolderA(), QStringLiteral("\\todo.txt"));
    QCOMPARE(engine.SyncFiles()[0]->FolderB(), QStringLiteral("C:\\todo.txt"));
    QCOMPARE(engine.SyncDirection(), sdToUsbDriveOnly);
    QCOMPARE(engine.SyncDefaultAction(), sdaNewVersion);
    QCOMPARE(engine.FileFilter().ExcludeFileExtList(), QStringList{".tmp"});
    QCOMPARE(engine.DeletionProtection().DeletedFolder, protection.DeletedFolder);
    QVERIFY(engine.DeletionProtection().Enabled);

    // LastUpdate becomes the run's start time in the saved job only.
    TSyncData before;
    LoadFromFile(before, SyncJobFile);
    QCOMPARE(before.LastUpdate(), TDateTime(0));
    TSyncJobLauncher::SaveStartedJob(*launch);
    TSyncData after;
    LoadFromFile(after, SyncJobFile);
    QCOMPARE(after.LastUpdate(), Now);
    QCOMPARE(after.FolderAList(), job.FolderAList());
}

void TestSyncJobLauncher::refusedFiles_data()
{
    QTest::addColumn<QString>("jobFile");
    QTest::addColumn<QString>("content"); // "backup": a backup job; "": none
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("message");
    QTest::newRow("garbage") << SyncJobFile << "garbage" << -1 << "is not a readable sync job file";
    QTest::newRow("a backup job named .Zjs")
        << SyncJobFile << "backup" << -1 << "it holds a TArchiveData record, not a TSyncData";
    QTest::newRow("a sync job named .Zjp")
        << PCSyncJobFile << "sync" << -1 << "it holds a TSyncData record, not a TPCSyncData";
    QTest::newRow("item of a sync job") << SyncJobFile << "sync" << 0 << "it has no items to choose from";
    QTest::newRow("item past the end")
        << PCSyncJobFile << "pcsync" << 3 << "has 3 item(s): there is no item 4";
    QTest::newRow("sync job without pairs")
        << SyncJobFile << "empty" << -1 << "it pairs no folders and no files";
    QTest::newRow("missing file") << SyncJobFile << "" << -1 << "Cannot open";
}

void TestSyncJobLauncher::refusedFiles()
{
    QFETCH(QString, jobFile);
    QFETCH(QString, content);
    QFETCH(int, item);
    QFETCH(QString, message);
    TStick stick;
    if (content == QLatin1String("backup")) {
        TArchiveData backup;
        SaveToFile(backup, jobFile);
    } else if (content == QLatin1String("sync")) {
        TSyncData sync;
        sync.SetFolderAList({QStringLiteral("\\A")});
        sync.SetFolderBList({QStringLiteral("C:\\A")});
        sync.SetPCID(ThisPc);
        SaveToFile(sync, jobFile);
    } else if (content == QLatin1String("pcsync")) {
        SavePCSyncJob({ThisPc, ThisPc, ThisPc});
    } else if (content == QLatin1String("empty")) {
        TSyncData sync;
        sync.SetPCID(ThisPc);
        SaveToFile(sync, jobFile);
    } else if (!content.isEmpty()) {
        test::WriteFile(stick.Drives.Native('F', jobFile.mid(3).replace(QLatin1Char('\\'), '/')),
                        content.toUtf8());
    }
    const QByteArray before = stick.Bytes(jobFile);
    TAnswers answers;
    const int liveBefore = TThreadBase::LiveWorkerCount();
    try {
        TSyncJobLauncher launcher(ThisPc, TDeletionProtection{}, answers);
        launcher.Prepare(jobFile, Now, item);
        QFAIL("no exception");
    } catch (const ETrovaloError &error) {
        QVERIFY2(error.Message().contains(message), qPrintable(error.Message()));
    }
    QVERIFY(answers.Asked.isEmpty());
    QCOMPARE(TThreadBase::LiveWorkerCount(), liveBefore);
    QCOMPARE(stick.Bytes(jobFile), before);
}

QTEST_GUILESS_MAIN(TestSyncJobLauncher)
#include "tst_syncjoblauncher.moc"
