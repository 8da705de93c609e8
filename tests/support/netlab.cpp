#include "netlab.h"

#include "netnsscope.h"
#include "tvsimprocess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>

#include <utility>

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
        return QStringLiteral("needs root to build its network lab with scripts/netlab (network namespaces); run it as "
                              "root or through scripts/test");
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

std::unique_ptr<NetLab> NetLab::withTVs(int tvCount, const QList<QStringList> &tvArguments)
{
    auto lab = std::make_unique<NetLab>(tvCount);
    if (!lab->isUp() || !lab->enter())
        return lab;
    for (qsizetype k = 0; k < tvArguments.size(); ++k) {
        auto sim = lab->startTV(QStringLiteral("tv%1").arg(k + 1), tvArguments.at(k));
        if (!sim)
            return lab;
        lab->m_tvs.push_back(std::move(sim));
    }
    return lab;
}

NetLab::~NetLab()
{
    m_tvs.clear();
    m_entered.reset(); // leave the lab before taking it down
    for (const QString &ns : std::as_const(m_extraNamespaces))
        QProcess::execute(QStringLiteral("ip"), { QStringLiteral("netns"), QStringLiteral("del"), namespaceName(ns) });
    run({ QStringLiteral("down") });
}

bool NetLab::addNamespace(const QString &ns)
{
    if (QProcess::execute(QStringLiteral("ip"), { QStringLiteral("netns"), QStringLiteral("add"), namespaceName(ns) })
        != 0) {
        m_error = QStringLiteral("cannot add namespace ") + ns;
        return false;
    }
    m_extraNamespaces << ns;
    return true;
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
