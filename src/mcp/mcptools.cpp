#include "mcptools.h"

#include "mcptoolsupport.h"
#include "mcptooltable.h"
#include "tvsession.h"

#include <QJsonDocument>
#include <QPointer>

#include <algorithm>

namespace {

using MCPToolSupport::containsIgnoringCase;
using MCPToolSupport::equalIgnoringCase;

template <typename T, typename Predicate> std::optional<T> findFirst(const QList<T> &list, Predicate predicate)
{
    const auto hit = std::find_if(list.cbegin(), list.cend(), predicate);
    return hit == list.cend() ? std::nullopt : std::optional<T>(*hit);
}

QJsonArray buildDefinitions()
{
    QJsonArray tools;
    for (const MCPTool &tool : mcpToolTable())
        tools.append(tool.definition());
    return tools;
}

QCoro::Task<MCPTools::Result> run(
    QString name, QJsonObject arguments, QPointer<TVSession> session, MCPTools::Timings timings)
{
    const MCPTool *tool = findMCPTool(name);
    if (!tool)
        throw MCPTools::Failure::unknownTool();
    co_return co_await tool->handler(session, timings, arguments);
}

} // namespace

MCPTools::Failure::Failure(Kind kind, const QString &description)
    : m_kind(kind)
    , m_description(description)
    , m_utf8(description.toUtf8())
{
}

MCPTools::Failure MCPTools::Failure::invalid(const QString &message)
{
    return { Kind::Invalid, message };
}

MCPTools::Failure MCPTools::Failure::unknownTool()
{
    return { Kind::UnknownTool, QStringLiteral("Unknown tool") };
}

MCPTools::MCPTools(TVSession &session)
    : MCPTools(session, Timings {})
{
}

MCPTools::MCPTools(TVSession &session, const Timings &timings)
    : m_session(session)
    , m_timings(timings)
{
}

QJsonObject MCPTools::loggedArguments(const QString &name, const QJsonObject &arguments)
{
    const MCPTool *tool = findMCPTool(name);
    if (!tool || tool->typedTextArgument.isEmpty() || !arguments.contains(tool->typedTextArgument))
        return arguments;
    const QString &key = tool->typedTextArgument;
    const QJsonValue text = arguments.value(key);
    QString typed = text.toString();
    if (!text.isString()) {
        // The handler refuses it, but a number may still be a PIN: its JSON form is counted.
        const QByteArray wrapped = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
        typed = QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
    }
    QJsonObject logged = arguments;
    logged.insert(key, QStringLiteral("<%1 个字符>").arg(MCPToolSupport::characterCount(typed)));
    return logged;
}

std::optional<TVDevice> MCPTools::matchDevice(const QList<TVDevice> &devices, const QString &query)
{
    if (auto hit = findFirst(devices, [&](const TVDevice &d) { return d.id == query || d.host == query; }))
        return hit;
    return findFirst(devices, [&](const TVDevice &d) { return containsIgnoringCase(d.displayName(), query); });
}

std::optional<TVApp> MCPTools::matchApp(const QList<TVApp> &apps, const QString &query)
{
    if (auto hit = findFirst(apps, [&](const TVApp &a) { return a.id == query; }))
        return hit;
    if (auto hit = findFirst(apps, [&](const TVApp &a) { return equalIgnoringCase(a.title, query); }))
        return hit;
    return findFirst(apps,
        [&](const TVApp &a) { return containsIgnoringCase(a.title, query) || containsIgnoringCase(a.id, query); });
}

std::optional<ExternalInput> MCPTools::matchInput(const QList<ExternalInput> &inputs, const QString &query)
{
    if (auto hit = findFirst(inputs, [&](const ExternalInput &i) { return equalIgnoringCase(i.id, query); }))
        return hit;
    return findFirst(inputs, [&](const ExternalInput &i) { return containsIgnoringCase(i.label, query); });
}

const QJsonArray &MCPTools::definitions()
{
    static const QJsonArray list = buildDefinitions();
    return list;
}

const QStringList &MCPTools::buttons()
{
    static const QStringList names {
        QStringLiteral("UP"),
        QStringLiteral("DOWN"),
        QStringLiteral("LEFT"),
        QStringLiteral("RIGHT"),
        QStringLiteral("OK"),
        QStringLiteral("ENTER"),
        QStringLiteral("BACK"),
        QStringLiteral("HOME"),
        QStringLiteral("MENU"),
        QStringLiteral("EXIT"),
        QStringLiteral("INFO"),
        QStringLiteral("RED"),
        QStringLiteral("GREEN"),
        QStringLiteral("YELLOW"),
        QStringLiteral("BLUE"),
        QStringLiteral("PLAY"),
        QStringLiteral("PAUSE"),
        QStringLiteral("STOP"),
        QStringLiteral("REWIND"),
        QStringLiteral("FASTFORWARD"),
        QStringLiteral("VOLUMEUP"),
        QStringLiteral("VOLUMEDOWN"),
        QStringLiteral("MUTE"),
        QStringLiteral("CHANNELUP"),
        QStringLiteral("CHANNELDOWN"),
        QStringLiteral("0"),
        QStringLiteral("1"),
        QStringLiteral("2"),
        QStringLiteral("3"),
        QStringLiteral("4"),
        QStringLiteral("5"),
        QStringLiteral("6"),
        QStringLiteral("7"),
        QStringLiteral("8"),
        QStringLiteral("9"),
    };
    return names;
}

QCoro::Task<MCPTools::Result> MCPTools::call(const QString &name, const QJsonObject &arguments)
{
    // Not a coroutine itself: the handler gets its own copies of the arguments and holds the
    // session weakly, so it outlives neither the caller's values nor the session.
    return run(name, arguments, QPointer<TVSession>(&m_session), m_timings);
}

QString MCPTools::jsonText(const QJsonValue &value)
{
    // QJsonObject keeps its keys sorted, so the indented form is key-sorted at every level.
    QByteArray text;
    if (value.isArray())
        text = QJsonDocument(value.toArray()).toJson(QJsonDocument::Indented);
    else if (value.isObject())
        text = QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented);
    else
        return QStringLiteral("{}");
    if (text.endsWith('\n'))
        text.chop(1);
    return QString::fromUtf8(text);
}
