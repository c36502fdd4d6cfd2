#include "Terminal.h"

#include "CliContext.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace trovalo::cli {

std::optional<QString> ReadSecret(const QString &prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return std::nullopt;
    termios saved{};
    if (::tcgetattr(tty, &saved) != 0) {
        ::close(tty);
        return std::nullopt;
    }
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    silent.c_lflag |= ECHONL;
    const QByteArray promptBytes = prompt.toLocal8Bit();
    [[maybe_unused]] ssize_t written =
        ::write(tty, promptBytes.constData(), static_cast<size_t>(promptBytes.size()));
    ::tcsetattr(tty, TCSAFLUSH, &silent);
    QByteArray line;
    char c = 0;
    while (::read(tty, &c, 1) == 1 && c != '\n')
        line.append(c);
    ::tcsetattr(tty, TCSAFLUSH, &saved);
    ::close(tty);
    return QString::fromLocal8Bit(line);
}

QString ReadFirstLine(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw TCliFailure{QStringLiteral("%1: cannot be read: %2").arg(fileName, file.errorString())};
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace trovalo::cli
