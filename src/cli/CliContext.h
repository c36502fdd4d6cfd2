#pragma once

#include <QStringList>
#include <QTextStream>

namespace trovalo::cli {

// Exit statuses shared by every command.
enum TExitStatus {
    ExitOk = 0,
    ExitErrors = 1,    // the work finished, but with errors (I/O failures)
    ExitCancelled = 2, // cancelled or declined
    ExitBadInput = 3,  // a mistyped command or option, a damaged input file
};

// What a command gets: its own arguments (without the program and command
// name) and the three standard streams.
struct TCliContext
{
    QStringList Arguments;
    QTextStream &Out;
    QTextStream &Err;
    QTextStream &In;
};

// A failure that ends the command with a message and a status.
struct TCliFailure
{
    QString Message;
    int Status = ExitBadInput;
};

} // namespace trovalo::cli
