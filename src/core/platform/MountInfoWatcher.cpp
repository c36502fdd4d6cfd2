#include "MountInfoWatcher.h"

#include "base/Logging.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace trovalo {

TMountInfoWatcher::TMountInfoWatcher(const QString &fileName, QObject *parent)
    : QObject(parent)
    , FFileName(fileName)
{}

TMountInfoWatcher::~TMountInfoWatcher()
{
    FNotifier.reset();
    if (FFd >= 0)
        ::close(FFd);
}

bool TMountInfoWatcher::Start(QString *error)
{
    if (FFd >= 0)
        return true;
    FFd = ::open(QFile::encodeName(FFileName).constData(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0 || !Read(&FText)) {
        if (error)
            *error = QStringLiteral("%1 cannot be read: %2")
                         .arg(FFileName, QString::fromLocal8Bit(strerror(errno)));
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
        return false;
    }
    FNotifier = std::make_unique<QSocketNotifier>(FFd, QSocketNotifier::Exception);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TMountInfoWatcher::Wake);
    return true;
}

bool TMountInfoWatcher::Read(QString *text)
{
    // The file is generated at each read: from its start, to its end.
    if (::lseek(FFd, 0, SEEK_SET) < 0)
        return false;
    QByteArray content;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(FFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    *text = QString::fromUtf8(content);
    return true;
}

void TMountInfoWatcher::Wake()
{
    ++FWakeUps;
    QString text;
    if (!Read(&text)) {
        qCWarning(LogDrives).noquote() << QStringLiteral("%1 cannot be read again: %2")
                                              .arg(FFileName, QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    if (text == FText)
        return;
    FText = text;
    emit Changed(FText);
}

} // namespace trovalo
