#pragma once

#include <QString>
#include <QStringList>

namespace trovalo {

// What a check-box folder tree has selected, as the two lists a job file
// stores: IncludeList holds the topmost checked entries, ExcludeList the
// topmost unchecked entries inside them (an entry checked again inside an
// excluded folder is included once more). Paths are in the drive-letter
// form; folders end with "\", files do not. Comparisons ignore case and
// respect folder boundaries: C:\a.txt has nothing to do with C:\a.txt.bak,
// C:\Data\ nothing with C:\Database\.
class TSelectionLists
{
public:
    TSelectionLists() = default;
    TSelectionLists(QStringList include, QStringList exclude);

    const QStringList &IncludeList() const { return FInclude; }
    const QStringList &ExcludeList() const { return FExclude; }

    // The user checked Path: an entry that was excluded only leaves the
    // exclude list (a checked folder above covers it again); otherwise every
    // entry at or below Path leaves both lists and Path joins the include
    // list.
    void Include(const QString &path);
    // The mirror image for unchecking.
    void Exclude(const QString &path);
    void Clear();

    // Whether Path shows checked: the nearest of itself and its folders
    // that is listed decides, an include entry checks, an exclude entry (or
    // none at all) does not.
    bool IsChecked(const QString &path) const;
    // Whether an entry of either list lies strictly below the folder Path
    // (the folder is partly selected).
    bool HasEntriesBelow(const QString &folder) const;

    // Path is Folder itself or lies inside it (Folder ends with "\"; a file
    // is "inside" only itself). Case-insensitive.
    static bool IsSameOrInside(const QString &path, const QString &folder);

    bool operator==(const TSelectionLists &other) const = default;

private:
    QStringList FInclude;
    QStringList FExclude;
};

} // namespace trovalo
