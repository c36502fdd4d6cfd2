#pragma once

#include "drives/DriveSelectDialog.h"

#include <QString>

class QCheckBox;

namespace trovalo {

// "Open Drive": the user picks one USB drive to work with; a drive not yet
// set up on this computer is set up here. Shown modally; after OK,
// DefaultStr() is the chosen drive's root (e.g. "E:\\").
// SetDriveTypes and DefaultStr come from TDriveSelectDialog.
class TOpenFlash : public TDriveSelectDialog
{
    Q_OBJECT

public:
    explicit TOpenFlash(QWidget *parent = nullptr);
    ~TOpenFlash() override;

protected:
    // Sets an unknown drive up with the auto-load choice; a drive already
    // set up on this computer keeps the choice it has.
    bool PrepareDrive(const QString &root) override;

private:
    QString FPCID;
    QCheckBox *ChkAutoLoad = nullptr;
};

} // namespace trovalo
