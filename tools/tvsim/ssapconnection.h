#pragma once

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

#include "tvservices.h"

class QWebSocket;
class SSAPService;

// One SSAP client connection: greeting, registration (prompt or PIN), requests and
// subscriptions. Owns its socket; deletes itself when the socket ends.
class SSAPConnection : public QObject {
    Q_OBJECT
public:
    SSAPConnection(QWebSocket *socket, SSAPService *service);

    void closeSocket(bool abort);
    bool pairingOpen() const { return m_pairing.open; }
    QString openPin() const { return m_pairing.open && m_pairing.pin ? m_pairing.pinCode : QString(); }
    void finishPairing(bool accept);
    // Sends payload to every subscription whose path matches.
    void push(bool (*matches)(const QString &path), const QJsonObject &payload);
    void pushOdd(const QString &kind, int mebibytes);

private:
    struct Pairing {
        bool open = false;
        bool pin = false;
        QJsonValue id;
        QString pinCode;
        quint64 generation = 0;
    };

    void onMessage(const QString &text, bool binary);
    void handleRegister(const QJsonValue &id, const QJsonObject &payload);
    void handleRequest(const QString &type, const QJsonValue &id, const QString &path, const QJsonObject &payload);
    void handleSetPin(const QJsonValue &id, const QJsonObject &payload);
    void reply(const QJsonValue &id, const TVServices::Reply &reply);
    void sendError(const QJsonValue &id, const QString &error);
    void send(QJsonObject message);
    // Replaying a trace: answers as the traced TV did; false when the trace does not cover it.
    bool replay(const QString &key, const QJsonValue &id);
    bool replayRegistration(const QJsonValue &id, const QJsonObject &payload);
    bool replaySetPin(const QJsonValue &id);
    void sendReplayed(QJsonObject message, const QJsonValue &id);

    QWebSocket *m_socket;
    SSAPService *m_service;
    QString m_peer;
    bool m_registered = false;
    QHash<QString, QString> m_subscriptions; // message id -> service path
    QHash<QString, QJsonValue> m_subscriptionIds;
    Pairing m_pairing;
    quint64 m_generation = 0;
    bool m_integerIdOnce = false;
    QString m_offeredKey; // replay: the client key of the last register message
    QList<QJsonObject> m_replayAfterPin; // replay: the registration's rest, once a PIN is accepted
};
