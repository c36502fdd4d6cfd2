#include "CommandLine.h"
#include "Commands.h"

#include "base/Exceptions.h"
#include "model/ObjectStream.h"
#include "model/RecordJson.h"
#include "model/ZlibContainer.h"
#include "platform/DriveTable.h"

#include <QFile>

namespace trovalo::cli {

namespace {
// Passwords are kept as plain text inside job files; a terminal, a log or a
// bug report is no place to repeat them.
void MaskPasswords(TStreamRecord &record)
{
    for (TStreamProperty &property : record.Properties) {
        if (property.Name.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0 &&
            property.Value.IsText())
            property.Value.Text = QStringLiteral("***");
    }
}
} // namespace

void PrintRecordFile(const QString &letterPath, QTextStream &out, bool showPassword)
{
    const QString native = NativePath(letterPath);
    QFile file(native);
    if (!file.exists())
        throw TCliFailure{QStringLiteral("%1: no such file").arg(native)};
    if (!file.open(QIODevice::ReadOnly))
        throw TCliFailure{QStringLiteral("%1: cannot be read: %2").arg(native, file.errorString()),
                          ExitErrors};
    const QByteArray bytes = file.readAll();

    QByteArray objectStream;
    try {
        objectStream = InflateContainer(bytes);
    } catch (const EStreamError &error) {
        // Database blobs of older installations hold the stream uncompressed;
        // a file saved that way is still worth showing.
        if (!bytes.startsWith("TPF0"))
            throw TCliFailure{QStringLiteral("%1: not a Trovalo record (%2)").arg(native, error.Message())};
        objectStream = bytes;
    }
    TStreamRecord record = ParseObjectStream(objectStream);
    if (!showPassword)
        MaskPasswords(record);
    out << RecordToJson(record);
    out.flush();
    if (!record.Error.isEmpty())
        throw TCliFailure{QStringLiteral("%1: the record is damaged: %2 (shown up to the damage)")
                              .arg(native, record.Error)};
}

int ShowCommand(TCliContext &context)
{
    const QCommandLineOption showPassword(QStringLiteral("show-password"),
                                          QStringLiteral("show a zip job's password instead of ***"));
    QCommandLineParser parser;
    ParseCommand(parser, {QStringLiteral("trovalo-cli show FILE [--show-password]"), {showPassword}, 1, 1},
                 context.Arguments);
    try {
        PrintRecordFile(LetterPathFromUserInput(parser.positionalArguments().first()), context.Out,
                        parser.isSet(showPassword));
    } catch (const EPathError &error) {
        throw TCliFailure{error.Message()};
    }
    return ExitOk;
}

} // namespace trovalo::cli
