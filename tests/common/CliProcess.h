#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace trovalo::test {

// One finished run of the built trovalo-cli (found through TROVALO_BIN_DIR)
// or of another program.
struct TCliRun
{
    int Status = -1; // -1: it crashed or did not end in time (Err then says which)
    QByteArray OutBytes;
    QString Out;
    QString Err;
};

// How trovalo-cli is started. Root reads every file whatever its
// permissions; HonourPermissions drops the capabilities that allow that, so
// a file made unreadable stays unreadable to the run.
enum class TCliAccess { AsThisUser, HonourPermissions };

// Starts trovalo-cli with standard input holding Input (then closed).
inline void StartCli(QProcess &process, const QStringList &arguments, const QByteArray &input = {},
                     TCliAccess access = TCliAccess::AsThisUser)
{
    const QString cli = qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo-cli");
    if (access == TCliAccess::HonourPermissions && ::geteuid() == 0) {
        process.setProgram(QStringLiteral("setpriv"));
        process.setArguments(QStringList{QStringLiteral("--bounding-set=-dac_override,-dac_read_search"),
                                         QStringLiteral("--"), cli} +
                             arguments);
    } else {
        process.setProgram(cli);
        process.setArguments(arguments);
    }
    process.start();
    process.write(input);
    process.closeWriteChannel();
}

// Waits for a started process and collects what it printed; Name says which
// program crashed or timed out.
inline TCliRun FinishRun(QProcess &process, int timeoutMs, const QString &name)
{
    const bool ended = process.waitForFinished(timeoutMs);
    if (!ended)
        process.kill();
    TCliRun run;
    run.OutBytes = process.readAllStandardOutput();
    run.Out = QString::fromUtf8(run.OutBytes);
    run.Err = QString::fromUtf8(process.readAllStandardError());
    if (ended && process.exitStatus() == QProcess::NormalExit)
        run.Status = process.exitCode();
    else // keep what it printed: a sanitizer report is the reason worth seeing
        run.Err +=
            ended ? QStringLiteral("\n[%1 crashed]").arg(name) : QStringLiteral("\n[%1 timed out]").arg(name);
    return run;
}

inline TCliRun RunCli(const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = 120000,
                      TCliAccess access = TCliAccess::AsThisUser)
{
    QProcess process;
    StartCli(process, arguments, input, access);
    return FinishRun(process, timeoutMs, QStringLiteral("trovalo-cli"));
}

// One finished run of another program, such as a tool that checks what the
// build made.
inline TCliRun RunProgram(const QString &program, const QStringList &arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    return FinishRun(process, timeoutMs, QFileInfo(program).fileName());
}

} // namespace trovalo::test
