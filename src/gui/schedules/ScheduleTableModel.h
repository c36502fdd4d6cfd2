#pragma once

#include "db/ProgramDatabase.h"

#include <QAbstractTableModel>
#include <QList>

namespace trovalo {

// The rows of ScheduleRun as the schedule editor's grid shows them: job
// name, next run time, the Active check box and the job type, each row
// coloured by its trigger. The model holds copies; the editor writes them to
// the program database and puts a row's pending values here to show them.
class TScheduleTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum TColumn { colJobName = 0, colNextRunTime, colActive, colType, colCount };

    explicit TScheduleTableModel(QObject *parent = nullptr);

    void SetRows(const QList<TScheduleRunRow> &rows);
    const TScheduleRunRow &Row(int row) const { return FRows.at(row); }
    void SetRow(int row, const TScheduleRunRow &value);
    // The position of the row with that ID, or -1.
    int RowOfId(qint64 id) const;

    // The background of a row of this trigger.
    static QColor TriggerColor(int mode);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A click on an Active check box: reported as ActiveEdited; the row
    // changes when the editor puts its pending values back.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    void ActiveEdited(int row, bool active);

private:
    QList<TScheduleRunRow> FRows;
};

} // namespace trovalo
