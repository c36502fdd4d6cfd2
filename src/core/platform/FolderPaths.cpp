#include "platform/FolderPaths.h"

#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QHash>

namespace trovalo {

namespace {

const QString HomeVariable = QStringLiteral("$HOME");
const QString HomeVariableBraced = QStringLiteral("${HOME}");

// The value of a user-dirs.dirs line: between double quotes (with "\"
// escaping the next character, as the shell reads it) or bare.
QString Unquoted(const QString &value)
{
    if (!value.startsWith(QLatin1Char('"')))
        return value;
    QString text;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('"'))
            break;
        if (c == QLatin1Char('\\') && i + 1 < value.size())
            text += value.at(++i);
        else
            text += c;
    }
    return text;
}

// A value as a native folder: "$HOME/x" (or "${HOME}/x") below Home, or an
// absolute path; "" for anything else (xdg-user-dirs writes only those).
QString ExpandedFolder(const QString &value, const QString &home)
{
    for (const QString &variable : {HomeVariable, HomeVariableBraced}) {
        if (value == variable)
            return home;
        if (value.startsWith(variable + QLatin1Char('/')))
            return QDir::cleanPath(home + value.mid(variable.size()));
    }
    return value.startsWith(QLatin1Char('/')) ? QDir::cleanPath(value) : QString();
}

// XDG_DESKTOP_DIR etc. from the user's user-dirs.dirs, as native folders;
// empty when the file is missing.
QHash<QString, QString> ReadUserDirs(const QString &home)
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configHome.startsWith(
            QLatin1Char('/'))) // unset, empty or relative: ignored, as the XDG base-directory rules have it
        configHome = home + QStringLiteral("/.config");
    QFile file(configHome + QStringLiteral("/user-dirs.dirs"));
    QHash<QString, QString> folders;
    if (!file.open(QIODevice::ReadOnly))
        return folders;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString folder = ExpandedFolder(Unquoted(line.mid(equals + 1).trimmed()), home);
        if (!folder.isEmpty())
            folders.insert(line.left(equals).trimmed(), folder);
    }
    return folders;
}

// The drive-letter form with a trailing "\"; "" when the folder has none.
QString LetterFolder(const QString &native)
{
    if (native.isEmpty())
        return {};
    const std::optional<QString> letter = ToLetterPath(native);
    return letter ? IncludeTrailingBackslash(*letter) : QString();
}

} // namespace

TFolderPaths::TFolderPaths()
{
    const QString home = QDir::cleanPath(QDir::homePath());
    const QHash<QString, QString> userDirs = ReadUserDirs(home);
    // The user's entry, else the usual folder; an entry set to the home
    // folder itself means the user has no such folder.
    const auto userDir = [&](const char *key, const char *fallback) {
        const QString folder =
            userDirs.value(QLatin1String(key), home + QLatin1Char('/') + QLatin1String(fallback));
        return folder == home ? QString() : LetterFolder(folder);
    };
    const auto inHome = [&](const char *relative) {
        return LetterFolder(home + QLatin1Char('/') + QLatin1String(relative));
    };

    FUserDataFolder = LetterFolder(home);
    FDesktop = userDir("XDG_DESKTOP_DIR", "Desktop");
    FMyDocuments = userDir("XDG_DOCUMENTS_DIR", "Documents");
    FMyPictures = userDir("XDG_PICTURES_DIR", "Pictures");
    FMyMusic = userDir("XDG_MUSIC_DIR", "Music");
    FMyVideos = userDir("XDG_VIDEOS_DIR", "Videos");
    FFireFox = inHome(".mozilla/firefox");
    FSkype = inHome(".config/skypeforlinux");
    FOutlook = inHome(".thunderbird");
    FWindowsMail = inHome(".local/share/evolution");
    FFavorites = inHome(".config/chromium");
}

bool TFolderPaths::IsFolderUsable(const QString &path, bool showHidden)
{
    return !path.isEmpty() && DirectoryExists(path) && (showHidden || !IsHiddenPath(path));
}

bool TFolderPaths::IsHiddenPath(const QString &path)
{
    const QString drive = ExtractFileDrive(path);
    for (QString folder = ExcludeTrailingBackslash(path); folder.size() > drive.size();
         folder = ParentOf(folder)) {
        // The name rule holds on every file system; the attribute adds the
        // FAT hidden bit and the ".hidden" lists elsewhere.
        if (ExtractFileName(folder).startsWith(QLatin1Char('.')))
            return true;
        const std::optional<quint32> attributes = GetFileAttributes(folder);
        if (attributes && (*attributes & faHidden))
            return true;
    }
    return false;
}

} // namespace trovalo
