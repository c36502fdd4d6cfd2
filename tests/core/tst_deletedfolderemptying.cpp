#include "RecordingObserver.h"
#include "ScopedEnv.h"
#include "TestDrives.h"
#include "TestFiles.h"
#include "TestProtection.h"

#include "base/Exceptions.h"
#include "control/DeletedFolderEmptying.h"
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
const QByteArray Missing("<missing>");
const QString Stamp = QStringLiteral(" 2014-07-10 09-15");

// Drives C: and E:, with a program database and the deleted-files folder
// C:\Deleted\ as the copy engine's deletion protection fills it.
struct TProtectedComputer
{
    test::TTestDrives Drives{{{'C', QString()}, {'E', QStringLiteral("bus=USB")}}};
    test::TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};
    std::unique_ptr<TProgramDatabase> Database;

    TProtectedComputer()
    {
        QDir().mkpath(Drives.Native('C', QStringLiteral("home/ann")));
        Database = std::make_unique<TProgramDatabase>(test::Protection().ProgramDatabaseNative);
    }

    // A real "Completely New" backup over E:\Backup\ with deletion
    // protection: the old backup file moves into a time-stamped folder of
    // C:\Deleted\, and the log records it. Returns that folder's name.
    QString ProtectOldBackup()
    {
        PutAt(QStringLiteral("C:\\Data\\a.txt"), "alpha");
        PutAt(QStringLiteral("E:\\Backup\\old.txt"), "old backup");
        QDir().mkpath(Drives.Native('E', QStringLiteral("Config")));
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
        const QStringList stamped = QDir(NativePath(Deleted)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return stamped.size() == 1 ? stamped.constFirst() : QString();
    }
};

QString Native(const QString &letterPath)
{
    return NativePath(letterPath);
}

} // namespace

class TestDeletedFolderEmptying : public QObject
{
    Q_OBJECT

private slots:
    void removesWhatProtectionMadeAndKeepsTheRest();
    void entriesThatStay_data();
    void entriesThatStay();
    void refusedFolderIsNotTouched();
};

void TestDeletedFolderEmptying::removesWhatProtectionMadeAndKeepsTheRest()
{
    TProtectedComputer computer;
    const QString stamp = computer.ProtectOldBackup();
    QVERIFY2(IsProtectionStampName(stamp), qPrintable(stamp));
    const QString moved = Deleted + stamp + QStringLiteral("\\E\\Backup\\old.txt");
    QCOMPARE(ReadAt(moved), QByteArray("old backup"));
    QCOMPARE(computer.Database->DeletedFileFolders(), QStringList{stamp});
    // A link inside it leads out of the folder: only the link goes.
    PutAt(QStringLiteral("C:\\Outside\\real.txt"), "real");
    QVERIFY(QFile::link(Native(QStringLiteral("C:\\Outside")),
                        Native(Deleted + stamp + QStringLiteral("\\out"))));
    // What else is there: the user's own files, and a log row whose
    // folder someone already deleted by hand.
    PutAt(Deleted + QStringLiteral("notes.txt"), "mine");
    PutAt(Deleted + QStringLiteral("Photos\\p.jpg"), "photo");
    computer.Database->AddDeletedFile(QStringLiteral(" 2001-01-01 01-01\\C\\gone.txt"), 7);

    const TDeletedFolderEmptying emptying = EmptyDeletedFolder(Deleted, *computer.Database, DataFolder);

    QCOMPARE(emptying.Removed, QStringList{stamp});
    QCOMPARE(ReadAt(moved), Missing);
    QVERIFY(!QFileInfo::exists(Native(Deleted + stamp)));
    QCOMPARE(ReadAt(QStringLiteral("C:\\Outside\\real.txt")), QByteArray("real"));
    QCOMPARE(ReadAt(Deleted + QStringLiteral("notes.txt")), QByteArray("mine"));
    QCOMPARE(ReadAt(Deleted + QStringLiteral("Photos\\p.jpg")), QByteArray("photo"));
    QStringList kept = emptying.Kept;
    kept.sort();
    QCOMPARE(kept, QStringList({QStringLiteral("Photos: not made by deletion protection"),
                                QStringLiteral("notes.txt: not made by deletion protection")}));
    QVERIFY(emptying.KeptLines().contains(QStringLiteral("notes.txt: not made by deletion protection")));
    // The folder itself stays; the log holds nothing any more.
    QVERIFY(QFileInfo(Native(Deleted)).isDir());
    QCOMPARE(computer.Database->DeletedFilesSize(), 0);
    QCOMPARE(computer.Database->DeletedFileFolders(), QStringList());
}

void TestDeletedFolderEmptying::entriesThatStay_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind"); // folder, file or link (to C:\Outside\)
    QTest::addColumn<bool>("logged");  // the log names it
    QTest::addColumn<QString>("why");
    const QString notMade = QStringLiteral("not made by deletion protection");
    QTest::newRow("a folder of another name") << "Photos"
                                              << "folder" << false << notMade;
    QTest::newRow("a file") << "notes.txt"
                            << "file" << false << notMade;
    QTest::newRow("a file with a stamp's name") << Stamp << "file" << true << notMade;
    QTest::newRow("a stamp without its space") << Stamp.mid(1) << "folder" << true << notMade;
    QTest::newRow("no such date") << " 2014-02-30 25-99"
                                  << "folder" << true << notMade;
    QTest::newRow("a link with a stamp's name") << Stamp << "link" << true << notMade;
    QTest::newRow("a time-stamped backup")
        << Stamp << "folder" << false << "no deleted file is recorded in it";
}

void TestDeletedFolderEmptying::entriesThatStay()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, logged);
    QFETCH(QString, why);
    TProtectedComputer computer;
    PutAt(QStringLiteral("C:\\Outside\\real.txt"), "real");
    const QString entry = Deleted + name;
    if (kind == QLatin1String("folder"))
        PutAt(entry + QStringLiteral("\\C\\Users\\a.txt"), "kept");
    else if (kind == QLatin1String("file"))
        PutAt(entry, "kept");
    else
        QVERIFY(QDir().mkpath(Native(Deleted)) &&
                QFile::link(Native(QStringLiteral("C:\\Outside")), Native(entry)));
    if (logged)
        computer.Database->AddDeletedFile(name + QStringLiteral("\\C\\Users\\a.txt"), 4);
    // One folder protection made goes beside it.
    PutAt(Deleted + QStringLiteral(" 2015-01-02 03-04\\C\\b.txt"), "protected");
    computer.Database->AddDeletedFile(QStringLiteral(" 2015-01-02 03-04\\C\\b.txt"), 9);

    const TDeletedFolderEmptying emptying = EmptyDeletedFolder(Deleted, *computer.Database, DataFolder);

    QCOMPARE(emptying.Removed, QStringList{QStringLiteral(" 2015-01-02 03-04")});
    QCOMPARE(emptying.Kept.size(), 1);
    QVERIFY2(emptying.Kept.constFirst().startsWith(name + QStringLiteral(": ") + why),
             qPrintable(emptying.Kept.constFirst()));
    QVERIFY(QFileInfo::exists(Native(entry)));
    if (kind == QLatin1String("folder"))
        QCOMPARE(ReadAt(entry + QStringLiteral("\\C\\Users\\a.txt")), QByteArray("kept"));
    QCOMPARE(ReadAt(QStringLiteral("C:\\Outside\\real.txt")), QByteArray("real"));
    // The log keeps the files of what stays, so the used size stays true.
    QCOMPARE(computer.Database->DeletedFilesSize(), logged ? 4 : 0);
}

void TestDeletedFolderEmptying::refusedFolderIsNotTouched()
{
    TProtectedComputer computer;
    const QString home = QStringLiteral("C:\\home\\ann\\");
    PutAt(home + QStringLiteral(" 2015-01-02 03-04\\C\\b.txt"), "protected");
    computer.Database->AddDeletedFile(QStringLiteral(" 2015-01-02 03-04\\C\\b.txt"), 9);
    QVERIFY_THROWS_EXCEPTION(EUserException, EmptyDeletedFolder(home, *computer.Database, DataFolder));
    QCOMPARE(ReadAt(home + QStringLiteral(" 2015-01-02 03-04\\C\\b.txt")), QByteArray("protected"));
    QCOMPARE(computer.Database->DeletedFilesSize(), 9);
}

QTEST_GUILESS_MAIN(TestDeletedFolderEmptying)
#include "tst_deletedfolderemptying.moc"
