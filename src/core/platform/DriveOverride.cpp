#include "DriveOverride.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace trovalo {

namespace {
struct TOverrideParser
{
    QString Error;

    std::optional<QList<TDriveOverride>> Fail(const QString &message)
    {
        Error = message;
        return std::nullopt;
    }

    bool ApplySetting(TDriveOverride &drive, const QString &setting)
    {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        const QString key = setting.left(equals).trimmed().toLower();
        const QString value = equals < 0 ? QString() : setting.mid(equals + 1).trimmed();
        if (equals < 0 || key.isEmpty()) {
            Error = QStringLiteral("setting \"%1\" of drive %2: is not KEY=VALUE")
                        .arg(setting.trimmed(), drive.Info.LetterRoot());
            return false;
        }
        if (key == QLatin1String("bus")) {
            drive.Info.BusType = value;
        } else if (key == QLatin1String("label")) {
            drive.Info.Label = value;
        } else if (key == QLatin1String("fs")) {
            drive.Info.FileSystem = value;
            drive.FileSystemGiven = true;
        } else if (key == QLatin1String("serial")) {
            drive.SerialGiven = true;
            if (value.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
                return true;
            const bool hexDigits = std::all_of(value.cbegin(), value.cend(), [](QChar c) {
                const char16_t u = c.unicode();
                return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
            });
            if (value.size() != 8 || !hexDigits) {
                Error =
                    QStringLiteral("serial of drive %1 must be 8 hexadecimal digits or \"none\", not \"%2\"")
                        .arg(drive.Info.LetterRoot(), value);
                return false;
            }
            drive.Info.Serial = value.toUInt(nullptr, 16);
        } else {
            Error = QStringLiteral("unknown setting \"%1\" of drive %2 (known: bus, label, serial, fs)")
                        .arg(key, drive.Info.LetterRoot());
            return false;
        }
        return true;
    }

    std::optional<QList<TDriveOverride>> Parse(const QString &text)
    {
        QList<TDriveOverride> drives;
        QSet<QChar> letters;
        QSet<QString> roots;
        for (const QString &rawEntry : text.split(QLatin1Char(';'))) {
            const QString entry = rawEntry.trimmed();
            if (entry.isEmpty())
                continue;
            QStringList parts = entry.split(QLatin1Char(','));
            const QString head = parts.takeFirst();
            const qsizetype equals = head.indexOf(QLatin1Char('='));
            if (equals < 0)
                return Fail(QStringLiteral("entry \"%1\" is not LETTER=FOLDER").arg(entry));
            const QString letterText = head.left(equals).trimmed().toUpper();
            if (letterText.size() != 1 || letterText.at(0) < QLatin1Char('A') ||
                letterText.at(0) > QLatin1Char('Z'))
                return Fail(
                    QStringLiteral("\"%1\" in entry \"%2\" is not a drive letter").arg(letterText, entry));
            const QString rootText = head.mid(equals + 1).trimmed();
            if (!rootText.startsWith(QLatin1Char('/')))
                return Fail(QStringLiteral("the folder of drive %1: must be an absolute path, not \"%2\"")
                                .arg(letterText, rootText));

            TDriveOverride drive;
            drive.Info.Letter = letterText.at(0);
            drive.Info.Root = QDir::cleanPath(rootText);
            drive.Info.Label = QFileInfo(drive.Info.Root).fileName();
            if (letters.contains(drive.Info.Letter))
                return Fail(QStringLiteral("drive %1: is named twice").arg(letterText));
            if (roots.contains(drive.Info.Root))
                return Fail(QStringLiteral("the folder %1 is named for two drives").arg(drive.Info.Root));
            for (const QString &setting : parts) {
                if (!ApplySetting(drive, setting))
                    return std::nullopt;
            }
            letters.insert(drive.Info.Letter);
            roots.insert(drive.Info.Root);
            drives << drive;
        }
        if (drives.isEmpty())
            return Fail(QStringLiteral("it names no drives"));
        return drives;
    }
};
} // namespace

std::optional<QList<TDriveOverride>> ParseDriveOverride(const QString &text, QString *error)
{
    TOverrideParser parser;
    auto result = parser.Parse(text);
    if (error)
        *error = parser.Error;
    return result;
}

QString DriveOverrideFileName(const QString &variableValue)
{
    const QString value = variableValue.trimmed();
    if (!value.startsWith(QLatin1Char('@')))
        return {};
    return value.mid(1).trimmed();
}

std::optional<QString> ReadDriveOverrideFile(const QString &fileName, QString *error)
{
    const auto fail = [&](const QString &message) -> std::optional<QString> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (!fileName.startsWith(QLatin1Char('/')))
        return fail(QStringLiteral("the drive-table file must be named by an absolute path, not \"%1\"")
                        .arg(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(
            QStringLiteral("the drive-table file %1 cannot be read: %2").arg(fileName, file.errorString()));
    QStringList entries;
    for (const QString &rawLine : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            entries << line;
    }
    if (entries.isEmpty())
        return fail(QStringLiteral("the drive-table file %1 names no drives").arg(fileName));
    if (error)
        error->clear();
    return entries.join(QLatin1Char(';'));
}

} // namespace trovalo
