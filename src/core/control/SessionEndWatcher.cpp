#include "SessionEndWatcher.h"

#include "base/Logging.h"
#include "platform/DesktopSession.h"
#include "platform/LogindClient.h"

namespace trovalo {

namespace {
const QString BlockReason = QStringLiteral("Backup jobs are running");
const QString DelayReason = QStringLiteral("Runs the shut-down backup jobs");
} // namespace

const QString TSessionEndWatcher::RefusalText =
    QStringLiteral("Some threads are running. Windows will shut down automatically when they are finished.");

TSessionEndWatcher::TSessionEndWatcher(THooks hooks, QObject *parent)
    : QObject(parent)
    , FHooks(std::move(hooks))
{}

TSessionEndWatcher::~TSessionEndWatcher() = default;

void TSessionEndWatcher::Start(bool desktopSession, const QString &appId)
{
    if (FStarted)
        return;
    FStarted = true;
    FLogind = std::make_unique<TLogindClient>();
    if (!FLogind->IsAvailable()) {
        qCInfo(LogSession) << "No logind: shut-down schedules run only when the session asks first, and "
                              "nothing holds a shut-down back while jobs run";
        FLogind.reset();
    } else {
        connect(FLogind.get(), &TLogindClient::PrepareForShutdown, this,
                &TSessionEndWatcher::PrepareForShutdown);
        if (!FLogind->TakeDelayLock(DelayReason))
            qCInfo(LogSession)
                << "No logind delay lock: shut-down schedules run only when the session asks first";
    }
    if (!desktopSession)
        return;
    FGnome = std::make_unique<TGnomeSessionClient>();
    if (!FGnome->Register(appId)) {
        FGnome.reset();
        return;
    }
    connect(FGnome.get(), &TGnomeSessionClient::QueryEndSession, this,
            [this] { FGnome->AnswerQuery(QueryEnd(), RefusalText); });
    connect(FGnome.get(), &TGnomeSessionClient::EndSessionCancelled, this, &TSessionEndWatcher::Cancelled);
    connect(FGnome.get(), &TGnomeSessionClient::EndSession, this, &TSessionEndWatcher::SessionEnding);
    connect(FGnome.get(), &TGnomeSessionClient::StopRequested, this, &TSessionEndWatcher::SessionEnding);
}

bool TSessionEndWatcher::QueryEnd()
{
    if (FPolicy.Query()) {
        qCInfo(LogSession) << "The session is about to end: the shut-down schedules start";
        FHooks.RunShutdownSchedules();
    }
    JobsChanged(); // the schedules may have started jobs: hold the locks first
    if (FPolicy.MayEnd(FHooks.RunningJobs()))
        return true;
    qCInfo(LogSession) << "The end of the session waits for" << FHooks.RunningJobs() << "running job(s)";
    if (FHooks.Refused)
        FHooks.Refused(RefusalText);
    return false;
}

void TSessionEndWatcher::Cancelled()
{
    qCInfo(LogSession) << "The log-off or shut-down was cancelled";
    FPolicy.Cancel();
    FShuttingDown = false;
    // Given up for the shut-down that did not come: the next one needs it.
    if (FLogind && !FLogind->HasDelayLock())
        FLogind->TakeDelayLock(DelayReason);
    JobsChanged();
}

void TSessionEndWatcher::PrepareForShutdown(bool starting)
{
    if (!starting) {
        Cancelled();
        return;
    }
    FShuttingDown = true;
    if (FPolicy.Query()) {
        qCInfo(LogSession) << "The computer shuts down: the shut-down schedules start";
        FHooks.RunShutdownSchedules();
    }
    JobsChanged();
}

void TSessionEndWatcher::JobsChanged()
{
    const int running = FHooks.RunningJobs();
    if (FLogind) {
        FLogind->SetBlockLock(TSessionEndPolicy::WantsBlockLock(running), BlockReason);
        if (FShuttingDown && running == 0 && FLogind->HasDelayLock())
            FLogind->ReleaseDelayLock();
    }
    if (FGnome)
        FGnome->SetLogoutInhibit(running > 0, RefusalText);
    if (FPolicy.JobEnded(running))
        EndNow();
}

void TSessionEndWatcher::EndNow()
{
    qCInfo(LogSession) << "The last job has ended: powering off";
    QString error = QStringLiteral("logind is not running");
    bool ok = FLogind && FLogind->PowerOff(&error);
    // Not allowed to power off (other users are logged in, or it needs a
    // password nobody is there to type): the user's session ends instead.
    if (!ok) {
        qCInfo(LogSession).noquote() << "Not powered off:" << error << "- logging off instead";
        QString logOffError;
        ok = LogOutOfDesktop(&logOffError);
        error += QStringLiteral("; ") + logOffError;
    }
    if (!ok)
        qCWarning(LogSession).noquote() << "The session could not be ended:" << error;
    emit EndCarriedOut(ok, ok ? QString() : error);
}

bool TSessionEndWatcher::HoldsBlockLock() const
{
    return FLogind && FLogind->HasBlockLock();
}

bool TSessionEndWatcher::HoldsDelayLock() const
{
    return FLogind && FLogind->HasDelayLock();
}

} // namespace trovalo
