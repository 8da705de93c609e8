#pragma once

#include "devicestore.h"
#include "preferences.h"
#include "simmessages.h"
#include "tvsession.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

// One session over its own preferences file and device store, recording every state it passes
// through.
class SessionRig {
public:
    explicit SessionRig(const TVSession::Timings &timings = {}, double scanSeconds = 3.0);
    ~SessionRig();

    Preferences &preferences() { return *m_preferences; }
    DeviceStore &store() { return *m_store; }
    TVSession &session() { return *m_session; }
    TVScanner &scanner() { return *m_scanner; }

    // A saved (unpaired) TV at host; returns its id.
    QString addTV(const QString &host);
    TVDevice record(const QString &id) const;

    // A new session over the same store (the old one is destroyed), with other timings if given.
    void renewSession();
    void renewSession(const TVSession::Timings &timings);

    QList<ConnectionState> states; // every state the session entered, in order
    bool passedThrough(ConnectionState::Kind kind) const;

private:
    void watch();

    TVSession::Timings m_timings;
    QTemporaryDir m_dir;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<DeviceStore> m_store;
    std::unique_ptr<TVScanner> m_scanner;
    std::unique_ptr<TVSession> m_session;
};

// The outcome of an awaited session operation, observable from a Qt Test function.
struct Outcome {
    bool done = false;
    std::optional<SSAPError> error;
    QJsonObject reply;
    bool refused = false; // a press or click the TV refused
};

// Starts the operation; its outcome lands in *outcome (which must outlive it).
void track(QCoro::Task<void> task, Outcome *outcome);
void track(QCoro::Task<QJsonObject> task, Outcome *outcome);
void track(QCoro::Task<TVSession::InputOutcome> task, Outcome *outcome);

// Log messages written since a mark (a count of lines read before).
int logMark();
QStringList logSince(int mark);
QStringList logSince(int mark, const QString &prefix);
