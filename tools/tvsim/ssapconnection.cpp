#include "ssapconnection.h"

#include "faultsettings.h"
#include "messagelog.h"
#include "ssapservice.h"
#include "tracereplay.h"
#include "tvstate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QWebSocket>

namespace {

const QString kRegisterRejected = QStringLiteral("403 User rejected pairing");
const QString kNotRegistered = QStringLiteral("401 insufficient permissions (not registered)");

bool hasSignatures(const QJsonObject &payload)
{
    // Signed manifests carry "signatures" beside the "signed" block; accept it inside as well.
    const QJsonObject manifest = payload.value(QStringLiteral("manifest")).toObject();
    const QJsonValue block = manifest.value(QStringLiteral("signed"));
    return block.isObject()
        && (manifest.contains(QStringLiteral("signatures")) || block.toObject().contains(QStringLiteral("signatures")));
}

} // namespace

SSAPConnection::SSAPConnection(QWebSocket *socket, SSAPService *service)
    : QObject(service)
    , m_socket(socket)
    , m_service(service)
{
    socket->setParent(this);
    m_peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    connect(socket, &QWebSocket::textMessageReceived, this, [this](const QString &text) { onMessage(text, false); });
    connect(socket, &QWebSocket::binaryMessageReceived, this,
        [this](const QByteArray &data) { onMessage(QString::fromUtf8(data), true); });
    connect(socket, &QWebSocket::disconnected, this, &QObject::deleteLater);
}

void SSAPConnection::closeSocket(bool abort)
{
    if (abort)
        m_socket->abort();
    else
        m_socket->close(QWebSocketProtocol::CloseCodeGoingAway);
}

void SSAPConnection::onMessage(const QString &text, bool binary)
{
    QJsonObject extra { { QStringLiteral("from"), m_peer } };
    if (binary)
        extra.insert(QStringLiteral("binary"), true);
    m_service->log()->record(QStringLiteral("ssap"), text, extra);
    if (m_service->faults()->hang())
        return;

    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject()) {
        sendError(QJsonValue(), QStringLiteral("400 malformed message"));
        return;
    }
    const QJsonObject message = document.object();
    const QString type = message.value(QStringLiteral("type")).toString();
    const QJsonValue id = message.value(QStringLiteral("id"));
    const QJsonObject payload = message.value(QStringLiteral("payload")).toObject();
    if (type == QStringLiteral("hello")) {
        if (replay(QStringLiteral("hello"), id))
            return;
        const bool classic = m_service->state()->isClassicFirmware();
        QJsonObject hello {
            { QStringLiteral("type"), QStringLiteral("hello") },
            { QStringLiteral("payload"),
                QJsonObject { { QStringLiteral("protocolVersion"), 1 },
                    { QStringLiteral("deviceType"), QStringLiteral("tv") },
                    { QStringLiteral("deviceOS"), QStringLiteral("webOS") },
                    { QStringLiteral("deviceOSVersion"), classic ? QStringLiteral("4.1.0") : QStringLiteral("7.3.0") },
                    { QStringLiteral("deviceOSReleaseVersion"),
                        classic ? QStringLiteral("6.3.0") : QStringLiteral("10.2.0") },
                    { QStringLiteral("deviceUUID"), m_service->state()->deviceUUID() },
                    { QStringLiteral("pairingTypes"),
                        QJsonArray { QStringLiteral("PIN"), QStringLiteral("PROMPT"), QStringLiteral("COMBINED") } } } }
        };
        if (!id.isUndefined())
            hello.insert(QStringLiteral("id"), id);
        send(hello);
    } else if (type == QStringLiteral("register")) {
        handleRegister(id, payload);
    } else if (type == QStringLiteral("request") || type == QStringLiteral("subscribe")) {
        const QString path = FaultSettings::servicePath(message.value(QStringLiteral("uri")).toString());
        if (path == QStringLiteral("pairing/setPin")) {
            handleSetPin(id, payload);
            return;
        }
        if (replay(path, id))
            return;
        if (m_service->faults()->takeCloseOn(path)) {
            closeSocket(false);
            return;
        }
        if (!m_registered) {
            sendError(id, kNotRegistered);
            return;
        }
        const int delay = m_service->faults()->delayMs(path);
        if (delay <= 0) {
            handleRequest(type, id, path, payload);
            return;
        }
        // The connection is the timer's context: nothing runs after the client has gone.
        QTimer::singleShot(delay, this, [this, type, id, path, payload] { handleRequest(type, id, path, payload); });
    } else if (type == QStringLiteral("unsubscribe")) {
        m_subscriptions.remove(MessageLog::idText(id));
        m_subscriptionIds.remove(MessageLog::idText(id));
    } else {
        sendError(id, QStringLiteral("400 unknown message type"));
    }
}

void SSAPConnection::handleRegister(const QJsonValue &id, const QJsonObject &payload)
{
    if (replayRegistration(id, payload))
        return;
    TVState *state = m_service->state();
    if (!state->isClassicFirmware() && hasSignatures(payload)) {
        sendError(id, QStringLiteral("403 Pairing rejected: blacklisted certificate detected"));
        return;
    }
    // A new register message replaces a pairing still open on this connection.
    m_pairing = Pairing();
    const QString key = payload.value(QStringLiteral("client-key")).toString();
    if (state->hasClientKey(key) && !payload.value(QStringLiteral("forcePairing")).toBool()) {
        m_registered = true;
        send({ { QStringLiteral("type"), QStringLiteral("registered") }, { QStringLiteral("id"), id },
            { QStringLiteral("payload"), QJsonObject { { QStringLiteral("client-key"), key } } } });
        MessageLog::printEvent(QStringLiteral("registered"),
            { { QStringLiteral("client-key"), key }, { QStringLiteral("paired"), false } });
        if (m_service->faults()->takeCloseOn(QStringLiteral("registered")))
            closeSocket(false);
        return;
    }
    m_pairing.open = true;
    m_pairing.id = id;
    m_pairing.generation = ++m_generation;
    m_pairing.pin = payload.value(QStringLiteral("pairingType")).toString().toUpper() == QStringLiteral("PIN");
    send({ { QStringLiteral("type"), QStringLiteral("response") }, { QStringLiteral("id"), id },
        { QStringLiteral("payload"),
            QJsonObject {
                { QStringLiteral("pairingType"), m_pairing.pin ? QStringLiteral("PIN") : QStringLiteral("PROMPT") },
                { QStringLiteral("returnValue"), true } } } });

    QString mode = m_service->faults()->takeNextPairing();
    if (m_pairing.pin) {
        const QString fixed = state->options().pin;
        m_pairing.pinCode = !fixed.isEmpty()
            ? fixed
            : QStringLiteral("%1").arg(QRandomGenerator::global()->bounded(100000000), 8, 10, QLatin1Char('0'));
        MessageLog::printEvent(QStringLiteral("pin"), { { QStringLiteral("pin"), m_pairing.pinCode } });
        // The PIN completes a PIN pairing; only an explicit rejection ends it early.
        if (mode != QStringLiteral("reject"))
            return;
    } else {
        MessageLog::printEvent(QStringLiteral("prompt"), { { QStringLiteral("from"), m_peer } });
        if (mode.isEmpty())
            mode = state->options().pairing.section(QLatin1Char('-'), 1);
    }
    if (mode == QStringLiteral("ignore") || (mode != QStringLiteral("accept") && mode != QStringLiteral("reject")))
        return;
    const quint64 generation = m_pairing.generation;
    const bool accept = mode == QStringLiteral("accept");
    QTimer::singleShot(state->options().pairingDelayMs, this, [this, generation, accept] {
        if (m_pairing.open && m_pairing.generation == generation)
            finishPairing(accept);
    });
}

void SSAPConnection::finishPairing(bool accept)
{
    if (!m_pairing.open)
        return;
    const QJsonValue id = m_pairing.id;
    m_pairing = Pairing();
    if (!accept) {
        sendError(id, kRegisterRejected);
        MessageLog::printEvent(QStringLiteral("pairing-rejected"), { { QStringLiteral("from"), m_peer } });
        return;
    }
    const QString key = m_service->state()->issueClientKey();
    m_registered = true;
    send({ { QStringLiteral("type"), QStringLiteral("registered") }, { QStringLiteral("id"), id },
        { QStringLiteral("payload"), QJsonObject { { QStringLiteral("client-key"), key } } } });
    MessageLog::printEvent(
        QStringLiteral("registered"), { { QStringLiteral("client-key"), key }, { QStringLiteral("paired"), true } });
    if (m_service->faults()->takeCloseOn(QStringLiteral("registered")))
        closeSocket(false);
}

void SSAPConnection::handleSetPin(const QJsonValue &id, const QJsonObject &payload)
{
    if (replaySetPin(id))
        return;
    if (!m_pairing.open || !m_pairing.pin) {
        sendError(id, QStringLiteral("400 no PIN pairing in progress"));
        return;
    }
    const QJsonValue pin = payload.value(QStringLiteral("pin"));
    const QString pinText = pin.isDouble() ? QString::number(qint64(pin.toDouble())) : pin.toString();
    if (pinText != m_pairing.pinCode) {
        // The pairing stays open for another try.
        sendError(id, QStringLiteral("400 wrong PIN code"));
        return;
    }
    send({ { QStringLiteral("type"), QStringLiteral("response") }, { QStringLiteral("id"), id },
        { QStringLiteral("payload"), QJsonObject { { QStringLiteral("returnValue"), true } } } });
    finishPairing(true);
}

void SSAPConnection::handleRequest(
    const QString &type, const QJsonValue &id, const QString &path, const QJsonObject &payload)
{
    if (m_service->faults()->hang())
        return;
    const bool subscribe = type == QStringLiteral("subscribe");
    if (const FaultSettings::Failure *failure = m_service->faults()->failure(path)) {
        if (failure->asReturnValue)
            reply(id,
                TVServices::Reply { false, {},
                    QJsonObject { { QStringLiteral("returnValue"), false }, { QStringLiteral("errorCode"), -1 },
                        { QStringLiteral("errorText"), failure->error } } });
        else
            sendError(id, failure->error);
        return;
    }
    if (subscribe) {
        m_subscriptions.insert(MessageLog::idText(id), path);
        m_subscriptionIds.insert(MessageLog::idText(id), id);
    }
    TVState *state = m_service->state();
    if (path == QStringLiteral("com.webos.service.networkinput/getPointerInputSocket")) {
        if (!state->isClassicFirmware()) {
            sendError(id, QStringLiteral("401 insufficient permissions"));
            return;
        }
        reply(id,
            TVServices::Reply { false, {},
                QJsonObject { { QStringLiteral("returnValue"), true },
                    { QStringLiteral("socketPath"), m_service->newPointerSocketPath() } } });
        return;
    }
    if (path == QStringLiteral("system/turnOff")) {
        reply(id, TVServices::Reply { false, {}, QJsonObject { { QStringLiteral("returnValue"), true } } });
        emit m_service->turnOffRequested();
        return;
    }
    reply(id, m_service->services()->call(path, payload, subscribe));
}

void SSAPConnection::push(bool (*matches)(const QString &path), const QJsonObject &payload)
{
    if (!m_registered)
        return;
    for (auto it = m_subscriptions.cbegin(); it != m_subscriptions.cend(); ++it) {
        if (!matches(it.value()))
            continue;
        QJsonObject pushed = payload;
        pushed.insert(QStringLiteral("subscribed"), true);
        send({ { QStringLiteral("type"), QStringLiteral("response") },
            { QStringLiteral("id"), m_subscriptionIds.value(it.key()) }, { QStringLiteral("payload"), pushed } });
    }
}

void SSAPConnection::pushOdd(const QString &kind, int mebibytes)
{
    if (kind == QStringLiteral("huge")) {
        // One frame, not split: a client must refuse it by its header, before buffering it.
        const qint64 size = qint64(mebibytes) * 1024 * 1024;
        const QString text = QStringLiteral("{\"type\":\"response\",\"id\":\"huge\",\"payload\":{\"pad\":\"")
            + QString(size, QLatin1Char('x')) + QStringLiteral("\"}}");
        const quint64 previous = m_socket->outgoingFrameSize();
        m_socket->setOutgoingFrameSize(quint64(text.size()) + 1);
        m_socket->sendTextMessage(text);
        m_socket->setOutgoingFrameSize(previous);
    } else if (kind == QStringLiteral("intid")) {
        m_integerIdOnce = true;
    } else if (kind == QStringLiteral("notjson")) {
        m_socket->sendTextMessage(QStringLiteral("{\"type\":\"response\",\"id\":\"1\",\"payload\":{"));
    } else if (kind == QStringLiteral("array")) {
        m_socket->sendTextMessage(
            QStringLiteral("[{\"type\":\"response\",\"id\":\"1\",\"payload\":{\"returnValue\":true}}]"));
    } else if (kind == QStringLiteral("binary")) {
        // The current state of every subscription, each in a binary frame; an invalid UTF-8 byte
        // rides along in a member nobody reads.
        QList<QByteArray> frames;
        for (auto it = m_subscriptions.cbegin(); it != m_subscriptions.cend(); ++it) {
            const QString &path = it.value();
            // Only read-only services: repeating a command here would change the state.
            if (!TVServices::isVolume(path) && !TVServices::isForegroundApp(path) && !TVServices::isPowerState(path)
                && !TVServices::isKeyboard(path))
                continue;
            TVServices::Reply current = m_service->services()->call(path, {}, true);
            current.payload.insert(QStringLiteral("note"), QStringLiteral("@@"));
            const QJsonObject message { { QStringLiteral("type"), QStringLiteral("response") },
                { QStringLiteral("id"), m_subscriptionIds.value(it.key()) },
                { QStringLiteral("payload"), current.payload } };
            frames.append(QJsonDocument(message).toJson(QJsonDocument::Compact).replace("@@", "\xff\xfe"));
        }
        if (frames.isEmpty())
            frames.append(QByteArrayLiteral(
                "{\"type\":\"response\",\"id\":\"binary\",\"payload\":{\"returnValue\":true,\"note\":\"\xff\"}}"));
        for (const QByteArray &frame : frames)
            m_socket->sendBinaryMessage(frame);
    }
}

void SSAPConnection::reply(const QJsonValue &id, const TVServices::Reply &reply)
{
    if (reply.isError) {
        sendError(id, reply.errorMessage);
        return;
    }
    send({ { QStringLiteral("type"), QStringLiteral("response") }, { QStringLiteral("id"), id },
        { QStringLiteral("payload"), reply.payload } });
}

void SSAPConnection::sendError(const QJsonValue &id, const QString &error)
{
    QJsonObject message { { QStringLiteral("type"), QStringLiteral("error") }, { QStringLiteral("error"), error },
        { QStringLiteral("payload"), QJsonObject() } };
    if (!id.isUndefined() && !id.isNull())
        message.insert(QStringLiteral("id"), id);
    send(message);
}

void SSAPConnection::send(QJsonObject message)
{
    if (m_service->faults()->hang())
        return;
    if (m_integerIdOnce) {
        bool numeric = false;
        const qint64 number = message.value(QStringLiteral("id")).toString().toLongLong(&numeric);
        if (numeric) {
            message.insert(QStringLiteral("id"), number);
            m_integerIdOnce = false;
        }
    }
    if (message.value(QStringLiteral("id")).isUndefined())
        message.remove(QStringLiteral("id"));
    m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

bool SSAPConnection::replay(const QString &key, const QJsonValue &id)
{
    TraceReplay *replay = m_service->replay();
    const std::optional<TraceReplay::Answer> answer = replay ? replay->next(key) : std::nullopt;
    if (!answer)
        return false;
    // A subscription's pushes follow its reply at once; the emulator's own state pushes nothing
    // to it.
    for (const QJsonObject &message : answer->messages)
        sendReplayed(message, id);
    return true;
}

bool SSAPConnection::replayRegistration(const QJsonValue &id, const QJsonObject &payload)
{
    TraceReplay *replay = m_service->replay();
    const std::optional<TraceReplay::Answer> answer = replay ? replay->next(QStringLiteral("register")) : std::nullopt;
    if (!answer)
        return false;
    m_pairing = Pairing();
    m_offeredKey = payload.value(QStringLiteral("client-key")).toString();
    m_replayAfterPin = answer->afterPin;
    for (const QJsonObject &message : answer->messages)
        sendReplayed(message, id);
    return true;
}

bool SSAPConnection::replaySetPin(const QJsonValue &id)
{
    TraceReplay *replay = m_service->replay();
    const std::optional<TraceReplay::Answer> answer
        = replay ? replay->next(QStringLiteral("pairing/setPin")) : std::nullopt;
    if (!answer)
        return false;
    for (const QJsonObject &message : answer->messages)
        sendReplayed(message, id);
    const QJsonObject reply = answer->messages.value(0);
    const bool accepted = !reply.isEmpty() && reply.value(QStringLiteral("type")).toString() != QStringLiteral("error")
        && reply.value(QStringLiteral("payload")).toObject().value(QStringLiteral("returnValue")) != QJsonValue(false);
    if (accepted) {
        for (const QJsonObject &message : std::exchange(m_replayAfterPin, {}))
            sendReplayed(message, QStringLiteral("register_0"));
    }
    return true;
}

void SSAPConnection::sendReplayed(QJsonObject message, const QJsonValue &id)
{
    if (id.isUndefined() || id.isNull())
        message.remove(QStringLiteral("id"));
    else
        message.insert(QStringLiteral("id"), id);

    // URLs of the traced TV lead here instead.
    const QString traced = m_service->replay()->tracedHost();
    const QString own = m_socket->localAddress().toString();
    if (!traced.isEmpty() && traced != own) {
        QByteArray text = QJsonDocument(message).toJson(QJsonDocument::Compact);
        text.replace("//" + traced.toUtf8() + ':', "//" + own.toUtf8() + ':');
        text.replace("//" + traced.toUtf8() + '/', "//" + own.toUtf8() + '/');
        message = QJsonDocument::fromJson(text).object();
    }
    QJsonObject payload = message.value(QStringLiteral("payload")).toObject();
    if (payload.value(QStringLiteral("socketPath")).isString())
        payload.insert(QStringLiteral("socketPath"), m_service->newPointerSocketPath());
    if (message.value(QStringLiteral("type")).toString() == QStringLiteral("registered")) {
        // The trace holds no key: one this TV knows, or a new one.
        if (TraceReplay::isRedacted(payload.value(QStringLiteral("client-key")))) {
            TVState *state = m_service->state();
            payload.insert(QStringLiteral("client-key"),
                state->hasClientKey(m_offeredKey) ? m_offeredKey : state->issueClientKey());
        }
        m_registered = true;
        MessageLog::printEvent(QStringLiteral("registered"),
            { { QStringLiteral("client-key"), payload.value(QStringLiteral("client-key")) },
                { QStringLiteral("replayed"), true } });
    }
    if (message.contains(QStringLiteral("payload")))
        message.insert(QStringLiteral("payload"), payload);
    send(message);
}
