#include "base/Logging.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace trovalo {

Q_LOGGING_CATEGORY(LogEngine, "trovalo.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(LogDb, "trovalo.db", QtInfoMsg)
Q_LOGGING_CATEGORY(LogDrives, "trovalo.drives", QtInfoMsg)
Q_LOGGING_CATEGORY(LogSchedule, "trovalo.schedule", QtInfoMsg)
Q_LOGGING_CATEGORY(LogGui, "trovalo.gui", QtInfoMsg)
Q_LOGGING_CATEGORY(LogCli, "trovalo.cli", QtInfoMsg)
Q_LOGGING_CATEGORY(LogStartUp, "trovalo.startup", QtInfoMsg)
Q_LOGGING_CATEGORY(LogSession, "trovalo.session", QtInfoMsg)

namespace {

// QtMsgType is not ordered by severity (info came last).
int Severity(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 0;
    case QtInfoMsg:
        return 1;
    case QtWarningMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtFatalMsg:
        return 4;
    }
    return 2;
}

const char *LevelName(QtMsgType type)
{
    static const char *const names[] = {"debug", "info", "warning", "critical", "fatal"};
    return names[Severity(type)];
}

// Stdio retries short writes; the flush puts the line out at once, so a
// crash loses none.
bool WriteLine(std::FILE *file, const QByteArray &line)
{
    return std::fwrite(line.constData(), 1, size_t(line.size()), file) == size_t(line.size()) &&
           std::fflush(file) == 0;
}

QByteArray LineBytes(QtMsgType type, const char *category, const QString &message)
{
    return FormatLogLine(QDateTime::currentDateTime(), type, category, message).toUtf8() + '\n';
}

// A line longer than the whole file may be is cut at a character boundary.
QByteArray FittedLine(const QByteArray &line, qint64 maxBytes)
{
    if (line.size() <= maxBytes)
        return line;
    const QByteArray ellipsis("...\n");
    qsizetype end = qsizetype(maxBytes) - ellipsis.size();
    while (end > 0 && (uchar(line.at(end)) & 0xC0) == 0x80)
        --end;
    return line.left(end) + ellipsis;
}

// The log file, shared by every thread. Writes are short and local, so one
// mutex keeps lines whole without holding a worker up for long.
class TLogSink
{
public:
    void Write(QtMsgType type, const char *category, const QString &message)
    {
        const QByteArray line = LineBytes(type, category, message);
        std::lock_guard<std::mutex> lock(FMutex);
        WriteLine(stderr, line);
        if (FFile && Severity(type) >= FMinSeverity)
            Append(FittedLine(line, FMaxBytes));
    }

    bool Open(const QString &nativeFile, qint64 maxBytes, QtMsgType minLevel)
    {
        std::lock_guard<std::mutex> lock(FMutex);
        CloseLocked();
        FFileName = QFile::encodeName(nativeFile);
        // Room for a few whole lines at least.
        FMaxBytes = qMax<qint64>(maxBytes, 256);
        FMinSeverity = Severity(minLevel);
        // "e": close-on-exec, so a program started from here does not hold it.
        FFile = std::fopen(FFileName.constData(), "ae");
        if (!FFile || std::fseek(FFile, 0, SEEK_END) != 0 || (FSize = std::ftell(FFile)) < 0) {
            GiveUp("cannot be opened");
            return false;
        }
        return true;
    }

    void Close()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        CloseLocked();
    }

private:
    void Append(const QByteArray &line)
    {
        if (FSize > 0 && FSize + line.size() > FMaxBytes && !Rotate())
            return;
        if (!WriteLine(FFile, line)) {
            GiveUp("cannot be written");
            return;
        }
        FSize += line.size();
    }

    bool Rotate()
    {
        std::fclose(FFile);
        // A file the user removed meanwhile is simply begun anew.
        const QByteArray old = FFileName + ".1";
        std::rename(FFileName.constData(), old.constData());
        FFile = std::fopen(FFileName.constData(), "we");
        FSize = 0;
        if (FFile)
            return true;
        GiveUp("cannot be begun anew");
        return false;
    }

    // Called with the mutex held: the note goes straight to standard error,
    // never through the handler.
    void GiveUp(const char *what)
    {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        CloseLocked();
        WriteLine(stderr,
                  LineBytes(QtWarningMsg, "trovalo.startup",
                            QStringLiteral("The log file %1 %2 (%3); messages go to standard error only")
                                .arg(QFile::decodeName(FFileName), QLatin1String(what), reason)));
    }

    void CloseLocked()
    {
        if (FFile)
            std::fclose(FFile);
        FFile = nullptr;
        FSize = 0;
    }

    std::mutex FMutex;
    QByteArray FFileName;
    std::FILE *FFile = nullptr;
    qint64 FSize = 0;
    qint64 FMaxBytes = DefaultLogFileCap;
    int FMinSeverity = 1;
};

// Never destroyed: messages may still come while the process ends.
TLogSink &Sink()
{
    static TLogSink *const sink = new TLogSink;
    return *sink;
}

void HandleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Sink().Write(type, context.category, message);
}

} // namespace

QString FormatLogLine(const QDateTime &time, QtMsgType type, const char *category, const QString &message)
{
    QString text = message;
    text.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    text.replace(QLatin1Char('\n'), QLatin1String(" | "));
    text.replace(QLatin1Char('\r'), QLatin1String(" | "));
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) +
           QString::fromLatin1(LevelName(type)).leftJustified(9) +
           QString::fromLatin1(category ? category : "default") + QStringLiteral(": ") + text;
}

QtMessageHandler InstallLogHandler()
{
    Sink(); // made before any thread can race for it
    return qInstallMessageHandler(HandleMessage);
}

void SetQuietLogging(bool quiet)
{
    QLoggingCategory::setFilterRules(quiet ? QStringLiteral("*.debug=false\n*.info=false") : QString());
}

bool OpenLogFile(const QString &nativeFile, qint64 maxBytes, QtMsgType minLevel)
{
    return Sink().Open(nativeFile, maxBytes, minLevel);
}

void CloseLogFile()
{
    Sink().Close();
}

} // namespace trovalo
