#pragma once

#include "testcertificates.h"

#include <QHostAddress>
#include <QJsonObject>
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

    bool listen(const QHostAddress &address, quint16 port = 0) { return m_server.listen(address, port); }
    QString wssURL(const QString &path) const;

    // Answers every greeting with {"type":"hello","id":"hello","payload":{"deviceUUID":...}}.
    bool answerHello = true;
    // Called for every text frame after it is recorded (the SSAP fuzzer answers through it).
    std::function<void(QWebSocket *socket, const QJsonObject &message)> onMessage;

    int connectionCount() const { return m_connections.size(); }
    QString requestPath() const { return m_path; } // of the latest connection
    const QStringList &texts() const { return m_texts; }
    QList<QWebSocketProtocol::CloseCode> closeCodes() const { return m_closeCodes; }

    // To the latest connection.
    void sendText(const QString &text) { latest()->sendTextMessage(text); }
    void sendBinary(const QByteArray &data) { latest()->sendBinaryMessage(data); }
    void closeLatest() { latest()->close(); }

private:
    QList<QPointer<QWebSocket>> m_connections;
    QString m_path;
    QStringList m_texts;
    QList<QWebSocketProtocol::CloseCode> m_closeCodes;
    QWebSocketServer m_server; // last: it deletes the sockets, whose handlers use the members above

    QWebSocket *latest() const { return m_connections.constLast().data(); }
};
