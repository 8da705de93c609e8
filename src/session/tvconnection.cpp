#include "tvconnection.h"

#include "applog.h"
#include "pointerinput.h"
#include "protocoltrace.h"
#include "tvcommands.h"
#include "tvstatemirror.h"

#include <QDeadlineTimer>
#include <QMetaEnum>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace {

std::chrono::milliseconds seconds(double value)
{
    return std::chrono::milliseconds(qMax<qint64>(0, qRound64(value * 1000.0)));
}

QCoro::Task<void> sendPin(QPointer<SSAPClient> client, QString pin)
{
    try {
        if (!client)
            throw SSAPError::notConnected();
        const TVRequest command = TVCommands::setPin(pin);
        co_await client->request(command.uri, command.payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        appLog(QStringLiteral("setPin 失败: ") + error.description());
    }
}

// The state's name as the trace writes it: "awaitingApproval", "ready", ...
void traceState(const ConnectionState &state)
{
    QString name = QString::fromLatin1(QMetaEnum::fromType<ConnectionState::Kind>().valueToKey(int(state.kind())));
    if (!name.isEmpty())
        name[0] = name[0].toLower();
    ProtocolTrace::connectionState(name, state.pin(), state.message());
}

// The window translates these in the "TVSession" context.
QString text(const char *source)
{
    return QString::fromUtf8(source);
}

} // namespace

TVConnection::TVConnection(DeviceStore &store, TVStateMirror &mirror, PointerInput &pointer,
    const SessionTimings &timings, std::function<QCoro::Task<void>()> relocationScan, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_mirror(mirror)
    , m_pointer(pointer)
    , m_timings(timings)
    , m_relocationScan(std::move(relocationScan))
    , m_reconnect(new AutoReconnect([this] { reconnectAttempt(); }, timings.reconnect, this))
    , m_wakeLoop(new WakeLoop(timings,
          { [this] { return m_state.kind(); }, [this](const ConnectionState &state) { setState(state); },
              [this] { startConnection(m_wakeDeviceID, false, Attempt::Wake); },
              [this] { m_wakeAttemptClient = nullptr; } },
          this))
{
    QObject::connect(m_reconnect, &AutoReconnect::activeChanged, this, &TVConnection::reconnectingChanged);
    QObject::connect(&m_keepalive, &QTimer::timeout, this, &TVConnection::checkAlive);
}

TVConnection::~TVConnection()
{
    shutDown();
}

void TVConnection::shutDown()
{
    m_wakeLoop->stop();
    // The waiting coroutines find no current client and end without touching anything else.
    if (m_client) {
        SSAPClient *client = m_client;
        m_client = nullptr;
        client->onClose = nullptr;
        client->disconnect();
    }
}

void TVConnection::setState(const ConnectionState &state)
{
    if (state == m_state)
        return;
    traceState(state);
    m_state = state;
    Q_EMIT stateChanged();
}

std::optional<TVDevice> TVConnection::selectedRecord() const
{
    const std::optional<QString> selected = m_store.selectedID();
    return selected ? m_store.device(*selected) : std::nullopt;
}

void TVConnection::dropClient()
{
    if (!m_client)
        return;
    // Cleared before the client fails its waiters, so every waiting task already sees that
    // its client is no longer current when it resumes.
    SSAPClient *client = m_client;
    m_client = nullptr;
    client->onClose = nullptr;
    client->disconnect();
    client->deleteLater();
    Q_EMIT clientChanged();
}

void TVConnection::connect(const QString &deviceID, bool usePin)
{
    m_reconnect->stop();
    startConnection(deviceID, usePin, Attempt::User);
}

void TVConnection::startConnection(const QString &deviceID, bool usePin, Attempt attempt)
{
    dropConnection();
    m_ownPowerOff = false;
    m_store.setSelectedID(deviceID);
    const std::optional<TVDevice> device = m_store.device(deviceID);
    if (!device)
        return;
    setState(ConnectionState::connecting());
    runConnection(*device, usePin, attempt);
}

QCoro::Task<void> TVConnection::runConnection(TVDevice device, bool usePin, Attempt attempt)
{
    QPointer<TVConnection> self(this);

    // A TV that was never paired is accepted with any certificate, a paired one only with its own.
    const std::optional<QString> expected = device.clientKey ? device.certFingerprint : std::nullopt;
    auto *created = new SSAPClient(expected, this);
    const QPointer<SSAPClient> client(created);
    m_client = created;
    m_pairingClient = created;
    m_pairingCloseError.reset();
    if (attempt == Attempt::Wake)
        m_wakeAttemptClient = created;
    if (attempt == Attempt::Reconnect)
        m_reconnectAttemptClient = created;
    created->onClose = [self, created](const std::optional<SSAPError> &error) {
        if (self)
            self->handleClientClosed(created, error);
    };
    Q_EMIT clientChanged();

    appLog(QStringLiteral("连接 ") + device.host);

    QJsonObject hello;
    try {
        hello = co_await created->connect(device.host);
    } catch (const SSAPError &error) {
        // Nothing answered at the saved address: the TV may have been given another one.
        const bool relocate = attempt != Attempt::Wake && device.clientKey && device.tvUUID
            && error.kind() == SSAPError::Kind::Platform;
        if (self)
            self->failConnection(client, error, relocate ? std::optional<TVDevice>(device) : std::nullopt);
        co_return;
    }
    if (!self || !self->isCurrent(client))
        co_return;

    const QJsonValue uuid = hello.value(QLatin1String("deviceUUID"));
    if (uuid.isString()) {
        if (device.tvUUID && *device.tvUUID != uuid.toString()) {
            if (attempt == Attempt::Reconnect) {
                // Pairing anew is the user's decision, never a background attempt's.
                failConnection(
                    client, SSAPError::server(text(QT_TRANSLATE_NOOP("TVSession", "电视已更换，请重新连接并配对"))));
                co_return;
            }
            appLog(QStringLiteral("TV UUID 变化，清除旧配对"));
            device.clientKey.reset();
            device.certFingerprint.reset();
        }
        device.tvUUID = uuid.toString();
    }

    bool modelChanged = co_await readModel(client, device);
    if (!self || !self->isCurrent(client))
        co_return;
    if (self->m_pairingCloseError) {
        self->failConnection(client, *self->m_pairingCloseError);
        co_return;
    }

    QString key;
    try {
        auto onPrompt = [self, client, usePin, attempt]() {
            appLog(QStringLiteral("等待电视确认配对 (pin=%1)")
                       .arg(usePin ? QStringLiteral("true") : QStringLiteral("false")));
            if (!self || !self->isCurrent(client))
                return;
            if (attempt == Attempt::Reconnect) {
                // The TV no longer knows our key. Ended after the client's callback has returned.
                QMetaObject::invokeMethod(
                    self,
                    [self, client] {
                        if (self)
                            self->failConnection(client,
                                SSAPError::server(
                                    text(QT_TRANSLATE_NOOP("TVSession", "电视要求重新配对，请重新连接"))));
                    },
                    Qt::QueuedConnection);
                return;
            }
            self->setState(ConnectionState::awaitingApproval(usePin));
        };
        const QString pairingType = usePin ? QStringLiteral("PIN") : QStringLiteral("PROMPT");
        key = co_await client->registerClient(device.clientKey, pairingType, onPrompt);
    } catch (const SSAPError &error) {
        if (self)
            self->failConnection(client, error);
        co_return;
    }
    if (!self || !self->isCurrent(client))
        co_return;

    // TVs answer nothing before registration, so the model usually arrives only now.
    if (!modelChanged && !m_pairingCloseError) {
        modelChanged = co_await readModel(client, device);
        if (!self || !self->isCurrent(client))
            co_return;
    }

    m_pairingClient = nullptr;
    device.clientKey = key;
    device.certFingerprint = client->tls().observedFingerprint();
    // The user's approval is kept even when the socket has already gone again.
    storePairing(device, modelChanged);
    if (const std::optional<SSAPError> closed = std::exchange(m_pairingCloseError, std::nullopt)) {
        endConnection(client, closed);
        co_return;
    }

    m_reconnect->stop();
    m_reconnectAttemptClient = nullptr; // from now on a close is a lost connection like any other
    setState(ConnectionState::ready());
    appLog(QStringLiteral("已注册 ") + device.model);
    m_keepalive.start(seconds(m_timings.keepaliveInterval));

    Q_EMIT registered(client);
}

// "system/getSystemInfo": a "modelName" of OLED55C1.AEU gives the model "LG OLED55C1".
// Answers whether the copy's model was set; a failed request is no reason to stop connecting.
QCoro::Task<bool> TVConnection::readModel(QPointer<SSAPClient> client, TVDevice &device)
{
    if (!client)
        co_return false;
    QJsonObject info;
    try {
        const TVRequest command = TVCommands::systemInfo();
        info = co_await client->request(command.uri, command.payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        co_return false;
    }
    const QJsonValue modelName = info.value(QLatin1String("modelName"));
    if (!modelName.isString())
        co_return false;
    const QStringList pieces = modelName.toString().split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        co_return false;
    device.model = QStringLiteral("LG ") + pieces.first();
    co_return true;
}

// Writes what pairing learnt onto the record as it is now in the store: anything changed there
// while the TV was asking (a new name, a host from a scan) is kept.
void TVConnection::storePairing(const TVDevice &copy, bool modelChanged)
{
    std::optional<TVDevice> record = m_store.device(copy.id);
    if (!record)
        return;
    record->tvUUID = copy.tvUUID;
    if (modelChanged)
        record->model = copy.model;
    record->clientKey = copy.clientKey;
    record->certFingerprint = copy.certFingerprint;
    m_store.update(*record);
}

void TVConnection::failConnection(
    const QPointer<SSAPClient> &client, const SSAPError &error, const std::optional<TVDevice> &relocate)
{
    if (!isCurrent(client))
        return;
    const std::optional<QString> expected = client->tls().expectedFingerprint();
    const std::optional<QString> observed = client->tls().observedFingerprint();
    const bool certificateChanged = expected && observed && *expected != *observed;
    const QString message = certificateChanged
        ? text(QT_TRANSLATE_NOOP("TVSession", "电视证书已变化，请删除后重新配对"))
        : error.description();
    appLog(QStringLiteral("连接失败: ") + message);
    // A TV still starting up refuses the early attempts of a wake; the loop tries again, so
    // those failures must not read as the wake's outcome to anyone watching the state.
    const bool wakeGoesOn = m_wakeAttemptClient == client;
    const bool background = m_reconnectAttemptClient == client;
    dropClient();
    setState(wakeGoesOn ? ConnectionState::waking() : ConnectionState::error(message));
    // What the TV itself refused, or a changed certificate, needs the user: no more attempts.
    if (background && (certificateChanged || error.kind() == SSAPError::Kind::Server))
        m_reconnect->stop();
    if (relocate && !certificateChanged)
        findMovedTV(*relocate, background);
    else if (background)
        m_reconnect->attemptFailed();
}

// One scan for a TV that did not answer at its saved address; when it answers at another one
// (same TV UUID), the record follows it and the connection is tried there. A background attempt
// that finds nothing goes on with its schedule.
QCoro::Task<void> TVConnection::findMovedTV(TVDevice device, bool background)
{
    QPointer<TVConnection> self(this);
    co_await m_relocationScan();
    if (!self)
        co_return;
    const std::optional<TVDevice> record = self->m_store.device(device.id);
    const bool untouched = self->m_state.kind() == ConnectionState::Kind::Error && self->m_client == nullptr;
    if (record && record->host != device.host && record->tvUUID == device.tvUUID && untouched) {
        appLog(QStringLiteral("电视地址已变更 ") + device.host + QStringLiteral(" → ") + record->host);
        self->startConnection(device.id, false, background ? Attempt::Reconnect : Attempt::User);
        co_return;
    }
    if (background)
        self->m_reconnect->attemptFailed();
}

void TVConnection::handleClientClosed(SSAPClient *closing, const std::optional<SSAPError> &error)
{
    if (m_client.data() != closing)
        return;
    // During the connection sequence the sequence ends the attempt itself when it next resumes:
    // with its failure steps before registration (the user sees why instead of a bare "offline"),
    // as a lost connection after it.
    if (m_pairingClient.data() == closing) {
        m_pairingCloseError = error.value_or(SSAPError::notConnected());
        return;
    }
    endConnection(closing, error);
}

void TVConnection::endConnection(SSAPClient *closing, const std::optional<SSAPError> &error)
{
    appLog(QStringLiteral("主通道断开: ") + (error ? error->description() : QStringLiteral("-")));
    const bool background = m_reconnectAttemptClient == closing;
    m_pointer.dropPointer();
    m_keepalive.stop();
    // May run inside the client's close callback: the client is released later, its callback left alone.
    m_client = nullptr;
    closing->deleteLater();
    Q_EMIT clientChanged();
    setState(ConnectionState::offline());
    connectionLost(background);
}

// A connection ended without the user asking: try again in the background, unless pairing would
// be needed or the TV is in standby because we switched it off.
void TVConnection::connectionLost(bool duringReconnect)
{
    if (duringReconnect) {
        m_reconnect->attemptFailed();
        return;
    }
    const std::optional<TVDevice> record = selectedRecord();
    if (!record || !record->clientKey || m_ownPowerOff) {
        m_reconnect->stop();
        return;
    }
    m_reconnect->start();
}

void TVConnection::reconnectAttempt()
{
    const ConnectionState::Kind kind = m_state.kind();
    if (kind == ConnectionState::Kind::Ready || kind == ConnectionState::Kind::Waking) {
        m_reconnect->stop();
        return;
    }
    const std::optional<TVDevice> record = selectedRecord();
    if (!record || !record->clientKey) {
        m_reconnect->stop();
        return;
    }
    // Someone else's attempt is under way: its outcome decides.
    if (kind == ConnectionState::Kind::Connecting || kind == ConnectionState::Kind::AwaitingApproval) {
        m_reconnect->attemptFailed();
        return;
    }
    startConnection(record->id, false, Attempt::Reconnect);
}

void TVConnection::reconnectNow()
{
    m_reconnect->tryNow();
}

void TVConnection::notePowerOff(const QString &uri)
{
    if (TVCommands::servicePath(uri) == TVCommands::turnOff().uri)
        m_ownPowerOff = true;
}

// Pings both sockets; one the TV has not answered for too long counts as closed (a TV that
// lost power or its network sends no close).
void TVConnection::checkAlive()
{
    const qint64 limit = seconds(m_timings.keepaliveTimeout).count();
    m_pointer.checkAlive(limit);
    if (!m_client || !isReady()) {
        m_keepalive.stop();
        return;
    }
    if (m_client->msSinceHeard() <= limit) {
        m_client->ping();
        return;
    }
    appLog(QStringLiteral("电视无响应，连接已断开"));
    m_keepalive.stop();
    m_pointer.dropPointer();
    dropClient();
    setState(ConnectionState::offline());
    connectionLost(false);
}

void TVConnection::disconnect()
{
    m_reconnect->stop();
    dropConnection();
}

void TVConnection::dropConnection()
{
    m_keepalive.stop();
    m_pointer.dropPointer();
    dropClient();
    m_mirror.setPowerState(QString());
    setState(ConnectionState::offline());
}

QCoro::Task<void> TVConnection::ensureConnected(double timeout)
{
    QPointer<TVConnection> self(this);
    if (isReady())
        co_return;

    const std::optional<TVDevice> record = selectedRecord();
    if (!record || !record->clientKey)
        throw SSAPError::server(QStringLiteral("No paired TV. Pair one in the Corvane Remote app first."));

    // Not connect(): an agent's call must not end the background attempts.
    if (m_state.kind() != ConnectionState::Kind::Connecting)
        startConnection(record->id, false, Attempt::User);

    const QDeadlineTimer deadline(qRound64(timeout * 1000.0)); // monotonic, unlike the wall clock
    const auto poll = seconds(m_timings.ensurePoll);
    while (self && !self->isReady() && !deadline.hasExpired()) {
        if (self->m_state.kind() == ConnectionState::Kind::Error)
            throw SSAPError::server(self->m_state.message());
        co_await QCoro::sleepFor(poll);
    }
    if (!self)
        throw SSAPError::notConnected();
    if (self->isReady())
        co_return;
    throw SSAPError::timeout();
}

void TVConnection::wake()
{
    const std::optional<TVDevice> record = selectedRecord();
    if (!record || !record->mac) {
        setState(ConnectionState::error(text(QT_TRANSLATE_NOOP("TVSession", "未记录电视 MAC，无法网络唤醒"))));
        return;
    }
    disconnect();
    setState(ConnectionState::waking());
    m_wakeDeviceID = record->id;
    m_wakeLoop->start(record->host, *record->mac);
}

void TVConnection::submitPin(const QString &pin)
{
    sendPin(m_client, pin);
}
