#pragma once

#include <QByteArray>

namespace trovalo {

// The container of a persisted record: one zlib stream (level 9, default
// window, memory level and strategy, so it starts 0x78 0xDA) holding the
// object stream.
QByteArray CompressContainer(const QByteArray &data);

// A record is a few KiB; anything inflating beyond this is refused rather
// than allowed to exhaust memory.
constexpr qsizetype MaxInflatedSize = 64 * 1024 * 1024;

// Inflates exactly one complete zlib stream starting at byte 0 and checks its
// Adler-32. Raises EStreamError for anything else: empty or truncated data,
// a bad header or checksum, or more than MaxInflatedSize bytes.
//
// Bytes after the end of the stream are ignored (and reported through
// TrailingBytes when given): the checksum has already proved the record
// intact, and refusing it would throw away a good job because of, say, a
// file that a copy tool padded.
QByteArray InflateContainer(const QByteArray &container, qsizetype *trailingBytes = nullptr);

} // namespace trovalo
