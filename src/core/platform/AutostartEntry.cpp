#include "platform/AutostartEntry.h"

#include "model/ProgramIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace trovalo {

namespace {

const QString EntryGroup = QStringLiteral("[Desktop Entry]");

QString EntryName()
{
    return ProgramApplicationId + QStringLiteral(".desktop");
}

// A relative value is invalid and ignored, as the XDG base directory
// rules say.
QString AbsoluteFolderOr(const QString &value, const QString &fallback)
{
    return !value.isEmpty() && QDir::isAbsolutePath(value) ? value : fallback;
}

QString ConfigHome()
{
    return AbsoluteFolderOr(qEnvironmentVariable("XDG_CONFIG_HOME"),
                            QDir::homePath() + QStringLiteral("/.config"));
}

QString UserEntryFolder()
{
    return ConfigHome() + QStringLiteral("/autostart");
}

// Hidden=true in the entry's main group: the entry counts as deleted.
bool IsHiddenEntry(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == EntryGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == QLatin1String("Hidden"))
            return line.mid(equals + 1).trimmed() == QLatin1String("true");
    }
    return false;
}

bool WriteEntry(const QStringList &keys, QString *error)
{
    const QString folder = UserEntryFolder();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("The folder %1 cannot be made.").arg(folder);
        return false;
    }
    QSaveFile file(folder + QLatin1Char('/') + EntryName());
    const QByteArray content = (QStringList{EntryGroup} + keys).join(QLatin1Char('\n')).toUtf8() + '\n';
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    return false;
}

} // namespace

QString AutostartFileName()
{
    return UserEntryFolder() + QLatin1Char('/') + EntryName();
}

bool AutostartEnabled()
{
    const QString entry = AutostartFileName();
    return QFileInfo::exists(entry) && !IsHiddenEntry(entry);
}

bool EnableAutostart(const QString &programPath, QString *error)
{
    if (!QDir::isAbsolutePath(programPath)) {
        if (error)
            *error = QStringLiteral("The program file's own path is not known.");
        return false;
    }
    return WriteEntry({QStringLiteral("Type=Application"), QStringLiteral("Name=") + ProgramTitle,
                       QStringLiteral("Exec=") + DesktopExecValue(programPath),
                       QStringLiteral("Terminal=false")},
                      error);
}

bool DisableAutostart(QString *error)
{
    QFile entry(AutostartFileName());
    if (!entry.exists() || entry.remove())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(entry.fileName(), entry.errorString());
    return false;
}

QString DesktopExecValue(const QString &programPath)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : programPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // The file's string escapes are undone before the quoting is read.
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

} // namespace trovalo
