#pragma once

#include "connectionstate.h"
#include "sessiontimings.h"

#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <functional>

// Powering the TV on: Wake-on-LAN, then a connection attempt, again after each pause until the
// TV answers, asks to pair, or the attempts run out. The connection it drives is reached through
// the hooks, so a newer wake or the end of the connection simply stops it.
class WakeLoop : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        std::function<ConnectionState::Kind()> state;
        std::function<void(const ConnectionState &)> setState;
        std::function<void()> attempt; // starts one connection attempt to the woken TV
        std::function<void()> attemptEnded; // that attempt is no longer watched
    };

    WakeLoop(const SessionTimings &timings, Hooks hooks, QObject *parent = nullptr);

    // Sends the first packet at once; ends a loop still running.
    void start(const QString &host, const QString &mac);
    void stop();

private:
    QCoro::Task<void> run(QString host, QString mac, quint64 generation);

    const SessionTimings m_timings;
    Hooks m_hooks;
    quint64 m_generation = 0; // a newer start() or stop() ends the older loop
};
