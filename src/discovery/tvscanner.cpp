#include "tvscanner.h"

#include <QPointer>
#include <QVariantMap>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace {

QString optionalText(const std::optional<QString> &value)
{
    return value.value_or(QString());
}

} // namespace

TVScanner::TVScanner(DeviceStore &store, double scanSeconds, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_scanSeconds(scanSeconds)
{
}

QVariantList TVScanner::discoveredList() const
{
    QVariantList list;
    for (const SSDPDiscovery::Found &found : m_discovered) {
        list << QVariantMap { { QStringLiteral("host"), found.host },
            { QStringLiteral("uuid"), optionalText(found.uuid) }, { QStringLiteral("name"), optionalText(found.name) },
            { QStringLiteral("model"), optionalText(found.model) },
            { QStringLiteral("location"), optionalText(found.location) } };
    }
    return list;
}

void TVScanner::setDiscovered(const QList<SSDPDiscovery::Found> &found)
{
    if (m_discovered == found)
        return;
    m_discovered = found;
    Q_EMIT discoveredChanged();
}

void TVScanner::setScanning(bool scanning)
{
    if (m_isScanning == scanning)
        return;
    m_isScanning = scanning;
    Q_EMIT isScanningChanged();
}

void TVScanner::startScan()
{
    scan();
}

QCoro::Task<void> TVScanner::scan()
{
    if (m_isScanning)
        co_return;
    QPointer<TVScanner> self(this);
    setScanning(true);
    QList<SSDPDiscovery::Found> found;
    try {
        found = co_await SSDPDiscovery::discover(m_scanSeconds);
    } catch (...) {
        // A scan that broke finds nothing; the flag must not stay set.
    }
    if (!self)
        co_return;
    self->setDiscovered(found);
    for (const SSDPDiscovery::Found &tv : std::as_const(found))
        self->m_store.upsertDiscovered(tv.host, tv.uuid, tv.name, tv.model);
    self->setScanning(false);
}

QCoro::Task<void> TVScanner::freshScan()
{
    QPointer<TVScanner> self(this);
    while (m_isScanning) {
        co_await QCoro::sleepFor(std::chrono::milliseconds(100));
        if (!self)
            co_return;
    }
    co_await scan();
}
