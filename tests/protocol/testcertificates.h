#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// Throwaway server identities made with the openssl program in a temporary directory, once per
// test process.
struct TestIdentity {
    QSslKey key;
    QList<QSslCertificate> chain; // leaf first
    QString leafFingerprint; // from `openssl x509 -fingerprint -sha256`, as lower-case hex
    QString secondFingerprint; // the intermediate's, for a chain
};

namespace TestCertificates {
const TestIdentity &selfSigned(); // one self-signed certificate
const TestIdentity &chained(); // leaf signed by an intermediate CA, sent with it
}
