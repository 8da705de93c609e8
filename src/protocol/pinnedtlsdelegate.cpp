#include "pinnedtlsdelegate.h"

#include "applog.h"

#include <QCryptographicHash>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QSslError>
#include <QSslSocket>
#include <QWebSocket>

namespace {

const char *const approvedProperty = "corvanePinApproved";

// The chain the server presented, leaf first. QWebSocket does not expose it, but its TLS
// socket is a direct child once open() has run. Without it, the leaf is the certificate that
// the host-name check complained about (always checked against the leaf), else the first one
// an error names.
QList<QSslCertificate> presentedChain(QWebSocket *socket, const QList<QSslError> &errors)
{
    if (const auto *tls = socket->findChild<QSslSocket *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QList<QSslCertificate> chain = tls->peerCertificateChain();
        if (!chain.isEmpty())
            return chain;
    }
    for (const QSslError &error : errors) {
        if (error.error() == QSslError::HostNameMismatch && !error.certificate().isNull())
            return { error.certificate() };
    }
    for (const QSslError &error : errors) {
        if (!error.certificate().isNull())
            return { error.certificate() };
    }
    return {};
}

} // namespace

PinnedTLSDelegate::PinnedTLSDelegate(std::optional<QString> expectedFingerprint)
    : m_expected(std::move(expectedFingerprint))
{
}

std::optional<QString> PinnedTLSDelegate::observedFingerprint() const
{
    QMutexLocker lock(&m_mutex);
    return m_observed;
}

QString PinnedTLSDelegate::fingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(QCryptographicHash::hash(certificate.toDer(), QCryptographicHash::Sha256).toHex());
}

bool PinnedTLSDelegate::evaluate(const QList<QSslCertificate> &chain)
{
    // Nothing to look at: leave it to the platform, which trusts nothing here.
    if (chain.isEmpty() || chain.constFirst().isNull())
        return false;
    const QString seen = fingerprint(chain.constFirst());
    {
        QMutexLocker lock(&m_mutex);
        m_observed = seen;
    }
    if (m_expected && *m_expected != seen) {
        appLog(QStringLiteral("TLS 证书指纹不匹配，拒绝连接"));
        return false;
    }
    return true;
}

QSslConfiguration PinnedTLSDelegate::sslConfiguration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    // Without trust anchors no chain verifies, so every handshake reaches sslErrors; with the
    // system's anchors a chain they trust would connect without the pin being looked at.
    config.setCaCertificates({});
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return config;
}

void PinnedTLSDelegate::attach(QWebSocket *socket)
{
    socket->setSslConfiguration(sslConfiguration());
    socket->setProperty(approvedProperty, false);
    const std::weak_ptr<int> alive = m_alive;

    QObject::connect(
        socket, &QWebSocket::sslErrors, socket,
        [this, alive, socket](const QList<QSslError> &errors) {
            // Not ignoring the errors makes Qt drop the connection after this signal.
            if (alive.expired() || !evaluate(presentedChain(socket, errors)))
                return;
            socket->setProperty(approvedProperty, true);
            socket->ignoreSslErrors();
        },
        Qt::DirectConnection);

    // Connected first (this runs before any other handler of the socket): a secure connection
    // that never came to the decision is not used.
    QObject::connect(
        socket, &QWebSocket::connected, socket,
        [socket] {
            if (socket->requestUrl().scheme() == QLatin1String("wss") && !socket->property(approvedProperty).toBool())
                socket->abort();
        },
        Qt::DirectConnection);
    QObject::connect(
        socket, &QWebSocket::disconnected, socket, [socket] { socket->setProperty(approvedProperty, false); });
}

void PinnedTLSDelegate::attach(QNetworkReply *reply)
{
    const std::weak_ptr<int> alive = m_alive;
    QObject::connect(
        reply, &QNetworkReply::sslErrors, reply,
        [this, alive, reply](const QList<QSslError> &) {
            if (alive.expired() || !evaluate(reply->sslConfiguration().peerCertificateChain()))
                return;
            reply->ignoreSslErrors();
        },
        Qt::DirectConnection);
}
