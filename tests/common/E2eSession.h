#pragma once

#include "TestDrives.h"

#include <QJsonObject>
#include <QLocalSocket>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace trovalo::test {

// The real tray program on a desktop of its own: an Xvfb screen on a free
// display number, an XEmbed tray host (trayer) on it, and `trovalo` on
// isolated drives (C: the computer, E: a USB stick labelled "STICK"), talked
// to through its automation socket. Everything it started ends with it, also
// when a check failed half-way.
class TE2eSession
{
public:
    TE2eSession();
    ~TE2eSession();
    TE2eSession(const TE2eSession &) = delete;
    TE2eSession &operator=(const TE2eSession &) = delete;

    // What this machine lacks to run a session ("" when nothing).
    static QString MissingTools();

    // Starts the screen, the tray host and the program and connects to it.
    bool Start(QString *error);
    // Ends the program, the tray host and the screen (also done on destruction).
    void Stop();

    const TTestDrives &Drives() const { return *FDrives; }
    // The program's drive table is this file (TROVALO_DRIVES="@file"),
    // holding the test drives' table now: rewriting it plugs drives in and
    // out while the program runs. Call before Start.
    QString UseDriveTableFile();
    QProcess &Program() { return FProgram; }
    QString Display() const { return FDisplay; }

    // One request; a reply with "ok" false and "error" when it failed,
    // also when the program is not reachable.
    QJsonObject Call(const QString &command, QJsonObject arguments = {});
    // Calls Check every 50 ms until it holds or TimeoutMs passed.
    static bool Until(const std::function<bool()> &Check, int TimeoutMs = 30000);

    // A visible top-level window whose class, name or title is Key, waited
    // for; empty when none came.
    QJsonObject WaitForWindow(const QString &Key, int TimeoutMs = 30000);
    // The message box shown, waited for; empty when none came.
    QJsonObject WaitForMessageBox(int TimeoutMs = 60000);

    // Saves the whole screen (WindowPath empty) or one window as FileName in
    // $TROVALO_SCREENSHOTS; does nothing when that is not set. False when
    // the picture could not be taken.
    bool Screenshot(const QString &FileName, const QString &WindowPath = {});

    // Where the program's icon sits in the tray; empty while it is not docked.
    QRect TrayIconGeometry();
    // A point of Area that no other window of the program covers (the
    // start-up balloon lies close to the icon): where a click reaches it.
    QPoint UncoveredPoint(const QRect &Area);

    // Runs an X tool (xdotool) on this session's screen; false when it failed.
    bool RunX(const QString &Program, const QStringList &Arguments);

private:
    bool StartScreen(QString *error);
    bool StartTrayHost(QString *error);
    bool StartProgram(QString *error);
    QProcessEnvironment XEnvironment() const;

    std::unique_ptr<TTestDrives> FDrives;
    QProcess FScreen, FTrayHost, FProgram;
    QLocalSocket FSocket;
    QString FDisplay, FSocketPath;
    QString FDriveTableFile;
    QByteArray FPending;
};

} // namespace trovalo::test
