#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QSslCertificate>
#include <QString>

#include <optional>

class QNetworkReply;
class QWebSocket;

// The trust decision for one TV: accept the certificate whose SHA-256 fingerprint equals the
// pinned one, or any certificate when nothing is pinned (trust on first use). The fingerprint
// seen last is kept so the session can pin it after pairing.
//
// Every socket of one SSAP client goes through the same delegate (main channel, pointer
// socket, icon downloads), so the pin covers all of them.
class PinnedTLSDelegate
{
public:
    explicit PinnedTLSDelegate(std::optional<QString> expectedFingerprint);

    std::optional<QString> expectedFingerprint() const { return m_expected; }
    std::optional<QString> observedFingerprint() const; // thread-safe

    // The decision for a presented chain (leaf first): records the leaf's fingerprint, logs
    // "TLS 证书指纹不匹配，拒绝连接" and answers false on a mismatch. Thread-safe.
    bool evaluate(const QList<QSslCertificate> &chain);

    // Installs the decision on a socket before it is opened: no trust anchors, verify peer,
    // interrupt the handshake on error, continue only when evaluate() accepts.
    void attach(QWebSocket *socket);
    // The same for an HTTPS download (decided in sslErrors, before any body is read).
    void attach(QNetworkReply *reply);

    // 64 lower-case hex digits of SHA-256 over the DER encoding.
    static QString fingerprint(const QSslCertificate &certificate);

private:
    const std::optional<QString> m_expected;
    mutable QMutex m_mutex;
    std::optional<QString> m_observed;
};
