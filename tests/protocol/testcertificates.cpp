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

bool openssl(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(workDir().path());
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(arguments.join(QLatin1Char(' '))),
                 process.readAllStandardError().constData());
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

QStringList ecKey(const QString &name)
{
    return {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), name};
}

TestIdentity makeSelfSigned(const QString &name)
{
    TestIdentity identity;
    const QString pem = name + QStringLiteral(".pem");
    if (!openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey(name + QStringLiteral(".key"))
                 + QStringList{QStringLiteral("-out"), pem, QStringLiteral("-days"), QStringLiteral("30"),
                               QStringLiteral("-subj"), QStringLiteral("/CN=") + name}))
        return identity;
    identity.key = QSslKey(readFile(name + QStringLiteral(".key")), QSsl::Ec);
    identity.chain = QSslCertificate::fromData(readFile(pem));
    identity.leafFingerprint = opensslFingerprint(pem);
    return identity;
}

TestIdentity makeChain()
{
    TestIdentity identity;
    QFile extension(workDir().filePath(QStringLiteral("ca.ext")));
    if (!extension.open(QIODevice::WriteOnly))
        return identity;
    extension.write("basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n");
    extension.close();
    const QString days = QStringLiteral("30");
    const bool made =
        openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey(QStringLiteral("root.key"))
                + QStringList{QStringLiteral("-out"), QStringLiteral("root.pem"), QStringLiteral("-days"), days,
                              QStringLiteral("-subj"), QStringLiteral("/CN=Test Root CA")})
        && openssl(QStringList{QStringLiteral("req")} + ecKey(QStringLiteral("inter.key"))
                   + QStringList{QStringLiteral("-out"), QStringLiteral("inter.csr"), QStringLiteral("-subj"),
                                 QStringLiteral("/CN=Test Intermediate CA")})
        && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("inter.csr"),
                    QStringLiteral("-CA"), QStringLiteral("root.pem"), QStringLiteral("-CAkey"),
                    QStringLiteral("root.key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                    QStringLiteral("inter.pem"), QStringLiteral("-days"), days, QStringLiteral("-extfile"),
                    QStringLiteral("ca.ext")})
        && openssl(QStringList{QStringLiteral("req")} + ecKey(QStringLiteral("leaf.key"))
                   + QStringList{QStringLiteral("-out"), QStringLiteral("leaf.csr"), QStringLiteral("-subj"),
                                 QStringLiteral("/CN=Test Leaf")})
        && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("leaf.csr"),
                    QStringLiteral("-CA"), QStringLiteral("inter.pem"), QStringLiteral("-CAkey"),
                    QStringLiteral("inter.key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                    QStringLiteral("leaf.pem"), QStringLiteral("-days"), days});
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
