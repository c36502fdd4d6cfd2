#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo::test {

// Writes a native file (creating or truncating it); fails the running test
// when the file cannot be written.
void WriteFile(const QString &native, const QByteArray &content = {});

// The content of a native file, or "<missing>" when it cannot be read.
QByteArray ReadOrMissing(const QString &native);

// Writes a native file, making its folders first.
void PutNative(const QString &native, const QByteArray &content);
// The same for a drive-letter path; Modified (seconds since the epoch) sets
// the file's modification time.
void PutAt(const QString &letterPath, const QByteArray &content, std::optional<qint64> modified = {});
// ReadOrMissing of a drive-letter path.
QByteArray ReadAt(const QString &letterPath);

// A zip archive as the zip engine writes one (drive-letter path), each
// entry ("Users/Ann/a.txt") holding its own name; the files are staged in
// C:\Scratch\.
void PutZip(const QString &letterPath, const QStringList &entries, const QString &password = {});

// Bytes that do not compress, the same for the same seed.
QByteArray RandomBytes(qsizetype size, quint32 seed = 7);
// Every file below a native folder (hidden ones too), relative to it, sorted.
QStringList FilesBelow(const QString &native);

} // namespace trovalo::test
