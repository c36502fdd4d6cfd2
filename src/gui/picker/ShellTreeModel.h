#pragma once

#include "NvShellTreeViewEx.h"
#include "model/SelectionLists.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>

#include <memory>
#include <vector>

namespace trovalo {

// The items of TNvShellTreeViewEx: the desktop's virtual nodes, drives,
// shares, folders and (with SelectFiles) files, each folder listed the first
// time the view asks for its children. The check marks are not stored per
// item: every item asks the selection lists when it is drawn, so checking a
// folder changes the lists and a repaint, whatever lies below it.
class TShellTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum TRole {
        PathRole = Qt::UserRole, // QString, drive-letter form; "" for virtual items
        LevelRole,               // int, the root is 0
        KindRole,                // int, TShellEntry::TKind
        SizeRole,                // qint64, files; -1 when not known
        InsideArchiveRole,       // bool, an entry of a zip archive (no native path)
    };

    struct TOptions
    {
        bool CheckBoxes = true;
        bool SelectFiles = false;
        bool ShowHidden = false;
        bool RootSellectOK = false;
        bool ShowZipFiles = false;
        QString DesktopCaption = QStringLiteral("My Computer");
        QString ComputerCaption = QStringLiteral("Local PC");
        QString NetworkCaption = QStringLiteral("Network");
        TNvShellTreeViewEx::TAddFolderFilter Filter;
    };

    explicit TShellTreeModel(QObject *parent = nullptr);
    ~TShellTreeModel() override;

    // Both re-list the whole tree; the selection stays.
    void SetRootDesktop();
    void SetRootFolder(const QString &letterPath);
    QString RootPath() const { return FRootPath; }
    const TOptions &Options() const { return FOptions; }
    void SetOptions(const TOptions &options);

    const TSelectionLists &Selection() const { return FLists; }
    // Replaces the lists; every listed item is redrawn, no CheckChanged.
    void SetSelection(const TSelectionLists &lists);
    // Checks or unchecks the item as a click does (CheckChanged follows).
    void Click(const QModelIndex &index, bool checked);

    // The item of a path, listing folders on the way down; invalid when the
    // tree does not reach it.
    QModelIndex FindPath(const QString &path);
    // Lists the item's children again.
    void Relist(const QModelIndex &index);
    bool IsVirtual(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // The user checked or unchecked an item; the lists have changed.
    void CheckChanged();

private:
    struct TNode;

    TNode *NodeOf(const QModelIndex &index) const;
    QModelIndex IndexOf(const TNode *node) const;
    void Rebuild();
    void List(TNode *node);
    std::vector<TShellEntry> ChildEntries(const TNode *node) const;
    std::vector<TShellEntry> FolderEntries(const TNode *node) const;
    std::vector<TShellEntry> ArchiveEntries(const TNode *node) const;
    bool Admit(const TShellEntry &entry) const;
    bool Checkable(const TNode *node) const;
    // dataChanged for Node and every listed item below it.
    void EmitChangedBelow(TNode *node);
    QIcon IconOf(TShellEntry::TKind kind) const;

    std::unique_ptr<TNode> FRoot; // invisible; its children are the top items
    QString FRootPath;            // "" for the desktop
    TOptions FOptions;
    TSelectionLists FLists;
    mutable QIcon FIcons[7];
    // The archives read so far, by case-folded path; an archive is read when
    // first expanded and again after a re-list.
    struct TArchiveListing;
    mutable QHash<QString, std::shared_ptr<const TArchiveListing>> FArchives;
};

} // namespace trovalo
