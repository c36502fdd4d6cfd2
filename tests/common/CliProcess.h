#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace trovalo::test {

// One finished run of the built trovalo-cli (found through TROVALO_BIN_DIR).
struct TCliRun
{
    int Status = -1; // -1: it crashed or did not end in time (Err then says which)
    QByteArray OutBytes;
    QString Out;
    QString Err;
};

// Starts trovalo-cli with standard input holding Input (then closed).
inline void StartCli(QProcess &process, const QStringList &arguments, const QByteArray &input = {})
{
    process.setProgram(qEnvironmentVariable("TROVALO_BIN_DIR") + QStringLiteral("/trovalo-cli"));
    process.setArguments(arguments);
    process.start();
    process.write(input);
    process.closeWriteChannel();
}

inline TCliRun RunCli(const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = 120000)
{
    QProcess process;
    StartCli(process, arguments, input);
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
            ended ? QStringLiteral("\n[trovalo-cli crashed]") : QStringLiteral("\n[trovalo-cli timed out]");
    return run;
}

} // namespace trovalo::test
