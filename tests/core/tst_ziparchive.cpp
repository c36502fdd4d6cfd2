#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "platform/ZipArchive.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QtTest>

#include <zip.h>

using namespace trovalo;
using trovalo::test::FilesBelow;
using trovalo::test::PutNative;
using trovalo::test::RandomBytes;
using trovalo::test::ReadOrMissing;
using trovalo::test::WriteFile;

namespace {

const QString ArchivePath = QStringLiteral("E:\\Backup\\C.zip");

// An archive written by libzip directly, independent of the code under test
// and free to hold names and encryptions that TZipArchive never writes.
void WriteRawArchive(const QString &native, const QList<std::pair<QByteArray, QByteArray>> &entries,
                     zip_uint16_t encryption = ZIP_EM_NONE, const char *password = nullptr)
{
    QVERIFY(QDir().mkpath(QFileInfo(native).path()));
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(native).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(zip);
    for (const auto &[name, content] : entries) {
        zip_source_t *source = zip_source_buffer(zip, content.constData(), content.size(), 0);
        const zip_int64_t index = zip_file_add(zip, name.constData(), source, 0);
        QVERIFY(index >= 0);
        if (encryption != ZIP_EM_NONE)
            QVERIFY(zip_file_set_encryption(zip, index, encryption, password) == 0);
    }
    QVERIFY2(zip_close(zip) == 0, zip_strerror(zip));
}

QStringList NamesOf(const QList<TZipEntryInfo> &entries)
{
    QStringList names;
    for (const TZipEntryInfo &entry : entries)
        names << entry.Name;
    names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(TZipMethod)
Q_DECLARE_METATYPE(TZipEncryption)
Q_DECLARE_METATYPE(TZipOpenMode)

class TestZipArchive : public QObject
{
    Q_OBJECT

private slots:
    void isSafeEntryName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << "a.txt" << true;
        QTest::newRow("nested") << "Users/Ann/Docs/a.txt" << true;
        QTest::newRow("hidden") << ".profile" << true;
        QTest::newRow("dots inside a name") << "a..b/...txt" << true;
        QTest::newRow("folder entry") << "Users/Ann/" << true;
        QTest::newRow("colon later") << "ab:c.txt" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("parent") << "../x" << false;
        QTest::newRow("parent only") << ".." << false;
        QTest::newRow("parent inside") << "a/../../x" << false;
        QTest::newRow("parent at end") << "a/.." << false;
        QTest::newRow("parent backslash") << "a\\..\\x" << false;
        QTest::newRow("absolute slash") << "/etc/passwd" << false;
        QTest::newRow("absolute backslash") << "\\x" << false;
        QTest::newRow("unc") << "\\\\srv\\share\\x" << false;
        QTest::newRow("drive relative") << "C:x" << false;
        QTest::newRow("drive absolute") << "c:/x" << false;
    }
    void isSafeEntryName()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(TZipArchive::IsSafeEntryName(name), safe);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("aes") << QStringLiteral("s3cret pässword");
    }
    void roundTrip()
    {
        QFETCH(QString, password);
        test::TTestDrives drives;
        const QMap<QString, QByteArray> files = {
            {QStringLiteral("a.txt"), QByteArray("alpha\n").repeated(1000)},
            {QStringLiteral(".hidden"), QByteArray("secret dot file")},
            {QStringLiteral("Users/Ann/Docs/deep.bin"), RandomBytes(300000)},
            {QStringLiteral("Users/Ann/empty.txt"), QByteArray()},
        };
        const QDateTime stamp(QDate(2021, 6, 15), QTime(13, 45, 22));
        for (auto it = files.begin(); it != files.end(); ++it) {
            const QString native = drives.Native('C', QStringLiteral("Data/") + it.key());
            PutNative(native, it.value());
            QFile file(native);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Backup"))));

        TZipArchive zip;
        zip.SetPassword(password);
        zip.Open(ArchivePath, TZipOpenMode::Update);
        for (auto it = files.begin(); it != files.end(); ++it)
            zip.AddFile(QStringLiteral("C:\\Data\\") + QString(it.key()).replace('/', '\\'), it.key());
        QList<TCopyProgress> steps;
        QVERIFY(zip.Commit([&](const TCopyProgress &p) {
            steps << p;
            return true;
        }));
        QVERIFY(!zip.IsOpen());
        qint64 total = 0;
        for (const QByteArray &content : files)
            total += content.size();
        QVERIFY(!steps.isEmpty());
        QCOMPARE(steps.last().Total, total);
        QCOMPARE(steps.last().Done, total);

        TZipArchive reader;
        reader.SetPassword(password);
        reader.Open(ArchivePath, TZipOpenMode::Read);
        const QList<TZipEntryInfo> entries = reader.Entries();
        QCOMPARE(NamesOf(entries), QStringList(files.keys()));
        for (const TZipEntryInfo &entry : entries) {
            QCOMPARE(entry.Size, quint64(files.value(entry.Name).size()));
            QCOMPARE(entry.Modified, DateTimeFromQt(stamp));
            QCOMPARE(entry.Encryption, password.isEmpty() ? TZipEncryption::None : TZipEncryption::Aes);
            // Written here, so "\\" would be part of a name.
            QVERIFY(entry.UnixNames);
            const QString target = TZipArchive::TargetBelow(QStringLiteral("E:\\Out"), entry.Name, true);
            QVERIFY(reader.ExtractEntry(entry.Name, target));
            const QString native = drives.Native('E', QStringLiteral("Out/") + entry.Name);
            QCOMPARE(ReadOrMissing(native), files.value(entry.Name));
            QCOMPARE(QFileInfo(native).lastModified(), stamp);
        }
        QCOMPARE(FilesBelow(drives.Native('E', QStringLiteral("Out"))), QStringList(files.keys()));
    }

    void replaceEntry()
    {
        test::TTestDrives drives;
        PutNative(drives.Native('C', QStringLiteral("old.txt")), "old content");
        PutNative(drives.Native('C', QStringLiteral("new.txt")), "the new content");
        PutNative(drives.Native('C', QStringLiteral("other.txt")), "other");
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Backup"))));
        TZipArchive zip;
        zip.Open(ArchivePath, TZipOpenMode::Update);
        zip.AddFile(QStringLiteral("C:\\old.txt"), QStringLiteral("Docs/a.txt"));
        zip.AddFile(QStringLiteral("C:\\other.txt"), QStringLiteral("Docs/b.txt"));
        QVERIFY(zip.Commit());
        // The new version keeps the archive's permissions.
        const QString archive = drives.Native('E', QStringLiteral("Backup/C.zip"));
        const auto kept = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(archive, kept));

        zip.Open(ArchivePath, TZipOpenMode::Update);
        zip.AddFile(QStringLiteral("C:\\new.txt"), QStringLiteral("Docs/a.txt"));
        QVERIFY(zip.Commit());
        const QFileDevice::Permissions userBits(QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                QFileDevice::ExeUser);
        QCOMPARE(QFile::permissions(archive) & ~userBits, kept);

        zip.Open(ArchivePath, TZipOpenMode::Read);
        QCOMPARE(NamesOf(zip.Entries()), QStringList({"Docs/a.txt", "Docs/b.txt"}));
        QVERIFY(zip.ExtractEntry(QStringLiteral("Docs/a.txt"), QStringLiteral("E:\\a.txt")));
        QCOMPARE(ReadOrMissing(drives.Native('E', QStringLiteral("a.txt"))), QByteArray("the new content"));
        QVERIFY(zip.ExtractEntry(QStringLiteral("Docs/b.txt"), QStringLiteral("E:\\b.txt")));
        QCOMPARE(ReadOrMissing(drives.Native('E', QStringLiteral("b.txt"))), QByteArray("other"));
    }

    void encryptedRead_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("password");
        QTest::addColumn<TZipEncryption>("encryption");
        QTest::addColumn<bool>("readable");
        const auto aes = TZipEncryption::Aes, trad = TZipEncryption::Traditional;
        QTest::newRow("aes right") << int(ZIP_EM_AES_256) << "right" << aes << true;
        QTest::newRow("aes wrong") << int(ZIP_EM_AES_256) << "wrong" << aes << false;
        QTest::newRow("aes none") << int(ZIP_EM_AES_256) << "" << aes << false;
        QTest::newRow("traditional right") << int(ZIP_EM_TRAD_PKWARE) << "right" << trad << true;
        QTest::newRow("traditional wrong") << int(ZIP_EM_TRAD_PKWARE) << "wrong" << trad << false;
        QTest::newRow("traditional none") << int(ZIP_EM_TRAD_PKWARE) << "" << trad << false;
    }
    void encryptedRead()
    {
        QFETCH(int, method);
        QFETCH(QString, password);
        QFETCH(TZipEncryption, encryption);
        QFETCH(bool, readable);
        if (!zip_encryption_method_supported(static_cast<zip_uint16_t>(method), 1))
            QSKIP("this libzip cannot write the encryption");
        test::TTestDrives drives;
        const QByteArray content = RandomBytes(70000);
        WriteRawArchive(drives.Native('E', QStringLiteral("Backup/C.zip")), {{"Docs/x.bin", content}},
                        static_cast<zip_uint16_t>(method), "right");
        const QString target = drives.Native('C', QStringLiteral("Restore/x.bin"));
        PutNative(target, "keep me");

        TZipArchive zip;
        zip.SetPassword(password);
        zip.Open(ArchivePath, TZipOpenMode::Read);
        QCOMPARE(zip.Entry(QStringLiteral("Docs/x.bin"))->Encryption, encryption);
        if (readable) {
            QVERIFY(zip.ExtractEntry(QStringLiteral("Docs/x.bin"), QStringLiteral("C:\\Restore\\x.bin")));
            QCOMPARE(ReadOrMissing(target), content);
        } else {
            QVERIFY_THROWS_EXCEPTION(EFileError, zip.ExtractEntry(QStringLiteral("Docs/x.bin"),
                                                                  QStringLiteral("C:\\Restore\\x.bin")));
            QCOMPARE(ReadOrMissing(target), QByteArray("keep me"));
        }
        QCOMPARE(FilesBelow(drives.Native('C', QStringLiteral("Restore"))), QStringList({"x.bin"}));
    }

    void hostileNamesRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("parent") << QByteArray("../evil.txt");
        QTest::newRow("parent inside") << QByteArray("Out/../../evil.txt");
        QTest::newRow("parent backslash") << QByteArray("..\\evil.txt");
        QTest::newRow("absolute") << QByteArray("/evil.txt");
        QTest::newRow("drive") << QByteArray("C:evil.txt");
    }
    void hostileNamesRefused()
    {
        QFETCH(QByteArray, name);
        test::TTestDrives drives;
        WriteRawArchive(drives.Native('E', QStringLiteral("Backup/C.zip")), {{name, "gotcha"}});
        const QString out = drives.Native('E', QStringLiteral("Out/Sub"));
        QVERIFY(QDir().mkpath(out));

        TZipArchive zip;
        zip.Open(ArchivePath, TZipOpenMode::Read);
        const QString entry = QString::fromUtf8(name);
        QCOMPARE(NamesOf(zip.Entries()), QStringList({entry}));
        QVERIFY_THROWS_EXCEPTION(EFileError,
                                 TZipArchive::TargetBelow(QStringLiteral("E:\\Out\\Sub\\"), entry, true));
        try {
            zip.ExtractEntry(entry, QStringLiteral("E:\\Out\\Sub\\safe.txt"));
            QFAIL("a hostile entry was extracted");
        } catch (const EFileError &error) {
            QVERIFY2(error.Message().contains(entry), qPrintable(error.Message()));
        }
        const QString archive = drives.Native('E', QStringLiteral("Backup/C.zip"));
        QCOMPARE(FilesBelow(drives.Base()), QStringList({QDir(drives.Base()).relativeFilePath(archive)}));
    }

    // An entry whose data run on past the size its directory records (a zip
    // bomb) is stopped there: nothing beyond that size is written, and the
    // file at the target stays as it was.
    void dataBeyondRecordedSize_data()
    {
        QTest::addColumn<quint32>("recorded");
        QTest::addColumn<bool>("stored"); // not deflated
        QTest::newRow("deflated, recorded as empty") << quint32(0) << false;
        QTest::newRow("deflated, recorded small") << quint32(1000) << false;
        QTest::newRow("stored, recorded small") << quint32(1000) << true;
    }
    void dataBeyondRecordedSize()
    {
        QFETCH(quint32, recorded);
        QFETCH(bool, stored);
        test::TTestDrives drives;
        const QString native = drives.Native('E', QStringLiteral("Backup/C.zip"));
        const QByteArray content(4 << 20, 'z');
        WriteRawArchive(native, {{"bomb.txt", content}});
        if (stored) {
            int error = 0;
            zip_t *zip = zip_open(QFile::encodeName(native).constData(), 0, &error);
            QVERIFY(zip);
            QVERIFY(zip_set_file_compression(zip, 0, ZIP_CM_STORE, 0) == 0);
            QVERIFY2(zip_close(zip) == 0, zip_strerror(zip));
        }
        // The uncompressed size, in the local header and in the directory.
        QByteArray bytes = ReadOrMissing(native);
        const auto patch = [&](const QByteArray &signature, int offset) {
            const qsizetype at = bytes.indexOf(signature);
            QVERIFY(at >= 0);
            for (int i = 0; i < 4; ++i)
                bytes[at + offset + i] = char((recorded >> (8 * i)) & 0xff);
        };
        patch(QByteArray("PK\x03\x04", 4), 22);
        patch(QByteArray("PK\x01\x02", 4), 24);
        WriteFile(native, bytes);
        const QString target = drives.Native('C', QStringLiteral("Out/bomb.txt"));
        PutNative(target, "keep me");

        TZipArchive zip;
        zip.Open(ArchivePath, TZipOpenMode::Read);
        QCOMPARE(zip.Entry(QStringLiteral("bomb.txt"))->Size, quint64(recorded));
        qint64 written = 0;
        QVERIFY_THROWS_EXCEPTION(EFileError, zip.ExtractEntry(QStringLiteral("bomb.txt"),
                                                              QStringLiteral("C:\\Out\\bomb.txt"),
                                                              [&](const TCopyProgress &progress) {
                                                                  written = progress.Done;
                                                                  return true;
                                                              }));
        QVERIFY2(written <= qint64(recorded), qPrintable(QString::number(written)));
        QCOMPARE(ReadOrMissing(target), QByteArray("keep me"));
        QCOMPARE(FilesBelow(drives.Native('C', QStringLiteral("Out"))), QStringList({"bomb.txt"}));
    }

    void failedCommitKeepsOldArchive_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("source vanished") << false;
    }
    void failedCommitKeepsOldArchive()
    {
        QFETCH(bool, cancel);
        test::TTestDrives drives;
        PutNative(drives.Native('C', QStringLiteral("old.txt")), "old content");
        PutNative(drives.Native('C', QStringLiteral("big.bin")), RandomBytes(4 << 20));
        const QString archive = drives.Native('E', QStringLiteral("Backup/C.zip"));
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
        TZipArchive zip;
        zip.Open(ArchivePath, TZipOpenMode::Update);
        zip.AddFile(QStringLiteral("C:\\old.txt"), QStringLiteral("old.txt"));
        QVERIFY(zip.Commit());
        const QByteArray before = ReadOrMissing(archive);

        zip.Open(ArchivePath, TZipOpenMode::Update);
        zip.AddFile(QStringLiteral("C:\\big.bin"), QStringLiteral("big.bin"));
        zip.AddFile(QStringLiteral("C:\\old.txt"), QStringLiteral("old.txt"));
        if (cancel) {
            int calls = 0;
            QVERIFY(!zip.Commit([&](const TCopyProgress &) { return ++calls < 3; }));
            QVERIFY(calls >= 3);
        } else {
            QVERIFY(QFile::remove(drives.Native('C', QStringLiteral("big.bin"))));
            QVERIFY_THROWS_EXCEPTION(EFileError, zip.Commit());
        }
        QVERIFY(!zip.IsOpen());
        QCOMPARE(FilesBelow(QFileInfo(archive).path()), QStringList({"C.zip"}));
        QCOMPARE(ReadOrMissing(archive), before);
        zip.Open(ArchivePath, TZipOpenMode::Read);
        QCOMPARE(NamesOf(zip.Entries()), QStringList({"old.txt"}));
    }

    void methodByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<TZipMethod>("method");
        QTest::newRow("text") << "notes.txt" << TZipMethod::Deflated;
        QTest::newRow("no extension") << "Makefile" << TZipMethod::Deflated;
        QTest::newRow("dot in folder") << "pics.jpg/readme" << TZipMethod::Deflated;
        QTest::newRow("jpeg upper case") << "Photo.JPG" << TZipMethod::Stored;
        QTest::newRow("7z") << "old/archive.7z" << TZipMethod::Stored;
        QTest::newRow("docx") << "report.docx" << TZipMethod::Stored;
        QTest::newRow("mkv") << "film.mkv" << TZipMethod::Stored;
    }
    void methodByExtension()
    {
        QFETCH(QString, name);
        QFETCH(TZipMethod, method);
        test::TTestDrives drives;
        const QByteArray content = QByteArray("compressible text ").repeated(500);
        PutNative(drives.Native('C', QStringLiteral("src")), content);
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Backup"))));
        TZipArchive zip;
        zip.Open(ArchivePath, TZipOpenMode::Update);
        zip.AddFile(QStringLiteral("C:\\src"), name);
        QVERIFY(zip.Commit());
        zip.Open(ArchivePath, TZipOpenMode::Read);
        const auto entry = zip.Entry(name);
        QVERIFY(entry);
        QCOMPARE(entry->Method, method);
        QCOMPARE(entry->PackedSize < entry->Size, method == TZipMethod::Deflated);
    }

    void openErrors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<TZipOpenMode>("mode");
        QTest::newRow("missing") << QByteArray() << TZipOpenMode::Read;
        QTest::newRow("garbage read") << QByteArray("not a zip at all, ").repeated(20) << TZipOpenMode::Read;
        QTest::newRow("garbage update")
            << QByteArray("not a zip at all, ").repeated(20) << TZipOpenMode::Update;
    }
    void openErrors()
    {
        QFETCH(QByteArray, content);
        QFETCH(TZipOpenMode, mode);
        test::TTestDrives drives;
        const QString archive = drives.Native('E', QStringLiteral("Backup/C.zip"));
        if (!content.isEmpty())
            PutNative(archive, content);
        TZipArchive zip;
        try {
            zip.Open(ArchivePath, mode);
            QFAIL("opened");
        } catch (const EFileError &error) {
            QVERIFY2(error.Message().contains(ArchivePath), qPrintable(error.Message()));
        }
        QVERIFY(!zip.IsOpen());
        QCOMPARE(ReadOrMissing(archive), content.isEmpty() ? QByteArray("<missing>") : content);
    }
};

QTEST_GUILESS_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
