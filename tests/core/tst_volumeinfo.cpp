#include "TestDrives.h"

#include "platform/DriveTable.h"
#include "platform/VolumeInfo.h"

#include <QtTest>

using namespace trovalo;

class TestVolumeInfo : public QObject
{
    Q_OBJECT

private slots:
    void serialText_data()
    {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("example") << quint32(0x1A2B3C4D) << "1A2B - 3C4D";
        QTest::newRow("leading zeros kept") << quint32(0x0000ABCD) << "0000 - ABCD";
        QTest::newRow("all ones") << quint32(0xFFFFFFFF) << "FFFF - FFFF";
        QTest::newRow("upper case") << quint32(0xabcdef01) << "ABCD - EF01";
    }
    void serialText()
    {
        QFETCH(quint32, serial);
        QFETCH(QString, text);
        QCOMPARE(SerialNumberText(serial), text);
    }

    void serialFromUuid_data()
    {
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<qint64>("serial"); // -1 for none
        QTest::newRow("FAT") << "1A2B-3C4D" << qint64(0x1A2B3C4D);
        QTest::newRow("ext4") << "0f8e1d2c-aaaa-bbbb-cccc-ddddeeeeffff" << qint64(0x0f8e1d2c);
        QTest::newRow("NTFS") << "0123456789ABCDEF" << qint64(0x01234567);
        QTest::newRow("too short") << "1A2B-3C4" << qint64(-1);
        QTest::newRow("not hex") << "1A2B-3C4G" << qint64(-1);
    }
    void serialFromUuid()
    {
        QFETCH(QString, uuid);
        QFETCH(qint64, serial);
        const std::optional<quint32> got = SerialFromUuid(uuid);
        QCOMPARE(got ? qint64(*got) : -1, serial);
    }

    void serialFromMachineId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("serial");
        QTest::newRow("machine id") << "3d1219c7c4c5404aaa1f6d2a48adfda4\n" << qint64(0x3d1219c7);
        QTest::newRow("missing") << "" << qint64(-1);
        QTest::newRow("all zero") << "00000000000000000000000000000000" << qint64(-1);
    }
    void serialFromMachineId()
    {
        QFETCH(QString, text);
        QFETCH(qint64, serial);
        const std::optional<quint32> got = SerialFromMachineId(text);
        QCOMPARE(got ? qint64(*got) : -1, serial);
    }

    void pcIdOfDrives_data()
    {
        QTest::addColumn<QString>("settings"); // of drive C:, "-" for no drive C:
        QTest::addColumn<QString>("pcId");
        QTest::newRow("serial given") << "serial=1A2B3C4D"
                                      << "1A2B - 3C4D";
        QTest::newRow("leading zeros") << "serial=0000abcd"
                                       << "0000 - ABCD";
        QTest::newRow("unreadable") << "serial=none"
                                    << "";
        QTest::newRow("no drive C:") << "-"
                                     << "";
    }
    void pcIdOfDrives()
    {
        QFETCH(QString, settings);
        QFETCH(QString, pcId);
        QMap<QChar, QString> layout{{'E', QStringLiteral("serial=99999999")}};
        if (settings != QLatin1String("-"))
            layout.insert('C', settings);
        test::TTestDrives drives(layout);
        QCOMPARE(ComputePCID(), pcId);
        QCOMPARE(VolumeSerialNumber(QStringLiteral("E:\\")), std::optional<quint32>(0x99999999));
    }

    void driveRootForms_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("known");
        QTest::newRow("root") << "C:\\" << true;
        QTest::newRow("without backslash") << "C:" << true;
        QTest::newRow("a folder on it") << "C:\\Windows\\System32" << true;
        QTest::newRow("unknown letter") << "F:\\" << false;
        QTest::newRow("share") << "\\\\server\\share\\" << false;
        QTest::newRow("empty") << "" << false;
    }
    void driveRootForms()
    {
        QFETCH(QString, root);
        QFETCH(bool, known);
        test::TTestDrives drives({{'C', QStringLiteral("serial=0BADF00D")}});
        QCOMPARE(VolumeSerialNumber(root), known ? std::optional<quint32>(0x0BADF00D) : std::nullopt);
    }

    void withoutSerialTheRealVolumeCounts()
    {
        std::optional<quint32> system;
        {
            const QByteArray old = qgetenv("TROVALO_DRIVES");
            const bool had = qEnvironmentVariableIsSet("TROVALO_DRIVES");
            qunsetenv("TROVALO_DRIVES");
            TDriveTable::Instance().Refresh();
            system = VolumeSerialNumber(QStringLiteral("C:\\"));
            if (had)
                qputenv("TROVALO_DRIVES", old);
        }
        test::TTestDrives drives({{'C', QString()}, {'E', QStringLiteral("bus=USB")}});
        // Both folders lie in one temporary folder, so on one real volume.
        QCOMPARE(VolumeSerialNumber(QStringLiteral("C:\\")).has_value(), system.has_value());
        const std::optional<quint32> serial = VolumeSerialNumber(QStringLiteral("C:\\"));
        QCOMPARE(VolumeSerialNumber(QStringLiteral("E:\\")), serial);
        // Stable: the PC ID must not change between runs.
        TDriveTable::Instance().Refresh();
        QCOMPARE(VolumeSerialNumber(QStringLiteral("C:\\")), serial);
    }
};

QTEST_GUILESS_MAIN(TestVolumeInfo)
#include "tst_volumeinfo.moc"
