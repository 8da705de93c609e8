#include "externalinput.h"

#include <QHashFunctions>
#include <QJsonValue>

std::optional<ExternalInput> ExternalInput::fromJson(const QJsonObject &entry)
{
    const QJsonValue id = entry.value(QLatin1String("id"));
    if (!id.isString())
        return std::nullopt;

    ExternalInput input;
    input.id = id.toString();
    const QJsonValue label = entry.value(QLatin1String("label"));
    input.label = label.isString() ? label.toString() : input.id;
    const QJsonValue appId = entry.value(QLatin1String("appId"));
    input.appId = appId.isString() ? appId.toString() : QString();
    const QJsonValue connected = entry.value(QLatin1String("connected"));
    input.connected = connected.isBool() && connected.toBool();
    return input;
}

size_t qHash(const ExternalInput &input, size_t seed)
{
    return qHashMulti(seed, input.id, input.label, input.appId, input.connected);
}
