#include "schedules/ScheduleTableModel.h"

#include "base/DateTimeText.h"
#include "control/ScheduleEditing.h"

#include <QColor>
#include <QFont>

namespace trovalo {

TScheduleTableModel::TScheduleTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

void TScheduleTableModel::SetRows(const QList<TScheduleRunRow> &rows)
{
    beginResetModel();
    FRows = rows;
    endResetModel();
}

void TScheduleTableModel::SetRow(int row, const TScheduleRunRow &value)
{
    FRows[row] = value;
    emit dataChanged(index(row, 0), index(row, colCount - 1));
}

int TScheduleTableModel::RowOfId(qint64 id) const
{
    for (int row = 0; row < FRows.size(); ++row)
        if (FRows.at(row).ID == id)
            return row;
    return -1;
}

QColor TScheduleTableModel::TriggerColor(int mode)
{
    switch (mode) {
    case stStartup:
        return QColor(176, 255, 170);
    case stShutdown:
        return QColor(219, 255, 170);
    case stTime:
        return QColor(255, 204, 204);
    case stDriveInsertion:
        return QColor(236, 255, 0);
    }
    return QColor();
}

int TScheduleTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FRows.size());
}

int TScheduleTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : colCount;
}

QVariant TScheduleTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FRows.size())
        return {};
    const TScheduleRunRow &row = FRows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case colJobName:
            return row.JobName;
        case colNextRunTime:
            return row.NextRunTime ? DateTimeText(*row.NextRunTime) : QStringLiteral("N/A");
        case colType:
            return ScheduleJobTypeText(row.FileName);
        }
        return {};
    case Qt::CheckStateRole:
        if (index.column() == colActive)
            return row.Active ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole: {
        const QColor color = TriggerColor(row.Mode);
        return color.isValid() ? QVariant(color) : QVariant();
    }
    case Qt::ForegroundRole:
        // Light backgrounds under any theme: dark text stays readable.
        return TriggerColor(row.Mode).isValid() ? QVariant(QColor(Qt::black)) : QVariant();
    case Qt::ToolTipRole:
        return row.FileName;
    }
    return {};
}

QVariant TScheduleTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        switch (section) {
        case colJobName:
            return QStringLiteral("Job Name");
        case colNextRunTime:
            return QStringLiteral("Next Run Time");
        case colActive:
            return QStringLiteral("Active");
        case colType:
            return QStringLiteral("Type");
        }
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::FontRole: {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    }
    return {};
}

Qt::ItemFlags TScheduleTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == colActive)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool TScheduleTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != colActive || role != Qt::CheckStateRole)
        return false;
    emit ActiveEdited(index.row(), value.toInt() == Qt::Checked);
    return true;
}

} // namespace trovalo
