#include "tvcatalogue.h"

#include "applog.h"
#include "localnetwork.h"
#include "tvstatemirror.h"

#include <QJsonArray>
#include <QPointer>

TVCatalogue::TVCatalogue(
    std::function<SSAPClient *()> currentClient, TVStateMirror &mirror, DeviceStore &store, QObject *parent)
    : QObject(parent)
    , m_currentClient(std::move(currentClient))
    , m_mirror(mirror)
    , m_store(store)
    , m_arpProgram(LocalNetwork::defaultARPProgram())
{
}

// The list a TV answers under member of the command's reply: none when the request fails, the
// catalogue is gone, or the member is not a list of objects (what was shown before is then kept).
QCoro::Task<std::optional<QJsonArray>> TVCatalogue::fetchObjectList(TVRequest command, QString member)
{
    QPointer<TVCatalogue> self(this);
    const QPointer<SSAPClient> client = m_currentClient();
    if (!client)
        co_return std::nullopt;
    QJsonObject reply;
    try {
        reply = co_await client->request(command.uri, command.payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        co_return std::nullopt;
    }
    if (!self)
        co_return std::nullopt;
    const QJsonValue list = reply.value(member);
    if (!list.isArray())
        co_return std::nullopt;
    const QJsonArray entries = list.toArray();
    for (const QJsonValue &entry : entries) {
        if (!entry.isObject())
            co_return std::nullopt;
    }
    co_return entries;
}

QCoro::Task<void> TVCatalogue::refreshInputs()
{
    QPointer<TVCatalogue> self(this);
    const std::optional<QJsonArray> entries
        = co_await fetchObjectList(TVCommands::externalInputList(), QStringLiteral("devices"));
    if (!self || !entries)
        co_return;
    QList<ExternalInput> inputs;
    for (const QJsonValue &entry : *entries) {
        if (const std::optional<ExternalInput> input = ExternalInput::fromJson(entry.toObject()))
            inputs << *input;
    }
    self->m_mirror.setInputs(inputs);
}

QCoro::Task<void> TVCatalogue::refreshApps()
{
    QPointer<TVCatalogue> self(this);
    const std::optional<QJsonArray> entries
        = co_await fetchObjectList(TVCommands::launchPoints(), QStringLiteral("launchPoints"));
    if (!self || !entries)
        co_return;
    QList<TVApp> apps;
    for (const QJsonValue &entry : *entries) {
        if (const std::optional<TVApp> app = TVApp::fromJson(entry.toObject()))
            apps << *app;
    }
    self->m_mirror.setApps(apps);
}

void TVCatalogue::storeMAC(const QString &deviceID, const QString &mac)
{
    std::optional<TVDevice> record = m_store.device(deviceID);
    if (!record || record->mac == mac)
        return;
    record->mac = mac;
    m_store.update(*record);
    appLog(QStringLiteral("记录 MAC ") + mac);
}

QCoro::Task<void> TVCatalogue::learnMAC()
{
    QPointer<TVCatalogue> self(this);
    const std::optional<QString> selected = m_store.selectedID();
    const std::optional<TVDevice> record = selected ? m_store.device(*selected) : std::nullopt;
    if (!record)
        co_return;
    const QPointer<SSAPClient> client = m_currentClient();
    if (!client)
        co_return;

    // arp may take seconds: wait for it on the event loop, then look again at what is left.
    const std::optional<QString> mac = co_await LocalNetwork::macAddress(record->host, m_arpProgram);
    if (!self)
        co_return;
    if (mac) {
        self->storeMAC(record->id, *mac);
        co_return;
    }
    if (!client)
        co_return;

    QJsonObject info;
    try {
        const TVRequest command = TVCommands::networkInfo();
        info = co_await client->request(command.uri, command.payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &) {
        co_return;
    }
    if (!self)
        co_return;
    std::optional<QString> found;
    for (const char *member : { "wifiInfo", "wiredInfo" }) {
        const QJsonValue address = info.value(QLatin1String(member)).toObject().value(QLatin1String("macAddress"));
        if (address.isString()) {
            found = LocalNetwork::normalizeMAC(address.toString());
            if (found)
                break;
        }
    }
    if (found)
        self->storeMAC(record->id, *found);
}

std::optional<QByteArray> TVCatalogue::cachedIcon(const QUrl &url) const
{
    const auto it = m_iconCache.constFind(url);
    if (it == m_iconCache.constEnd())
        return std::nullopt;
    return *it;
}

QCoro::Task<std::optional<QByteArray>> TVCatalogue::icon(const QUrl &url)
{
    const QUrl target = url;
    if (const std::optional<QByteArray> cached = cachedIcon(target))
        co_return cached;
    QPointer<TVCatalogue> self(this);
    const QPointer<SSAPClient> client = m_currentClient();
    if (!client)
        co_return std::nullopt;

    const std::optional<QByteArray> bytes = co_await client->fetch(target);
    if (!self || !bytes || bytes->isEmpty())
        co_return std::nullopt;
    self->m_iconCache.insert(target, *bytes);
    co_return bytes;
}
