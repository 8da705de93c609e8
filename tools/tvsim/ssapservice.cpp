#include "ssapservice.h"

#include "certificates.h"
#include "faultsettings.h"
#include "messagelog.h"
#include "ssapconnection.h"
#include "tracereplay.h"
#include "tvservices.h"
#include "tvstate.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QWebSocket>
#include <QWebSocketServer>

SSAPService::SSAPService(const QHostAddress &address, const Certificates *certificates, TVState *state,
    TVServices *services, FaultSettings *faults, MessageLog *log, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_certificates(certificates)
    , m_state(state)
    , m_services(services)
    , m_faults(faults)
    , m_log(log)
{
    // Queued: the reply to the request that caused a change goes out before the push.
    connect(state, &TVState::volumeChanged, this, &SSAPService::pushVolume, Qt::QueuedConnection);
    connect(state, &TVState::foregroundAppChanged, this, &SSAPService::pushForegroundApp, Qt::QueuedConnection);
    connect(state, &TVState::powerStateChanged, this, &SSAPService::pushPowerState, Qt::QueuedConnection);
    connect(state, &TVState::keyboardFocusChanged, this, &SSAPService::pushKeyboard, Qt::QueuedConnection);
}

SSAPService::~SSAPService()
{
    closeAll(true);
}

bool SSAPService::startListening(QString *error)
{
    if (m_server)
        return true;
    m_server = new QWebSocketServer(QStringLiteral("webOS TV"), QWebSocketServer::SecureMode, this);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setLocalCertificateChain(m_certificates->chain());
    configuration.setPrivateKey(m_certificates->privateKey());
    m_server->setSslConfiguration(configuration);
    connect(m_server, &QWebSocketServer::newConnection, this, &SSAPService::onNewConnection);
    if (!m_server->listen(m_address, port)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(m_address.toString())
                         .arg(port)
                         .arg(m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

void SSAPService::stopListening()
{
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    closeAll(false);
    m_pointerPaths.clear();
}

bool SSAPService::isListening() const
{
    return m_server != nullptr;
}

void SSAPService::closeAll(bool abort)
{
    const auto connections = m_connections;
    for (const QPointer<SSAPConnection> &connection : connections)
        if (connection)
            connection->closeSocket(abort);
    const auto pointers = m_pointerSockets;
    for (const QPointer<QWebSocket> &socket : pointers) {
        if (!socket)
            continue;
        if (abort)
            socket->abort();
        else
            socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    }
}

int SSAPService::connectionCount() const
{
    int count = 0;
    for (const QPointer<SSAPConnection> &connection : m_connections)
        count += connection ? 1 : 0;
    return count;
}

int SSAPService::pointerConnectionCount() const
{
    int count = 0;
    for (const QPointer<QWebSocket> &socket : m_pointerSockets)
        count += socket ? 1 : 0;
    return count;
}

bool SSAPService::pairingPending() const
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection && connection->pairingOpen())
            return true;
    return false;
}

QString SSAPService::openPin() const
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection && !connection->openPin().isEmpty())
            return connection->openPin();
    return {};
}

int SSAPService::answerPairing(bool accept)
{
    int count = 0;
    const auto connections = m_connections;
    for (const QPointer<SSAPConnection> &connection : connections)
        if (connection && connection->pairingOpen()) {
            connection->finishPairing(accept);
            ++count;
        }
    return count;
}

void SSAPService::pushOdd(const QString &kind, int mebibytes)
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection)
            connection->pushOdd(kind, mebibytes);
}

QString SSAPService::newPointerSocketPath()
{
    QString token;
    for (int i = 0; i < 16; ++i)
        token += QStringLiteral("%1").arg(QRandomGenerator::global()->bounded(16), 1, 16);
    const QString path = QStringLiteral("/resources/%1/netinput.pointer.sock").arg(token);
    m_pointerPaths.insert(path);
    return QStringLiteral("wss://%1:%2%3").arg(m_address.toString()).arg(port).arg(path);
}

void SSAPService::onNewConnection()
{
    if (!m_server)
        return;
    while (QWebSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        const QString path = socket->requestUrl().path();
        if (m_pointerPaths.contains(path) && m_replay && m_replay->refusesPointer()) {
            // The traced TV refused its pointer socket; this closes right after opening.
            m_log->record(QStringLiteral("pointer"), QString(),
                { { QStringLiteral("event"), QStringLiteral("refused") }, { QStringLiteral("path"), path } });
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("refused"));
            socket->deleteLater();
            continue;
        }
        if (m_pointerPaths.contains(path)) {
            m_pointerSockets.append(socket);
            connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString &text) { onPointerMessage(socket, text); });
            connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, socket](const QByteArray &data) { onPointerMessage(socket, QString::fromUtf8(data)); });
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        if (!path.isEmpty() && path != QStringLiteral("/")) {
            m_log->record(QStringLiteral("ssap"), QString(),
                { { QStringLiteral("event"), QStringLiteral("refused") }, { QStringLiteral("path"), path } });
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("unknown path"));
            socket->deleteLater();
            continue;
        }
        auto *connection = new SSAPConnection(socket, this);
        m_connections.append(connection);
        connect(connection, &QObject::destroyed, this, [this] { m_connections.removeAll(nullptr); });
    }
    m_pointerSockets.removeAll(nullptr);
}

void SSAPService::onPointerMessage(QWebSocket *socket, const QString &text)
{
    QJsonObject fields;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            fields.insert(line.left(colon), line.mid(colon + 1));
    }
    m_log->record(QStringLiteral("pointer"), text,
        { { QStringLiteral("fields"), fields },
            { QStringLiteral("from"),
                QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()) } });
    if (m_faults->hang() || fields.value(QStringLiteral("type")).toString() != QStringLiteral("button"))
        return;
    // A few buttons change what the TV reports.
    const QString name = fields.value(QStringLiteral("name")).toString();
    if (name == QStringLiteral("HOME"))
        m_state->setForegroundAppId(QStringLiteral("com.webos.app.home"));
    else if (name == QStringLiteral("VOLUMEUP"))
        m_state->setVolume(m_state->volume() + 1);
    else if (name == QStringLiteral("VOLUMEDOWN"))
        m_state->setVolume(m_state->volume() - 1);
    else if (name == QStringLiteral("MUTE"))
        m_state->setMuted(!m_state->muted());
}

void SSAPService::pushVolume()
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection)
            connection->push(&TVServices::isVolume, m_services->volumePayload());
}

void SSAPService::pushForegroundApp()
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection)
            connection->push(&TVServices::isForegroundApp, m_services->foregroundAppPayload());
}

void SSAPService::pushPowerState()
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection)
            connection->push(&TVServices::isPowerState, m_services->powerStatePayload());
}

void SSAPService::pushKeyboard()
{
    for (const QPointer<SSAPConnection> &connection : m_connections)
        if (connection)
            connection->push(&TVServices::isKeyboard, m_services->keyboardPayload());
}
