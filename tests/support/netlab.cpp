#include "netlab.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>

#include <unistd.h>

namespace {

QString script()
{
    QString source = qEnvironmentVariable("CORVANE_SOURCE_DIR");
    if (source.isEmpty())
        source = QStringLiteral(".");
    return source + QStringLiteral("/scripts/netlab");
}

} // namespace

QString NetLab::unavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to build its network lab with scripts/netlab (network namespaces); run it as root or through scripts/test");
    return QString();
}

NetLab::NetLab(int tvCount)
    // Process id plus a random part: a name left behind by a crashed run is never reused.
    : m_prefix(QStringLiteral("cr%1x%2-")
                   .arg(QCoreApplication::applicationPid())
                   .arg(QRandomGenerator::global()->bounded(100000)))
{
    bool ok = false;
    run({ QStringLiteral("up"), QString::number(tvCount) }, &ok);
    m_up = ok;
}

NetLab::~NetLab()
{
    run({ QStringLiteral("down") });
}

QString NetLab::address(const QString &ns) const
{
    return run({ QStringLiteral("addr"), ns }).trimmed();
}

QString NetLab::mac(const QString &tv) const
{
    return run({ QStringLiteral("mac"), tv }).trimmed();
}

QString NetLab::run(const QStringList &arguments, bool *ok) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NETLAB_PREFIX"), m_prefix);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("bash"), QStringList { script() } + arguments);
    const bool finished = process.waitForFinished(30000);
    const bool success = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = success;
    if (!success) {
        m_error = QStringLiteral("netlab %1: %2")
                      .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(process.readAllStandardError()));
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}
