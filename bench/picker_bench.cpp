// Measures what the folder picker costs the interface thread: the longest
// gap between the ticks of a 1 ms timer (the longest the window could not
// react) while a folder of many entries is expanded, while a checked folder
// of many files is counted in the background, and while a click elsewhere is
// counted again (the unchanged folder's totals are reused).
//
//   bench_picker [--files N] [--wide N] [--dir BASE]
//
// Makes drive C: in a new folder under BASE (default /tmp) through
// TROVALO_DRIVES with C:\Tree\ holding N files (default 100,000): WIDE of
// them (default 10,000) in C:\Tree\Wide\, the rest in folders of 100. Shows
// the picker offscreen with files listed, expands C:\Tree\Wide\, then checks
// C:\Tree\ as a click does (setData with Qt::CheckStateRole) and waits for
// the count, then checks C:\Other\. Prints one row per step: its time and
// the longest stall seen. The folder is removed at the end.

#include "picker/NvShellTreeViewEx.h"
#include "picker/ShellTreeModel.h"
#include "platform/DriveTable.h"
#include "platform/FolderListing.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

using namespace trovalo;

namespace {

// The longest gap between two ticks of a 1 ms timer since the last Reset.
class TStallProbe
{
public:
    TStallProbe()
    {
        FTimer.setInterval(1);
        FTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 now = FClock.nsecsElapsed();
            FLongest = std::max(FLongest, now - FLast);
            FLast = now;
        });
        FClock.start();
        FTimer.start();
    }
    void Reset()
    {
        FLast = FClock.nsecsElapsed();
        FLongest = 0;
    }
    double LongestMs() const { return double(FLongest) / 1e6; }

private:
    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLast = 0, FLongest = 0;
};

void WriteFile(const QString &path, int size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(QByteArray(size, 'x'));
}

void MakeTree(const QString &root, int files, int wide)
{
    QDir().mkpath(root + QStringLiteral("/Wide"));
    for (int i = 0; i < wide; ++i)
        WriteFile(QStringLiteral("%1/Wide/file %2.txt").arg(root).arg(i, 5, 10, QLatin1Char('0')), 100);
    for (int i = 0; i < files - wide; ++i) {
        const QString folder = QStringLiteral("%1/folder %2").arg(root).arg(i / 100, 4, 10, QLatin1Char('0'));
        if (i % 100 == 0)
            QDir().mkpath(folder);
        WriteFile(QStringLiteral("%1/file %2.txt").arg(folder).arg(i, 6, 10, QLatin1Char('0')), 100);
    }
}

struct TStep
{
    double Ms = 0;
    double StallMs = 0;
};

// Runs Action from the event loop and keeps the loop running until Done
// is called (or, without one, for a moment more so the view can paint).
TStep Measure(TStallProbe &probe, const std::function<void(const std::function<void()> &done)> &action)
{
    QEventLoop loop;
    QElapsedTimer clock;
    TStep step;
    probe.Reset();
    QTimer::singleShot(0, [&] {
        clock.start();
        action([&] {
            step.Ms = double(clock.nsecsElapsed()) / 1e6;
            QTimer::singleShot(200, &loop, &QEventLoop::quit);
        });
    });
    loop.exec();
    step.StallMs = probe.LongestMs();
    return step;
}

QString Ms(double value)
{
    return QString::number(value, 'f', 1).rightJustified(10);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    int files = 100000, wide = 10000;
    QString base = QStringLiteral("/tmp");
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--files"))
            files = std::max(1, arguments.at(i + 1).toInt());
        else if (arguments.at(i) == QLatin1String("--wide"))
            wide = std::max(1, arguments.at(i + 1).toInt());
        else if (arguments.at(i) == QLatin1String("--dir"))
            base = arguments.at(i + 1);
        else {
            err << "usage: bench_picker [--files N] [--wide N] [--dir BASE]\n";
            return 3;
        }
    }
    wide = std::min(wide, files);
    QTemporaryDir work(base + QStringLiteral("/trovalo-picker-bench.XXXXXX"));
    if (!work.isValid()) {
        err << "bench_picker: cannot make a folder under " << base << "\n";
        return 1;
    }
    const QString c = work.filePath(QStringLiteral("c"));
    QDir().mkpath(c + QStringLiteral("/Other"));
    WriteFile(c + QStringLiteral("/Other/one.txt"), 100);
    qputenv("TROVALO_DRIVES", QStringLiteral("C=%1").arg(c).toUtf8());
    TDriveTable::Instance().Refresh();
    err << "Generating " << files << " files ...\n";
    err.flush();
    MakeTree(c + QStringLiteral("/Tree"), files, wide);

    TNvShellTreeViewEx view;
    view.SetSelectFiles(true);
    view.resize(500, 700);
    view.show();
    auto *model = static_cast<TShellTreeModel *>(view.model());
    const QModelIndex tree = model->FindPath(QStringLiteral("C:\\Tree\\"));
    view.expand(tree);
    const QModelIndex wideFolder = model->FindPath(QStringLiteral("C:\\Tree\\Wide\\"));
    // Laid out and painted first, so the expansion below lists the folder
    // at once as a click on its expander does.
    view.scrollTo(wideFolder);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QCoreApplication::processEvents();
    // What of the expansion is the file system's share.
    QElapsedTimer listing;
    listing.start();
    std::vector<TFolderEntry> entries;
    ListFolder(QStringLiteral("C:\\Tree\\Wide\\"), entries);
    const TStep listOnly{double(listing.nsecsElapsed()) / 1e6, 0};
    TStallProbe probe;

    const TStep expand = Measure(probe, [&](const std::function<void()> &done) {
        view.expand(wideFolder);
        view.scrollTo(model->index(0, 0, wideFolder));
        done();
    });
    if (model->rowCount(wideFolder) != wide) {
        err << "bench_picker: the expanded folder shows " << model->rowCount(wideFolder) << " entries\n";
        return 1;
    }

    qint64 counted = 0;
    const auto checkAndWait = [&](const QString &path) {
        return [&, path](const std::function<void()> &done) {
            QObject::connect(&view, &TNvShellTreeViewEx::FileSizeChanged, &view, done,
                             Qt::SingleShotConnection);
            model->setData(model->FindPath(path), Qt::Checked, Qt::CheckStateRole);
        };
    };
    const TStep check = Measure(probe, checkAndWait(QStringLiteral("C:\\Tree\\")));
    counted = view.FileCount();
    const TStep other = Measure(probe, checkAndWait(QStringLiteral("C:\\Other\\")));

    const auto row = [&](const QString &what, const TStep &step) {
        out << what.leftJustified(42) << Ms(step.Ms) << "   " << Ms(step.StallMs) << "\n";
    };
    out << QStringLiteral("step").leftJustified(42) << "   time ms   longest stall ms\n";
    row(QStringLiteral("expand a folder of %1 entries").arg(wide), expand);
    row(QStringLiteral("  of which listing it (no view)"), listOnly);
    row(QStringLiteral("check %1 files, until counted").arg(counted), check);
    row(QStringLiteral("check another folder, until counted"), other);
    return 0;
}
