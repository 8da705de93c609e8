#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <future>

// A blocking HTTP client on plain sockets to 127.0.0.1, for the MCP listener and load tests; it
// runs on any thread, many at once. Called from the main thread it keeps that thread's event loop
// running, so the server may live in the test's own process.
namespace Http {

struct Reply {
    QByteArray bytes; // everything the server wrote
    int status = 0; // 0: no status line came
    QByteArray body;
    // The server ended the connection (close or reset); false when the client gave up waiting.
    bool closedByServer = false;
};

// "POST path HTTP/1.1" with Content-Length and the given extra header lines ("Name: value\r\n").
QByteArray postRequest(const QByteArray &body, const QByteArray &path = "/mcp", const QByteArray &extraHeaders = {});

// One POST /mcp on a new connection ("Connection: close").
Reply post(quint16 port, const QByteArray &body, int timeoutMs = 30000);

// A connection that sent partial and then nothing: its descriptor, or -1.
int openIdle(quint16 port, const QByteArray &partial = {});

// A JSON-RPC request body; tools/call when name is a tool.
QByteArray rpc(const QString &method, const QJsonObject &params = {}, int id = 1);
QByteArray toolCall(const QString &name, const QJsonObject &arguments = {}, int id = 1);

// The text and "isError" of a tools/call answer.
struct ToolResult {
    bool ok = false; // a JSON-RPC result arrived
    QString text;
    bool isError = false;
};
ToolResult toolResult(const Reply &reply);

} // namespace Http

// Http blocks: it runs on a worker thread while this thread's event loop serves a listener of this
// process.
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

// Sends the pieces, pausing pauseMs between them, then reads until the server ends the connection
// or timeoutMs pass; the server may be a listener of this process.
Http::Reply served(quint16 port, const QList<QByteArray> &pieces, int timeoutMs = 30000, int pauseMs = 0);
