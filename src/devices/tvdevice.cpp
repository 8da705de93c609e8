#include "tvdevice.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonValue>

namespace {

const QString kID = QStringLiteral("id");
const QString kName = QStringLiteral("name");
const QString kModel = QStringLiteral("model");
const QString kHost = QStringLiteral("host");
const QString kTVUUID = QStringLiteral("tvUUID");
const QString kMAC = QStringLiteral("mac");
const QString kClientKey = QStringLiteral("clientKey");
const QString kCertFingerprint = QStringLiteral("certFingerprint");

// A missing or null key is absent; any other non-text value makes the record unreadable.
bool readOptional(const QJsonObject &object, const QString &key, std::optional<QString> &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

bool readRequired(const QJsonObject &object, const QString &key, QString &out)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

size_t hashOptional(const std::optional<QString> &value, size_t seed)
{
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}

} // namespace

QString TVDevice::displayName() const
{
    return name.isEmpty() ? QCoreApplication::translate("TVDevice", "LG 电视") : name;
}

QJsonObject TVDevice::toJson() const
{
    QJsonObject object { { kID, id }, { kName, name }, { kModel, model }, { kHost, host } };
    if (tvUUID)
        object.insert(kTVUUID, *tvUUID);
    if (mac)
        object.insert(kMAC, *mac);
    if (clientKey)
        object.insert(kClientKey, *clientKey);
    if (certFingerprint)
        object.insert(kCertFingerprint, *certFingerprint);
    return object;
}

std::optional<TVDevice> TVDevice::fromJson(const QJsonObject &object)
{
    TVDevice device;
    if (!readRequired(object, kID, device.id) || !readRequired(object, kName, device.name)
        || !readRequired(object, kModel, device.model) || !readRequired(object, kHost, device.host)
        || !readOptional(object, kTVUUID, device.tvUUID) || !readOptional(object, kMAC, device.mac)
        || !readOptional(object, kClientKey, device.clientKey)
        || !readOptional(object, kCertFingerprint, device.certFingerprint))
        return std::nullopt;
    return device;
}

size_t qHash(const TVDevice &device, size_t seed)
{
    seed = qHashMulti(seed, device.id, device.name, device.model, device.host);
    seed = hashOptional(device.tvUUID, seed);
    seed = hashOptional(device.mac, seed);
    seed = hashOptional(device.clientKey, seed);
    return hashOptional(device.certFingerprint, seed);
}
