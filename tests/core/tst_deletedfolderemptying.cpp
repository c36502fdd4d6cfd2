#include "RecordingObserver.h"
#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "TestProtection.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/DeletedFolderEmptying.h"
#include "control/ProtectionFolderRule.h"
#include "db/ProgramDatabase.h"
#include "engine/CopyFolderThread.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

using namespace trovalo;
using test::PutAt;
using test::ReadAt;

namespace {

const QString DataFolder = QStringLiteral("C:\\ProgramData\\Trovalo");
const QString Deleted = QStringLiteral("C:\\Deleted\\"); // where test::Protection() puts deleted files
const QString Stamp = QStringLiteral(" 2014-07-10 09-15");

// Drives C: (with a home folder and a link to it) and E:, a stick F:
// mounted inside C:'s tree as /media/<user>/<label> is, and the program
// database that deletion protection records in.
struct TComputer
{
    test::TTestDrives Drives;
    test::TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};
    std::unique_ptr<TProgramDatabase> Database;

    TComputer()
    {
        QDir().mkpath(Drives.Native('C', QStringLiteral("home/ann")));
        QDir().mkpath(Drives.Native('C', QStringLiteral("Links")));
        QFile::link(Drives.Native('C', QStringLiteral("home/ann")),
                    Drives.Native('C', QStringLiteral("Links/ann")));
        Drives.AddDrive('F', Drives.Native('C', QStringLiteral("media/ann/STICK")),
                        QStringLiteral("bus=USB"));
        Database = std::make_unique<TProgramDatabase>(test::Protection().ProgramDatabaseNative);
        PutAt(QStringLiteral("C:\\Outside\\real.txt"), "real");
    }
    bool Link(const QString &target, const QString &link) const
    {
        return QDir().mkpath(QFileInfo(NativePath(link)).path()) &&
               QFile::link(NativePath(target), NativePath(link));
    }
};

} // namespace

class TestDeletedFolderEmptying : public QObject
{
    Q_OBJECT

private slots:
    void removesWhatProtectionMadeAndKeepsTheRest();
    void entriesThatStay_data();
    void entriesThatStay();
    void refusedFolders_data();
    void refusedFolders();
};

void TestDeletedFolderEmptying::removesWhatProtectionMadeAndKeepsTheRest()
{
    TComputer computer;
    // A real "Completely New" backup with deletion protection moves the old
    // backup file into a time-stamped folder of C:\Deleted\ and logs it.
    PutAt(QStringLiteral("C:\\Data\\a.txt"), "alpha");
    PutAt(QStringLiteral("E:\\Backup\\old.txt"), "old backup");
    QDir().mkpath(computer.Drives.Native('E', QStringLiteral("Config")));
    test::TRecordingObserver observer;
    TCopyFolderThread thread;
    thread.SetArchiveMode(amCompletelyNew);
    thread.SetInclude({QStringLiteral("C:\\Data\\")});
    thread.SetDestination(QStringLiteral("E:\\Backup\\"));
    thread.SetDeletionProtection(test::Protection());
    thread.SetLogFileName(QStringLiteral("E:\\Config\\Job.Zjd"));
    thread.SetObserver(&observer);
    thread.RunSynchronously();
    TThreadBase::ReleaseLiveWorker();
    const QStringList runs = computer.Database->DeletedFileFolders();
    QCOMPARE(runs.size(), 1);
    const QString run = Deleted + runs.constFirst();
    QVERIFY2(IsProtectionStampName(runs.constFirst()), qPrintable(run));
    QCOMPARE(ReadAt(run + QStringLiteral("\\E\\Backup\\old.txt")), QByteArray("old backup"));
    // A link inside leads out of the folder; a log row's folder is gone already.
    QVERIFY(computer.Link(QStringLiteral("C:\\Outside"), run + QStringLiteral("\\out")));
    computer.Database->AddDeletedFile(QStringLiteral(" 2001-01-01 01-01\\C\\gone.txt"), 7);
    PutAt(Deleted + QStringLiteral("Photos\\p.jpg"), "photo");

    const TDeletedFolderEmptying emptying = EmptyDeletedFolder(Deleted, *computer.Database, DataFolder);

    QCOMPARE(emptying.Removed, runs);
    QVERIFY(!QFileInfo::exists(NativePath(run)));
    QCOMPARE(ReadAt(QStringLiteral("C:\\Outside\\real.txt")), QByteArray("real"));
    QCOMPARE(ReadAt(Deleted + QStringLiteral("Photos\\p.jpg")), QByteArray("photo"));
    QCOMPARE(emptying.KeptLines(), QStringLiteral("Photos: not made by deletion protection"));
    QCOMPARE(computer.Database->DeletedFilesSize(), 0);
    QCOMPARE(computer.Database->DeletedFileFolders(), QStringList());
}

void TestDeletedFolderEmptying::entriesThatStay_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind"); // folder, file or link (to C:\Outside\)
    QTest::addColumn<QString>("why");  // every one but the first is named in the log
    const QString notMade = QStringLiteral("not made by deletion protection");
    QTest::newRow("a time-stamped backup") << Stamp << "folder"
                                           << "no deleted file is recorded in it";
    QTest::newRow("a file with a stamp's name") << Stamp << "file" << notMade;
    QTest::newRow("a link with a stamp's name") << Stamp << "link" << notMade;
    QTest::newRow("a stamp without its space") << Stamp.mid(1) << "folder" << notMade;
    QTest::newRow("no such date") << " 2014-02-30 25-99"
                                  << "folder" << notMade;
}

void TestDeletedFolderEmptying::entriesThatStay()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, why);
    TComputer computer;
    const QString entry = Deleted + name;
    if (kind == QLatin1String("folder"))
        PutAt(entry + QStringLiteral("\\C\\a.txt"), "kept");
    else if (kind == QLatin1String("file"))
        PutAt(entry, "kept");
    else
        QVERIFY(computer.Link(QStringLiteral("C:\\Outside"), entry));
    const bool logged = !why.startsWith(QLatin1String("no deleted file"));
    if (logged)
        computer.Database->AddDeletedFile(name + QStringLiteral("\\C\\a.txt"), 4);
    // A folder protection made goes beside it.
    PutAt(Deleted + QStringLiteral(" 2015-01-02 03-04\\C\\b.txt"), "protected");
    computer.Database->AddDeletedFile(QStringLiteral(" 2015-01-02 03-04\\C\\b.txt"), 9);

    const TDeletedFolderEmptying emptying = EmptyDeletedFolder(Deleted, *computer.Database, DataFolder);

    QCOMPARE(emptying.Removed, QStringList{QStringLiteral(" 2015-01-02 03-04")});
    QCOMPARE(emptying.Kept.size(), 1);
    QVERIFY2(emptying.Kept.constFirst().startsWith(name + QStringLiteral(": ") + why),
             qPrintable(emptying.Kept.constFirst()));
    QVERIFY(QFileInfo::exists(NativePath(entry)));
    QCOMPARE(ReadAt(QStringLiteral("C:\\Outside\\real.txt")), QByteArray("real"));
    // The log keeps the files of what stays, so the used size stays true.
    QCOMPARE(computer.Database->DeletedFilesSize(), logged ? 4 : 0);
}

void TestDeletedFolderEmptying::refusedFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason"); // part of the refusal; "" when the folder is allowed
    const char *rows[][3] = {
        {"the computer's root", "C:\\", "it is the root of the drive C:\\"},
        {"the folder a stick is mounted in", "C:\\media\\", "it holds the drive F:\\"},
        {"home", "C:\\home\\ann", "it is your home folder"},
        {"a folder containing home", "C:\\home\\", "it holds your home folder C:\\home\\ann"},
        {"a link to home", "C:\\Links\\ann\\", "it is your home folder"},
        {"the data folder", "C:\\ProgramData\\Trovalo\\", "it is the program's data folder"},
        {"ConfigData", "C:\\ProgramData\\Trovalo\\ConfigData\\", "the program keeps its settings there"},
        {"a drive that is not there", "G:\\Deleted\\", "it is on no drive of this computer"},
        {"allowed: the default Deleted folder", "C:\\ProgramData\\Trovalo\\Deleted\\", ""},
        {"allowed: a folder in home", "C:\\home\\ann\\Old versions\\", ""},
        {"allowed: a folder on a stick", "E:\\Deleted\\", ""},
    };
    for (const auto &[name, folder, reason] : rows)
        QTest::newRow(name) << QString::fromUtf8(folder) << QString::fromUtf8(reason);
}

// A refused folder is never emptied, not even of what protection made there.
void TestDeletedFolderEmptying::refusedFolders()
{
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    TComputer computer;
    const std::optional<QString> refusal = ProtectionFolderRefusal(folder, DataFolder);
    QCOMPARE(refusal.has_value(), !reason.isEmpty());
    QVERIFY2(!refusal ||
                 (refusal->startsWith(folder + QStringLiteral(" cannot be the Deleted File Protection "
                                                              "folder: ")) &&
                  refusal->contains(reason)),
             qPrintable(refusal.value_or(QString())));
    const QString run = IncludeTrailingBackslash(folder) + Stamp;
    if (!ToNativePath(run))
        return;
    PutAt(run + QStringLiteral("\\a.txt"), "protected");
    computer.Database->AddDeletedFile(Stamp + QStringLiteral("\\a.txt"), 9);
    if (refusal)
        QVERIFY_THROWS_EXCEPTION(EUserException, EmptyDeletedFolder(folder, *computer.Database, DataFolder));
    else
        QCOMPARE(EmptyDeletedFolder(folder, *computer.Database, DataFolder).Removed, QStringList{Stamp});
    QCOMPARE(ReadAt(run + QStringLiteral("\\a.txt")),
             refusal ? QByteArray("protected") : QByteArray("<missing>"));
}

QTEST_GUILESS_MAIN(TestDeletedFolderEmptying)
#include "tst_deletedfolderemptying.moc"
