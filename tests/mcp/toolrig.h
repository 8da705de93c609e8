#pragma once

#include "devicestore.h"
#include "httpclient.h"
#include "mcptools.h"
#include "preferences.h"
#include "simmessages.h"
#include "tvsession.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <memory>

// A session over its own preferences file and store, with the tool catalogue bound to it.
class ToolRig {
public:
    ToolRig();
    ~ToolRig();

    Preferences &preferences() { return *m_preferences; }
    DeviceStore &store() { return *m_store; }
    TVSession &session() { return *m_session; }
    MCPTools &tools() { return *m_tools; }
    // New tools over the same session: the tools take their timings only when built.
    void rebuildTools(const MCPTools::Timings &timings);

    // A new session (and catalogue) over the same store, with these timings.
    void renewSession(const TVSession::Timings &timings);

    // A saved, not yet paired TV; returns its id.
    QString addTV(const QString &host, const QString &name);
    // Connects to the TV (the emulator accepts the prompt) and waits until the session is ready.
    bool pair(const QString &id);

    struct Result {
        bool isError = false;
        QString text;
        std::optional<QJsonObject> structured; // not compared: tests look at it on its own
        bool operator==(const Result &other) const { return isError == other.isError && text == other.text; }
    };
    // Runs one tool to its end (the event loop keeps running meanwhile).
    Result call(const QString &name, const QJsonObject &arguments = {});

private:
    void renewSession(const TVSession::Timings &sessionTimings, const MCPTools::Timings &toolTimings);

    QTemporaryDir m_dir;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<DeviceStore> m_store;
    std::unique_ptr<TVScanner> m_scanner;
    std::unique_ptr<TVSession> m_session;
    std::unique_ptr<MCPTools> m_tools;
};

char *toString(const ToolRig::Result &result);

// The Http client blocks: it runs on a worker thread while this thread's event loop serves the
// listener of this process.
template <typename F> auto offThread(F work) -> decltype(work())
{
    QEventLoop loop;
    auto running = std::async(std::launch::async, [&] {
        auto result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        return result;
    });
    loop.exec();
    return running.get();
}
Http::Reply served(quint16 port, const QList<QByteArray> &pieces, int timeoutMs = 30000, int pauseMs = 0);

ToolRig::Result success(const QString &text);
ToolRig::Result failure(const QString &text);
