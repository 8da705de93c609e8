#pragma once

#include <QCoro/QCoroTask>

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

class MCPTools;

// The status line and body the listener writes back for one POST to /mcp.
struct DispatchReply {
    QString status; // "200 OK", "202 Accepted" or "400 Bad Request"
    QByteArray body; // compact JSON, or empty

    bool operator==(const DispatchReply &other) const = default;
};

// JSON-RPC 2.0 over one HTTP body: a message or a batch, handled one after the other.
// tools must outlive the returned task. protocolVersion is the client's MCP-Protocol-Version
// header: a version not supported is refused, except in a body that initializes.
QCoro::Task<DispatchReply> handleBody(
    QByteArray body, MCPTools &tools, std::optional<QString> protocolVersion = std::nullopt);

// One JSON-RPC message; none for notifications and for requests without a text method.
QCoro::Task<std::optional<QJsonObject>> dispatch(QJsonObject message, MCPTools &tools);

// {"jsonrpc": "2.0", "id": id, "error": {"code": code, "message": message}}
QJsonObject errorEnvelope(const QJsonValue &id, int code, const QString &message);
