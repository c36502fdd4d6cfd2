#pragma once

#include "FileManagerLink.h"
#include "dialogs/ParentDialog.h"
#include "engine/WorkerObserver.h"

#include <QColor>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace trovalo {

// The sync conflict question: one row per pair changed on both sides (or
// changed on one and deleted on the other), each with one of four answers.
// Side A is the USB drive, side B the computer.
class TFileSyncPromptDlg : public TParentDialog
{
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(QString Text READ Text WRITE SetText)

public:
    // The answers, in the order the radio group lists them.
    enum TConflictChoice { ccDoNothing, ccComputerVersion, ccUsbDriveVersion, ccNewestVersion };

    // "Do nothing", "Use this computer's version", …
    static QString ChoiceText(TConflictChoice choice);
    // The text colour of a row with that answer.
    static QColor ChoiceColor(TConflictChoice choice);

    explicit TFileSyncPromptDlg(QWidget *parent = nullptr, QWidget *BlendForm = nullptr);
    ~TFileSyncPromptDlg() override;

    QString Title() const;
    void SetTitle(const QString &title);
    QString Text() const;
    void SetText(const QString &text);

    // One row per pair, each answered "Use the newest version" (the
    // pre-selected action) until the user chooses otherwise.
    void AddConflicts(const QList<TSyncConflict> &conflicts);
    // The answer of the pair at that position of the list given.
    TConflictChoice Choice(int pair) const;
    // Writes the answers into the pairs (the list given to AddConflicts):
    // "Do nothing" skips, "Use this computer's version" copies B over A,
    // "Use this USB drive's version" A over B, "Use the newest version"
    // keeps the pre-selected action.
    void ApplyChoices(QList<TSyncConflict> &conflicts) const;

    // The position of an extension (".txt", case ignored) in the file type
    // lists, added on first use; 0 is a folder, 1 a file without extension.
    int GetIconIndex(const QString &FileExt);
    const QStringList &FileExtList() const { return FFileExtList; }
    const QStringList &FileTypeList() const { return FFileTypeList; }
    // The icon of each position, drawn at 16 pixels in the list and at 32
    // in the detail panel.
    const QList<QIcon> &FileIcons() const { return FFileIcons; }

    // Where "Open in Explorer" shows the files; the user's session bus
    // unless set.
    void SetFileManager(const TFileManagerLink &link) { FFileManager = link; }
    // Shows the files of the row in the detail panel selected in the file
    // manager; only a side that has its file. Returns the native files.
    QStringList OpenInExplorer();

    // Asks modally through ExecModal. True on OK, with the answers written
    // into the pairs; any other close (Cancel, Esc, the close box) is false.
    static bool Ask(QWidget *parent, QList<TSyncConflict> &conflicts);

private:
    void BuildControls();
    void ListSelectionChanged();
    void ActionClicked(int choice);
    void RepeatToggled();
    void SetRowChoice(QTreeWidgetItem *row, TConflictChoice choice);
    TConflictChoice RowChoice(const QTreeWidgetItem *row) const;
    // The row the detail panel shows: the current row when it is selected,
    // else the first selected one.
    QTreeWidgetItem *ShownRow() const;
    void ShowPair(const QTreeWidgetItem *row);
    void ClearDetails();

    QLabel *Label1;
    QLabel *Label2;
    QTreeWidget *ListView;
    QGroupBox *Action;
    QButtonGroup *FActionButtons;
    QCheckBox *chkRepeat;
    QGroupBox *GroupBox1;
    QLabel *Image1;
    QLabel *FileName;
    QLabel *FileType;
    QLabel *DifferLabel;
    QLabel *PCSize;
    QLabel *PCDate;
    QLabel *PCFolder;
    QLabel *USBSize;
    QLabel *USBDate;
    QLabel *USBFolder;
    QPushButton *OKBtn;
    QPushButton *PngSpeedButton1;
    QMenu *PopupMenu1;

    QList<TSyncConflict> FPairs;
    QStringList FFileExtList;
    QStringList FFileTypeList;
    QList<QIcon> FFileIcons;
    std::optional<TFileManagerLink> FFileManager;
    bool FLoading = false;
};

} // namespace trovalo
