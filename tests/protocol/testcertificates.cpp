#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace {

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Runs "openssl COMMAND" in the work directory; COMMAND is split as a shell would (quotes kept together).
bool openssl(const QString &command)
{
    QProcess process;
    process.setWorkingDirectory(workDir().path());
    process.start(QStringLiteral("openssl"), QProcess::splitCommand(command));
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(command), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

QString opensslFingerprint(const QString &pemFile)
{
    QProcess process;
    process.setWorkingDirectory(workDir().path());
    process.start(QStringLiteral("openssl"),
                  {QStringLiteral("x509"), QStringLiteral("-in"), pemFile, QStringLiteral("-noout"),
                   QStringLiteral("-fingerprint"), QStringLiteral("-sha256")});
    process.waitForFinished(30000);
    // "sha256 Fingerprint=AB:CD:..."
    const QString line = QString::fromLatin1(process.readAllStandardOutput()).trimmed();
    return line.section(QLatin1Char('='), 1).remove(QLatin1Char(':')).toLower();
}

QByteArray readFile(const QString &name)
{
    QFile file(workDir().filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A new P-256 key in NAME.key with a request or self-signed certificate (ARGS) for it.
QString withNewKey(const QString &name, const QString &args)
{
    return QStringLiteral("req %1 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout %2.key")
        .arg(args, name);
}

TestIdentity makeSelfSigned(const QString &name)
{
    TestIdentity identity;
    if (!openssl(withNewKey(name, QStringLiteral("-x509 -days 30 -out %1.pem -subj /CN=%1").arg(name))))
        return identity;
    identity.key = QSslKey(readFile(name + QStringLiteral(".key")), QSsl::Ec);
    identity.chain = QSslCertificate::fromData(readFile(name + QStringLiteral(".pem")));
    identity.leafFingerprint = opensslFingerprint(name + QStringLiteral(".pem"));
    return identity;
}

// A root CA signs an intermediate CA, which signs the leaf.
TestIdentity makeChain()
{
    TestIdentity identity;
    QFile extension(workDir().filePath(QStringLiteral("ca.ext")));
    if (!extension.open(QIODevice::WriteOnly))
        return identity;
    extension.write("basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n");
    extension.close();
    const bool made
        = openssl(withNewKey(QStringLiteral("root"), QStringLiteral("-x509 -days 30 -out root.pem -subj \"/CN=Root CA\"")))
        && openssl(withNewKey(QStringLiteral("inter"), QStringLiteral("-out inter.csr -subj \"/CN=Intermediate CA\"")))
        && openssl(QStringLiteral("x509 -req -in inter.csr -CA root.pem -CAkey root.key -CAcreateserial -out inter.pem "
                                  "-days 30 -extfile ca.ext"))
        && openssl(withNewKey(QStringLiteral("leaf"), QStringLiteral("-out leaf.csr -subj \"/CN=Test Leaf\"")))
        && openssl(QStringLiteral("x509 -req -in leaf.csr -CA inter.pem -CAkey inter.key -CAcreateserial -out leaf.pem "
                                  "-days 30"));
    if (!made)
        return identity;
    identity.key = QSslKey(readFile(QStringLiteral("leaf.key")), QSsl::Ec);
    identity.chain = QSslCertificate::fromData(readFile(QStringLiteral("leaf.pem")))
        + QSslCertificate::fromData(readFile(QStringLiteral("inter.pem")));
    identity.leafFingerprint = opensslFingerprint(QStringLiteral("leaf.pem"));
    identity.secondFingerprint = opensslFingerprint(QStringLiteral("inter.pem"));
    return identity;
}

} // namespace

const TestIdentity &TestCertificates::selfSigned()
{
    static const TestIdentity identity = makeSelfSigned(QStringLiteral("tv"));
    return identity;
}

const TestIdentity &TestCertificates::otherSelfSigned()
{
    static const TestIdentity identity = makeSelfSigned(QStringLiteral("othertv"));
    return identity;
}

const TestIdentity &TestCertificates::chained()
{
    static const TestIdentity identity = makeChain();
    return identity;
}
