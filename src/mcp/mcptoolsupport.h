#pragma once

#include "mcptools.h"
#include "tvcommands.h"

#include <QCoro/QCoroTask>

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QString>

#include <optional>

class ConnectionState;
class TVSession;

// What the tool handlers share: reading arguments, reaching the session, counting characters.
namespace MCPToolSupport {

using Session = QPointer<TVSession>;

// ---- argument readers

// A non-empty string, else "Missing 'key'".
QString requireString(const QJsonObject &arguments, const QString &key);
// An integral number that fits in 64 bits; none for anything else.
std::optional<qint64> optionalInteger(const QJsonObject &arguments, const QString &key);
std::optional<bool> optionalBoolean(const QJsonObject &arguments, const QString &key);

// ---- texts

bool containsIgnoringCase(const QString &text, const QString &query);
bool equalIgnoringCase(const QString &a, const QString &b);
// User-perceived characters, as the results and the log count typed text.
int characterCount(const QString &text);
QString connectionText(const ConnectionState &state);

// ---- the session

// The session, or the not-connected error once it is gone (only while the process ends).
TVSession &live(const Session &session);
std::optional<TVDevice> selectedDevice(const TVSession &session);
// The session's inputs as the tools list them, "active" for the one in the foreground.
QJsonArray inputArray(const TVSession &session);
// A listing: the array as text, and under its member as structured content.
MCPTools::Result listing(const QString &member, const QJsonArray &list);

QCoro::Task<void> connectFirst(Session session, MCPTools::Timings timings);
// The session's request. Callers build the request before co_await: g++ 12 rejects string
// literal macros inside a co_await expression.
QCoro::Task<QJsonObject> send(Session session, TVRequest request);

} // namespace MCPToolSupport
