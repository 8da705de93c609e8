#include "httpclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace Http {

int openIdle(quint16 port, const QByteArray &partial)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && (partial.isEmpty() || ::send(fd, partial.constData(), size_t(partial.size()), MSG_NOSIGNAL) >= 0))
        return fd;
    ::close(fd);
    return -1;
}

namespace {

Reply blockingExchange(quint16 port, const QList<QByteArray> &pieces, int timeoutMs, int pauseMs)
{
    Reply reply;
    const int fd = openIdle(port);
    if (fd < 0)
        return reply;
    // A server that stops reading must not block the sender for good.
    const timeval sendLimit { timeoutMs / 1000, (timeoutMs % 1000) * 1000 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    // A send refused because the server already hung up is its close, not a failure here.
    bool serverGone = false;
    for (qsizetype i = 0; i < pieces.size() && !serverGone; ++i) {
        if (i > 0 && pauseMs > 0)
            QThread::msleep(pauseMs);
        const QByteArray &piece = pieces.at(i);
        for (qsizetype sent = 0; sent < piece.size() && !serverGone;) {
            const ssize_t n = ::send(fd, piece.constData() + sent, size_t(piece.size() - sent), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
            else if (n < 0 && errno != EINTR)
                serverGone = true;
        }
    }
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        pollfd p { fd, POLLIN, 0 };
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            break; // our own time-out: not the server's close
        char buffer[16384];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reply.closedByServer = true; // end of stream or reset
            break;
        }
        reply.bytes.append(buffer, n);
    }
    ::close(fd);
    const qsizetype headEnd = reply.bytes.indexOf("\r\n\r\n");
    if (reply.bytes.startsWith("HTTP/1.1 ") && headEnd >= 0) {
        reply.status = reply.bytes.mid(9, 3).toInt();
        reply.body = reply.bytes.mid(headEnd + 4);
    }
    return reply;
}

} // namespace

QByteArray postRequest(const QByteArray &body, const QByteArray &path, const QByteArray &extraHeaders)
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

Reply post(quint16 port, const QByteArray &body, int timeoutMs)
{
    return served(port, { postRequest(body, "/mcp", "Connection: close\r\n") }, timeoutMs);
}

QByteArray rpc(const QString &method, const QJsonObject &params, int id)
{
    QJsonObject message { { "jsonrpc", "2.0" }, { "id", id }, { "method", method } };
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray toolCall(const QString &name, const QJsonObject &arguments, int id)
{
    return rpc(QStringLiteral("tools/call"), { { "name", name }, { "arguments", arguments } }, id);
}

ToolResult toolResult(const Reply &reply)
{
    const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
    if (reply.status != 200 || !answer.contains(QLatin1String("result")))
        return {};
    const QJsonValue result = answer[QLatin1String("result")];
    return { true, result[QLatin1String("content")][0][QLatin1String("text")].toString(),
        result[QLatin1String("isError")].toBool() };
}

} // namespace Http

Http::Reply served(quint16 port, const QList<QByteArray> &pieces, int timeoutMs, int pauseMs)
{
    const auto work = [=] { return Http::blockingExchange(port, pieces, timeoutMs, pauseMs); };
    // The server may live in this thread: its event loop runs while another thread talks to it.
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread() ? offThread(work) : work();
}
