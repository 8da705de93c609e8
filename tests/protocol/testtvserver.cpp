#include "testtvserver.h"

#include <QJsonDocument>
#include <QSslConfiguration>

TestTVServer::TestTVServer(const TestIdentity &identity, QObject *parent)
    : QObject(parent)
    , m_server(QStringLiteral("test tv"), QWebSocketServer::SecureMode)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(identity.chain);
    config.setPrivateKey(identity.key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(config);

    connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(&m_server);
            socket->setMaxAllowedIncomingMessageSize(64 * 1024 * 1024);
            m_connections.append(socket);
            m_path = socket->requestUrl().path();
            connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString &text) {
                m_texts.append(text);
                const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
                if (answerHello && message.value(QLatin1String("type")) == QLatin1String("hello")) {
                    socket->sendTextMessage(
                        QStringLiteral(R"({"type":"hello","id":"hello","payload":{"deviceUUID":"uuid-test-tv"}})"));
                }
                if (onMessage)
                    onMessage(socket, message);
            });
            connect(
                socket, &QWebSocket::disconnected, this, [this, socket] { m_closeCodes.append(socket->closeCode()); });
        }
    });
}

QString TestTVServer::wssURL(const QString &path) const
{
    return QStringLiteral("wss://%1:%2%3")
        .arg(m_server.serverAddress().toString())
        .arg(m_server.serverPort())
        .arg(path);
}
