#include "mcpdispatch.h"

#include "applog.h"
#include "mcptools.h"
#include "platform.h"
#include "ssaperror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringList>

namespace {

const QString defaultProtocolVersion = QStringLiteral("2025-11-25");

// Newest first. Clients of every revision here get the same tools; older ones ignore the members
// they do not know.
const QStringList &supportedProtocolVersions()
{
    static const QStringList versions { QStringLiteral("2025-11-25"), QStringLiteral("2025-06-18"),
        QStringLiteral("2025-03-26"), QStringLiteral("2024-11-05") };
    return versions;
}

QJsonObject initializeResult(const QJsonObject &params)
{
    const QJsonValue requested = params.value(QStringLiteral("protocolVersion"));
    QString version = defaultProtocolVersion;
    if (requested.isString() && supportedProtocolVersions().contains(requested.toString()))
        version = requested.toString();
    return QJsonObject {
        { QStringLiteral("protocolVersion"), version },
        { QStringLiteral("capabilities"),
            QJsonObject { { QStringLiteral("tools"), QJsonObject { { QStringLiteral("listChanged"), false } } } } },
        { QStringLiteral("serverInfo"),
            QJsonObject { { QStringLiteral("name"), QStringLiteral("corvane-remote") },
                { QStringLiteral("title"), QStringLiteral("Corvane Remote (LG webOS TV)") },
                { QStringLiteral("version"), QStringLiteral("1.0") } } },
        { QStringLiteral("instructions"),
            QStringLiteral("Control the LG webOS TV paired in the Corvane Remote ") + Platform::appKindWord()
                + QStringLiteral(". Call tv_status first to see the current state, inputs and apps. Use "
                                 "tv_sound_output to choose where sound goes, tv_screen to turn the picture off "
                                 "while sound plays, tv_channel to list and set live channels, and tv_open_url to "
                                 "open a web page.") },
    };
}

QJsonObject resultEnvelope(const QJsonValue &id, const QJsonObject &result)
{
    return QJsonObject { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") }, { QStringLiteral("id"), id },
        { QStringLiteral("result"), result } };
}

QJsonObject textResult(const QString &text, bool isError)
{
    return QJsonObject {
        { QStringLiteral("content"),
            QJsonArray { QJsonObject {
                { QStringLiteral("type"), QStringLiteral("text") }, { QStringLiteral("text"), text } } } },
        { QStringLiteral("isError"), isError },
    };
}

QJsonObject toolResult(const MCPTools::Result &result)
{
    QJsonObject object = textResult(result.text, false);
    if (result.structured)
        object.insert(QStringLiteral("structuredContent"), *result.structured);
    return object;
}

// Whether any message of the body starts a session: the version header of its client comes after.
bool initializes(const QJsonDocument &document)
{
    const QJsonArray messages = document.isArray() ? document.array() : QJsonArray { document.object() };
    for (const QJsonValue &message : messages) {
        if (message.toObject().value(QStringLiteral("method")).toString() == QLatin1String("initialize"))
            return true;
    }
    return false;
}

QByteArray compact(const QJsonValue &value)
{
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QCoro::Task<QJsonObject> callTool(QJsonValue id, QString name, QJsonObject arguments, MCPTools &tools)
{
    appLog(QStringLiteral("MCP 调用 ") + name + QLatin1Char(' ')
        + QString::fromUtf8(QJsonDocument(MCPTools::loggedArguments(name, arguments)).toJson(QJsonDocument::Compact)));
    try {
        const MCPTools::Result result = co_await tools.call(name, arguments);
        co_return resultEnvelope(id, toolResult(result));
    } catch (const MCPTools::Failure &failure) {
        if (failure.kind() == MCPTools::Failure::Kind::UnknownTool)
            co_return errorEnvelope(id, -32602, QStringLiteral("Unknown tool: ") + name);
        co_return resultEnvelope(id, textResult(failure.description(), true));
    } catch (const SSAPError &error) {
        co_return resultEnvelope(id, textResult(error.description(), true));
    } catch (const std::exception &error) {
        co_return resultEnvelope(id, textResult(QString::fromUtf8(error.what()), true));
    }
}

} // namespace

QJsonObject errorEnvelope(const QJsonValue &id, int code, const QString &message)
{
    return QJsonObject {
        { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("id"), id.isUndefined() ? QJsonValue(QJsonValue::Null) : id },
        { QStringLiteral("error"),
            QJsonObject { { QStringLiteral("code"), code }, { QStringLiteral("message"), message } } },
    };
}

QCoro::Task<std::optional<QJsonObject>> dispatch(QJsonObject message, MCPTools &tools)
{
    // Without an "id" the message is a notification: nothing is done and nothing answered.
    if (!message.contains(QStringLiteral("id")))
        co_return std::nullopt;
    const QJsonValue id = message.value(QStringLiteral("id"));
    const QJsonValue methodValue = message.value(QStringLiteral("method"));
    if (!methodValue.isString())
        co_return std::nullopt;
    const QString method = methodValue.toString();
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();

    if (method == QLatin1String("initialize"))
        co_return resultEnvelope(id, initializeResult(params));
    if (method == QLatin1String("ping"))
        co_return resultEnvelope(id, QJsonObject {});
    if (method == QLatin1String("tools/list"))
        co_return resultEnvelope(id, QJsonObject { { QStringLiteral("tools"), MCPTools::definitions() } });
    if (method == QLatin1String("tools/call")) {
        const QJsonValue name = params.value(QStringLiteral("name"));
        if (!name.isString())
            co_return errorEnvelope(id, -32602, QStringLiteral("Missing tool name"));
        const QJsonObject arguments = params.value(QStringLiteral("arguments")).toObject();
        co_return co_await callTool(id, name.toString(), arguments, tools);
    }
    co_return errorEnvelope(id, -32601, QStringLiteral("Method not found: ") + method);
}

QCoro::Task<DispatchReply> handleBody(QByteArray body, MCPTools &tools, std::optional<QString> protocolVersion)
{
    static const QString ok = QStringLiteral("200 OK");
    static const QString accepted = QStringLiteral("202 Accepted");
    static const QString badRequest = QStringLiteral("400 Bad Request");

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || (!document.isObject() && !document.isArray()))
        co_return DispatchReply { badRequest,
            compact(errorEnvelope(QJsonValue::Null, -32700, QStringLiteral("Parse error"))) };
    if (protocolVersion && !supportedProtocolVersions().contains(*protocolVersion) && !initializes(document))
        co_return DispatchReply { badRequest,
            compact(errorEnvelope(QJsonValue::Null, -32600,
                QStringLiteral("Unsupported protocol version: ") + *protocolVersion + QStringLiteral(" (supported: ")
                    + supportedProtocolVersions().join(QStringLiteral(", ")) + QLatin1Char(')'))) };

    if (document.isObject()) {
        const std::optional<QJsonObject> response = co_await dispatch(document.object(), tools);
        if (!response)
            co_return DispatchReply { accepted, {} };
        co_return DispatchReply { ok, compact(*response) };
    }

    const QJsonArray batch = document.array();
    for (const QJsonValue &element : batch) {
        if (!element.isObject())
            co_return DispatchReply { badRequest,
                compact(errorEnvelope(QJsonValue::Null, -32600, QStringLiteral("Invalid Request"))) };
    }
    // One after the other: each message is answered before the next one starts.
    QJsonArray responses;
    for (const QJsonValue &element : batch) {
        const std::optional<QJsonObject> response = co_await dispatch(element.toObject(), tools);
        if (response)
            responses.append(*response);
    }
    if (responses.isEmpty())
        co_return DispatchReply { accepted, {} };
    co_return DispatchReply { ok, compact(responses) };
}
