#include "TestDrives.h"

#include "model/ObjectStream.h"
#include "model/ProgramData.h"
#include "model/ZlibContainer.h"
#include "platform/RecordFile.h"

#include <QFile>
#include <QtTest>

using namespace trovalo;

namespace {
const QString AppData = QStringLiteral("C:\\ProgramData\\Trovalo");
const QString SettingsFile = AppData + QStringLiteral("\\ConfigData\\Config.cfg");

TStreamRecord Parsed(const TProgramData &settings)
{
    return ParseObjectStream(InflateContainer(settings.SaveToBytes()));
}

const TStreamProperty *Find(const TStreamRecord &record, const QString &name)
{
    for (const TStreamProperty &property : record.Properties)
        if (property.Name == name)
            return &property;
    return nullptr;
}

void VerifyDefaults(const TProgramData &settings)
{
    QCOMPARE(settings.MoveToDeleted(), false);
    QCOMPARE(settings.DeletedFolder(), AppData + QStringLiteral("\\Deleted\\"));
    QCOMPARE(settings.MaxDeletedSize(), Q_INT64_C(1073741824));
    QCOMPARE(settings.DriveAutoRun(), true);
    QCOMPARE(settings.CheckForUpdates(), false);
    QCOMPARE(settings.ShowHidden(), false);
    QCOMPARE(settings.MiniWindows(), false);
    QCOMPARE(settings.AutoCloseJobTab(), false);
    QCOMPARE(settings.ScheduleRunMode(), srmAsk);
    QCOMPARE(settings.DriveDetectMode(), 0);
}
} // namespace

class TestProgramData : public QObject
{
    Q_OBJECT

private slots:
    void defaultsAreWrittenByteForByte();
    void nonDefaultValues_data();
    void nonDefaultValues();
    void everyFieldSurvivesFileRoundTrip();
    void unreadableSettingsLeaveDefaults_data();
    void unreadableSettingsLeaveDefaults();
};

void TestProgramData::defaultsAreWrittenByteForByte()
{
    TProgramData settings(AppData);
    settings.SetFileGUID(QStringLiteral("{0123ABCD-4567-89EF-0123-456789ABCDEF}"));
    // Worked out by hand: booleans without a declared default and the
    // enumeration are always written; DriveAutoRun (default true),
    // AutoCloseJobTab (default false) and DriveDetectMode (default 0) are not;
    // the 64-bit limit fits 32 bits and so takes tag 4.
    QByteArray expected("TPF0\x0CTProgramData\x00", 18);
    expected += QByteArray("\x08"
                           "FileGUID"
                           "\x06\x26") +
                "{0123ABCD-4567-89EF-0123-456789ABCDEF}";
    expected += QByteArray("\x0D"
                           "MoveToDeleted"
                           "\x08");
    expected += QByteArray("\x0D"
                           "DeletedFolder"
                           "\x06\x1F") +
                "C:\\ProgramData\\Trovalo\\Deleted\\";
    expected += QByteArray("\x0E"
                           "MaxDeletedSize"
                           "\x04\x00\x00\x00\x40",
                           20);
    expected += QByteArray("\x0F"
                           "CheckForUpdates"
                           "\x08");
    expected += QByteArray("\x0A"
                           "ShowHidden"
                           "\x08");
    expected += QByteArray("\x0B"
                           "MiniWindows"
                           "\x08");
    expected += QByteArray("\x0F"
                           "ScheduleRunMode"
                           "\x07\x06"
                           "srmAsk");
    expected += QByteArray("\x00\x00", 2);
    QCOMPARE(settings.ToObjectStream(), expected);

    const QByteArray container = settings.SaveToBytes();
    QCOMPARE(container.left(2), QByteArray("\x78\xDA"));
    QCOMPARE(InflateContainer(container), expected);
}

void TestProgramData::nonDefaultValues_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("tag"); // -1: not written

    QTest::newRow("auto-run off is written") << "DriveAutoRun" << QVariant(false) << int(vaFalse);
    QTest::newRow("auto-run on is not") << "DriveAutoRun" << QVariant(true) << -1;
    QTest::newRow("auto close on is written") << "AutoCloseJobTab" << QVariant(true) << int(vaTrue);
    QTest::newRow("detect mode 5") << "DriveDetectMode" << QVariant(5) << int(vaInt8);
    QTest::newRow("detect mode 300") << "DriveDetectMode" << QVariant(300) << int(vaInt16);
    QTest::newRow("limit 0 is not written") << "MaxDeletedSize" << QVariant(Q_INT64_C(0)) << -1;
    QTest::newRow("limit 5 GiB needs 64 bits")
        << "MaxDeletedSize" << QVariant(Q_INT64_C(5368709120)) << int(vaInt64);
    QTest::newRow("empty deleted folder") << "DeletedFolder" << QVariant(QString()) << -1;
    QTest::newRow("protection on") << "MoveToDeleted" << QVariant(true) << int(vaTrue);
    QTest::newRow("schedule mode skip") << "ScheduleRunMode" << QVariant::fromValue(srmSkip) << int(vaIdent);
}

void TestProgramData::nonDefaultValues()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(int, tag);
    TProgramData settings(AppData);
    QVERIFY(settings.setProperty(property.toLatin1(), value));
    const TStreamRecord record = Parsed(settings);
    QVERIFY(record.Error.isEmpty());
    const TStreamProperty *found = Find(record, property);
    if (tag < 0) {
        QVERIFY2(!found, qPrintable(property + " should not be written"));
        return;
    }
    QVERIFY(found);
    QCOMPARE(int(found->Value.Type), tag);

    TProgramData loaded(AppData);
    loaded.LoadFromBytes(settings.SaveToBytes());
    QCOMPARE(loaded.property(property.toLatin1()), settings.property(property.toLatin1()));
}

void TestProgramData::everyFieldSurvivesFileRoundTrip()
{
    test::TTestDrives drives;
    TProgramData settings(AppData);
    settings.SetMoveToDeleted(true);
    settings.SetDeletedFolder(QStringLiteral("E:\\Gelöschte Dateien\\"));
    settings.SetMaxDeletedSize(Q_INT64_C(1048576) * 5000);
    settings.SetDriveAutoRun(false);
    settings.SetCheckForUpdates(true);
    settings.SetShowHidden(true);
    settings.SetMiniWindows(true);
    settings.SetAutoCloseJobTab(true);
    settings.SetScheduleRunMode(srmNext);
    settings.SetDriveDetectMode(-7);
    QVERIFY(QDir().mkpath(drives.Native('C', QStringLiteral("ProgramData/Trovalo/ConfigData"))));
    SaveToFile(settings, SettingsFile);

    TProgramData loaded(AppData);
    LoadFromFile(loaded, SettingsFile);
    QCOMPARE(loaded.FileGUID(), settings.FileGUID());
    QCOMPARE(loaded.MoveToDeleted(), true);
    QCOMPARE(loaded.DeletedFolder(), QStringLiteral("E:\\Gelöschte Dateien\\"));
    QCOMPARE(loaded.MaxDeletedSize(), Q_INT64_C(1048576) * 5000);
    QCOMPARE(loaded.DriveAutoRun(), false);
    QCOMPARE(loaded.CheckForUpdates(), true);
    QCOMPARE(loaded.ShowHidden(), true);
    QCOMPARE(loaded.MiniWindows(), true);
    QCOMPARE(loaded.AutoCloseJobTab(), true);
    QCOMPARE(loaded.ScheduleRunMode(), srmNext);
    QCOMPARE(loaded.DriveDetectMode(), -7);
}

void TestProgramData::unreadableSettingsLeaveDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("present");
    TProgramData changed(AppData);
    changed.SetMoveToDeleted(true);
    const QByteArray good = changed.SaveToBytes();
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("not zlib") << QByteArray("hello, this is not a settings file") << true;
    QTest::newRow("truncated") << good.left(good.size() / 2) << true;
    QByteArray corrupt = good;
    corrupt[corrupt.size() - 1] = char(corrupt.at(corrupt.size() - 1) ^ 0x55);
    QTest::newRow("bad checksum") << corrupt << true;
    QTest::newRow("zlib of garbage") << CompressContainer(QByteArray("TPF1 not an object stream")) << true;
}

void TestProgramData::unreadableSettingsLeaveDefaults()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, present);
    test::TTestDrives drives;
    const QString native = drives.Native('C', QStringLiteral("ProgramData/Trovalo/ConfigData/Config.cfg"));
    QVERIFY(QDir().mkpath(QFileInfo(native).path()));
    if (present) {
        QFile file(native);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    TProgramData settings(AppData);
    LoadFromFile(settings, SettingsFile);
    VerifyDefaults(settings);
}

QTEST_GUILESS_MAIN(TestProgramData)
#include "tst_programdata.moc"
