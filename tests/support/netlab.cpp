#include "netlab.h"

#include "netnsscope.h"
#include "tvsimprocess.h"

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
    m_entered.reset(); // leave the lab before taking it down
    run({ QStringLiteral("down") });
}

bool NetLab::enter(const QString &ns)
{
    m_entered.reset();
    auto scope = std::make_unique<NetnsScope>(namespaceName(ns));
    if (!scope->entered()) {
        m_error = QStringLiteral("cannot enter the lab namespace ") + ns;
        return false;
    }
    m_entered = std::move(scope);
    return true;
}

std::unique_ptr<TVSimProcess> NetLab::startTV(const QString &tv, const QStringList &arguments)
{
    auto sim = std::make_unique<TVSimProcess>(
        TVSimProcess::Options { address(tv), arguments, QString(), namespaceName(tv) });
    if (sim->start())
        return sim;
    m_error = QStringLiteral("tvsim in %1 did not start: %2").arg(tv, sim->output());
    return nullptr;
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
