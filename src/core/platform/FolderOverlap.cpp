#include "platform/FolderOverlap.h"

#include "base/PathText.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace trovalo {

namespace {

constexpr QChar Slash = QLatin1Char('/');

// The native path with every link resolved as far as the path exists; the
// part that does not exist (yet) is appended lexically. No trailing "/"
// except for "/" itself.
QString CanonicalNative(const QString &native)
{
    QString existing = QDir::cleanPath(native);
    QStringList missing; // the names below Existing, innermost first
    for (;;) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty()) {
            QString result = canonical;
            for (auto it = missing.crbegin(); it != missing.crend(); ++it)
                result += (result.endsWith(Slash) ? QString() : QString(Slash)) + *it;
            return result;
        }
        const qsizetype slash = existing.lastIndexOf(Slash);
        if (slash < 0 || existing == QStringLiteral("/"))
            return QDir::cleanPath(native); // nothing of it exists, not even "/"
        missing << existing.mid(slash + 1);
        existing = slash == 0 ? QStringLiteral("/") : existing.left(slash);
    }
}

// The canonical native path of a drive-letter path; nullopt when it has no
// native form.
std::optional<QString> Canonical(const QString &letterPath)
{
    if (letterPath.trimmed().isEmpty())
        return std::nullopt;
    const std::optional<QString> native = ToNativePath(letterPath);
    if (!native)
        return std::nullopt;
    return CanonicalNative(*native);
}

// Compared at folder boundaries: /a/b is not inside /a/bc.
bool IsSameOrInside(const QString &path, const QString &folder)
{
    if (path == folder || folder == QStringLiteral("/"))
        return true;
    return path.size() > folder.size() && path.startsWith(folder) && path.at(folder.size()) == Slash;
}

// An include entry is a folder when it ends with "\" (or is a bare drive);
// a name without one that is a folder on the disk counts as one too.
bool IsFolderEntry(const QString &entry)
{
    return entry.endsWith(QLatin1Char('\\')) || ExtractFileDrive(entry) == entry || DirectoryExists(entry);
}

} // namespace

bool PathsOverlap(const QString &a, const QString &b)
{
    const std::optional<QString> first = Canonical(a);
    const std::optional<QString> second = Canonical(b);
    return first && second && (IsSameOrInside(*first, *second) || IsSameOrInside(*second, *first));
}

bool IsSameOrInsideFolder(const QString &path, const QString &folder)
{
    const std::optional<QString> inner = Canonical(path);
    const std::optional<QString> outer = Canonical(folder);
    return inner && outer && IsSameOrInside(*inner, *outer);
}

std::optional<TFolderOverlap> FindFolderOverlap(const QString &destination, const QStringList &include,
                                                const QStringList &exclude)
{
    const std::optional<QString> target = Canonical(destination);
    if (!target)
        return std::nullopt;
    QStringList excluded;
    for (const QString &entry : exclude)
        if (const std::optional<QString> canonical = Canonical(entry))
            excluded << *canonical;

    for (const QString &source : include) {
        const std::optional<QString> from = Canonical(source);
        if (!from)
            continue;
        // Whatever is excluded, the run would walk into its own output.
        if (IsSameOrInside(*from, *target))
            return TFolderOverlap{TFolderOverlap::SourceInsideDestination, source};
        if (!IsFolderEntry(source) || !IsSameOrInside(*target, *from))
            continue;
        const bool leftOut = std::any_of(excluded.cbegin(), excluded.cend(), [&](const QString &folder) {
            return IsSameOrInside(*target, folder) && IsSameOrInside(folder, *from);
        });
        if (!leftOut)
            return TFolderOverlap{TFolderOverlap::DestinationInsideSource, source};
    }
    return std::nullopt;
}

bool IsRootOrHomeFolder(const QString &folder)
{
    const std::optional<QString> canonical = Canonical(folder);
    if (!canonical)
        return false;
    return *canonical == QStringLiteral("/") || *canonical == CanonicalNative(QDir::homePath());
}

} // namespace trovalo
