#pragma once

#include "devicestore.h"
#include "mcpserver.h"
#include "mcptools.h"
#include "preferences.h"
#include "tvsession.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// The program's parts, wired as the program wires them (preferences, saved TVs, scanner, session
// with its self-test, MCP tools and server), for in-process tests. The server is built on first
// use and does not listen until started.
class AppParts {
public:
    struct Setup {
        QString preferencesFile {}; // empty: one in a temporary directory
        QStringList launchArguments {}; // "-key", "value" pairs over the file, as on the command line
        TVSession::Timings session {};
        MCPTools::Timings tools {};
        double scanSeconds = 3.0;
    };
    AppParts()
        : AppParts(Setup())
    {
    }
    explicit AppParts(const Setup &setup);
    // Short polls and pauses, for tests that do not look at the pacing.
    static Setup quick();
    virtual ~AppParts();

    Preferences &preferences() { return *m_preferences; }
    DeviceStore &store() { return *m_store; }
    TVScanner &scanner() { return *m_scanner; }
    TVSession &session() { return *m_session; }
    MCPTools &tools() { return *m_tools; }
    MCPServer &server();

    // A new session (with new tools and server) over the same store, or only new tools.
    void renewSession(const std::optional<TVSession::Timings> &timings = std::nullopt);
    void rebuildTools(const MCPTools::Timings &timings);

    // A saved, not yet paired TV; returns its id.
    QString addTV(const QString &host, const QString &name = {}, const QString &model = {});
    TVDevice record(const QString &id) const;
    // Connects (the emulator accepts the prompt) and waits until the session is ready and settled.
    bool pair(const QString &id);

    struct ToolAnswer {
        bool isError = false;
        QString text;
        std::optional<QJsonObject> structured; // not compared: tests look at it on its own
        bool operator==(const ToolAnswer &other) const { return isError == other.isError && text == other.text; }
    };
    // Runs one tool to its end (the event loop keeps running meanwhile).
    ToolAnswer callTool(const QString &name, const QJsonObject &arguments = {});

    QList<ConnectionState> states; // every state the session entered, in order
    bool passedThrough(ConnectionState::Kind kind) const;

private:
    void buildSession(const TVSession::Timings &sessionTimings, const MCPTools::Timings &toolTimings);
    void letConnectionSettle();

    QTemporaryDir m_dir;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<DeviceStore> m_store;
    std::unique_ptr<TVScanner> m_scanner;
    std::unique_ptr<TVSession> m_session;
    std::unique_ptr<MCPTools> m_tools;
    std::unique_ptr<MCPServer> m_server;
    bool m_ready = false;
    bool m_settling = false; // ready, lists and MAC not yet settled
};

char *toString(const AppParts::ToolAnswer &answer);
AppParts::ToolAnswer success(const QString &text);
AppParts::ToolAnswer failure(const QString &text);
