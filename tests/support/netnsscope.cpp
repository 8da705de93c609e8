#include "netnsscope.h"

#include <QFile>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

NetnsScope::NetnsScope(const QString &name)
{
    const int fd = ::open(QFile::encodeName(QStringLiteral("/run/netns/") + name).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    enter(fd);
    ::close(fd);
}

NetnsScope::NetnsScope(int namespaceFd)
{
    enter(namespaceFd);
}

void NetnsScope::enter(int namespaceFd)
{
    m_previous = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_previous < 0)
        return;
    m_entered = ::setns(namespaceFd, CLONE_NEWNET) == 0;
}

NetnsScope::~NetnsScope()
{
    if (m_entered)
        ::setns(m_previous, CLONE_NEWNET);
    if (m_previous >= 0)
        ::close(m_previous);
}
