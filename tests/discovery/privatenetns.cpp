#include "privatenetns.h"

#include "netnsscope.h"

#include <QProcess>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

PrivateNetns::PrivateNetns()
{
    const int previous = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (previous < 0)
        return;
    if (::unshare(CLONE_NEWNET) == 0) {
        m_fd = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        ::setns(previous, CLONE_NEWNET);
    }
    ::close(previous);
}

PrivateNetns::~PrivateNetns()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PrivateNetns::ip(const QStringList &arguments)
{
    NetnsScope inside(m_fd);
    if (!inside.entered()) {
        m_error = QStringLiteral("cannot enter the namespace");
        return false;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    const bool ok
        = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        m_error
            = QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(process.readAll()));
    return ok;
}
