#include "tvchannel.h"

#include <QJsonValue>

#include <cmath>

namespace {

// Numbers come as text on most firmware and as a number on some.
QString numberText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble() && std::isfinite(value.toDouble()) && value.toDouble() == std::trunc(value.toDouble()))
        return QString::number(qint64(value.toDouble()));
    return {};
}

} // namespace

std::optional<TVChannel> TVChannel::fromJson(const QJsonObject &entry)
{
    const QJsonValue id = entry.value(QLatin1String("channelId"));
    const QString number = numberText(entry.value(QLatin1String("channelNumber")));
    if (!id.isString() || id.toString().isEmpty() || number.isEmpty())
        return std::nullopt;
    const QJsonValue name = entry.value(QLatin1String("channelName"));
    return TVChannel { id.toString(), number, name.isString() ? name.toString() : QString() };
}

QJsonObject TVChannel::toJson() const
{
    return QJsonObject { { QStringLiteral("id"), id }, { QStringLiteral("number"), number },
        { QStringLiteral("name"), name } };
}

QVariantMap TVChannel::toMap() const
{
    return toJson().toVariantMap();
}
