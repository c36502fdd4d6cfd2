#include "DriveMap.h"
#include "base/PathText.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace trovalo {

namespace {
constexpr QChar Backslash = QLatin1Char('\\');
constexpr QChar Slash = QLatin1Char('/');
constexpr char16_t MappedBase = 0xF000;
constexpr char16_t MappedBackslash = MappedBase + '\\';
constexpr char16_t MappedColon = MappedBase + ':';

bool NeedsLetterMapping(QChar c)
{
    const char16_t u = c.unicode();
    return u == '\\' || u == ':' || u == MappedBase || u == MappedBackslash || u == MappedColon;
}

std::optional<QString> Fail(TPathFault *fault, TPathFault why)
{
    if (fault)
        *fault = why;
    return std::nullopt;
}

std::optional<QString> Succeed(TPathFault *fault, QString path)
{
    if (fault)
        *fault = TPathFault::None;
    return path;
}

// Folder names of a backslash-separated path; empty names ("a\\b") are
// dropped as the letter form's own tools do.
QStringList Components(const QString &path)
{
    return path.split(Backslash, Qt::SkipEmptyParts);
}

bool HasDotComponent(const QStringList &components)
{
    for (const QString &name : components) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            return true;
    }
    return false;
}

QString JoinNative(const QString &root, const QStringList &components, bool folderForm)
{
    if (components.isEmpty())
        return root;
    QString path = root;
    if (!path.endsWith(Slash))
        path += Slash;
    for (qsizetype i = 0; i < components.size(); ++i) {
        if (i > 0)
            path += Slash;
        path += NativeName(components.at(i));
    }
    if (folderForm)
        path += Slash;
    return path;
}

// Length of the root when it holds the cleaned native path, else -1.
qsizetype MatchRoot(const QString &root, const QString &cleanPath)
{
    if (root == QLatin1String("/"))
        return 1;
    if (!cleanPath.startsWith(root))
        return -1;
    if (cleanPath.size() == root.size() || cleanPath.at(root.size()) == Slash)
        return root.size();
    return -1;
}

// The share whose UNC prefix covers the most leading components.
const TNetworkShare *ShareOf(const QList<TNetworkShare> &shares, const QStringList &components,
                             qsizetype *shareComponents)
{
    const TNetworkShare *best = nullptr;
    qsizetype bestCount = 0;
    for (const TNetworkShare &share : shares) {
        const QStringList prefix = Components(share.Unc);
        if (prefix.size() < 2 || prefix.size() > components.size() || prefix.size() <= bestCount)
            continue;
        bool same = true;
        for (qsizetype i = 0; i < prefix.size() && same; ++i)
            same = prefix.at(i).compare(components.at(i), Qt::CaseInsensitive) == 0;
        if (same) {
            best = &share;
            bestCount = prefix.size();
        }
    }
    *shareComponents = bestCount;
    return best;
}
} // namespace

QString LetterName(const QString &nativeName)
{
    if (std::none_of(nativeName.cbegin(), nativeName.cend(), NeedsLetterMapping))
        return nativeName;
    QString name;
    name.reserve(nativeName.size() + 4);
    for (const QChar c : nativeName) {
        if (c == Backslash || c == QLatin1Char(':'))
            name += QChar(char16_t(MappedBase + c.unicode()));
        else if (NeedsLetterMapping(c))
            name.append(QChar(MappedBase)).append(c);
        else
            name += c;
    }
    return name;
}

QString NativeName(const QString &letterName)
{
    const auto mapped = [](QChar c) {
        return c.unicode() == MappedBase || c.unicode() == MappedBackslash || c.unicode() == MappedColon;
    };
    if (std::none_of(letterName.cbegin(), letterName.cend(), mapped))
        return letterName;
    QString name;
    name.reserve(letterName.size());
    for (qsizetype i = 0; i < letterName.size(); ++i) {
        const QChar c = letterName.at(i);
        if (c.unicode() == MappedBase && i + 1 < letterName.size())
            name += letterName.at(++i);
        else if (c.unicode() == MappedBackslash || c.unicode() == MappedColon)
            name += QChar(char16_t(c.unicode() - MappedBase));
        else
            name += c;
    }
    return name;
}

QString LetterNameOfEntry(const char *nativeName)
{
    return LetterName(QFile::decodeName(nativeName));
}

TDriveMap::TDriveMap(QList<TDriveInfo> drives, QList<TNetworkShare> shares)
    : FDrives(std::move(drives))
    , FShares(std::move(shares))
{}

const TDriveInfo *TDriveMap::Drive(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const TDriveInfo &drive : FDrives) {
        if (drive.Letter == upper)
            return &drive;
    }
    return nullptr;
}

TDriveMap::TRootMatch TDriveMap::BestRoot(const QString &cleanNativePath) const
{
    TRootMatch best;
    for (const TDriveInfo &drive : FDrives) {
        const qsizetype length = MatchRoot(drive.Root, cleanNativePath);
        if (length > best.RootLength)
            best = {&drive, nullptr, length};
    }
    for (const TNetworkShare &share : FShares) {
        const qsizetype length = MatchRoot(share.Root, cleanNativePath);
        if (length > best.RootLength)
            best = {nullptr, &share, length};
    }
    return best;
}

const TDriveInfo *TDriveMap::DriveOfNative(const QString &nativePath) const
{
    if (!nativePath.startsWith(Slash))
        return nullptr;
    return BestRoot(QDir::cleanPath(nativePath)).Drive;
}

std::optional<QString> TDriveMap::ToNative(const QString &letterPath, TPathFault *fault) const
{
    if (letterPath.contains(QChar(0)))
        return Fail(fault, TPathFault::NulCharacter);
    QString path = letterPath;
    path.replace(Slash, Backslash);
    const bool folderForm = path.endsWith(Backslash);

    if (path.startsWith(QLatin1String("\\\\"))) {
        const QStringList components = Components(path);
        if (components.size() < 2)
            return Fail(fault, TPathFault::NotLetterForm);
        if (HasDotComponent(components))
            return Fail(fault, TPathFault::DotFolder);
        qsizetype shareComponents = 0;
        const TNetworkShare *share = ShareOf(FShares, components, &shareComponents);
        if (!share)
            return Fail(fault, TPathFault::ShareNotMounted);
        return Succeed(fault, JoinNative(share->Root, components.mid(shareComponents), folderForm));
    }

    const bool letterForm = path.size() >= 2 && IsDriveLetter(path.at(0)) && path.at(1) == QLatin1Char(':') &&
                            (path.size() == 2 || path.at(2) == Backslash);
    if (!letterForm)
        return Fail(fault, TPathFault::NotLetterForm);
    const TDriveInfo *drive = Drive(path.at(0));
    if (!drive)
        return Fail(fault, TPathFault::NoSuchDrive);
    const QStringList components = Components(path.mid(2));
    if (HasDotComponent(components))
        return Fail(fault, TPathFault::DotFolder);
    return Succeed(fault, JoinNative(drive->Root, components, folderForm));
}

std::optional<QString> TDriveMap::ToLetter(const QString &nativePath, TPathFault *fault) const
{
    if (nativePath.contains(QChar(0)))
        return Fail(fault, TPathFault::NulCharacter);
    if (!nativePath.startsWith(Slash))
        return Fail(fault, TPathFault::NotAbsolute);
    const bool folderForm = nativePath.size() > 1 && nativePath.endsWith(Slash);
    const QString clean = QDir::cleanPath(nativePath);

    const TRootMatch match = BestRoot(clean);
    if (match.RootLength < 0)
        return Fail(fault, TPathFault::OutsideDrives);
    const QStringList names = clean.mid(match.RootLength).split(Slash, Qt::SkipEmptyParts);
    QString result = match.Drive ? match.Drive->LetterRoot() : match.Share->Unc + Backslash;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            result += Backslash;
        result += LetterName(names.at(i));
    }
    if (folderForm && !names.isEmpty())
        result += Backslash;
    return Succeed(fault, result);
}

} // namespace trovalo
