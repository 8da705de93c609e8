#include "wakeloop.h"

#include "localnetwork.h"

#include <QPointer>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace {

std::chrono::milliseconds seconds(double value)
{
    return std::chrono::milliseconds(qMax<qint64>(0, qRound64(value * 1000.0)));
}

// The window translates these in the "TVSession" context.
QString text(const char *source)
{
    return QString::fromUtf8(source);
}

} // namespace

WakeLoop::WakeLoop(const SessionTimings &timings, Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_timings(timings)
    , m_hooks(std::move(hooks))
{
}

void WakeLoop::start(const QString &host, const QString &mac)
{
    LocalNetwork::sendWakeOnLAN(mac, host);
    run(host, mac, ++m_generation);
}

void WakeLoop::stop()
{
    ++m_generation;
}

QCoro::Task<void> WakeLoop::run(QString host, QString mac, quint64 generation)
{
    QPointer<WakeLoop> self(this);
    const auto pause = seconds(m_timings.wakePause);
    const auto poll = seconds(m_timings.wakePoll);
    const int maxAttempts = qMax(1, m_timings.wakeAttempts);
    auto superseded = [&] { return !self || self->m_generation != generation; };

    int attempts = 0;
    for (;;) {
        co_await QCoro::sleepFor(pause);
        if (superseded())
            co_return;
        const ConnectionState::Kind kind = self->m_hooks.state();
        if (kind == ConnectionState::Kind::AwaitingApproval || kind == ConnectionState::Kind::Connecting
            || kind == ConnectionState::Kind::Ready)
            co_return;

        LocalNetwork::sendWakeOnLAN(mac, host);
        self->m_hooks.attempt();
        while (self->m_hooks.state() == ConnectionState::Kind::Connecting) {
            co_await QCoro::sleepFor(poll);
            if (superseded())
                co_return;
        }
        self->m_hooks.attemptEnded();
        // Ready, or the TV asks to pair: the user decides now, another attempt would cancel it.
        const ConnectionState::Kind outcome = self->m_hooks.state();
        if (outcome == ConnectionState::Kind::Ready || outcome == ConnectionState::Kind::AwaitingApproval)
            co_return;

        self->m_hooks.setState(ConnectionState::waking());
        if (++attempts >= maxAttempts) {
            self->m_hooks.setState(
                ConnectionState::error(text(QT_TRANSLATE_NOOP("TVSession", "唤醒超时，请确认电视已开启网络唤醒"))));
            co_return;
        }
    }
}
