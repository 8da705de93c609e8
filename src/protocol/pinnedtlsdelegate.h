#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <optional>

class QNetworkReply;
class QWebSocket;

// The trust decision for one TV: accept the certificate whose SHA-256 fingerprint equals the
// pinned one, or any certificate when nothing is pinned (trust on first use). The fingerprint
// seen last is kept so the session can pin it after pairing.
//
// Every socket of one SSAP client goes through the same delegate (main channel, pointer
// socket, icon downloads), so the pin covers all of them.
class PinnedTLSDelegate {
public:
    explicit PinnedTLSDelegate(std::optional<QString> expectedFingerprint);

    std::optional<QString> expectedFingerprint() const { return m_expected; }
    std::optional<QString> observedFingerprint() const; // thread-safe

    // The decision for a presented chain (leaf first): records the leaf's fingerprint, logs
    // "TLS 证书指纹不匹配，拒绝连接" and answers false on a mismatch. Thread-safe.
    bool evaluate(const QList<QSslCertificate> &chain);

    // Installs the decision on a socket before it is opened: no trust anchors and peer
    // verification, so every handshake reports errors and nothing is trusted by default; the
    // connection continues only when evaluate() accepts the presented chain. The decision runs
    // in sslErrors, where the whole chain is known (the handshake-interrupt callback only sees
    // the certificate that failed, which for a chain is not the leaf), and before the WebSocket
    // upgrade or any message is sent. A secure socket that connects without a decision is aborted.
    void attach(QWebSocket *socket);
    // The same for an HTTPS download; the request must carry sslConfiguration().
    void attach(QNetworkReply *reply);

    // The TLS settings that make every handshake come to the decision.
    static QSslConfiguration sslConfiguration();

    // 64 lower-case hex digits of SHA-256 over the DER encoding.
    static QString fingerprint(const QSslCertificate &certificate);

private:
    const std::optional<QString> m_expected;
    mutable QMutex m_mutex;
    std::optional<QString> m_observed;
    // Sockets may outlive the delegate; their callbacks check this first and then refuse.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
