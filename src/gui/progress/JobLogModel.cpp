#include "progress/JobLogModel.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStyle>

namespace trovalo {

namespace {

// The user's short date and long time, without the time zone that Qt's
// long time format carries.
QString StampFormat()
{
    const QLocale locale;
    static const QRegularExpression zone(QStringLiteral("\\s*(?<![A-Za-z'])t(?![A-Za-z'])"));
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(zone);
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.trimmed();
}

const char *const ColumnTitles[] = {"Time Stamp", "Action", "File Name", "Info"};
constexpr int ColumnCount = 4;

} // namespace

TJobLogModel::TJobLogModel(QObject *parent)
    : QAbstractTableModel(parent)
    , FStampFormat(StampFormat())
    , FDocumentIcon(QApplication::style()->standardIcon(QStyle::SP_FileIcon))
    , FErrorIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical))
{}

void TJobLogModel::Append(const QString &Action, const QString &FileName, const QString &Info,
                          TJobLogState State)
{
    FRows.push_back({QDateTime::currentMSecsSinceEpoch(), Action, FileName, Info, State});
    if (!FFlushPosted) {
        FFlushPosted = true;
        QMetaObject::invokeMethod(this, &TJobLogModel::Flush, Qt::QueuedConnection);
    }
}

void TJobLogModel::Flush()
{
    FFlushPosted = false;
    const int total = int(FRows.size());
    if (total == FShown)
        return;
    beginInsertRows(QModelIndex(), FShown, total - 1);
    FShown = total;
    endInsertRows();
}

void TJobLogModel::Clear()
{
    beginResetModel();
    FRows.clear();
    FShown = 0;
    endResetModel();
}

QList<TJobLogLine> TJobLogModel::Lines() const
{
    QList<TJobLogLine> lines;
    lines.reserve(qsizetype(FRows.size()));
    for (const TRow &row : FRows)
        lines.append({TimeStampText(row.StampMSecs), row.Action, row.State, row.FileName});
    return lines;
}

int TJobLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FShown;
}

int TJobLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TJobLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FShown)
        return {};
    const TRow &row = FRows[std::size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case 0:
            return TimeStampText(row.StampMSecs);
        case 1:
            return row.Action;
        case 2:
            return row.FileName;
        case 3:
            return row.Info;
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0)
        return row.State == jlsThreadError ? FErrorIcon : FDocumentIcon;
    if (role == Qt::UserRole)
        return int(row.State);
    return {};
}

QVariant TJobLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(ColumnTitles[section]);
}

QString TJobLogModel::TimeStampText(qint64 msecs) const
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(msecs), FStampFormat);
}

QString TJobLogModel::WidestTimeStamp() const
{
    // Two-digit day, month, hours and the longest month name of the year.
    const QTime late(23, 58, 58);
    QString widest;
    for (int month = 1; month <= 12; ++month) {
        const QString text = TimeStampText(QDateTime(QDate(2026, month, 28), late).toMSecsSinceEpoch());
        if (text.size() > widest.size())
            widest = text;
    }
    return widest;
}

} // namespace trovalo
