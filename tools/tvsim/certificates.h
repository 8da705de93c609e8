#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The TV's TLS identity, generated once and kept as PEM files in the state directory so a
// restart presents the same certificate. Either a self-signed leaf, or (chain) a leaf signed by
// an intermediate CA that is signed by a root CA of the emulator's own; the root is never sent.
class Certificates {
public:
    // Loads the identity from stateDir, creating it when missing or when fresh is set.
    bool load(const QString &stateDir, bool chain, bool fresh, const QString &commonName, QString *error);

    QSslKey privateKey() const { return m_key; }
    QList<QSslCertificate> chain() const { return m_chain; } // leaf first
    QString fingerprint() const; // lower-case hex SHA-256 of the leaf DER

private:
    bool generate(const QString &dir, bool chain, const QString &commonName, QString *error);

    QSslKey m_key;
    QList<QSslCertificate> m_chain;
};
