#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "model/PCSyncData.h"
#include "model/SyncData.h"
#include "model/SyncDataItems.h"
#include "platform/DriveTable.h"
#include "platform/RecordFile.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace trovalo;

namespace {
using test::RunCli;
using TRun = test::TCliRun;

const QString UsbDocs = QStringLiteral("Docs");
const QString PcDocs = QStringLiteral("Users/ann/Docs");

// What a new user has: a folder on the stick E: and one on the computer,
// paired by a sync job made with `new`. Returns the job file in E:\Config.
QString NewSyncJob(const test::TTestDrives &drives, const QStringList &extra = {})
{
    QDir().mkpath(drives.Native('E', UsbDocs));
    QDir().mkpath(drives.Native('C', PcDocs));
    const TRun made = RunCli(
        QStringList{"new", "sync", "--pair", "E:\\Docs=C:\\Users\\ann\\Docs", "--name", "Docs"} + extra);
    const QStringList jobs =
        QDir(drives.Native('E', QStringLiteral("Config"))).entryList({"*.Zjs"}, QDir::Files);
    return made.Status == 0 && jobs.size() == 1 ? QStringLiteral("E:\\Config\\") + jobs.first() : QString();
}

// Writes a file dated Hours from now (file dates are what the sync compares).
void WriteDated(const QString &native, const QByteArray &content, int hours)
{
    test::WriteFile(native, content);
    QFile file(native);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(hours * 3600),
                             QFileDevice::FileModificationTime));
}

// The computer's PC ID, as the program stamps it into the jobs it saves.
QString ThisPcId(const QString &jobFile)
{
    TSyncData job;
    LoadFromFile(job, jobFile);
    return job.PCID();
}

// Standard input on a pseudo terminal: the program takes it for a user at
// a terminal and asks; the test types the answers.
class TTypedTerminal
{
public:
    TTypedTerminal()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            return;
        FSlavePath = QString::fromLocal8Bit(::ptsname(FMaster));
        // Held open so what is typed before the program starts is kept.
        FSlave = ::open(::ptsname(FMaster), O_RDWR | O_NOCTTY);
    }
    ~TTypedTerminal()
    {
        if (FSlave >= 0)
            ::close(FSlave);
        if (FMaster >= 0)
            ::close(FMaster);
    }
    TTypedTerminal(const TTypedTerminal &) = delete;
    TTypedTerminal &operator=(const TTypedTerminal &) = delete;

    bool IsOpen() const { return FSlave >= 0; }

    TRun Run(const QStringList &arguments, const QByteArray &typed)
    {
        QProcess process;
        process.setProgram(qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo-cli"));
        process.setArguments(arguments);
        process.setStandardInputFile(FSlavePath);
        process.start();
        if (!typed.isEmpty() && ::write(FMaster, typed.constData(), size_t(typed.size())) != typed.size())
            return {};
        // Ctrl-D: the end of the input, for a program that asks once more.
        if (::write(FMaster, "\x04", 1) != 1)
            return {};
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        TRun run;
        run.Status = process.exitCode();
        run.OutBytes = process.readAllStandardOutput();
        run.Out = QString::fromUtf8(run.OutBytes);
        run.Err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private:
    int FMaster = -1;
    int FSlave = -1;
    QString FSlavePath;
};

// A job whose first run put a.txt on both sides; then the user edited
// a.txt on the stick (the newer edit, unless told otherwise) and on the
// computer, or deleted one of the two.
struct TConflictOnA
{
    test::TTestDrives Drives;
    QString Job;
    QString UsbA, PcA;

    explicit TConflictOnA(const QString &change)
    {
        Job = NewSyncJob(Drives);
        UsbA = Drives.Native('E', UsbDocs + QStringLiteral("/a.txt"));
        PcA = Drives.Native('C', PcDocs + QStringLiteral("/a.txt"));
        WriteDated(UsbA, "original", -5);
        const TRun first = RunCli({QStringLiteral("run"), Job});
        QVERIFY2(first.Status == 0, qPrintable(first.Out + first.Err));
        QCOMPARE(test::ReadOrMissing(PcA), QByteArray("original"));
        if (change.contains(QLatin1String("usb")))
            WriteDated(UsbA, "usb edit", 2);
        if (change.contains(QLatin1String("computer")))
            WriteDated(PcA, "computer edit", change.startsWith(QLatin1String("computer newer")) ? 3 : 1);
        if (change.contains(QLatin1String("computer deleted")))
            QVERIFY(QFile::remove(PcA));
    }
};
} // namespace

class TestSyncRun : public QObject
{
    Q_OBJECT

private slots:
    void newUserSyncsTwiceThenUnderAnotherLetter();
    void conflictsWithoutTerminal_data();
    void conflictsWithoutTerminal();
    void conflictsOnTerminal_data();
    void conflictsOnTerminal();
    void pcSyncItems_data();
    void pcSyncItems();
    void refused_data();
    void refused();
};

void TestSyncRun::newUserSyncsTwiceThenUnderAnotherLetter()
{
    test::TTestDrives drives;
    // A file changed on one side only is settled by the conflict rule too.
    const QString job = NewSyncJob(drives, {QStringLiteral("--conflicts"), QStringLiteral("newest")});
    QVERIFY(!job.isEmpty());
    QDir().mkpath(drives.Native('E', UsbDocs + QStringLiteral("/sub")));
    test::WriteFile(drives.Native('E', UsbDocs + QStringLiteral("/sub/u.txt")), "from the stick");
    test::WriteFile(drives.Native('C', PcDocs + QStringLiteral("/p.txt")), "from the computer");

    const TRun first = RunCli({QStringLiteral("run"), job});
    QVERIFY2(first.Status == 0, qPrintable(first.Out + first.Err));
    QVERIFY2(first.Out.contains(QStringLiteral("folders:    E:\\Docs\\  <->  C:\\Users\\ann\\Docs\\\n")),
             qPrintable(first.Out));
    QVERIFY(first.Out.contains(QStringLiteral("Copy File  E:\\Docs\\sub\\u.txt  Done\n")));
    QVERIFY(
        first.Out.contains(QStringLiteral("Sync file operation completed !\nTotal Files : 2\nErrors : 0\n")));
    QVERIFY2(first.Out.contains(QStringLiteral("Copied 2, deleted 0, skipped 0, failed 0.\n")),
             qPrintable(first.Out));
    QCOMPARE(test::ReadOrMissing(drives.Native('C', PcDocs + QStringLiteral("/sub/u.txt"))),
             QByteArray("from the stick"));
    QCOMPARE(test::ReadOrMissing(drives.Native('E', UsbDocs + QStringLiteral("/p.txt"))),
             QByteArray("from the computer"));
    TSyncData saved;
    LoadFromFile(saved, job);
    QVERIFY(saved.LastUpdate() > 0);
    QVERIFY(QFile::exists(NativePath(job.chopped(4) + QStringLiteral(".Zjt"))));

    const TRun second = RunCli({QStringLiteral("run"), job});
    QVERIFY2(second.Status == 0, qPrintable(second.Out + second.Err));
    QVERIFY(!second.Out.contains(QStringLiteral("Copy File")));
    QVERIFY2(second.Out.contains(QStringLiteral("Nothing changed since the last run")),
             qPrintable(second.Out));

    // The same stick as F:; one file edited on the computer. The history is
    // kept: only that file is copied, nothing is taken for a conflict.
    qputenv("TROVALO_DRIVES",
            QStringLiteral("C=%1;F=%2,bus=USB").arg(drives.NativeRoot('C'), drives.NativeRoot('E')).toUtf8());
    TDriveTable::Instance().Refresh();
    WriteDated(drives.Native('C', PcDocs + QStringLiteral("/p.txt")), "edited", 1);
    const QString onF = QStringLiteral("F") + job.mid(1);
    const TRun third = RunCli({QStringLiteral("run"), onF});
    QVERIFY2(third.Status == 0, qPrintable(third.Out + third.Err));
    QVERIFY2(third.Out.contains(QStringLiteral("folders:    F:\\Docs\\  <->  C:\\Users\\ann\\Docs\\\n")),
             qPrintable(third.Out));
    QVERIFY(!third.Err.contains(QStringLiteral("File Conflicts")));
    QVERIFY(third.Out.contains(QStringLiteral("Copied 1, deleted 0, skipped 0, failed 0.\n")));
    QCOMPARE(test::ReadOrMissing(drives.Native('E', UsbDocs + QStringLiteral("/p.txt"))),
             QByteArray("edited"));
}

void TestSyncRun::conflictsWithoutTerminal_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("usb"); // a.txt afterwards
    QTest::addColumn<QByteArray>("computer");
    QTest::addColumn<QString>("summary");
    QTest::newRow("nobody to ask: cancelled, nothing touched")
        << "usb computer" << QStringList{} << 2 << QByteArray("usb edit") << QByteArray("computer edit")
        << "Sync file operation Cancled !";
    QTest::newRow("skip") << "usb computer" << QStringList{"--conflicts=skip"} << 0 << QByteArray("usb edit")
                          << QByteArray("computer edit") << "Copied 0, deleted 0, skipped 1, failed 0.";
    QTest::newRow("usb") << "usb computer" << QStringList{"--conflicts=usb"} << 0 << QByteArray("usb edit")
                         << QByteArray("usb edit") << "Copied 1, deleted 0, skipped 0, failed 0.";
    QTest::newRow("computer") << "usb computer" << QStringList{"--conflicts", "computer"} << 0
                              << QByteArray("computer edit") << QByteArray("computer edit")
                              << "Copied 1, deleted 0, skipped 0, failed 0.";
    QTest::newRow("newest: the stick's edit")
        << "usb computer" << QStringList{"--conflicts=newest"} << 0 << QByteArray("usb edit")
        << QByteArray("usb edit") << "Copied 1, deleted 0, skipped 0, failed 0.";
    QTest::newRow("newest: the computer's edit")
        << "computer newer than usb" << QStringList{"--conflicts=NEWEST"} << 0 << QByteArray("computer edit")
        << QByteArray("computer edit") << "Copied 1, deleted 0, skipped 0, failed 0.";
    QTest::newRow("changed on the stick, deleted on the computer: copied back")
        << "usb, computer deleted" << QStringList{"--conflicts=newest"} << 0 << QByteArray("usb edit")
        << QByteArray("usb edit") << "Copied 1, deleted 0, skipped 0, failed 0.";
    QTest::newRow("changed on the stick, deleted on the computer: delete chosen")
        << "usb, computer deleted" << QStringList{"--conflicts=computer"} << 0 << QByteArray("<missing>")
        << QByteArray("<missing>") << "deleted 1, skipped 0, failed 0.";
}

void TestSyncRun::conflictsWithoutTerminal()
{
    QFETCH(QString, change);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QByteArray, usb);
    QFETCH(QByteArray, computer);
    QFETCH(QString, summary);
    TConflictOnA setup(change);
    QVERIFY(!setup.Job.isEmpty());
    const TRun run = RunCli(QStringList{QStringLiteral("run"), setup.Job} + options);
    QVERIFY2(run.Status == status, qPrintable(run.Out + run.Err));
    // The list a user decides on: both sides' sizes, the pre-selected action.
    QVERIFY2(run.Err.contains(QStringLiteral("File Conflicts")), qPrintable(run.Err));
    QVERIFY(run.Err.contains(QStringLiteral("USB Drive: 8 Bytes, ")));
    QVERIFY(run.Err.contains(change.contains(QLatin1String("deleted"))
                                 ? QStringLiteral("Computer:  File Not Found")
                                 : QStringLiteral("Computer:  13 Bytes, ")));
    // The newer side's version is pre-selected.
    const QString preselected = change.startsWith(QLatin1String("computer newer"))
                                    ? QStringLiteral("copy the computer's version to the USB drive")
                                    : QStringLiteral("copy the USB drive's version to the computer");
    QVERIFY2(run.Err.contains(QStringLiteral("Pre-selected (the newest version): ") + preselected),
             qPrintable(run.Err));
    QVERIFY2(run.Out.contains(summary), qPrintable(run.Out));
    if (status == 2)
        QVERIFY2(run.Err.contains(QStringLiteral("Pass --conflicts=skip|usb|computer|newest")),
                 qPrintable(run.Err));
    QCOMPARE(test::ReadOrMissing(setup.UsbA), usb);
    QCOMPARE(test::ReadOrMissing(setup.PcA), computer);
}

void TestSyncRun::conflictsOnTerminal_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("a"); // a.txt on both sides afterwards
    QTest::addColumn<QByteArray>("b"); // b.txt
    QTest::newRow("one answer per file")
        << QByteArray("c\nu\n") << 0 << QByteArray("computer edit") << QByteArray("usb edit");
    QTest::newRow("enter keeps the newest")
        << QByteArray("\n\n") << 0 << QByteArray("usb edit") << QByteArray("usb edit");
    QTest::newRow("one answer for all")
        << QByteArray("computer all\n") << 0 << QByteArray("computer edit") << QByteArray("computer edit");
    QTest::newRow("a wrong word is asked again")
        << QByteArray("maybe\ns\ns\n") << 0 << QByteArray() << QByteArray();
    QTest::newRow("cancel") << QByteArray("u\nx\n") << 2 << QByteArray() << QByteArray();
    QTest::newRow("end of input cancels") << QByteArray("u\n") << 2 << QByteArray() << QByteArray();
}

void TestSyncRun::conflictsOnTerminal()
{
    QFETCH(QByteArray, typed);
    QFETCH(int, status);
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    TConflictOnA setup(QStringLiteral("usb computer"));
    QVERIFY(!setup.Job.isEmpty());
    const QString usbB = setup.Drives.Native('E', UsbDocs + QStringLiteral("/b.txt"));
    const QString pcB = setup.Drives.Native('C', PcDocs + QStringLiteral("/b.txt"));
    WriteDated(usbB, "usb edit", 2);
    WriteDated(pcB, "computer edit", 1);
    TTypedTerminal terminal;
    if (!terminal.IsOpen())
        QSKIP("no pseudo terminal here");

    const TRun run = terminal.Run({QStringLiteral("run"), setup.Job}, typed);
    QVERIFY2(run.Status == status, qPrintable(run.Out + run.Err));
    QVERIFY2(run.Err.contains(QStringLiteral("1 of 2, ")), qPrintable(run.Err));
    // The files are asked in the order the folder lists them.
    if (run.Err.contains(QStringLiteral("1 of 2, b.txt")))
        std::swap(a, b);
    // Not settled: each side keeps its own edit.
    QCOMPARE(test::ReadOrMissing(setup.UsbA), a.isEmpty() ? QByteArray("usb edit") : a);
    QCOMPARE(test::ReadOrMissing(setup.PcA), a.isEmpty() ? QByteArray("computer edit") : a);
    QCOMPARE(test::ReadOrMissing(usbB), b.isEmpty() ? QByteArray("usb edit") : b);
    QCOMPARE(test::ReadOrMissing(pcB), b.isEmpty() ? QByteArray("computer edit") : b);
}

void TestSyncRun::pcSyncItems_data()
{
    QTest::addColumn<QStringList>("itemPcIds"); // "this": this computer's PC ID
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("item"); // whose folder gets the file, -1: none
    QTest::addColumn<QString>("message");
    QTest::newRow("this computer's item") << QStringList{"0000 - 0001", "this"} << QStringList{} << 0 << 2
                                          << "Running item 2 \"Item 2\" of the PC-PC sync job \"Office\"";
    QTest::newRow("no item for this computer")
        << QStringList{"0000 - 0001", "0000 - 0002"} << QStringList{} << 2 << -1
        << "this PC-PC sync job has no item for this computer";
    QTest::newRow("another computer's item, nobody to ask")
        << QStringList{"0000 - 0001", "this"} << QStringList{"--item", "1"} << 2 << -1 << "pass --yes";
    QTest::newRow("another computer's item, --yes")
        << QStringList{"0000 - 0001", "this"} << QStringList{"--item=1", "--yes"} << 0 << 1
        << "PC Sync file operation completed !";
    QTest::newRow("item past the end")
        << QStringList{"this"} << QStringList{"--item", "2"} << 3 << -1 << "there is no item 2";
}

void TestSyncRun::pcSyncItems()
{
    QFETCH(QStringList, itemPcIds);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(int, item);
    QFETCH(QString, message);
    test::TTestDrives drives;
    const QString pcId = ThisPcId(NewSyncJob(drives));
    QVERIFY(!pcId.isEmpty());
    TPCSyncData job;
    job.SetSyncName(QStringLiteral("Office"));
    for (int i = 0; i < itemPcIds.size(); ++i) {
        TSyncDataItem *entry = job.SyncDataItems()->Add();
        entry->SetID(QStringLiteral("office%1").arg(i + 1));
        entry->SetSyncName(QStringLiteral("Item %1").arg(i + 1));
        entry->SetPCID(itemPcIds[i] == QLatin1String("this") ? pcId : itemPcIds[i]);
        entry->SetFolderAList({QStringLiteral("\\Shared")});
        entry->SetFolderBList({QStringLiteral("C:\\Work%1").arg(i + 1)});
        entry->SetSyncDefaultAction(sdaNothing);
        QDir().mkpath(drives.Native('C', QStringLiteral("Work%1").arg(i + 1)));
    }
    const QString jobFile = QStringLiteral("E:\\Config\\Office.Zjp");
    SaveToFile(job, jobFile);
    QDir().mkpath(drives.Native('E', QStringLiteral("Shared")));
    test::WriteFile(drives.Native('E', QStringLiteral("Shared/s.txt")), "shared");

    const TRun run = RunCli(QStringList{QStringLiteral("run"), jobFile} + options);
    QVERIFY2(run.Status == status, qPrintable(run.Out + run.Err));
    QVERIFY2((run.Out + run.Err).contains(message), qPrintable(run.Out + run.Err));
    for (int i = 0; i < itemPcIds.size(); ++i) {
        const bool ran = i + 1 == item;
        QCOMPARE(QFile::exists(drives.Native('C', QStringLiteral("Work%1/s.txt").arg(i + 1))), ran);
        QCOMPARE(QFile::exists(drives.Native('E', QStringLiteral("Config/office%1.Zjt").arg(i + 1))), ran);
    }
    TPCSyncData saved;
    LoadFromFile(saved, jobFile);
    for (int i = 0; i < itemPcIds.size(); ++i)
        QCOMPARE(saved.SyncDataItems()->Items(i)->LastUpdate() > 0, i + 1 == item);
}

void TestSyncRun::refused_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("mistyped answer") << QStringList{"--conflicts=newst"} << "did you mean 'newest'";
    QTest::newRow("ask is no answer")
        << QStringList{"--conflicts=ask"} << "'ask' is none of skip|usb|computer|newest";
    QTest::newRow("item of a sync job") << QStringList{"--item", "1"} << "a sync job (.zjs) has no items";
    QTest::newRow("item zero") << QStringList{"--item", "0"} << "--item: '0' is no item number";
}

void TestSyncRun::refused()
{
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    test::TTestDrives drives;
    const QString job = NewSyncJob(drives);
    QVERIFY(!job.isEmpty());
    test::WriteFile(drives.Native('E', UsbDocs + QStringLiteral("/a.txt")), "a");
    const QByteArray before = test::ReadOrMissing(NativePath(job));
    const TRun run = RunCli(QStringList{QStringLiteral("run"), job} + options);
    QCOMPARE(run.Status, 3);
    QVERIFY2(run.Err.contains(message), qPrintable(run.Err));
    QCOMPARE(test::ReadOrMissing(NativePath(job)), before);
    QVERIFY(!QFile::exists(drives.Native('C', PcDocs + QStringLiteral("/a.txt"))));
}

QTEST_GUILESS_MAIN(TestSyncRun)
#include "tst_syncrun.moc"
