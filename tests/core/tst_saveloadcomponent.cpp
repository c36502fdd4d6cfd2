#include "TestDrives.h"
#include "base/Exceptions.h"
#include "model/Collection.h"
#include "model/ObjectStream.h"
#include "model/SaveLoadComponent.h"
#include "model/ZlibContainer.h"
#include "platform/RecordFile.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <functional>

namespace trovalo::test {
Q_NAMESPACE

// Enumerations live in a meta-object namespace, as the records' own do.
enum TTestMode { tmFirst, tmSecond, tmThird };
Q_ENUM_NS(TTestMode)
enum TTestDay { tdMonday = 1, tdTuesday = 2, tdWednesday = 4, tdSunday = 64 };
Q_DECLARE_FLAGS(TTestDays, TTestDay)
Q_FLAG_NS(TTestDays)
Q_DECLARE_OPERATORS_FOR_FLAGS(TTestDays)

// Test records with every kind of stored property.
class TTestFilter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Hidden MEMBER Hidden)
    Q_CLASSINFO("default:Hidden", "false")
    Q_PROPERTY(QStringList MaskList MEMBER MaskList)

public:
    bool Hidden = false;
    QStringList MaskList;
};

class TTestItem : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString ItemName MEMBER ItemName)
    Q_PROPERTY(double When MEMBER When)
    Q_PROPERTY(QStringList Paths MEMBER Paths)
    Q_PROPERTY(trovalo::test::TTestFilter *Filter READ GetFilter)

public:
    TTestFilter *GetFilter() const { return const_cast<TTestFilter *>(&Filter); }
    QString ItemName;
    double When = 0;
    QStringList Paths;
    TTestFilter Filter;
};

class TTestItems : public TCollection
{
    Q_OBJECT

public:
    TTestItem *At(int index) const { return static_cast<TTestItem *>(Item(index)); }
    TTestItem *Add() { return static_cast<TTestItem *>(AddItem()); }

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override { return std::make_unique<TTestItem>(); }
};

class TTestRecord : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(bool Enabled MEMBER Enabled)
    Q_CLASSINFO("default:Enabled", "true")
    Q_PROPERTY(qint8 Small MEMBER Small)
    Q_PROPERTY(quint8 Every MEMBER Every)
    Q_CLASSINFO("default:Every", "1")
    Q_PROPERTY(quint8 Raw MEMBER Raw)
    Q_PROPERTY(int Count MEMBER Count)
    Q_PROPERTY(int Level MEMBER Level)
    Q_CLASSINFO("default:Level", "0")
    Q_PROPERTY(qint64 Size MEMBER Size)
    Q_PROPERTY(double When MEMBER When)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(trovalo::test::TTestMode Mode MEMBER Mode)
    Q_PROPERTY(trovalo::test::TTestMode Other MEMBER Other)
    Q_CLASSINFO("default:Other", "tmSecond")
    Q_PROPERTY(trovalo::test::TTestDays Days MEMBER Days)
    Q_CLASSINFO("default:Days", "[]")
    Q_PROPERTY(QStringList Folders MEMBER Folders)
    Q_PROPERTY(trovalo::test::TTestFilter *Filter READ GetFilter)
    Q_PROPERTY(trovalo::test::TTestItems *Items READ GetItems)
    Q_PROPERTY(QDateTime Computed READ Computed)

public:
    TTestFilter *GetFilter() const { return const_cast<TTestFilter *>(&Filter); }
    TTestItems *GetItems() const { return const_cast<TTestItems *>(&Items); }
    QDateTime Computed() const { return QDateTime::currentDateTime(); } // no setter, so never stored

    bool Flag = false;
    bool Enabled = true;
    qint8 Small = 0;
    quint8 Every = 1;
    quint8 Raw = 0;
    int Count = 0;
    int Level = 0;
    qint64 Size = 0;
    double When = 0;
    QString Caption;
    TTestMode Mode = tmFirst;
    TTestMode Other = tmSecond;
    TTestDays Days;
    QStringList Folders;
    TTestFilter Filter;
    TTestItems Items;
};

class TTestRecordEx : public TTestRecord
{
    Q_OBJECT
    Q_PROPERTY(QString Extra MEMBER Extra)

public:
    QString Extra;
};

class TUnstorable : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(QDateTime Stamp MEMBER Stamp)

public:
    QDateTime Stamp;
};

class TSmallRecord : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(bool Active MEMBER Active)
    Q_PROPERTY(quint8 Every MEMBER Every)
    Q_CLASSINFO("default:Every", "1")
    Q_PROPERTY(QString Title MEMBER Title)
    Q_PROPERTY(double When MEMBER When)

public:
    bool Active = false;
    quint8 Every = 1;
    QString Title;
    double When = 0;
};

} // namespace trovalo::test

using namespace trovalo;
using namespace trovalo::test;

using TSetup = std::function<void(TTestRecord &)>;
Q_DECLARE_METATYPE(TSetup)

namespace {

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray Short(const QByteArray &text)
{
    return char(text.size()) + text;
}

QByteArray Stream(const QByteArray &properties, const QByteArray &className = "TTestRecord")
{
    return "TPF0" + Short(className) + Hex("00") + properties + Hex("00 00");
}

QStringList Names(const QByteArray &objectStream)
{
    QStringList names;
    for (const TStreamProperty &property : ParseObjectStream(objectStream).Properties)
        names << property.Name;
    return names;
}

// Reads a stored value back by its stream name ("Filter.MaskList.Strings"),
// ignoring case as the reader does.
QVariant ReadBack(QObject &object, const QString &name)
{
    QObject *current = &object;
    QVariant value;
    for (const QString &step : QString(name).remove(QStringLiteral(".Strings")).split(QLatin1Char('.'))) {
        const QMetaObject *meta = current->metaObject();
        int index = 0;
        while (index < meta->propertyCount() &&
               step.compare(meta->property(index).name(), Qt::CaseInsensitive))
            ++index;
        value = meta->property(index).read(current);
        current = value.value<QObject *>();
    }
    return value;
}

QString RandomText(QRandomGenerator &random)
{
    static const char16_t pool[] = {u'a',      u'Z',      u' ',      u'\\', u'\u00e9',
                                    u'\u00fc', u'\u20ac', u'\u65e5', u'\0'};
    QString text;
    const int length = random.bounded(random.bounded(8) == 0 ? 300 : 12);
    for (int i = 0; i < length; ++i) {
        if (random.bounded(20) == 0)
            text += QString::fromUtf8("\xf0\x9f\x98\x80");
        else
            text += QChar(pool[random.bounded(int(std::size(pool)))]);
    }
    return text;
}

QStringList RandomTexts(QRandomGenerator &random)
{
    QStringList texts;
    for (int n = random.bounded(4); n > 0; --n)
        texts << RandomText(random);
    return texts;
}

void Randomise(TTestRecord &record, QRandomGenerator &random)
{
    auto pick = [&](qint64 low, qint64 high) {
        return low + qint64(random.bounded(quint64(high - low) + 1));
    };
    record.Flag = random.bounded(2);
    record.Enabled = random.bounded(2);
    record.Small = qint8(pick(-128, 127));
    record.Every = quint8(pick(0, 255));
    record.Raw = quint8(pick(0, 255));
    record.Count = int(pick(INT_MIN, INT_MAX) >> random.bounded(32));
    record.Level = random.bounded(2) ? 0 : int(pick(-100000, 100000));
    record.Size = qint64(random.generate64()) >> random.bounded(64);
    record.When = random.bounded(3) ? 0 : random.bounded(80000.0);
    record.Caption = RandomText(random);
    record.Mode = TTestMode(random.bounded(3));
    record.Other = TTestMode(random.bounded(3));
    record.Days = TTestDays(int(random.bounded(8)) | (random.bounded(2) ? 64 : 0));
    record.Folders = RandomTexts(random);
    record.Filter.Hidden = random.bounded(2);
    record.Filter.MaskList = RandomTexts(random);
    for (int n = random.bounded(3); n > 0; --n) {
        TTestItem *item = record.Items.Add();
        item->ItemName = RandomText(random);
        item->When = random.bounded(2) ? 0 : std::bit_cast<double>(random.generate64() & 0x7FEFFFFFFFFFFFFF);
        item->Paths = RandomTexts(random);
        item->Filter.Hidden = random.bounded(2);
    }
}

} // namespace

class TestSaveLoadComponent : public QObject
{
    Q_OBJECT

private slots:
    // Worked out by hand: Tag 0 and defaults are left out, "Every" 200 needs
    // vaInt16, the date-time is an extended float.
    void smallRecordBytes()
    {
        TSmallRecord record;
        const QString guid = QStringLiteral("{0123ABCD-4567-89EF-0123-456789ABCDEF}");
        record.SetFileGUID(guid);
        record.Every = 200;
        record.Title = QStringLiteral("Job");
        record.When = 41830.5;
        const QByteArray expected = "TPF0" + Short("TSmallRecord") + Hex("00") + Short("FileGUID") +
                                    Hex("06 26") + guid.toLatin1() + Short("Active") + Hex("08") +
                                    Short("Every") + Hex("03 c8 00") + Short("Title") + Hex("06 03") + "Job" +
                                    Short("When") + Hex("05 00 00 00 00 00 80 66 a3 0e 40") + Hex("00 00");
        QCOMPARE(record.ToObjectStream().toHex(' '), expected.toHex(' '));
        const QByteArray container = record.SaveToBytes();
        QCOMPARE(container.left(2), Hex("78 da"));
        QCOMPARE(InflateContainer(container), expected);

        record.SetTag(5);
        record.Every = 1;
        record.Active = true;
        QCOMPARE(record.ToObjectStream().toHex(' '),
                 ("TPF0" + Short("TSmallRecord") + Hex("00") + Short("Tag") + Hex("02 05") +
                  Short("FileGUID") + Hex("06 26") + guid.toLatin1() + Short("Active") + Hex("09") +
                  Short("Title") + Hex("06 03") + "Job" + Short("When") +
                  Hex("05 00 00 00 00 00 80 66 a3 0e 40") + Hex("00 00"))
                     .toHex(' '));
    }

    void freshRecordBegins()
    {
        const QByteArray stream = TTestRecord().ToObjectStream();
        QVERIFY(stream.startsWith("TPF0" + Short("TTestRecord") + Hex("00") + Short("FileGUID") +
                                  Hex("06 26") + "{"));
        static const QRegularExpression guid(
            QStringLiteral("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"));
        QVERIFY(guid.match(TTestRecord().FileGUID()).hasMatch());
        QVERIFY(TTestRecord().FileGUID() != TTestRecord().FileGUID());
    }

    // Declaration order along the class chain, base first; sub-objects and
    // collections in place.
    void declarationOrder()
    {
        TTestRecordEx record;
        record.SetTag(1);
        record.Enabled = false;
        record.Every = 2;
        record.Level = 3;
        record.Size = 4;
        record.When = 5;
        record.Caption = QStringLiteral("c");
        record.Other = tmFirst;
        record.Days = tdTuesday;
        record.Folders = QStringList{QStringLiteral("f")};
        record.Filter.Hidden = true;
        record.Filter.MaskList = QStringList{QStringLiteral("m")};
        record.Extra = QStringLiteral("x");
        QCOMPARE(Names(record.ToObjectStream()), QStringList({"Tag",           "FileGUID",
                                                              "Flag",          "Enabled",
                                                              "Small",         "Every",
                                                              "Raw",           "Count",
                                                              "Level",         "Size",
                                                              "When",          "Caption",
                                                              "Mode",          "Other",
                                                              "Days",          "Folders.Strings",
                                                              "Filter.Hidden", "Filter.MaskList.Strings",
                                                              "Items",         "Extra"}));
    }

    // What one property looks like in the stream, or that it is absent.
    void writtenAs_data()
    {
        QTest::addColumn<TSetup>("setup");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("absent");
        auto row = [](const char *name, TSetup setup, const QByteArray &bytes, const char *absent = "") {
            QTest::newRow(name) << setup << bytes << QString::fromLatin1(absent);
        };
        const TSetup none = [](TTestRecord &) {};
        row("Boolean without default, false", none, Short("Flag") + Hex("08"));
        row("Boolean at its default", none, {}, "Enabled");
        row(
            "Boolean off its default", [](TTestRecord &r) { r.Enabled = false; },
            Short("Enabled") + Hex("08"));
        row("8-bit without default, 0", none, Short("Small") + Hex("02 00"));
        row(
            "8-bit negative", [](TTestRecord &r) { r.Small = -5; }, Short("Small") + Hex("02 fb"));
        row("8-bit at its default", none, {}, "Every");
        row(
            "8-bit off its default", [](TTestRecord &r) { r.Every = 200; }, Short("Every") + Hex("03 c8 00"));
        row(
            "unsigned 8-bit 255", [](TTestRecord &r) { r.Raw = 255; }, Short("Raw") + Hex("03 ff 00"));
        row("integer without default, 0", none, Short("Count") + Hex("02 00"));
        row("integer at its default", none, {}, "Level");
        row(
            "integer off its default", [](TTestRecord &r) { r.Level = 70000; },
            Short("Level") + Hex("04 70 11 01 00"));
        row("64-bit 0", none, {}, "Size");
        row(
            "64-bit 2^30", [](TTestRecord &r) { r.Size = 1073741824; },
            Short("Size") + Hex("04 00 00 00 40"));
        row(
            "64-bit 2^31", [](TTestRecord &r) { r.Size = 2147483648LL; },
            Short("Size") + Hex("13 00 00 00 80 00 00 00 00"));
        row(
            "64-bit -1", [](TTestRecord &r) { r.Size = -1; }, Short("Size") + Hex("02 ff"));
        row("date-time 0", none, {}, "When");
        row(
            "date-time", [](TTestRecord &r) { r.When = 41830.5; },
            Short("When") + Hex("05 00 00 00 00 00 80 66 a3 0e 40"));
        row("empty text", none, {}, "Caption");
        row(
            "ASCII text", [](TTestRecord &r) { r.Caption = "abc"; },
            Short("Caption") + Hex("06 03 61 62 63"));
        row(
            "300 ASCII", [](TTestRecord &r) { r.Caption = QString(300, 'x'); },
            Short("Caption") + Hex("0c 2c 01 00 00"));
        row(
            "a, e-acute", [](TTestRecord &r) { r.Caption = QStringLiteral("a\u00e9"); },
            Short("Caption") + Hex("14 03 00 00 00 61 c3 a9"));
        row(
            "e-acute", [](TTestRecord &r) { r.Caption = QStringLiteral("\u00e9"); },
            Short("Caption") + Hex("12 01 00 00 00 e9 00"));
        row("enumeration without default", none, Short("Mode") + Hex("07") + Short("tmFirst"));
        row("enumeration at its default", none, {}, "Other");
        row(
            "enumeration off its default", [](TTestRecord &r) { r.Other = tmThird; },
            Short("Other") + Hex("07") + Short("tmThird"));
        row("set at its default", none, {}, "Days");
        row(
            "set, ascending", [](TTestRecord &r) { r.Days = tdSunday | tdMonday; },
            Short("Days") + Hex("0b") + Short("tdMonday") + Short("tdSunday") + Hex("00"));
        row("empty string list", none, {}, "Folders.Strings");
        row(
            "one empty entry", [](TTestRecord &r) { r.Folders = QStringList{QString()}; },
            Short("Folders.Strings") + Hex("01 12 00 00 00 00 00"));
        row(
            "entries by the text rule",
            [](TTestRecord &r) {
                r.Folders = QStringList{"a", QStringLiteral("\u00e9")};
            },
            Short("Folders.Strings") + Hex("01 06 01 61 12 01 00 00 00 e9 00 00"));
        row("sub-object at its default", none, {}, "Filter.Hidden");
        row(
            "sub-object property", [](TTestRecord &r) { r.Filter.Hidden = true; },
            Short("Filter.Hidden") + Hex("09"));
        row(
            "sub-object string list", [](TTestRecord &r) { r.Filter.MaskList = QStringList{"*.tmp"}; },
            Short("Filter.MaskList.Strings") + Hex("01 06 05") + "*.tmp" + Hex("00"));
        row("empty collection", none, Short("Items") + Hex("0e 00"));
        row(
            "collection items without path",
            [](TTestRecord &r) {
                TTestItem *item = r.Items.Add();
                item->ItemName = "x";
                item->Filter.Hidden = true;
                r.Items.Add();
            },
            Short("Items") + Hex("0e 01") + Short("ItemName") + Hex("06 01 78") + Short("Filter.Hidden") +
                Hex("09 00 01 00 00"));
        row("no setter", none, {}, "Computed");
        row(
            "objectName", [](TTestRecord &r) { r.setObjectName("zzz"); }, {}, "objectName");
        row("Tag 0", none, {}, "Tag");
    }
    void writtenAs()
    {
        QFETCH(TSetup, setup);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, absent);
        TTestRecord record;
        setup(record);
        const QByteArray stream = record.ToObjectStream();
        QVERIFY2(stream.contains(bytes), stream.toHex(' ').constData());
        if (!absent.isEmpty())
            QVERIFY2(!Names(stream).contains(absent), qPrintable(Names(stream).join(',')));
    }

    void randomRecordsRoundTrip()
    {
        const quint32 seed = 1433;
        QRandomGenerator random(seed);
        for (int i = 0; i < 300; ++i) {
            TTestRecord original;
            Randomise(original, random);
            TTestRecord loaded;
            loaded.ReadObjectStream(InflateContainer(original.SaveToBytes()));
            const QByteArray expected = original.ToObjectStream(), actual = loaded.ToObjectStream();
            if (expected != actual)
                QFAIL(qPrintable(QStringLiteral("seed %1, record %2:\n%3\n%4")
                                     .arg(seed)
                                     .arg(i)
                                     .arg(QString::fromLatin1(expected.toHex(' ')),
                                          QString::fromLatin1(actual.toHex(' ')))));
        }
    }

    // Tags the reader accepts per kind, and what it refuses.
    void readerTags_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QString>("error");
        auto ok = [](const char *row, const QByteArray &name, const QByteArray &value,
                     const QVariant &expected) {
            QTest::newRow(row) << name << value << expected << QString();
        };
        auto bad = [](const char *row, const QByteArray &name, const QByteArray &value, const char *error) {
            QTest::newRow(row) << name << value << QVariant() << QString::fromLatin1(error);
        };
        ok("Boolean true", "Flag", Hex("09"), true);
        ok("Boolean as ident", "Flag", Hex("07") + Short("True"), true);
        ok("Boolean as lower-case ident", "Enabled", Hex("07") + Short("false"), false);
        bad("Boolean as integer", "Flag", Hex("02 01"), "found vaInt8");
        ok("enumeration", "Mode", Hex("07") + Short("tmThird"), 2);
        ok("enumeration, other case", "Mode", Hex("07") + Short("TMTHIRD"), 2);
        bad("unknown enumeration name", "Mode", Hex("07") + Short("tmFourth"), "\"tmFourth\" is not one of");
        bad("enumeration as integer", "Mode", Hex("02 01"), "found vaInt8");
        ok("8-bit", "Small", Hex("02 fb"), -5);
        bad("8-bit out of range", "Small", Hex("03 00 01"), "-128 to 127");
        ok("unsigned 8-bit 255", "Every", Hex("03 ff 00"), 255);
        bad("unsigned 8-bit -1", "Every", Hex("02 ff"), "0 to 255");
        ok("integer", "Count", Hex("04 78 56 34 12"), 0x12345678);
        bad("integer as vaInt64", "Count", Hex("13 00 00 00 00 00 00 00 00"), "found vaInt64");
        ok("64-bit as vaInt64", "Size", Hex("13 00 00 00 80 00 00 00 00"), 2147483648LL);
        ok("64-bit as vaInt8", "Size", Hex("02 05"), 5);
        bad("64-bit as text", "Size", Hex("06 01 35"), "found vaString");
        ok("date-time extended", "When", Hex("05 00 00 00 00 00 80 66 a3 0e 40"), 41830.5);
        ok("date-time double", "When", Hex("15 00 00 00 00 d0 6c e4 40"), 41830.5);
        ok("date-time integer", "When", Hex("02 07"), 7.0);
        ok("date-time vaInt64", "When", Hex("13 00 00 00 00 01 00 00 00"), 4294967296.0);
        bad("date-time vaDate", "When", Hex("11 00 00 00 00 00 00 f0 3f"), "found vaDate");
        ok("text vaString", "Caption", Hex("06 02 41 e9"), QStringLiteral("A\u00e9"));
        ok("text vaLString", "Caption", Hex("0c 01 00 00 00 80"), QStringLiteral("\u20ac"));
        ok("text vaWString", "Caption", Hex("12 01 00 00 00 e9 00"), QStringLiteral("\u00e9"));
        ok("text vaUTF8String", "Caption", Hex("14 02 00 00 00 c3 a9"), QStringLiteral("\u00e9"));
        bad("text as ident", "Caption", Hex("07 01 41"), "found vaIdent");
        ok("set", "Days", Hex("0b") + Short("tdMonday") + Short("tdSunday") + Hex("00"), 65);
        bad("set with unknown name", "Days", Hex("0b") + Short("tdNever") + Hex("00"), "\"tdNever\" is not");
        ok("string list", "Folders.Strings", Hex("01 06 01 61 14 02 00 00 00 c3 a9 00"),
           QStringList({"a", QStringLiteral("\u00e9")}));
        bad("string list with an integer", "Folders.Strings", Hex("01 02 01 00"), "found vaInt8");
        bad("string list without .Strings", "Folders", Hex("01 00"), "no property \"Folders\"");
        ok("sub-object property", "Filter.Hidden", Hex("09"), true);
        ok("names ignore case", "filter.hidden", Hex("09"), true);
        bad("sub-object itself", "Filter", Hex("09"), "as \"Filter.<Name>\"");
        bad("collection as text", "Items", Hex("06 00"), "found vaString");
        bad("property without setter", "Computed", Hex("06 01 61"), "no property \"Computed\"");
        bad("QObject's own", "objectName", Hex("06 01 61"), "no property \"objectName\"");
        bad("unknown path step", "Nope.Hidden", Hex("09"), "no property \"Nope.Hidden\"");
    }
    void readerTags()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(QVariant, expected);
        QFETCH(QString, error);
        const QByteArray stream = Stream(Short("Raw") + Hex("02 2a") + Short(name) + value);
        TTestRecord record;
        try {
            record.ReadObjectStream(stream);
            QVERIFY2(error.isEmpty(), "no error raised");
            const QVariant actual = ReadBack(record, QString::fromLatin1(name));
            if (expected.typeId() == QMetaType::Double || expected.typeId() == QMetaType::QStringList ||
                expected.typeId() == QMetaType::QString)
                QCOMPARE(actual, expected);
            else
                QCOMPARE(actual.toLongLong(), expected.toLongLong());
        } catch (const EStreamError &e) {
            QVERIFY2(!error.isEmpty() && e.Message().contains(error), qPrintable(e.Message()));
        }
        // The property before it is always read; the container form never raises.
        QCOMPARE(record.Raw, 42);
        TTestRecord quiet;
        quiet.LoadFromBytes(CompressContainer(stream));
        QCOMPARE(quiet.Raw, 42);
    }

    void readerKeepsAbsentAndReplacesLists()
    {
        TTestRecord record;
        record.Caption = QStringLiteral("kept");
        record.Folders = QStringList{"old1", "old2"};
        record.Items.Add()->ItemName = QStringLiteral("old item");
        record.Items.Add();
        // Class name ignored, prefix byte skipped, lists replaced.
        record.ReadObjectStream("TPF0" + Hex("f0") + Short("TOther") + Hex("00") + Short("Folders.Strings") +
                                Hex("01 06 01 6e 00") + Short("Items") + Hex("0e 01") + Short("When") +
                                Hex("02 03") + Hex("00 00 00 00"));
        QCOMPARE(record.Caption, QStringLiteral("kept"));
        QCOMPARE(record.Folders, QStringList{"n"});
        QCOMPARE(record.Items.Count(), 1);
        QCOMPARE(record.Items.At(0)->ItemName, QString()); // a new item with its defaults
        QCOMPARE(record.Items.At(0)->When, 3.0);
        // An empty item list leaves the collection as it is.
        record.ReadObjectStream(Stream(Short("Items") + Hex("0e 00")));
        QCOMPARE(record.Items.Count(), 1);
        QCOMPARE(record.Items.At(0)->When, 3.0);
    }

    void unstorableTypesAreRefused()
    {
        try {
            TUnstorable().ToObjectStream();
            QFAIL("no error raised");
        } catch (const EStreamError &e) {
            QVERIFY2(e.Message().contains(
                         QLatin1String("\"Stamp\" of trovalo::test::TUnstorable has the type QDateTime")),
                     qPrintable(e.Message()));
        }
    }

    void loadedFileGUIDIsKept()
    {
        TTestRecord original, copy;
        copy.LoadFromBytes(original.SaveToBytes());
        QCOMPARE(copy.FileGUID(), original.FileGUID());
    }

    // Damage never raises from the container forms and keeps what came first.
    void damagedContainers_data()
    {
        QTest::addColumn<QByteArray>("container");
        QTest::addColumn<QString>("caption");
        const QByteArray good = Short("Caption") + Hex("06 05") + "after";
        const QByteArray whole = CompressContainer(Stream(good));
        QTest::newRow("empty") << QByteArray() << "before";
        QTest::newRow("garbage") << QByteArray("not a record at all") << "before";
        QTest::newRow("uncompressed stream") << Stream(good) << "before";
        QTest::newRow("truncated container") << whole.left(whole.size() - 6) << "before";
        QTest::newRow("wrong signature") << CompressContainer("TPF1" + Stream(good).mid(4)) << "before";
        QTest::newRow("undeclared property")
            << CompressContainer(Stream(good + Short("Unknown") + Hex("09") + Short("Count") + Hex("02 05")))
            << "after";
        QTest::newRow("bad tag") << CompressContainer(Stream(good + Short("Count") + Hex("19"))) << "after";
        QTest::newRow("huge length") << CompressContainer(
                                            Stream(good + Short("Caption") + Hex("14 ff ff ff 7f")))
                                     << "after";
        QTest::newRow("deep nesting")
            << CompressContainer(Stream(good + Short("Folders.Strings") + QByteArray(5000, '\x01')))
            << "after";
        QTest::newRow("cut after a property") << CompressContainer(Stream(good).chopped(2)) << "after";
    }
    void damagedContainers()
    {
        QFETCH(QByteArray, container);
        QFETCH(QString, caption);
        TTestRecord record;
        record.Caption = QStringLiteral("before");
        record.LoadFromBytes(container);
        QCOMPARE(record.Caption, caption);
        QCOMPARE(record.Count, 0);
    }

    void blobs()
    {
        const QByteArray stream = Stream(Short("Caption") + Hex("06 01 62") + Short("Unknown") + Hex("09"));
        TTestRecord record;
        record.Caption = QStringLiteral("a");
        record.LoadFromBlob(std::nullopt);
        record.LoadFromBlob(QByteArray());
        QCOMPARE(record.Caption, QStringLiteral("a"));
        record.LoadFromBlob(CompressContainer(Stream(Short("Caption") + Hex("06 01 63"))));
        QCOMPARE(record.Caption, QStringLiteral("c"));
        // The older, uncompressed form; its errors reach the caller.
        QVERIFY_THROWS_EXCEPTION(EStreamError, record.LoadFromBlob(stream));
        QCOMPARE(record.Caption, QStringLiteral("b"));
        QVERIFY_THROWS_EXCEPTION(EStreamError, record.LoadFromBlob(QByteArray("garbage")));
        // A container that inflates but holds a damaged stream reports that.
        try {
            record.LoadFromBlob(CompressContainer(stream));
            QFAIL("no error raised");
        } catch (const EStreamError &e) {
            QVERIFY2(e.Message().contains(QLatin1String("Unknown")), qPrintable(e.Message()));
        }
    }

    void streams()
    {
        TTestRecord record;
        record.Caption = QStringLiteral("in a stream");
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        buffer.write("xyz");
        record.SaveToStream(buffer);
        QCOMPARE(buffer.pos(), buffer.size());
        QCOMPARE(buffer.data().mid(3), record.SaveToBytes());

        QBuffer single;
        single.setData(record.SaveToBytes());
        single.open(QIODevice::ReadOnly);
        single.seek(single.size());
        TTestRecord loaded;
        loaded.LoadFromStream(single);
        QCOMPARE(loaded.Caption, record.Caption);
    }

    void files()
    {
        TTestDrives drives;
        QVERIFY(QDir().mkpath(drives.Native('E', "Config")));
        const QString fileName = QStringLiteral("E:\\Config\\Record.cfg");
        TTestRecord record;
        record.Caption = QStringLiteral("on the drive");
        SaveToFile(record, fileName);
        record.Caption = QStringLiteral("saved again");
        SaveToFile(record, fileName);
        QCOMPARE(QDir(drives.Native('E', "Config")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Record.cfg"});

        TTestRecord loaded;
        LoadFromFile(loaded, fileName);
        QCOMPARE(loaded.Caption, QStringLiteral("saved again"));
        QCOMPARE(loaded.FileGUID(), record.FileGUID());

        // Missing files and unmapped drives change nothing and raise nothing.
        TTestRecord untouched;
        const QByteArray before = untouched.ToObjectStream();
        LoadFromFile(untouched, QStringLiteral("E:\\Config\\Missing.cfg"));
        LoadFromFile(untouched, QStringLiteral("Q:\\Config\\Record.cfg"));
        QCOMPARE(untouched.ToObjectStream(), before);

        // An extra, undeclared property: everything before it is loaded.
        QFile extra(drives.Native('E', "Config/Extra.cfg"));
        QVERIFY(extra.open(QIODevice::WriteOnly));
        extra.write(CompressContainer(Stream(Short("Count") + Hex("02 07") + Short("Undeclared") + Hex("09") +
                                             Short("Level") + Hex("02 08"))));
        extra.close();
        TTestRecord partial;
        LoadFromFile(partial, QStringLiteral("E:\\Config\\Extra.cfg"));
        QCOMPARE(partial.Count, 7);
        QCOMPARE(partial.Level, 0);

        // An existing path that cannot be read as a file is reported.
        QVERIFY(QDir().mkpath(drives.Native('E', "Config/Folder.cfg")));
        QVERIFY_THROWS_EXCEPTION(EFileError, LoadFromFile(partial, QStringLiteral("E:\\Config\\Folder.cfg")));
    }

    void saveFailuresNameTheFile_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("missing folder") << QStringLiteral("E:\\NoSuchFolder\\Record.cfg");
        QTest::newRow("unmapped drive") << QStringLiteral("Q:\\Config\\Record.cfg");
        QTest::newRow("a folder in the way") << QStringLiteral("E:\\Config");
    }
    void saveFailuresNameTheFile()
    {
        QFETCH(QString, fileName);
        TTestDrives drives;
        QVERIFY(QDir().mkpath(drives.Native('E', "Config")));
        try {
            SaveToFile(TTestRecord(), fileName);
            QFAIL("no error raised");
        } catch (const EFileError &e) {
            QVERIFY2(e.Message().contains(fileName), qPrintable(e.Message()));
        }
        QVERIFY(QFileInfo(drives.Native('E', "Config")).isDir());
    }
};

QTEST_GUILESS_MAIN(TestSaveLoadComponent)
#include "tst_saveloadcomponent.moc"
