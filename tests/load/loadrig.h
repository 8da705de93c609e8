#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

// Pieces shared by the load and fault tests: the real application as a child process, and a
// plain blocking HTTP client that can run on many threads at once.
namespace Load {

// Moves the test into a network namespace of its own with loopback up (the app scans by SSDP
// multicast at start-up). Empty on success, else why it cannot run here.
QString enterPrivateNetwork();

// One HTTP exchange over a new TCP connection to 127.0.0.1: the status code (0 when the
// connection failed or no response came) and the body.
struct Response
{
    int status = 0;
    QByteArray body;
};
Response post(quint16 port, const QByteArray &body, int timeoutMs = 30000);

// A JSON-RPC request body; tools/call when name is a tool.
QByteArray rpc(const QString &method, const QJsonObject &params = {}, int id = 1);
QByteArray toolCall(const QString &name, const QJsonObject &arguments = {}, int id = 1);

// The text and "isError" of a tools/call answer.
struct ToolResult
{
    bool ok = false; // a JSON-RPC result arrived
    QString text;
    bool isError = false;
};
ToolResult toolResult(const Response &response);

// The application (corvane-remote) offscreen, in the test's private home.
class AppProcess
{
public:
    AppProcess();
    ~AppProcess();

    // Starts it and waits until its window is up and its MCP service listens on port.
    bool start(const QStringList &arguments, quint16 port);
    void stop();
    qint64 pid() const;
    bool isRunning() const;
    // Open file descriptors of the process (/proc/PID/fd).
    int openFiles() const;

private:
    std::unique_ptr<QProcess> m_process;
};

} // namespace Load
