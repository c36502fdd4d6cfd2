#pragma once

#include "progress/JobLogFile.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QString>

#include <vector>

namespace trovalo {

// The rows of a job's operation log: "Time Stamp", "Action", "File Name",
// "Info", with the row's state as its image. A run over many files adds
// rows far faster than a view can take them one by one, so appended rows
// wait and join the model in one insertion when the event loop next runs
// (or at Flush).
class TJobLogModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TJobLogModel(QObject *parent = nullptr);

    // Stamped with the current date and time.
    void Append(const QString &Action, const QString &FileName, const QString &Info, TJobLogState State);
    // Makes waiting rows part of the model now.
    void Flush();
    void Clear();

    // Every row, the waiting ones included, as the log file saves them.
    QList<TJobLogLine> Lines() const;
    // Rows, the waiting ones included.
    qsizetype TotalRows() const { return qsizetype(FRows.size()); }
    // A time stamp as wide as they get (for sizing the column).
    QString WidestTimeStamp() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct TRow
    {
        qint64 StampMSecs = 0; // since the epoch; formatted when shown
        QString Action;
        QString FileName;
        QString Info;
        TJobLogState State = jlsSuccess;
    };

    QString TimeStampText(qint64 msecs) const;

    std::vector<TRow> FRows;
    int FShown = 0; // rows the views know of; the rest wait for Flush
    bool FFlushPosted = false;
    QString FStampFormat;
    QIcon FDocumentIcon;
    QIcon FErrorIcon;
};

} // namespace trovalo
