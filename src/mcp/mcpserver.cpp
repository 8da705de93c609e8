#include "mcpserver.h"

#include "applog.h"
#include "preferences.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

const QString bindAddress = QStringLiteral("127.0.0.1");

// An allowed origin is "http://localhost" or "http://127.0.0.1", alone or with a port. A bare
// prefix test would also let "http://localhost.example.com" through, which any web site can be.
bool isLocalOrigin(const QString &origin)
{
    for (const QLatin1String base : { QLatin1String("http://localhost"), QLatin1String("http://127.0.0.1") }) {
        if (!origin.startsWith(base))
            continue;
        const QStringView rest = QStringView(origin).mid(base.size());
        if (rest.isEmpty())
            return true;
        if (rest.size() < 2 || rest.front() != QLatin1Char(':'))
            continue;
        bool digits = true;
        for (QChar c : rest.mid(1))
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digits)
            return true;
    }
    return false;
}

// Per connection: the bytes received so far, and whether a request was taken from them.
struct Connection {
    QByteArray buffer;
    bool handled = false;
};

void cancel(QTcpSocket *socket)
{
    socket->abort();
    socket->deleteLater();
}

// Qt has no half-closed sockets: reading the end of a peer's sending side closes the whole
// socket, and the answer could no longer be written. Nothing is read after the request, so
// reading stops at the socket's own read notifier; a peer that is really gone still shows when
// the answer is written.
void stopReading(QTcpSocket *socket)
{
    for (QSocketNotifier *notifier : socket->findChildren<QSocketNotifier *>())
        if (notifier->type() == QSocketNotifier::Read)
            notifier->setEnabled(false);
}

} // namespace

MCPServer::MCPServer(MCPTools &tools, Preferences &preferences, QObject *parent)
    : MCPServer(tools, preferences, Timings {}, parent)
{
}

MCPServer::MCPServer(MCPTools &tools, Preferences &preferences, const Timings &timings, QObject *parent)
    : QObject(parent)
    , m_tools(tools)
    , m_preferences(preferences)
    , m_timings(timings)
{
}

MCPServer::~MCPServer()
{
    if (m_listener)
        m_listener->close();
}

int MCPServer::port() const
{
    return m_preferences.mcpPort();
}

QString MCPServer::endpointURL() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port()) + QStringLiteral("/mcp");
}

void MCPServer::setRunning(bool running)
{
    if (m_isRunning == running)
        return;
    m_isRunning = running;
    Q_EMIT isRunningChanged();
}

void MCPServer::setLastError(const std::optional<QString> &error)
{
    if (m_lastError == error)
        return;
    m_lastError = error;
    Q_EMIT lastErrorChanged();
}

void MCPServer::start()
{
    stop();
    auto *listener = new QTcpServer(this);
    connect(listener, &QTcpServer::newConnection, this, &MCPServer::accept);
    m_listener = listener;
    // QTcpServer allows local address reuse on Unix by default.
    if (listener->listen(QHostAddress(bindAddress), quint16(port()))) {
        setRunning(true);
        setLastError(std::nullopt);
        appLog(QStringLiteral("MCP 服务已启动 ") + endpointURL());
    } else {
        // The failed listener stays until the next start() or stop().
        setRunning(false);
        setLastError(listener->errorString());
        appLog(QStringLiteral("MCP 服务失败: ") + listener->errorString());
    }
}

void MCPServer::stop()
{
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
    }
    m_listener = nullptr;
    setRunning(false);
}

void MCPServer::accept()
{
    auto *listener = qobject_cast<QTcpServer *>(sender());
    if (!listener)
        return;
    while (QTcpSocket *socket = listener->nextPendingConnection()) {
        // Open connections belong to the server, not the listener: stop() leaves a request that
        // is being handled to be answered.
        socket->setParent(this);
        auto connection = std::make_shared<Connection>();

        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] { cancel(socket); });
        idle->start(m_timings.requestTimeout);

        const QPointer<MCPServer> self(this);
        const auto take = [self, socket, connection, idle] {
            if (!socket->isOpen())
                return;
            if (connection->handled) {
                socket->readAll(); // bytes after the request are ignored
                return;
            }
            while (socket->bytesAvailable() > 0) {
                connection->buffer += socket->read(receiveChunk);
                if (std::optional<HTTPRequest> request = parseRequest(connection->buffer)) {
                    connection->handled = true;
                    connection->buffer.clear();
                    idle->stop();
                    socket->readAll();
                    stopReading(socket);
                    if (self)
                        self->respond(QPointer<QTcpSocket>(socket), std::move(*request));
                    return;
                }
                if (connection->buffer.size() > bufferLimit) {
                    cancel(socket);
                    return;
                }
            }
        };
        connect(socket, &QTcpSocket::readyRead, socket, take);
        // The peer finished sending or failed: without a complete request there is no answer.
        const auto finished = [socket, connection, take] {
            if (!connection->handled)
                take();
            if (!connection->handled)
                cancel(socket);
        };
        connect(socket, &QTcpSocket::readChannelFinished, socket, finished);
        connect(socket, &QTcpSocket::errorOccurred, socket, finished);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);

        if (socket->bytesAvailable() > 0)
            take();
    }
}

QCoro::Task<void> MCPServer::respond(QPointer<QTcpSocket> socket, HTTPRequest request)
{
    const QPointer<MCPServer> self(this);
    const std::chrono::milliseconds guard = m_timings.requestTimeout;
    const DispatchReply reply = co_await route(std::move(request), m_tools);
    if (!self || !socket)
        co_return;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        cancel(socket);
        co_return;
    }
    socket->write(responseBytes(reply.status, reply.body));
    // Closes once everything is written; a peer that never reads is cut off after the guard.
    socket->disconnectFromHost();
    QTcpSocket *raw = socket.data();
    if (raw && raw->state() != QAbstractSocket::UnconnectedState) {
        // A timer owned by the socket goes with it. QTimer::singleShot's timer would outlive a
        // closed socket for the whole guard: thousands of them under load, and every timer
        // start and stop in the process then walks the lot.
        auto *cutOff = new QTimer(raw);
        cutOff->setSingleShot(true);
        connect(cutOff, &QTimer::timeout, raw, [raw] { cancel(raw); });
        cutOff->start(guard);
    }
}

QCoro::Task<DispatchReply> MCPServer::route(HTTPRequest request, MCPTools &tools)
{
    const auto origin = request.headers.constFind(QStringLiteral("origin"));
    if (origin != request.headers.constEnd() && !isLocalOrigin(*origin))
        co_return DispatchReply { QStringLiteral("403 Forbidden"), {} };
    const QStringList pieces = request.path.split(QLatin1Char('?'), Qt::SkipEmptyParts);
    if (pieces.isEmpty() || pieces.constFirst() != QLatin1String("/mcp"))
        co_return DispatchReply { QStringLiteral("404 Not Found"), {} };
    if (request.method != QLatin1String("POST"))
        co_return DispatchReply { QStringLiteral("405 Method Not Allowed"), {} };
    const auto version = request.headers.constFind(QStringLiteral("mcp-protocol-version"));
    std::optional<QString> protocolVersion;
    if (version != request.headers.constEnd())
        protocolVersion = *version;
    co_return co_await handleBody(std::move(request.body), tools, protocolVersion);
}

QByteArray MCPServer::responseBytes(const QString &status, const QByteArray &body)
{
    QByteArray bytes = "HTTP/1.1 " + status.toUtf8() + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n";
    if (!body.isEmpty())
        bytes += "Content-Type: application/json\r\n";
    if (status.startsWith(QLatin1String("405")))
        bytes += "Allow: POST\r\n";
    bytes += "\r\n";
    bytes += body;
    return bytes;
}
