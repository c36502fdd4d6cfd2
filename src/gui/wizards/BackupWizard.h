#pragma once

#include "wizards/JobWizardBase.h"

#include <QList>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace trovalo {

class TFolderPaths;

// "Backup Wizard": makes a backup job or changes one, in five pages: name,
// type and encryption; the destination folder; the folders and files to
// back up (with quick picks of the user's folders); the filter; finish.
class TBackupWizard : public TJobWizardBase
{
    Q_OBJECT

public:
    TBackupWizard();
    ~TBackupWizard() override;

    // For a new job from one USB drive to another: the other drive ("F:").
    void SetSourceDrive(const QString &drive) { FSourceDrive = drive; }

    // One quick pick: its button, caption and folder.
    struct TQuickPick
    {
        const char *Name;
        QString Caption;
        QString Folder;
        QString Application; // the Linux application whose data it is, or ""
    };
    const QList<TQuickPick> &QuickPicks() const { return FQuickPicks; }

    void BackupTypeClick();
    void RadioButtonyesClick();
    void btnResetBackupClick();
    void BtnSpicialFoldersClick(QAbstractButton *button, bool pressed);

protected:
    void PrepareArchiveJob() override;
    bool TakeOverPage(const QString &page) override;
    void PageShown(const QString &page) override;
    TNvShellTreeViewEx *FolderTreeOf(const QString &page) const override;

private:
    void BuildSettingsPage();
    void BuildDestinationPage();
    void BuildSourcePage();
    bool TakeSettings();
    void PrepareSourceTree();
    void SourceFolderTabShow();
    void UpdateQuickPicks();
    void stvPCFileSize();
    bool ListedBySource(const TShellEntry &entry) const;
    bool ListedByDestination(const TShellEntry &entry) const;

    QString FSourceDrive;
    bool PattenChnage = false;
    bool FSourceTreeReady = false;
    std::unique_ptr<TFolderPaths> FolderPaths;
    QList<TQuickPick> FQuickPicks;

    QLineEdit *BackupName = nullptr;
    QGroupBox *BackupType = nullptr;
    QButtonGroup *FTypes = nullptr;
    QLabel *Note = nullptr;
    QGroupBox *GroupZip = nullptr;
    QRadioButton *RadioButtonyes = nullptr;
    QRadioButton *RadioButtonNo = nullptr;
    QLabel *PasswordLabel = nullptr;
    QLabel *Password1Label = nullptr;
    QLineEdit *Password = nullptr;
    QLineEdit *Password1 = nullptr;
    QAbstractButton *btnResetBackup = nullptr;
    TNvShellTreeViewEx *stvDestination = nullptr;
    TNvShellTreeViewEx *stvPC = nullptr;
    QLabel *LabelTopNote = nullptr;
    QWidget *fpSpicialFolders = nullptr;
    QButtonGroup *FQuickButtons = nullptr;
    TSpaceInfoBox *FSpace = nullptr;
};

} // namespace trovalo
