#include "FuseImage.h"
#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "engine/CopyFolderThread.h"
#include "engine/RestoreFolderThread.h"
#include "engine/RestoreZipThread.h"
#include "engine/SyncFolderThread.h"
#include "engine/ZipFolderThread.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace trovalo;
using namespace trovalo::test;

namespace {

const QString Data = "C:\\Data\\", Backup = "E:\\Backup\\", Restored = "E:\\Restored\\";
constexpr qint64 OldTime = 1672574401; // an odd second: FAT keeps even ones

// Content and modification time of every file below a folder.
using TTree = QMap<QString, QPair<QByteArray, qint64>>;
TTree TreeOf(const QString &letterFolder)
{
    TTree tree;
    for (const QString &name : FilesBelow(NativePath(letterFolder))) {
        struct stat info
        {
        };
        ::stat(QFile::encodeName(NativePath(letterFolder) + name).constData(), &info);
        tree.insert(name, {ReadOrMissing(NativePath(letterFolder) + name), qint64(info.st_mtime)});
    }
    return tree;
}

// The files missing, extra, or with other content or dates (two seconds for FAT).
QString Difference(const QString &letterFolder, const TTree &expected)
{
    const TTree actual = TreeOf(letterFolder);
    QStringList differences;
    for (const QString &name : QSet<QString>(actual.keyBegin(), actual.keyEnd()) +
                                   QSet<QString>(expected.keyBegin(), expected.keyEnd()))
        if (actual.contains(name) != expected.contains(name) ||
            actual.value(name).first != expected.value(name).first ||
            qAbs(actual.value(name).second - expected.value(name).second) >= 2)
            differences << name;
    differences.sort();
    return differences.join(", ");
}

// Every file and folder below a native folder, relative to it, sorted.
QStringList EntriesBelow(const QString &native)
{
    QStringList names;
    QDirIterator entries(native, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        names << entries.next().mid(native.size());
    names.sort();
    return names;
}

void Put(const QString &letterPath, const QByteArray &content, qint64 modified = OldTime)
{
    PutAt(letterPath, content);
    // Both times: fusefat ignores a change that leaves the access time out.
    const struct timespec times[2] = {{modified, 0}, {modified, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(NativePath(letterPath)).constData(), times, 0) == 0);
}

// Failed files, errors, an unclean end (and with NothingToCopy, copies).
QString Trouble(TThreadBase &&engine, bool nothingToCopy = false)
{
    TRecordingObserver observer;
    engine.SetLogFileName("E:\\Config\\Job.Zjd");
    engine.SetObserver(&observer);
    engine.RunSynchronously();
    TThreadBase::ReleaseLiveWorker();
    QStringList trouble;
    for (const TRecordingObserver::TLogRow &row : observer.Logs)
        if (row.Event == eFailedorSkip || (nothingToCopy && row.Action == "Copy File"))
            trouble << row.FileName + ": " + row.Info;
    for (const TRecordingObserver::TErrorRow &error : observer.Errors)
        trouble << error.Message;
    if (!observer.Outcome.Clean())
        trouble << QString("end %1, %2 errors").arg(int(observer.Outcome.End)).arg(observer.Outcome.Errors());
    return trouble.join('\n');
}

template <class TEngine>
TEngine &&Configured(TEngine &&engine, const QStringList &include, TArchiveMode mode = amIncremental)
{
    engine.SetArchiveMode(mode);
    engine.SetInclude(include);
    engine.SetDestination(Backup);
    engine.SetSource(Backup);
    engine.SetRestoreDir(Restored);
    return std::move(engine);
}

TSyncFolderThread &&Configured(TSyncFolderThread &&engine)
{
    TSyncItems folders;
    folders.Add("\\Docs\\", "C:\\Docs\\", true);
    engine.SetSyncItems(folders);
    engine.SetSyncDefaultAction(sdaNewVersion);
    return std::move(engine);
}

} // namespace

Q_DECLARE_METATYPE(TStickFileSystem)

class TestStickFileSystems : public QObject
{
    Q_OBJECT

    std::unique_ptr<TTestDrives> FDrives;
    std::unique_ptr<TFuseImage> FStick; // on E:, unmounted before the drives go

private slots:
    void cleanup()
    {
        FStick.reset();
        FDrives.reset();
    }

    void engines_data()
    {
        QTest::addColumn<TStickFileSystem>("fileSystem");
        QTest::addColumn<QString>("which");
        // FAT holds the years 1980 to 2107 only: such a date is a failed copy.
        for (const char *which : {"copy backup", "move", "sync", "zip backup", "restore", "1975", "2110"}) {
            QTest::addRow("fat32, %s", which) << TStickFileSystem::Fat32 << QString(which);
            QTest::addRow("ntfs, %s", which) << TStickFileSystem::Ntfs << QString(which);
        }
    }
    void engines()
    {
        QFETCH(TStickFileSystem, fileSystem);
        QFETCH(QString, which);
        FDrives = std::make_unique<TTestDrives>(QMap<QChar, QString>{{'C', ""}, {'E', "bus=USB"}});
        FStick = std::make_unique<TFuseImage>(fileSystem, FDrives->NativeRoot('E'));
        if (!FStick->Unavailable().isEmpty())
            QSKIP(qPrintable(FStick->Unavailable()));
        // Several chunks, an empty file, sub-folders, odd and even seconds.
        Put(Data + "a.txt", "alpha");
        Put(Data + "Sub\\b.bin", RandomBytes(3 * (1 << 20) + 5), OldTime + 1001);
        Put(Data + "Sub\\Deeper\\empty.txt", {});
        const TTree source = TreeOf(Data);

        if (which == "sync") {
            Put("E:\\Docs\\stick.txt", "from the stick", OldTime + 10);
            Put("C:\\Docs\\Sub\\pc.txt", "from the computer", OldTime + 21);
            TTree both = TreeOf("C:\\Docs\\");
            both.insert(TreeOf("E:\\Docs\\"));
            QCOMPARE(Trouble(Configured(TSyncFolderThread())), QString());
            QCOMPARE(Difference("E:\\Docs\\", both), QString());
            QCOMPARE(Difference("C:\\Docs\\", both), QString());
            // The stick kept the dates: nothing to copy the next time.
            QCOMPARE(Trouble(Configured(TSyncFolderThread()), true), QString());
        } else if (which == "zip backup") {
            QCOMPARE(Trouble(Configured(TZipFolderThread(), {Data})), QString());
            // A folder chosen in an archive brings back its own files only.
            const QString zip = Backup + "C.Zip\\Data\\";
            QCOMPARE(Trouble(Configured(TRestoreZipThread(), {zip, zip + "Sub\\", zip + "Sub\\Deeper\\"})),
                     QString());
            QCOMPARE(Difference(Restored + "Data\\", source), QString());
        } else if (which == "move") {
            TCopyFolderThread move;
            move.SetMoveFile(true);
            QCOMPARE(Trouble(Configured(std::move(move), {Data}, amMove)), QString());
            QCOMPARE(Difference(Backup, source), QString());
            QCOMPARE(Difference(Data, {}), QString());
        } else if (which.front().isDigit()) {
            Put(Data + "old.txt", "odd date",
                QDateTime::fromString(which + "-06-01", Qt::ISODate).toSecsSinceEpoch());
            const bool kept = fileSystem == TStickFileSystem::Ntfs;
            QCOMPARE(Trouble(Configured(TCopyFolderThread(), {Data})),
                     kept ? QString()
                          : Data + "old.txt: The file system did not keep the file's date\nend 0, 1 errors");
            // Where the date was not kept, no file is left behind.
            QCOMPARE(Difference(Backup + "C\\Data\\", kept ? TreeOf(Data) : source), QString());
        } else {
            QCOMPARE(Trouble(Configured(TCopyFolderThread(), {Data})), QString());
            QCOMPARE(Difference(Backup + "C\\Data\\", source), QString());
            if (which == "restore") {
                QCOMPARE(Trouble(Configured(TRestoreFolderThread(), {Backup + "C\\Data\\"})), QString());
                QCOMPARE(Difference(Restored + "C\\Data\\", source), QString());
            }
        }
    }

    // A real FAT stick, known as one from the mount table: what it cannot
    // hold is listed as not copied, and of two names differing in case only
    // the first met is copied, not overwritten by the second.
    void fatStickListsWhatItCannotHold()
    {
        FDrives = std::make_unique<TTestDrives>(QMap<QChar, QString>{{'C', ""}, {'E', "bus=USB"}});
        FStick = std::make_unique<TFuseImage>(TStickFileSystem::Fat32, FDrives->NativeRoot('E'));
        if (!FStick->Unavailable().isEmpty())
            QSKIP(qPrintable(FStick->Unavailable()));
        TDriveTable::Instance().Refresh();
        QCOMPARE(TDriveTable::Instance().Drive('E')->FileSystem, QString("fuse.fusefat"));
        for (const QString &name : {QString("Case.txt"), QString("case.txt"), QString("colon:x.txt")})
            Put(LetterPath(NativePath(Data) + name), name.toUtf8());
        const QStringList trouble = Trouble(Configured(TCopyFolderThread(), {Data})).split('\n');
        // The two listed, each counted as an error of the run.
        QCOMPARE(trouble.size(), 3);
        QVERIFY(trouble.contains(Data + LetterName("colon:x.txt") +
                                 ": Not copied: a FAT drive cannot hold a name with \":\""));
        QCOMPARE(trouble.last(), "end 0, 2 errors");
        const QString copied =
            trouble.filter("differs only in letter case").value(0).startsWith(Data + "case.txt") ? "Case.txt"
                                                                                                 : "case.txt";
        QCOMPARE(ReadAt(Backup + "C\\Data\\" + copied), copied.toUtf8());
    }

    // Linux names holding what the drive-letter form reads as a separator
    // or a drive come back under their own names, and nothing else appears.
    void linuxNames_data()
    {
        QTest::addColumn<QString>("which");
        for (const char *which : {"backup and restore", "sync", "zip backup and restore"})
            QTest::newRow(which) << QString(which);
    }
    void linuxNames()
    {
        QFETCH(QString, which);
        FDrives = std::make_unique<TTestDrives>(QMap<QChar, QString>{{'C', ""}, {'E', "bus=USB"}});
        const QString folder = which == "sync" ? "C:\\Docs\\" : Data;
        for (const QString &name : {QString("back\\slash.txt"), QString("colon:name?.txt"),
                                    QString("dir:x/in\\side.txt"), QString("private\uF05C\uF000.txt")})
            Put(LetterPath(NativePath(folder) + name), name.toUtf8());
        const TTree source = TreeOf(folder);
        const QStringList names = EntriesBelow(NativePath(folder));
        QString copy;
        if (which == "sync") {
            QVERIFY(QDir().mkpath(FDrives->Native('E', "Docs")));
            QCOMPARE(Trouble(Configured(TSyncFolderThread())), QString());
            copy = "E:\\Docs\\";
            QCOMPARE(Trouble(Configured(TSyncFolderThread()), true), QString());
        } else if (which == "zip backup and restore") {
            QCOMPARE(Trouble(Configured(TZipFolderThread(), {Data})), QString());
            const QString zip = Backup + "C.Zip\\Data\\";
            QCOMPARE(Trouble(Configured(TRestoreZipThread(), {zip, zip + LetterName("dir:x") + "\\"})),
                     QString());
            copy = Restored + "Data\\";
        } else {
            QCOMPARE(Trouble(Configured(TCopyFolderThread(), {Data})), QString());
            QCOMPARE(Difference(Backup + "C\\Data\\", source), QString());
            QCOMPARE(Trouble(Configured(TRestoreFolderThread(), {Backup + "C\\Data\\"})), QString());
            copy = Restored + "C\\Data\\";
        }
        QCOMPARE(Difference(copy, source), QString());
        QCOMPARE(EntriesBelow(NativePath(copy)), names);
    }
};

QTEST_GUILESS_MAIN(TestStickFileSystems)
#include "tst_stickfilesystems.moc"
