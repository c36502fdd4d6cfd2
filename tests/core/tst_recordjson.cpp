#include "base/Exceptions.h"
#include "model/Collection.h"
#include "model/ObjectStream.h"
#include "model/ProgramData.h"
#include "model/RecordJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

namespace trovalo::jsontest {
Q_NAMESPACE

enum TJsonMode { jmFirst, jmSecond };
Q_ENUM_NS(TJsonMode)
enum TJsonDay { jdMonday = 1, jdTuesday = 2 };
Q_DECLARE_FLAGS(TJsonDays, TJsonDay)
Q_FLAG_NS(TJsonDays)

class TJsonFilter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Hidden MEMBER Hidden)
    Q_PROPERTY(QStringList Masks MEMBER Masks)

public:
    bool Hidden = false;
    QStringList Masks;
};

class TJsonItem : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString Name MEMBER Name)
    Q_PROPERTY(int Count MEMBER Count)

public:
    QString Name;
    int Count = 0;
};

class TJsonItems : public TCollection
{
    Q_OBJECT

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override { return std::make_unique<TJsonItem>(); }
};

// One property of every kind.
class TJsonRecord : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(qint8 Small MEMBER Small)
    Q_PROPERTY(quint8 Every MEMBER Every)
    Q_CLASSINFO("default:Every", "1")
    Q_PROPERTY(qint64 Size MEMBER Size)
    Q_PROPERTY(double When MEMBER When)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(trovalo::jsontest::TJsonMode Mode MEMBER Mode)
    Q_PROPERTY(trovalo::jsontest::TJsonDays Days MEMBER Days)
    Q_PROPERTY(QStringList Folders MEMBER Folders)
    Q_PROPERTY(trovalo::jsontest::TJsonFilter *Filter READ GetFilter)
    Q_PROPERTY(trovalo::jsontest::TJsonItems *Items READ GetItems)

public:
    TJsonFilter *GetFilter() const { return const_cast<TJsonFilter *>(&Filter); }
    TJsonItems *GetItems() const { return const_cast<TJsonItems *>(&Items); }

    qint8 Small = 0;
    quint8 Every = 1;
    qint64 Size = 0;
    double When = 0;
    QString Caption;
    TJsonMode Mode = jmFirst;
    TJsonDays Days;
    QStringList Folders;
    TJsonFilter Filter;
    TJsonItems Items;
};

} // namespace trovalo::jsontest

using namespace trovalo;
using namespace trovalo::jsontest;

namespace {

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray Short(const QByteArray &text)
{
    return char(text.size()) + text;
}

QJsonObject PropertiesOf(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("%s in %s", qPrintable(error.errorString()), json.constData());
    return document.object().value(QLatin1String("properties")).toObject();
}

} // namespace

class TestRecordJson : public QObject
{
    Q_OBJECT

private slots:
    // Written by hand: the stream's order, every kind of value.
    void showKeepsStreamOrderAndKinds()
    {
        const QByteArray stream =
            "TPF0" + Short("TArchiveData") + Hex("00") + Short("FileGUID") + Hex("06 03") + "{A}" +
            Short("FolderList.Strings") + Hex("01 06 07") + "C:\\Docs" + Hex("14 02 00 00 00 c3 a9 00") +
            Short("CreateDate") + Hex("05 00 00 00 00 00 80 66 a3 0e 40") + Short("ArchiveMode") + Hex("07") +
            Short("amMirror") + Short("Days") + Hex("0b") + Short("dMonday") + Short("dSunday") + Hex("00") +
            Short("Size") + Hex("13 01 00 00 00 00 00 00 40") + Short("Port") + Hex("02 15") +
            Short("DeleteFile") + Hex("08") + Short("Blob") + Hex("0a 03 00 00 00 00 ff 10") +
            Short("Empty.Strings") + Hex("01 00") + Short("Items") + Hex("0e 01") + Short("ID") +
            Hex("06 01 78 00 01 00 00") + Short("Cur") + Hex("10 39 30 00 00 00 00 00 00") + Short("Q") +
            Hex("06 04 61 22 09 01") + Hex("00 00");
        const QByteArray expected = "{\n"
                                    "  \"class\": \"TArchiveData\",\n"
                                    "  \"properties\": {\n"
                                    "    \"FileGUID\": \"{A}\",\n"
                                    "    \"FolderList.Strings\": [\n"
                                    "      \"C:\\\\Docs\",\n"
                                    "      \"é\"\n"
                                    "    ],\n"
                                    "    \"CreateDate\": 41830.5,\n"
                                    "    \"ArchiveMode\": \"amMirror\",\n"
                                    "    \"Days\": [\n"
                                    "      \"dMonday\",\n"
                                    "      \"dSunday\"\n"
                                    "    ],\n"
                                    "    \"Size\": 4611686018427387905,\n"
                                    "    \"Port\": 21,\n"
                                    "    \"DeleteFile\": false,\n"
                                    "    \"Blob\": \"AP8Q\",\n"
                                    "    \"Empty.Strings\": [],\n"
                                    "    \"Items\": [\n"
                                    "      {\n"
                                    "        \"ID\": \"x\"\n"
                                    "      },\n"
                                    "      {}\n"
                                    "    ],\n"
                                    "    \"Cur\": 1.2345,\n"
                                    "    \"Q\": \"a\\\"\\t\\u0001\"\n"
                                    "  }\n"
                                    "}\n";
        QCOMPARE(QString::fromUtf8(RecordToJson(ParseObjectStream(stream))), QString::fromUtf8(expected));
    }

    void showNamesTheDamage()
    {
        const QByteArray stream =
            "TPF0" + Short("TTest") + Hex("00") + Short("A") + Hex("09") + Short("B") + Hex("04 01");
        QCOMPARE(RecordToJson(ParseObjectStream(stream)),
                 QByteArray("{\n"
                            "  \"class\": \"TTest\",\n"
                            "  \"properties\": {\n"
                            "    \"A\": true\n"
                            "  },\n"
                            "  \"error\": \"Damaged object stream at byte 17: a length of 4 bytes runs past "
                            "the end of the data\"\n"
                            "}\n"));
    }

    void showOfTheProgramSettings()
    {
        const TProgramData settings(QStringLiteral("C:\\ProgramData\\Trovalo"));
        const QByteArray json = RecordToJson(ParseObjectStream(settings.ToObjectStream()));
        QStringList keys;
        static const QRegularExpression key(QStringLiteral("^    \"([^\"]+)\":"),
                                            QRegularExpression::MultilineOption);
        for (auto it = key.globalMatch(QString::fromUtf8(json)); it.hasNext();)
            keys << it.next().captured(1);
        QCOMPARE(keys, QStringList({"FileGUID", "MoveToDeleted", "DeletedFolder", "MaxDeletedSize",
                                    "CheckForUpdates", "ShowHidden", "MiniWindows", "ScheduleRunMode"}));
        const QJsonObject properties = PropertiesOf(json);
        QCOMPARE(properties.value("MaxDeletedSize").toInteger(), 1073741824);
        QCOMPARE(properties.value("ScheduleRunMode").toString(), QStringLiteral("srmAsk"));
        QCOMPARE(properties.value("FileGUID").toString(), settings.FileGUID());
    }

    // show, edit, save: the JSON view applied to a fresh record gives the
    // same stream back.
    void jsonRoundTrip()
    {
        TJsonRecord record;
        record.Small = -7;
        record.Every = 250;
        record.Size = 4611686018427387905LL;
        record.When = 41830.123456789;
        record.Caption = QStringLiteral("caf\u00e9 \"quoted\" \\ \U0001F600");
        record.Mode = jmSecond;
        record.Days = TJsonDays(jdMonday) | jdTuesday;
        record.Folders = QStringList{QString(), QStringLiteral("C:\\Data\\")};
        record.Filter.Hidden = true;
        record.Filter.Masks = QStringList{QStringLiteral("*.tmp")};
        static_cast<TJsonItem *>(record.Items.AddItem())->Name = QStringLiteral("first");
        static_cast<TJsonItem *>(record.Items.AddItem())->Count = -40000;

        const QByteArray json = RecordToJson(ParseObjectStream(record.ToObjectStream()));
        TJsonRecord edited;
        JsonToRecord(PropertiesOf(json), edited);
        QCOMPARE(edited.ToObjectStream().toHex(' '), record.ToObjectStream().toHex(' '));
    }

    void refusedEdits_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown property")
            << QByteArray("{\"Nope\": 1}") << "TJsonRecord has no property \"Nope\"";
        QTest::newRow("number for a text")
            << QByteArray("{\"Caption\": 5}") << "Property \"Caption\": expected a text, got the number 5";
        QTest::newRow("null for a text") << QByteArray("{\"FileGUID\": null}") << "expected a text, got null";
        QTest::newRow("8-bit out of range")
            << QByteArray("{\"Small\": 300}")
            << "Property \"Small\": expected an integer from -128 to 127, got the integer 300";
        QTest::newRow("unsigned 8-bit negative") << QByteArray("{\"Every\": -1}") << "from 0 to 255";
        QTest::newRow("fraction for an integer") << QByteArray("{\"Small\": 1.5}") << "got the number 1.5";
        QTest::newRow("beyond 64 bits") << QByteArray("{\"Size\": 9.3e18}") << "expected a 64-bit integer";
        QTest::newRow("unknown enumeration name")
            << QByteArray("{\"Mode\": \"jmThird\"}") << "\"jmThird\" is not one of jmFirst, jmSecond";
        QTest::newRow("number for an enumeration")
            << QByteArray("{\"Mode\": 1}") << "expected one of jmFirst";
        QTest::newRow("unknown set member")
            << QByteArray("{\"Days\": [\"jdNever\"]}") << "\"jdNever\" is not a set of jdMonday, jdTuesday";
        QTest::newRow("text for a set")
            << QByteArray("{\"Days\": \"jdMonday\"}") << "got the text \"jdMonday\"";
        QTest::newRow("number in a string list")
            << QByteArray("{\"Folders.Strings\": [\"a\", 1]}") << "found the number 1 in the array";
        QTest::newRow("string list without .Strings")
            << QByteArray("{\"Folders\": [\"a\"]}") << "has no property \"Folders\"";
        QTest::newRow("sub-object as an object")
            << QByteArray("{\"Filter\": {\"Hidden\": true}}") << "as \"Filter.<Name>\"";
        QTest::newRow("text for a Boolean")
            << QByteArray("{\"Filter.Hidden\": \"yes\"}")
            << "Property \"Filter.Hidden\": expected a Boolean, got the text \"yes\"";
        QTest::newRow("item not an object")
            << QByteArray("{\"Items\": [1]}") << "expected an object for each item";
        QTest::newRow("unknown item property")
            << QByteArray("{\"Items\": [{\"Bad\": 1}]}") << "TJsonItem has no property \"Bad\"";
        QTest::newRow("text for a number") << QByteArray("{\"When\": \"soon\"}") << "expected a number";
    }
    void refusedEdits()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QString, message);
        TJsonRecord record;
        try {
            JsonToRecord(QJsonDocument::fromJson(properties).object(), record);
            QFAIL("no error raised");
        } catch (const EStreamError &error) {
            QVERIFY2(error.Message().contains(message), qPrintable(error.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestRecordJson)
#include "tst_recordjson.moc"
