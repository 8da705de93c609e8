#include "pointerclient.h"

#include "protocoltrace.h"

#include <QWebSocket>

namespace {

// The trace sees the socket open, what the TV sends on it, and how it ends. Wired first, so that
// "connected" comes before the messages that waited for it.
void traceSocket(QWebSocket *socket, const QUrl &url, QObject *context)
{
    using Trace = ProtocolTrace;
    QObject::connect(
        socket, &QWebSocket::connected, context, [socket] { Trace::connected(Trace::Socket::Pointer, socket); });
    QObject::connect(socket, &QWebSocket::textMessageReceived, context,
        [socket](const QString &text) { Trace::message(Trace::Socket::Pointer, socket, Trace::Direction::In, text); });
    QObject::connect(socket, &QWebSocket::disconnected, context, [socket] {
        const QString reason
            = QStringLiteral("close code %1 %2").arg(int(socket->closeCode())).arg(socket->closeReason());
        Trace::closed(Trace::Socket::Pointer, socket, reason.trimmed());
    });
    QObject::connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), context,
        [socket](
            QAbstractSocket::SocketError) { Trace::closed(Trace::Socket::Pointer, socket, socket->errorString()); });
    Trace::opened(Trace::Socket::Pointer, socket, url.toString());
}

} // namespace

PointerClient::PointerClient(QWebSocket *socket, const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    socket->setParent(this);
    traceSocket(socket, url, this);
    QObject::connect(socket, &QWebSocket::pong, this, [this] { m_heard.start(); });
    QObject::connect(socket, &QWebSocket::connected, this, [this] {
        m_heard.start();
        const QList<Queued> queued = std::exchange(m_queued, {});
        for (const Queued &message : queued)
            sendText(message.text, message.sent);
    });
    // Incoming messages carry nothing of use and are not read; the end of the socket is.
    QObject::connect(socket, &QWebSocket::disconnected, this, [this] { setBroken(); });
    QObject::connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
        [this](QAbstractSocket::SocketError) { setBroken(); });
    socket->open(url);
}

PointerClient::~PointerClient()
{
    dropQueued();
    if (QWebSocket *socket = m_socket) {
        // Not deleted here: this may run inside one of the socket's own signals.
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->setParent(nullptr);
        socket->abort();
        socket->deleteLater();
    }
}

void PointerClient::ping()
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->ping();
}

qint64 PointerClient::msSinceHeard() const
{
    return m_isOpen && m_heard.isValid() ? m_heard.elapsed() : -1;
}

void PointerClient::button(const QString &name, Sent sent)
{
    sendText(QStringLiteral("type:button\nname:") + name + QStringLiteral("\n\n"), std::move(sent));
}

void PointerClient::move(int dx, int dy)
{
    sendText(QStringLiteral("type:move\ndx:%1\ndy:%2\ndown:0\n\n").arg(dx).arg(dy));
}

void PointerClient::scroll(int dx, int dy)
{
    sendText(QStringLiteral("type:scroll\ndx:%1\ndy:%2\n\n").arg(dx).arg(dy));
}

void PointerClient::click(Sent sent)
{
    sendText(QStringLiteral("type:click\n\n"), std::move(sent));
}

void PointerClient::close()
{
    setBroken();
    if (!m_socket)
        return;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    else
        m_socket->abort(); // still opening: there is no connection to say goodbye on
}

void PointerClient::sendText(const QString &text, Sent sent)
{
    if (!m_socket) {
        setBroken();
        if (sent)
            sent(false);
        return;
    }
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        // Still opening: sent once it is open, unless it was closed meanwhile.
        if (m_isOpen) {
            m_queued.append({ text, std::move(sent) });
            return;
        }
        break;
    case QAbstractSocket::ConnectedState:
        ProtocolTrace::message(ProtocolTrace::Socket::Pointer, m_socket, ProtocolTrace::Direction::Out, text);
        if (m_socket->sendTextMessage(text) > 0) {
            if (sent)
                sent(true);
            return;
        }
        break;
    default:
        break;
    }
    setBroken();
    if (sent)
        sent(false);
}

void PointerClient::dropQueued()
{
    for (const Queued &message : std::exchange(m_queued, {})) {
        if (message.sent)
            message.sent(false);
    }
}

void PointerClient::setBroken()
{
    dropQueued();
    if (!m_isOpen)
        return;
    m_isOpen = false;
    Q_EMIT isOpenChanged();
}
