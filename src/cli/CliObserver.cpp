#include "CliObserver.h"

#include "base/PathText.h"
#include "base/SizeText.h"

#include <QLocale>
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

// A conflict's size as the conflict dialog shows it.
QString ConflictSizeText(qint64 size)
{
    return size < 0 ? QStringLiteral("File Not Found") : SizeText(size, TSizeUnits::FileList);
}

QString ConflictDateText(TDateTime date)
{
    return date == 0 ? QStringLiteral("-")
                     : QLocale::system().toString(DateTimeToQt(date), QLocale::ShortFormat);
}

// The dialog's choices turned into the action the engine carries out.
void Settle(TSyncConflict &conflict, TCliObserver::TConflictAnswer answer)
{
    switch (answer) {
    case TCliObserver::TConflictAnswer::Skip:
        conflict.Action = faSkip;
        break;
    case TCliObserver::TConflictAnswer::UsbVersion:
        conflict.Action = faCopyAB;
        break;
    case TCliObserver::TConflictAnswer::ComputerVersion:
        conflict.Action = faCopyBA;
        break;
    case TCliObserver::TConflictAnswer::Ask:
    case TCliObserver::TConflictAnswer::Newest:
        break; // the pre-selected action is the newest version
    }
}

// One reply to the per-pair question: an answer, maybe for all remaining
// pairs; nullopt for a reply that is none of the words offered.
struct TConflictReply
{
    bool Cancel = false;
    bool All = false;
    TCliObserver::TConflictAnswer Answer = TCliObserver::TConflictAnswer::Newest;
};

std::optional<TConflictReply> ParseConflictReply(const QString &text)
{
    TConflictReply reply;
    bool answered = false;
    for (const QString &word : text.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        using TAnswer = TCliObserver::TConflictAnswer;
        std::optional<TAnswer> answer;
        if (word == QLatin1String("all")) {
            reply.All = true;
            continue;
        }
        if (word == QLatin1String("x") || word == QLatin1String("cancel")) {
            reply.Cancel = true;
            continue;
        }
        if (word == QLatin1String("s") || word == QLatin1String("skip"))
            answer = TAnswer::Skip;
        else if (word == QLatin1String("u") || word == QLatin1String("usb"))
            answer = TAnswer::UsbVersion;
        else if (word == QLatin1String("c") || word == QLatin1String("computer"))
            answer = TAnswer::ComputerVersion;
        else if (word == QLatin1String("n") || word == QLatin1String("newest"))
            answer = TAnswer::Newest;
        if (!answer || answered)
            return std::nullopt;
        answered = true;
        reply.Answer = *answer;
    }
    return reply;
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
    terminal.RowsLive = ::isatty(STDOUT_FILENO) == 1;
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
    // Failed rows are counted by the engine's outcome.
    const bool done = event != eFailedorSkip;
    if (done && (actionText == QLatin1String("Copy File") || actionText == QLatin1String("Zip File") ||
                 actionText == QLatin1String("UnZip File")))
        ++FTotals.Copied;
    else if (done && actionText.startsWith(QLatin1String("Delete")))
        ++FTotals.Removed;
    ClearLiveLine();
    if (event == eFailedorSkip)
        FOut << "FAILED  ";
    FOut << actionText << "  " << fileName << "  " << info << "\n";
    FlushRows(false);
    DrawLiveLine(false);
}

TLowDiskAnswer TCliObserver::AskLowDiskSpace(TThreadBase &, const QString &message)
{
    // The lock is held while the user thinks: nothing else may write then.
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FlushRows(true);
    FErr << "\nLow Disk Space\n" << PlainLines(message) << "\n";
    if (FUnattended) {
        FErr << "Answered Skip (--unattended).\n";
        FErr.flush();
        return ldaSkip;
    }
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

bool TCliObserver::AskSyncConflicts(TThreadBase &, QList<TSyncConflict> &conflicts)
{
    // The lock is held while the user thinks: nothing else may write then.
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FlushRows(true);
    PrintConflicts(conflicts);
    if (FConflictAnswer != TConflictAnswer::Ask) {
        for (TSyncConflict &conflict : conflicts)
            Settle(conflict, FConflictAnswer);
        PrintSettled(QStringLiteral("Settled by --conflicts:"), conflicts);
        return true;
    }
    if (!FTerminal.CanAsk) {
        FErr << "There is no terminal to answer on: the run is cancelled. Pass "
                "--conflicts=skip|usb|computer|newest to settle the conflicts without being asked.\n";
        FErr.flush();
        FTotals.ConflictsUnasked = true;
        return false;
    }
    return AskConflictsOneByOne(conflicts);
}

void TCliObserver::PrintConflicts(const QList<TSyncConflict> &conflicts)
{
    FErr << "\nFile Conflicts\n"
         << conflicts.size()
         << " file(s) differ between the USB drive and the computer, or changed on one side and were "
            "deleted on the other:\n";
    for (int i = 0; i < conflicts.size(); ++i) {
        const TSyncConflict &conflict = conflicts[i];
        const QString name = ExtractFileName(conflict.FileA.isEmpty() ? conflict.FileB : conflict.FileA);
        FErr << "\n " << i + 1 << ". " << name << "\n"
             << "    USB Drive: " << ConflictSizeText(conflict.SizeA) << ", "
             << ConflictDateText(conflict.DateA) << "  " << conflict.FileA << "\n"
             << "    Computer:  " << ConflictSizeText(conflict.SizeB) << ", "
             << ConflictDateText(conflict.DateB) << "  " << conflict.FileB << "\n"
             << "    Pre-selected (the newest version): " << ConflictActionText(conflict, conflict.Action)
             << "\n";
    }
    FErr.flush();
}

void TCliObserver::PrintSettled(const QString &heading, const QList<TSyncConflict> &conflicts)
{
    FErr << heading << "\n";
    for (int i = 0; i < conflicts.size(); ++i)
        FErr << "  " << i + 1 << ". " << ConflictActionText(conflicts[i], conflicts[i].Action) << "\n";
    FErr.flush();
}

bool TCliObserver::AskConflictsOneByOne(QList<TSyncConflict> &conflicts)
{
    FErr << "\nAnswer for each file: n = use the newest version (as shown), u = use this USB drive's "
            "version, c = use this computer's version, s = do nothing, x = cancel the run. Add \"all\" "
            "to answer the same for this file and all after it (\"c all\").\n";
    std::optional<TConflictAnswer> forAll;
    for (int i = 0; i < conflicts.size(); ++i) {
        TSyncConflict &conflict = conflicts[i];
        if (forAll) {
            Settle(conflict, *forAll);
            continue;
        }
        std::optional<TConflictReply> reply;
        while (!reply) {
            const std::optional<QString> line = AskLine(
                FErr, QStringLiteral("%1 of %2, %3: [n/u/c/s/x] ")
                          .arg(i + 1)
                          .arg(conflicts.size())
                          .arg(ExtractFileName(conflict.FileA.isEmpty() ? conflict.FileB : conflict.FileA)));
            if (!line)
                return false;
            reply = ParseConflictReply(*line);
        }
        if (reply->Cancel)
            return false;
        Settle(conflict, reply->Answer);
        if (reply->All)
            forAll = reply->Answer;
    }
    PrintSettled(QStringLiteral("Settled:"), conflicts);
    return true;
}

void TCliObserver::OnFinished(TThreadBase &, const TRunOutcome &)
{
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FlushRows(true);
    FEnded = true;
}

void TCliObserver::Tick()
{
    QMutexLocker lock(&FMutex);
    FlushRows(false);
    if (!FLineShown || FLastDraw.elapsed() >= TickRedrawIntervalMs)
        DrawLiveLine(true);
}

void TCliObserver::Warn(const QString &text)
{
    QMutexLocker lock(&FMutex);
    ClearLiveLine();
    FlushRows(true);
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

void TCliObserver::FlushRows(bool now)
{
    if (!now && !FTerminal.RowsLive && FLastRowFlush.isValid() && FLastRowFlush.elapsed() < RedrawIntervalMs)
        return;
    FOut.flush();
    FLastRowFlush.restart();
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

QString ConflictActionText(const TSyncConflict &conflict, TFileAction action)
{
    switch (action) {
    case faCopyAB:
        return conflict.SizeA < 0
                   ? QStringLiteral("delete the file on the computer (it was deleted on the USB drive)")
                   : QStringLiteral("copy the USB drive's version to the computer");
    case faCopyBA:
        return conflict.SizeB < 0
                   ? QStringLiteral("delete the file on the USB drive (it was deleted on the computer)")
                   : QStringLiteral("copy the computer's version to the USB drive");
    case faDelete:
        return conflict.SizeA >= 0 ? QStringLiteral("delete the file on the USB drive")
                                   : QStringLiteral("delete the file on the computer");
    case faSkip:
        break;
    }
    return QStringLiteral("do nothing");
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
