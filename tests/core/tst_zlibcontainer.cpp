#include "base/Exceptions.h"
#include "model/ZlibContainer.h"

#include <QRandomGenerator>
#include <QTest>

#include <zlib.h>

using namespace trovalo;

namespace {

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

// zlib's one-shot compression at level 9, independent of the code under test.
QByteArray OneShot(const QByteArray &data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), '\0');
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(data.constData()), static_cast<uLong>(data.size()),
                  9) != Z_OK)
        qFatal("compress2 failed");
    out.resize(static_cast<qsizetype>(size));
    return out;
}

// A stream with the preset-dictionary flag, made with zlib itself.
QByteArray WithDictionary()
{
    z_stream stream{};
    deflateInit(&stream, 9);
    const char dictionary[] = "TPF0";
    deflateSetDictionary(&stream, reinterpret_cast<const Bytef *>(dictionary), 4);
    QByteArray input("TPF0TPF0"), out(256, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace

class TestZlibContainer : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray("x");
        QTest::newRow("record-like") << QByteArray("TPF0\x0cTArchiveData\x00\x00\x00", 20).repeated(50);
        // Incompressible data larger than one 128 KiB output chunk.
        QTest::newRow("several chunks") << RandomBytes(3 * 131072 + 17, 42);
    }
    void roundTrip()
    {
        QFETCH(QByteArray, data);
        const QByteArray container = CompressContainer(data);
        QCOMPARE(container.left(2), QByteArray("\x78\xDA"));
        qsizetype trailing = -1;
        QCOMPARE(InflateContainer(container, &trailing), data);
        QCOMPARE(trailing, 0);
    }

    // The bytes do not depend on the chunking: they equal zlib's one-shot
    // compress2 at level 9.
    void sameBytesAsOneShotCompression()
    {
        const QByteArray data = RandomBytes(300000, 7) + QByteArray(200000, 'a');
        QCOMPARE(CompressContainer(data), OneShot(data));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("container");
        QTest::addColumn<QString>("reason");
        const QByteArray good = CompressContainer(QByteArray("TPF0 some object stream"));
        QByteArray badChecksum = good;
        badChecksum[badChecksum.size() - 1] = static_cast<char>(badChecksum.back() ^ 1);
        QByteArray badData = good;
        badData[2] = '\xff'; // deflate block type 3 does not exist
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("uncompressed object stream") << QByteArray("TPF0\x00\x00\x00\x00", 8) << "not a valid";
        QTest::newRow("gzip") << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8) << "not a valid";
        QTest::newRow("header only") << good.left(2) << "truncated";
        QTest::newRow("checksum missing") << good.left(good.size() - 4) << "truncated";
        QTest::newRow("checksum wrong") << badChecksum << "not a valid";
        QTest::newRow("data damaged") << badData << "not a valid";
        QTest::newRow("preset dictionary") << WithDictionary() << "dictionary";
    }
    void refused()
    {
        QFETCH(QByteArray, container);
        QFETCH(QString, reason);
        try {
            InflateContainer(container);
            QFAIL("no error raised");
        } catch (const EStreamError &error) {
            QVERIFY2(error.Message().contains(reason), qPrintable(error.Message()));
        }
    }

    void zipBombStopsAtTheLimit()
    {
        // 80 MiB of zeros compress to about 80 KiB.
        const QByteArray bomb = OneShot(QByteArray(80 * 1024 * 1024, '\0'));
        QVERIFY(bomb.size() < 200 * 1024);
        QVERIFY_THROWS_EXCEPTION(EStreamError, InflateContainer(bomb));
        // Exactly the limit still loads.
        const QByteArray full = CompressContainer(QByteArray(MaxInflatedSize, 'r'));
        QCOMPARE(InflateContainer(full).size(), MaxInflatedSize);
        // Nothing larger is written, since it could not be read back.
        QVERIFY_THROWS_EXCEPTION(EStreamError, CompressContainer(QByteArray(MaxInflatedSize + 1, 'r')));
    }

    // Bytes after a complete, checked stream are ignored and reported.
    void trailingBytesAreReportedNotRefused()
    {
        const QByteArray data("TPF0 record");
        const QByteArray second = CompressContainer("another");
        qsizetype trailing = 0;
        QCOMPARE(InflateContainer(CompressContainer(data) + second, &trailing), data);
        QCOMPARE(trailing, second.size());
    }
};

QTEST_GUILESS_MAIN(TestZlibContainer)
#include "tst_zlibcontainer.moc"
