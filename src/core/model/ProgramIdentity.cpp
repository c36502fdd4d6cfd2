#include "ProgramIdentity.h"

#include <QFile>

namespace trovalo {

const QString ProgramVersionNumber = QStringLiteral(TROVALO_VERSION);
const QString ProgramVersion = QStringLiteral("V " TROVALO_VERSION);

bool DebugMode()
{
    // A tracer (gdb, lldb, strace) shows up as a non-zero TracerPid.
    static const bool debugging = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        const QByteArrayList lines = status.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("TracerPid:"))
                return line.mid(10).trimmed() != "0";
        }
        return false;
    }();
    return debugging;
}

QString AppFolderName()
{
    return DebugMode() ? QStringLiteral("Trovalo Debug") : QStringLiteral("Trovalo");
}

} // namespace trovalo
