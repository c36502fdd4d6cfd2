#include "CommandLine.h"
#include "Commands.h"

#include "base/Exceptions.h"
#include "model/RecordJson.h"
#include "model/RecordRegistry.h"
#include "platform/AppPaths.h"
#include "platform/DriveTable.h"
#include "platform/RecordFile.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace trovalo::cli {

namespace {
QJsonObject ReadJsonObject(QTextStream &in)
{
    const QByteArray text = in.readAll().toUtf8();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw TCliFailure{QStringLiteral("standard input is not JSON: %1 at character %2")
                              .arg(parseError.errorString())
                              .arg(parseError.offset)};
    if (!document.isObject())
        throw TCliFailure{
            QStringLiteral("standard input must hold one JSON object, as 'trovalo-cli show' prints it")};
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != QLatin1String("class") && it.key() != QLatin1String("properties"))
            throw TCliFailure{QStringLiteral("unexpected key '%1' in the JSON object (only \"class\" and "
                                             "\"properties\" are read)")
                                  .arg(it.key())};
    }
    if (!object.value(QLatin1String("properties")).isObject())
        throw TCliFailure{QStringLiteral("the JSON object needs a \"properties\" object")};
    return object;
}

QString DataFolderOrEmpty()
{
    try {
        return AppDataFolder();
    } catch (const EPathError &) {
        return {};
    }
}
} // namespace

int SaveCommand(TCliContext &context)
{
    const QCommandLineOption classOption(QStringLiteral("class"), QStringLiteral("record class"),
                                         QStringLiteral("NAME"));
    QCommandLineParser parser;
    ParseCommand(parser,
                 {QStringLiteral("trovalo-cli save FILE --class NAME < record.json"), {classOption}, 1, 1},
                 context.Arguments);

    const QString known = RecordClassNames().join(QStringLiteral(", "));
    QString fileName;
    try {
        fileName = LetterPathFromUserInput(parser.positionalArguments().first());
    } catch (const EPathError &error) {
        throw TCliFailure{error.Message()};
    }
    const QJsonObject object = ReadJsonObject(context.In);
    const QString jsonClass = object.value(QLatin1String("class")).toString();
    QString className = parser.value(classOption);
    if (className.isEmpty())
        className = jsonClass;
    if (className.isEmpty())
        throw TCliFailure{QStringLiteral("name the record class with --class NAME (one of: %1)").arg(known)};
    if (!jsonClass.isEmpty() && jsonClass != className)
        throw TCliFailure{QStringLiteral("the JSON holds a %1, not a %2").arg(jsonClass, className)};

    std::unique_ptr<TSaveLoadComponent> record = CreateRecord(className, DataFolderOrEmpty());
    if (!record) {
        const QString nearest = NearestWord(className, RecordClassNames());
        throw TCliFailure{
            QStringLiteral("unknown record class '%1'%2 (one of: %3)")
                .arg(className,
                     nearest.isEmpty() ? QString() : QStringLiteral("; did you mean '%1'?").arg(nearest),
                     known)};
    }
    const QJsonObject properties = object.value(QLatin1String("properties")).toObject();
    // 'show' masks passwords; saving the mask would lock the user out of the
    // job's encrypted archives.
    if (properties.value(QLatin1String("Password")).toString() == QLatin1String("***"))
        throw TCliFailure{QStringLiteral("the Password is the mask *** that 'show' prints; use 'show "
                                         "--show-password' to edit a job together with its password")};
    try {
        JsonToRecord(properties, *record);
    } catch (const EStreamError &error) {
        throw TCliFailure{error.Message() + QStringLiteral("; nothing was written")};
    }
    SaveToFile(*record, fileName);
    context.Out << "Saved " << className << " to " << fileName << " (" << NativePath(fileName) << ")\n";
    return ExitOk;
}

} // namespace trovalo::cli
