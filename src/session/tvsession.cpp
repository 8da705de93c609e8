#include "tvsession.h"

#include "applog.h"
#include "buttonrequest.h"
#include "completion.h"
#include "localnetwork.h"
#include "preferences.h"
#include "protocoltrace.h"
#include "selftest.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonValue>
#include <QMetaEnum>
#include <QTimer>
#include <QVariantMap>

#include <QCoro/QCoroTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

// One-member object. g++ 12 cannot build an initializer list inside a co_await expression, and
// it destroys temporaries of a co_await inside a condition or a ?: twice: co_await only ever
// stands in a statement, declaration or assignment of its own here.
QJsonObject oneMember(const QString &key, const QJsonValue &value)
{
    QJsonObject object;
    object.insert(key, value);
    return object;
}

const QString volumeURI = QStringLiteral("audio/getVolume");
const QString foregroundURI = QStringLiteral("com.webos.applicationManager/getForegroundAppInfo");
const QString powerURI = QStringLiteral("com.webos.service.tvpower/power/getPowerState");
const QString keyboardURI = QStringLiteral("com.webos.service.ime/registerRemoteKeyboard");

std::chrono::milliseconds seconds(double value)
{
    return std::chrono::milliseconds(qMax<qint64>(0, qRound64(value * 1000.0)));
}

// The text of a service path as the log shows it.
QString logURI(const QString &uri)
{
    static const QString prefix = QStringLiteral("ssap://");
    return uri.startsWith(prefix) ? uri.mid(prefix.size()) : uri;
}

// Halves away from zero; clamped so a wild value cannot overflow the integer.
int roundMotion(double value)
{
    const double rounded = std::round(value);
    return static_cast<int>(
        std::clamp(rounded, double(std::numeric_limits<int>::min() / 2), double(std::numeric_limits<int>::max() / 2)));
}

// A one-way command: the reply is not used, a failure is one log line.
QCoro::Task<void> requestOneWay(QPointer<SSAPClient> client, QString uri, QJsonObject payload)
{
    try {
        if (!client)
            throw SSAPError::notConnected();
        co_await client->request(uri, payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        appLog(logURI(uri) + QStringLiteral(" 失败: ") + error.description());
    }
}

QCoro::Task<void> sendPin(QPointer<SSAPClient> client, QString pin)
{
    try {
        if (!client)
            throw SSAPError::notConnected();
        co_await client->request(
            QStringLiteral("pairing/setPin"), oneMember(QStringLiteral("pin"), pin), SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        appLog(QStringLiteral("setPin 失败: ") + error.description());
    }
}

QString optionalText(const std::optional<QString> &value)
{
    return value.value_or(QString());
}

// The state's name as the trace writes it: "awaitingApproval", "ready", ...
void traceState(const ConnectionState &state)
{
    QString name = QString::fromLatin1(QMetaEnum::fromType<ConnectionState::Kind>().valueToKey(int(state.kind())));
    if (!name.isEmpty())
        name[0] = name[0].toLower();
    ProtocolTrace::connectionState(name, state.pin(), state.message());
}

} // namespace

TVSession::TVSession(DeviceStore &store, Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_arpProgram(LocalNetwork::defaultARPProgram())
    , m_reconnect(new AutoReconnect([this] { reconnectAttempt(); }, this))
{
    QObject::connect(m_reconnect, &AutoReconnect::activeChanged, this, &TVSession::reconnectingChanged);
    QObject::connect(&m_keepalive, &QTimer::timeout, this, &TVSession::checkAlive);
    applyTimings();
    m_lastStandby = isStandby();
    m_lastSourceName = currentSourceName();
    QObject::connect(this, &TVSession::clientChanged, this, &TVSession::forgetStaleRefusal);
}

TVSession::~TVSession()
{
    ++m_wakeGeneration;
    // Fail whatever still waits on the client now, while the session is whole; the waiting
    // coroutines find no current client and end without touching anything else.
    if (m_pointer) {
        PointerClient *pointer = m_pointer;
        m_pointer = nullptr;
        pointer->close();
    }
    if (m_client) {
        SSAPClient *client = m_client;
        m_client = nullptr;
        client->onClose = nullptr;
        client->disconnect();
    }
}

// ---------------------------------------------------------------- observable fields

// Every observable field notifies only when its value really changes.
template <typename T> bool TVSession::assign(T &field, const T &value, void (TVSession::*changed)())
{
    if (field == value)
        return false;
    field = value;
    Q_EMIT(this->*changed)();
    return true;
}

void TVSession::setState(const ConnectionState &state)
{
    if (state != m_state)
        traceState(state);
    if (assign(m_state, state, &TVSession::stateChanged))
        updateDerived();
}

void TVSession::setVolumeValue(int volume)
{
    assign(m_volume, volume, &TVSession::volumeChanged);
}

void TVSession::setMutedValue(bool value)
{
    assign(m_muted, value, &TVSession::mutedChanged);
}

void TVSession::setPowerStateValue(const QString &value)
{
    if (assign(m_powerState, value, &TVSession::powerStateChanged))
        updateDerived();
}

void TVSession::setForegroundAppIdValue(const QString &value)
{
    if (assign(m_foregroundAppId, value, &TVSession::foregroundAppIdChanged))
        updateDerived();
}

void TVSession::setKeyboardFocusedValue(bool value)
{
    assign(m_keyboardFocused, value, &TVSession::keyboardFocusedChanged);
}

void TVSession::setInputs(const QList<ExternalInput> &inputs)
{
    if (assign(m_inputs, inputs, &TVSession::inputsChanged))
        updateDerived();
}

void TVSession::setApps(const QList<TVApp> &apps)
{
    if (assign(m_apps, apps, &TVSession::appsChanged))
        updateDerived();
}

void TVSession::setDiscovered(const QList<SSDPDiscovery::Found> &found)
{
    assign(m_discovered, found, &TVSession::discoveredChanged);
}

void TVSession::setScanning(bool scanning)
{
    assign(m_isScanning, scanning, &TVSession::isScanningChanged);
}

void TVSession::updateDerived()
{
    const bool standby = isStandby();
    if (standby != m_lastStandby) {
        m_lastStandby = standby;
        Q_EMIT isStandbyChanged();
    }
    const QString source = currentSourceName();
    if (source != m_lastSourceName) {
        m_lastSourceName = source;
        Q_EMIT currentSourceNameChanged();
    }
}

bool TVSession::awaitingPin() const
{
    return m_state.kind() == ConnectionState::Kind::AwaitingApproval && m_state.pin();
}

bool TVSession::isStandby() const
{
    if (m_state.kind() != ConnectionState::Kind::Ready)
        return false;
    return m_powerState.contains(QLatin1String("Standby")) || m_powerState == QLatin1String("Suspend");
}

QString TVSession::currentSourceName() const
{
    for (const ExternalInput &input : m_inputs) {
        if (input.appId == m_foregroundAppId)
            return input.label;
    }
    for (const TVApp &app : m_apps) {
        if (app.id == m_foregroundAppId)
            return app.title;
    }
    if (m_foregroundAppId.isEmpty())
        return QStringLiteral("—");
    if (m_foregroundAppId == QLatin1String("com.webos.app.home"))
        return QString::fromUtf8(QT_TR_NOOP("主页"));
    if (m_foregroundAppId == QLatin1String("com.webos.app.livetv"))
        return QString::fromUtf8(QT_TR_NOOP("电视直播"));
    if (m_foregroundAppId == QLatin1String("com.webos.app.screensaver"))
        return QString::fromUtf8(QT_TR_NOOP("屏幕保护"));
    return m_foregroundAppId;
}

QVariantList TVSession::appList() const
{
    QVariantList list;
    for (const TVApp &app : m_apps) {
        list << QVariantMap { { QStringLiteral("id"), app.id }, { QStringLiteral("title"), app.title },
            { QStringLiteral("icon"), app.icon ? app.icon->toString() : QString() } };
    }
    return list;
}

QVariantList TVSession::inputList() const
{
    QVariantList list;
    for (const ExternalInput &input : m_inputs) {
        list << QVariantMap { { QStringLiteral("id"), input.id }, { QStringLiteral("label"), input.label },
            { QStringLiteral("appId"), input.appId }, { QStringLiteral("connected"), input.connected } };
    }
    return list;
}

QVariantList TVSession::discoveredList() const
{
    QVariantList list;
    for (const SSDPDiscovery::Found &found : m_discovered) {
        list << QVariantMap { { QStringLiteral("host"), found.host },
            { QStringLiteral("uuid"), optionalText(found.uuid) }, { QStringLiteral("name"), optionalText(found.name) },
            { QStringLiteral("model"), optionalText(found.model) },
            { QStringLiteral("location"), optionalText(found.location) } };
    }
    return list;
}

// ---------------------------------------------------------------- connection lifecycle

void TVSession::dropPointer()
{
    if (!m_pointer)
        return;
    PointerClient *pointer = m_pointer;
    m_pointer = nullptr;
    pointer->close();
    pointer->deleteLater();
    Q_EMIT pointerChanged();
}

void TVSession::dropClient()
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

void TVSession::connect(const QString &deviceID, bool usePin)
{
    m_reconnect->stop();
    startConnection(deviceID, usePin, Attempt::User);
}

void TVSession::startConnection(const QString &deviceID, bool usePin, Attempt attempt)
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

QCoro::Task<void> TVSession::runConnection(TVDevice device, bool usePin, Attempt attempt)
{
    QPointer<TVSession> self(this);

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
                    client, SSAPError::server(QString::fromUtf8(QT_TR_NOOP("电视已更换，请重新连接并配对"))));
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
                                SSAPError::server(QString::fromUtf8(QT_TR_NOOP("电视要求重新配对，请重新连接"))));
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

    co_await afterRegistration(client);
}

// "system/getSystemInfo": a "modelName" of OLED55C1.AEU gives the model "LG OLED55C1".
// Answers whether the copy's model was set; a failed request is no reason to stop connecting.
QCoro::Task<bool> TVSession::readModel(QPointer<SSAPClient> client, TVDevice &device)
{
    if (!client)
        co_return false;
    QJsonObject info;
    try {
        info = co_await client->request(
            QStringLiteral("system/getSystemInfo"), QJsonObject(), SSAPClient::requestTimeout);
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
void TVSession::storePairing(const TVDevice &copy, bool modelChanged)
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

void TVSession::failConnection(
    const QPointer<SSAPClient> &client, const SSAPError &error, const std::optional<TVDevice> &relocate)
{
    if (!isCurrent(client))
        return;
    const std::optional<QString> expected = client->tls().expectedFingerprint();
    const std::optional<QString> observed = client->tls().observedFingerprint();
    const bool certificateChanged = expected && observed && *expected != *observed;
    const QString message
        = certificateChanged ? QString::fromUtf8(QT_TR_NOOP("电视证书已变化，请删除后重新配对")) : error.description();
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
QCoro::Task<void> TVSession::findMovedTV(TVDevice device, bool background)
{
    QPointer<TVSession> self(this);
    while (m_isScanning) {
        co_await QCoro::sleepFor(std::chrono::milliseconds(100));
        if (!self)
            co_return;
    }
    co_await scan();
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

void TVSession::handleClientClosed(SSAPClient *closing, const std::optional<SSAPError> &error)
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

void TVSession::endConnection(SSAPClient *closing, const std::optional<SSAPError> &error)
{
    appLog(QStringLiteral("主通道断开: ") + (error ? error->description() : QStringLiteral("-")));
    const bool background = m_reconnectAttemptClient == closing;
    dropPointer();
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
void TVSession::connectionLost(bool duringReconnect)
{
    if (duringReconnect) {
        m_reconnect->attemptFailed();
        return;
    }
    const std::optional<QString> selected = m_store.selectedID();
    const std::optional<TVDevice> record = selected ? m_store.device(*selected) : std::nullopt;
    if (!record || !record->clientKey || m_ownPowerOff) {
        m_reconnect->stop();
        return;
    }
    m_reconnect->start();
}

void TVSession::reconnectAttempt()
{
    const ConnectionState::Kind kind = m_state.kind();
    if (kind == ConnectionState::Kind::Ready || kind == ConnectionState::Kind::Waking) {
        m_reconnect->stop();
        return;
    }
    const std::optional<QString> selected = m_store.selectedID();
    const std::optional<TVDevice> record = selected ? m_store.device(*selected) : std::nullopt;
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

void TVSession::reconnectNow()
{
    m_reconnect->tryNow();
}

bool TVSession::isReconnecting() const
{
    return m_reconnect->isActive();
}

// Pings both sockets; one the TV has not answered for too long counts as closed (a TV that
// lost power or its network sends no close).
void TVSession::checkAlive()
{
    const qint64 limit = seconds(m_timings.keepaliveTimeout).count();
    if (m_pointer && m_pointer->isOpen()) {
        if (m_pointer->msSinceHeard() > limit) {
            appLog(QStringLiteral("指针通道无响应，已关闭"));
            dropPointer();
        } else {
            m_pointer->ping();
        }
    }
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
    dropPointer();
    dropClient();
    setState(ConnectionState::offline());
    connectionLost(false);
}

void TVSession::disconnect()
{
    m_reconnect->stop();
    dropConnection();
}

void TVSession::dropConnection()
{
    m_keepalive.stop();
    dropPointer();
    dropClient();
    setPowerStateValue(QString());
    setState(ConnectionState::offline());
}

QCoro::Task<void> TVSession::ensureConnected(double timeout)
{
    QPointer<TVSession> self(this);
    if (isReady())
        co_return;

    const std::optional<QString> selected = m_store.selectedID();
    const std::optional<TVDevice> record = selected ? m_store.device(*selected) : std::nullopt;
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

void TVSession::wake()
{
    const std::optional<QString> selected = m_store.selectedID();
    const std::optional<TVDevice> record = selected ? m_store.device(*selected) : std::nullopt;
    if (!record || !record->mac) {
        setState(ConnectionState::error(QString::fromUtf8(QT_TR_NOOP("未记录电视 MAC，无法网络唤醒"))));
        return;
    }
    disconnect();
    setState(ConnectionState::waking());
    LocalNetwork::sendWakeOnLAN(*record->mac, record->host);
    wakeLoop(record->id, record->host, *record->mac, ++m_wakeGeneration);
}

QCoro::Task<void> TVSession::wakeLoop(QString deviceID, QString host, QString mac, quint64 generation)
{
    QPointer<TVSession> self(this);
    const auto pause = seconds(m_timings.wakePause);
    const auto poll = seconds(m_timings.wakePoll);
    const int maxAttempts = qMax(1, m_timings.wakeAttempts);
    auto superseded = [&] { return !self || self->m_wakeGeneration != generation; };

    int attempts = 0;
    for (;;) {
        co_await QCoro::sleepFor(pause);
        if (superseded())
            co_return;
        const ConnectionState::Kind kind = self->m_state.kind();
        if (kind == ConnectionState::Kind::AwaitingApproval || kind == ConnectionState::Kind::Connecting
            || kind == ConnectionState::Kind::Ready)
            co_return;

        LocalNetwork::sendWakeOnLAN(mac, host);
        self->startConnection(deviceID, false, Attempt::Wake);
        while (self->m_state.kind() == ConnectionState::Kind::Connecting) {
            co_await QCoro::sleepFor(poll);
            if (superseded())
                co_return;
        }
        self->m_wakeAttemptClient = nullptr;
        // Ready, or the TV asks to pair: the user decides now, another attempt would cancel it.
        if (self->isReady() || self->m_state.kind() == ConnectionState::Kind::AwaitingApproval)
            co_return;

        self->setState(ConnectionState::waking());
        if (++attempts >= maxAttempts) {
            self->setState(ConnectionState::error(QString::fromUtf8(QT_TR_NOOP("唤醒超时，请确认电视已开启网络唤醒"))));
            co_return;
        }
    }
}

void TVSession::submitPin(const QString &pin)
{
    sendPin(m_client, pin);
}

// ---------------------------------------------------------------- live state

QCoro::Task<void> TVSession::afterRegistration(QPointer<SSAPClient> client)
{
    QPointer<TVSession> self(this);
    // A newer connection runs its own steps; these stop as soon as their client is replaced.
    auto stale = [&] { return !self || !self->isCurrent(client); };

    co_await connectPointer();
    if (stale())
        co_return;

    client->subscribe(volumeURI, QJsonObject(), [self](const QJsonObject &payload) {
        if (self)
            self->handleVolume(payload);
    });
    client->subscribe(foregroundURI, QJsonObject(), [self](const QJsonObject &payload) {
        if (self)
            self->handleForeground(payload);
    });
    client->subscribe(powerURI, QJsonObject(), [self](const QJsonObject &payload) {
        if (self)
            self->handlePower(payload);
    });
    client->subscribe(keyboardURI, QJsonObject(), [self](const QJsonObject &payload) {
        if (self)
            self->handleKeyboard(payload);
    });

    co_await refreshInputs();
    if (stale())
        co_return;
    co_await refreshApps();
    if (stale())
        co_return;
    co_await learnMAC();
    if (stale())
        co_return;

    if (const std::optional<QString> mode = m_preferences.autotest())
        co_await SelfTest::run(this, *mode);
}

void TVSession::handleVolume(const QJsonObject &payload)
{
    const QJsonValue nested = payload.value(QLatin1String("volumeStatus"));
    const QJsonObject status = nested.isObject() ? nested.toObject() : payload;

    const QJsonValue volume = status.value(QLatin1String("volume"));
    if (volume.isDouble()) {
        const double value = volume.toDouble();
        if (std::isfinite(value) && value == std::trunc(value) && std::abs(value) <= std::numeric_limits<int>::max())
            setVolumeValue(static_cast<int>(value));
    }
    const QJsonValue mute = status.contains(QLatin1String("muteStatus")) ? status.value(QLatin1String("muteStatus"))
                                                                         : status.value(QLatin1String("muted"));
    if (mute.isBool())
        setMutedValue(mute.toBool());
    // Newer firmware names the sound output here, so a change made on the TV shows at once.
    const QJsonValue output = status.value(QLatin1String("soundOutput"));
    if (output.isString() && !output.toString().isEmpty())
        assign(m_soundOutput, output.toString(), &TVSession::soundOutputChanged);
}

void TVSession::handleForeground(const QJsonObject &payload)
{
    const QJsonValue appId = payload.value(QLatin1String("appId"));
    setForegroundAppIdValue(appId.isString() ? appId.toString() : QString());
}

void TVSession::handlePower(const QJsonObject &payload)
{
    const QJsonValue state = payload.value(QLatin1String("state"));
    setPowerStateValue(state.isString() ? state.toString() : QString());
}

void TVSession::handleKeyboard(const QJsonObject &payload)
{
    const QJsonValue widget = payload.value(QLatin1String("currentWidget"));
    if (!widget.isObject())
        return;
    const QJsonValue focus = widget.toObject().value(QLatin1String("focus"));
    setKeyboardFocusedValue(focus.isBool() && focus.toBool());
}

QCoro::Task<std::optional<SSAPError>> TVSession::connectPointer()
{
    QPointer<TVSession> self(this);
    const QPointer<SSAPClient> client = m_client;
    if (!client)
        co_return SSAPError::notConnected();

    QJsonObject reply;
    try {
        reply = co_await client->request(QStringLiteral("com.webos.service.networkinput/getPointerInputSocket"),
            QJsonObject(), SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        appLog(QStringLiteral("获取 pointer socket 失败: ") + error.description());
        // The TV's own answer (newer firmware refuses remote-control input) holds for this
        // connection; a new one asks again.
        if (error.kind() == SSAPError::Kind::Server && self && self->isCurrent(client)) {
            self->m_pointerRefusedBy = client;
            self->m_pointerRefusal = error.description();
        }
        co_return error;
    }
    // The socket path belongs to that connection only.
    if (!self || !self->isCurrent(client))
        co_return SSAPError::notConnected();

    const QJsonValue path = reply.value(QLatin1String("socketPath"));
    const QUrl url(path.toString(), QUrl::StrictMode);
    if (!path.isString() || !url.isValid() || url.isRelative() || url.host().isEmpty())
        co_return SSAPError::server(QStringLiteral("getPointerInputSocket: no usable socketPath"));
    // Two callers that both found no open pointer share the first new one instead of closing it
    // under a message it still holds.
    if (m_pointer && m_pointer->isOpen())
        co_return std::nullopt;

    QWebSocket *socket = client->createSocket();
    dropPointer();
    m_pointer = new PointerClient(socket, url, this);
    Q_EMIT pointerChanged();
    co_return std::nullopt;
}

// The list a TV answers under member of uri's reply: none when the request fails, the session
// is gone, or the member is not a list of objects (what was shown before is then kept).
QCoro::Task<std::optional<QJsonArray>> TVSession::fetchObjectList(QString uri, QString member)
{
    QPointer<TVSession> self(this);
    const QPointer<SSAPClient> client = m_client;
    if (!client)
        co_return std::nullopt;
    QJsonObject reply;
    try {
        reply = co_await client->request(uri, QJsonObject(), SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        co_return std::nullopt;
    }
    if (!self)
        co_return std::nullopt;
    const QJsonValue list = reply.value(member);
    if (!list.isArray())
        co_return std::nullopt;
    const QJsonArray entries = list.toArray();
    for (const QJsonValue &entry : entries) {
        if (!entry.isObject())
            co_return std::nullopt;
    }
    co_return entries;
}

QCoro::Task<void> TVSession::refreshInputs()
{
    QPointer<TVSession> self(this);
    const std::optional<QJsonArray> entries
        = co_await fetchObjectList(QStringLiteral("tv/getExternalInputList"), QStringLiteral("devices"));
    if (!self || !entries)
        co_return;
    QList<ExternalInput> inputs;
    for (const QJsonValue &entry : *entries) {
        if (const std::optional<ExternalInput> input = ExternalInput::fromJson(entry.toObject()))
            inputs << *input;
    }
    self->setInputs(inputs);
}

QCoro::Task<void> TVSession::refreshApps()
{
    QPointer<TVSession> self(this);
    const std::optional<QJsonArray> entries = co_await fetchObjectList(
        QStringLiteral("com.webos.applicationManager/listLaunchPoints"), QStringLiteral("launchPoints"));
    if (!self || !entries)
        co_return;
    QList<TVApp> apps;
    for (const QJsonValue &entry : *entries) {
        if (const std::optional<TVApp> app = TVApp::fromJson(entry.toObject()))
            apps << *app;
    }
    self->setApps(apps);
}

void TVSession::storeMAC(const QString &deviceID, const QString &mac)
{
    std::optional<TVDevice> record = m_store.device(deviceID);
    if (!record || record->mac == mac)
        return;
    record->mac = mac;
    m_store.update(*record);
    appLog(QStringLiteral("记录 MAC ") + mac);
}

QCoro::Task<void> TVSession::learnMAC()
{
    QPointer<TVSession> self(this);
    const std::optional<QString> selected = m_store.selectedID();
    const std::optional<TVDevice> record = selected ? m_store.device(*selected) : std::nullopt;
    if (!record)
        co_return;
    const QPointer<SSAPClient> client = m_client;
    if (!client)
        co_return;

    // arp may take seconds: wait for it on the event loop, then look again at what is left.
    const std::optional<QString> mac = co_await LocalNetwork::macAddress(record->host, m_arpProgram);
    if (!self)
        co_return;
    if (mac) {
        self->storeMAC(record->id, *mac);
        co_return;
    }
    if (!client)
        co_return;

    QJsonObject info;
    try {
        info = co_await client->request(
            QStringLiteral("com.webos.service.connectionmanager/getinfo"), QJsonObject(), SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        co_return;
    }
    if (!self)
        co_return;
    std::optional<QString> found;
    for (const char *member : { "wifiInfo", "wiredInfo" }) {
        const QJsonValue address = info.value(QLatin1String(member)).toObject().value(QLatin1String("macAddress"));
        if (address.isString()) {
            found = LocalNetwork::normalizeMAC(address.toString());
            if (found)
                break;
        }
    }
    if (found)
        self->storeMAC(record->id, *found);
}

std::optional<QImage> TVSession::cachedIcon(const QUrl &url) const
{
    const auto it = m_iconCache.constFind(url);
    if (it == m_iconCache.constEnd())
        return std::nullopt;
    return *it;
}

QCoro::Task<std::optional<QImage>> TVSession::icon(const QUrl &url)
{
    const QUrl target = url;
    if (const std::optional<QImage> cached = cachedIcon(target))
        co_return cached;
    QPointer<TVSession> self(this);
    const QPointer<SSAPClient> client = m_client;
    if (!client)
        co_return std::nullopt;

    const std::optional<QByteArray> bytes = co_await client->fetch(target);
    if (!self || !bytes)
        co_return std::nullopt;
    QImage image;
    if (!image.loadFromData(*bytes) || image.isNull())
        co_return std::nullopt;
    self->m_iconCache.insert(target, image);
    co_return image;
}

// ---------------------------------------------------------------- remote actions

void TVSession::sendOneWay(const QString &uri, const QJsonObject &payload)
{
    if (!m_client)
        return;
    notePowerOff(uri);
    requestOneWay(m_client, uri, payload);
}

std::optional<QString> TVSession::pointerRefusal() const
{
    if (!m_client || m_pointerRefusedBy != m_client)
        return std::nullopt;
    return m_pointerRefusal;
}

void TVSession::showInputRefusal(const QString &reason)
{
    assign(m_inputRefusal, reason, &TVSession::inputRefusalChanged);
}

// What was shown belongs to the connection that refused.
void TVSession::forgetStaleRefusal()
{
    if (!pointerRefusal())
        assign(m_inputRefusal, QString(), &TVSession::inputRefusalChanged);
}

// An open pointer socket, asked for when there is none, but not again from a TV that refused it
// on this connection. Answers why there is nothing to send on.
QCoro::Task<std::optional<SSAPError>> TVSession::ensurePointer()
{
    if (m_pointer && m_pointer->isOpen())
        co_return std::nullopt;
    if (const std::optional<QString> refusal = pointerRefusal())
        co_return SSAPError::server(*refusal);
    QPointer<TVSession> self(this);
    const std::optional<SSAPError> failure = co_await connectPointer();
    if (!self)
        co_return SSAPError::notConnected();
    // A pointer that broke meanwhile is still sent on; the send then fails.
    if (self->m_pointer && !self->pointerRefusal())
        co_return std::nullopt;
    if (failure)
        co_return failure;
    co_return SSAPError::notConnected();
}

// A button (or a click) on the pointer socket; when the TV refuses that socket, the button's
// own request if it has one. Done once the frame went out or the TV answered the request.
QCoro::Task<TVSession::InputOutcome> TVSession::pointerInput(QString button, bool click)
{
    QPointer<TVSession> self(this);
    const std::optional<SSAPError> failure = co_await ensurePointer();
    if (!self)
        co_return InputOutcome { SSAPError::notConnected() };
    if (!failure) {
        PointerClient *pointer = self->m_pointer;
        if (!pointer)
            co_return InputOutcome { SSAPError::notConnected() };
        auto frame = std::make_shared<Completion<bool>>();
        auto sent = [frame](bool out) { frame->resolve(out); };
        if (click)
            pointer->click(sent);
        else
            pointer->button(button, sent);
        // A socket that never finishes opening must not hold the input for ever.
        if (!frame->isDone())
            QTimer::singleShot(seconds(SSAPClient::requestTimeout), pointer, [frame] { frame->resolve(false); });
        const bool out = co_await *frame;
        if (out)
            co_return InputOutcome {};
        co_return InputOutcome { SSAPError::notConnected() };
    }
    const std::optional<QString> refusal = self->pointerRefusal();
    if (!refusal)
        co_return InputOutcome { failure };
    const std::optional<ButtonRequest> request = click ? std::nullopt : ButtonRequest::forButton(button, self->m_muted);
    if (!request)
        co_return InputOutcome { SSAPError::server(*refusal), true };
    try {
        co_await self->request(request->uri, request->payload);
    } catch (const SSAPError &error) {
        co_return InputOutcome { error };
    }
    co_return InputOutcome {};
}

// The window's input: a refusal is shown on the page, once; nothing else is reported.
QCoro::Task<void> TVSession::showRefusal(QCoro::Task<InputOutcome> input)
{
    QPointer<TVSession> self(this);
    const InputOutcome outcome = co_await std::move(input);
    if (self && outcome.refused)
        self->showInputRefusal(outcome.error->description());
}

void TVSession::press(const QString &button)
{
    showRefusal(pressAsync(button));
}

QCoro::Task<TVSession::InputOutcome> TVSession::pressAsync(const QString &button)
{
    return pointerInput(button, false);
}

void TVSession::click()
{
    showRefusal(clickAsync());
}

QCoro::Task<TVSession::InputOutcome> TVSession::clickAsync()
{
    return pointerInput(QString(), true);
}

void TVSession::move(double dx, double dy)
{
    // One NaN would stay in the remainder for good and every later flush would send garbage.
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    m_pendingMoveX += dx;
    m_pendingMoveY += dy;
    if (m_moveScheduled)
        return;
    m_moveScheduled = true;
    flushMove();
}

QCoro::Task<void> TVSession::flushMove()
{
    QPointer<TVSession> self(this);
    co_await QCoro::sleepFor(std::chrono::milliseconds(qMax(0, m_timings.moveFlushMs)));
    if (!self)
        co_return;
    m_moveScheduled = false;
    const int ix = roundMotion(m_pendingMoveX);
    const int iy = roundMotion(m_pendingMoveY);
    m_pendingMoveX -= ix;
    m_pendingMoveY -= iy;
    if (ix == 0 && iy == 0)
        co_return;
    co_await ensurePointer();
    if (!self)
        co_return;
    if (const std::optional<QString> refusal = self->pointerRefusal())
        self->showInputRefusal(*refusal);
    else if (self->m_pointer)
        self->m_pointer->move(ix, iy);
}

void TVSession::scroll(int steps)
{
    if (m_pointer)
        m_pointer->scroll(0, steps);
    else if (const std::optional<QString> refusal = pointerRefusal())
        showInputRefusal(*refusal);
}

void TVSession::volumeUp()
{
    sendOneWay(QStringLiteral("audio/volumeUp"), QJsonObject());
}

void TVSession::volumeDown()
{
    sendOneWay(QStringLiteral("audio/volumeDown"), QJsonObject());
}

void TVSession::setVolume()
{
    sendOneWay(QStringLiteral("audio/setVolume"), QJsonObject { { QStringLiteral("volume"), m_volume } });
}

void TVSession::setMute(bool mute)
{
    setMuteAsync(mute);
}

QCoro::Task<void> TVSession::setMuteAsync(bool mute)
{
    QPointer<TVSession> self(this);
    const QPointer<SSAPClient> client = m_client;
    if (!client)
        co_return;
    bool failed = false;
    try {
        co_await client->request(
            QStringLiteral("audio/setMute"), oneMember(QStringLiteral("mute"), mute), SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        failed = true;
    }
    // The remote's mute key toggles whatever the TV's state is.
    if (failed && self)
        co_await self->pressAsync(QStringLiteral("MUTE"));
}

void TVSession::insertText(const QString &text)
{
    sendOneWay(QStringLiteral("com.webos.service.ime/insertText"),
        QJsonObject { { QStringLiteral("text"), text }, { QStringLiteral("replace"), false } });
}

void TVSession::launch(const TVApp &app)
{
    sendOneWay(QStringLiteral("system.launcher/launch"), QJsonObject { { QStringLiteral("id"), app.id } });
}

void TVSession::switchInput(const ExternalInput &input)
{
    sendOneWay(QStringLiteral("tv/switchInput"), QJsonObject { { QStringLiteral("inputId"), input.id } });
}

void TVSession::launchApp(const QString &appID)
{
    for (const TVApp &app : std::as_const(m_apps)) {
        if (app.id == appID) {
            launch(app);
            return;
        }
    }
}

void TVSession::switchToInput(const QString &inputID)
{
    for (const ExternalInput &input : std::as_const(m_inputs)) {
        if (input.id == inputID) {
            switchInput(input);
            return;
        }
    }
}

// A TV we switched off stays off: its closing connection is not brought back.
void TVSession::notePowerOff(const QString &uri)
{
    if (logURI(uri) == QLatin1String("system/turnOff"))
        m_ownPowerOff = true;
}

void TVSession::powerOff()
{
    sendOneWay(QStringLiteral("system/turnOff"), QJsonObject());
}

QCoro::Task<void> TVSession::refreshBoth()
{
    QPointer<TVSession> self(this);
    co_await refreshInputs();
    if (self)
        co_await self->refreshApps();
}

void TVSession::refreshLists()
{
    refreshBoth();
}

void TVSession::startScan()
{
    scan();
}

QCoro::Task<QJsonObject> TVSession::request(const QString &uri, const QJsonObject &payload)
{
    const QString service = uri;
    const QJsonObject body = payload;
    const QPointer<SSAPClient> client = m_client;
    if (!client)
        throw SSAPError::notConnected();
    notePowerOff(service);
    co_return co_await client->request(service, body, SSAPClient::requestTimeout);
}

QCoro::Task<void> TVSession::scan()
{
    if (m_isScanning)
        co_return;
    QPointer<TVSession> self(this);
    setScanning(true);
    QList<SSDPDiscovery::Found> found;
    try {
        found = co_await SSDPDiscovery::discover(m_timings.scanSeconds);
    } catch (...) {
        // A scan that broke finds nothing; the flag must not stay set.
    }
    if (!self)
        co_return;
    self->setDiscovered(found);
    for (const SSDPDiscovery::Found &tv : std::as_const(found))
        self->m_store.upsertDiscovered(tv.host, tv.uuid, tv.name, tv.model);
    self->setScanning(false);
}

// ---------------------------------------------------------------- sound output, screen, channels, web pages

namespace {

// The window's form of an awaitable action: a failure is one log line, as for one-way commands.
template <typename T> QCoro::Task<void> logFailure(QCoro::Task<T> action, QString uri)
{
    try {
        co_await std::move(action);
    } catch (const SSAPError &error) {
        appLog(logURI(uri) + QStringLiteral(" 失败: ") + error.description());
    }
}

const QString soundOutputURI = QStringLiteral("audio/getSoundOutput");
const QString changeSoundOutputURI = QStringLiteral("audio/changeSoundOutput");
const QString screenOffURI = QStringLiteral("com.webos.service.tvpower/power/turnOffScreen");
const QString screenOnURI = QStringLiteral("com.webos.service.tvpower/power/turnOnScreen");
const QString channelListURI = QStringLiteral("tv/getChannelList");
const QString currentChannelURI = QStringLiteral("tv/getCurrentChannel");
const QString openChannelURI = QStringLiteral("tv/openChannel");
const QString openURI = QStringLiteral("system.launcher/open");
const QString launchURI = QStringLiteral("system.launcher/launch");

} // namespace

QVariantList TVSession::channelList() const
{
    QVariantList list;
    for (const TVChannel &channel : m_channels)
        list << channel.toMap();
    return list;
}

QVariantMap TVSession::currentChannelMap() const
{
    return m_currentChannel ? m_currentChannel->toMap() : QVariantMap();
}

bool TVSession::isWebAddress(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !parsed.host().isEmpty();
}

QCoro::Task<QString> TVSession::readSoundOutput()
{
    QPointer<TVSession> self(this);
    const QJsonObject none;
    const QJsonObject reply = co_await request(soundOutputURI, none);
    const QJsonValue output = reply.value(QLatin1String("soundOutput"));
    if (!output.isString() || output.toString().isEmpty())
        throw SSAPError::server(QStringLiteral("The TV did not report its sound output"));
    if (self)
        self->assign(self->m_soundOutput, output.toString(), &TVSession::soundOutputChanged);
    co_return output.toString();
}

QCoro::Task<void> TVSession::changeSoundOutput(QString output)
{
    QPointer<TVSession> self(this);
    const QJsonObject payload = oneMember(QStringLiteral("output"), output);
    co_await request(changeSoundOutputURI, payload);
    if (self)
        self->assign(self->m_soundOutput, output, &TVSession::soundOutputChanged);
}

QCoro::Task<void> TVSession::turnScreen(bool on)
{
    // The power state subscription reports the result ("Screen Off", then "Active").
    const QJsonObject none;
    const QString uri = on ? screenOnURI : screenOffURI;
    co_await request(uri, none);
}

QCoro::Task<QList<TVChannel>> TVSession::readChannels()
{
    QPointer<TVSession> self(this);
    const QJsonObject none;
    const QJsonObject reply = co_await request(channelListURI, none);
    const QJsonValue entries = reply.value(QLatin1String("channelList"));
    if (!entries.isArray())
        throw SSAPError::server(QStringLiteral("The TV sent no channel list"));
    QList<TVChannel> channels;
    for (const QJsonValue &entry : entries.toArray()) {
        if (const std::optional<TVChannel> channel = TVChannel::fromJson(entry.toObject()))
            channels << *channel;
    }
    if (self)
        self->assign(self->m_channels, channels, &TVSession::channelsChanged);
    co_return channels;
}

QCoro::Task<TVChannel> TVSession::readCurrentChannel()
{
    QPointer<TVSession> self(this);
    const QJsonObject none;
    const QJsonObject reply = co_await request(currentChannelURI, none);
    const std::optional<TVChannel> channel = TVChannel::fromJson(reply);
    if (!channel)
        throw SSAPError::server(QStringLiteral("The TV reported no current channel"));
    if (self)
        self->assign(self->m_currentChannel, channel, &TVSession::currentChannelChanged);
    co_return *channel;
}

QCoro::Task<void> TVSession::openChannel(TVChannel channel)
{
    QPointer<TVSession> self(this);
    const QJsonObject payload = oneMember(QStringLiteral("channelId"), channel.id);
    co_await request(openChannelURI, payload);
    if (self)
        self->assign(self->m_currentChannel, std::optional<TVChannel>(channel), &TVSession::currentChannelChanged);
}

QCoro::Task<void> TVSession::openURL(QString url)
{
    const QJsonObject payload = oneMember(QStringLiteral("target"), url);
    co_await request(openURI, payload);
}

QCoro::Task<void> TVSession::launchInto(TVApp app, QString contentId, QJsonObject params)
{
    QJsonObject payload = oneMember(QStringLiteral("id"), app.id);
    if (!contentId.isEmpty())
        payload.insert(QStringLiteral("contentId"), contentId);
    if (!params.isEmpty())
        payload.insert(QStringLiteral("params"), params);
    co_await request(launchURI, payload);
}

void TVSession::refreshSoundOutput()
{
    if (m_client)
        logFailure(readSoundOutput(), soundOutputURI);
}

void TVSession::selectSoundOutput(const QString &output)
{
    if (m_client && !output.isEmpty())
        logFailure(changeSoundOutput(output), changeSoundOutputURI);
}

void TVSession::screenOff()
{
    if (m_client)
        logFailure(turnScreen(false), screenOffURI);
}

void TVSession::screenOn()
{
    if (m_client)
        logFailure(turnScreen(true), screenOnURI);
}

void TVSession::refreshChannels()
{
    if (!m_client)
        return;
    logFailure(readChannels(), channelListURI);
    logFailure(readCurrentChannel(), currentChannelURI);
}

void TVSession::tuneChannel(const QString &channelID)
{
    if (!m_client)
        return;
    for (const TVChannel &channel : std::as_const(m_channels)) {
        if (channel.id == channelID) {
            logFailure(openChannel(channel), openChannelURI);
            return;
        }
    }
}

void TVSession::openWebPage(const QString &url)
{
    if (m_client && isWebAddress(url))
        logFailure(openURL(url), openURI);
}

void TVSession::launchContent(const QString &appID, const QString &contentId, const QVariantMap &params)
{
    if (!m_client)
        return;
    for (const TVApp &app : std::as_const(m_apps)) {
        if (app.id == appID) {
            logFailure(launchInto(app, contentId, QJsonObject::fromVariantMap(params)), launchURI);
            return;
        }
    }
}
