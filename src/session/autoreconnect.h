#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// When to try again after a connection was lost without the user asking: after 1, 2, 4, 8 and
// 16 s, then every 30 s, for 10 minutes from the loss; at once when the system's network comes
// back (where Qt has a reachability backend) or the system resumes from suspend. It only says
// when; the owner makes the attempt and reports its failure.
class AutoReconnect : public QObject {
    Q_OBJECT

public:
    struct Timings {
        double firstDelay = 1.0; // doubled after every failed attempt ...
        double maxDelay = 30.0; // ... up to this
        double window = 600.0; // no attempt starts later than this after the loss
    };

    AutoReconnect(std::function<void()> attempt, const Timings &timings, QObject *parent = nullptr);

    bool isActive() const { return m_active; }

    void start(); // the connection was lost: the schedule begins again
    void attemptFailed(); // the next attempt after the next delay, unless the window is over
    void stop(); // the user acted, the attempt succeeded, or pairing is needed
    void tryNow(); // the network came back or the system resumed

Q_SIGNALS:
    void activeChanged();

private:
    void setActive(bool active);
    void fire();

    std::function<void()> m_attempt;
    Timings m_timings;
    QTimer m_timer;
    QDeadlineTimer m_window;
    int m_failures = 0;
    bool m_active = false;
    bool m_watching = false; // of the network's reachability
};
