#include "loadrig.h"

#include "testenv.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

#include <filesystem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Load {

QString enterPrivateNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0) {
        if (::geteuid() != 0)
            return QStringLiteral("needs root for a private network namespace (the app sends SSDP multicast at start-up)");
        return QStringLiteral("unshare(CLONE_NEWNET) failed");
    }
    if (QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                                                 QStringLiteral("up")}) != 0)
        return QStringLiteral("cannot bring loopback up in the private network namespace");
    return {};
}

Response post(quint16 port, const QByteArray &body, int timeoutMs)
{
    Response response;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return response;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return response;
    }
    const QByteArray request = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                               "Connection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    qsizetype sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n <= 0) {
            ::close(fd);
            return response;
        }
        sent += n;
    }
    // The server closes the connection after its one response.
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            break;
        char buffer[16384];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        received.append(buffer, n);
    }
    ::close(fd);
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (!received.startsWith("HTTP/1.1 ") || headEnd < 0)
        return response;
    response.status = received.mid(9, 3).toInt();
    response.body = received.mid(headEnd + 4);
    return response;
}

QByteArray rpc(const QString &method, const QJsonObject &params, int id)
{
    QJsonObject message{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                        {QStringLiteral("id"), id},
                        {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray toolCall(const QString &name, const QJsonObject &arguments, int id)
{
    return rpc(QStringLiteral("tools/call"),
               {{QStringLiteral("name"), name}, {QStringLiteral("arguments"), arguments}}, id);
}

ToolResult toolResult(const Response &response)
{
    ToolResult result;
    const QJsonObject answer = QJsonDocument::fromJson(response.body).object();
    if (response.status != 200 || !answer.contains(QStringLiteral("result")))
        return result;
    const QJsonObject body = answer.value(QStringLiteral("result")).toObject();
    result.ok = true;
    result.text = body.value(QStringLiteral("content")).toArray().at(0).toObject().value(QStringLiteral("text")).toString();
    result.isError = body.value(QStringLiteral("isError")).toBool();
    return result;
}

AppProcess::AppProcess() = default;

AppProcess::~AppProcess()
{
    stop();
}

bool AppProcess::start(const QStringList &arguments, quint16 port)
{
    stop();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process->setProcessEnvironment(env);
    m_process->start(binDir() + QStringLiteral("/corvane-remote"),
                     arguments + QStringList{QStringLiteral("-mcpPort"), QString::number(port)});
    if (!m_process->waitForStarted(10000))
        return false;
    QElapsedTimer clock;
    clock.start();
    const QString listening = QStringLiteral("MCP 服务已启动 http://127.0.0.1:%1/mcp").arg(port);
    while (clock.elapsed() < 30000) {
        if (m_process->state() != QProcess::Running)
            return false;
        if (readLogMessages().contains(listening))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void AppProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished();
        }
    }
    m_process.reset();
}

qint64 AppProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

bool AppProcess::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

int AppProcess::openFiles() const
{
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it(QStringLiteral("/proc/%1/fd").arg(pid()).toStdString(), error), end;
         !error && it != end; it.increment(error))
        ++count;
    return count;
}

} // namespace Load
