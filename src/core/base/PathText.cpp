#include "PathText.h"

namespace trovalo {

namespace {
constexpr QChar Backslash = QLatin1Char('\\');

} // namespace

bool IsDriveLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

namespace {

bool HasDriveLetter(const QString &path)
{
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter();
}

bool HasSharePrefix(const QString &path)
{
    return path.startsWith(QLatin1String("\\\\"));
}

// Index of the last folder separator or drive colon, -1 when there is none.
qsizetype LastNameDelimiter(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == Backslash || c == QLatin1Char(':'))
            return i;
    }
    return -1;
}

// Index of the dot that starts the extension, -1 when the name has none.
qsizetype ExtensionStart(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('.'))
            return i;
        if (c == Backslash || c == QLatin1Char(':'))
            return -1;
    }
    return -1;
}
} // namespace

QString ExtractFileDrive(const QString &path)
{
    if (HasDriveLetter(path))
        return path.left(2);
    if (!HasSharePrefix(path))
        return {};
    // "\\server\share": the text up to (not including) the second separator
    // after the leading pair.
    int separators = 0;
    for (qsizetype i = 2; i < path.size(); ++i) {
        if (path.at(i) == Backslash && ++separators == 2)
            return path.left(i);
    }
    return path;
}

bool IsAbsolutePath(const QString &path)
{
    return HasSharePrefix(path) || (HasDriveLetter(path) && path.size() >= 3 && path.at(2) == Backslash);
}

QString IncludeTrailingBackslash(const QString &path)
{
    return path.endsWith(Backslash) ? path : path + Backslash;
}

QString ExcludeTrailingBackslash(const QString &path)
{
    return path.endsWith(Backslash) ? path.chopped(1) : path;
}

QString ExtractFilePath(const QString &path)
{
    return path.left(LastNameDelimiter(path) + 1);
}

QString ExtractFileName(const QString &path)
{
    return path.mid(LastNameDelimiter(path) + 1);
}

QString ExtractFileExt(const QString &path)
{
    const qsizetype dot = ExtensionStart(path);
    return dot < 0 ? QString() : path.mid(dot);
}

QString ChangeFileExt(const QString &path, const QString &ext)
{
    const qsizetype dot = ExtensionStart(path);
    return (dot < 0 ? path : path.left(dot)) + ext;
}

QString ParentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(Backslash);
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace trovalo
