#pragma once

#include <QColor>
#include <QString>

namespace trovalo {

// How the options window shows the deleted-files limit and the space the
// deleted files use. The limit is kept in bytes and edited in megabytes.

constexpr qint64 BytesPerMegabyte = 1048576;

// 64-bit all the way: 3000 MB is past the 32-bit range.
constexpr qint64 MegabytesToBytes(int megabytes)
{
    return qint64(megabytes) * BytesPerMegabyte;
}

// Whole megabytes, truncated.
constexpr qint64 BytesToMegabytes(qint64 bytes)
{
    return bytes / BytesPerMegabyte;
}

// The used size in megabytes with two decimals ("12.50").
QString UsedSizeText(qint64 usedBytes);

// Blue while the used size is at most three quarters of the limit, orange
// while it is at most the limit, rose above it.
QColor UsedSizeColor(qint64 usedBytes, qint64 limitBytes);

// "Warning when the Deleted File Protection Folder is over 500 MB".
QString LimitWarningText(int megabytes);

} // namespace trovalo
