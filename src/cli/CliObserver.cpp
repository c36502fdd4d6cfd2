#include "CliObserver.h"

#include <QMutexLocker>

#include <cmath>
#include <iostream>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace trovalo::cli {

namespace {
// The status line is redrawn no more often than this, so a run of many small
// files spends its time copying, not repainting the terminal.
constexpr qint64 RedrawIntervalMs = 100;
// Tick redraws a line that is still shown only this often (the clock moves).
constexpr qint64 TickRedrawIntervalMs = 1000;

int TerminalWidth()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

// Engine texts use CR LF line breaks (the low-disk message).
QString PlainLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}
} // namespace

TCliObserver::TTerminal TCliObserver::DetectTerminal()
{
    TTerminal terminal;
    terminal.LiveLine = ::isatty(STDERR_FILENO) == 1 && qgetenv("TERM") != "dumb";
    terminal.CanAsk = ::isatty(STDIN_FILENO) == 1;
    terminal.Width = TerminalWidth();
    return terminal;
}

TCliObserver::TCliObserver(QTextStream &out, QTextStream &err, const TTerminal &terminal)
    : FOut(out)
    , FErr(err)
    , FTerminal(terminal)
{}

void TCliObserver::OnStatuesChange(TThreadBase &, const TStatusReport &report)
{
    QMutexLocker lock(&FMutex);
    FReport = report;
    FTotals.FinalStatus = report.StatusMsg;
    const QString item = report.StatusMsg.trimmed();
    if (!item.isEmpty() && item != FCurrentItem) {
        FCurrentItem = item;
        FFilePercent = -1;
    }
    DrawLiveLine(false);
}

void TCliObserver::OnError(TThreadBase &, const QString &statusMsg, int)
{
    QMutexLocker lock(&FMutex);
    ++FTotals.ErrorEvents;
    ClearLiveLine();
    FOut << "ERROR  " << statusMsg << "\n";
    FOut.flush();
    DrawLiveLine(false);
}

void TCliObserver::OnFileProsess(TThreadBase &, double percentage, const QString &)
{
    QMutexLocker lock(&FMutex);
    FFilePercent = percentage;
    DrawLiveLine(false);
}

void TCliObserver::OnLog(TThreadBase &, const QString &fileName, const QString &action, const QString &info,
                         TEvent event)
{
    QMutexLocker lock(&FMutex);
    const QString actionText = action.trimmed();
    if (event == eFailedorSkip)
        ++FTotals.FailedRows;
    else if (actionText == QLatin1String("Copy File") || actionText == QLatin1String("Zip File") ||
             actionText == QLatin1String("UnZip File"))
        ++FTotals.Copied;
    else if (actionText.startsWith(QLatin1String("Delete")))
        ++FTotals.Removed;
    ClearLiveLine();
    if (event == eFailedorSkip)
        FOut << "FAILED  ";
    FOut << actionText << "  " << fileName << "  " << info << "\n";
    FOut.flush();
    DrawLiveLine(false);
}

TLowDiskAnswer TCliObserver::AskLowDiskSpace(TThreadBase &, const QString &message)
{
    // The lock is held while the user thinks: nothing else may write then.
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FErr << "\nLow Disk Space\n" << PlainLines(message) << "\n";
    if (!FTerminal.CanAsk) {
        FErr << "There is no terminal to answer on: Abort.\n";
        FErr.flush();
        FTotals.AbortedUnasked = true;
        return ldaAbort;
    }
    for (;;) {
        const std::optional<QString> answer = AskLine(FErr, QStringLiteral("Skip, Abort or Retry? [s/a/r] "));
        if (!answer)
            return ldaAbort;
        const QString word = answer->trimmed().toLower();
        if (word == QLatin1String("s") || word == QLatin1String("skip"))
            return ldaSkip;
        if (word == QLatin1String("a") || word == QLatin1String("abort"))
            return ldaAbort;
        if (word == QLatin1String("r") || word == QLatin1String("retry"))
            return ldaRetry;
    }
}

void TCliObserver::OnFinished(TThreadBase &)
{
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FEnded = true;
}

void TCliObserver::Tick()
{
    QMutexLocker lock(&FMutex);
    if (!FLineShown || FLastDraw.elapsed() >= TickRedrawIntervalMs)
        DrawLiveLine(true);
}

void TCliObserver::Warn(const QString &text)
{
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FErr << text << "\n";
    FErr.flush();
}

TCliObserver::TTotals TCliObserver::Totals() const
{
    QMutexLocker lock(&FMutex);
    return FTotals;
}

void TCliObserver::DrawLiveLine(bool force)
{
    if (!FTerminal.LiveLine || FEnded)
        return;
    if (!force && FLastDraw.isValid() && FLastDraw.elapsed() < RedrawIntervalMs)
        return;
    FErr << '\r' << LiveLineText() << "\x1b[K";
    FErr.flush();
    FLineShown = true;
    FLastDraw.restart();
}

void TCliObserver::ClearLiveLine()
{
    if (!FLineShown)
        return;
    FErr << "\r\x1b[K";
    FErr.flush();
    FLineShown = false;
}

QString TCliObserver::LiveLineText() const
{
    const QString percent = FReport.ProgressBarPosition < 0
                                ? QStringLiteral("  ...")
                                : QStringLiteral("%1%").arg(FReport.ProgressBarPosition, 4);
    const QString prefix =
        QStringLiteral("%1  %2  %3 left  ").arg(percent, FReport.Speed(), RemainingTimeText(FReport.ATR()));
    QString item = FCurrentItem;
    if (FFilePercent >= 0 && FFilePercent < 100)
        item += QStringLiteral(" (%1%)").arg(static_cast<int>(FFilePercent));
    // One column is kept free: writing into the last one wraps on some terminals.
    const int room = FTerminal.Width - 1 - static_cast<int>(prefix.size());
    if (room < 8)
        return ShortenMiddle(prefix.trimmed(), FTerminal.Width - 1);
    return prefix + ShortenMiddle(item, room);
}

std::optional<QString> AskLine(QTextStream &err, const QString &prompt)
{
    err << prompt;
    err.flush();
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

QString RemainingTimeText(double days)
{
    // Beyond a few years an estimate means nothing (and would overflow).
    if (!(days >= 0) || days > 10000)
        return QStringLiteral("--:--:--");
    const qint64 seconds = std::llround(days * 86400);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString ShortenMiddle(const QString &text, int width)
{
    if (width <= 0)
        return {};
    if (text.size() <= width)
        return text;
    if (width <= 3)
        return text.left(width);
    // The end of a path (the file name) says more than its start.
    const int keep = width - 3;
    const int head = keep / 3;
    return text.left(head) + QStringLiteral("...") + text.right(keep - head);
}

} // namespace trovalo::cli
