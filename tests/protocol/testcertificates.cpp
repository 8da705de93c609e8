#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Runs "openssl ARGS" (split as a shell would) in the work directory; returns what it printed.
QByteArray openssl(const QString &args)
{
    QProcess process;
    process.setWorkingDirectory(workDir().path());
    process.start(QStringLiteral("openssl"), QProcess::splitCommand(args));
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qWarning("openssl %s failed: %s", qPrintable(args), process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

QByteArray readFile(const QString &name)
{
    QFile file(workDir().filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Computed by openssl, not by the code under test: "sha256 Fingerprint=AB:CD:..." as lower-case hex.
QString fingerprint(const QString &name)
{
    const QString line
        = QString::fromLatin1(openssl(QStringLiteral("x509 -noout -fingerprint -sha256 -in %1.pem").arg(name)));
    return line.trimmed().section(QLatin1Char('='), 1).remove(QLatin1Char(':')).toLower();
}

// A new P-256 key in NAME.key and its certificate in NAME.pem, self-signed unless ARGS name a signer.
void makeCertificate(const QString &name, const QString &args = {})
{
    openssl(QStringLiteral("req -x509 -days 30 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout %1.key "
                           "-out %1.pem -subj /CN=%1 %2")
                .arg(name, args));
}

// The identity of the first name's key, presenting the named certificates in order.
TestIdentity identity(const QStringList &chain)
{
    TestIdentity identity;
    identity.key = QSslKey(readFile(chain.constFirst() + QStringLiteral(".key")), QSsl::Ec);
    for (const QString &name : chain)
        identity.chain += QSslCertificate::fromData(readFile(name + QStringLiteral(".pem")));
    identity.leafFingerprint = fingerprint(chain.constFirst());
    if (chain.size() > 1)
        identity.secondFingerprint = fingerprint(chain.at(1));
    return identity;
}

TestIdentity makeSelfSigned(const QString &name)
{
    makeCertificate(name);
    return identity({ name });
}

} // namespace

const TestIdentity &TestCertificates::selfSigned()
{
    static const TestIdentity tv = makeSelfSigned(QStringLiteral("tv"));
    return tv;
}

const TestIdentity &TestCertificates::otherSelfSigned()
{
    static const TestIdentity tv = makeSelfSigned(QStringLiteral("othertv"));
    return tv;
}

// A root CA signs an intermediate CA, which signs the leaf; the TV sends the leaf and the intermediate.
const TestIdentity &TestCertificates::chained()
{
    static const TestIdentity tv = [] {
        const QString ca = QStringLiteral("-addext basicConstraints=critical,CA:TRUE "
                                          "-addext keyUsage=critical,keyCertSign,cRLSign ");
        makeCertificate(QStringLiteral("root"), ca);
        makeCertificate(QStringLiteral("inter"), ca + QStringLiteral("-CA root.pem -CAkey root.key"));
        makeCertificate(QStringLiteral("leaf"), QStringLiteral("-CA inter.pem -CAkey inter.key"));
        return identity({ QStringLiteral("leaf"), QStringLiteral("inter") });
    }();
    return tv;
}
