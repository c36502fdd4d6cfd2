#include "CommandLine.h"
#include "Commands.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QLocale>
#include <QRegularExpression>

namespace trovalo::cli {

namespace {
QString SpaceText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}
} // namespace

TDriveInfo NamedDrive(const QString &text, const QString &usage)
{
    static const QRegularExpression letterForm(QStringLiteral("^([A-Za-z]):?[\\\\/]?$"));
    QChar letter;
    if (const QRegularExpressionMatch match = letterForm.match(text); match.hasMatch()) {
        letter = match.captured(1).at(0).toUpper();
    } else {
        QString path;
        try {
            path = LetterPathFromUserInput(text);
        } catch (const EPathError &error) {
            throw TCliFailure{error.Message() + QStringLiteral("\nUsage: ") + usage};
        }
        const QString drive = ExtractFileDrive(path);
        if (drive.size() != 2)
            throw TCliFailure{QStringLiteral("%1 is no drive; drives have a letter, such as E:").arg(text)};
        if (ExcludeTrailingBackslash(path).compare(drive, Qt::CaseInsensitive) != 0)
            throw TCliFailure{
                QStringLiteral("%1 (%2) is a folder on drive %3, not the drive itself; give %3 or the folder "
                               "%4")
                    .arg(text, path, drive.toUpper(), ToNativePath(drive).value_or(QString()))};
        letter = drive.at(0).toUpper();
    }
    const std::optional<TDriveInfo> drive = TDriveTable::Instance().Drive(letter);
    if (!drive)
        throw TCliFailure{
            QStringLiteral("there is no drive %1: on this computer ('trovalo-cli drives' lists them)")
                .arg(letter)};
    return *drive;
}

bool PrintDriveTable(QTextStream &out)
{
    const QList<TDriveInfo> drives = TDriveTable::Instance().Drives();
    if (drives.isEmpty())
        return false;
    const QStringList header = {QStringLiteral("Drive"), QStringLiteral("Folder"), QStringLiteral("Label"),
                                QStringLiteral("Bus"),   QStringLiteral("Free"),   QStringLiteral("Total")};
    QList<QStringList> rows;
    for (const TDriveInfo &drive : drives) {
        const std::optional<TDiskSpace> space = DiskSpace(drive.LetterRoot());
        rows.append({drive.LetterRoot(), drive.Root, drive.Label, drive.BusType,
                     space ? SpaceText(space->Free) : QStringLiteral("?"),
                     space ? SpaceText(space->Total) : QStringLiteral("?")});
    }
    QList<qsizetype> widths(header.size());
    for (qsizetype c = 0; c < header.size(); ++c) {
        widths[c] = header[c].size();
        for (const QStringList &row : rows)
            widths[c] = std::max(widths[c], row[c].size());
    }
    auto print = [&](const QStringList &row) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            const bool number = c >= 4;
            line += number ? row[c].rightJustified(widths[c]) : row[c].leftJustified(widths[c]);
            if (c + 1 < row.size())
                line += QStringLiteral("  ");
        }
        out << line.trimmed() << "\n";
    };
    print(header);
    for (const QStringList &row : rows)
        print(row);
    return true;
}

int DrivesCommand(TCliContext &context)
{
    QCommandLineParser parser;
    ParseCommand(parser, {QStringLiteral("trovalo-cli drives"), {}, 0, 0}, context.Arguments);
    if (!PrintDriveTable(context.Out))
        throw TCliFailure{QStringLiteral("no drives found (is TROVALO_DRIVES set to something unusable?)"),
                          ExitErrors};
    return ExitOk;
}

} // namespace trovalo::cli
