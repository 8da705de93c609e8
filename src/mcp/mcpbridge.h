#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class Preferences;
class QNetworkAccessManager;

// Stdio bridge for MCP clients: one JSON-RPC message per input line, forwarded to the running
// app's HTTP service; one reply per output line. When the service cannot be reached, the app is
// started once in the background (unless one is running already) and the request retried while
// it comes up.
class MCPBridge {
public:
    enum class Outcome { Unreachable, NoBody, Body };

    explicit MCPBridge(Preferences &preferences);
    ~MCPBridge();
    int run(); // returns 0 at the end of standard input

    QString endpoint() const { return m_endpoint; }

    // The JSON form of the message's "id" (7, "abc", null), or none for a line that is not an
    // object with an "id".
    static std::optional<QByteArray> idText(const QByteArray &line);

private:
    Outcome forward(const QByteArray &line, QByteArray *body);
    void startApplication();

    Preferences &m_preferences;
    QString m_endpoint;
    bool m_launched = false;
    std::unique_ptr<QNetworkAccessManager> m_network; // made on first use
};
