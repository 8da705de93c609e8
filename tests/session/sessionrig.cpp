#include "sessionrig.h"

#include "selftest.h"
#include "testenv.h"

#include <QObject>

SessionRig::SessionRig(const TVSession::Timings &timings, double scanSeconds)
    : m_timings(timings)
{
    m_preferences = std::make_unique<Preferences>(m_dir.filePath(QStringLiteral("prefs.conf")));
    m_store = std::make_unique<DeviceStore>(*m_preferences);
    m_scanner = std::make_unique<TVScanner>(*m_store, scanSeconds);
    renewSession();
}

SessionRig::~SessionRig()
{
    m_session.reset();
    drainPostedEvents();
}

void SessionRig::renewSession()
{
    m_session.reset();
    m_session = std::make_unique<TVSession>(*m_store, *m_scanner, m_timings);
    // As the program does.
    SelfTest::runWhenSettled(m_session.get(), *m_preferences);
    watch();
}

void SessionRig::renewSession(const TVSession::Timings &timings)
{
    m_timings = timings;
    renewSession();
}

void SessionRig::watch()
{
    TVSession *session = m_session.get();
    QObject::connect(session, &TVSession::stateChanged, session, [this, session] { states << session->state(); });
}

QString SessionRig::addTV(const QString &host)
{
    return m_store->upsertDiscovered(host, std::nullopt, std::nullopt, std::nullopt).id;
}

TVDevice SessionRig::record(const QString &id) const
{
    return m_store->device(id).value_or(TVDevice());
}

bool SessionRig::passedThrough(ConnectionState::Kind kind) const
{
    for (const ConnectionState &state : states) {
        if (state.kind() == kind)
            return true;
    }
    return false;
}

namespace {

template <typename T> QCoro::Task<void> capture(QCoro::Task<T> task, Outcome *outcome)
{
    try {
        if constexpr (std::is_same_v<T, void>) {
            co_await std::move(task);
        } else if constexpr (std::is_same_v<T, TVSession::InputOutcome>) {
            const TVSession::InputOutcome input = co_await std::move(task);
            outcome->error = input.error;
            outcome->refused = input.refused;
        } else {
            outcome->reply = co_await std::move(task);
        }
    } catch (const SSAPError &error) {
        outcome->error = error;
    }
    outcome->done = true;
}

} // namespace

void track(QCoro::Task<void> task, Outcome *outcome)
{
    capture(std::move(task), outcome);
}

void track(QCoro::Task<QJsonObject> task, Outcome *outcome)
{
    capture(std::move(task), outcome);
}

void track(QCoro::Task<TVSession::InputOutcome> task, Outcome *outcome)
{
    capture(std::move(task), outcome);
}

int logMark()
{
    return readLogMessages().size();
}

QStringList logSince(int mark)
{
    return readLogMessages().mid(mark);
}

QStringList logSince(int mark, const QString &prefix)
{
    QStringList lines;
    for (const QString &line : logSince(mark)) {
        if (line.startsWith(prefix))
            lines << line;
    }
    return lines;
}
