#include "certificates.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

PKey newKey()
{
    return PKey(EVP_EC_gen("P-256"), &EVP_PKEY_free);
}

bool addExtension(X509 *cert, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool ok = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return ok;
}

// A certificate for key, signed by issuerKey (self-signed when issuer is null).
Cert makeCertificate(EVP_PKEY *key, const QString &commonName, bool isCA, X509 *issuer, EVP_PKEY *issuerKey)
{
    Cert cert(X509_new(), &X509_free);
    if (!cert)
        return cert;
    X509_set_version(cert.get(), 2);
    std::unique_ptr<BIGNUM, decltype(&BN_free)> serial(BN_new(), &BN_free);
    BN_rand(serial.get(), 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get()));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 20L * 365 * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME *name = X509_get_subject_name(cert.get());
    const QByteArray cn = commonName.toUtf8();
    X509_NAME_add_entry_by_txt(
        name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>("webOS TV"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(
        name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(cn.constData()), -1, -1, 0);
    X509 *signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    bool ok = addExtension(cert.get(), signer, NID_basic_constraints, isCA ? "critical,CA:TRUE" : "critical,CA:FALSE");
    ok = ok && addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (isCA)
        ok = ok && addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    else
        ok = ok && addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0)
        return Cert(nullptr, &X509_free);
    return cert;
}

QByteArray certificatePem(X509 *cert)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_X509(bio.get(), cert);
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, qsizetype(size));
}

QByteArray keyPem(EVP_PKEY *key)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, qsizetype(size));
}

bool writeFile(const QString &path, const QByteArray &data, bool secret)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (secret)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString keyFile(bool chain)
{
    return chain ? QStringLiteral("chain-key.pem") : QStringLiteral("key.pem");
}
QString certFile(bool chain)
{
    return chain ? QStringLiteral("chain-cert.pem") : QStringLiteral("cert.pem");
}

} // namespace

bool Certificates::load(const QString &stateDir, bool chain, bool fresh, const QString &commonName, QString *error)
{
    const QDir dir(stateDir);
    if (fresh) {
        // A replaced TV: every identity of the old one goes.
        for (bool c : { false, true }) {
            QFile::remove(dir.filePath(keyFile(c)));
            QFile::remove(dir.filePath(certFile(c)));
        }
    }
    if (!QFile::exists(dir.filePath(keyFile(chain))) || !QFile::exists(dir.filePath(certFile(chain)))) {
        if (!generate(stateDir, chain, commonName, error))
            return false;
    }
    m_key = QSslKey(readFile(dir.filePath(keyFile(chain))), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    m_chain = QSslCertificate::fromData(readFile(dir.filePath(certFile(chain))), QSsl::Pem);
    if (m_key.isNull() || m_chain.isEmpty()) {
        *error = QStringLiteral("cannot read the TLS identity in %1").arg(stateDir);
        return false;
    }
    return true;
}

QString Certificates::fingerprint() const
{
    if (m_chain.isEmpty())
        return {};
    return QString::fromLatin1(QCryptographicHash::hash(m_chain.first().toDer(), QCryptographicHash::Sha256).toHex());
}

bool Certificates::generate(const QString &dir, bool chain, const QString &commonName, QString *error)
{
    PKey leafKey = newKey();
    if (!leafKey) {
        *error = QStringLiteral("cannot generate a key");
        return false;
    }
    QByteArray certificates;
    if (chain) {
        PKey rootKey = newKey();
        PKey intermediateKey = newKey();
        if (!rootKey || !intermediateKey) {
            *error = QStringLiteral("cannot generate a key");
            return false;
        }
        Cert root = makeCertificate(rootKey.get(), QStringLiteral("webOS TV Root CA"), true, nullptr, nullptr);
        Cert intermediate = root ? makeCertificate(intermediateKey.get(), QStringLiteral("webOS TV Device CA"), true,
                                root.get(), rootKey.get())
                                 : Cert(nullptr, &X509_free);
        Cert leaf = intermediate
            ? makeCertificate(leafKey.get(), commonName, false, intermediate.get(), intermediateKey.get())
            : Cert(nullptr, &X509_free);
        if (!leaf) {
            *error = QStringLiteral("cannot make the certificate chain");
            return false;
        }
        certificates = certificatePem(leaf.get()) + certificatePem(intermediate.get());
    } else {
        Cert leaf = makeCertificate(leafKey.get(), commonName, false, nullptr, nullptr);
        if (!leaf) {
            *error = QStringLiteral("cannot make the certificate");
            return false;
        }
        certificates = certificatePem(leaf.get());
    }
    const QDir stateDir(dir);
    if (!writeFile(stateDir.filePath(keyFile(chain)), keyPem(leafKey.get()), true)
        || !writeFile(stateDir.filePath(certFile(chain)), certificates, false)) {
        *error = QStringLiteral("cannot write the TLS identity into %1").arg(dir);
        return false;
    }
    return true;
}
