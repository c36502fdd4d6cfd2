#pragma once

#include <QList>
#include <QString>

namespace trovalo {

// State of an operation log row, as its image index.
enum TJobLogState : int { jlsSuccess = 0, jlsFailed = 1, jlsThreadError = 2 };

// One row of a job's operation log as it is saved.
struct TJobLogLine
{
    QString TimeStamp;
    QString Action;
    TJobLogState State = jlsSuccess;
    QString FileName; // for an error row: its message
};

// The text file a job's operation log is saved as: a framed header, one
// TAB-separated line per row and "End Log.", every line ended by CR LF.
class TJobLogFile
{
public:
    // "Success", "Failed" or "Thread Error".
    static QString StatusText(TJobLogState state);
    // The whole file's bytes.
    static QByteArray Render(const QList<TJobLogLine> &rows);
    // Writes the file at NativePath through a temporary file that replaces
    // it only when complete, so a failed save leaves an existing file as it
    // was. Raises EFileError naming the file and the reason.
    static void Save(const QString &NativePath, const QList<TJobLogLine> &rows);
};

} // namespace trovalo
