#include "SelectionLists.h"

namespace trovalo {

namespace {
constexpr QChar Backslash = QLatin1Char('\\');

bool SameEntry(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Removes Path itself; true when it was there.
bool RemoveEntry(QStringList &list, const QString &path)
{
    return list.removeIf([&](const QString &entry) { return SameEntry(entry, path); }) > 0;
}

void RemoveAtOrBelow(QStringList &list, const QString &path)
{
    list.removeIf([&](const QString &entry) { return TSelectionLists::IsSameOrInside(entry, path); });
}
} // namespace

TSelectionLists::TSelectionLists(QStringList include, QStringList exclude)
    : FInclude(std::move(include))
    , FExclude(std::move(exclude))
{}

bool TSelectionLists::IsSameOrInside(const QString &path, const QString &folder)
{
    if (folder.isEmpty() || path.isEmpty())
        return false;
    if (!folder.endsWith(Backslash))
        return SameEntry(path, folder);
    if (path.startsWith(folder, Qt::CaseInsensitive))
        return true;
    // The folder named without its trailing backslash is still the folder.
    return path.size() == folder.size() - 1 && folder.startsWith(path, Qt::CaseInsensitive);
}

void TSelectionLists::Include(const QString &path)
{
    const bool wasExcluded = RemoveEntry(FExclude, path);
    RemoveAtOrBelow(FInclude, path);
    RemoveAtOrBelow(FExclude, path);
    // Stored lists may hold an exclude entry with no include above it; the
    // click must still leave the entry checked.
    if (!wasExcluded || !IsChecked(path))
        FInclude << path;
}

void TSelectionLists::Exclude(const QString &path)
{
    const bool wasIncluded = RemoveEntry(FInclude, path);
    RemoveAtOrBelow(FInclude, path);
    RemoveAtOrBelow(FExclude, path);
    // An include entry nested in another (stored lists) leaves the path
    // covered by the outer one: only an exclude entry unchecks it then.
    if (!wasIncluded || IsChecked(path))
        FExclude << path;
}

void TSelectionLists::Clear()
{
    FInclude.clear();
    FExclude.clear();
}

bool TSelectionLists::IsChecked(const QString &path) const
{
    qsizetype nearest = -1;
    bool checked = false;
    for (const QString &entry : FInclude) {
        if (entry.size() > nearest && IsSameOrInside(path, entry)) {
            nearest = entry.size();
            checked = true;
        }
    }
    for (const QString &entry : FExclude) {
        if (entry.size() > nearest && IsSameOrInside(path, entry)) {
            nearest = entry.size();
            checked = false;
        }
    }
    return checked;
}

bool TSelectionLists::HasEntriesBelow(const QString &folder) const
{
    const auto below = [&](const QStringList &list) {
        for (const QString &entry : list)
            if (IsSameOrInside(entry, folder) && !IsSameOrInside(folder, entry))
                return true;
        return false;
    };
    return below(FInclude) || below(FExclude);
}

} // namespace trovalo
