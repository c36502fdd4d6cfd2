#include "E2eSession.h"

#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLibrary>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

namespace trovalo::test {

namespace {

constexpr int ReplyTimeoutMs = 20000;

// Opens Display and tells whether an XEmbed tray host owns the tray
// selection of screen 0 (from then on a tray icon can dock); false when
// the display does not accept a connection. Asked through libX11 loaded at
// run time, so the tests need no X headers to build.
bool ProbeDisplay(const QString &Display, bool *TrayOwned)
{
    static QLibrary x11(QStringLiteral("X11"), 6);
    using TOpen = void *(*)(const char *);
    using TAtom = unsigned long (*)(void *, const char *, int);
    using TOwner = unsigned long (*)(void *, unsigned long);
    using TClose = int (*)(void *);
    const auto open = reinterpret_cast<TOpen>(x11.resolve("XOpenDisplay"));
    const auto atom = reinterpret_cast<TAtom>(x11.resolve("XInternAtom"));
    const auto owner = reinterpret_cast<TOwner>(x11.resolve("XGetSelectionOwner"));
    const auto close = reinterpret_cast<TClose>(x11.resolve("XCloseDisplay"));
    if (!open || !atom || !owner || !close)
        return false;
    void *display = open(Display.toLocal8Bit().constData());
    if (!display)
        return false;
    *TrayOwned = owner(display, atom(display, "_NET_SYSTEM_TRAY_S0", 0)) != 0;
    close(display);
    return true;
}

void StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QJsonObject Failure(const QString &message)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), message}};
}

} // namespace

TE2eSession::TE2eSession()
    : FDrives(std::make_unique<TTestDrives>(
          QMap<QChar, QString>{{'C', QString()}, {'E', QStringLiteral("bus=USB,label=STICK")}}))
{}

TE2eSession::~TE2eSession()
{
    Stop();
}

QString TE2eSession::MissingTools()
{
    QStringList missing;
    for (const char *tool : {"Xvfb", "trayer", "xdotool"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            missing << QLatin1String(tool);
    }
    if (!QLibrary(QStringLiteral("X11"), 6).load())
        missing << QStringLiteral("libX11");
    if (missing.isEmpty())
        return {};
    return missing.join(QStringLiteral(", ")) +
           QStringLiteral(
               " not installed: the desktop tests need them (scripts/install-deps.sh installs them)");
}

bool TE2eSession::Start(QString *error)
{
    // A screen or tray host that did not come up on a busy machine gets
    // another try on a new screen.
    bool desktop = false;
    for (int attempt = 1; attempt <= 3 && !desktop; ++attempt) {
        desktop = StartScreen(error) && StartTrayHost(error);
        if (!desktop) {
            qWarning("desktop not ready (try %d): %s", attempt, qPrintable(*error));
            Stop();
        }
    }
    if (!desktop || !StartProgram(error)) {
        Stop();
        return false;
    }
    return true;
}

void TE2eSession::Stop()
{
    FSocket.abort();
    StopProcess(FProgram);
    StopProcess(FTrayHost);
    StopProcess(FScreen);
}

QProcessEnvironment TE2eSession::XEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), FDisplay);
    environment.insert(QStringLiteral("HOME"), FDrives->Base() + QStringLiteral("/home"));
    // The options window writes the autostart entry there, never into the
    // desktop of the user running the tests.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), FDrives->Base() + QStringLiteral("/home/.config"));
    // Neither another desktop's session bus (a tray there would take the
    // icon) nor a Wayland compositor of the machine running the tests.
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    return environment;
}

bool TE2eSession::StartScreen(QString *error)
{
    // -displayfd: the server picks a free display number and writes it to
    // standard output once it accepts connections. -noreset: the probes of
    // the tray selection come and go before the tray host connects, and a
    // reset then would pull the screen from under the tray host.
    FScreen.setStandardErrorFile(FDrives->Base() + QStringLiteral("/xvfb.log"));
    FScreen.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray output;
    const bool reported = Until(
        [&] {
            FScreen.waitForReadyRead(100);
            output += FScreen.readAllStandardOutput();
            return output.contains('\n') || FScreen.state() == QProcess::NotRunning;
        },
        15000);
    bool ok = false;
    const int number = output.trimmed().toInt(&ok);
    if (!reported || !ok) {
        *error = QStringLiteral("Xvfb did not report its display (%1)").arg(FScreen.errorString());
        return false;
    }
    FDisplay = QStringLiteral(":%1").arg(number);
    bool owned = false;
    if (!Until([&] { return ProbeDisplay(FDisplay, &owned); }, 15000)) {
        *error = QStringLiteral("Xvfb on %1 accepts no connection").arg(FDisplay);
        return false;
    }
    return true;
}

bool TE2eSession::StartTrayHost(QString *error)
{
    QDir().mkpath(FDrives->Base() + QStringLiteral("/home"));
    FTrayHost.setProcessEnvironment(XEnvironment());
    const QString log = FDrives->Base() + QStringLiteral("/trayer.log");
    FTrayHost.setProcessChannelMode(QProcess::MergedChannels);
    FTrayHost.setStandardOutputFile(log, QIODevice::Append);
    FTrayHost.start(QStringLiteral("trayer"),
                    {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                     QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                     QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--SetDockType"),
                     QStringLiteral("true"), QStringLiteral("--transparent"), QStringLiteral("false")});
    bool owned = false;
    Until(
        [&] {
            return (ProbeDisplay(FDisplay, &owned) && owned) || FTrayHost.state() == QProcess::NotRunning;
        },
        20000);
    if (owned && FTrayHost.state() == QProcess::Running)
        return true;
    *error =
        QStringLiteral("trayer did not take the tray selection of %1 (exit code %2, screen %3, %4): %5 %6")
            .arg(FDisplay)
            .arg(FTrayHost.exitCode())
            .arg(FScreen.state() == QProcess::Running ? QStringLiteral("running") : QStringLiteral("ended"))
            .arg(ProbeDisplay(FDisplay, &owned) ? QStringLiteral("open") : QStringLiteral("closed"))
            .arg(QString::fromLocal8Bit(ReadOrMissing(log)))
            .arg(QString::fromLocal8Bit(ReadOrMissing(FDrives->Base() + QStringLiteral("/xvfb.log"))));
    return false;
}

QString TE2eSession::UseDriveTableFile()
{
    FDriveTableFile = FDrives->Base() + QStringLiteral("/drive-table");
    QFile file(FDriveTableFile);
    if (file.open(QIODevice::WriteOnly))
        file.write(FDrives->DrivesVariable().toUtf8());
    return FDriveTableFile;
}

bool TE2eSession::StartProgram(QString *error)
{
    const QString program = qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo");
    const QString runtime = FDrives->Base() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    FSocketPath = runtime + QStringLiteral("/automation");

    QProcessEnvironment environment = XEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    environment.insert(QStringLiteral("TROVALO_DRIVES"), FDriveTableFile.isEmpty()
                                                             ? FDrives->DrivesVariable()
                                                             : QLatin1Char('@') + FDriveTableFile);
    environment.insert(QStringLiteral("ProgramData"), QStringLiteral("C:\\ProgramData"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("TROVALO_AUTOMATION"), FSocketPath);
    FProgram.setProcessEnvironment(environment);
    FProgram.setProcessChannelMode(QProcess::ForwardedChannels);
    FProgram.start(program, {});
    if (!FProgram.waitForStarted(10000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, FProgram.errorString());
        return false;
    }
    const bool connected = Until(
        [&] {
            if (FProgram.state() == QProcess::NotRunning)
                return true;
            FSocket.connectToServer(FSocketPath);
            return FSocket.waitForConnected(200);
        },
        30000);
    if (!connected || FSocket.state() != QLocalSocket::ConnectedState) {
        *error = FProgram.state() == QProcess::NotRunning
                     ? QStringLiteral("trovalo ended at start (exit code %1)").arg(FProgram.exitCode())
                     : QStringLiteral("trovalo opened no automation socket at %1 (does main() start the "
                                      "automation server?)")
                           .arg(FSocketPath);
        return false;
    }
    // Ready once its icon sits in the tray, as the user first sees it.
    if (!Until([&] { return !TrayIconGeometry().isEmpty(); })) {
        *error = QStringLiteral("trovalo's icon did not appear in the tray: %1")
                     .arg(QString::fromUtf8(QJsonDocument(Call(QStringLiteral("tray"))).toJson()));
        return false;
    }
    return true;
}

QRect TE2eSession::TrayIconGeometry()
{
    const QJsonObject tray = Call(QStringLiteral("tray"));
    const QJsonObject geometry = tray.value(QStringLiteral("geometry")).toObject();
    const QRect rect(geometry.value(QStringLiteral("x")).toInt(), geometry.value(QStringLiteral("y")).toInt(),
                     geometry.value(QStringLiteral("width")).toInt(),
                     geometry.value(QStringLiteral("height")).toInt());
    // An icon not yet docked sits at the origin or off the screen.
    if (!tray.value(QStringLiteral("visible")).toBool() || rect.isEmpty() || rect.topLeft() == QPoint(0, 0) ||
        rect.x() < 0 || rect.y() < 0)
        return {};
    return rect;
}

QPoint TE2eSession::UncoveredPoint(const QRect &Area)
{
    QList<QRect> covers;
    const QJsonArray windows = Call(QStringLiteral("windows")).value(QStringLiteral("windows")).toArray();
    for (const QJsonValue &window : windows) {
        const QJsonObject g = window.toObject().value(QStringLiteral("geometry")).toObject();
        const QRect rect(g.value(QStringLiteral("x")).toInt(), g.value(QStringLiteral("y")).toInt(),
                         g.value(QStringLiteral("width")).toInt(), g.value(QStringLiteral("height")).toInt());
        if (rect != Area)
            covers << rect;
    }
    for (int y = Area.center().y(); y <= Area.bottom(); ++y) {
        for (int x = Area.center().x(); x <= Area.right(); ++x) {
            const QPoint point(x, y);
            if (std::none_of(covers.cbegin(), covers.cend(),
                             [&](const QRect &r) { return r.contains(point); }))
                return point;
        }
    }
    return Area.center();
}

QJsonObject TE2eSession::Call(const QString &command, QJsonObject arguments)
{
    if (FSocket.state() != QLocalSocket::ConnectedState)
        return Failure(QStringLiteral("not connected to trovalo"));
    arguments.insert(QStringLiteral("cmd"), command);
    FSocket.write(QJsonDocument(arguments).toJson(QJsonDocument::Compact) + '\n');
    FSocket.waitForBytesWritten(ReplyTimeoutMs);
    QElapsedTimer timer;
    timer.start();
    while (!FPending.contains('\n')) {
        const int left = ReplyTimeoutMs - static_cast<int>(timer.elapsed());
        if (left <= 0 || !FSocket.waitForReadyRead(left))
            return Failure(QStringLiteral("no reply to '%1'").arg(command));
        FPending += FSocket.readAll();
    }
    const qsizetype end = FPending.indexOf('\n');
    const QJsonDocument reply = QJsonDocument::fromJson(FPending.left(end));
    FPending.remove(0, end + 1);
    return reply.isObject() ? reply.object() : Failure(QStringLiteral("a reply that is not JSON"));
}

bool TE2eSession::Until(const std::function<bool()> &Check, int TimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!Check()) {
        if (timer.elapsed() > TimeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

QJsonObject TE2eSession::WaitForWindow(const QString &Key, int TimeoutMs)
{
    QJsonObject found;
    Until(
        [&] {
            const QJsonArray windows =
                Call(QStringLiteral("windows")).value(QStringLiteral("windows")).toArray();
            for (const QJsonValue &window : windows) {
                const QJsonObject w = window.toObject();
                for (const char *field : {"class", "name", "title"}) {
                    if (w.value(QLatin1String(field)).toString() == Key) {
                        found = w;
                        return true;
                    }
                }
            }
            return false;
        },
        TimeoutMs);
    return found;
}

QJsonObject TE2eSession::WaitForMessageBox(int TimeoutMs)
{
    return WaitForWindow(QStringLiteral("QMessageBox"), TimeoutMs);
}

bool TE2eSession::Screenshot(const QString &FileName, const QString &WindowPath)
{
    const QString folder = qEnvironmentVariable("TROVALO_SCREENSHOTS");
    if (folder.isEmpty())
        return true;
    QDir().mkpath(folder);
    QJsonObject arguments{{QStringLiteral("file"), QDir(folder).absoluteFilePath(FileName)}};
    if (!WindowPath.isEmpty())
        arguments.insert(QStringLiteral("path"), WindowPath);
    return Call(QStringLiteral("screenshot"), arguments).value(QStringLiteral("ok")).toBool();
}

bool TE2eSession::RunX(const QString &Program, const QStringList &Arguments)
{
    QProcess tool;
    tool.setProcessEnvironment(XEnvironment());
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(Program, Arguments);
    return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

} // namespace trovalo::test
