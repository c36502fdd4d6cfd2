#pragma once

#include <QString>

#include <optional>

namespace trovalo::cli {

// Asks on the controlling terminal with echo off (for passwords); nullopt
// when there is no terminal to ask on.
std::optional<QString> ReadSecret(const QString &prompt);

// The first line of a file, without its line end (a password file);
// raises TCliFailure naming the file when it cannot be read.
QString ReadFirstLine(const QString &fileName);

} // namespace trovalo::cli
