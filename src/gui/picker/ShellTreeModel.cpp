#include "ShellTreeModel.h"

#include "base/PathText.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/FatAttributeIo.h"
#include "platform/FileAttributes.h"
#include "platform/FolderListing.h"
#include "platform/PseudoFileSystems.h"
#include "platform/ZipArchive.h"

#include <QDir>
#include <QFileIconProvider>

#include <QSet>

#include <algorithm>

namespace trovalo {

struct TShellTreeModel::TNode
{
    TShellEntry Entry;
    TNode *Parent = nullptr;
    int Row = 0;
    bool Listed = false;
    bool Virtual = false;
    std::vector<std::unique_ptr<TNode>> Children;
};

// One archive's folders: the entries stored directly in each, by the
// folder's inner path ("/" separators, no trailing one; "" is the root).
struct TShellTreeModel::TArchiveListing
{
    struct TChild
    {
        QString Name;
        bool Folder = false;
        qint64 Size = -1;
    };
    QHash<QString, QList<TChild>> Folders;

    static std::shared_ptr<const TArchiveListing> Read(const QString &zipFile)
    {
        auto listing = std::make_shared<TArchiveListing>();
        QList<TZipEntryInfo> entries;
        try {
            TZipArchive archive;
            archive.Open(zipFile, TZipOpenMode::Read);
            entries = archive.Entries();
        } catch (const ETrovaloError &) {
            // A damaged archive shows as an empty folder.
            return listing;
        }
        QSet<QString> seen;
        const auto add = [&](const QString &folder, const QString &name, bool isFolder, qint64 size) {
            const QString key = folder + QLatin1Char('/') + name;
            if (seen.contains(key))
                return;
            seen.insert(key);
            listing->Folders[folder].append({name, isFolder, size});
        };
        for (const TZipEntryInfo &entry : std::as_const(entries)) {
            // Names that could not be restored are not offered either.
            if (!TZipArchive::IsSafeEntryName(entry.Name))
                continue;
            // As a restore names it: a Unix name may hold "\".
            const QStringList parts = TZipArchive::LetterPathOf(entry.Name, entry.UnixNames)
                                          .split(QLatin1Char('\\'), Qt::SkipEmptyParts);
            QString folder;
            for (qsizetype i = 0; i < parts.size(); ++i) {
                const bool last = i == parts.size() - 1;
                if (last && !entry.IsFolder())
                    add(folder, parts.at(i), false, qint64(entry.Size));
                else
                    add(folder, parts.at(i), true, -1);
                folder += (folder.isEmpty() ? QString() : QStringLiteral("/")) + parts.at(i);
            }
        }
        return listing;
    }
};

namespace {
bool Same(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsVirtualKind(TShellEntry::TKind kind)
{
    return kind == TShellEntry::Computer || kind == TShellEntry::Network;
}

QString DriveCaption(const TDriveInfo &drive)
{
    const QString label = drive.Label.isEmpty() ? QStringLiteral("Local Disk") : drive.Label;
    return QStringLiteral("%1 (%2:)  %3").arg(label, drive.Letter, drive.Root);
}

QString ShareCaption(const TNetworkShare &share)
{
    return share.Unc + QStringLiteral("  ") + share.Root;
}

// Folders first, then by name ignoring case (by case where only case differs,
// so the order does not depend on the listing's).
bool ListsBefore(const TShellEntry &a, const TShellEntry &b)
{
    const bool aFolder = a.Kind != TShellEntry::File, bFolder = b.Kind != TShellEntry::File;
    if (aFolder != bFolder)
        return aFolder;
    const int order = a.Name.compare(b.Name, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a.Name < b.Name;
}
} // namespace

TShellTreeModel::TShellTreeModel(QObject *parent)
    : QAbstractItemModel(parent)
{
    Rebuild();
}

TShellTreeModel::~TShellTreeModel() = default;

void TShellTreeModel::SetRootDesktop()
{
    FRootPath.clear();
    Rebuild();
}

void TShellTreeModel::SetRootFolder(const QString &letterPath)
{
    FRootPath = IncludeTrailingBackslash(letterPath);
    Rebuild();
}

void TShellTreeModel::SetOptions(const TOptions &options)
{
    FOptions = options;
    Rebuild();
}

void TShellTreeModel::SetSelection(const TSelectionLists &lists)
{
    FLists = lists;
    for (const auto &top : FRoot->Children)
        EmitChangedBelow(top.get());
}

void TShellTreeModel::Click(const QModelIndex &index, bool checked)
{
    TNode *node = NodeOf(index);
    if (!node || node->Virtual)
        return;
    if (checked)
        FLists.Include(node->Entry.Path);
    else
        FLists.Exclude(node->Entry.Path);
    EmitChangedBelow(node);
    emit CheckChanged();
}

void TShellTreeModel::Rebuild()
{
    beginResetModel();
    FArchives.clear();
    FRoot = std::make_unique<TNode>();
    FRoot->Listed = true;
    FRoot->Entry.Level = -1;
    TShellEntry top;
    if (FRootPath.isEmpty()) {
        top.Kind = TShellEntry::Computer;
        top.Name = FOptions.DesktopCaption;
    } else {
        top.Path = FRootPath;
        top.Kind = TShellEntry::Folder;
        top.Name = ExcludeTrailingBackslash(FRootPath);
        const std::shared_ptr<const TDriveMap> map = TDriveTable::Instance().Map();
        for (const TDriveInfo &drive : map->Drives())
            if (Same(drive.LetterRoot(), FRootPath)) {
                top.Kind = TShellEntry::Drive;
                top.Name = DriveCaption(drive);
                top.DriveLetter = drive.Letter;
            }
        for (const TNetworkShare &share : map->Shares())
            if (Same(share.Unc + QLatin1Char('\\'), FRootPath)) {
                top.Kind = TShellEntry::Share;
                top.Name = ShareCaption(share);
            }
    }
    if (Admit(top)) {
        auto node = std::make_unique<TNode>();
        node->Entry = top;
        node->Parent = FRoot.get();
        node->Virtual = IsVirtualKind(top.Kind);
        FRoot->Children.push_back(std::move(node));
    }
    endResetModel();
}

bool TShellTreeModel::Admit(const TShellEntry &entry) const
{
    if (!FOptions.Filter)
        return true;
    try {
        return FOptions.Filter(entry);
    } catch (...) {
        // A failing filter must not hide the user's folders.
        return true;
    }
}

std::vector<TShellEntry> TShellTreeModel::ChildEntries(const TNode *node) const
{
    std::vector<TShellEntry> entries;
    const int level = node->Entry.Level + 1;
    const auto add = [&](TShellEntry entry) {
        entry.Level = level;
        if (Admit(entry))
            entries.push_back(std::move(entry));
    };
    switch (node->Entry.Kind) {
    case TShellEntry::Computer:
        if (node->Entry.Level == 0 && FRootPath.isEmpty()) {
            add({TShellEntry::Computer, {}, FOptions.ComputerCaption, 0, {}, {}, -1});
            add({TShellEntry::Network, {}, FOptions.NetworkCaption, 0, {}, {}, -1});
        } else {
            for (const TDriveInfo &drive : TDriveTable::Instance().Drives())
                add({TShellEntry::Drive, drive.LetterRoot(), DriveCaption(drive), 0, drive.Letter, {}, -1});
        }
        return entries;
    case TShellEntry::Network:
        for (const TNetworkShare &share : TDriveTable::Instance().Map()->Shares())
            add({TShellEntry::Share, share.Unc + QLatin1Char('\\'), ShareCaption(share), 0, {}, {}, -1});
        return entries;
    case TShellEntry::File:
        return entries;
    case TShellEntry::Archive:
        return ArchiveEntries(node);
    case TShellEntry::Drive:
    case TShellEntry::Share:
    case TShellEntry::Folder:
        break;
    }
    return node->Entry.InsideArchive() ? ArchiveEntries(node) : FolderEntries(node);
}

std::vector<TShellEntry> TShellTreeModel::FolderEntries(const TNode *node) const
{
    std::vector<TFolderEntry> listing;
    const QString &folder = node->Entry.Path;
    if (!ListFolder(folder, listing))
        return {};
    const std::optional<QString> native = ToNativePath(folder);
    const bool systemRoot = native && QDir::cleanPath(*native) == QLatin1String("/");
    // The DOS hidden bit is read only where it exists: one ioctl per entry.
    const bool fat = !FOptions.ShowHidden && native && TFatAttributeIo::Current().IsFatVolume(*native);
    std::vector<TShellEntry> entries;
    entries.reserve(listing.size());
    for (const TFolderEntry &item : listing) {
        const bool isFolder = item.Kind == TFolderEntry::ekFolder;
        const bool isArchive = FOptions.ShowZipFiles && item.Kind == TFolderEntry::ekFile &&
                               item.Name.size() > 4 &&
                               item.Name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
        if (!isFolder && !isArchive && !(FOptions.SelectFiles && item.Kind == TFolderEntry::ekFile))
            continue;
        if (systemRoot && isFolder && IsPseudoFileSystemFolder(QLatin1Char('/') + item.Name))
            continue;
        TShellEntry entry;
        entry.Kind = isFolder ? TShellEntry::Folder : isArchive ? TShellEntry::Archive : TShellEntry::File;
        entry.Name = item.Name;
        entry.Path = folder + item.Name;
        if (isFolder || isArchive)
            entry.Path += QLatin1Char('\\');
        if (isArchive)
            entry.ZipFile = folder + item.Name;
        if (!isFolder)
            entry.Size = item.Size;
        entry.Level = node->Entry.Level + 1;
        if (!FOptions.ShowHidden) {
            if (item.Name.startsWith(QLatin1Char('.')))
                continue;
            if (fat) {
                const std::optional<quint32> attributes = GetFileAttributes(folder + item.Name);
                if (attributes && (*attributes & faHidden))
                    continue;
            }
        }
        if (Admit(entry))
            entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), ListsBefore);
    return entries;
}

std::vector<TShellEntry> TShellTreeModel::ArchiveEntries(const TNode *node) const
{
    const QString &zipFile = node->Entry.ZipFile;
    const QString key = zipFile.toCaseFolded();
    auto found = FArchives.constFind(key);
    if (found == FArchives.constEnd())
        found = FArchives.insert(key, TArchiveListing::Read(zipFile));
    // The node's path below the archive's, as the entry names spell it.
    QString inner = node->Entry.Path.mid(zipFile.size() + 1);
    inner.chop(1);
    inner.replace(QLatin1Char('\\'), QLatin1Char('/'));
    std::vector<TShellEntry> entries;
    for (const TArchiveListing::TChild &child : (*found)->Folders.value(inner)) {
        if (!child.Folder && !FOptions.SelectFiles)
            continue;
        if (!FOptions.ShowHidden && child.Name.startsWith(QLatin1Char('.')))
            continue;
        TShellEntry entry;
        entry.Kind = child.Folder ? TShellEntry::Folder : TShellEntry::File;
        entry.Name = child.Name;
        entry.Path = node->Entry.Path + child.Name + (child.Folder ? QStringLiteral("\\") : QString());
        entry.Level = node->Entry.Level + 1;
        entry.ZipFile = zipFile;
        entry.Size = child.Size;
        if (Admit(entry))
            entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), ListsBefore);
    return entries;
}

void TShellTreeModel::List(TNode *node)
{
    node->Listed = true;
    std::vector<TShellEntry> entries = ChildEntries(node);
    const QModelIndex index = IndexOf(node);
    if (entries.empty()) {
        // The expander it showed goes.
        emit dataChanged(index, index);
        return;
    }
    beginInsertRows(index, 0, int(entries.size()) - 1);
    node->Children.reserve(entries.size());
    for (TShellEntry &entry : entries) {
        auto child = std::make_unique<TNode>();
        child->Virtual = IsVirtualKind(entry.Kind);
        child->Entry = std::move(entry);
        child->Parent = node;
        child->Row = int(node->Children.size());
        node->Children.push_back(std::move(child));
    }
    endInsertRows();
}

void TShellTreeModel::Relist(const QModelIndex &index)
{
    TNode *node = NodeOf(index);
    if (!node || node == FRoot.get()) {
        Rebuild();
        return;
    }
    // An archive is read again: it may have been written since.
    if (!node->Entry.ZipFile.isEmpty())
        FArchives.remove(node->Entry.ZipFile.toCaseFolded());
    if (!node->Children.empty()) {
        beginRemoveRows(index, 0, int(node->Children.size()) - 1);
        node->Children.clear();
        endRemoveRows();
    }
    List(node);
}

QModelIndex TShellTreeModel::FindPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString folderForm = IncludeTrailingBackslash(path);
    const auto descend = [&](auto &self, TNode *node) -> TNode * {
        if (!node->Listed)
            List(node);
        for (const auto &child : node->Children) {
            if (child->Virtual) {
                if (TNode *found = self(self, child.get()))
                    return found;
                continue;
            }
            const QString &childPath = child->Entry.Path;
            if (Same(childPath, path) ||
                (childPath.endsWith(QLatin1Char('\\')) && Same(childPath, folderForm)))
                return child.get();
            if (childPath.endsWith(QLatin1Char('\\')) && TSelectionLists::IsSameOrInside(path, childPath))
                return self(self, child.get());
        }
        return nullptr;
    };
    return IndexOf(descend(descend, FRoot.get()));
}

bool TShellTreeModel::IsVirtual(const QModelIndex &index) const
{
    const TNode *node = NodeOf(index);
    return !node || node->Virtual;
}

bool TShellTreeModel::Checkable(const TNode *node) const
{
    return FOptions.CheckBoxes && !node->Virtual && (node->Entry.Level > 0 || FOptions.RootSellectOK);
}

void TShellTreeModel::EmitChangedBelow(TNode *node)
{
    const QList<int> roles{Qt::CheckStateRole};
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index, roles);
    const auto below = [&](auto &self, TNode *parent) -> void {
        if (parent->Children.empty())
            return;
        emit dataChanged(IndexOf(parent->Children.front().get()), IndexOf(parent->Children.back().get()),
                         roles);
        for (const auto &child : parent->Children)
            if (!child->Children.empty())
                self(self, child.get());
    };
    below(below, node);
}

QIcon TShellTreeModel::IconOf(TShellEntry::TKind kind) const
{
    QIcon &icon = FIcons[kind];
    if (icon.isNull()) {
        // Icons by kind, never by file: looking at each file's type would
        // cost more than listing a big folder.
        static const QFileIconProvider::IconType types[] = {
            QFileIconProvider::Computer, QFileIconProvider::Network, QFileIconProvider::Drive,
            QFileIconProvider::Network,  QFileIconProvider::Folder,  QFileIconProvider::File,
            QFileIconProvider::Folder};
        icon = QFileIconProvider().icon(types[kind]);
    }
    return icon;
}

TShellTreeModel::TNode *TShellTreeModel::NodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TNode *>(index.internalPointer()) : FRoot.get();
}

QModelIndex TShellTreeModel::IndexOf(const TNode *node) const
{
    if (!node || node == FRoot.get())
        return {};
    return createIndex(node->Row, 0, const_cast<TNode *>(node));
}

QModelIndex TShellTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const TNode *node = NodeOf(parent);
    if (column != 0 || row < 0 || row >= int(node->Children.size()))
        return {};
    return IndexOf(node->Children[std::size_t(row)].get());
}

QModelIndex TShellTreeModel::parent(const QModelIndex &child) const
{
    return child.isValid() ? IndexOf(NodeOf(child)->Parent) : QModelIndex();
}

int TShellTreeModel::rowCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : int(NodeOf(parent)->Children.size());
}

int TShellTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool TShellTreeModel::hasChildren(const QModelIndex &parent) const
{
    const TNode *node = NodeOf(parent);
    if (node->Listed)
        return !node->Children.empty();
    return node->Entry.Kind != TShellEntry::File;
}

bool TShellTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const TNode *node = NodeOf(parent);
    return !node->Listed && node->Entry.Kind != TShellEntry::File;
}

void TShellTreeModel::fetchMore(const QModelIndex &parent)
{
    TNode *node = NodeOf(parent);
    if (!node->Listed)
        List(node);
}

QVariant TShellTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const TNode *node = NodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return node->Entry.Name;
    case Qt::DecorationRole:
        return IconOf(node->Entry.Kind);
    case Qt::ToolTipRole:
        if (node->Entry.InsideArchive())
            return node->Entry.Path; // no native path of its own
        return node->Virtual ? node->Entry.Name : WithNative(node->Entry.Path);
    case Qt::CheckStateRole:
        if (!Checkable(node))
            return {};
        return FLists.IsChecked(node->Entry.Path) ? Qt::Checked : Qt::Unchecked;
    case PathRole:
        return node->Entry.Path;
    case LevelRole:
        return node->Entry.Level;
    case KindRole:
        return int(node->Entry.Kind);
    case SizeRole:
        return node->Entry.Size;
    case InsideArchiveRole:
        return node->Entry.InsideArchive();
    default:
        return {};
    }
}

bool TShellTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || !Checkable(NodeOf(index)))
        return false;
    Click(index, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TShellTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (Checkable(NodeOf(index)))
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

} // namespace trovalo
