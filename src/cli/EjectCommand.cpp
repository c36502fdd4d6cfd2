#include "CommandLine.h"
#include "Commands.h"

#include "platform/DriveRemoval.h"

namespace trovalo::cli {

namespace {

const QString EjectUsage = QStringLiteral("trovalo-cli eject DRIVE");
const QString EjectHelp =
    QStringLiteral("Removes a USB drive safely: writes out what is still cached for it, unmounts\n"
                   "each of its file systems (locking an encrypted one again) and switches the\n"
                   "drive off, or ejects it, through UDisks2. Then it may be pulled out.\n"
                   "\n"
                   "DRIVE is a drive letter (E, E: or E:\\) or the folder the drive is mounted on;\n"
                   "'trovalo-cli drives' shows both. A drive one of whose jobs runs, in any\n"
                   "Trovalo program, is not removed; nor is a drive whose files a program holds\n"
                   "open: the message names the programs.\n");

int StatusOf(TRemovalError error)
{
    switch (error) {
    case TRemovalError::None:
        return ExitOk;
    case TRemovalError::UnknownDrive:
        return ExitBadInput;
    default:
        return ExitErrors;
    }
}

} // namespace

int EjectCommand(TCliContext &context)
{
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help"));
    QCommandLineParser parser;
    ParseCommand(parser, {EjectUsage, {help}, 0, 1}, context.Arguments);
    if (parser.isSet(help)) {
        context.Out << "Usage: " << EjectUsage << "\n\n" << EjectHelp;
        return ExitOk;
    }
    if (parser.positionalArguments().isEmpty())
        throw TCliFailure{QStringLiteral("missing argument\nUsage: ") + EjectUsage};
    const TDriveInfo drive = NamedDrive(parser.positionalArguments().first(), EjectUsage);
    const TRemovalResult result = SafelyRemoveDrive(drive.LetterRoot());
    if (!result.Ok())
        throw TCliFailure{result.Text, StatusOf(result.Error)};
    context.Out << result.Text << "\n";
    return ExitOk;
}

} // namespace trovalo::cli
