#include "mcpschemas.h"

#include <QJsonArray>

namespace MCPSchemas {

QJsonObject stringProperty(const QString &description)
{
    QJsonObject property { { QStringLiteral("type"), QStringLiteral("string") } };
    if (!description.isEmpty())
        property.insert(QStringLiteral("description"), description);
    return property;
}

QJsonObject enumProperty(const QStringList &values)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("string") },
        { QStringLiteral("enum"), QJsonArray::fromStringList(values) } };
}

QJsonObject describedEnumProperty(const QStringList &values, const QString &description)
{
    QJsonObject property = enumProperty(values);
    property.insert(QStringLiteral("description"), description);
    return property;
}

QJsonObject integerProperty(int minimum, int maximum, const QString &description)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("integer") }, { QStringLiteral("minimum"), minimum },
        { QStringLiteral("maximum"), maximum }, { QStringLiteral("description"), description } };
}

QJsonObject booleanProperty(const QString &description)
{
    QJsonObject property { { QStringLiteral("type"), QStringLiteral("boolean") } };
    if (!description.isEmpty())
        property.insert(QStringLiteral("description"), description);
    return property;
}

QJsonObject typed(const QString &type)
{
    return QJsonObject { { QStringLiteral("type"), type } };
}

QJsonObject objectSchema(const QJsonObject &properties, const QStringList &required)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("object") },
        { QStringLiteral("properties"), properties },
        { QStringLiteral("required"), QJsonArray::fromStringList(required) } };
}

QJsonObject recordSchema(const QJsonObject &properties)
{
    return objectSchema(properties, properties.keys());
}

QJsonObject arraySchema(const QJsonObject &items)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("array") }, { QStringLiteral("items"), items } };
}

QJsonObject externalInputSchema()
{
    const QJsonObject text = typed(QStringLiteral("string"));
    const QJsonObject flag = typed(QStringLiteral("boolean"));
    return recordSchema({ { QStringLiteral("id"), text }, { QStringLiteral("label"), text },
        { QStringLiteral("connected"), flag }, { QStringLiteral("active"), flag } });
}

QJsonObject channelSchema()
{
    const QJsonObject text = typed(QStringLiteral("string"));
    return recordSchema(
        { { QStringLiteral("id"), text }, { QStringLiteral("number"), text }, { QStringLiteral("name"), text } });
}

QJsonObject statusSchema()
{
    const QJsonObject text = typed(QStringLiteral("string"));
    const QJsonObject flag = typed(QStringLiteral("boolean"));
    QJsonObject device = recordSchema({ { QStringLiteral("name"), text }, { QStringLiteral("model"), text },
        { QStringLiteral("host"), text }, { QStringLiteral("paired"), flag } });
    device.insert(QStringLiteral("type"), QJsonArray { QStringLiteral("object"), QStringLiteral("null") });
    return recordSchema({
        { QStringLiteral("connection"), text },
        { QStringLiteral("power"), text },
        { QStringLiteral("device"), device },
        { QStringLiteral("volume"), typed(QStringLiteral("integer")) },
        { QStringLiteral("muted"), flag },
        { QStringLiteral("foreground"),
            recordSchema({ { QStringLiteral("id"), text }, { QStringLiteral("title"), text } }) },
        { QStringLiteral("inputs"), arraySchema(externalInputSchema()) },
    });
}

QJsonObject devicesSchema()
{
    const QJsonObject text = typed(QStringLiteral("string"));
    const QJsonObject flag = typed(QStringLiteral("boolean"));
    return arraySchema(recordSchema({ { QStringLiteral("id"), text }, { QStringLiteral("name"), text },
        { QStringLiteral("model"), text }, { QStringLiteral("host"), text }, { QStringLiteral("paired"), flag },
        { QStringLiteral("selected"), flag } }));
}

QJsonObject appsSchema()
{
    const QJsonObject text = typed(QStringLiteral("string"));
    return arraySchema(recordSchema({ { QStringLiteral("id"), text }, { QStringLiteral("title"), text } }));
}

QJsonObject channelResultSchema()
{
    return objectSchema(
        {
            { QStringLiteral("action"), typed(QStringLiteral("string")) },
            { QStringLiteral("channel"), channelSchema() },
            { QStringLiteral("channels"), arraySchema(channelSchema()) },
            { QStringLiteral("total"), typed(QStringLiteral("integer")) },
            { QStringLiteral("truncated"), typed(QStringLiteral("boolean")) },
        },
        { QStringLiteral("action") });
}

} // namespace MCPSchemas
