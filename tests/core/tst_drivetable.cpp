#include "TestDrives.h"

#include "base/Exceptions.h"
#include "platform/DriveDiscovery.h"
#include "platform/DriveLetterMemory.h"
#include "platform/DriveMap.h"
#include "platform/DriveOverride.h"
#include "platform/DriveTable.h"

#include <QtTest>

using namespace trovalo;

namespace {

// "E|/Docs" is the test drive E:'s native root followed by "/Docs"; other
// texts are taken as they are.
QString Expand(const test::TTestDrives &drives, const QString &pathText)
{
    if (pathText.size() >= 2 && pathText.at(1) == QLatin1Char('|'))
        return drives.NativeRoot(pathText.at(0)) + pathText.mid(2);
    return pathText;
}

// TROVALO_DRIVES for one test (nullopt: unset), restored (and the table
// refreshed) after.
class TDrivesVariable
{
public:
    explicit TDrivesVariable(const std::optional<QByteArray> &value)
        : FHad(qEnvironmentVariableIsSet("TROVALO_DRIVES"))
        , FOld(qgetenv("TROVALO_DRIVES"))
    {
        if (value)
            qputenv("TROVALO_DRIVES", *value);
        else
            qunsetenv("TROVALO_DRIVES");
        TDriveTable::Instance().Refresh();
    }
    ~TDrivesVariable()
    {
        if (FHad)
            qputenv("TROVALO_DRIVES", FOld);
        else
            qunsetenv("TROVALO_DRIVES");
        TDriveTable::Instance().Refresh();
    }

private:
    bool FHad;
    QByteArray FOld;
};

const char *const SampleMountInfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
    "60 26 8:17 / /media/ann/MY\\040STICK rw,nosuid shared:1 master:2 - vfat /dev/sdb1 rw,uid=1000\n"
    "61 26 8:33 / /run/media/ann/BACKUP rw - exfat /dev/sdc1 rw\n"
    "62 26 8:49 / /mnt/data rw - ext4 /dev/sdd1 rw\n"
    "63 26 0:50 / /mnt/share rw - cifs //nas/Public rw\n"
    "64 26 8:17 /sub /mnt/bind rw - vfat /dev/sdb1 rw\n"
    "65 26 0:40 / /media/ann/remote rw - fuse.sshfs ann@host: rw\n"
    "66 26 8:65 / /srv/disk rw - ext4 /dev/sde1 rw\n"
    "this line is damaged\n";

TDiscoveryInput SampleInput(const QString &mountInfo = QString::fromLatin1(SampleMountInfo))
{
    TDiscoveryInput input;
    input.MountInfo = mountInfo;
    input.ByLabel = {{QStringLiteral("MY\\x20STICK"), QStringLiteral("8:17"), QStringLiteral("/dev/sdb1")},
                     {QStringLiteral("BACKUP"), QStringLiteral("8:33"), QStringLiteral("/dev/sdc1")}};
    input.ByUuid = {{QStringLiteral("1A2B-3C4D"), QStringLiteral("8:17"), QStringLiteral("/dev/sdb1")},
                    {QStringLiteral("5E6F-7A8B"), QStringLiteral("8:33"), QStringLiteral("/dev/sdc1")},
                    {QStringLiteral("0f8e1d2c-aaaa-bbbb-cccc-ddddeeeeffff"), QStringLiteral("254:0"),
                     QStringLiteral("/dev/vda")}};
    input.MachineSerial = 0x12345678;
    input.BusTypeOf = [](const TMountEntry &entry) {
        return entry.Source.startsWith(QLatin1String("/dev/sd")) ? QStringLiteral("USB")
                                                                 : QStringLiteral("VIRTIO");
    };
    return input;
}

QString Letters(const QList<TDriveInfo> &drives)
{
    QString letters;
    for (const TDriveInfo &drive : drives)
        letters += drive.Letter;
    return letters;
}

} // namespace

class TestDriveTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void overrideParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("letters"); // "" when refused
        QTest::addColumn<QString>("error");   // part of the message when refused
        QTest::newRow("two drives") << "C=/t/c;E=/t/e"
                                    << "CE"
                                    << "";
        QTest::newRow("all settings") << "E=/t/e,bus=USB,label=My Stick,serial=1a2b3c4d,fs=vfat"
                                      << "E"
                                      << "";
        QTest::newRow("nested roots") << "C=/t;E=/t/e"
                                      << "CE"
                                      << "";
        QTest::newRow("lower case, blanks, empty entry") << " e = /t/e ; ;c=/t/c;"
                                                         << "EC"
                                                         << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "names no drives";
        QTest::newRow("no folder") << "C"
                                   << ""
                                   << "not LETTER=FOLDER";
        QTest::newRow("two letters") << "CD=/t"
                                     << ""
                                     << "not a drive letter";
        QTest::newRow("relative root") << "C=t/c"
                                       << ""
                                       << "absolute";
        QTest::newRow("letter twice") << "C=/a;c=/b"
                                      << ""
                                      << "named twice";
        QTest::newRow("root twice") << "C=/a;E=/a/"
                                    << ""
                                    << "two drives";
        QTest::newRow("unknown key") << "C=/a,colour=red"
                                     << ""
                                     << "unknown setting \"colour\"";
        QTest::newRow("serial with 0x") << "C=/a,serial=0x123456"
                                        << ""
                                        << "8 hexadecimal";
        QTest::newRow("serial not hex") << "C=/a,serial=1A2B3C4G"
                                        << ""
                                        << "8 hexadecimal";
    }
    void overrideParsing()
    {
        QFETCH(QString, text);
        QFETCH(QString, letters);
        QFETCH(QString, error);
        QString message;
        const auto parsed = ParseDriveOverride(text, &message);
        QCOMPARE(parsed.has_value(), !letters.isEmpty());
        if (!parsed) {
            QVERIFY2(message.contains(error), qPrintable(message));
            return;
        }
        QString found;
        for (const TDriveOverride &entry : *parsed)
            found += entry.Info.Letter;
        QCOMPARE(found, letters);
    }

    void overrideSettings()
    {
        const auto parsed = ParseDriveOverride(
            QStringLiteral(
                "c=/t/sys/;E=/t/stick,bus=USB,label=My Stick,serial=1a2b3c4d,fs=vfat;F=/t/f,serial=NONE"),
            nullptr);
        QVERIFY(parsed && parsed->size() == 3);
        const TDriveOverride &c = parsed->at(0), &e = parsed->at(1), &f = parsed->at(2);
        QCOMPARE(c.Info.Root, QStringLiteral("/t/sys"));
        QCOMPARE(c.Info.Label, QStringLiteral("sys"));
        QVERIFY(!c.SerialGiven && !c.FileSystemGiven && c.Info.BusType.isEmpty());
        QCOMPARE(e.Info.Label, QStringLiteral("My Stick"));
        QCOMPARE(e.Info.BusType, QStringLiteral("USB"));
        QCOMPARE(e.Info.Serial, std::optional<quint32>(0x1A2B3C4D));
        QCOMPARE(e.Info.FileSystem, QStringLiteral("vfat"));
        QVERIFY(f.SerialGiven && !f.Info.Serial);
    }

    void malformedVariableGivesEmptyTable()
    {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("TROVALO_DRIVES is not valid.*E: is named twice"));
        TDrivesVariable variable("C=/tmp;E=/a;E=/b");
        QVERIFY(TDriveTable::Instance().IsOverridden());
        QVERIFY(TDriveTable::Instance().Drives().isEmpty());
        QVERIFY(TDriveTable::Instance().OverrideError().contains(QStringLiteral("named twice")));
        QVERIFY(!ToNativePath(QStringLiteral("C:\\x")));
        // Reported once, not at every refresh.
        QTest::failOnWarning(QRegularExpression("TROVALO_DRIVES"));
        TDriveTable::Instance().Refresh();
        QVERIFY_THROWS_EXCEPTION(EPathError, LetterPath(QStringLiteral("/tmp/x")));
    }

    // TROVALO_DRIVES="@file": the table is read from the file.
    void overrideFile_data()
    {
        QTest::addColumn<QString>("name"); // "" for a file in a temporary folder, else the value after "@"
        QTest::addColumn<QByteArray>("content"); // nothing written when "<missing>"
        QTest::addColumn<QString>("letters");    // "" when refused
        QTest::addColumn<QString>("error");      // part of OverrideError() when refused
        QTest::newRow("one entry a line") << "" << QByteArray("C=/t/c\nE=/t/e,bus=USB\n") << "CE"
                                          << "";
        QTest::newRow("comments, blank lines, ';' and CRLF")
            << "" << QByteArray("# the drives\r\n\n  C=/t/c;E=/t/e  \r\n   # F=/t/f\nG=/t/g\n") << "CEG"
            << "";
        QTest::newRow("no line end at the end") << "" << QByteArray("E=/t/e") << "E"
                                                << "";
        QTest::newRow("empty file") << "" << QByteArray() << ""
                                    << "names no drives";
        QTest::newRow("only comments") << "" << QByteArray("# C=/t/c\n\n") << ""
                                       << "names no drives";
        QTest::newRow("missing file") << "" << QByteArray("<missing>") << ""
                                      << "cannot be read";
        QTest::newRow("malformed entry") << "" << QByteArray("C=/t/c\nE=t/e\n") << ""
                                         << "must be an absolute path";
        QTest::newRow("relative file name") << "drives.txt" << QByteArray() << ""
                                            << "absolute path";
    }
    void overrideFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, letters);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString file = name.isEmpty() ? dir.filePath(QStringLiteral("drives")) : name;
        if (name.isEmpty() && content != "<missing>") {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        if (!error.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("TROVALO_DRIVES is not valid.*" +
                                                                  QRegularExpression::escape(error)));
        TDrivesVariable variable(("@" + file).toUtf8());
        QVERIFY(TDriveTable::Instance().IsOverridden());
        QCOMPARE(Letters(TDriveTable::Instance().Drives()), letters);
        const QString message = TDriveTable::Instance().OverrideError();
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.contains(error), qPrintable(message));
        if (name.isEmpty() && !error.isEmpty() && content != "<missing>")
            QVERIFY2(message.contains(file), qPrintable(message)); // names the file
    }

    void overrideFileIsReadAgainAtRefresh()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("drives"));
        const auto write = [&](const QByteArray &content) {
            QFile out(file);
            return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   out.write(content) == content.size();
        };
        QVERIFY(write("C=" + dir.path().toUtf8() + "\n"));
        TDrivesVariable variable(("@" + file).toUtf8());
        QCOMPARE(Letters(TDriveTable::Instance().Drives()), QStringLiteral("C"));
        QVERIFY(write("C=" + dir.path().toUtf8() + "\nF=" + dir.path().toUtf8() + "/stick,bus=USB\n"));
        TDriveTable::Instance().Refresh();
        QCOMPARE(Letters(TDriveTable::Instance().Drives()), QStringLiteral("CF"));
        QCOMPARE(TDriveTable::Instance().Drive('F')->BusType, QStringLiteral("USB"));
        QCOMPARE(ToLetterPath(dir.path() + "/stick/a").value_or(QString()), QStringLiteral("F:\\a"));
        QVERIFY(QFile::remove(file));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("TROVALO_DRIVES is not valid.*cannot be read"));
        TDriveTable::Instance().Refresh();
        QVERIFY(TDriveTable::Instance().Drives().isEmpty());
    }

    void toNative_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QString>("native"); // "" for none
        QTest::newRow("nested file") << "E:\\Docs\\Sub\\a.txt"
                                     << "E|/Docs/Sub/a.txt";
        QTest::newRow("root with backslash") << "E:\\"
                                             << "E|";
        QTest::newRow("root without backslash") << "E:"
                                                << "E|";
        QTest::newRow("folder keeps separator") << "E:\\Docs\\"
                                                << "E|/Docs/";
        QTest::newRow("lower-case letter, case kept") << "e:\\docs\\A.txt"
                                                      << "E|/docs/A.txt";
        QTest::newRow("forward slashes") << "E:/Docs/a.txt"
                                         << "E|/Docs/a.txt";
        QTest::newRow("doubled separator") << "E:\\a\\\\b"
                                           << "E|/a/b";
        QTest::newRow("dots inside a name") << "E:\\a..b\\.c"
                                            << "E|/a..b/.c";
        QTest::newRow("colon stored in a name") << "E:\\a:b"
                                                << "E|/a:b";
        QTest::newRow("unknown letter") << "F:\\x"
                                        << "";
        QTest::newRow("climbs out") << "E:\\..\\c\\x"
                                    << "";
        QTest::newRow("forward-slash climb") << "E:/Docs/../../x"
                                             << "";
        QTest::newRow("share not mounted") << "\\\\server\\share\\x"
                                           << "";
        QTest::newRow("drive-relative") << "E:Docs"
                                        << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void toNative()
    {
        QFETCH(QString, letter);
        QFETCH(QString, native);
        test::TTestDrives drives;
        const std::optional<QString> result = ToNativePath(letter);
        QCOMPARE(result.value_or(QString()), Expand(drives, native));
        if (native.isEmpty())
            QVERIFY_THROWS_EXCEPTION(EPathError, NativePath(letter));
    }

    void toLetter_data()
    {
        QTest::addColumn<QString>("native");
        QTest::addColumn<QString>("letter"); // "" for none
        QTest::newRow("nested file") << "E|/Docs/Sub/a.txt"
                                     << "E:\\Docs\\Sub\\a.txt";
        QTest::newRow("root") << "E|"
                              << "E:\\";
        QTest::newRow("root with slash") << "E|/"
                                         << "E:\\";
        QTest::newRow("folder keeps separator") << "E|/Docs/"
                                                << "E:\\Docs\\";
        QTest::newRow("cleaned") << "E|/Docs//a/./b/../c"
                                 << "E:\\Docs\\a\\c";
        QTest::newRow("root name is a prefix only") << "E|2/x"
                                                    << "";
        QTest::newRow("outside every drive") << "/nonexistent-trovalo/x"
                                             << "";
        // Mapped so that every name comes back as it is.
        QTest::newRow("backslash in a name") << "E|/a\\b"
                                             << "E:\\a\uF05Cb";
        QTest::newRow("colons in names") << "E|/dir:x/a:b.txt"
                                         << "E:\\dir\uF03Ax\\a\uF03Ab.txt";
        QTest::newRow("mapped characters in a name") << "E|/p\uF05C\uF000\uF03A"
                                                     << "E:\\p\uF000\uF05C\uF000\uF000\uF000\uF03A";
        QTest::newRow("relative") << "docs/a.txt"
                                  << "";
    }
    void toLetter()
    {
        QFETCH(QString, native);
        QFETCH(QString, letter);
        test::TTestDrives drives;
        QCOMPARE(ToLetterPath(Expand(drives, native)).value_or(QString()), letter);
        if (!letter.isEmpty())
            QCOMPARE(NativePath(letter), QDir::cleanPath(Expand(drives, native)) +
                                             (native.endsWith('/') && native.size() > 3 ? "/" : ""));
    }

    void errorMessagesNameThePath()
    {
        test::TTestDrives drives;
        const auto message = [](auto call) -> QString {
            try {
                call();
            } catch (const EPathError &error) {
                return error.Message();
            }
            return QStringLiteral("no error");
        };
        QCOMPARE(message([] { NativePath(QStringLiteral("F:\\Docs\\a.txt")); }),
                 QStringLiteral("F:\\Docs\\a.txt: there is no drive F: on this computer"));
        QCOMPARE(message([] { LetterPath(QStringLiteral("/opt/x")); }),
                 QStringLiteral("/opt/x: this folder is on none of the drives Trovalo knows "
                                "(TROVALO_DRIVES names C:, E:)"));
        QVERIFY(message([] { NativePath(QStringLiteral("E:\\..\\x")); }).contains(QStringLiteral("\"..\"")));
    }

    void longestRootWins_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("letter");
        QTest::newRow("outer") << "/docs"
                               << "C:\\docs";
        QTest::newRow("middle root") << "/media/stick"
                                     << "E:\\";
        QTest::newRow("middle") << "/media/stick/a"
                                << "E:\\a";
        QTest::newRow("inner") << "/media/stick/inner/b"
                               << "F:\\b";
        QTest::newRow("sibling sharing a prefix") << "/media/stick2"
                                                  << "C:\\media\\stick2";
    }
    void longestRootWins()
    {
        QFETCH(QString, relative);
        QFETCH(QString, letter);
        QTemporaryDir dir;
        TDrivesVariable variable(QStringLiteral("C=%1;E=%1/media/stick;F=%1/media/stick/inner,serial=none")
                                     .arg(dir.path())
                                     .toUtf8());
        QCOMPARE(ToLetterPath(dir.path() + relative).value_or(QString()), letter);
        QCOMPARE(TDriveTable::Instance().DriveOfNative(dir.path() + relative)->Letter, letter.at(0));
        QCOMPARE(NativePath(letter), QDir::cleanPath(dir.path() + relative));
    }

    void heldMapSurvivesRefresh()
    {
        test::TTestDrives first({{'E', QString()}});
        const std::shared_ptr<const TDriveMap> held = TDriveTable::Instance().Map();
        test::TTestDrives second({{'E', QString()}});
        QCOMPARE(held->ToNative(QStringLiteral("E:\\a")).value_or(QString()),
                 first.Native('E', QStringLiteral("a")));
        QCOMPARE(ToNativePath(QStringLiteral("E:\\a")).value_or(QString()),
                 second.Native('E', QStringLiteral("a")));
    }

    void userInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("letter"); // "" when refused
        QTest::newRow("letter form") << "e:/Docs//a.txt"
                                     << "E:\\Docs\\a.txt";
        QTest::newRow("letter root") << "e:"
                                     << "E:\\";
        QTest::newRow("native") << "E|/Docs/a.txt"
                                << "E:\\Docs\\a.txt";
        QTest::newRow("relative native") << "Sub/a.txt"
                                         << "E:\\Work\\Sub\\a.txt";
        QTest::newRow("dot-dot relative") << "../a.txt"
                                          << "E:\\a.txt";
        QTest::newRow("unknown drive") << "F:\\x"
                                       << "";
        QTest::newRow("climbing letter form") << "E:\\..\\x"
                                              << "";
        QTest::newRow("outside drives") << "/nonexistent-trovalo"
                                        << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void userInput()
    {
        QFETCH(QString, input);
        QFETCH(QString, letter);
        test::TTestDrives drives;
        QDir().mkpath(drives.Native('E', QStringLiteral("Work")));
        const QString oldCurrent = QDir::currentPath();
        QDir::setCurrent(drives.Native('E', QStringLiteral("Work")));
        QString result;
        try {
            result = LetterPathFromUserInput(Expand(drives, input));
        } catch (const EPathError &error) {
            QVERIFY(!error.Message().isEmpty());
        }
        QDir::setCurrent(oldCurrent);
        QCOMPARE(result, letter);
    }

    void mountInfoParsing()
    {
        const QList<TMountEntry> entries = ParseMountInfo(
            QString::fromLatin1("60 26 8:17 / /media/a\\040b\\011c\\134d rw shared:1 - vfat /dev/sdb1 rw\n"
                                "61 26 0:50 /x /mnt/s rw - cifs //nas/My\\040Share rw\n"
                                "62 26 0:51 / /too/short rw vfat /dev/x\n"));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).DeviceNumber, QStringLiteral("8:17"));
        QCOMPARE(entries.at(0).MountPoint, QStringLiteral("/media/a b\tc\\d"));
        QCOMPARE(entries.at(0).FileSystem, QStringLiteral("vfat"));
        QCOMPARE(entries.at(0).Source, QStringLiteral("/dev/sdb1"));
        QCOMPARE(entries.at(0).MountId, QStringLiteral("60"));
        QCOMPARE(entries.at(1).Root, QStringLiteral("/x"));
        QCOMPARE(entries.at(1).Source, QStringLiteral("//nas/My Share"));
    }

    void diskLinkNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("blank") << "MY\\x20STICK"
                               << "MY STICK";
        QTest::newRow("utf-8 bytes") << "\\xc3\\xa9t\\xc3\\xa9" << QString::fromUtf8("\xc3\xa9t\xc3\xa9");
        QTest::newRow("incomplete escape") << "bad\\x2"
                                           << "bad\\x2";
    }
    void diskLinkNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, decoded);
        QCOMPARE(DecodeDiskLinkName(name), decoded);
    }

    void busTypes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("bus");
        QTest::newRow("usb stick")
            << "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/"
               "6:0:0:0/block/sdb/sdb1"
            << "USB";
        QTest::newRow("nvme") << "/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1"
                              << "NVME";
        QTest::newRow("virtio") << "/sys/devices/pci0000:00/0000:00:02.0/virtio1/block/vda"
                                << "VIRTIO";
        QTest::newRow("device mapper") << "/sys/devices/virtual/block/dm-0"
                                       << "";
    }
    void busTypes()
    {
        QFETCH(QString, path);
        QFETCH(QString, bus);
        QCOMPARE(BusTypeFromSysfsPath(path), bus);
    }

    void discovery()
    {
        TDriveLetterMemory memory;
        const TDiscoveredDrives found = DiscoverDrives(SampleInput(), memory);
        QCOMPARE(Letters(found.Drives), QStringLiteral("CDEF"));
        const TDriveInfo &c = found.Drives.at(0), &d = found.Drives.at(1), &e = found.Drives.at(2),
                         &f = found.Drives.at(3);
        QCOMPARE(c.Root, QStringLiteral("/"));
        QCOMPARE(c.FileSystem, QStringLiteral("ext4"));
        QCOMPARE(c.Serial, std::optional<quint32>(0x0f8e1d2c));
        QCOMPARE(d.Root, QStringLiteral("/media/ann/MY STICK"));
        QCOMPARE(d.Label, QStringLiteral("MY STICK"));
        QCOMPARE(d.Uuid, QStringLiteral("1A2B-3C4D"));
        QCOMPARE(d.Serial, std::optional<quint32>(0x1A2B3C4D));
        QCOMPARE(d.BusType, QStringLiteral("USB"));
        QCOMPARE(d.Device, QStringLiteral("/dev/sdb1"));
        QCOMPARE(e.Root, QStringLiteral("/run/media/ann/BACKUP"));
        QCOMPARE(f.Root, QStringLiteral("/mnt/data"));
        QVERIFY(f.Label.isEmpty() && f.Uuid.isEmpty() && !f.Serial);
        QCOMPARE(found.Shares.size(), 1);
        QCOMPARE(found.Shares.at(0).Unc, QStringLiteral("\\\\nas\\Public"));
        QCOMPARE(found.Shares.at(0).Root, QStringLiteral("/mnt/share"));
    }

    void discoveredConversions_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QString>("native");
        QTest::addColumn<QString>("back"); // the letter form the native path gives
        QTest::newRow("stick") << "d:\\Config\\"
                               << "/media/ann/MY STICK/Config/"
                               << "D:\\Config\\";
        QTest::newRow("system") << "C:\\home\\ann"
                                << "/home/ann"
                                << "C:\\home\\ann";
        QTest::newRow("share, other case") << "\\\\NAS\\public\\Docs\\a.txt"
                                           << "/mnt/share/Docs/a.txt"
                                           << "\\\\nas\\Public\\Docs\\a.txt";
        QTest::newRow("share root") << "\\\\nas\\Public\\"
                                    << "/mnt/share"
                                    << "\\\\nas\\Public\\";
        QTest::newRow("other share") << "\\\\nas\\Other\\x"
                                     << ""
                                     << "";
        QTest::newRow("share climbing out") << "\\\\nas\\Public\\..\\x"
                                            << ""
                                            << "";
        QTest::newRow("server only") << "\\\\nas"
                                     << ""
                                     << "";
    }
    void discoveredConversions()
    {
        QFETCH(QString, letter);
        QFETCH(QString, native);
        QFETCH(QString, back);
        TDriveLetterMemory memory;
        const TDiscoveredDrives found = DiscoverDrives(SampleInput(), memory);
        const TDriveMap map(found.Drives, found.Shares);
        QCOMPARE(map.ToNative(letter).value_or(QString()), native);
        if (!native.isEmpty())
            QCOMPARE(map.ToLetter(native).value_or(QString()), back);
    }

    void systemVolumeWithoutUuidUsesMachineId()
    {
        TDiscoveryInput input = SampleInput(QStringLiteral("26 1 0:30 / / rw - overlay overlay rw\n"));
        TDriveLetterMemory memory;
        QCOMPARE(DiscoverDrives(input, memory).Drives.at(0).Serial, std::optional<quint32>(0x12345678));
        // A folder on an unidentified volume falls back to the system's serial.
        input.MountInfo += QStringLiteral("27 26 0:31 / /tmp rw - tmpfs tmpfs rw\n");
        QCOMPARE(RealVolumeSerial(input, QStringLiteral("/tmp/x/e")), std::optional<quint32>(0x12345678));
        input.MountInfo += QStringLiteral("28 26 8:17 / /tmp/x rw - vfat /dev/sdb1 rw\n");
        QCOMPARE(RealVolumeSerial(input, QStringLiteral("/tmp/x/e")), std::optional<quint32>(0x1A2B3C4D));
    }

    void lettersKeptAcrossPlugIns()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("sub/drive-letters"));
        const QString stickB = QStringLiteral("70 26 8:81 / /media/ann/B rw - vfat /dev/sdf1 rw\n");
        {
            TDriveLetterMemory memory(file);
            memory.Load();
            QCOMPARE(Letters(DiscoverDrives(SampleInput(), memory).Drives), QStringLiteral("CDEF"));
            QVERIFY(memory.Save());
        }
        // MY STICK unplugged, another one plugged in: D: stays reserved.
        QString mounts = QString::fromLatin1(SampleMountInfo);
        mounts.remove(QRegularExpression(QStringLiteral("60 26 8:17[^\\n]*\\n")));
        {
            TDriveLetterMemory memory(file);
            memory.Load();
            const TDiscoveredDrives found = DiscoverDrives(SampleInput(mounts + stickB), memory);
            QCOMPARE(Letters(found.Drives), QStringLiteral("CEFG"));
            QCOMPARE(found.Drives.at(3).Root, QStringLiteral("/media/ann/B"));
            QVERIFY(memory.Save());
        }
        // Both back, listed in another order: each gets its own letter again.
        TDriveLetterMemory memory(file);
        memory.Load();
        const TDiscoveredDrives found =
            DiscoverDrives(SampleInput(stickB + QString::fromLatin1(SampleMountInfo)), memory);
        QCOMPARE(Letters(found.Drives), QStringLiteral("CDEFG"));
        QCOMPARE(found.Drives.at(1).Label, QStringLiteral("MY STICK"));
        QCOMPARE(found.Drives.at(4).Root, QStringLiteral("/media/ann/B"));
        QVERIFY(!memory.IsChanged());
    }

    void letterMemoryFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("drive-letters"));
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("garbage\nC uuid=system\nD uuid=one\nD uuid=two\ne uuid=three\nF uuid=one\n"
                      "G device=/dev/sdb1;label=MY%20STICK\n");
        damaged.close();
        TDriveLetterMemory memory(file);
        memory.Load();
        QCOMPARE(memory.LetterOf(QStringLiteral("uuid=one")), std::optional<QChar>('D'));
        QCOMPARE(memory.LetterOf(QStringLiteral("uuid=three")), std::optional<QChar>('E'));
        QCOMPARE(memory.LetterOf(QStringLiteral("uuid=two")), std::nullopt);
        QCOMPARE(memory.LetterOf(QStringLiteral("uuid=system")), std::nullopt);
        const QString noUuid =
            TDriveLetterMemory::KeyOf(QString(), QStringLiteral("/dev/sdb1"), QStringLiteral("MY STICK"));
        QCOMPARE(memory.LetterOf(noUuid), std::optional<QChar>('G'));

        memory.Assign({QStringLiteral("uuid=new 100%")});
        QVERIFY(memory.Save());
        TDriveLetterMemory reread(file);
        reread.Load();
        QCOMPARE(reread.LetterOf(QStringLiteral("uuid=new 100%")), std::optional<QChar>('F'));
        QCOMPARE(reread.LetterOf(noUuid), std::optional<QChar>('G'));
    }

    void letterAssignment_data()
    {
        QTest::addColumn<QStringList>("remembered"); // keys holding D, E, ... in order
        QTest::addColumn<QStringList>("mounted");
        QTest::addColumn<QString>("letters"); // '-' for none
        QTest::addColumn<QString>("ownerOfD");
        QTest::newRow("remembered letter not given to a new volume")
            << QStringList{"a"} << QStringList{"x", "a"} << "ED"
            << "a";
        QTest::newRow("cloned volumes") << QStringList{"a"} << QStringList{"a", "a"} << "DE"
                                        << "a";
        QStringList all;
        for (int i = 0; i < 23; ++i)
            all << QStringLiteral("k%1").arg(i);
        QTest::newRow("all remembered: the first unmounted letter is reused")
            << all << QStringList{"k1", "new"} << "ED"
            << "new";
        QTest::newRow("more than 23 volumes")
            << QStringList{} << (all + QStringList{"y", "z"}) << "DEFGHIJKLMNOPQRSTUVWXYZ--"
            << "k0";
    }
    void letterAssignment()
    {
        QFETCH(QStringList, remembered);
        QFETCH(QStringList, mounted);
        QFETCH(QString, letters);
        QFETCH(QString, ownerOfD);
        TDriveLetterMemory memory;
        for (const QString &key : remembered)
            memory.Assign({key});
        QString got;
        for (const std::optional<QChar> &letter : memory.Assign(mounted))
            got += letter.value_or(QLatin1Char('-'));
        QCOMPARE(got, letters);
        QCOMPARE(memory.LetterOf(ownerOfD), std::optional<QChar>('D'));
    }

    void realSystemHasDriveC()
    {
        TDrivesVariable variable(std::nullopt);
        QVERIFY(!TDriveTable::Instance().IsOverridden());
        const std::optional<TDriveInfo> c = TDriveTable::Instance().Drive('c');
        QVERIFY(c && c->Root == QLatin1String("/"));
        QCOMPARE(LetterPath(QStringLiteral("/etc/hostname")).left(3), QStringLiteral("C:\\"));
        QCOMPARE(NativePath(QStringLiteral("C:\\etc\\")), QStringLiteral("/etc/"));
    }
};

QTEST_GUILESS_MAIN(TestDriveTable)
#include "tst_drivetable.moc"
