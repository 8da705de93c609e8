#pragma once

#include "testcertificates.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWebSocket>
#include <QWebSocketServer>

#include <functional>

// A secure WebSocket server standing in for the TV at byte level: it records every text frame it
// receives (a message sent as binary is missing from them) and lets the test answer by hand.
class TestTVServer : public QObject {
    Q_OBJECT

public:
    explicit TestTVServer(const TestIdentity &identity, QObject *parent = nullptr);
    ~TestTVServer() override;

    bool listen(const QHostAddress &address, quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    QString wssURL(const QString &path = QStringLiteral("/")) const;

    // Answers every greeting with {"type":"hello","id":"hello","payload":{"deviceUUID":...}}.
    bool answerHello = true;
    // Called for every text frame after it is recorded (the SSAP fuzzer answers through it).
    std::function<void(QWebSocket *socket, const QJsonObject &message)> onMessage;

    int connectionCount() const { return m_connections.size(); }
    QString requestPath() const; // of the latest connection
    const QStringList &texts() const { return m_texts; }
    QList<QWebSocketProtocol::CloseCode> closeCodes() const { return m_closeCodes; }

    // To the latest connection.
    void sendText(const QString &text);
    void sendBinary(const QByteArray &data);
    void closeLatest(QWebSocketProtocol::CloseCode code = QWebSocketProtocol::CloseCodeNormal);

private:
    QWebSocketServer m_server;
    QList<QPointer<QWebSocket>> m_connections;
    QStringList m_paths;
    QStringList m_texts;
    QList<QWebSocketProtocol::CloseCode> m_closeCodes;

    QWebSocket *latest() const { return m_connections.isEmpty() ? nullptr : m_connections.constLast().data(); }
};
