#pragma once

#include "appparts.h"
#include "tvsimprocess.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

// A TV emulator saved in a set of the program's parts: what the session, MCP and monitor tests
// stand on, with "what the TV received" and "answer with" at hand.
class PairedTV {
public:
    explicit PairedTV(const TVSimProcess::Options &tv, const AppParts::Setup &parts = AppParts::quick());
    // An emulator already started (in the network lab, say).
    explicit PairedTV(std::unique_ptr<TVSimProcess> tv, const AppParts::Setup &parts = AppParts::quick());

    // Starts the emulator if it is not running and saves the TV under name; no connection yet.
    bool start(const QString &name = {});
    // Connects (the emulator accepts the prompt) and waits until the session is ready and settled.
    bool pair() { return parts.pair(id); }

    std::unique_ptr<TVSimProcess> sim;
    AppParts parts;
    QString id;
    TVSession &session() { return parts.session(); }

    // The requests for a URI (without "ssap://") the TV received since the last clear, and the
    // payload of one of them.
    QList<QJsonObject> sent(const QString &uri);
    QJsonObject payload(const QString &uri, qsizetype index = 0);
    // From now on the TV answers requests for the URI with this error, until the faults are cleared.
    void answerWithError(const QString &uri, const QString &error);
    void clearFaults();
    void set(const QJsonObject &state); // the TV's state, as its user would change it
};
