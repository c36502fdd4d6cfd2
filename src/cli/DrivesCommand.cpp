#include "CommandLine.h"
#include "Commands.h"

#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QLocale>

namespace trovalo::cli {

namespace {
QString SpaceText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}
} // namespace

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
