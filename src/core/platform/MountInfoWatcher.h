#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

namespace trovalo {

// Watches the mount table of the process (/proc/self/mountinfo). The kernel
// wakes poll() on that file with POLLPRI | POLLERR after every mount and
// unmount in the mount namespace; a QSocketNotifier of type Exception waits
// for POLLPRI in the thread's event loop (both of Qt's Unix event
// dispatchers, glib's and the plain one, ask for it), so nothing polls on a
// timer. Each wake-up reads the file again from its start, and Changed()
// comes only when the text differs from the last one read.
class TMountInfoWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TMountInfoWatcher(const QString &fileName = QStringLiteral("/proc/self/mountinfo"),
                               QObject *parent = nullptr);
    ~TMountInfoWatcher() override;

    // Opens the file and reads it; false with the reason in *error.
    bool Start(QString *error);
    // The text as last read.
    QString Text() const { return FText; }
    // Wake-ups so far (tests see the notifier work by it).
    int WakeUps() const { return FWakeUps; }

signals:
    void Changed(const QString &text);

private:
    void Wake();
    bool Read(QString *text);

    QString FFileName;
    int FFd = -1;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QString FText;
    int FWakeUps = 0;
};

} // namespace trovalo
