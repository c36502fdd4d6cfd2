#include "RecordingObserver.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "engine/RestoreFolderThread.h"
#include "engine/RestoreZipThread.h"
#include "model/FileFilter.h"
#include "platform/DriveTable.h"
#include "platform/ZipArchive.h"

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include <cstring>
#include <memory>

#include <sys/stat.h>
#include <zip.h>

using namespace trovalo;
using trovalo::test::FilesBelow;
using trovalo::test::RandomBytes;
using trovalo::test::ReadOrMissing;
using trovalo::test::TRecordingObserver;

namespace {

const QString Source = QStringLiteral("E:\\Backup\\Job1\\");
const QString Archive = QStringLiteral("E:\\Backup\\Job1\\C.Zip");
const QString UnZipAction = QStringLiteral("UnZip File");
const QString CopyAction = QStringLiteral("Copy File");
const QByteArray Missing("<missing>");

// What the restore wizard hands an engine.
struct TRestoreJob
{
    QStringList Include;
    QStringList FileList;
    QStringList Exclude;
    QString RestoreDir;
    QString Password;
};

QString Native(const QString &letterPath)
{
    return NativePath(letterPath);
}

void Put(const QString &letterPath, const QByteArray &content)
{
    trovalo::test::PutAt(letterPath, content);
}

QByteArray Read(const QString &letterPath)
{
    return trovalo::test::ReadAt(letterPath);
}

void MakeReadOnly(const QString &letterPath)
{
    QVERIFY(::chmod(QFile::encodeName(Native(letterPath)).constData(), 0444) == 0);
}

// An archive as the zip engine writes it: entries named by the path
// without the drive ("Users/Ann/a.txt"), AES-encrypted with a password.
void WriteArchive(const QString &letterArchive, const QList<std::pair<QString, QByteArray>> &entries,
                  const QString &password = {})
{
    QVERIFY(QDir().mkpath(QFileInfo(Native(letterArchive)).path()));
    TZipArchive zip;
    zip.SetPassword(password);
    zip.Open(letterArchive, TZipOpenMode::Replace);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString scratch = QStringLiteral("E:\\Scratch\\%1.dat").arg(i);
        Put(scratch, entries.at(i).second);
        zip.AddFile(scratch, entries.at(i).first);
    }
    QVERIFY(zip.Commit());
    QVERIFY(QDir(Native(QStringLiteral("E:\\Scratch"))).removeRecursively());
}

// An archive written by libzip directly, free to hold names the zip
// engine never writes. An entry with "\\" comes from a Windows host, which
// wrote it as a separator.
void WriteRawArchive(const QString &native, const QList<std::pair<QByteArray, QByteArray>> &entries)
{
    QVERIFY(QDir().mkpath(QFileInfo(native).path()));
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(native).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(zip);
    for (const auto &[name, content] : entries) {
        zip_source_t *source = zip_source_buffer(zip, content.constData(), content.size(), 0);
        const zip_int64_t index = zip_file_add(zip, name.constData(), source, 0);
        QVERIFY(index >= 0);
        if (name.contains('\\'))
            QVERIFY(zip_file_set_external_attributes(zip, zip_uint64_t(index), 0, ZIP_OPSYS_DOS, 0) == 0);
    }
    QVERIFY2(zip_close(zip) == 0, zip_strerror(zip));
}

template <class TThread>
std::unique_ptr<TRecordingObserver> Run(TThread &thread, const TRestoreJob &job,
                                        std::unique_ptr<TRecordingObserver> observer)
{
    if (!observer)
        observer = std::make_unique<TRecordingObserver>();
    thread.SetSource(Source);
    thread.SetInclude(job.Include);
    thread.SetFileList(job.FileList);
    thread.SetExclude(job.Exclude);
    thread.SetRestoreDir(job.RestoreDir);
    TFileFilter filter;
    filter.SetExcludeFileExtList({QStringLiteral(".tmp")});
    thread.SetFileFilter(filter);
    thread.SetObserver(observer.get());
    thread.RunSynchronously();
    TThreadBase::ReleaseLiveWorker();
    return observer;
}

std::unique_ptr<TRecordingObserver> RunFolder(const TRestoreJob &job,
                                              std::unique_ptr<TRecordingObserver> observer = {})
{
    TRestoreFolderThread thread;
    return Run(thread, job, std::move(observer));
}

std::unique_ptr<TRecordingObserver> RunZip(const TRestoreJob &job,
                                           std::unique_ptr<TRecordingObserver> observer = {})
{
    TRestoreZipThread thread;
    thread.SetPassword(job.Password);
    return Run(thread, job, std::move(observer));
}

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList ErrorTexts(const TRecordingObserver &observer)
{
    QStringList texts;
    for (const TRecordingObserver::TErrorRow &row : observer.Errors)
        texts << row.Message;
    return texts;
}

// Every text a run showed: statuses, log rows, errors, file operations.
QStringList EverythingShown(const TRecordingObserver &observer)
{
    QStringList texts = ErrorTexts(observer) + observer.FileOperations;
    for (const TStatusReport &status : observer.Statuses)
        texts << status.StatusMsg;
    for (const TRecordingObserver::TLogRow &row : observer.Logs)
        texts << row.FileName << row.Action << row.Info;
    return texts;
}

// The standard zip backup of drive C:.
const QList<std::pair<QString, QByteArray>> StandardEntries = {
    {QStringLiteral("Users/Ann/a.txt"), "alpha"},
    {QStringLiteral("Users/Ann/Docs/b.txt"), "beta"},
    {QStringLiteral("Users/Ann/Docs/Deep/c.txt"), "gamma"},
    {QStringLiteral("Users/Bob/d.txt"), "delta"},
    {QStringLiteral("top.txt"), "top"},
};

} // namespace

class TestRestoreEngines : public QObject
{
    Q_OBJECT

    std::unique_ptr<trovalo::test::TTestDrives> FDrives;

private slots:
    void init()
    {
        FDrives = std::make_unique<trovalo::test::TTestDrives>(
            QMap<QChar, QString>{{'C', QString()}, {'D', QString()}, {'E', QStringLiteral("bus=USB")}});
    }
    void cleanup() { FDrives.reset(); }

    void mapBack_data()
    {
        QTest::addColumn<QString>("restoreDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("restoreDirAfter");

        QTest::newRow("drive folder") << ""
                                      << "E:\\Backup\\Job1\\C\\Users\\Ann\\Docs\\"
                                      << "C:\\Users\\Ann\\Docs\\"
                                      << "";
        QTest::newRow("relative file") << ""
                                       << "C\\Users\\Ann\\a.txt"
                                       << "C:\\Users\\Ann\\a.txt"
                                       << "";
        QTest::newRow("lower-case drive") << ""
                                          << "d\\Data\\x.txt"
                                          << "d:\\Data\\x.txt"
                                          << "";
        QTest::newRow("source in other case") << ""
                                              << "e:\\backup\\job1\\C\\x\\"
                                              << "C:\\x\\"
                                              << "";
        QTest::newRow("server") << ""
                                << "E:\\Backup\\Job1\\__srv\\data\\x\\"
                                << "\\\\srv\\data\\x\\"
                                << "";
        QTest::newRow("server, names with double underscores") << ""
                                                               << "__srv\\data\\__pycache__\\m__x.pyc"
                                                               << "\\\\srv\\data\\__pycache__\\m__x.pyc"
                                                               << "";
        QTest::newRow("restore dir") << "D:\\Restore\\"
                                     << "E:\\Backup\\Job1\\C\\Users\\Ann\\Docs\\"
                                     << "D:\\Restore\\C\\Users\\Ann\\Docs\\"
                                     << "D:\\Restore\\";
        QTest::newRow("restore dir without backslash") << "D:\\Restore"
                                                       << "C\\Users\\Ann\\a.txt"
                                                       << "D:\\Restore\\C\\Users\\Ann\\a.txt"
                                                       << "D:\\Restore\\";
        QTest::newRow("restore dir, server") << "D:\\Restore"
                                             << "__srv\\data\\a.txt"
                                             << "D:\\Restore\\__srv\\data\\a.txt"
                                             << "D:\\Restore\\";
        QTest::newRow("not a drive folder") << ""
                                            << "E:\\Backup\\Job1\\Config\\x.txt"
                                            << ""
                                            << "";
        QTest::newRow("one underscore") << ""
                                        << "_srv\\data\\x.txt"
                                        << ""
                                        << "";
        QTest::newRow("no server name") << ""
                                        << "__\\data\\x.txt"
                                        << ""
                                        << "";
    }
    void mapBack()
    {
        QFETCH(QString, restoreDir);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QFETCH(QString, restoreDirAfter);
        TRestoreFolderThread thread;
        thread.SetSource(Source);
        thread.SetRestoreDir(restoreDir);
        QCOMPARE(thread.MapBack(path), expected);
        QCOMPARE(thread.RestoreDir(), restoreDirAfter);
        TThreadBase::ReleaseLiveWorker();
    }

    void extractBaseDir_data()
    {
        QTest::addColumn<QString>("restoreDir");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");

        QTest::newRow("drive") << ""
                               << "C.Zip\\Users\\Ann\\a.txt"
                               << "C:\\";
        QTest::newRow("drive, lower case") << ""
                                           << "d.zip\\x.txt"
                                           << "d:\\";
        QTest::newRow("share") << ""
                               << "__srv~data.Zip\\data\\x\\a.txt"
                               << "\\\\srv\\";
        QTest::newRow("folder line") << ""
                                     << "C.Zip\\Users\\Ann\\"
                                     << "C:\\";
        QTest::newRow("restore dir") << "D:\\Restore\\"
                                     << "C.Zip\\Users\\a.txt"
                                     << "D:\\Restore\\";
        QTest::newRow("restore dir without backslash") << "D:\\Restore"
                                                       << "C.Zip\\a.txt"
                                                       << "D:\\Restore\\";
        QTest::newRow("restore dir, share") << "D:\\Restore"
                                            << "__srv~data.Zip\\data\\a.txt"
                                            << "D:\\Restore\\";
        QTest::newRow("server without share") << ""
                                              << "__srv.Zip\\a.txt"
                                              << "";
        QTest::newRow("not a drive archive") << ""
                                             << "Config.Zip\\a.txt"
                                             << "";
        QTest::newRow("no archive") << ""
                                    << "C\\Users\\a.txt"
                                    << "";
        QTest::newRow("no archive, restore dir") << "D:\\Restore"
                                                 << "C\\Users\\a.txt"
                                                 << "";
    }
    void extractBaseDir()
    {
        QFETCH(QString, restoreDir);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        TRestoreZipThread thread;
        thread.SetRestoreDir(restoreDir);
        QCOMPARE(thread.ExtractBaseDir(line), expected);
        TThreadBase::ReleaseLiveWorker();
    }

    void folderRestore_data()
    {
        QTest::addColumn<QString>("restoreDir");
        QTest::addColumn<QString>("target"); // where C:\ of the backup lands

        QTest::newRow("former place") << ""
                                      << "C:\\";
        QTest::newRow("another folder") << "D:\\Restore"
                                        << "D:\\Restore\\C\\";
    }
    void folderRestore()
    {
        QFETCH(QString, restoreDir);
        QFETCH(QString, target);
        const QString backup = Source + QStringLiteral("C\\Users\\");
        Put(backup + QStringLiteral("Ann\\a.txt"), "alpha new");
        Put(backup + QStringLiteral("Ann\\Docs\\b.txt"), "beta");
        Put(backup + QStringLiteral("Ann\\skip.tmp"), "filtered");
        Put(backup + QStringLiteral("Ann\\Old\\o.txt"), "excluded");
        Put(backup + QStringLiteral("Bob\\single.tmp"), "single");
        Put(QStringLiteral("C:\\Users\\Ann\\a.txt"), "original");
        MakeReadOnly(QStringLiteral("C:\\Users\\Ann\\a.txt"));
        if (target != QLatin1String("C:\\")) {
            Put(target + QStringLiteral("Users\\Ann\\a.txt"), "old");
            MakeReadOnly(target + QStringLiteral("Users\\Ann\\a.txt"));
        }

        TRestoreJob job;
        job.Include = {backup + QStringLiteral("Ann\\")};
        job.Exclude = {backup + QStringLiteral("Ann\\Old\\")};
        job.FileList = {QStringLiteral("C\\Users\\Bob\\single.tmp")};
        job.RestoreDir = restoreDir;
        const auto observer = RunFolder(job);

        QCOMPARE(Read(target + QStringLiteral("Users\\Ann\\a.txt")), QByteArray("alpha new"));
        QCOMPARE(Read(target + QStringLiteral("Users\\Ann\\Docs\\b.txt")), QByteArray("beta"));
        // The filter spares files in folders, not files chosen one by one.
        QCOMPARE(Read(target + QStringLiteral("Users\\Ann\\skip.tmp")), Missing);
        QCOMPARE(Read(target + QStringLiteral("Users\\Bob\\single.tmp")), QByteArray("single"));
        QCOMPARE(Read(target + QStringLiteral("Users\\Ann\\Old\\o.txt")), Missing);
        if (target != QLatin1String("C:\\"))
            QCOMPARE(Read(QStringLiteral("C:\\Users\\Ann\\a.txt")), QByteArray("original"));

        QCOMPARE(Sorted(observer->LogsOf(CopyAction)),
                 Sorted({backup + QStringLiteral("Ann\\a.txt|Done"),
                         backup + QStringLiteral("Ann\\Docs\\b.txt|Done"),
                         backup + QStringLiteral("Bob\\single.tmp|Done")}));
        QVERIFY2(observer->Errors.isEmpty(), qPrintable(ErrorTexts(*observer).join('\n')));
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Finished !"));
        // Filtered files and single files both count toward a full 100 %.
        const TStatusReport &last = observer->Statuses.constLast();
        QCOMPARE(last.ProgressBarPosition, 100);
        QCOMPARE(last.BytesProcessed, last.BytesTotal);
        QCOMPARE(last.BytesTotal, qint64(strlen("alpha new") + strlen("beta") + strlen("single")));
    }

    void folderRestoreRefused_data()
    {
        QTest::addColumn<QString>("include");
        QTest::addColumn<QString>("fileLine");
        QTest::addColumn<QString>("restoreDir");

        QTest::newRow("folder of no drive") << Source + QStringLiteral("Config\\") << ""
                                            << "";
        QTest::newRow("file of no drive") << ""
                                          << "Config\\x.txt"
                                          << "";
        QTest::newRow("into itself") << Source + QStringLiteral("C\\") << ""
                                     << Source + QStringLiteral("C\\R");
        QTest::newRow("onto itself") << Source + QStringLiteral("C\\") << "" << Source;
    }
    void folderRestoreRefused()
    {
        QFETCH(QString, include);
        QFETCH(QString, fileLine);
        QFETCH(QString, restoreDir);
        Put(Source + QStringLiteral("Config\\x.txt"), "config");
        Put(Source + QStringLiteral("C\\x.txt"), "x");
        const QStringList before = FilesBelow(FDrives->Base());

        TRestoreJob job;
        if (!include.isEmpty())
            job.Include = {include};
        if (!fileLine.isEmpty())
            job.FileList = {fileLine};
        job.RestoreDir = restoreDir;
        const auto observer = RunFolder(job);

        QCOMPARE(observer->Errors.size(), 1);
        QVERIFY(observer->Errors.constFirst().Message.startsWith(
            QStringLiteral("Thread Error : Class = TCopyFolderThread : Cannot ")));
        QCOMPARE(FilesBelow(FDrives->Base()), before);
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Finished !"));
    }

    void folderRestoreCancel()
    {
        for (int i = 0; i < 5; ++i)
            Put(Source + QStringLiteral("C\\Data\\f%1.txt").arg(i), "new");
        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnStatus = [](TThreadBase &sender, const TStatusReport &report) {
            if (report.StatusMsg.startsWith(QLatin1String("File : ")))
                sender.RequestStop();
        };
        TRestoreJob job;
        job.Include = {Source + QStringLiteral("C\\Data\\")};
        observer = RunFolder(job, std::move(observer));
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Canceled"));
        QVERIFY(FilesBelow(FDrives->Native('C', QStringLiteral("Data"))).size() <= 1);
    }

    void zipRestore_data()
    {
        QTest::addColumn<QString>("restoreDir");
        QTest::addColumn<QString>("base"); // where the entries land
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("restored"); // entries, as logged

        const QString docs = Source + QStringLiteral("C.Zip\\Users\\Ann\\Docs\\");
        QTest::newRow("folder, former place")
            << ""
            << "C:\\"
            << "" << QStringList{docs} << QStringList{} << QStringList{"Users\\Ann\\Docs\\b.txt"};
        QTest::newRow("folder and its sub-folder")
            << ""
            << "C:\\"
            << "" << QStringList{docs, docs + QStringLiteral("Deep\\")} << QStringList{}
            << QStringList{"Users\\Ann\\Docs\\b.txt", "Users\\Ann\\Docs\\Deep\\c.txt"};
        QTest::newRow("single files")
            << ""
            << "C:\\"
            << "" << QStringList{} << QStringList{"C.Zip\\Users\\Bob\\d.txt", "C.Zip\\top.txt"}
            << QStringList{"Users\\Bob\\d.txt", "top.txt"};
        QTest::newRow("archive root folder")
            << ""
            << "C:\\"
            << "" << QStringList{Source + "C.Zip\\"} << QStringList{} << QStringList{"top.txt"};
        QTest::newRow("file also inside a selected folder")
            << ""
            << "C:\\"
            << "" << QStringList{docs} << QStringList{"C.Zip\\Users\\Ann\\Docs\\b.txt"}
            << QStringList{"Users\\Ann\\Docs\\b.txt"};
        QTest::newRow("another folder") << "D:\\Restore"
                                        << "D:\\Restore\\"
                                        << "" << QStringList{docs} << QStringList{"C.Zip\\Users\\Bob\\d.txt"}
                                        << QStringList{"Users\\Ann\\Docs\\b.txt", "Users\\Bob\\d.txt"};
        QTest::newRow("encrypted, right password")
            << ""
            << "C:\\"
            << "S3cret-Key" << QStringList{docs} << QStringList{"C.Zip\\Users\\Bob\\d.txt"}
            << QStringList{"Users\\Ann\\Docs\\b.txt", "Users\\Bob\\d.txt"};
        QTest::newRow("letter case ignored")
            << ""
            << "C:\\"
            << "" << QStringList{"e:\\backup\\job1\\c.zip\\users\\ann\\docs\\"}
            << QStringList{"C.ZIP\\USERS\\BOB\\D.TXT"}
            << QStringList{"Users\\Ann\\Docs\\b.txt", "Users\\Bob\\d.txt"};
    }
    void zipRestore()
    {
        QFETCH(QString, restoreDir);
        QFETCH(QString, base);
        QFETCH(QString, password);
        QFETCH(QStringList, include);
        QFETCH(QStringList, files);
        QFETCH(QStringList, restored);
        WriteArchive(Archive, StandardEntries, password);
        // An existing target is replaced, read-only or not.
        const QString existing = base + QStringLiteral("Users\\Ann\\Docs\\b.txt");
        Put(existing, "old");
        MakeReadOnly(existing);

        TRestoreJob job;
        job.Include = include;
        job.FileList = files;
        job.RestoreDir = restoreDir;
        job.Password = password;
        const auto observer = RunZip(job);

        QStringList expectedRows;
        for (const auto &[entry, content] : StandardEntries) {
            QString name = entry;
            name.replace(QLatin1Char('/'), QLatin1Char('\\'));
            const QByteArray expected =
                restored.contains(name) ? content : (base + name == existing ? QByteArray("old") : Missing);
            QCOMPARE(Read(base + name), expected);
            if (restored.contains(name))
                expectedRows << name + QStringLiteral("|Done");
        }
        QCOMPARE(Sorted(observer->LogsOf(UnZipAction)), Sorted(expectedRows));
        QVERIFY2(observer->Errors.isEmpty(), qPrintable(ErrorTexts(*observer).join('\n')));

        QStringList statuses;
        for (const TStatusReport &status : observer->Statuses)
            statuses << status.StatusMsg;
        QVERIFY(statuses.contains(QStringLiteral("Prepareing... ")));
        QVERIFY(statuses.contains(QStringLiteral("Searching Files... : ") + Archive));
        QVERIFY(statuses.contains(QStringLiteral("File : ") + base + restored.constFirst()));
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Finished !"));
        const TStatusReport &last = observer->Statuses.constLast();
        QCOMPARE(last.ProgressBarPosition, 100);
        QCOMPARE(last.BytesProcessed, last.BytesTotal);
        if (!password.isEmpty())
            QVERIFY(!EverythingShown(*observer).join('\n').contains(password));
    }

    // A run of several archives restored to a folder: each archive gets the
    // level a copy backup has (C\, __srv\); a run of one keeps its layout.
    void zipRestoreSeveralArchives_data()
    {
        QTest::addColumn<QStringList>("archives");
        QTest::addColumn<QString>("restoreDir");
        QTest::addColumn<QStringList>("include"); // relative to Source
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected"); // "path=content"

        QTest::newRow("one archive") << QStringList{"C.Zip"} << "D:\\Restore"
                                     << QStringList{"C.Zip\\Users\\Ann\\"} << QStringList{}
                                     << QStringList{"D:\\Restore\\Users\\Ann\\a.txt=C.Zip"};
        QTest::newRow("two drives, same inner path")
            << QStringList{"C.Zip", "D.Zip"} << "D:\\Restore"
            << QStringList{"C.Zip\\Users\\Ann\\", "D.Zip\\Users\\Ann\\"} << QStringList{}
            << QStringList{"D:\\Restore\\C\\Users\\Ann\\a.txt=C.Zip",
                           "D:\\Restore\\D\\Users\\Ann\\a.txt=D.Zip"};
        QTest::newRow("only one of two ticked") << QStringList{"C.Zip", "D.Zip"} << "D:\\Restore"
                                                << QStringList{} << QStringList{"D.Zip\\Users\\Ann\\a.txt"}
                                                << QStringList{"D:\\Restore\\D\\Users\\Ann\\a.txt=D.Zip"};
        QTest::newRow("a share's archive")
            << QStringList{"C.Zip", "__srv~data.Zip"} << "D:\\Restore"
            << QStringList{"C.Zip\\Users\\Ann\\", "__srv~data.Zip\\data\\x\\"} << QStringList{}
            << QStringList{"D:\\Restore\\C\\Users\\Ann\\a.txt=C.Zip",
                           "D:\\Restore\\__srv\\data\\x\\a.txt=__srv~data.Zip"};
        QTest::newRow("former places")
            << QStringList{"C.Zip", "D.Zip"} << ""
            << QStringList{"C.Zip\\Users\\Ann\\", "D.Zip\\Users\\Ann\\"} << QStringList{}
            << QStringList{"C:\\Users\\Ann\\a.txt=C.Zip", "D:\\Users\\Ann\\a.txt=D.Zip"};
    }
    void zipRestoreSeveralArchives()
    {
        QFETCH(QStringList, archives);
        QFETCH(QString, restoreDir);
        QFETCH(QStringList, include);
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        // Every archive holds one file of the same inner path, its content
        // naming the archive.
        for (const QString &archive : archives) {
            const QString inner = archive.startsWith(QLatin1String("__")) ? QStringLiteral("data/x/a.txt")
                                                                          : QStringLiteral("Users/Ann/a.txt");
            WriteArchive(Source + archive, {{inner, archive.toUtf8()}});
        }
        TRestoreJob job;
        for (const QString &line : include)
            job.Include << Source + line;
        job.FileList = files;
        job.RestoreDir = restoreDir;
        const auto observer = RunZip(job);
        QVERIFY2(observer->Errors.isEmpty(), qPrintable(ErrorTexts(*observer).join('\n')));
        for (const QString &line : expected)
            QCOMPARE(Read(line.section('=', 0, 0)), line.section('=', 1).toUtf8());
        QCOMPARE(observer->LogsOf(UnZipAction).size(), expected.size());
    }

    void wrongPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("code");

        QTest::newRow("wrong password") << "Pa55-Wr0ng-7" << 27;
        QTest::newRow("no password") << "" << 26;
    }
    void wrongPassword()
    {
        QFETCH(QString, password);
        QFETCH(int, code);
        const QString rightPassword = QStringLiteral("S3cret-Key");
        WriteArchive(Archive, StandardEntries, rightPassword);
        Put(QStringLiteral("C:\\Users\\Ann\\a.txt"), "old a");
        Put(QStringLiteral("C:\\Users\\Ann\\Docs\\b.txt"), "old b");
        const QStringList before = FilesBelow(FDrives->NativeRoot('C'));

        TRestoreJob job;
        job.Include = {Source + QStringLiteral("C.Zip\\Users\\Ann\\")};
        job.FileList = {QStringLiteral("C.Zip\\Users\\Ann\\Docs\\b.txt"),
                        QStringLiteral("C.Zip\\Users\\Bob\\d.txt")};
        job.Password = password;
        const auto observer = RunZip(job);

        QCOMPARE(Read(QStringLiteral("C:\\Users\\Ann\\a.txt")), QByteArray("old a"));
        QCOMPARE(Read(QStringLiteral("C:\\Users\\Ann\\Docs\\b.txt")), QByteArray("old b"));
        QCOMPARE(FilesBelow(FDrives->NativeRoot('C')), before);
        const QString info = QStringLiteral("|Error Code %1").arg(code);
        QCOMPARE(Sorted(observer->LogsOf(UnZipAction)),
                 Sorted({"Users\\Ann\\a.txt" + info, "Users\\Ann\\Docs\\b.txt" + info,
                         "Users\\Bob\\d.txt" + info}));
        QCOMPARE(observer->FailedLogCount(), 3);
        QCOMPARE(observer->Errors.size(), 3);
        for (const TRecordingObserver::TErrorRow &error : observer->Errors) {
            QCOMPARE(error.Code, code);
            QVERIFY(error.Message.startsWith(QStringLiteral("(%1) ").arg(code)));
        }
        const QString shown = EverythingShown(*observer).join('\n');
        QVERIFY(!shown.contains(rightPassword));
        if (!password.isEmpty())
            QVERIFY(!shown.contains(password));
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Finished !"));
    }

    void hostileArchive_data()
    {
        QTest::addColumn<QString>("restoreDir");
        QTest::addColumn<QString>("base");

        QTest::newRow("former place") << ""
                                      << "C:\\";
        QTest::newRow("another folder") << "D:\\Restore"
                                        << "D:\\Restore\\";
    }
    void hostileArchive()
    {
        QFETCH(QString, restoreDir);
        QFETCH(QString, base);
        WriteRawArchive(Native(Archive), {{"../evil.txt", "evil"},
                                          {"/abs-restore-test.txt", "absolute"},
                                          {"Docs/../../evil2.txt", "evil"},
                                          {"Docs/..\\..\\evil3.txt", "evil"},
                                          {"Docs/ok.txt", "ok"}});
        QVERIFY(!QFile::exists(QStringLiteral("/abs-restore-test.txt")));

        TRestoreJob job;
        job.Include = {Source + QStringLiteral("C.Zip\\Docs\\")};
        const QStringList hostile = {"C.Zip\\..\\evil.txt", "C.Zip\\\\abs-restore-test.txt",
                                     "C.Zip\\Docs\\..\\..\\evil2.txt", "C.Zip\\Docs\\..\\..\\evil3.txt"};
        job.FileList = hostile;
        job.RestoreDir = restoreDir;
        const auto observer = RunZip(job);

        const QDir root(FDrives->Base());
        QCOMPARE(FilesBelow(FDrives->Base()), Sorted({root.relativeFilePath(Native(Archive)),
                                                      root.relativeFilePath(Native(base + "Docs\\ok.txt"))}));
        QVERIFY(!QFile::exists(QStringLiteral("/abs-restore-test.txt")));
        QCOMPARE(Read(base + QStringLiteral("Docs\\ok.txt")), QByteArray("ok"));

        QStringList expectedRows = {QStringLiteral("Docs\\ok.txt|Done")};
        for (const QString &line : hostile)
            expectedRows << line.mid(6) + QStringLiteral("|Error Code 18");
        QCOMPARE(Sorted(observer->LogsOf(UnZipAction)), Sorted(expectedRows));
        QCOMPARE(observer->Errors.size(), hostile.size());
        for (const TRecordingObserver::TErrorRow &error : observer->Errors)
            QVERIFY2(error.Message.startsWith(QStringLiteral("(18) ")), qPrintable(error.Message));
    }

    void unreadableArchive_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("code");

        QTest::newRow("truncated") << "truncate" << 19;
        QTest::newRow("not a zip") << "garbage" << 19;
        QTest::newRow("missing") << "remove" << 9;
    }
    void unreadableArchive()
    {
        QFETCH(QString, damage);
        QFETCH(int, code);
        WriteArchive(Archive, StandardEntries);
        WriteArchive(Source + QStringLiteral("D.Zip"), {{QStringLiteral("Data/x.txt"), "x"}});
        QFile file(Native(Archive));
        if (damage == QLatin1String("truncate"))
            QVERIFY(file.resize(file.size() / 2));
        else if (damage == QLatin1String("garbage"))
            trovalo::test::WriteFile(Native(Archive), QByteArray(4096, 'g'));
        else
            QVERIFY(file.remove());

        TRestoreJob job;
        job.Include = {Source + QStringLiteral("C.Zip\\Users\\Ann\\")};
        job.FileList = {QStringLiteral("C.Zip\\Users\\Ann\\Docs\\b.txt"),
                        QStringLiteral("D.Zip\\Data\\x.txt")};
        const auto observer = RunZip(job);

        QCOMPARE(Read(QStringLiteral("D:\\Data\\x.txt")), QByteArray("x"));
        QCOMPARE(FilesBelow(FDrives->NativeRoot('C')), QStringList());
        QCOMPARE(observer->Errors.size(), 1);
        const TRecordingObserver::TErrorRow &error = observer->Errors.constFirst();
        QCOMPARE(error.Code, code);
        QVERIFY2(error.Message.startsWith(QStringLiteral("(%1) ").arg(code)), qPrintable(error.Message));
        QVERIFY2(error.Message.contains(Archive), qPrintable(error.Message));
        const QString info = QStringLiteral("|Error Code %1").arg(code);
        QCOMPARE(Sorted(observer->LogsOf(UnZipAction)),
                 Sorted({"Users\\Ann\\" + info, "Users\\Ann\\Docs\\b.txt" + info, "Data\\x.txt|Done"}));
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Finished !"));
    }

    void cancelDuringLargeExtraction()
    {
        const QByteArray big = RandomBytes(8 * CopyChunkSize + 123);
        WriteArchive(Archive, {{QStringLiteral("Users/Ann/big.bin"), big}});
        Put(QStringLiteral("C:\\Users\\Ann\\big.bin"), "old content");

        auto observer = std::make_unique<TRecordingObserver>();
        observer->OnProgress = [](TThreadBase &sender, double percentage) {
            if (percentage > 0 && percentage < 100)
                sender.RequestStop();
        };
        TRestoreJob job;
        job.FileList = {QStringLiteral("C.Zip\\Users\\Ann\\big.bin")};
        observer = RunZip(job, std::move(observer));

        QCOMPARE(observer->LastStatus(), QStringLiteral(" Canceled"));
        QCOMPARE(Read(QStringLiteral("C:\\Users\\Ann\\big.bin")), QByteArray("old content"));
        QCOMPARE(FilesBelow(FDrives->NativeRoot('C')), QStringList{"Users/Ann/big.bin"});
        QCOMPARE(observer->FailedLogCount(), 1);
        QVERIFY(observer->Errors.isEmpty());
    }

    // Linux keeps "Report.txt" and "report.txt" side by side, and so does
    // the archive: each is restored as itself, and a chosen one is restored
    // rather than its namesake in another case.
    void zipRestoreNamesDifferingInCase_data()
    {
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("restored"); // entry=content

        const QString docs = Source + QStringLiteral("C.Zip\\Docs\\");
        const QStringList wholeFolder{"Docs\\Report.txt=upper", "Docs\\report.txt=lower",
                                      "Docs\\notes.txt=notes"};
        QTest::newRow("folder") << QStringList{docs} << QStringList{} << wholeFolder;
        QTest::newRow("lower-case file chosen") << QStringList{} << QStringList{"C.Zip\\Docs\\report.txt"}
                                                << QStringList{"Docs\\report.txt=lower"};
        QTest::newRow("upper-case file chosen") << QStringList{} << QStringList{"C.Zip\\Docs\\Report.txt"}
                                                << QStringList{"Docs\\Report.txt=upper"};
        QTest::newRow("file chosen and its folder")
            << QStringList{docs} << QStringList{"C.Zip\\Docs\\report.txt"} << wholeFolder;
        QTest::newRow("file chosen in a third case")
            << QStringList{} << QStringList{"c.zip\\DOCS\\Notes.TXT"} << QStringList{"Docs\\notes.txt=notes"};
    }
    void zipRestoreNamesDifferingInCase()
    {
        QFETCH(QStringList, include);
        QFETCH(QStringList, files);
        QFETCH(QStringList, restored);
        WriteArchive(Archive, {{QStringLiteral("Docs/Report.txt"), "upper"},
                               {QStringLiteral("Docs/report.txt"), "lower"},
                               {QStringLiteral("Docs/notes.txt"), "notes"}});
        TRestoreJob job;
        job.Include = include;
        job.FileList = files;
        job.RestoreDir = QStringLiteral("D:\\Restore");
        const auto observer = RunZip(job);

        QStringList expectedFiles;
        QStringList expectedRows;
        for (const QString &item : std::as_const(restored)) {
            const QString name = item.section(QLatin1Char('='), 0, 0);
            QCOMPARE(Read(QStringLiteral("D:\\Restore\\") + name),
                     item.section(QLatin1Char('='), 1).toUtf8());
            expectedFiles << QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'));
            expectedRows << name + QStringLiteral("|Done");
        }
        QCOMPARE(FilesBelow(FDrives->Native('D', QStringLiteral("Restore"))), Sorted(expectedFiles));
        QCOMPARE(Sorted(observer->LogsOf(UnZipAction)), Sorted(expectedRows));
        QVERIFY2(observer->Errors.isEmpty(), qPrintable(ErrorTexts(*observer).join('\n')));
        const TStatusReport &last = observer->Statuses.constLast();
        QCOMPARE(last.ProgressBarPosition, 100);
        QCOMPARE(last.BytesProcessed, last.BytesTotal);
    }

    void infoZipArchive_data()
    {
        QTest::addColumn<QString>("password");

        QTest::newRow("plain") << "";
        QTest::newRow("traditional password") << "secret";
    }
    void infoZipArchive()
    {
        QFETCH(QString, password);
        const QString zipProgram = QStandardPaths::findExecutable(QStringLiteral("zip"));
        if (zipProgram.isEmpty())
            QSKIP("Info-ZIP zip is not installed");
        Put(QStringLiteral("E:\\Scratch\\Users\\Ann\\a.txt"), "alpha");
        Put(QStringLiteral("E:\\Scratch\\Users\\Ann\\Docs\\b.txt"), "beta");
        Put(QStringLiteral("E:\\Scratch\\Users\\Bob\\d.txt"), "delta");
        QVERIFY(QDir().mkpath(Native(Source)));
        QStringList arguments = {QStringLiteral("-r"), QStringLiteral("-q")};
        if (!password.isEmpty())
            arguments << QStringLiteral("-P") << password;
        arguments << Native(Archive) << QStringLiteral("Users");
        QProcess zip;
        zip.setWorkingDirectory(Native(QStringLiteral("E:\\Scratch")));
        zip.start(zipProgram, arguments);
        QVERIFY(zip.waitForFinished(30000));
        QCOMPARE(zip.exitCode(), 0);

        TRestoreJob job;
        job.Include = {Source + QStringLiteral("C.Zip\\Users\\Ann\\")};
        job.FileList = {QStringLiteral("C.Zip\\Users\\Ann\\Docs\\b.txt")};
        job.RestoreDir = QStringLiteral("D:\\Restore");
        job.Password = password;
        const auto observer = RunZip(job);

        QCOMPARE(Read(QStringLiteral("D:\\Restore\\Users\\Ann\\a.txt")), QByteArray("alpha"));
        QCOMPARE(Read(QStringLiteral("D:\\Restore\\Users\\Ann\\Docs\\b.txt")), QByteArray("beta"));
        QCOMPARE(FilesBelow(FDrives->Native('D', QStringLiteral("Restore"))),
                 QStringList({"Users/Ann/Docs/b.txt", "Users/Ann/a.txt"}));
        QCOMPARE(observer->FailedLogCount(), 0);
        QVERIFY2(observer->Errors.isEmpty(), qPrintable(ErrorTexts(*observer).join('\n')));
        QCOMPARE(observer->LastStatus(), QStringLiteral(" Finished !"));
    }
};

QTEST_GUILESS_MAIN(TestRestoreEngines)
#include "tst_restoreengines.moc"
