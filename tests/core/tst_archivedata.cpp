#include "TestDrives.h"
#include "TestFiles.h"

#include "model/ArchiveData.h"
#include "model/ObjectStream.h"
#include "model/ZlibContainer.h"
#include "platform/RecordFile.h"

#include <QMetaProperty>
#include <QtTest>

using namespace trovalo;

namespace {
const QByteArray Guid = "{0123ABCD-4567-89EF-0123-456789ABCDEF}";
const QByteArray SetGuid = "{11111111-2222-3333-4444-555555555555}";
// 2014-07-10 12:00 and 2014-07-11 06:00: exact in binary, so their 80-bit
// forms can be worked out by hand (0xA366.8 and 0xA367.4 times 2^0, with the
// exponent 15 + 16383 = 0x400E).
constexpr TDateTime Created = 41830.5;
constexpr TDateTime Updated = 41831.25;

QByteArray H(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// Everything set; BackupSystem deliberately disagrees with the mode so a
// reader that derives one from the other is caught.
void FillEveryField(TArchiveData &job)
{
    job.SetFileGUID(QString::fromLatin1(Guid));
    job.SetFolderList({QStringLiteral("C:\\Data\\"), QString(), QStringLiteral("C:\\Bilder\\Café\\")});
    job.SetExcludeList({QStringLiteral("C:\\Data\\Temp\\")});
    job.SetFileList({QStringLiteral("D:\\notes.txt")});
    job.FileFilter()->SetExcludeFileExtList({QStringLiteral(".tmp"), QStringLiteral(".bak")});
    job.FileFilter()->SetExcludeMaskList({QStringLiteral("~*.doc")});
    job.FileFilter()->SetHidden(true);
    job.FileFilter()->SetSystem(true);
    job.FileFilter()->SetReadOnly(true);
    job.SetBackupName(QStringLiteral("Weekly photos"));
    job.SetCreateDate(Created);
    job.SetLastUpdate(Updated);
    job.SetArchiveMode(amMirror);
    job.SetArchiveType(atImage);
    job.SetArchiveDir(amUsbToUSB);
    job.SetPassword(QStringLiteral("s3cret"));
    job.SetPCID(QStringLiteral("1A2B - 3C4D"));
    job.SetGUID(QString::fromLatin1(SetGuid));
    job.SetHost(QStringLiteral("ftp.example.org"));
    job.SetUserName(QStringLiteral("anna"));
    job.SetPort(2121);
    job.SetPassiveConnection(true);
    job.SetPath(QStringLiteral("/"));
    job.SetDestination(QStringLiteral("E:\\Backup\\"));
    job.SetBackupSystem(4);
    job.SetDeleteFile(true);
    job.SetSourceUSBID(QStringLiteral("USB-7"));
}

// Every stored value, keyed by its stream name without ".Strings", so two
// records can be compared whole or field by field.
void AddValues(QVariantMap &values, const QObject &object, const QString &prefix)
{
    const QMetaObject *meta = object.metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QVariant value = property.read(&object);
        if (auto *child = value.value<QObject *>())
            AddValues(values, *child, prefix + QLatin1String(property.name()) + QLatin1Char('.'));
        else
            values[prefix + QLatin1String(property.name())] = value;
    }
}

QVariantMap Snapshot(const TArchiveData &job)
{
    QVariantMap values;
    AddValues(values, job, QString());
    return values;
}
} // namespace

class TestArchiveData : public QObject
{
    Q_OBJECT

private slots:
    void freshRecordByteForByte();
    void everyFieldByteForByte();
    void writtenWhen_data();
    void writtenWhen();
    void olderUncompressedBlob();
    void damagedFileKeepsFieldsBeforeDamage_data();
    void damagedFileKeepsFieldsBeforeDamage();
};

void TestArchiveData::freshRecordByteForByte()
{
    TArchiveData job;
    QCOMPARE(job.Version(), QStringLiteral("Version : 1.0"));
    QVERIFY(qAbs(job.CreateDate() - DateTimeNow()) < 1.0 / 24);
    job.SetFileGUID(QString::fromLatin1(Guid));
    job.SetCreateDate(Created);
    // Empty lists, the default filter, empty texts and LastUpdate 0 are left
    // out; enumerations, Port, BackupSystem and both Booleans are always there.
    const QByteArray expected = "TPF0" + H("0C") + "TArchiveData" + H("00") + //
                                H("08") + "FileGUID" + H("0626") + Guid +     //
                                H("0A") + "CreateDate" + H("05 00000000 0080 66A3 0E40") + H("0B") +
                                "ArchiveMode" + H("070D") + "amIncremental" +       //
                                H("0B") + "ArchiveType" + H("0706") + "atFile" +    //
                                H("0A") + "ArchiveDir" + H("0709") + "amUsbToPc" +  //
                                H("07") + "Version" + H("060D") + "Version : 1.0" + //
                                H("04") + "Port" + H("0200") +                      //
                                H("11") + "PassiveConnection" + H("08") +           //
                                H("0C") + "BackupSystem" + H("0200") +              //
                                H("0A") + "DeleteFile" + H("08") + H("0000");
    QCOMPARE(job.ToObjectStream(), expected);
}

void TestArchiveData::everyFieldByteForByte()
{
    TArchiveData job;
    FillEveryField(job);
    const QByteArray head =
        "TPF0" + H("0C") + "TArchiveData" + H("00") + H("08") + "FileGUID" + H("0626") + Guid;
    const QByteArray rest =
        H("12") + "FolderList.Strings" + H("01 0608") + "C:\\Data\\" + H("12 00000000") + H("14 10000000") +
        "C:\\Bilder\\Caf\xC3\xA9\\" + H("00") +                                         //
        H("13") + "ExcludeList.Strings" + H("01 060D") + "C:\\Data\\Temp\\" + H("00") + //
        H("10") + "FileList.Strings" + H("01 060C") + "D:\\notes.txt" + H("00") +       //
        H("25") + "FileFilter.ExcludeFileExtList.Strings" + H("01 0604") + ".tmp" + H("0604") + ".bak" +
        H("00") + H("22") + "FileFilter.ExcludeMaskList.Strings" + H("01 0606") + "~*.doc" + H("00") + //
        H("11") + "FileFilter.Hidden" + H("09") + H("11") + "FileFilter.System" + H("09") +            //
        H("13") + "FileFilter.ReadOnly" + H("09") +                                                    //
        H("0A") + "BackupName" + H("060D") + "Weekly photos" +                                         //
        H("0A") + "CreateDate" + H("05 00000000 0080 66A3 0E40") +                                     //
        H("0A") + "LastUpdate" + H("05 00000000 0040 67A3 0E40") +                                     //
        H("0B") + "ArchiveMode" + H("0708") + "amMirror" +                                             //
        H("0B") + "ArchiveType" + H("0707") + "atImage" +                                              //
        H("0A") + "ArchiveDir" + H("070A") + "amUsbToUSB" +                                            //
        H("08") + "Password" + H("0606") + "s3cret" +                                                  //
        H("07") + "Version" + H("060D") + "Version : 1.0" +                                            //
        H("04") + "PCID" + H("060B") + "1A2B - 3C4D" +                                                 //
        H("04") + "GUID" + H("0626") + SetGuid +                                                       //
        H("04") + "Host" + H("060F") + "ftp.example.org" +                                             //
        H("08") + "UserName" + H("0604") + "anna" +                                                    //
        H("04") + "Port" + H("03 4908") +                                                              //
        H("11") + "PassiveConnection" + H("09") +                                                      //
        H("04") + "Path" + H("0601") + "/" +                                                           //
        H("0B") + "Destination" + H("060A") + "E:\\Backup\\" +                                         //
        H("0C") + "BackupSystem" + H("0204") +                                                         //
        H("0A") + "DeleteFile" + H("09") +                                                             //
        H("0B") + "SourceUSBID" + H("0605") + "USB-7" + H("0000");
    QCOMPARE(job.ToObjectStream(), head + rest);

    test::TTestDrives drives;
    QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Config"))));
    SaveToFile(job, QStringLiteral("E:\\Config\\Backup.Zja"));
    TArchiveData loaded;
    LoadFromFile(loaded, QStringLiteral("E:\\Config\\Backup.Zja"));
    QCOMPARE(Snapshot(loaded), Snapshot(job));
}

void TestArchiveData::writtenWhen_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("streamName");
    QTest::addColumn<int>("tag"); // -1: not written

    QTest::newRow("port 0 is still written") << "Port" << QVariant(0) << "Port" << int(vaInt8);
    QTest::newRow("port 300") << "Port" << QVariant(300) << "Port" << int(vaInt16);
    QTest::newRow("port 70000") << "Port" << QVariant(70000) << "Port" << int(vaInt32);
    QTest::newRow("backup system 0") << "BackupSystem" << QVariant(0) << "BackupSystem" << int(vaInt8);
    QTest::newRow("passive false") << "PassiveConnection" << QVariant(false) << "PassiveConnection"
                                   << int(vaFalse);
    QTest::newRow("delete false") << "DeleteFile" << QVariant(false) << "DeleteFile" << int(vaFalse);
    QTest::newRow("default mode") << "ArchiveMode" << QVariant::fromValue(amIncremental) << "ArchiveMode"
                                  << int(vaIdent);
    QTest::newRow("never run") << "LastUpdate" << QVariant(0.0) << "LastUpdate" << -1;
    QTest::newRow("no create date") << "CreateDate" << QVariant(0.0) << "CreateDate" << -1;
    QTest::newRow("empty version") << "Version" << QVariant(QString()) << "Version" << -1;
    QTest::newRow("lone e-acute name")
        << "BackupName" << QVariant(QStringLiteral("é")) << "BackupName" << int(vaWString);
    QTest::newRow("empty list") << "FolderList" << QVariant(QStringList()) << "FolderList.Strings" << -1;
    QTest::newRow("one empty entry") << "FolderList" << QVariant(QStringList{QString()})
                                     << "FolderList.Strings" << int(vaList);
}

void TestArchiveData::writtenWhen()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(QString, streamName);
    QFETCH(int, tag);
    TArchiveData job;
    QVERIFY(job.setProperty(property.toLatin1(), value));
    const TStreamRecord record = ParseObjectStream(job.ToObjectStream());
    QVERIFY(record.Error.isEmpty());
    const auto found = std::find_if(record.Properties.begin(), record.Properties.end(),
                                    [&](const TStreamProperty &p) { return p.Name == streamName; });
    if (tag < 0) {
        QVERIFY2(found == record.Properties.end(), qPrintable(streamName + " should not be written"));
        return;
    }
    QVERIFY(found != record.Properties.end());
    QCOMPARE(int(found->Value.Type), tag);
    TArchiveData loaded;
    loaded.LoadFromBytes(job.SaveToBytes());
    QCOMPARE(loaded.property(property.toLatin1()), value);
}

void TestArchiveData::olderUncompressedBlob()
{
    TArchiveData job;
    FillEveryField(job);
    TArchiveData fromOldBlob;
    fromOldBlob.LoadFromBlob(job.ToObjectStream());
    QCOMPARE(Snapshot(fromOldBlob), Snapshot(job));

    TArchiveData fromNullBlob;
    const QVariantMap before = Snapshot(fromNullBlob);
    fromNullBlob.LoadFromBlob(std::nullopt);
    QCOMPARE(Snapshot(fromNullBlob), before);
}

void TestArchiveData::damagedFileKeepsFieldsBeforeDamage_data()
{
    // The stream is cut just before this property's record; it and every
    // later one keep the values of a fresh record.
    QTest::addColumn<QString>("firstLost");
    QTest::newRow("after BackupName") << "CreateDate";
    QTest::newRow("inside the filter") << "FileFilter.System";
    QTest::newRow("after the enumerations") << "Password";
    QTest::newRow("before the last field") << "SourceUSBID";
}

void TestArchiveData::damagedFileKeepsFieldsBeforeDamage()
{
    QFETCH(QString, firstLost);
    TArchiveData job;
    FillEveryField(job);
    const QByteArray stream = job.ToObjectStream();
    const qsizetype cut = stream.indexOf(char(firstLost.size()) + firstLost.toLatin1());
    QVERIFY(cut > 0);

    test::TTestDrives drives;
    test::WriteFile(drives.Native('E', QStringLiteral("job.Zja")), CompressContainer(stream.left(cut)));
    TArchiveData loaded;
    const QVariantMap defaults = Snapshot(loaded);
    LoadFromFile(loaded, QStringLiteral("E:\\job.Zja"));

    const QVariantMap source = Snapshot(job);
    const QVariantMap result = Snapshot(loaded);
    bool lost = false;
    for (const TStreamProperty &property : ParseObjectStream(stream).Properties) {
        lost = lost || property.Name == firstLost;
        const QString name = property.Name.chopped(property.Name.endsWith(".Strings") ? 8 : 0);
        QVERIFY2(source.contains(name), qPrintable(name));
        QVERIFY2(result[name] == (lost ? defaults : source)[name], qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(TestArchiveData)
#include "tst_archivedata.moc"
