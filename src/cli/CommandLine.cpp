#include "CommandLine.h"

#include <algorithm>
#include <vector>

namespace trovalo::cli {

namespace {
int EditDistance(const QString &a, const QString &b)
{
    std::vector<int> row(static_cast<size_t>(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[static_cast<size_t>(j)];
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[static_cast<size_t>(j)] =
                std::min({above + 1, row[static_cast<size_t>(j - 1)] + 1, diagonal + cost});
            diagonal = above;
        }
    }
    return row.back();
}

QString OptionSpelling(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}
} // namespace

QString NearestWord(const QString &word, const QStringList &known)
{
    QString best;
    int bestDistance = std::max<int>(2, static_cast<int>(word.size()) / 3) + 1;
    for (const QString &candidate : known) {
        const int distance = EditDistance(word.toLower(), candidate.toLower());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

bool TakeVerboseOption(QStringList &arguments)
{
    const qsizetype end =
        arguments.contains(QStringLiteral("--")) ? arguments.indexOf(QStringLiteral("--")) : arguments.size();
    bool found = false;
    for (qsizetype i = end - 1; i >= 0; --i) {
        if (arguments.at(i) == QLatin1String("--verbose")) {
            arguments.removeAt(i);
            found = true;
        }
    }
    return found;
}

void ParseCommand(QCommandLineParser &parser, const TCommandSyntax &syntax, const QStringList &arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(syntax.Options);
    const QString usage = QStringLiteral("\nUsage: ") + syntax.Usage;

    // QCommandLineParser expects the program name first.
    if (!parser.parse(QStringList{QStringLiteral("trovalo-cli")} + arguments)) {
        QString message = parser.errorText();
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            QStringList known;
            for (const QCommandLineOption &option : syntax.Options)
                known += option.names();
            message = QStringLiteral("unknown option '%1'").arg(OptionSpelling(unknown.first()));
            const QString nearest = NearestWord(unknown.first(), known);
            if (!nearest.isEmpty())
                message += QStringLiteral("; did you mean '%1'?").arg(OptionSpelling(nearest));
        }
        throw TCliFailure{message + usage};
    }
    const qsizetype count = parser.positionalArguments().size();
    if (count < syntax.MinPositional)
        throw TCliFailure{QStringLiteral("missing argument") + usage};
    if (count > syntax.MaxPositional)
        throw TCliFailure{QStringLiteral("unexpected argument '%1'")
                              .arg(parser.positionalArguments().at(syntax.MaxPositional)) +
                          usage};
}

} // namespace trovalo::cli
