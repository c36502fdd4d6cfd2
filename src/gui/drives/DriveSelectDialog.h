#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

namespace trovalo {

class TDriveInterfaceType;
class TDrivePie;
struct TDriveInfo;

// What the two drive choosers share: the list of drives filtered by
// interface type, the name / used / free / total labels with the pie, and
// the "Next", "Cancel" and "Refresh Drive List" buttons. A derived dialog
// adds its texts and may set the chosen drive up before the dialog closes.
class TDriveSelectDialog : public QDialog
{
    Q_OBJECT

public:
    ~TDriveSelectDialog() override;

    // Accepted interface types, stored in upper case ("USB"); "" accepts
    // every drive. Refreshes the list.
    void SetDriveTypes(const QString &Value);
    QString DriveTypes() const { return FDriveTypes; }
    // The chosen drive's root ("E:\") after OK.
    QString DefaultStr() const { return FDefaultStr; }

    // The drive table to filter with; the shared one unless a caller gives
    // another (not owned).
    void SetInterfaceTable(TDriveInterfaceType *table);

    // Lists the drives again from the current drive table.
    void RefreshList();
    // "Refresh Drive List": re-reads the interface table, then the list.
    void RefreshDriveList();

    // Root ("E:\") of the selected drive; "" without a selection.
    QString SelectedRoot() const;
    // Selects the listed drive of this root; false when it is not listed.
    bool SelectDrive(const QString &root);
    // Roots of the listed drives, in list order.
    QStringList ListedRoots() const;

    // "Next": checks the selection, lets the dialog set the drive up, and
    // closes with OK; otherwise shows why and stays.
    void Next();

protected:
    explicit TDriveSelectDialog(QWidget *parent);

    // Where a derived dialog puts its texts (above the list) and its options
    // (below the drive details).
    QVBoxLayout *IntroArea() const { return FIntroArea; }
    QVBoxLayout *OptionsArea() const { return FOptionsArea; }

    // Called by Next for an existing selected drive before the dialog closes;
    // false keeps the dialog open. Failures (an exception) also keep it open.
    virtual bool PrepareDrive(const QString &root);

private:
    bool Listed(const TDriveInfo &drive) const;
    void ShowSelection();

    QString FDriveTypes;
    QString FDefaultStr;
    TDriveInterfaceType *FInterfaceTable = nullptr;

    QVBoxLayout *FIntroArea = nullptr;
    QVBoxLayout *FOptionsArea = nullptr;
    QTreeWidget *ShellListView1 = nullptr;
    QLabel *DriveName = nullptr;
    QLabel *UsedSpace = nullptr;
    QLabel *TotalSpace = nullptr;
    TDrivePie *NvPieChart1 = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *PngSpeedButton1 = nullptr;
    QPushButton *btnRefresh = nullptr;
};

} // namespace trovalo
