#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>

#include "httprequest.h"
#include "mcpdispatch.h"

class MCPTools;
class Preferences;
class QTcpServer;
class QTcpSocket;

// The app's MCP endpoint: a minimal HTTP/1.1 server on 127.0.0.1 that takes one POST per TCP
// connection on "/mcp", hands the body to the JSON-RPC layer and writes back one response.
class MCPServer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(QString endpointURL READ endpointURL CONSTANT)

public:
    static constexpr qsizetype receiveChunk = 1048576; // bytes taken per receive step
    static constexpr qsizetype bufferLimit = 4194304; // more without a complete request ends it

    // The server's own waits; the default is the real value, tests shorten it.
    struct Timings {
        // A connection that has not delivered a complete request in this time is closed without
        // a response, so idle connections cannot pile up.
        std::chrono::milliseconds requestTimeout { 30000 };
    };

    MCPServer(MCPTools &tools, Preferences &preferences, QObject *parent = nullptr);
    MCPServer(MCPTools &tools, Preferences &preferences, const Timings &timings, QObject *parent = nullptr);
    ~MCPServer() override;

    Q_INVOKABLE void start();
    Q_INVOKABLE void stop();

    bool isRunning() const { return m_isRunning; }
    std::optional<QString> lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastError.value_or(QString()); }
    int port() const;
    QString endpointURL() const; // "http://127.0.0.1:" + port + "/mcp"

    // Origin, then path, then method; a request passing all three goes to handleBody.
    static QCoro::Task<DispatchReply> route(HTTPRequest request, MCPTools &tools);
    // The exact response bytes for a status line and body.
    static QByteArray responseBytes(const QString &status, const QByteArray &body);

Q_SIGNALS:
    void isRunningChanged();
    void lastErrorChanged();

private:
    void setRunning(bool running);
    void setLastError(const std::optional<QString> &error);
    void accept();
    void receive(QTcpSocket *socket);
    QCoro::Task<void> respond(QPointer<QTcpSocket> socket, HTTPRequest request);

    MCPTools &m_tools;
    Preferences &m_preferences;
    bool m_isRunning = false;
    std::optional<QString> m_lastError;
    QPointer<QTcpServer> m_listener;
    const Timings m_timings;
};
