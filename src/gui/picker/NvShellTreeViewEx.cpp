#include "NvShellTreeViewEx.h"

#include "ShellTreeModel.h"
#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"

#include <QKeyEvent>

namespace trovalo {

TNvShellTreeViewEx::TNvShellTreeViewEx(QWidget *parent)
    : QTreeView(parent)
    , FModel(new TShellTreeModel(this))
    , FCounter(new TSelectionSizeCounter(this))
{
    setHeaderHidden(true);
    // Rows of one height let a folder of thousands of entries open without
    // measuring each row.
    setUniformRowHeights(true);
    setModel(FModel);
    connect(FModel, &TShellTreeModel::CheckChanged, this, [this] {
        emit CheckChanged();
        StartCount();
    });
    connect(FCounter, &TSelectionSizeCounter::Counted, this, [this](const TSelectionTotals &totals) {
        FTotals = totals;
        emit FileSizeChanged();
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { emit SelectedPathChanged(SelectedPath()); });
    ShowTop();
}

TNvShellTreeViewEx::~TNvShellTreeViewEx() = default;

void TNvShellTreeViewEx::ShowTop()
{
    const QModelIndex top = FModel->index(0, 0);
    if (!top.isValid())
        return;
    expand(top);
    // The desktop opens on this computer's drives.
    if (FModel->RootPath().isEmpty()) {
        FModel->fetchMore(top);
        expand(FModel->index(0, 0, top));
    }
}

void TNvShellTreeViewEx::StartCount()
{
    if (FCalcFileSize)
        FCounter->Start(FModel->Selection());
}

void TNvShellTreeViewEx::SetRootDesktop()
{
    FModel->SetRootDesktop();
    ShowTop();
}

void TNvShellTreeViewEx::SetRootFolder(const QString &letterPath)
{
    FModel->SetRootFolder(letterPath);
    ShowTop();
}

QString TNvShellTreeViewEx::RootPath() const
{
    return FModel->RootPath();
}

void TNvShellTreeViewEx::SetDesktopCaptions(const QString &root, const QString &computer)
{
    TShellTreeModel::TOptions options = FModel->Options();
    options.DesktopCaption = root;
    options.ComputerCaption = computer;
    FModel->SetOptions(options);
    ShowTop();
}

#define TROVALO_PICKER_OPTION(Setter, Getter, Field)                                                         \
    void TNvShellTreeViewEx::Setter(bool value)                                                              \
    {                                                                                                        \
        TShellTreeModel::TOptions options = FModel->Options();                                               \
        options.Field = value;                                                                               \
        FModel->SetOptions(options);                                                                         \
        ShowTop();                                                                                           \
    }                                                                                                        \
    bool TNvShellTreeViewEx::Getter() const                                                                  \
    {                                                                                                        \
        return FModel->Options().Field;                                                                      \
    }

TROVALO_PICKER_OPTION(SetCheckBoxes, CheckBoxes, CheckBoxes)
TROVALO_PICKER_OPTION(SetSelectFiles, SelectFiles, SelectFiles)
TROVALO_PICKER_OPTION(SetShowHidden, ShowHidden, ShowHidden)
TROVALO_PICKER_OPTION(SetRootSellectOK, RootSellectOK, RootSellectOK)
TROVALO_PICKER_OPTION(SetShowZipFiles, ShowZipFiles, ShowZipFiles)
#undef TROVALO_PICKER_OPTION

void TNvShellTreeViewEx::SetCalcFileSize(bool value)
{
    FCalcFileSize = value;
    if (!value)
        FCounter->Stop();
}

bool TNvShellTreeViewEx::CalcFileSize() const
{
    return FCalcFileSize;
}

void TNvShellTreeViewEx::SetOnAddFolder(TAddFolderFilter filter)
{
    TShellTreeModel::TOptions options = FModel->Options();
    options.Filter = std::move(filter);
    FModel->SetOptions(options);
    ShowTop();
}

QStringList TNvShellTreeViewEx::IncludeList() const
{
    return FModel->Selection().IncludeList();
}

QStringList TNvShellTreeViewEx::ExcludeList() const
{
    return FModel->Selection().ExcludeList();
}

const TSelectionLists &TNvShellTreeViewEx::Selection() const
{
    return FModel->Selection();
}

void TNvShellTreeViewEx::ClickFolder(const QString &path, bool checkState)
{
    const QModelIndex index = FModel->FindPath(path);
    if (!index.isValid())
        throw EFolderNotFound();
    FModel->Click(index, checkState);
}

bool TNvShellTreeViewEx::isClick(const QString &path) const
{
    // Reaching the path may list folders: the tree's lazy listing, not a
    // change of what it shows.
    const QModelIndex index = FModel->FindPath(path);
    return index.isValid() && !FModel->IsVirtual(index) &&
           FModel->Selection().IsChecked(index.data(TShellTreeModel::PathRole).toString());
}

QStringList TNvShellTreeViewEx::LoadFromDataList(const QStringList &include, const QStringList &exclude)
{
    FModel->SetSelection(TSelectionLists(include, exclude));
    QStringList unreachable;
    for (const QString &path : include)
        if (!FModel->FindPath(path).isValid())
            unreachable << path;
    StartCount();
    return unreachable;
}

void TNvShellTreeViewEx::Initialize()
{
    FCounter->Stop();
    FModel->SetSelection({});
    collapseAll();
    ShowTop();
    if (FTotals != TSelectionTotals()) {
        FTotals = {};
        emit FileSizeChanged();
    }
}

qint64 TNvShellTreeViewEx::FileSize() const
{
    return FTotals.Size;
}

qint64 TNvShellTreeViewEx::FileCount() const
{
    return FTotals.Files;
}

qint64 TNvShellTreeViewEx::FolderCount() const
{
    return FTotals.Folders;
}

bool TNvShellTreeViewEx::Counting() const
{
    return FCounter->Counting();
}

QString TNvShellTreeViewEx::SelectedPath() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.data(TShellTreeModel::PathRole).toString() : QString();
}

bool TNvShellTreeViewEx::SelectPath(const QString &path)
{
    const QModelIndex index = FModel->FindPath(path);
    if (!index.isValid())
        return false;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        expand(parent);
    setCurrentIndex(index);
    scrollTo(index);
    return true;
}

void TNvShellTreeViewEx::RefreshSelected()
{
    QModelIndex index = currentIndex();
    if (!index.isValid())
        index = FModel->index(0, 0);
    if (!index.isValid())
        return;
    const auto kind = TShellEntry::TKind(index.data(TShellTreeModel::KindRole).toInt());
    if (kind == TShellEntry::Drive)
        TDriveInterfaceType::Instance().Refresh();
    else if (FModel->IsVirtual(index) && index.data(TShellTreeModel::LevelRole).toInt() > 0)
        TDriveTable::Instance().Refresh(); // the drive or share list itself
    // Files may have come or gone anywhere: the next count walks again.
    FCounter->ForgetCounts();
    FModel->Relist(index);
    expand(index);
}

void TNvShellTreeViewEx::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        RefreshSelected();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

} // namespace trovalo
