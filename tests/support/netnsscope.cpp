#include "netnsscope.h"

#include <QFile>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

NetnsScope::NetnsScope(const QString &name)
{
    const int fd = ::open(QFile::encodeName(QStringLiteral("/run/netns/") + name).constData(), O_RDONLY | O_CLOEXEC);
    m_previous = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    m_entered = fd >= 0 && m_previous >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
}

NetnsScope::~NetnsScope()
{
    if (m_entered)
        ::setns(m_previous, CLONE_NEWNET);
    if (m_previous >= 0)
        ::close(m_previous);
}
