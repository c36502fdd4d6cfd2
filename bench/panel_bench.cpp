// Times the copy engine over many small files with a job progress panel
// attached (offscreen windows, the reports handed to the interface thread
// and shown there) against the same run with a plain observer that only
// counts the reports in the worker's thread, as the command line's does.
//
//   bench_panel [--files N] [--runs N] [--dir BASE] [--only plain|panel]
//
// Makes drives C: (source) and E: (destination) in a new folder under BASE
// (default /tmp) through TROVALO_DRIVES, writes N small files (default
// 20,000; 100 bytes to 4 KB in folders of 10), runs one warm-up of each kind,
// then RUNS (default 3) of each, the order swapped every time, each into a
// new folder with a new job database. Prints the medians of the wall time
// ("plain", "panel", "ratio") and of the process's CPU time. The folder is
// removed at the end.

#include "engine/CopyFolderThread.h"
#include "platform/DriveTable.h"
#include "progress/ThreadStatuesFrame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace trovalo;

namespace {

// Counts what the engine reports, in the worker's thread.
class TCountingObserver : public TWorkerObserver
{
public:
    std::atomic<qint64> Reports{0};

    void OnStatuesChange(TThreadBase &, const TStatusReport &) override { ++Reports; }
    void OnError(TThreadBase &, const QString &, int) override { ++Reports; }
    void OnFileProsess(TThreadBase &, double, const QString &) override { ++Reports; }
    void OnLog(TThreadBase &, const QString &, const QString &, const QString &, TEvent) override
    {
        ++Reports;
    }
    TLowDiskAnswer AskLowDiskSpace(TThreadBase &, const QString &) override { return ldaAbort; }
};

struct TTimes
{
    double Wall = 0;
    double Cpu = 0;
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

void MakeTree(const QString &root, int files)
{
    QRandomGenerator random(20261209);
    const QByteArray text = QByteArray("The quick brown fox jumps over the lazy dog. ").repeated(100);
    for (int i = 0; i < files; ++i) {
        const QString folder = QStringLiteral("%1/folder %2").arg(root).arg(i / 10, 4, 10, QLatin1Char('0'));
        if (i % 10 == 0)
            QDir().mkpath(folder);
        QFile file(QStringLiteral("%1/document %2.txt").arg(folder).arg(i, 5, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(text.left(100 + int(random.bounded(3900))));
    }
}

TCopyFolderThread *NewEngine(const QString &name)
{
    auto *engine = new TCopyFolderThread;
    engine->SetArchiveMode(amIncremental);
    engine->SetInclude({QStringLiteral("C:\\src\\")});
    engine->SetDestination(QStringLiteral("E:\\") + name + QLatin1Char('\\'));
    engine->SetLogFileName(QStringLiteral("E:\\") + name + QStringLiteral(".Zjd"));
    return engine;
}

TTimes PlainRun(const QString &name)
{
    std::unique_ptr<TCopyFolderThread> engine(NewEngine(name));
    TCountingObserver counter;
    engine->SetObserver(&counter);
    ::sync();
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    engine->start();
    engine->wait();
    TThreadBase::ReleaseLiveWorker();
    return {double(clock.nsecsElapsed()) / 1e9, ProcessCpuSeconds() - cpu};
}

TTimes PanelRun(const QString &name, QTabWidget &pages)
{
    std::shared_ptr<TCopyFolderThread> engine(NewEngine(name));
    TThreadStatuesFrame *panel =
        TThreadStatuesFrame::MakeFrame(name, &pages, QStringLiteral("{%1}").arg(name));
    QEventLoop loop;
    panel->SetOnTerminate([&](TThreadStatuesFrame &, TThreadTermStat) { loop.quit(); });
    panel->AttachThread(*engine, itBackup, engine);
    ::sync();
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    engine->start();
    loop.exec();
    engine->wait();
    const TTimes times{double(clock.nsecsElapsed()) / 1e9, ProcessCpuSeconds() - cpu};
    // The run's tab goes, as auto close would take it.
    delete panel->Tab();
    return times;
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

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    int files = 20000, runs = 3;
    QString base = QStringLiteral("/tmp");
    QString only; // one kind alone, for a profile of it
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--files"))
            files = std::max(1, arguments.at(i + 1).toInt());
        else if (arguments.at(i) == QLatin1String("--runs"))
            runs = std::max(1, arguments.at(i + 1).toInt());
        else if (arguments.at(i) == QLatin1String("--dir"))
            base = arguments.at(i + 1);
        else if (arguments.at(i) == QLatin1String("--only"))
            only = arguments.at(i + 1);
        else {
            err << "usage: bench_panel [--files N] [--runs N] [--dir BASE] [--only plain|panel]\n";
            return 3;
        }
    }
    QTemporaryDir work(base + QStringLiteral("/trovalo-panel-bench.XXXXXX"));
    if (!work.isValid()) {
        err << "bench_panel: cannot make a folder under " << base << "\n";
        return 1;
    }
    const QString c = work.filePath(QStringLiteral("c")), e = work.filePath(QStringLiteral("e"));
    QDir().mkpath(c);
    QDir().mkpath(e);
    qputenv("TROVALO_DRIVES", QStringLiteral("C=%1;E=%2,bus=USB").arg(c, e).toUtf8());
    TDriveTable::Instance().Refresh();
    err << "Generating " << files << " files ...\n";
    err.flush();
    MakeTree(c + QStringLiteral("/src"), files);

    QTabWidget pages;
    pages.addTab(new QWidget, QStringLiteral("Jobs"));
    pages.resize(800, 600);
    pages.show();

    std::vector<double> plain, panel, plainCpu, panelCpu;
    for (int i = 0; i <= runs; ++i) {
        const QString number = QString::number(i);
        TTimes plainTimes, panelTimes;
        if (!only.isEmpty()) {
            (only == QLatin1String("plain") ? plainTimes : panelTimes) =
                only == QLatin1String("plain") ? PlainRun(QStringLiteral("plain") + number)
                                               : PanelRun(QStringLiteral("panel") + number, pages);
            plainTimes.Wall = std::max(plainTimes.Wall, 1e-9);
            plainTimes.Cpu = std::max(plainTimes.Cpu, 1e-9);
        } else if (i % 2 == 1) {
            plainTimes = PlainRun(QStringLiteral("plain") + number);
            panelTimes = PanelRun(QStringLiteral("panel") + number, pages);
        } else {
            panelTimes = PanelRun(QStringLiteral("panel") + number, pages);
            plainTimes = PlainRun(QStringLiteral("plain") + number);
        }
        err << (i == 0 ? QStringLiteral("warm-up") : QStringLiteral("run %1").arg(i)) << ": plain "
            << Seconds(plainTimes.Wall) << " s (cpu " << Seconds(plainTimes.Cpu) << " s), panel "
            << Seconds(panelTimes.Wall) << " s (cpu " << Seconds(panelTimes.Cpu) << " s)\n";
        err.flush();
        if (i == 0)
            continue;
        plain.push_back(plainTimes.Wall);
        panel.push_back(panelTimes.Wall);
        plainCpu.push_back(plainTimes.Cpu);
        panelCpu.push_back(panelTimes.Cpu);
    }
    out << "plain " << Seconds(Median(plain)) << "\n"
        << "panel " << Seconds(Median(panel)) << "\n"
        << "ratio " << Seconds(Median(panel) / Median(plain)) << "\n"
        << "plain-cpu " << Seconds(Median(plainCpu)) << "\n"
        << "panel-cpu " << Seconds(Median(panelCpu)) << "\n"
        << "cpu-ratio " << Seconds(Median(panelCpu) / Median(plainCpu)) << "\n";
    return 0;
}
