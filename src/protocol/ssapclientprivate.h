#pragma once

#include "completion.h"
#include "ssapclient.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QWebSocket>

#include <functional>
#include <memory>
#include <optional>

class QNetworkReply;

// The state of one SSAPClient. Everything here runs on the main thread. Every waiter is a
// Completion held in a map or a member; the events that can end it (reply, send failure, timer,
// end of the socket, destruction) each take it out first, so exactly one of them completes it.
class SSAPClient::Private {
public:
    using Reply = Completion<QJsonObject>;
    using Registration = Completion<QString>;
    using Download = Completion<std::optional<QByteArray>>;

    Private(SSAPClient *owner, Timings timings);

    std::shared_ptr<Reply> startConnect(const QString &host);
    std::shared_ptr<Reply> startSend(const QJsonObject &message, const QString &id, double timeout);
    std::shared_ptr<Registration> startRegistration(
        const std::optional<QString> &clientKey, const QString &pairingType, std::function<void()> onPrompt);
    std::shared_ptr<Download> startFetch(const QUrl &url);
    void subscribe(const QString &uri, const QJsonObject &payload, Handler handler);
    QWebSocket *newSocket(); // with the TLS pin and the size limits
    QWebSocket *createSocket();
    void disconnect();
    void shutdown(); // the client is being destroyed

    static QString encode(const QJsonObject &message);

    SSAPClient *const q;
    const Timings timings;
    QPointer<QWebSocket> task; // the current SSAP socket
    QHash<QString, std::shared_ptr<Reply>> pending;
    QHash<QString, Handler> subscriptions;
    std::shared_ptr<Registration> registerContinuation;
    std::function<void()> registerPrompt;
    bool finished = false; // after disconnect(): nothing new is opened
    QElapsedTimer heard; // since the current socket's last frame or pong

private:
    // A text for the current socket, kept until the socket has opened.
    struct Outgoing {
        QString text;
        std::function<void(const SSAPError &)> onFailure;
    };

    void wire(QWebSocket *socket);
    void transmit(Outgoing outgoing);
    void flush(QWebSocket *socket);
    void socketEnded(QWebSocket *socket);
    void handleMessage(const QString &text);
    void handleRegistrationMessage(const QString &type, const QJsonObject &message, const QJsonObject &payload);
    void handleClosed(QWebSocket *socket, const std::optional<SSAPError> &error, bool notify);
    void finishRegistration(const QString &clientKey);
    void finishRegistration(const SSAPError &failure);
    void failPending(const QString &id, const std::weak_ptr<Reply> &entry, const SSAPError &failure);
    void startTimer(double seconds, std::function<void()> onTimeout);

    QList<Outgoing> m_outbox; // for the current socket while it opens
    QList<QPointer<QWebSocket>> m_sockets; // every SSAP socket not yet ended (current and replaced)
    QList<QPointer<QWebSocket>> m_createdSockets; // createSocket(): owned by the caller
    QNetworkAccessManager m_network;
    QHash<QNetworkReply *, std::shared_ptr<Download>> m_downloads;
};
