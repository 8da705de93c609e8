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
    const QString source = qEnvironmentVariable("CORVANE_SOURCE_DIR");
    return (source.isEmpty() ? QStringLiteral(".") : source) + QStringLiteral("/scripts/netlab");
}

} // namespace

QString NetLab::unavailableReason()
{
    return ::geteuid() == 0 ? QString()
                            : QStringLiteral("needs root to build its network lab with scripts/netlab (network "
                                             "namespaces); run it as root or through scripts/test");
}

NetLab::NetLab(int tvCount)
    // Process id plus a random part: a name left behind by a crashed run is never reused.
    : m_prefix(QStringLiteral("cr%1x%2-")
                   .arg(QCoreApplication::applicationPid())
                   .arg(QRandomGenerator::global()->bounded(100000)))
{
    run({ QStringLiteral("up"), QString::number(tvCount) });
    m_up = m_error.isEmpty();
}

std::unique_ptr<NetLab> NetLab::withTVs(int tvCount)
{
    auto lab = std::make_unique<NetLab>(tvCount);
    if (lab->isUp())
        lab->enter();
    return lab;
}

NetLab::~NetLab()
{
    m_entered.reset(); // leave the lab before taking it down
    for (const QString &ns : std::as_const(m_extraNamespaces))
        QProcess::execute(QStringLiteral("ip"), { QStringLiteral("netns"), QStringLiteral("del"), namespaceName(ns) });
    run({ QStringLiteral("down") });
}

bool NetLab::addNamespace(const QString &ns)
{
    const QStringList arguments { QStringLiteral("netns"), QStringLiteral("add"), namespaceName(ns) };
    const bool added = QProcess::execute(QStringLiteral("ip"), arguments) == 0;
    if (added)
        m_extraNamespaces << ns;
    else
        m_error = QStringLiteral("cannot add namespace ") + ns;
    return added;
}

bool NetLab::ip(const QString &ns, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), QStringList { QStringLiteral("-n"), namespaceName(ns) } + arguments);
    const bool ok
        = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        m_error
            = QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(process.readAll()));
    return ok;
}

bool NetLab::enter(const QString &ns)
{
    m_entered.reset(); // back where the lab started, then into ns
    m_entered = std::make_unique<NetnsScope>(namespaceName(ns));
    if (m_entered->entered())
        return true;
    m_entered.reset();
    m_error = QStringLiteral("cannot enter the lab namespace ") + ns;
    return false;
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

QString NetLab::run(const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NETLAB_PREFIX"), m_prefix);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("bash"), QStringList { script() } + arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("netlab %1: %2")
                      .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(process.readAllStandardError()));
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}
