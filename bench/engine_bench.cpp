// Times the copy engine in-process: one first full backup of a folder with
// the observer called in the worker's thread (printing every report to
// /dev/null) against the same run with every report handed over to the
// main thread (TThreadHandOffObserver) and printed there by the same
// observer, the main thread running an event loop as the interface does.
//
//   bench_engine SOURCE DESTINATION [RUNS]
//   bench_engine --reports-only FILES [RUNS]
//
// SOURCE and DESTINATION are native folders on drives that TROVALO_DRIVES
// names (bench/copy_bench.sh sets it up). Each run copies into a new folder
// below DESTINATION with a new job database; one warm-up run of each kind
// comes first, then RUNS (default 3) of each, alternating. The copies are
// left in place: on ext4, creating files soon after deleting many is much
// slower (the inode allocator skips recently deleted inodes for a minute or
// more), which would hit whichever run came next.
// Prints "plain SECONDS", "handoff SECONDS" (medians of the wall time) and
// their ratio, then the same for the process's CPU time ("plain-cpu", ...).
//
// --reports-only leaves the files alone: a worker makes the reports that
// the copy engine makes for FILES copied files (two statuses, two progress
// reports and a log row each), so what the hand-off itself costs shows
// without the noise of the disk.

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "engine/CopyFolderThread.h"
#include "engine/ThreadHandOffObserver.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace trovalo;

namespace {

// Prints every report, as a front end that shows them all would format
// them, to /dev/null.
class TNullPrintingObserver : public QObject, public TWorkerObserver
{
public:
    TNullPrintingObserver()
        : FFile(QStringLiteral("/dev/null"))
    {
        FFile.open(QIODevice::WriteOnly);
        FOut.setDevice(&FFile);
    }

    // Ended when the end of the run arrives (set only when it arrives in
    // the main thread).
    QEventLoop *Loop = nullptr;

    void OnStatuesChange(TThreadBase &, const TStatusReport &report) override
    {
        FOut << report.StatusMsg << ' ' << report.ProgressBarPosition << "%\n";
    }
    void OnError(TThreadBase &, const QString &statusMsg, int error) override
    {
        FOut << "error " << error << ' ' << statusMsg << '\n';
    }
    void OnFileProsess(TThreadBase &, double percentage, const QString &fileInfo) override
    {
        FOut << fileInfo << ' ' << percentage << "%\n";
    }
    void OnLog(TThreadBase &, const QString &fileName, const QString &action, const QString &info,
               TEvent event) override
    {
        FOut << action << '\t' << fileName << '\t' << info << '\t' << int(event) << '\n';
    }
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &, const QString &) override { return ldaAbort; }
    void OnFinished(TThreadBase &, const TRunOutcome &) override
    {
        FOut.flush();
        if (Loop)
            Loop->quit();
    }

private:
    QFile FFile;
    QTextStream FOut;
};

// Makes the reports of a copy of Files small files, and nothing else.
class TReportingWorker : public TThreadBase
{
public:
    explicit TReportingWorker(int files)
        : FFiles(files)
    {}

protected:
    void Execute() override
    {
        BaseStart();
        FileNum = FFiles;
        StartClock();
        for (int i = 0; i < FFiles && !Terminated(); ++i) {
            const QString name = QStringLiteral("document %1.txt").arg(i, 5, 10, QLatin1Char('0'));
            const QString source =
                QStringLiteral("C:\\src\\folder %1\\").arg(i / 10, 4, 10, QLatin1Char('0')) + name;
            StatuesInfo = QStringLiteral("File : ") + source;
            ++PbarPosition;
            ReportStatus();
            FileOperation = QStringLiteral("Copying File: ") + name;
            for (const double percentage : {0.0, 100.0}) {
                FilePercentage = percentage;
                ReportFileProgress();
            }
            FileSizeProcessed += 5000;
            LogEventFileName = source;
            LogEventAction = QStringLiteral("Copy File");
            SetLogResult(true);
            ReportLog();
            StatuesInfo.clear();
            ReportStatus();
        }
    }
    bool IsExcludedFolder(const QString &) override { return false; }

private:
    const int FFiles;
};

enum class TRunKind { Plain, HandOff };

struct TTimes
{
    double Wall = 0; // seconds
    double Cpu = 0;  // seconds of the whole process, user and system
};

double ProcessCpuSeconds()
{
    struct rusage usage
    {
    };
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the worker in its own thread with the plain or the hand-off observer.
TTimes TimedRun(TThreadBase &worker, TRunKind kind)
{
    TNullPrintingObserver printer;
    TThreadHandOffObserver handOff(printer, &printer);
    worker.SetObserver(kind == TRunKind::HandOff ? static_cast<TWorkerObserver *>(&handOff) : &printer);
    // Plain: the run is over when the thread ends. Hand-off: when its last
    // report has reached the main thread.
    QEventLoop loop;
    if (kind == TRunKind::Plain)
        QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    else
        printer.Loop = &loop;
    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    worker.start();
    loop.exec();
    worker.wait();
    return {double(clock.nsecsElapsed()) / 1e9, ProcessCpuSeconds() - cpuBefore};
}

// One first full backup of Source into a new folder.
TTimes TimedCopy(TRunKind kind, const QString &source, const QString &destinationBase, int number)
{
    const QString name =
        QStringLiteral("%1-%2").arg(kind == TRunKind::Plain ? "plain" : "handoff").arg(number);
    const QString folder = destinationBase + name;
    const QString databaseFile = destinationBase + name + QStringLiteral(".Zjd");
    if (PathExists(folder) || PathExists(databaseFile))
        throw EFileError(QStringLiteral("%1 exists already: give a new destination folder").arg(folder));
    QDir().mkpath(NativePath(folder));
    ::sync();

    TCopyFolderThread engine;
    engine.SetArchiveMode(amIncremental);
    engine.SetInclude({source});
    engine.SetDestination(IncludeTrailingBackslash(folder));
    engine.SetLogFileName(databaseFile);
    return TimedRun(engine, kind);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString Seconds(double value)
{
    return QString::number(value, 'f', 3);
}

// One warm-up run with each observer, then Runs with each, the order
// swapped every time (plain first in odd runs) so that neither always runs
// on a fuller file system or after the other's write-back; prints the
// medians and their ratios.
void Compare(QTextStream &out, QTextStream &err, int runs,
             const std::function<TTimes(bool handOff, int number)> &run)
{
    run(false, 0);
    run(true, 0);
    std::vector<double> plain, compared, plainCpu, comparedCpu;
    for (int i = 1; i <= runs; ++i) {
        TTimes plainTimes, handOffTimes;
        if (i % 2 == 1) {
            plainTimes = run(false, i);
            handOffTimes = run(true, i);
        } else {
            handOffTimes = run(true, i);
            plainTimes = run(false, i);
        }
        plain.push_back(plainTimes.Wall);
        plainCpu.push_back(plainTimes.Cpu);
        compared.push_back(handOffTimes.Wall);
        comparedCpu.push_back(handOffTimes.Cpu);
        err << "run " << i << ": plain " << Seconds(plainTimes.Wall) << " s (cpu " << Seconds(plainTimes.Cpu)
            << " s), hand-off " << Seconds(handOffTimes.Wall) << " s (cpu " << Seconds(handOffTimes.Cpu)
            << " s)\n";
        err.flush();
    }
    const double wall = Median(plain), otherWall = Median(compared);
    const double cpu = Median(plainCpu), otherCpu = Median(comparedCpu);
    out << "plain " << Seconds(wall) << "\n"
        << "handoff " << Seconds(otherWall) << "\n"
        << "ratio " << Seconds(otherWall / wall) << "\n"
        << "plain-cpu " << Seconds(cpu) << "\n"
        << "handoff-cpu " << Seconds(otherCpu) << "\n"
        << "cpu-ratio " << Seconds(otherCpu / cpu) << "\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    QStringList arguments = app.arguments();
    const bool reportsOnly = arguments.removeAll(QStringLiteral("--reports-only")) > 0;
    if (arguments.size() < (reportsOnly ? 2 : 3)) {
        err << "usage: bench_engine SOURCE DESTINATION [RUNS]\n"
               "       bench_engine --reports-only FILES [RUNS]\n";
        return 3;
    }
    try {
        if (reportsOnly) {
            const int files = arguments.at(1).toInt();
            const int runs = std::max(1, arguments.value(2, QStringLiteral("3")).toInt());
            Compare(out, err, runs, [files](bool handOff, int) {
                TReportingWorker worker(files);
                return TimedRun(worker, handOff ? TRunKind::HandOff : TRunKind::Plain);
            });
            return 0;
        }
        const std::optional<QString> source = ToLetterPath(QDir(arguments.at(1)).absolutePath());
        const std::optional<QString> destination = ToLetterPath(QDir(arguments.at(2)).absolutePath());
        const int runs = std::max(1, arguments.value(3, QStringLiteral("3")).toInt());
        if (!source || !destination) {
            err << "bench_engine: SOURCE and DESTINATION must lie on drives named in TROVALO_DRIVES\n";
            return 3;
        }
        const QString sourceFolder = IncludeTrailingBackslash(*source);
        const QString destinationBase = IncludeTrailingBackslash(*destination);
        Compare(out, err, runs, [&](bool handOff, int number) {
            return TimedCopy(handOff ? TRunKind::HandOff : TRunKind::Plain, sourceFolder, destinationBase,
                             number);
        });
    } catch (const ETrovaloError &error) {
        err << "bench_engine: " << error.Message() << "\n";
        return 1;
    }
    return 0;
}
