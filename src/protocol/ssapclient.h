#pragma once

#include "pinnedtlsdelegate.h"
#include "ssaperror.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>
#include <optional>

class QWebSocket;

// One WebSocket connection to one TV's second-screen service (wss://HOST:3001): requests that
// await the reply with their id, subscriptions whose messages go to a handler, and the
// registration. A new client is made for every connection attempt.
//
// Every asynchronous operation completes exactly once, on the main thread: by the reply, a send
// failure, its time-out or the end of the socket, whichever comes first. Failures are thrown as
// SSAPError.
class SSAPClient : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const QJsonObject &payload)>;
    using CloseHandler = std::function<void(const std::optional<SSAPError> &error)>;

    static constexpr qint64 maxIncomingMessageSize = 4194304;
    static constexpr double greetingTimeout = 8.0;
    static constexpr double requestTimeout = 8.0;
    static constexpr double registrationTimeout = 120.0;

    // The greeting and registration waits, in seconds; tests shorten them.
    struct Timings {
        double greeting = greetingTimeout;
        double registration = registrationTimeout;
    };

    explicit SSAPClient(std::optional<QString> expectedFingerprint, QObject *parent = nullptr);
    SSAPClient(std::optional<QString> expectedFingerprint, Timings timings, QObject *parent = nullptr);
    ~SSAPClient() override; // fails whatever still waits with notConnected

    // Opens the socket and exchanges the greeting; returns the greeting reply's payload.
    // An invalid host fails with notConnected.
    QCoro::Task<QJsonObject> connect(const QString &host);

    QCoro::Task<QJsonObject> send(const QJsonObject &message, const QString &id, double timeout);
    QCoro::Task<QJsonObject> request(
        const QString &uri, const QJsonObject &payload = {}, double timeout = requestTimeout);
    void subscribe(const QString &uri, const QJsonObject &payload, Handler handler);

    // The registration ("register" is a C++ keyword). Returns the client key.
    QCoro::Task<QString> registerClient(
        const std::optional<QString> &clientKey, const QString &pairingType, std::function<void()> onPrompt = {});

    // Close code 1001; everything waiting fails with notConnected; onClose is not called.
    // Also ends every socket made through createSocket(). The client is not used afterwards.
    void disconnect();

    // Set by the owner; called when the socket ends by itself (not after disconnect()).
    CloseHandler onClose;

    PinnedTLSDelegate &tls() { return m_tls; }
    const PinnedTLSDelegate &tls() const { return m_tls; }

    // A WebSocket that goes through this client's certificate decision, not yet opened
    // (the pointer socket). The caller owns it; disconnect() aborts it.
    QWebSocket *createSocket();

    // GET through this client's certificate decision (application icons). Empty on failure.
    QCoro::Task<std::optional<QByteArray>> fetch(const QUrl &url);

    bool hasSocket() const; // a socket is current (the "task" of the protocol)

    // Keepalive: a WebSocket ping on the current socket, and the time since anything (a frame or
    // a pong) last came from it; -1 without a socket.
    void ping();
    qint64 msSinceHeard() const;
    qint64 nextID() const { return m_nextID; }

    // Builds the registration payload (exposed for tests).
    static QJsonObject registrationPayload(const std::optional<QString> &clientKey, const QString &pairingType);
    // "ssap://" + path unless the text already contains "://".
    static QString serviceURI(const QString &uri);

private:
    class Private;
    std::unique_ptr<Private> d;
    PinnedTLSDelegate m_tls;
    qint64 m_nextID = 1;
};
