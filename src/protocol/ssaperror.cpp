#include "ssaperror.h"

SSAPError::SSAPError(Kind kind, const QString &description)
    : m_kind(kind)
    , m_description(description)
    , m_utf8(description.toUtf8())
{
}

SSAPError SSAPError::server(const QString &text)
{
    return { Kind::Server, text };
}

SSAPError SSAPError::notConnected()
{
    return { Kind::NotConnected, QStringLiteral("未连接电视") };
}

SSAPError SSAPError::timeout()
{
    return { Kind::Timeout, QStringLiteral("电视响应超时") };
}

SSAPError SSAPError::platform(const QString &description)
{
    return { Kind::Platform, description };
}
