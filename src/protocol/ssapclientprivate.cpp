#include "ssapclientprivate.h"

#include "protocoltrace.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <limits>

namespace {

const QString helloID = QStringLiteral("hello");
const QString registerID = QStringLiteral("register_0");

// Incoming ids are text; a JSON integer counts in its decimal rendering.
QString idOf(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble()) {
        const double number = value.toDouble();
        const qint64 integer = value.toInteger();
        if (static_cast<double>(integer) == number)
            return QString::number(integer);
    }
    return {};
}

// The message's "error", else the payload's "errorText", else the fixed text.
QString errorText(const QJsonObject &message)
{
    const QJsonValue error = message.value(QLatin1String("error"));
    if (error.isString())
        return error.toString();
    const QJsonValue payload = message.value(QLatin1String("payload"));
    if (payload.isObject()) {
        const QJsonValue text = payload.toObject().value(QLatin1String("errorText"));
        if (text.isString())
            return text.toString();
    }
    return QStringLiteral("电视返回错误");
}

// What Qt says about a socket that ended or refused a frame. A close handshake leaves no
// socket error behind, only the close code and reason.
SSAPError socketError(QWebSocket *socket)
{
    if (socket->error() != QAbstractSocket::UnknownSocketError && !socket->errorString().isEmpty())
        return SSAPError::platform(socket->errorString());
    const QWebSocketProtocol::CloseCode code = socket->closeCode();
    if (code == QWebSocketProtocol::CloseCodeNormal)
        return SSAPError::platform(QStringLiteral("The remote host closed the connection"));
    if (!socket->closeReason().isEmpty())
        return SSAPError::platform(socket->closeReason());
    return SSAPError::platform(QStringLiteral("The connection was closed (code %1)").arg(int(code)));
}

} // namespace

SSAPClient::Private::Private(SSAPClient *owner, Timings timings)
    : q(owner)
    , timings(timings)
{
    m_network.setTransferTimeout(static_cast<int>(SSAPClient::requestTimeout * 1000));
}

QString SSAPClient::Private::encode(const QJsonObject &message)
{
    return QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

std::shared_ptr<SSAPClient::Private::Reply> SSAPClient::Private::startConnect(const QString &host)
{
    const QUrl url(QStringLiteral("wss://") + host + QStringLiteral(":3001"));
    const bool plainHost = !host.isEmpty() && url.isValid() && !url.host().isEmpty() && url.port() == 3001
        && url.path().isEmpty() && !url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty();
    if (finished || !plainHost) {
        auto refused = std::make_shared<Reply>();
        refused->fail(SSAPError::notConnected());
        return refused;
    }

    QWebSocket *socket = newSocket();
    wire(socket);
    m_sockets.removeAll(nullptr);
    m_sockets.append(socket);
    // The previous socket, if any, is dropped without being closed: its end no longer counts.
    task = socket;
    heard.invalidate();
    m_outbox.clear();

    const QPointer<SSAPClient> self(q);
    ProtocolTrace::opened(ProtocolTrace::Socket::SSAP, socket, url.toString());
    socket->open(url);
    if (!self) {
        auto gone = std::make_shared<Reply>();
        gone->fail(SSAPError::notConnected());
        return gone;
    }
    return startSend(QJsonObject { { QStringLiteral("type"), helloID }, { QStringLiteral("id"), helloID },
                         { QStringLiteral("payload"), QJsonObject() } },
        helloID, timings.greeting);
}

std::shared_ptr<SSAPClient::Private::Reply> SSAPClient::Private::startSend(
    const QJsonObject &message, const QString &id, double timeout)
{
    auto entry = std::make_shared<Reply>();
    if (!task) {
        entry->fail(SSAPError::notConnected());
        return entry;
    }
    const QString text = encode(message);
    // An earlier waiter under the same id (a second greeting) must not wait forever.
    if (const std::shared_ptr<Reply> earlier = pending.take(id))
        earlier->fail(SSAPError::notConnected());
    pending.insert(id, entry);

    const std::weak_ptr<Reply> weak = entry;
    transmit({ text, [this, id, weak](const SSAPError &failure) { failPending(id, weak, failure); } });
    startTimer(timeout, [this, id, weak] { failPending(id, weak, SSAPError::timeout()); });
    return entry;
}

void SSAPClient::Private::failPending(const QString &id, const std::weak_ptr<Reply> &entry, const SSAPError &failure)
{
    const std::shared_ptr<Reply> waiting = entry.lock();
    const auto it = pending.find(id);
    if (!waiting || it == pending.end() || it.value() != waiting)
        return; // completed already, or the id now belongs to a newer waiter
    pending.erase(it);
    waiting->fail(failure);
}

void SSAPClient::Private::startTimer(double seconds, std::function<void()> onTimeout)
{
    double ms = std::ceil(seconds * 1000.0);
    if (!(ms >= 0)) // negative or NaN
        ms = 0;
    ms = std::min(ms, static_cast<double>(std::numeric_limits<int>::max()));
    // Bound to the client: a timer outliving it never fires. Precise, because a coarse timer
    // may fire up to 5 % early.
    QTimer::singleShot(std::chrono::milliseconds(static_cast<qint64>(ms)), Qt::PreciseTimer, q, std::move(onTimeout));
}

std::shared_ptr<SSAPClient::Private::Registration> SSAPClient::Private::startRegistration(
    const std::optional<QString> &clientKey, const QString &pairingType, std::function<void()> onPrompt)
{
    auto registration = std::make_shared<Registration>();
    if (!task) {
        registration->fail(SSAPError::notConnected());
        return registration;
    }
    const QString text = encode(
        QJsonObject { { QStringLiteral("type"), QStringLiteral("register") }, { QStringLiteral("id"), registerID },
            { QStringLiteral("payload"), registrationPayload(clientKey, pairingType) } });
    // One registration at a time: an earlier caller is released rather than left waiting.
    if (const std::shared_ptr<Registration> earlier = std::exchange(registerContinuation, {}))
        earlier->fail(SSAPError::notConnected());
    registerContinuation = registration;
    registerPrompt = std::move(onPrompt);

    const std::weak_ptr<Registration> weak = registration;
    auto finishIfCurrent = [this, weak](const SSAPError &failure) {
        const std::shared_ptr<Registration> current = weak.lock();
        if (current && current == registerContinuation)
            finishRegistration(failure);
    };
    transmit({ text, finishIfCurrent });
    startTimer(timings.registration, [finishIfCurrent] { finishIfCurrent(SSAPError::timeout()); });
    return registration;
}

void SSAPClient::Private::subscribe(const QString &uri, const QJsonObject &payload, Handler handler)
{
    if (!task)
        return;
    const QString id = QString::number(q->m_nextID++);
    subscriptions.insert(id, std::move(handler));
    transmit(
        { encode(QJsonObject { { QStringLiteral("id"), id }, { QStringLiteral("type"), QStringLiteral("subscribe") },
              { QStringLiteral("uri"), serviceURI(uri) }, { QStringLiteral("payload"), payload } }),
            {} });
}

void SSAPClient::Private::transmit(Outgoing outgoing)
{
    QWebSocket *socket = task;
    switch (socket->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        // Sent once the socket has opened, in call order.
        m_outbox.append(std::move(outgoing));
        return;
    case QAbstractSocket::ConnectedState:
        ProtocolTrace::message(ProtocolTrace::Socket::SSAP, socket, ProtocolTrace::Direction::Out, outgoing.text);
        if (socket->sendTextMessage(outgoing.text) > 0)
            return;
        break;
    default:
        break;
    }
    if (outgoing.onFailure)
        outgoing.onFailure(socketError(socket));
}

void SSAPClient::Private::flush(QWebSocket *socket)
{
    if (socket != task)
        return;
    const QList<Outgoing> waiting = std::exchange(m_outbox, {});
    for (const Outgoing &outgoing : waiting) {
        if (socket != task)
            return;
        transmit(outgoing);
    }
}

void SSAPClient::Private::wire(QWebSocket *socket)
{
    QObject::connect(socket, &QWebSocket::connected, q, [this, socket] {
        ProtocolTrace::connected(ProtocolTrace::Socket::SSAP, socket);
        heard.start();
        flush(socket);
    });
    QObject::connect(socket, &QWebSocket::pong, q, [this, socket] {
        if (socket == task)
            heard.start();
    });
    // Only the current socket speaks for the client: a reply on a dropped socket must not
    // complete a waiter of the new one ("hello" and "register_0" are reused).
    QObject::connect(socket, &QWebSocket::textMessageReceived, q, [this, socket](const QString &text) {
        if (socket != task)
            return;
        heard.start();
        ProtocolTrace::message(ProtocolTrace::Socket::SSAP, socket, ProtocolTrace::Direction::In, text);
        handleMessage(text);
    });
    QObject::connect(socket, &QWebSocket::binaryMessageReceived, q, [this, socket](const QByteArray &data) {
        if (socket != task)
            return;
        heard.start();
        ProtocolTrace::message(
            ProtocolTrace::Socket::SSAP, socket, ProtocolTrace::Direction::In, QString::fromUtf8(data));
        handleMessage(QString::fromUtf8(data)); // invalid sequences become U+FFFD
    });
    // A socket that never opened reports its disconnection before the error that explains it
    // (refused, unreachable): its end waits one turn of the event loop for that error.
    QObject::connect(socket, &QWebSocket::disconnected, q, [this, socket] {
        QTimer::singleShot(0, q, [this, ended = QPointer<QWebSocket>(socket)] {
            if (ended && m_sockets.contains(ended))
                socketEnded(ended);
        });
    });
    // The TV's close frame ends the conversation: after it the socket only waits for the TCP
    // close, and a request sent meanwhile would neither be answered nor fail until then.
    QObject::connect(socket, &QWebSocket::stateChanged, q, [this, socket](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ClosingState && socket == task)
            socketEnded(socket);
    });
    QObject::connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), q,
        [this, socket](QAbstractSocket::SocketError) { socketEnded(socket); });
}

void SSAPClient::Private::socketEnded(QWebSocket *socket)
{
    const SSAPError failure = socketError(socket);
    ProtocolTrace::closed(ProtocolTrace::Socket::SSAP, socket, failure.description());
    // One end per socket (Qt reports an error and then the disconnection).
    QObject::disconnect(socket, nullptr, q, nullptr);
    m_sockets.removeAll(socket);
    socket->deleteLater();
    handleClosed(socket, failure, true); // last: onClose may delete the client
}

void SSAPClient::Private::handleMessage(const QString &text)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return;
    const QJsonObject message = document.object();
    const QString type = message.value(QLatin1String("type")).toString();
    const QString id = idOf(message.value(QLatin1String("id")));
    const QJsonObject payload = message.value(QLatin1String("payload")).toObject();

    if (id == registerID) {
        handleRegistrationMessage(type, message, payload);
        return;
    }
    if (type == QLatin1String("hello")) {
        // The greeting's reply, whatever id the TV gave it.
        if (const std::shared_ptr<Reply> greeting = pending.take(helloID))
            greeting->resolve(payload);
        return;
    }
    if (const auto it = subscriptions.constFind(id); it != subscriptions.constEnd()) {
        if (type == QLatin1String("error"))
            return;
        const Handler handler = it.value(); // a copy: the handler may end the client
        if (handler)
            handler(payload);
        return;
    }
    const std::shared_ptr<Reply> waiting = pending.take(id);
    if (!waiting)
        return; // late reply or unknown id
    if (type == QLatin1String("error")) {
        waiting->fail(SSAPError::server(errorText(message)));
    } else if (payload.value(QLatin1String("returnValue")) == QJsonValue(false)) {
        const QJsonValue text = payload.value(QLatin1String("errorText"));
        waiting->fail(SSAPError::server(text.isString() ? text.toString() : QStringLiteral("请求失败")));
    } else {
        waiting->resolve(payload);
    }
}

void SSAPClient::Private::handleRegistrationMessage(
    const QString &type, const QJsonObject &message, const QJsonObject &payload)
{
    if (type == QLatin1String("registered")) {
        const QJsonValue key = payload.value(QLatin1String("client-key"));
        if (key.isString())
            finishRegistration(key.toString());
        else
            finishRegistration(SSAPError::server(QStringLiteral("配对返回缺少 client-key")));
        return;
    }
    if (type == QLatin1String("error")) {
        finishRegistration(SSAPError::server(errorText(message)));
        return;
    }
    if (payload.contains(QLatin1String("pairingType")) && registerPrompt) {
        const std::function<void()> prompt = registerPrompt; // a copy: it may end the registration
        prompt();
    }
}

void SSAPClient::Private::finishRegistration(const QString &clientKey)
{
    const std::shared_ptr<Registration> registration = std::exchange(registerContinuation, {});
    registerPrompt = {};
    if (registration)
        registration->resolve(clientKey);
}

void SSAPClient::Private::finishRegistration(const SSAPError &failure)
{
    const std::shared_ptr<Registration> registration = std::exchange(registerContinuation, {});
    registerPrompt = {};
    if (registration)
        registration->fail(failure);
}

void SSAPClient::Private::handleClosed(QWebSocket *socket, const std::optional<SSAPError> &error, bool notify)
{
    if (!task || task != socket)
        return; // a socket that is no longer current
    task = nullptr;
    m_outbox.clear();
    const SSAPError failure = error.value_or(SSAPError::notConnected());
    const QHash<QString, std::shared_ptr<Reply>> waiting = std::exchange(pending, {});
    subscriptions.clear();
    for (const std::shared_ptr<Reply> &entry : waiting)
        entry->fail(failure);
    finishRegistration(failure);
    if (notify && q->onClose) {
        const CloseHandler onClose = q->onClose; // a copy: the owner may delete the client in it
        onClose(error);
    }
}

void SSAPClient::Private::disconnect()
{
    finished = true;
    const QPointer<QWebSocket> closing = task;
    if (closing) {
        // Fail the waiters first, so that the socket's own end (reported at once when it was
        // still opening) is no longer current and calls nobody. The socket stays listed until
        // the TV has answered the close.
        handleClosed(closing, std::nullopt, false);
        if (closing->state() == QAbstractSocket::ConnectedState)
            closing->close(QWebSocketProtocol::CloseCodeGoingAway);
        else
            closing->abort(); // still opening: there is no connection to say goodbye on
    }
    // Everything else that went through this client's certificate decision ends too.
    for (const QPointer<QWebSocket> &socket : std::exchange(m_sockets, {})) {
        if (!socket)
            continue;
        if (socket == closing) {
            m_sockets.append(socket);
            continue;
        }
        QObject::disconnect(socket, nullptr, q, nullptr);
        socket->abort();
        socket->deleteLater();
    }
    for (const QPointer<QWebSocket> &socket : std::exchange(m_createdSockets, {})) {
        if (socket)
            socket->abort();
    }
    const QList<QNetworkReply *> replies = m_downloads.keys();
    for (QNetworkReply *reply : replies)
        reply->abort(); // finishes it, which resolves its download with nothing
}

void SSAPClient::Private::shutdown()
{
    finished = true;
    if (QWebSocket *socket = task)
        handleClosed(socket, std::nullopt, false);
    for (const std::shared_ptr<Reply> &entry : std::exchange(pending, {}))
        entry->fail(SSAPError::notConnected());
    finishRegistration(SSAPError::notConnected());

    // Nothing may call back into the client from here on; sockets are ended after this returns,
    // so their owners never see them end while the client is half destroyed.
    for (const QPointer<QWebSocket> &socket : std::exchange(m_sockets, {})) {
        if (socket) {
            QObject::disconnect(socket, nullptr, q, nullptr);
            socket->deleteLater();
        }
    }
    for (const QPointer<QWebSocket> &socket : std::exchange(m_createdSockets, {})) {
        if (socket) {
            QWebSocket *created = socket;
            QMetaObject::invokeMethod(
                created, [created] { created->abort(); }, Qt::QueuedConnection);
        }
    }
    for (auto it = m_downloads.cbegin(); it != m_downloads.cend(); ++it) {
        QObject::disconnect(it.key(), nullptr, q, nullptr);
        it.value()->resolve(std::nullopt);
    }
    m_downloads.clear();
}

QWebSocket *SSAPClient::Private::newSocket()
{
    auto *socket = new QWebSocket();
    // Qt checks a message's size only once its frames are buffered, so frames need their own
    // limit: a peer announcing a huge frame is refused (1009) by the header alone.
    socket->setMaxAllowedIncomingFrameSize(SSAPClient::maxIncomingMessageSize);
    socket->setMaxAllowedIncomingMessageSize(SSAPClient::maxIncomingMessageSize);
    q->m_tls.attach(socket);
    return socket;
}

QWebSocket *SSAPClient::Private::createSocket()
{
    QWebSocket *socket = newSocket();
    m_createdSockets.removeAll(nullptr);
    m_createdSockets.append(socket);
    return socket;
}

std::shared_ptr<SSAPClient::Private::Download> SSAPClient::Private::startFetch(const QUrl &url)
{
    auto download = std::make_shared<Download>();
    if (finished || !url.isValid()) {
        download->resolve(std::nullopt);
        return download;
    }
    QNetworkRequest request(url);
    const bool secure = url.scheme() == QLatin1String("https");
    if (secure)
        request.setSslConfiguration(PinnedTLSDelegate::sslConfiguration());
    QNetworkReply *reply = m_network.get(request);
    if (secure)
        q->m_tls.attach(reply);
    m_downloads.insert(reply, download);
    QObject::connect(reply, &QNetworkReply::finished, q, [this, reply] {
        const std::shared_ptr<Download> waiting = m_downloads.take(reply);
        reply->deleteLater();
        if (!waiting)
            return;
        if (reply->error() == QNetworkReply::NoError)
            waiting->resolve(reply->readAll());
        else
            waiting->resolve(std::nullopt);
    });
    return download;
}
