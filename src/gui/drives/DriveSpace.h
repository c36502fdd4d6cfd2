#pragma once

#include "drives/DriveCollection.h"

#include <QColor>
#include <QWidget>

class QTreeWidget;

namespace trovalo {

namespace foldersize {
class TFileCollection;
}

// Per drive: size, free space, what a sync job may write there and the free
// space left after it, coloured by how much room remains. The two folder
// collections run in parallel: entry i of A and entry i of B are pair i.
class TDriveSpace : public QWidget
{
    Q_OBJECT

public:
    explicit TDriveSpace(QWidget *parent = nullptr);
    ~TDriveSpace() override;

    // Not owned; set by the wizard before Refresh.
    foldersize::TFileCollection *FileCollectionA() const { return FFileCollectionA; }
    void SetFileCollectionA(foldersize::TFileCollection *Value) { FFileCollectionA = Value; }
    foldersize::TFileCollection *FileCollectionB() const { return FFileCollectionB; }
    void SetFileCollectionB(foldersize::TFileCollection *Value) { FFileCollectionB = Value; }

    // Adds up the requirement of every pair and lists the drives again.
    void Refresh();

    const TDriveCollection &Drives() const { return FDrives; }

    // Row colours, also shown in the legend.
    static const QColor LotOfSpaceColor;   // after the job more than a tenth of the drive is free
    static const QColor LowSpaceColor;     // less is left
    static const QColor NoSpaceColor;      // the job does not fit
    static const QColor NotAvailableColor; // the drive's room cannot be read

    static QColor RowColor(const TDriveData &Drive);
    // "N/A" when the free space cannot be read; "-1 Gb" when it is short.
    static QString FreeAfterText(const TDriveData &Drive);

private:
    // Adds Bytes to the requirement of the drive that holds Path.
    void Require(const QString &Path, qint64 Bytes);
    void AddRow(const TDriveData &Drive);

    foldersize::TFileCollection *FFileCollectionA = nullptr;
    foldersize::TFileCollection *FFileCollectionB = nullptr;
    TDriveCollection FDrives;
    QTreeWidget *DriveList = nullptr;
};

} // namespace trovalo
