#include "simmessages.h"

namespace {

QList<QJsonObject> ssapMatching(const QJsonArray &received, const QString &key, const QString &value)
{
    QList<QJsonObject> found;
    for (const QJsonValue &entry : received) {
        const QJsonObject json = entry[QLatin1String("json")].toObject();
        if (entry[QLatin1String("channel")].toString() == QLatin1String("ssap") && json[key].toString() == value)
            found << json;
    }
    return found;
}

} // namespace

QList<QJsonObject> ssapRequests(const QJsonArray &received, const QString &uri)
{
    return ssapMatching(received, QStringLiteral("uri"), QStringLiteral("ssap://") + uri);
}

QList<QJsonObject> ssapOfType(const QJsonArray &received, const QString &type)
{
    return ssapMatching(received, QStringLiteral("type"), type);
}

QJsonObject ssapPayload(const QJsonArray &received, const QString &uri, qsizetype index)
{
    return ssapRequests(received, uri).value(index)[QLatin1String("payload")].toObject();
}

QStringList pointerTexts(const QJsonArray &received)
{
    QStringList texts;
    for (const QJsonValue &entry : received)
        if (entry[QLatin1String("channel")].toString() == QLatin1String("pointer"))
            texts << entry[QLatin1String("text")].toString();
    return texts;
}
