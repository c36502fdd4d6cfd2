#include "model/ZlibContainer.h"

#include "base/Exceptions.h"

#include <zlib.h>

#include <memory>

namespace trovalo {

namespace {

constexpr qsizetype ChunkSize = 128 * 1024;

QString ZlibMessage(const z_stream &stream, int code)
{
    if (stream.msg)
        return QString::fromLatin1(stream.msg);
    return QStringLiteral("zlib error %1").arg(code);
}

} // namespace

QByteArray CompressContainer(const QByteArray &data)
{
    if (data.size() > MaxInflatedSize)
        throw EStreamError(QStringLiteral("The record is too large (%1 bytes)").arg(data.size()));
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        throw EStreamError(QStringLiteral("Cannot start the compressor"));
    const std::unique_ptr<z_stream, int (*)(z_stream *)> guard(&stream, deflateEnd);

    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    QByteArray out;
    int code = Z_OK;
    while (code != Z_STREAM_END) {
        const qsizetype used = out.size();
        out.resize(used + ChunkSize);
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + used);
        stream.avail_out = static_cast<uInt>(ChunkSize);
        code = deflate(&stream, Z_FINISH);
        if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR)
            throw EStreamError(QStringLiteral("Compression failed: %1").arg(ZlibMessage(stream, code)));
        out.resize(used + ChunkSize - static_cast<qsizetype>(stream.avail_out));
    }
    return out;
}

QByteArray InflateContainer(const QByteArray &container, qsizetype *trailingBytes)
{
    if (container.isEmpty())
        throw EStreamError(QStringLiteral("The record is empty"));
    if (container.size() > MaxInflatedSize * 2)
        throw EStreamError(QStringLiteral("The record is too large (%1 bytes)").arg(container.size()));
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) // zlib header only, 32 KiB window
        throw EStreamError(QStringLiteral("Cannot start the decompressor"));
    const std::unique_ptr<z_stream, int (*)(z_stream *)> guard(&stream, inflateEnd);

    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(container.constData()));
    stream.avail_in = static_cast<uInt>(container.size());
    QByteArray out;
    for (;;) {
        const qsizetype used = out.size();
        if (used >= MaxInflatedSize)
            throw EStreamError(
                QStringLiteral("The record inflates to more than %1 bytes").arg(MaxInflatedSize));
        const qsizetype room = std::min(ChunkSize, MaxInflatedSize - used);
        out.resize(used + room);
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + used);
        stream.avail_out = static_cast<uInt>(room);
        const int code = inflate(&stream, Z_NO_FLUSH);
        out.resize(used + room - static_cast<qsizetype>(stream.avail_out));
        if (code == Z_STREAM_END)
            break;
        if (code == Z_NEED_DICT || code == Z_DATA_ERROR || code == Z_MEM_ERROR || code == Z_STREAM_ERROR)
            throw EStreamError(QStringLiteral("The record is not a valid zlib stream: %1")
                                   .arg(code == Z_NEED_DICT ? QStringLiteral("needs a dictionary")
                                                            : ZlibMessage(stream, code)));
        if (stream.avail_in == 0 && stream.avail_out != 0)
            throw EStreamError(QStringLiteral("The record's zlib stream is truncated"));
    }
    if (trailingBytes)
        *trailingBytes = static_cast<qsizetype>(stream.avail_in);
    return out;
}

} // namespace trovalo
