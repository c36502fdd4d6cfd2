#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QThread>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace trovalo::test {

// Another process holding a file's lock as a running writer does, until
// the object goes.
class TLockingProcess
{
public:
    explicit TLockingProcess(const QString &native)
        : FNative(native)
    {
        FProcess.start("flock", {"--exclusive", native, "sleep", "60"});
        for (int i = 0; i < 100 && !Holding(); ++i)
            QThread::msleep(20);
    }
    ~TLockingProcess()
    {
        FProcess.kill();
        FProcess.waitForFinished();
    }
    // Seen as a sweep sees it: the lock cannot be had.
    bool Holding() const
    {
        const int fd = ::open(QFile::encodeName(FNative).constData(), O_RDONLY | O_CLOEXEC);
        const bool held = fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (fd >= 0)
            ::close(fd);
        return held;
    }

private:
    QString FNative;
    QProcess FProcess;
};
} // namespace trovalo::test
