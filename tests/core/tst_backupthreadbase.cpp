#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/JobDatabase.h"
#include "engine/BackUpThreadBase.h"

#include <QtTest>

using namespace trovalo;
using trovalo::test::TRecordingObserver;
using trovalo::test::TTestDrives;
using trovalo::test::WriteFile;

namespace {

// Runs the preparation alone and shows what it leaves for the engine.
template <class TBase>
class TPreparation : public TBase
{
public:
    using TBackUpThreadBase::IsExcludedFolder;
    using TBackUpThreadBase::SetArchiveLogStatus;

    // Runs inside the worker right after the preparation.
    std::function<void(TPreparation &)> After;

    qint64 Items() const { return this->FileNum; }
    qint64 Bytes() const { return this->FileSize; }
    qint64 Position() const { return this->PbarPosition; }
    qint64 LogRow() const { return this->ArchiveLogRow; }
    bool HasDatabase() const { return this->DataBase != nullptr; }

protected:
    void Execute() override
    {
        TBase::Execute();
        if (After)
            After(*this);
    }
};
using TArchivePreparation = TPreparation<TArchiveThreadBase>;
using TRestorePreparation = TPreparation<TRestoreThreadBase>;

// Below E:\src\ three folders and ten files of 1 to 10 bytes (55 in all):
//   f1; a\f2 f3 f4; a\c\f5 f6; b\f7 f8 f9 f10 (34 bytes in b).
// Beside it E:\single.txt (100 bytes) and E:\withlink\ holding an 11-byte
// file and a link to E:\src\.
void MakeSourceTree(const TTestDrives &drives)
{
    const QList<QPair<QString, int>> files = {{"src/f1", 1},     {"src/a/f2", 2},     {"src/a/f3", 3},
                                              {"src/a/f4", 4},   {"src/a/c/f5", 5},   {"src/a/c/f6", 6},
                                              {"src/b/f7", 7},   {"src/b/f8", 8},     {"src/b/f9", 9},
                                              {"src/b/f10", 10}, {"single.txt", 100}, {"withlink/g", 11}};
    for (const auto &[name, size] : files) {
        const QString native = drives.Native('E', name);
        QDir().mkpath(QFileInfo(native).absolutePath());
        WriteFile(native, QByteArray(size, 'x'));
    }
    QVERIFY(QFile::link(drives.Native('E', QStringLiteral("src")),
                        drives.Native('E', QStringLiteral("withlink/src"))));
}

} // namespace

class TestBackUpThreadBase : public QObject
{
    Q_OBJECT

private slots:
    void counting_data()
    {
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("exclude");
        QTest::addColumn<QStringList>("fileList");
        QTest::addColumn<bool>("calcFileSize");
        QTest::addColumn<qint64>("items");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QStringList>("includeAfter");
        QTest::addColumn<QStringList>("fileListAfter");
        const QString src = QStringLiteral("E:\\src\\");
        const QString single = QStringLiteral("E:\\single.txt");
        QTest::newRow("3 folders, 10 files") << QStringList{src} << QStringList() << QStringList() << true
                                             << qint64(13) << qint64(55) << QStringList{src} << QStringList();
        QTest::newRow("excluded sub-folder, other case")
            << QStringList{src} << QStringList{"e:\\SRC\\B\\"} << QStringList() << true << qint64(8)
            << qint64(21) << QStringList{src} << QStringList();
        QTest::newRow("excluded single file still counted")
            << QStringList{src} << QStringList{"E:\\src\\f1"} << QStringList() << true << qint64(13)
            << qint64(55) << QStringList{src} << QStringList();
        QTest::newRow("missing file-list entry not counted")
            << QStringList() << QStringList() << QStringList{single, "E:\\missing.txt"} << true << qint64(1)
            << qint64(100) << QStringList() << QStringList{single, "E:\\missing.txt"};
        QTest::newRow("include entry that is a file")
            << QStringList{src, single} << QStringList() << QStringList() << true << qint64(14) << qint64(155)
            << QStringList{src} << QStringList{single};
        QTest::newRow("file already in the file list")
            << QStringList{single} << QStringList() << QStringList{single} << true << qint64(1) << qint64(100)
            << QStringList{single} << QStringList{single};
        QTest::newRow("includes sorted ignoring case")
            << QStringList{"E:\\Zed\\", "E:\\src\\b\\", "E:\\src\\a\\"} << QStringList() << QStringList()
            << true << qint64(10) << qint64(54) << QStringList{"E:\\src\\a\\", "E:\\src\\b\\", "E:\\Zed\\"}
            << QStringList();
        QTest::newRow("link to a folder not entered")
            << QStringList{"E:\\withlink\\"} << QStringList() << QStringList() << true << qint64(2)
            << qint64(11) << QStringList{"E:\\withlink\\"} << QStringList();
        QTest::newRow("no counting") << QStringList{src, single} << QStringList() << QStringList() << false
                                     << qint64(0) << qint64(0) << QStringList{src} << QStringList{single};
    }
    void counting()
    {
        QFETCH(QStringList, include);
        QFETCH(QStringList, exclude);
        QFETCH(QStringList, fileList);
        QFETCH(bool, calcFileSize);
        QFETCH(qint64, items);
        QFETCH(qint64, bytes);
        QFETCH(QStringList, includeAfter);
        QFETCH(QStringList, fileListAfter);
        TTestDrives drives;
        MakeSourceTree(drives);
        TRecordingObserver observer;
        TRestorePreparation thread;
        thread.SetObserver(&observer);
        thread.SetInclude(include);
        thread.SetExclude(exclude);
        thread.SetFileList(fileList);
        thread.SetCalcFileSize(calcFileSize);
        qint64 position = -2;
        thread.After = [&position](TRestorePreparation &t) { position = t.Position(); };
        thread.RunSynchronously();
        QCOMPARE(thread.Items(), items);
        QCOMPARE(thread.Bytes(), bytes);
        QCOMPARE(thread.Include(), includeAfter);
        QCOMPARE(thread.FileList(), fileListAfter);
        QCOMPARE(position, qint64(0));
        QVERIFY(observer.Errors.isEmpty());
        QVERIFY(!observer.Statuses.isEmpty());
        QCOMPARE(observer.Statuses.at(0).StatusMsg, QStringLiteral(" Searching... "));
        QCOMPARE(observer.Statuses.at(0).ProgressBarPosition, -1);
    }

    void excludedFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("excluded");
        QTest::newRow("same text") << "E:\\src\\b\\" << true;
        QTest::newRow("other case") << "e:\\SRC\\B\\" << true;
        QTest::newRow("excluded file") << "E:\\src\\Notes.TXT" << true;
        QTest::newRow("without the backslash") << "E:\\src\\b" << false;
        QTest::newRow("a folder below") << "E:\\src\\b\\c\\" << false;
        QTest::newRow("a prefix only") << "E:\\src\\" << false;
    }
    void excludedFolder()
    {
        QFETCH(QString, path);
        QFETCH(bool, excluded);
        TArchivePreparation thread;
        thread.SetExclude({QStringLiteral("E:\\src\\B\\"), QStringLiteral("E:\\src\\notes.txt")});
        QCOMPARE(thread.IsExcludedFolder(path), excluded);
    }

    void archiveLogRow_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("format");
        QTest::newRow("incremental") << int(amIncremental) << "E:\\Backup\\"
                                     << "\\Backup\\"
                                     << "Incremental";
        QTest::newRow("time stamped") << int(amTimeStamped) << "E:\\Backup\\2024\\"
                                      << "\\Backup\\2024\\"
                                      << "Time Stamped";
        QTest::newRow("mirror writes no format") << int(amMirror) << "E:\\Backup\\"
                                                 << "\\Backup\\" << QString();
        QTest::newRow("other drive keeps the whole path") << int(amIncremental) << "C:\\Backup\\"
                                                          << "C:\\Backup\\"
                                                          << "Incremental";
    }
    void archiveLogRow()
    {
        QFETCH(int, mode);
        QFETCH(QString, destination);
        QFETCH(QString, folder);
        QFETCH(QString, format);
        TTestDrives drives;
        MakeSourceTree(drives);
        const QString database = QStringLiteral("E:\\Config\\Backup job.Zjd");
        TDateTime startTime = 0;
        {
            TRecordingObserver observer;
            TArchivePreparation thread;
            thread.SetObserver(&observer);
            thread.SetLogFileName(database);
            thread.SetDestination(destination);
            thread.SetArchiveMode(TArchiveMode(mode));
            thread.SetInclude({QStringLiteral("E:\\src\\")});
            QList<TArchiveLogRow> during;
            thread.After = [&](TArchivePreparation &t) {
                QVERIFY(t.HasDatabase());
                QVERIFY(t.LogRow() != 0);
                during = TJobDatabase(database).ArchiveRuns();
                t.SetArchiveLogStatus(TJobDatabase::StatusFinished);
            };
            thread.RunSynchronously();
            QVERIFY2(observer.Errors.isEmpty(), qPrintable(observer.Errors.value(0).Message));
            QCOMPARE(thread.Items(), qint64(13));
            QCOMPARE(during.size(), 1);
            QCOMPARE(during.at(0).ArchiveFolder, folder);
            QCOMPARE(during.at(0).Status, TJobDatabase::StatusNotCompleted);
            QCOMPARE(during.at(0).Format, format);
            startTime = thread.StartTime();
            QCOMPARE(during.at(0).DateTime, startTime);
        }
        const QList<TArchiveLogRow> after = TJobDatabase(database).ArchiveRuns();
        QCOMPARE(after.size(), 1);
        QCOMPARE(after.at(0).Status, TJobDatabase::StatusFinished);
    }

    void restoreThreadOpensNoDatabase()
    {
        TTestDrives drives;
        MakeSourceTree(drives);
        TRecordingObserver observer;
        TRestorePreparation thread;
        thread.SetObserver(&observer);
        thread.SetInclude({QStringLiteral("E:\\src\\")});
        bool hadDatabase = true;
        thread.After = [&hadDatabase](TRestorePreparation &t) {
            hadDatabase = t.HasDatabase();
            t.SetArchiveLogStatus(TJobDatabase::StatusFinished); // nothing to write to
        };
        thread.RunSynchronously();
        QVERIFY(!hadDatabase);
        QCOMPARE(thread.LogRow(), qint64(0));
        QCOMPARE(thread.Items(), qint64(13));
        QVERIFY(observer.Errors.isEmpty());
    }

    void unreadableDatabaseIsReported()
    {
        TTestDrives drives;
        MakeSourceTree(drives);
        QDir().mkpath(drives.Native('E', QStringLiteral("Config")));
        WriteFile(drives.Native('E', QStringLiteral("Config/Job.Zjd")), "this is not a database");
        TRecordingObserver observer;
        TArchivePreparation thread;
        thread.SetObserver(&observer);
        thread.SetLogFileName(QStringLiteral("E:\\Config\\Job.Zjd"));
        thread.SetDestination(QStringLiteral("E:\\Backup\\"));
        thread.SetInclude({QStringLiteral("E:\\src\\")});
        qint64 position = -2;
        thread.After = [&position](TArchivePreparation &t) { position = t.Position(); };
        thread.RunSynchronously();
        QCOMPARE(observer.Errors.size(), 1);
        QVERIFY2(
            observer.Errors.at(0).Message.startsWith(QStringLiteral("Thread Error : Class = TThreadBase : ")),
            qPrintable(observer.Errors.at(0).Message));
        QVERIFY(observer.Errors.at(0).Message.size() > 40); // the database's reason follows
        QCOMPARE(observer.Errors.at(0).Code, -1);
        QCOMPARE(position, qint64(0));
        QCOMPARE(thread.LogRow(), qint64(0));
        QCOMPARE(test::ReadOrMissing(drives.Native('E', QStringLiteral("Config/Job.Zjd"))),
                 QByteArray("this is not a database"));
    }

    void stopDuringPreparation()
    {
        TTestDrives drives;
        MakeSourceTree(drives);
        TRecordingObserver observer;
        observer.OnStatus = [](TThreadBase &sender, const TStatusReport &) { sender.RequestStop(); };
        TRestorePreparation thread;
        thread.SetObserver(&observer);
        thread.SetInclude({QStringLiteral("E:\\src\\"), QStringLiteral("E:\\withlink\\")});
        thread.SetFileList({QStringLiteral("E:\\single.txt")});
        thread.RunSynchronously();
        QCOMPARE(observer.LastStatus(), QStringLiteral("Canceled :("));
        // Stopped at the first status: the first folder's own status is the
        // only one reported, nothing below it is counted.
        QCOMPARE(thread.Items(), qint64(0));
        QCOMPARE(thread.Bytes(), qint64(0));
        QCOMPARE(thread.GetProcessedFiles(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TestBackUpThreadBase)
#include "tst_backupthreadbase.moc"
