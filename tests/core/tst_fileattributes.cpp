#include "TestDrives.h"
#include "TestFiles.h"

#include "platform/FatAttributeIo.h"
#include "platform/FileAttributes.h"

#include <QtTest>

#include <sys/stat.h>

using namespace trovalo;
using trovalo::test::ReadOrMissing;
using trovalo::test::WriteFile;

namespace {

mode_t ModeOf(const QString &native)
{
    struct stat info
    {
    };
    ::stat(QFile::encodeName(native).constData(), &info);
    return info.st_mode & 07777;
}

// Stands in for a FAT volume: says whether the path is on FAT, answers the
// attribute ioctls with fixed results and records what was set.
class TFakeFat : public TFatAttributeIo
{
public:
    bool OnFat = true;
    std::optional<quint32> GetResult;
    bool SetSucceeds = true;
    mutable QList<quint32> SetCalls;

    TFakeFat() { SetCurrent(this); }
    ~TFakeFat() override { SetCurrent(nullptr); }

    bool IsFatVolume(const QString &) const override { return OnFat; }
    std::optional<quint32> Get(const QString &) const override { return GetResult; }
    bool Set(const QString &, quint32 attributes) const override
    {
        SetCalls << attributes;
        return SetSucceeds;
    }
};

} // namespace

class TestFileAttributes : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TTestDrives> FDrives;

    QString Native(const QString &relative) const { return FDrives->Native('E', relative); }

private slots:
    void init()
    {
        FDrives = std::make_unique<test::TTestDrives>();
        QVERIFY(QDir().mkpath(Native(QStringLiteral("Folder"))));
        WriteFile(Native(QStringLiteral("plain.txt")));
        WriteFile(Native(QStringLiteral(".dot")));
        WriteFile(Native(QStringLiteral("listed.txt")));
        WriteFile(Native(QStringLiteral("ro.txt")));
        WriteFile(Native(QStringLiteral("Folder/listed.txt")));
        ::chmod(QFile::encodeName(Native(QStringLiteral("ro.txt"))).constData(), 0444);
        WriteFile(Native(QStringLiteral(".hidden")), "listed.txt\r\nFolder\nsomething else\n");
    }
    void cleanup() { FDrives.reset(); }

    void generic_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("attributes"); // -1: unreadable
        QTest::newRow("plain file") << "E:\\plain.txt" << 0;
        QTest::newRow("dot name") << "E:\\.dot" << int(faHidden);
        QTest::newRow("listed in .hidden (CRLF)") << "E:\\listed.txt" << int(faHidden);
        QTest::newRow("listed folder") << "E:\\Folder" << int(faDirectory | faHidden);
        QTest::newRow("folder form") << "E:\\Folder\\" << int(faDirectory | faHidden);
        QTest::newRow("list is per folder") << "E:\\Folder\\listed.txt" << 0;
        QTest::newRow("no write permission") << "E:\\ro.txt" << int(faReadOnly);
        QTest::newRow("drive root") << "E:\\" << int(faDirectory);
        QTest::newRow("missing") << "E:\\missing.txt" << -1;
        QTest::newRow("climbing out") << "E:\\..\\c" << -1;
        QTest::newRow("unknown drive") << "F:\\x" << -1;
    }
    void generic()
    {
        QFETCH(QString, path);
        QFETCH(int, attributes);
        const std::optional<quint32> got = GetFileAttributes(path);
        QCOMPARE(got ? int(*got) : -1, attributes);
    }

    void setGeneric_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("hiddenFile"); // the folder's .hidden afterwards
        const QString list = QStringLiteral("listed.txt\r\nFolder\nsomething else\n");
        QTest::newRow("hide") << "E:\\plain.txt" << int(faHidden | faArchive | faSysFile) << int(faHidden)
                              << list + "plain.txt\n";
        QTest::newRow("unhide, other lines kept") << "E:\\listed.txt" << 0 << 0 << "Folder\nsomething else\n";
        QTest::newRow("unhide what is not listed") << "E:\\plain.txt" << 0 << 0 << list;
        QTest::newRow("dot name stays hidden") << "E:\\.dot" << 0 << int(faHidden) << list;
        QTest::newRow("read-only") << "E:\\plain.txt" << int(faReadOnly) << int(faReadOnly) << list;
        QTest::newRow("writable again") << "E:\\ro.txt" << 0 << 0 << list;
        QTest::newRow("folder in subfolder")
            << "E:\\Folder\\listed.txt" << int(faHidden) << int(faHidden) << list;
    }
    void setGeneric()
    {
        QFETCH(QString, path);
        QFETCH(int, wanted);
        QFETCH(int, result);
        QFETCH(QString, hiddenFile);
        QVERIFY(SetFileAttributes(path, quint32(wanted)));
        QCOMPARE(int(*GetFileAttributes(path)), result);
        QCOMPARE(QString::fromUtf8(ReadOrMissing(Native(QStringLiteral(".hidden")))), hiddenFile);
    }

    void readOnlyModes()
    {
        const QString file = Native(QStringLiteral("plain.txt"));
        ::chmod(QFile::encodeName(file).constData(), 0664);
        QVERIFY(SetFileAttributes(QStringLiteral("E:\\plain.txt"), faReadOnly));
        QCOMPARE(ModeOf(file), mode_t(0444));
        QVERIFY(SetFileAttributes(QStringLiteral("E:\\plain.txt"), 0));
        QCOMPARE(ModeOf(file), mode_t(0644));
    }

    void noListCreatedToRemoveAName()
    {
        // Nor outside the drive for its root.
        QVERIFY(SetFileAttributes(QStringLiteral("E:\\"), faHidden));
        QVERIFY(!QFile::exists(FDrives->Base() + QStringLiteral("/.hidden")));
        WriteFile(FDrives->Base() + QStringLiteral("/.hidden"), "e\n");
        QCOMPARE(GetFileAttributes(QStringLiteral("E:\\")), std::optional<quint32>(faDirectory));

        QVERIFY(SetFileAttributes(QStringLiteral("E:\\Folder\\listed.txt"), 0));
        QCOMPARE(ReadOrMissing(Native(QStringLiteral("Folder/.hidden"))), QByteArray("<missing>"));
        QVERIFY(!SetFileAttributes(QStringLiteral("E:\\missing.txt"), faHidden));
        QCOMPARE(ReadOrMissing(Native(QStringLiteral("Folder/.hidden"))), QByteArray("<missing>"));
    }

    void fatDecisions_data()
    {
        QTest::addColumn<bool>("onFat");
        QTest::addColumn<int>("dos"); // what the ioctl reports, -1 when it fails
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("attributes");
        QTest::newRow("FAT attributes used")
            << true << 0x21 << "E:\\plain.txt" << int(faReadOnly | faArchive);
        QTest::newRow("FAT can unhide a dot name") << true << 0x20 << "E:\\.dot" << int(faArchive);
        QTest::newRow("FAT directory")
            << true << 0x16 << "E:\\Folder" << int(faDirectory | faHidden | faSysFile);
        QTest::newRow("volume bit dropped") << true << 0x08 << "E:\\plain.txt" << 0;
        QTest::newRow("ioctl fails: generic rules") << true << -1 << "E:\\.dot" << int(faHidden);
        QTest::newRow("not FAT: ioctl not asked") << false << 0x21 << "E:\\plain.txt" << 0;
    }
    void fatDecisions()
    {
        QFETCH(bool, onFat);
        QFETCH(int, dos);
        QFETCH(QString, path);
        QFETCH(int, attributes);
        TFakeFat fat;
        fat.OnFat = onFat;
        fat.GetResult = dos < 0 ? std::nullopt : std::optional<quint32>(dos);
        QCOMPARE(int(GetFileAttributes(path).value_or(0xFFFF)), attributes);
    }

    void fatSet_data()
    {
        QTest::addColumn<bool>("onFat");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QList<quint32>>("calls");
        QTest::addColumn<bool>("listed"); // plain.txt in .hidden afterwards
        QTest::newRow("set through the ioctl") << true << true << QList<quint32>{0x27} << false;
        QTest::newRow("ioctl refused: .hidden") << true << false << QList<quint32>{0x27} << true;
        QTest::newRow("not FAT") << false << true << QList<quint32>{} << true;
    }
    void fatSet()
    {
        QFETCH(bool, onFat);
        QFETCH(bool, succeeds);
        QFETCH(QList<quint32>, calls);
        QFETCH(bool, listed);
        TFakeFat fat;
        fat.OnFat = onFat;
        fat.SetSucceeds = succeeds;
        // Directory, temporary and not-indexed bits have no place on FAT.
        QVERIFY(SetFileAttributes(QStringLiteral("E:\\plain.txt"), faHidden | faSysFile | faArchive |
                                                                       faReadOnly | faDirectory |
                                                                       faTemporary | faNotContentIndexed));
        QCOMPARE(fat.SetCalls, calls);
        QCOMPARE(ReadOrMissing(Native(QStringLiteral(".hidden"))).contains("plain.txt\n"), listed);
    }
};

QTEST_GUILESS_MAIN(TestFileAttributes)
#include "tst_fileattributes.moc"
