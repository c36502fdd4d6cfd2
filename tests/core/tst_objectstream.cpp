#include "base/Exceptions.h"
#include "model/ObjectStream.h"

#include <QTest>

using namespace trovalo;

namespace {

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// A short string: one length byte, then the bytes.
QByteArray Short(const QByteArray &text)
{
    return char(text.size()) + text;
}

// A whole object stream of class TTest around the given property records.
QByteArray Stream(const QByteArray &properties, const QByteArray &end = Hex("00 00"))
{
    return "TPF0" + Short("TTest") + Hex("00") + properties + end;
}

QByteArray Written(const std::function<void(TObjectWriter &)> &write)
{
    TObjectWriter writer;
    write(writer);
    return writer.Data();
}

} // namespace

class TestObjectStream : public QObject
{
    Q_OBJECT

private slots:
    void integersTakeTheSmallestTag_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("0") << qint64(0) << Hex("02 00");
        QTest::newRow("127") << qint64(127) << Hex("02 7f");
        QTest::newRow("-128") << qint64(-128) << Hex("02 80");
        QTest::newRow("128, an unsigned byte") << qint64(128) << Hex("03 80 00");
        QTest::newRow("255") << qint64(255) << Hex("03 ff 00");
        QTest::newRow("-129") << qint64(-129) << Hex("03 7f ff");
        QTest::newRow("32767") << qint64(32767) << Hex("03 ff 7f");
        QTest::newRow("32768") << qint64(32768) << Hex("04 00 80 00 00");
        QTest::newRow("-32769") << qint64(-32769) << Hex("04 ff 7f ff ff");
        QTest::newRow("1073741824") << qint64(1073741824) << Hex("04 00 00 00 40");
        QTest::newRow("2^31-1") << qint64(2147483647) << Hex("04 ff ff ff 7f");
        QTest::newRow("-2^31") << qint64(-2147483648LL) << Hex("04 00 00 00 80");
        QTest::newRow("2^31") << qint64(2147483648LL) << Hex("13 00 00 00 80 00 00 00 00");
        QTest::newRow("-2^31-1") << qint64(-2147483649LL) << Hex("13 ff ff ff 7f ff ff ff ff");
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << Hex("13 ff ff ff ff ff ff ff 7f");
    }
    void integersTakeTheSmallestTag()
    {
        QFETCH(qint64, value);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Written([&](TObjectWriter &w) { w.WriteInteger(value); }).toHex(' '), bytes.toHex(' '));
        // And the parser gives the same value back.
        const TStreamRecord record = ParseObjectStream(Stream(Short("P") + bytes));
        QVERIFY2(record.Error.isEmpty(), qPrintable(record.Error));
        QCOMPARE(record.Properties.value(0).Value.Integer, value);
    }

    void textRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("three ASCII letters") << QStringLiteral("abc") << Hex("06 03 61 62 63");
        QTest::newRow("empty") << QString() << Hex("12 00 00 00 00");
        QTest::newRow("e-acute alone") << QStringLiteral("\u00e9") << Hex("12 01 00 00 00 e9 00");
        QTest::newRow("a and e-acute") << QStringLiteral("a\u00e9") << Hex("14 03 00 00 00 61 c3 a9");
        QTest::newRow("euro sign") << QStringLiteral("\u20ac") << Hex("12 01 00 00 00 ac 20");
        // n = 3, u = 6: u is not below 2n.
        QTest::newRow("a, e-acute, euro")
            << QStringLiteral("a\u00e9\u20ac") << Hex("12 03 00 00 00 61 00 e9 00 ac 20");
        // n = 4, u = 7.
        QTest::newRow("aa, e-acute, euro")
            << QStringLiteral("aa\u00e9\u20ac") << Hex("14 07 00 00 00 61 61 c3 a9 e2 82 ac");
        QTest::newRow("emoji") << QString::fromUtf8("\xf0\x9f\x98\x80") << Hex("12 02 00 00 00 3d d8 00 de");
        // A lone surrogate has no UTF-8 form; UTF-16 keeps it.
        QTest::newRow("lone surrogate") << (QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"))
                                        << Hex("12 03 00 00 00 61 00 00 d8 62 00");
        QTest::newRow("255 ASCII") << QString(255, QLatin1Char('x')) << "\x06\xff" + QByteArray(255, 'x');
        QTest::newRow("256 ASCII") << QString(256, QLatin1Char('x'))
                                   << Hex("0c 00 01 00 00") + QByteArray(256, 'x');
        QTest::newRow("300 ASCII") << QString(300, QLatin1Char('x'))
                                   << Hex("0c 2c 01 00 00") + QByteArray(300, 'x');
    }
    void textRule()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Written([&](TObjectWriter &w) { w.WriteText(text); }).toHex(' '), bytes.toHex(' '));
        const TStreamRecord record = ParseObjectStream(Stream(Short("P") + bytes));
        QVERIFY2(record.Error.isEmpty(), qPrintable(record.Error));
        QCOMPARE(record.Properties.value(0).Value.Text, text);
    }

    void otherWriterValues()
    {
        const QByteArray bytes = Written([](TObjectWriter &w) {
            w.WriteSignature();
            w.WriteShortString(QStringLiteral("Days"));
            w.WriteSet({QStringLiteral("dMonday"), QStringLiteral("dFriday")});
            w.WriteIdent(QStringLiteral("amMirror"));
            w.WriteBoolean(false);
            w.WriteBoolean(true);
            w.WriteExtended(1.0);
            w.WriteTag(vaCollection);
        });
        QCOMPARE(bytes.toHex(' '),
                 ("TPF0" + Short("Days") + Hex("0b") + Short("dMonday") + Short("dFriday") + Hex("00 07") +
                  Short("amMirror") + Hex("08 09 05 00 00 00 00 00 00 00 80 ff 3f 0e"))
                     .toHex(' '));
    }

    void namesLongerThan255BytesAreRefused()
    {
        TObjectWriter writer;
        writer.WriteShortString(QString(255, QLatin1Char('n')));
        QVERIFY_THROWS_EXCEPTION(EStreamError, writer.WriteShortString(QString(128, QChar(0xe9))));
    }

    void parsesEveryTag()
    {
        const QByteArray properties =
            Short("I8") + Hex("02 fe") + Short("I16") + Hex("03 00 80") + Short("I32") +
            Hex("04 78 56 34 12") + Short("I64") + Hex("13 00 00 00 00 01 00 00 00") + Short("Ext") +
            Hex("05 00 00 00 00 00 80 66 a3 0e 40") + Short("S") + Hex("06 02 41 80") + Short("Id") +
            Hex("07 03") + "smA" + Short("F") + Hex("08") + Short("T") + Hex("09") + Short("Bin") +
            Hex("0a 03 00 00 00 00 ff 10") + Short("Set") + Hex("0b") + Short("a") + Short("b") + Hex("00") +
            Short("LS") + Hex("0c 01 00 00 00 9f") + Short("Nil") + Hex("0d") + Short("Sgl") +
            Hex("0f 00 00 c0 3f") + Short("Cur") + Hex("10 50 c3 00 00 00 00 00 00") + Short("Date") +
            Hex("11 00 00 00 00 00 00 f8 3f") + Short("W") + Hex("12 01 00 00 00 3b 26") + Short("U8") +
            Hex("14 02 00 00 00 c3 a9") + Short("Dbl") + Hex("15 00 00 00 00 00 00 e0 bf") + Short("L") +
            Hex("01 06 01 78 12 00 00 00 00 00") + Short("Coll") + Hex("0e 01") + Short("X") +
            Hex("02 01 00 02 07 01 00 00");
        const TStreamRecord record = ParseObjectStream(Stream(properties));
        QVERIFY2(record.Error.isEmpty(), qPrintable(record.Error));
        QCOMPARE(record.ClassName, QStringLiteral("TTest"));
        QCOMPARE(record.Properties.size(), 21);
        auto value = [&](int i) { return record.Properties.at(i).Value; };
        QCOMPARE(value(0).Integer, -2);
        QCOMPARE(value(1).Integer, -32768);
        QCOMPARE(value(2).Integer, 0x12345678);
        QCOMPARE(value(3).Integer, 0x100000000LL);
        QCOMPARE(value(4).Float, 41830.5);
        QCOMPARE(value(5).Text, QStringLiteral("A\u20ac")); // Windows-1252 0x80
        QCOMPARE(value(6).Type, vaIdent);
        QCOMPARE(value(6).Text, QStringLiteral("smA"));
        QCOMPARE(value(7).Type, vaFalse);
        QCOMPARE(value(8).Type, vaTrue);
        QCOMPARE(value(9).Binary, Hex("00 ff 10"));
        QCOMPARE(value(10).Names, QStringList({QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(value(11).Text, QStringLiteral("\u0178"));
        QCOMPARE(value(12).Type, vaNil);
        QCOMPARE(value(13).Float, 1.5);
        QCOMPARE(value(14).Integer, 50000); // 5.0000 in ten-thousandths
        QCOMPARE(value(15).Float, 1.5);
        QCOMPARE(value(16).Text, QStringLiteral("\u263b"));
        QCOMPARE(value(17).Text, QStringLiteral("\u00e9"));
        QCOMPARE(value(18).Float, -0.5);
        QCOMPARE(value(19).List.size(), size_t(2));
        QCOMPARE(value(19).List.at(0).Text, QStringLiteral("x"));
        QCOMPARE(value(19).List.at(1).Type, vaWString);
        // Two items; the second has an index before its tag 1.
        QCOMPARE(value(20).Items.size(), size_t(2));
        QCOMPARE(value(20).Items.at(0).at(0).Name, QStringLiteral("X"));
        QCOMPARE(value(20).Items.at(0).at(0).Value.Integer, 1);
        QCOMPARE(value(20).Items.at(1).size(), size_t(0));
    }

    void windows1252Decoding()
    {
        QByteArray all;
        for (int c = 0x80; c < 0xA0; ++c)
            all += char(c);
        const QString text = DecodeWindows1252(all + "\xa0\xe9\xff");
        QCOMPARE(text.size(), 35);
        QCOMPARE(text.at(0), QChar(0x20AC));
        QCOMPARE(text.at(1), QChar(0x0081)); // undefined bytes keep their code point
        QCOMPARE(text.at(0x8A - 0x80), QChar(0x0160));
        QCOMPARE(text.at(0x99 - 0x80), QChar(0x2122));
        QCOMPARE(text.at(0x9F - 0x80), QChar(0x0178));
        QCOMPARE(text.mid(32), QStringLiteral("\u00a0\u00e9\u00ff"));
    }

    void prefixByteIsSkipped_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("inherited") << Hex("f1");
        QTest::newRow("inline") << Hex("f4");
        QTest::newRow("child position, 8-bit") << Hex("f2 02 05");
        QTest::newRow("child position, 32-bit") << Hex("f6 04 01 00 00 00");
    }
    void prefixByteIsSkipped()
    {
        QFETCH(QByteArray, prefix);
        const TStreamRecord record =
            ParseObjectStream("TPF0" + prefix + Short("TTest") + Hex("00") + Short("P") + Hex("09 00 00"));
        QVERIFY2(record.Error.isEmpty(), qPrintable(record.Error));
        QCOMPARE(record.ClassName, QStringLiteral("TTest"));
        QCOMPARE(record.Properties.size(), 1);
    }

    // Damage gives an error text and keeps what was read before it.
    void damagedStreams_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("propertiesBefore");
        const QByteArray good = Short("A") + Hex("09");
        QTest::newRow("empty") << QByteArray() << "signature" << 0;
        QTest::newRow("wrong signature") << "TPF1" + Stream(good).mid(4) << "signature" << 0;
        QTest::newRow("ends after signature") << QByteArray("TPF0") << "ends too early" << 0;
        QTest::newRow("class name cut") << QByteArray("TPF0\x05TTe") << "past the end" << 0;
        QTest::newRow("ends after a property") << Stream(good, QByteArray()) << "ends too early" << 1;
        QTest::newRow("no child list end") << Stream(good, Hex("00")) << "ends too early" << 1;
        QTest::newRow("child object") << Stream(good, Hex("00") + Short("TChild")) << "child" << 1;
        QTest::newRow("tag 22") << Stream(good + Short("B") + Hex("16")) << "22 is not a value tag" << 1;
        QTest::newRow("tag 255") << Stream(good + Short("B") + Hex("ff")) << "255 is not a value tag" << 1;
        QTest::newRow("end marker as value") << Stream(good + Short("B") + Hex("00")) << "end marker" << 1;
        QTest::newRow("integer cut") << Stream(good + Short("B") + Hex("04 01 02"), QByteArray())
                                     << "past the end" << 1;
        QTest::newRow("extended cut")
            << Stream(good + Short("B") + Hex("05 00 00 00")) << "past the end" << 1;
        QTest::newRow("huge vaLString")
            << Stream(good + Short("B") + Hex("0c ff ff ff 7f 41")) << "past the end" << 1;
        QTest::newRow("negative vaUTF8String")
            << Stream(good + Short("B") + Hex("14 ff ff ff ff 41")) << "past the end" << 1;
        QTest::newRow("huge vaWString count")
            << Stream(good + Short("B") + Hex("12 00 00 00 80 41 00")) << "past the end" << 1;
        QTest::newRow("huge vaBinary")
            << Stream(good + Short("B") + Hex("0a 00 00 00 40")) << "past the end" << 1;
        QTest::newRow("short string cut")
            << Stream(good + Short("B") + Hex("06 09 41")) << "past the end" << 1;
        QTest::newRow("unended list")
            << Stream(good + Short("B") + Hex("01 09 08"), QByteArray()) << "ends too early" << 1;
        QTest::newRow("unended set") << Stream(good + Short("B") + Hex("0b 01 61"), QByteArray())
                                     << "ends too early" << 1;
        QTest::newRow("item without tag 1")
            << Stream(good + Short("C") + Hex("0e 06 01 61 00")) << "collection item" << 1;
        QTest::newRow("item index then no list")
            << Stream(good + Short("C") + Hex("0e 02 00 09")) << "collection item" << 1;
        QTest::newRow("deep lists") << Stream(good + Short("L") + QByteArray(40, '\x01') +
                                              QByteArray(41, '\0'))
                                    << "nested" << 1;
        QByteArray items;
        for (int i = 0; i < 40; ++i)
            items += Short("C") + Hex("0e 01");
        QTest::newRow("deep collections") << Stream(good + items) << "nested" << 1;
        QTest::newRow("prefix position not an integer")
            << "TPF0" + Hex("f2 06 00") + Stream(good).mid(4) << "prefix" << 0;
    }
    void damagedStreams()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, error);
        QFETCH(int, propertiesBefore);
        const TStreamRecord record = ParseObjectStream(data);
        QVERIFY2(record.Error.contains(error), qPrintable(record.Error));
        QCOMPARE(record.Properties.size(), propertiesBefore);
    }

    void tooManyValuesAreRefused()
    {
        const QByteArray nils(1000001, char(vaNil));
        const TStreamRecord record = ParseObjectStream(Stream(Short("L") + Hex("01") + nils + Hex("00")));
        QVERIFY2(record.Error.contains(QLatin1String("more than")), qPrintable(record.Error));
    }
};

QTEST_GUILESS_MAIN(TestObjectStream)
#include "tst_objectstream.moc"
