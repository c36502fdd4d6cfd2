#include "model/Extended80.h"

#include <QDate>
#include <QRandomGenerator>
#include <QTest>

#include <bit>
#include <cmath>
#include <limits>

using namespace trovalo;

namespace {

TExtended80 FromHex(const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    TExtended80 value{};
    for (qsizetype i = 0; i < bytes.size() && i < 10; ++i)
        value[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes[i]);
    return value;
}

QByteArray ToHex(const TExtended80 &value)
{
    return QByteArray(reinterpret_cast<const char *>(value.data()), 10).toHex(' ');
}

quint64 Bits(double value)
{
    return std::bit_cast<quint64>(value);
}

} // namespace

class TestExtended80 : public QObject
{
    Q_OBJECT

private slots:
    // Byte patterns worked out by hand from the two formats' definitions.
    void doubleToExtended_data()
    {
        QTest::addColumn<quint64>("doubleBits");
        QTest::addColumn<QByteArray>("extended");
        QTest::newRow("1.0") << Bits(1.0) << QByteArray("00 00 00 00 00 00 00 80 ff 3f");
        QTest::newRow("-1.0") << Bits(-1.0) << QByteArray("00 00 00 00 00 00 00 80 ff bf");
        QTest::newRow("2.0") << Bits(2.0) << QByteArray("00 00 00 00 00 00 00 80 00 40");
        QTest::newRow("0.5") << Bits(0.5) << QByteArray("00 00 00 00 00 00 00 80 fe 3f");
        QTest::newRow("0.1") << Bits(0.1) << QByteArray("00 d0 cc cc cc cc cc cc fb 3f");
        // 10 July 2014 12:00 = 41830 days + 0.5: 1010001101100110.1 binary.
        QTest::newRow("41830.5") << Bits(41830.5) << QByteArray("00 00 00 00 00 80 66 a3 0e 40");
        QTest::newRow("+0") << Bits(0.0) << QByteArray("00 00 00 00 00 00 00 00 00 00");
        QTest::newRow("-0") << Bits(-0.0) << QByteArray("00 00 00 00 00 00 00 00 00 80");
        QTest::newRow("+inf") << Bits(std::numeric_limits<double>::infinity())
                              << QByteArray("00 00 00 00 00 00 00 80 ff 7f");
        QTest::newRow("-inf") << Bits(-std::numeric_limits<double>::infinity())
                              << QByteArray("00 00 00 00 00 00 00 80 ff ff");
        QTest::newRow("quiet NaN") << quint64(0x7FF8000000000000)
                                   << QByteArray("00 00 00 00 00 00 00 c0 ff 7f");
        QTest::newRow("NaN payload 1")
            << quint64(0x7FF0000000000001) << QByteArray("00 08 00 00 00 00 00 80 ff 7f");
        QTest::newRow("smallest subnormal") << quint64(1) << QByteArray("00 00 00 00 00 00 00 80 cd 3b");
        QTest::newRow("largest subnormal")
            << quint64(0x000FFFFFFFFFFFFF) << QByteArray("00 f0 ff ff ff ff ff ff 00 3c");
        QTest::newRow("smallest normal")
            << quint64(0x0010000000000000) << QByteArray("00 00 00 00 00 00 00 80 01 3c");
        QTest::newRow("largest double")
            << Bits(std::numeric_limits<double>::max()) << QByteArray("00 f8 ff ff ff ff ff ff fe 43");
    }
    void doubleToExtended()
    {
        QFETCH(quint64, doubleBits);
        QFETCH(QByteArray, extended);
        QCOMPARE(ToHex(DoubleToExtended(std::bit_cast<double>(doubleBits))), extended);
        QCOMPARE(Bits(ExtendedToDouble(FromHex(extended.constData()))), doubleBits);
    }

    void dateTimeExampleIsTenthOfJuly2014Noon()
    {
        QCOMPARE(QDate(1899, 12, 30).daysTo(QDate(2014, 7, 10)), 41830);
    }

    // Extended values that a double cannot hold exactly.
    void extendedToDouble_data()
    {
        QTest::addColumn<QByteArray>("extended");
        QTest::addColumn<quint64>("doubleBits");
        QTest::newRow("pi rounds down")
            << QByteArray("35 c2 68 21 a2 da 0f c9 00 40") << quint64(0x400921FB54442D18);
        QTest::newRow("tie to even stays") << QByteArray("00 04 00 00 00 00 00 80 ff 3f") << Bits(1.0);
        QTest::newRow("tie to even rounds up")
            << QByteArray("00 0c 00 00 00 00 00 80 ff 3f") << quint64(0x3FF0000000000002);
        QTest::newRow("above half rounds up")
            << QByteArray("01 04 00 00 00 00 00 80 ff 3f") << quint64(0x3FF0000000000001);
        QTest::newRow("carry into exponent") << QByteArray("00 fc ff ff ff ff ff ff ff 3f") << Bits(2.0);
        QTest::newRow("too large") << QByteArray("00 00 00 00 00 00 00 80 ff 43")
                                   << Bits(std::numeric_limits<double>::infinity());
        QTest::newRow("rounds past the largest")
            << QByteArray("00 fc ff ff ff ff ff ff fe 43") << Bits(std::numeric_limits<double>::infinity());
        QTest::newRow("too large negative")
            << QByteArray("00 00 00 00 00 00 00 80 00 c4") << Bits(-std::numeric_limits<double>::infinity());
        QTest::newRow("half the smallest subnormal")
            << QByteArray("00 00 00 00 00 00 00 80 cc 3b") << Bits(0.0);
        QTest::newRow("just above half") << QByteArray("01 00 00 00 00 00 00 80 cc 3b") << quint64(1);
        QTest::newRow("three quarters") << QByteArray("00 00 00 00 00 00 00 c0 cc 3b") << quint64(1);
        QTest::newRow("subnormal carries to normal")
            << QByteArray("00 fc ff ff ff ff ff ff 00 3c") << quint64(0x0010000000000000);
        QTest::newRow("tiny negative keeps sign")
            << QByteArray("00 00 00 00 00 00 00 80 01 80") << Bits(-0.0);
        QTest::newRow("extended denormal") << QByteArray("01 00 00 00 00 00 00 00 00 00") << Bits(0.0);
        QTest::newRow("pseudo-denormal") << QByteArray("00 00 00 00 00 00 00 80 00 00") << Bits(0.0);
        QTest::newRow("unnormal 0.5") << QByteArray("00 00 00 00 00 00 00 40 ff 3f") << Bits(0.5);
        QTest::newRow("unnormal zero") << QByteArray("00 00 00 00 00 00 00 00 ff 3f") << Bits(0.0);
        QTest::newRow("pseudo-infinity")
            << QByteArray("00 00 00 00 00 00 00 00 ff 7f") << Bits(std::numeric_limits<double>::infinity());
        QTest::newRow("NaN payload below double precision")
            << QByteArray("01 00 00 00 00 00 00 80 ff 7f") << quint64(0x7FF8000000000000);
    }
    void extendedToDouble()
    {
        QFETCH(QByteArray, extended);
        QFETCH(quint64, doubleBits);
        QCOMPARE(QByteArray::number(Bits(ExtendedToDouble(FromHex(extended.constData()))), 16),
                 QByteArray::number(doubleBits, 16));
    }

    // Every double, whatever its class, must come back bit for bit.
    void randomDoublesRoundTrip()
    {
        const quint32 seed = 20140710;
        QRandomGenerator random(seed);
        for (int i = 0; i < 200000; ++i) {
            quint64 bits = random.generate64();
            if (i % 4 == 1)
                bits &= 0x800FFFFFFFFFFFFF; // subnormals
            else if (i % 4 == 2)
                bits |= 0x7FF0000000000000; // NaNs and infinities
            const double back = ExtendedToDouble(DoubleToExtended(std::bit_cast<double>(bits)));
            if (Bits(back) != bits)
                QFAIL(qPrintable(QStringLiteral("seed %1, double bits %2 came back as %3")
                                     .arg(seed)
                                     .arg(bits, 16, 16, QLatin1Char('0'))
                                     .arg(Bits(back), 16, 16, QLatin1Char('0'))));
        }
    }

    // Whatever ten bytes a file holds, the conversion gives the nearest
    // double: compare with long double where the platform has the format.
    void randomExtendedMatchNativeRounding()
    {
        if (std::numeric_limits<long double>::digits != 64)
            QSKIP("long double is not the 80-bit format here");
        const quint32 seed = 1899;
        QRandomGenerator random(seed);
        for (int i = 0; i < 100000; ++i) {
            TExtended80 value{};
            quint64 significand = random.generate64() | (quint64(1) << 63);
            // Exponents near and inside the double range, normal numbers only.
            const int exponent = 16383 - 1100 + static_cast<int>(random.bounded(2200));
            for (int b = 0; b < 8; ++b)
                value[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(significand >> (8 * b));
            const int top = exponent | (random.bounded(2) ? 0x8000 : 0);
            value[8] = static_cast<std::uint8_t>(top);
            value[9] = static_cast<std::uint8_t>(top >> 8);
            long double native = 0;
            std::memcpy(&native, value.data(), 10);
            const double expected = static_cast<double>(native);
            const double actual = ExtendedToDouble(value);
            if (Bits(actual) != Bits(expected))
                QFAIL(qPrintable(QStringLiteral("seed %1, extended %2: got %3, expected %4")
                                     .arg(seed)
                                     .arg(QString::fromLatin1(ToHex(value)))
                                     .arg(actual, 0, 'g', 17)
                                     .arg(expected, 0, 'g', 17)));
        }
    }
};

QTEST_GUILESS_MAIN(TestExtended80)
#include "tst_extended80.moc"
