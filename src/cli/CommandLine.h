#pragma once

#include "CliContext.h"

#include <QCommandLineParser>
#include <QList>

namespace trovalo::cli {

// One command's syntax: the usage line shown on mistakes, its options and
// how many positional arguments it takes.
struct TCommandSyntax
{
    QString Usage; // e.g. "trovalo-cli save FILE --class NAME"
    QList<QCommandLineOption> Options;
    int MinPositional = 0;
    int MaxPositional = 0;
};

// Parses a command's arguments. A mistyped option, a missing value or a
// wrong number of arguments raises TCliFailure with a message that names the
// problem, suggests the nearest known option and repeats the usage line.
void ParseCommand(QCommandLineParser &parser, const TCommandSyntax &syntax, const QStringList &arguments);

// Takes "--verbose" out of the arguments (anywhere before a "--"), as every
// command accepts it; true when it was there.
bool TakeVerboseOption(QStringList &arguments);

// The known word nearest to Word (edit distance at most a third of its
// length, at least 2), or "" when none is close.
QString NearestWord(const QString &word, const QStringList &known);

} // namespace trovalo::cli
