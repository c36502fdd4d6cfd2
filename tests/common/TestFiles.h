#pragma once

#include <QByteArray>
#include <QString>

namespace trovalo::test {

// Writes a native file (creating or truncating it); fails the running test
// when the file cannot be written.
void WriteFile(const QString &native, const QByteArray &content = {});

// The content of a native file, or "<missing>" when it cannot be read.
QByteArray ReadOrMissing(const QString &native);

} // namespace trovalo::test
