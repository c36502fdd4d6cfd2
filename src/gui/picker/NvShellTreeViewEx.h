#pragma once

#include "base/Exceptions.h"
#include "engine/SelectionSizeCounter.h"
#include "model/SelectionLists.h"

#include <QTreeView>

#include <functional>

namespace trovalo {

class TShellTreeModel;

// ClickFolder was given a path the tree cannot reach.
class EFolderNotFound : public ETrovaloError
{
public:
    EFolderNotFound()
        : ETrovaloError(QStringLiteral("Folder Not found"))
    {}
    const char *ClassName() const noexcept override { return "EFolderNotFound"; }
};

// One entry the tree is about to list, for the add-folder filter.
//
// With ShowZipFiles a .zip file is an Archive entry, listed like a folder:
// its children are the archive's entries, folders taken from the entry
// names. Their paths go on from the archive's path with "\"
// (E:\Run\C.Zip\Users\a.txt), so the selection lists treat them like any
// other; they have no native path.
struct TShellEntry
{
    enum TKind { Computer, Network, Drive, Share, Folder, File, Archive };
    TKind Kind = Folder;
    QString
        Path; // drive-letter form; folders, drives, shares and archives end with "\"; "" for Computer/Network
    QString Name;      // what the tree shows
    int Level = 0;     // the tree's root is 0
    QChar DriveLetter; // for Drive entries
    QString ZipFile;   // the .zip (drive-letter path) of an Archive entry and of the entries inside it
    qint64 Size = -1;  // files: their size; -1 when not known

    bool InsideArchive() const { return !ZipFile.isEmpty() && Kind != Archive; }
};

// A lazily listed folder tree in the drive-letter form, with check boxes
// that keep a TSelectionLists (or, without check boxes, one selected
// folder, for destination trees).
//
// Rooted at the desktop it shows "My Computer" (level 0) with "Local PC"
// (level 1: this computer's drives by letter, label and mount folder, level
// 2) and "Network" (level 1: the mounted network shares, level 2); both
// level-1 entries are virtual and cannot be checked. Rooted at a folder (a
// drive root) it shows that folder as level 0. The kernel's pseudo file
// systems (/proc, /sys, /dev, /run) are never listed; hidden entries only
// with ShowHidden.
//
// Marks come from the lists when an entry is shown: checking a folder of
// 100,000 files changes two lists, not 100,000 items. The size of the
// selection is counted in the background (TSelectionSizeCounter); the
// counters follow when a count ends, and FileSizeChanged says so.
class TNvShellTreeViewEx : public QTreeView
{
    Q_OBJECT

public:
    using TAddFolderFilter = std::function<bool(const TShellEntry &entry)>;

    explicit TNvShellTreeViewEx(QWidget *parent = nullptr);
    ~TNvShellTreeViewEx() override;

    void SetRootDesktop();
    void SetRootFolder(const QString &letterPath);
    // The root's path ("" for the desktop).
    QString RootPath() const;
    // The captions of the desktop's two first nodes ("My Computer", "Local PC").
    void SetDesktopCaptions(const QString &root, const QString &computer);

    // Options, set before a root is given (setting one re-lists the tree).
    void SetCheckBoxes(bool value); // default true
    bool CheckBoxes() const;
    void SetSelectFiles(bool value); // list and check files; default false
    bool SelectFiles() const;
    void SetShowHidden(bool value); // default false
    bool ShowHidden() const;
    void SetRootSellectOK(bool value); // the root itself may be checked; default false
    bool RootSellectOK() const;
    void SetShowZipFiles(bool value); // .zip files listed as folders of their entries; default false
    bool ShowZipFiles() const;
    void SetCalcFileSize(bool value); // default true
    bool CalcFileSize() const;
    // Asked for every entry before it is listed; entries it refuses are not
    // shown. Setting it re-lists the tree. An exception in it lists the entry.
    void SetOnAddFolder(TAddFolderFilter filter);

    // The selection.
    QStringList IncludeList() const;
    QStringList ExcludeList() const;
    const TSelectionLists &Selection() const;
    // Checks or unchecks Path with everything below it, as a click would.
    // Raises EFolderNotFound when the tree cannot reach the path.
    void ClickFolder(const QString &path, bool checkState);
    // Whether Path shows checked (false when the tree cannot reach it).
    bool isClick(const QString &path) const;
    // Replaces the selection with stored lists. Include entries the tree
    // cannot reach stay in the list unmarked; they are returned (the caller
    // tells the user).
    QStringList LoadFromDataList(const QStringList &include, const QStringList &exclude);
    // Unchecks everything and clears the lists; collapses the tree.
    void Initialize();

    // The counters of the last finished count.
    qint64 FileSize() const;
    qint64 FileCount() const;
    qint64 FolderCount() const;
    // A count of the current selection is still running.
    bool Counting() const;

    // The current entry (folder trees): its path, "" when none or virtual.
    QString SelectedPath() const;
    // Expands down to Path and makes it current; false when unreachable.
    bool SelectPath(const QString &path);
    // Lists the current entry's folder again (F5); after a drive was
    // plugged in or a folder was made.
    void RefreshSelected();

signals:
    // After a check change (OnCheckChanged).
    void CheckChanged();
    // After the counters changed (OnFileSize).
    void FileSizeChanged();
    // The current entry changed; Path as SelectedPath().
    void SelectedPathChanged(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void ShowTop();
    void StartCount();

    TShellTreeModel *FModel = nullptr;
    TSelectionSizeCounter *FCounter = nullptr;
    TSelectionTotals FTotals;
    bool FCalcFileSize = true;
};

} // namespace trovalo
