#pragma once

#include <QGroupBox>

class QFormLayout;
class QLabel;

namespace trovalo {

class TDrivePie;

// The wizards' space figures: the destination drive's used, free and total
// space, what the selection needs, and what would be left, with a pie of
// "Currently Used Space", "Free Space After Backup", "Space Requited" and
// "Over load".
class TSpaceInfoBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit TSpaceInfoBox(const QString &title, QWidget *parent = nullptr);

    // "Backup Drive : " (the destination's drive followed by "\").
    void SetDriveName(const QString &drive);
    // The destination drive's space; -1 when it is not on a drive. Clears
    // the pie.
    void SetDiskSpace(qint64 free, qint64 total);
    qint64 DiskFree() const { return FFree; }
    qint64 DiskTotal() const { return FTotal; }
    // What the selection needs (the pie follows when the drive is known).
    void SetRequired(qint64 size, qint64 files, qint64 folders);
    // The selection is being counted: its figures are not known yet.
    void SetCounting();

    TDrivePie *Chart() const { return FChart; }
    // Room for a button under the figures (the move wizard's "Analyse").
    void AddButton(QWidget *button);

private:
    QLabel *AddRow(const char *name, const QString &caption);

    QFormLayout *FForm = nullptr;
    QLabel *DriveName = nullptr;
    QLabel *UsedSpace = nullptr;
    QLabel *TotalSpace = nullptr;
    QLabel *lblSpaceRequred = nullptr;
    QLabel *lblFilesFolders = nullptr;
    QLabel *LblAfterBackup = nullptr;
    TDrivePie *FChart = nullptr;
    qint64 FFree = -1;
    qint64 FTotal = -1;
};

} // namespace trovalo
