#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QTemporaryDir workDir; // removed when the test process exits

// A new P-256 key in NAME.key and its certificate in NAME.pem, self-signed unless ARGS name a
// signer. Returns the certificate's fingerprint as openssl computes it (not the code under test).
QString makeCertificate(const QString &name, const QString &args = {})
{
    QProcess openssl;
    openssl.setWorkingDirectory(workDir.path());
    openssl.start(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"),
            QStringLiteral("openssl req -x509 -days 30 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-keyout %1.key -out %1.pem -subj /CN=%1 %2 >/dev/null "
                           "&& openssl x509 -noout -fingerprint -sha256 -in %1.pem")
                .arg(name, args) });
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        qWarning("openssl failed for %s: %s", qPrintable(name), openssl.readAllStandardError().constData());
    // "sha256 Fingerprint=AB:CD:..."
    const QString line = QString::fromLatin1(openssl.readAllStandardOutput());
    return line.trimmed().section(QLatin1Char('='), 1).remove(QLatin1Char(':')).toLower();
}

// The identity of the first name's key, presenting the named certificates in order.
TestIdentity identity(const QStringList &chain, const QStringList &fingerprints)
{
    QFile key(workDir.filePath(chain.constFirst() + QStringLiteral(".key")));
    TestIdentity identity { key.open(QIODevice::ReadOnly) ? QSslKey(&key, QSsl::Ec) : QSslKey(), {},
        fingerprints.value(0), fingerprints.value(1) };
    for (const QString &name : chain)
        identity.chain += QSslCertificate::fromPath(workDir.filePath(name + QStringLiteral(".pem")));
    return identity;
}

} // namespace

const TestIdentity &TestCertificates::selfSigned()
{
    static const TestIdentity tv = identity({ QStringLiteral("tv") }, { makeCertificate(QStringLiteral("tv")) });
    return tv;
}

// A root CA signs an intermediate CA, which signs the leaf; the TV sends the leaf and the intermediate.
const TestIdentity &TestCertificates::chained()
{
    static const TestIdentity tv = [] {
        const QString ca = QStringLiteral("-addext basicConstraints=critical,CA:TRUE "
                                          "-addext keyUsage=critical,keyCertSign,cRLSign ");
        makeCertificate(QStringLiteral("root"), ca);
        const QString inter
            = makeCertificate(QStringLiteral("inter"), ca + QStringLiteral("-CA root.pem -CAkey root.key"));
        const QString leaf = makeCertificate(QStringLiteral("leaf"), QStringLiteral("-CA inter.pem -CAkey inter.key"));
        return identity({ QStringLiteral("leaf"), QStringLiteral("inter") }, { leaf, inter });
    }();
    return tv;
}
