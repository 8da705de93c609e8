#include "faultsettings.h"

#include <QJsonArray>

QString FaultSettings::servicePath(const QString &uri)
{
    static const QString prefix = QStringLiteral("ssap://");
    return uri.startsWith(prefix) ? uri.mid(prefix.size()) : uri;
}

void FaultSettings::setDelay(const QString &path, int ms)
{
    if (ms > 0)
        m_delays.insert(path, ms);
    else
        m_delays.remove(path);
}

const FaultSettings::Failure *FaultSettings::failure(const QString &path) const
{
    const auto it = m_failures.constFind(path);
    return it == m_failures.constEnd() ? nullptr : &it.value();
}

QString FaultSettings::takeNextPairing()
{
    QString mode;
    std::swap(mode, m_nextPairing);
    return mode;
}

bool FaultSettings::takeCloseOn(const QString &event)
{
    if (m_closeOn.isEmpty() || m_closeOn != event || m_closeOnSkip-- > 0)
        return false;
    m_closeOn.clear();
    return true;
}

void FaultSettings::clear()
{
    m_closeOn.clear();
    m_delays.clear();
    m_failures.clear();
    m_hang = false;
    m_nextPairing.clear();
}

QJsonObject FaultSettings::toJson() const
{
    QJsonObject delays;
    for (auto it = m_delays.cbegin(); it != m_delays.cend(); ++it)
        delays.insert(it.key(), it.value());
    QJsonObject failures;
    for (auto it = m_failures.cbegin(); it != m_failures.cend(); ++it)
        failures.insert(it.key(),
            QJsonObject { { QStringLiteral("error"), it->error },
                { QStringLiteral("shape"),
                    it->asReturnValue ? QStringLiteral("returnValue") : QStringLiteral("error") } });
    QJsonObject result { { QStringLiteral("delays"), delays }, { QStringLiteral("fails"), failures },
        { QStringLiteral("hang"), m_hang } };
    if (!m_nextPairing.isEmpty())
        result.insert(QStringLiteral("nextPairing"), m_nextPairing);
    if (!m_closeOn.isEmpty())
        result.insert(QStringLiteral("closeOn"), m_closeOn);
    return result;
}
