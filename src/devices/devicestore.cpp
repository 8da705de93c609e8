#include "devicestore.h"

#include "applog.h"
#include "preferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

namespace {

const QString kDevicesKey = QStringLiteral("devices.v1");
const QString kUnreadableKey = QStringLiteral("devices.v1.unreadable");
const QString kSelectedKey = QStringLiteral("devices.selected");

// Older builds stored the display default as the name; it must not stick once the TV has a real one.
const QString kLegacyDefaultName = QStringLiteral("LG 电视");
const QString kDefaultModel = QStringLiteral("LG webOS TV");

std::optional<QList<TVDevice>> decodeDevices(const QByteArray &bytes)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<TVDevice> devices;
    for (const QJsonValue &value : document.array()) {
        if (!value.isObject())
            return std::nullopt;
        std::optional<TVDevice> device = TVDevice::fromJson(value.toObject());
        if (!device)
            return std::nullopt;
        devices.append(*device);
    }
    return devices;
}

} // namespace

DeviceStore::DeviceStore(Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
{
    load();
}

void DeviceStore::load()
{
    m_devices.clear();
    m_selectedID.reset();

    // The list is written as data; a hand-edited file may hold it as text instead.
    std::optional<QByteArray> stored = m_preferences.data(kDevicesKey);
    if (!stored && m_preferences.contains(kDevicesKey))
        stored = m_preferences.value(kDevicesKey).toString().toUtf8();

    if (stored) {
        if (std::optional<QList<TVDevice>> decoded = decodeDevices(*stored)) {
            for (TVDevice &device : *decoded) {
                if (device.name == kLegacyDefaultName)
                    device.name.clear();
            }
            m_devices = *decoded;
        } else {
            // The next save replaces "devices.v1"; keep the pairings it held where a person can
            // still recover them.
            if (m_preferences.data(kUnreadableKey) != *stored)
                m_preferences.setData(kUnreadableKey, *stored);
            appLog(QStringLiteral("已保存的电视列表无法读取，原始数据保留在 devices.v1.unreadable"));
        }
    }

    std::optional<QString> selected = m_preferences.string(kSelectedKey);
    if (!selected && !m_devices.isEmpty())
        selected = m_devices.constFirst().id;
    setSelectedID(selected);
}

void DeviceStore::setDevices(const QList<TVDevice> &devices)
{
    if (m_devices == devices)
        return;
    m_devices = devices;
    Q_EMIT devicesChanged();
}

void DeviceStore::setSelectedID(const std::optional<QString> &id)
{
    if (id)
        m_preferences.setString(kSelectedKey, *id);
    else
        m_preferences.remove(kSelectedKey);
    if (m_selectedID == id)
        return;
    m_selectedID = id;
    Q_EMIT selectedIDChanged();
}

std::optional<TVDevice> DeviceStore::device(const QString &id) const
{
    for (const TVDevice &device : m_devices) {
        if (device.id == id)
            return device;
    }
    return std::nullopt;
}

std::optional<TVDevice> DeviceStore::selectedDevice() const
{
    return m_selectedID ? device(*m_selectedID) : std::nullopt;
}

TVDevice DeviceStore::upsertDiscovered(const QString &host, const std::optional<QString> &tvUUID,
    const std::optional<QString> &name, const std::optional<QString> &model)
{
    for (TVDevice &device : m_devices) {
        const bool sameTV = tvUUID && device.tvUUID && *device.tvUUID == *tvUUID;
        if (!sameTV && device.host != host)
            continue;
        const TVDevice before = device;
        device.host = host;
        if (tvUUID)
            device.tvUUID = tvUUID;
        // A paired TV keeps the name and model the user saw when pairing.
        if (!device.clientKey) {
            if (name)
                device.name = *name;
            if (model)
                device.model = *model;
        }
        const TVDevice result = device;
        save();
        if (result != before)
            Q_EMIT devicesChanged();
        return result;
    }

    TVDevice device;
    device.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    device.name = name.value_or(QString());
    device.model = model.value_or(kDefaultModel);
    device.host = host;
    device.tvUUID = tvUUID;
    m_devices.append(device);
    save();
    Q_EMIT devicesChanged();
    return device;
}

void DeviceStore::update(const TVDevice &device)
{
    for (TVDevice &existing : m_devices) {
        if (existing.id != device.id)
            continue;
        const bool changed = existing != device;
        existing = device;
        save();
        if (changed)
            Q_EMIT devicesChanged();
        return;
    }
}

void DeviceStore::remove(const QString &id)
{
    const qsizetype removed = m_devices.removeIf([&id](const TVDevice &device) { return device.id == id; });
    if (m_selectedID && *m_selectedID == id) {
        setSelectedID(m_devices.isEmpty() ? std::nullopt : std::optional<QString>(m_devices.constFirst().id));
    }
    save();
    if (removed > 0)
        Q_EMIT devicesChanged();
}

void DeviceStore::save()
{
    QJsonArray array;
    for (const TVDevice &device : m_devices)
        array.append(device.toJson());
    m_preferences.setData(kDevicesKey, QJsonDocument(array).toJson(QJsonDocument::Compact));
}
