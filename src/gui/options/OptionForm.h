#pragma once

#include <QString>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace trovalo {

class TDataModuleQuillonSuite;
class TNvShellTreeViewEx;

// The options window: edits the controller's program settings, switches
// the start with the user's log-on (an autostart entry, changed at once),
// shows the space the deleted-files folder uses and empties that folder.
// Made once when the start-up ends and kept for the whole run: closing only
// hides it, and edits that were not saved stay in its controls. "Save"
// puts every control into the settings, which are in effect from then on,
// and writes the settings file.
//
// Every control carries its component name as objectName (EnableMini,
// seMaxDeleteSize, ShellTreeView1, SaveBtn…); the three choices of
// cbSchMode are named after their values (srmAsk, srmNext, srmSkip).
class TOptionForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int UsedSizeInterval = 1000;

    explicit TOptionForm(TDataModuleQuillonSuite &Controller, QWidget *parent = nullptr);
    ~TOptionForm() override;

    // Loads every control from the settings (once, when the window is made):
    // the deleted-files folder is made when missing and chosen in the tree,
    // and the used size is brought up to date.
    void RefeechBtnClick();
    // Controls into the settings, then the settings file. A file that
    // cannot be written gets a message; the settings stay in effect.
    void SaveBtnClick();
    // Writes or removes the autostart entry as the box says, then shows
    // the entry's real state.
    void ChkStartupClick();
    // Asks, then empties the deleted-files folder of the settings of what
    // deletion protection put there, and lists what stays.
    void BtnDeleteDeletedClick();
    void seMaxDeleteSizeChange();
    // A folder chosen in the tree becomes the deleted-files folder shown in
    // Label4, unless it may not be one: then the reason is shown instead.
    void ShellTreeView1Change(const QString &Path);
    // The used size from the controller's last alert check, coloured by
    // how it stands to the limit in the spin edit.
    void Timer1Timer();

    QTimer *Timer1() const { return FTimer1; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QGroupBox *BuildGeneralGroup();
    QGroupBox *BuildScheduleGroup();
    QGroupBox *BuildProtectionGroup();
    QCheckBox *AddCheckBox(const char *name, const QString &caption, QWidget *parent);
    // The reason a folder is refused under the tree; "" hides it.
    void ShowFolderRefusal(const QString &reason);

    TDataModuleQuillonSuite &FController;
    QString FDataFolder; // the program's data folder; "" when it has no drive-letter form

    QCheckBox *EnableMini = nullptr;
    QCheckBox *ShowHiddenFiles = nullptr;
    QCheckBox *DriveAutoRun = nullptr;
    QCheckBox *checkupdate = nullptr;
    QCheckBox *ChkStartup = nullptr;
    QGroupBox *cbSchMode = nullptr;
    QButtonGroup *FSchModeItems = nullptr;
    QCheckBox *cbMoveToDelete = nullptr;
    QSpinBox *seMaxDeleteSize = nullptr;
    QLabel *lblWarning = nullptr;
    TNvShellTreeViewEx *ShellTreeView1 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *lblFolderRefused = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *UsedSize = nullptr;
    QPushButton *BtnDeleteDeleted = nullptr;
    QPushButton *SaveBtn = nullptr;
    QTimer *FTimer1 = nullptr;
};

} // namespace trovalo
