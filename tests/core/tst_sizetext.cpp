#include "base/SizeText.h"

#include <QLocale>
#include <QtTest>

using namespace trovalo;

namespace {
// Expectations are written with "."; the program uses the locale's separator.
QString Localized(QString text)
{
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}
} // namespace

class TestSizeText : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("fileList");
        QTest::newRow("zero") << qint64(0) << "0 bytes"
                              << "0 Bytes";
        QTest::newRow("1023") << qint64(1023) << "1023 bytes"
                              << "1023 Bytes";
        QTest::newRow("1024") << qint64(1024) << "1 Kb"
                              << "1 KB";
        QTest::newRow("1.125 KiB rounds up") << qint64(1152) << "1.13 Kb"
                                             << "1.13 KB";
        QTest::newRow("1.5 KiB") << qint64(1536) << "1.5 Kb"
                                 << "1.5 KB";
        QTest::newRow("1048575") << qint64(1048575) << "1024 Kb"
                                 << "1024 KB";
        QTest::newRow("1048576") << qint64(1048576) << "1 Mb"
                                 << "1 MB";
        QTest::newRow("1.5 MiB") << qint64(1572864) << "1.5 Mb"
                                 << "1.5 MB";
        QTest::newRow("MiB long form") << qint64(1048577) << "1.00000095367432 Mb"
                                       << "1.00000095367432 MB";
        QTest::newRow("1073741823") << qint64(1073741823) << "1023.99999904633 Mb"
                                    << "1023.99999904633 MB";
        QTest::newRow("1073741824") << qint64(1073741824) << "1 Gb"
                                    << "1 GB";
        QTest::newRow("1.5 GiB") << qint64(1610612736) << "1.5 Gb"
                                 << "1.5 GB";
        QTest::newRow("GiB and a byte") << qint64(1610612737) << "1.5 Gb"
                                        << "1.50000000093132 GB";
        QTest::newRow("1 TiB") << qint64(1099511627776) << "1024 Gb"
                               << "1024 GB";
        QTest::newRow("minus one") << qint64(-1) << "-1 bytes"
                                   << "-1 Bytes";
        QTest::newRow("minus 2 KiB") << qint64(-2048) << "-2 Kb"
                                     << "-2 KB";
    }
    void sizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, engine);
        QFETCH(QString, fileList);
        QCOMPARE(SizeText(bytes), Localized(engine));
        QCOMPARE(SizeText(bytes, TSizeUnits::FileList), Localized(fileList));
    }

    void twoDecimals_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 12.0 << "12";
        QTest::newRow("one decimal") << 0.5 << "0.5";
        QTest::newRow("rounded") << 2.345678 << "2.35";
        QTest::newRow("half rounds away from zero") << 0.625 << "0.63";
        QTest::newRow("rounds to whole") << 9.999 << "10";
        QTest::newRow("small") << 0.001 << "0";
    }
    void twoDecimals()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FormatTwoDecimals(value), Localized(text));
    }
};

QTEST_GUILESS_MAIN(TestSizeText)
#include "tst_sizetext.moc"
