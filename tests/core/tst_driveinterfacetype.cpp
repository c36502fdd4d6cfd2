#include "TestDrives.h"

#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"
#include "platform/VolumeInfo.h"

#include <QDir>
#include <QtTest>

using namespace trovalo;

namespace {
// The fixed disk C:, a USB stick E:, an IDE disk F: and a second stick I:
// (I is the upper case of the dotless i, which must not reach it).
QMap<QChar, QString> MixedDrives()
{
    return {{'C', QStringLiteral("bus=ATA,fs=ext4,serial=1A2B3C4D")},
            {'E', QStringLiteral("bus=USB,label=STICK,fs=vfat,serial=0000ABCD")},
            {'F', QStringLiteral("bus=IDE,label=DATA,fs=ext4,serial=none")},
            {'I', QStringLiteral("bus=USB,fs=vfat")}};
}

// Adds a drive to TROVALO_DRIVES and lets the drive table see it, as a
// mount would, without touching the interface table.
void PlugIn(const test::TTestDrives &drives, QChar letter, const QString &settings)
{
    const QString root = drives.Base() + QLatin1Char('/') + letter.toLower();
    QDir().mkpath(root);
    qputenv("TROVALO_DRIVES", (drives.DrivesVariable() + QLatin1Char(';') + letter + QLatin1Char('=') + root +
                               QLatin1Char(',') + settings)
                                  .toUtf8());
    TDriveTable::Instance().Refresh();
}
} // namespace

class TestDriveInterfaceType : public QObject
{
    Q_OBJECT

private slots:
    void interfaceTypeByLetter_data()
    {
        QTest::addColumn<QChar>("letter");
        QTest::addColumn<QString>("type");
        QTest::newRow("USB stick") << QChar('E') << "USB";
        QTest::newRow("lower-case letter") << QChar('e') << "USB";
        QTest::newRow("IDE disk") << QChar('F') << "IDE";
        QTest::newRow("system disk") << QChar('C') << "ATA";
        QTest::newRow("letter without a drive") << QChar('G') << "";
        QTest::newRow("digit") << QChar('1') << "";
        QTest::newRow("colon") << QChar(':') << "";
        QTest::newRow("dotless i is no drive letter") << QChar(0x0131) << "";
        QTest::newRow("Latin-1 letter") << QChar(0x00E9) << "";
    }
    void interfaceTypeByLetter()
    {
        QFETCH(QChar, letter);
        QFETCH(QString, type);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType table;
        QCOMPARE(table.GetInterfaceType(letter), type);
    }

    // The table is a snapshot: a drive mounted later gets its type only on
    // Refresh, and a drive that went loses it only then.
    void changesOnlyOnRefresh_data()
    {
        QTest::addColumn<bool>("refresh");
        QTest::addColumn<QString>("newStick");
        QTest::addColumn<QString>("oldStick");
        QTest::newRow("before Refresh") << false << ""
                                        << "USB";
        QTest::newRow("after Refresh") << true << "USB"
                                       << "";
    }
    void changesOnlyOnRefresh()
    {
        QFETCH(bool, refresh);
        QFETCH(QString, newStick);
        QFETCH(QString, oldStick);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType table;
        QCOMPARE(table.GetInterfaceType('G'), QString());

        // G: comes, E: goes (the variable is rewritten without it).
        PlugIn(drives, 'G', QStringLiteral("bus=USB"));
        QString variable = qEnvironmentVariable("TROVALO_DRIVES");
        QStringList entries = variable.split(QLatin1Char(';'));
        entries.removeIf([](const QString &entry) { return entry.startsWith(QLatin1String("E=")); });
        qputenv("TROVALO_DRIVES", entries.join(QLatin1Char(';')).toUtf8());
        TDriveTable::Instance().Refresh();

        if (refresh)
            table.Refresh();
        QCOMPARE(table.GetInterfaceType('G'), newStick);
        QCOMPARE(table.GetInterfaceType('E'), oldStick);
    }

    void volumeInfo_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<quint32>("serialWord");
        QTest::addColumn<quint32>("driveType");
        QTest::addColumn<bool>("caseSensitive");
        QTest::newRow("USB stick, leading zeros kept")
            << "E:\\"
            << "STICK"
            << "vfat"
            << "0000 - ABCD" << quint32(0xABCD) << quint32(dtRemovable) << false;
        QTest::newRow("lower-case root without backslash")
            << "e:"
            << "STICK"
            << "vfat"
            << "0000 - ABCD" << quint32(0xABCD) << quint32(dtRemovable) << false;
        QTest::newRow("fixed disk") << "C:\\"
                                    << "c"
                                    << "ext4"
                                    << "1A2B - 3C4D" << quint32(0x1A2B3C4D) << quint32(dtFixed) << true;
        QTest::newRow("serial unreadable") << "F:\\"
                                           << "DATA"
                                           << "ext4"
                                           << "" << quint32(0) << quint32(dtFixed) << true;
        QTest::newRow("no such drive") << "Q:\\"
                                       << ""
                                       << ""
                                       << "" << quint32(0) << quint32(dtNoRootDir) << false;
        QTest::newRow("not a drive root") << "\\\\server\\share\\"
                                          << ""
                                          << ""
                                          << "" << quint32(0) << quint32(dtNoRootDir) << false;
    }
    void volumeInfo()
    {
        QFETCH(QString, drive);
        QFETCH(QString, label);
        QFETCH(QString, fileSystem);
        QFETCH(QString, serial);
        QFETCH(quint32, serialWord);
        QFETCH(quint32, driveType);
        QFETCH(bool, caseSensitive);
        test::TTestDrives drives(MixedDrives());
        TVolumeInfo info;
        QCOMPARE(info.Drive(), QStringLiteral("C:\\"));
        info.SetDrive(drive);
        QCOMPARE(info.VoulmeName(), label);
        QCOMPARE(info.FileSystem(), fileSystem);
        QCOMPARE(info.SerialNumber(), serial);
        QCOMPARE(info.SerialNumberWord(), serialWord);
        QCOMPARE(info.DriveType(), driveType);
        QCOMPARE(info.CaseSensitiveFileNames(), caseSensitive);
        QCOMPARE(info.MaximumComponentLength() > 0, !fileSystem.isEmpty());
    }

    // Re-reading on every change: values of the previous drive never linger.
    void changingDriveReadsAgain()
    {
        test::TTestDrives drives(MixedDrives());
        TVolumeInfo info;
        info.SetDrive(QStringLiteral("E:\\"));
        QCOMPARE(info.VoulmeName(), QStringLiteral("STICK"));
        info.SetDrive(QStringLiteral("Q:\\"));
        QCOMPARE(info.VoulmeName(), QString());
        QCOMPARE(info.SerialNumber(), QString());
        QCOMPARE(info.FileSystemFlags(), 0u);

        // A drive whose folder vanished reads as gone.
        QVERIFY(QDir(drives.NativeRoot('E')).removeRecursively());
        info.SetDrive(QStringLiteral("E:\\"));
        QCOMPARE(info.DriveType(), quint32(dtNoRootDir));
        QCOMPARE(info.SerialNumber(), QString());
    }
};

QTEST_GUILESS_MAIN(TestDriveInterfaceType)
#include "tst_driveinterfacetype.moc"
