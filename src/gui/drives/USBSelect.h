#pragma once

#include "drives/DriveSelectDialog.h"

#include <QString>

namespace trovalo {

// The chooser of the source drive of a backup from one USB drive to
// another. Shown modally; after OK, DefaultStr() is the chosen drive's root.
class TUSBSelect : public TDriveSelectDialog
{
    Q_OBJECT

public:
    explicit TUSBSelect(QWidget *parent = nullptr);
    ~TUSBSelect() override;

    // The console's own drive ("E:\"). It is listed like any other drive:
    // a backup within one stick is a choice the user may make.
    void SetHostDrive(const QString &Value);
    QString HostDrive() const { return FHostDrive; }

private:
    QString FHostDrive;
};

} // namespace trovalo
