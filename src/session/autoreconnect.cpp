#include "autoreconnect.h"

#include <QNetworkInformation>

#include <chrono>
#include <cmath>

AutoReconnect::AutoReconnect(std::function<void()> attempt, const Timings &timings, QObject *parent)
    : QObject(parent)
    , m_attempt(std::move(attempt))
    , m_timings(timings)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &AutoReconnect::fire);
}

void AutoReconnect::start()
{
    // The reachability backend is loaded once, the first time it can matter.
    static const bool backend = QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    if (backend && !m_watching) {
        m_watching = true;
        connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability reachability) {
                if (reachability == QNetworkInformation::Reachability::Online)
                    tryNow();
            });
    }
    m_window.setRemainingTime(std::chrono::milliseconds(qRound64(m_timings.window * 1000.0)));
    m_failures = 0;
    setActive(true);
    m_timer.start(std::chrono::milliseconds(qRound64(m_timings.firstDelay * 1000.0)));
}

void AutoReconnect::attemptFailed()
{
    if (!m_active)
        return;
    ++m_failures;
    const double delay = std::min(m_timings.maxDelay, m_timings.firstDelay * std::pow(2.0, m_failures));
    const auto wait = std::chrono::milliseconds(qRound64(delay * 1000.0));
    if (m_window.remainingTimeAsDuration() < wait) {
        stop();
        return;
    }
    m_timer.start(wait);
}

void AutoReconnect::stop()
{
    m_timer.stop();
    setActive(false);
}

void AutoReconnect::tryNow()
{
    if (m_active && m_timer.isActive()) {
        m_timer.stop();
        fire();
    }
}

void AutoReconnect::fire()
{
    if (m_active && m_attempt)
        m_attempt();
}

void AutoReconnect::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    Q_EMIT activeChanged();
}
