#include "FileFilter.h"

#include "base/Exceptions.h"

#include <vector>

namespace trovalo {

namespace {

const QChar Dot(u'.');
const QChar Star(u'*');
const QChar Question(u'?');

// From the last dot to the end, dot included; "" when the name has none.
QString ExtensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(Dot);
    return dot < 0 ? QString() : fileName.mid(dot);
}

bool IsWildcardEntry(const QString &entry)
{
    return entry.contains(Star) || entry.contains(Question);
}

} // namespace

TFileFilter::TFileFilter(QObject *parent)
    : QObject(parent)
{}

bool TFileFilter::IsExcludedName(const QString &fileName) const
{
    const QString extension = ExtensionOf(fileName);
    for (const QString &excluded : FExcludeFileExtList) {
        if (excluded.compare(extension, Qt::CaseInsensitive) == 0)
            return true;
    }

    // Entries are kept in lower case, so only the name is lowered.
    const QString lowered = fileName.toLower();
    for (const QString &entry : FExcludeMaskList) {
        if (IsWildcardEntry(entry) ? MatchesMask(entry, lowered) : lowered == entry)
            return true;
    }
    return false;
}

void TFileFilter::Assign(const QObject *source)
{
    const auto *filter = qobject_cast<const TFileFilter *>(source);
    if (!filter) {
        // The bare class name, as the other record messages show it.
        const QString sourceName =
            source ? QString::fromLatin1(source->metaObject()->className()).section(QLatin1String("::"), -1)
                   : QStringLiteral("nil");
        throw EConvertError(QStringLiteral("Cannot assign a %1 to a TFileFilter").arg(sourceName));
    }
    if (filter == this)
        return;
    FHidden = filter->FHidden;
    FSystem = filter->FSystem;
    FReadOnly = filter->FReadOnly;
    FExcludeFileExtList = filter->FExcludeFileExtList;
    FExcludeMaskList = filter->FExcludeMaskList;
}

bool TFileFilter::MatchesMask(const QString &pattern, const QString &name)
{
    // Matched(i, j) says whether pattern[i..] matches name[j..]. Rows are
    // filled from the end of the pattern backwards; each row needs only the
    // row after it and its own later columns, so two rows suffice.
    const qsizetype nameLength = name.size();
    std::vector<char> next(size_t(nameLength) + 1, 0);    // row i + 1
    std::vector<char> current(size_t(nameLength) + 1, 0); // row i
    next[size_t(nameLength)] = 1;                         // an empty pattern matches only an empty rest
    for (qsizetype i = pattern.size() - 1; i >= 0; --i) {
        const QChar wanted = pattern.at(i);
        current[size_t(nameLength)] = 0; // the name is used up, the pattern is not
        for (qsizetype j = nameLength - 1; j >= 0; --j) {
            const QChar got = name.at(j);
            const size_t at = size_t(j);
            if (wanted == Star)
                current[at] = got != Dot && (next[at + 1] || current[at + 1]);
            else if (wanted == Question)
                current[at] = got != Dot && next[at + 1];
            else
                current[at] = got == wanted && next[at + 1];
        }
        std::swap(next, current);
    }
    return next[0] != 0;
}

} // namespace trovalo
