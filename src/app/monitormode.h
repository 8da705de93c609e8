#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <QCoro/QCoroTask>

#include <optional>

class Preferences;
class SystemEvents;
class TVSession;

// How long monitor mode waits for the TV and the network, in seconds (tests shorten them).
struct MonitorModeTimings {
    double answerWait = 2.0; // for the TV's answer to power off, while sleep is held back
    double networkWait = 60.0; // for a route to the TV after resume or login
    double networkPoll = 0.5;
    double connectWait = 90.0; // for the connection once the wake has begun
    double poll = 0.2;
};

// The TV as the computer's screen: off before the machine sleeps or shuts down, woken and
// switched to the computer's input after resume and at login, its picture off while the desktop
// is blanked. It never acts against a viewer: power and picture are only switched off while the
// TV shows the computer's input. Each decision is one log line, the last one kept for the page.
class MonitorMode : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(QString input READ input WRITE setInput NOTIFY optionsChanged)
    Q_PROPERTY(bool powerOffOnSleep READ powerOffOnSleep WRITE setPowerOffOnSleep NOTIFY optionsChanged)
    Q_PROPERTY(bool screenOffOnBlank READ screenOffOnBlank WRITE setScreenOffOnBlank NOTIFY optionsChanged)
    // {id, label} of the TV's inputs, and the chosen one while the TV has not listed it.
    Q_PROPERTY(QVariantList inputChoices READ inputChoices NOTIFY inputChoicesChanged)
    Q_PROPERTY(int inputIndex READ inputIndex NOTIFY inputChoicesChanged)
    Q_PROPERTY(QString lastAction READ lastAction NOTIFY lastActionChanged)

public:
    using Timings = MonitorModeTimings;

    MonitorMode(TVSession &session, Preferences &preferences, SystemEvents &events, Timings timings = {},
        QObject *parent = nullptr);

    // Takes the sleep lock when on; at login also wakes the TV.
    void start(bool atLogin);

    // "-background" on the command line: start without showing the window.
    static bool startsInBackground(const QStringList &arguments);
    // The launch arguments of the login start entry.
    static QStringList backgroundArguments();

    bool enabled() const;
    void setEnabled(bool enabled);
    QString input() const;
    void setInput(const QString &inputID);
    bool powerOffOnSleep() const;
    void setPowerOffOnSleep(bool on);
    bool screenOffOnBlank() const;
    void setScreenOffOnBlank(bool on);
    QVariantList inputChoices() const;
    int inputIndex() const;
    QString lastAction() const { return m_lastAction; }

Q_SIGNALS:
    void enabledChanged();
    void optionsChanged();
    void inputChoicesChanged();
    void lastActionChanged();

private:
    // A decision's text twice: as written for the log, which stays Chinese, and in the window's
    // language for the settings page.
    struct Text {
        QString log;
        QString window;
        Text(const QString &verbatim = {}) // names and messages that need no translating
            : log(verbatim)
            , window(verbatim)
        {
        }
        Text(const QString &log, const QString &window)
            : log(log)
            , window(window)
        {
        }
        Text operator+(const Text &other) const { return { log + other.log, window + other.window }; }
        Text arg(const Text &a) const { return { log.arg(a.log), window.arg(a.window) }; }
        Text arg(const Text &a, const Text &b) const
        {
            return { log.arg(a.log, b.log), window.arg(a.window, b.window) };
        }
        Text arg(double a) const { return { log.arg(a), window.arg(a) }; }
    };
    // A source text marked with QT_TR_NOOP.
    static Text said(const char *source);
    // A failure's description: as the session gave it for the log, described for the window.
    static Text failureText(const QString &description);

    void note(const Text &text);
    void updateLock();
    void beforeSleep(bool shutdown);
    void afterSleep();
    void screenSaver(bool active);
    // Why the TV is not the computer's screen right now, or nothing when it is.
    std::optional<Text> notShowingComputer() const;
    QString inputLabel() const;
    std::optional<QString> tvHost() const;

    QCoro::Task<void> powerOffThenRelease(Text what);
    QCoro::Task<void> bringBack(Text why);
    QCoro::Task<void> switchScreen(bool on);

    TVSession &m_session;
    Preferences &m_preferences;
    SystemEvents &m_events;
    Timings m_timings;
    QString m_lastAction;
    bool m_sleeping = false; // between the announcement of sleep and the resume
    quint64 m_generation = 0; // a sleep or resume ends what the previous one still waits for
    bool m_screenOffByUs = false;
};
