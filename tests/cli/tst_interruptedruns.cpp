#include "CliProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "db/JobDatabase.h"
#include "db/SyncDatabase.h"
#include "platform/DriveTable.h"
#include "platform/ZipArchive.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

using namespace trovalo;
using namespace trovalo::test;

namespace {

const QString Source = QStringLiteral("C:\\Users\\ann\\Docs\\");
const QString UsbDocs = QStringLiteral("E:\\Docs\\");
constexpr int Kills = 4;

// The seed of the kill moments: TROVALO_TORTURE_SEED replays a failure.
quint32 Seed()
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("TROVALO_TORTURE_SEED").toUInt(&given);
    return given ? seed : QRandomGenerator::global()->generate();
}

// A user's documents: many small files in a few folders and some large
// ones, so a kill meets every stage of a run.
void WriteDocuments(const QString &letterFolder, quint32 seed)
{
    QRandomGenerator random(seed);
    for (int i = 0; i < 150; ++i)
        PutAt(letterFolder + QStringLiteral("f%1\\file%2.bin").arg(i % 8).arg(i),
              RandomBytes(random.bounded(1, 48 << 10), seed + quint32(i)));
    for (int i = 0; i < 3; ++i)
        PutAt(letterFolder + QStringLiteral("large%1.bin").arg(i),
              RandomBytes(3 << 20, seed + 1000 + quint32(i)));
}

// Every file below a folder (drive-letter form) with its content.
QMap<QString, QByteArray> Tree(const QString &letterFolder)
{
    QMap<QString, QByteArray> tree;
    const QString native = NativePath(letterFolder);
    for (const QString &name : FilesBelow(native))
        tree.insert(name, ReadOrMissing(native + name));
    return tree;
}

// The program's temporary files anywhere on the drives.
QStringList TemporaryFiles(const TTestDrives &drives)
{
    QStringList found;
    QDirIterator files(drives.Base(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        if (const QString path = files.next(); QFileInfo(path).fileName().startsWith(".~trovalo-"))
            found << path;
    return found;
}

enum class TJobKind { Copy, Zip, Sync };

struct TJob
{
    TJobKind Kind;
    QString File;     // E:\Config\...
    QString Database; // beside it
    QString Copies;   // where the copy of Source lands (copy and sync jobs)
};

TJob NewJob(TJobKind kind)
{
    // Both folders exist, as a user picks them.
    QDir().mkpath(NativePath(kind == TJobKind::Sync ? UsbDocs : QString("E:\\Backup\\")));
    QStringList arguments;
    if (kind == TJobKind::Sync)
        arguments = {"new", "sync", "--pair", "E:\\Docs=C:\\Users\\ann\\Docs", "--name", "Docs"};
    else
        arguments = {"new",           "backup",     "--direction",
                     "to-usb",        "--type",     kind == TJobKind::Zip ? "zip" : "mirror",
                     "--destination", "E:\\Backup", "--source",
                     Source,          "--name",     "Docs"};
    const TCliRun made = RunCli(arguments);
    const QStringList jobs = QDir(NativePath("E:\\Config\\")).entryList({"*.Zj?"}, QDir::Files);
    if (made.Status != 0 || jobs.size() != 1) {
        qWarning().noquote() << made.Out << made.Err << jobs;
        return {kind, {}, {}, {}};
    }
    const QString file = "E:\\Config\\" + jobs.first();
    const QString database = file.left(file.size() - 1) + (kind == TJobKind::Sync ? 't' : 'd');
    return {kind, file, database, kind == TJobKind::Sync ? UsbDocs : "E:\\Backup\\C\\Users\\ann\\Docs\\"};
}

// What the job's records claim must be there, complete: every FileLog row
// of a backup names a file whose copy (or archive entry) equals it, every
// sync-history row with dates a pair of equal files. Files without a row
// are allowed: the next run records them.
QString FalseRecords(const TJob &job)
{
    if (!QFileInfo::exists(NativePath(job.Database)))
        return {};
    QStringList wrong;
    if (job.Kind == TJobKind::Sync) {
        for (const TSyncFileRow &row : TSyncDatabase(job.Database).Rows())
            if (row.DateFolderA && row.DateFolderB &&
                (ReadAt("E:" + row.FolderA + row.FileName) != ReadAt(row.FolderB + row.FileName) ||
                 ReadAt(row.FolderB + row.FileName) == "<missing>"))
                wrong << row.FileName;
        return wrong.join(", ");
    }
    QMap<QString, QByteArray> archive;
    if (job.Kind == TJobKind::Zip && QFileInfo::exists(NativePath("E:\\Backup\\C.Zip"))) {
        TZipArchive zip;
        zip.Open("E:\\Backup\\C.Zip", TZipOpenMode::Read);
        for (const TZipEntryInfo &entry : zip.Entries())
            if (!entry.IsFolder()) {
                zip.ExtractEntry(entry.Name, "C:\\Scratch\\entry");
                archive.insert(entry.Name, ReadAt("C:\\Scratch\\entry"));
            }
    }
    for (const TFileLogRow &row : TJobDatabase(job.Database).FileRows()) {
        if (QFileInfo(NativePath(row.FileName)).isDir())
            continue;
        const QString relative = row.FileName.mid(Source.size());
        const QByteArray copy =
            job.Kind == TJobKind::Zip
                ? archive.value("Users/ann/Docs/" + QString(relative).replace('\\', '/'), "<missing>")
                : ReadAt(job.Copies + relative);
        if (copy != ReadAt(row.FileName))
            wrong << row.FileName;
    }
    return wrong.join(", ");
}

// The job's state as before its first run.
void Reset(const TJob &job)
{
    QFile::remove(NativePath(job.Database));
    QDir(NativePath(job.Kind == TJobKind::Sync ? UsbDocs : QString("E:\\Backup\\"))).removeRecursively();
    QDir().mkpath(NativePath(job.Kind == TJobKind::Sync ? UsbDocs : QString("E:\\Backup\\")));
}

} // namespace

Q_DECLARE_METATYPE(TJobKind)

class TestInterruptedRuns : public QObject
{
    Q_OBJECT

private slots:
    // A run killed at any moment (a stick pulled out, a battery gone flat)
    // loses nothing and leaves nothing: after the next complete run the
    // copies equal the sources, no temporary file is left, and at every
    // moment the records name only complete copies.
    void killedRunsThenOneToTheEnd_data()
    {
        QTest::addColumn<TJobKind>("kind");
        QTest::newRow("copy backup") << TJobKind::Copy;
        QTest::newRow("zip backup") << TJobKind::Zip;
        QTest::newRow("sync") << TJobKind::Sync;
    }
    void killedRunsThenOneToTheEnd()
    {
        QFETCH(TJobKind, kind);
        const quint32 seed = Seed();
        const QString replay = QStringLiteral("TROVALO_TORTURE_SEED=%1").arg(seed);
        TTestDrives drives;
        WriteDocuments(Source, seed);
        const TJob job = NewJob(kind);
        QVERIFY(!job.File.isEmpty());
        Reset(job);
        const QStringList run = {"run", job.File, "--yes"};

        // How long a whole run takes here, so the kills fall inside one.
        QElapsedTimer timer;
        timer.start();
        const TCliRun first = RunCli(run);
        QVERIFY2(first.Status == 0, qPrintable(first.Out + first.Err));
        const qint64 whole = std::max<qint64>(timer.elapsed(), 50);
        Reset(job);

        QRandomGenerator random(seed);
        int killed = 0;
        for (int kill = 0; kill < Kills; ++kill) {
            QProcess process;
            StartCli(process, run);
            QVERIFY(process.waitForStarted());
            const qint64 at = whole * kill / Kills + random.bounded(whole / Kills + 1);
            if (!process.waitForFinished(int(at))) {
                process.kill(); // SIGKILL: no clean-up of any kind
                process.waitForFinished();
                ++killed;
            }
            QVERIFY2(FalseRecords(job).isEmpty(), qPrintable(QString("%1, kill %2 after %3 ms: %4")
                                                                 .arg(replay)
                                                                 .arg(kill)
                                                                 .arg(at)
                                                                 .arg(FalseRecords(job))));
        }

        // Later runs have less to do and may end before their kill; the
        // first always meets one.
        QVERIFY2(killed >= 1, qPrintable(replay));
        const TCliRun last = RunCli(run);
        QVERIFY2(last.Status == 0, qPrintable(replay + "\n" + last.Out + last.Err));
        QVERIFY2(TemporaryFiles(drives).isEmpty(),
                 qPrintable(replay + ": " + TemporaryFiles(drives).join(", ")));
        QVERIFY2(FalseRecords(job).isEmpty(), qPrintable(replay));
        if (kind == TJobKind::Zip) {
            const TCliRun test = RunProgram("unzip", {"-tqq", NativePath("E:\\Backup\\C.Zip")});
            QVERIFY2(test.Status == 0, qPrintable(replay + "\n" + test.Out + test.Err));
            QCOMPARE(TJobDatabase(job.Database).FileRows().size(), Tree(Source).size());
        } else {
            QVERIFY2(Tree(job.Copies) == Tree(Source), qPrintable(replay));
        }
    }
};

QTEST_GUILESS_MAIN(TestInterruptedRuns)
#include "tst_interruptedruns.moc"
