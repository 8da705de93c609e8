#pragma once

#include "tvcommands.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <optional>

class Preferences;
class TVSession;

// The scripted exercise of a paired TV switched on by the "autotest" preference: a fixed
// sequence of requests and remote actions whose outcome goes to the log, each line starting
// with "[autotest]". Mode "power" runs the power cycle, "full" the basic and the extended
// sequence, anything else the basic one. Runs at most once per process.
class SelfTest {
public:
    // Returns at once when a run was already started in this process.
    static QCoro::Task<void> run(TVSession *session, QString mode);
    static bool hasStarted();
    // Runs the self-test the "autotest" preference asks for once a connection has settled.
    static void runWhenSettled(TVSession *session, const Preferences &preferences);

    // Compact JSON with sorted keys, "-" when it cannot be written.
    static QString jsonText(const QJsonObject &reply);
    // ["a", "b"]
    static QString listText(const QStringList &items);

private:
    explicit SelfTest(TVSession *session);

    QCoro::Task<void> basic();
    QCoro::Task<void> extended();
    QCoro::Task<void> powerCycle();

    // Each answers false once the session is gone: the run then stops.
    QCoro::Task<bool> wait(double seconds);
    QCoro::Task<bool> probe(QString label, TVRequest command);
    QCoro::Task<std::optional<QJsonObject>> powerState();
    QString selectedMAC() const;

    QPointer<TVSession> m_session;
};
