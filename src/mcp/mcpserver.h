#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class MCPTools;
class Preferences;
class QTcpServer;

// The app's MCP endpoint: a minimal HTTP/1.1 server on 127.0.0.1 that takes one POST per TCP
// connection on "/mcp", hands the body to the JSON-RPC layer and writes back one response.
class MCPServer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(QString endpointURL READ endpointURL CONSTANT)

public:
    MCPServer(MCPTools &tools, Preferences &preferences, QObject *parent = nullptr);
    ~MCPServer() override;

    Q_INVOKABLE void start();
    Q_INVOKABLE void stop();

    bool isRunning() const { return m_isRunning; }
    std::optional<QString> lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastError.value_or(QString()); }
    int port() const;
    QString endpointURL() const; // "http://127.0.0.1:" + port + "/mcp"

Q_SIGNALS:
    void isRunningChanged();
    void lastErrorChanged();

private:
    void setRunning(bool running);
    void setLastError(const std::optional<QString> &error);

    MCPTools &m_tools;
    Preferences &m_preferences;
    bool m_isRunning = false;
    std::optional<QString> m_lastError;
    QPointer<QTcpServer> m_listener;
};
