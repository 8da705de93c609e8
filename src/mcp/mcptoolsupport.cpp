#include "mcptoolsupport.h"

#include "ssaperror.h"
#include "tvsession.h"

#include <QSet>
#include <QTextBoundaryFinder>

#include <cmath>

namespace MCPToolSupport {

using Failure = MCPTools::Failure;

QString requireString(const QJsonObject &arguments, const QString &key)
{
    const QJsonValue value = arguments.value(key);
    if (!value.isString() || value.toString().isEmpty())
        throw Failure::invalid(QStringLiteral("Missing '") + key + QLatin1Char('\''));
    return value.toString();
}

std::optional<qint64> optionalInteger(const QJsonObject &arguments, const QString &key)
{
    const QJsonValue value = arguments.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Integral and representable; 1e300 is no count.
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) >= 9.2e18)
        return std::nullopt;
    return qint64(number);
}

std::optional<bool> optionalBoolean(const QJsonObject &arguments, const QString &key)
{
    const QJsonValue value = arguments.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

bool containsIgnoringCase(const QString &text, const QString &query)
{
    return text.toCaseFolded().contains(query.toCaseFolded());
}

bool equalIgnoringCase(const QString &a, const QString &b)
{
    return a.toCaseFolded() == b.toCaseFolded();
}

namespace {

bool regionalIndicatorAt(const QString &text, qsizetype pos)
{
    if (pos + 1 >= text.size() || !text.at(pos).isHighSurrogate() || !text.at(pos + 1).isLowSurrogate())
        return false;
    const char32_t c = QChar::surrogateToUcs4(text.at(pos), text.at(pos + 1));
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

} // namespace

// Qt 6.4 pairs flag halves (regional indicators) wrongly after an emoji ("👍🇨🇳" gives 3), so
// inside every run of them the breaks are set anew: one per pair.
int characterCount(const QString &text)
{
    QSet<qsizetype> breaks;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype pos = finder.toNextBoundary(); pos != -1; pos = finder.toNextBoundary())
        breaks.insert(pos);
    for (qsizetype pos = 0; pos < text.size();) {
        if (!regionalIndicatorAt(text, pos)) {
            ++pos;
            continue;
        }
        const qsizetype runStart = pos;
        while (regionalIndicatorAt(text, pos))
            pos += 2;
        for (qsizetype inside = runStart + 2; inside < pos; inside += 2) {
            if ((inside - runStart) % 4 == 0)
                breaks.insert(inside);
            else
                breaks.remove(inside);
        }
    }
    return int(breaks.size());
}

QString connectionText(const ConnectionState &state)
{
    switch (state.kind()) {
    case ConnectionState::Kind::Ready:
        return QStringLiteral("ready");
    case ConnectionState::Kind::Connecting:
        return QStringLiteral("connecting");
    case ConnectionState::Kind::Offline:
        return QStringLiteral("offline");
    case ConnectionState::Kind::Waking:
        return QStringLiteral("waking");
    case ConnectionState::Kind::AwaitingApproval:
        return QStringLiteral("awaiting_approval");
    case ConnectionState::Kind::Error:
        return QStringLiteral("error: ") + state.message();
    }
    return QStringLiteral("offline");
}

TVSession &live(const Session &session)
{
    if (!session)
        throw SSAPError::notConnected();
    return *session;
}

std::optional<TVDevice> selectedDevice(const TVSession &session)
{
    const DeviceStore &store = *session.store();
    if (!store.selectedID())
        return std::nullopt;
    return store.device(*store.selectedID());
}

QJsonArray inputArray(const TVSession &session)
{
    QJsonArray inputs;
    for (const ExternalInput &input : session.inputs()) {
        inputs.append(QJsonObject { { QStringLiteral("id"), input.id }, { QStringLiteral("label"), input.label },
            { QStringLiteral("connected"), input.connected },
            { QStringLiteral("active"), input.appId == session.foregroundAppId() } });
    }
    return inputs;
}

MCPTools::Result listing(const QString &member, const QJsonArray &list)
{
    return MCPTools::Result(MCPTools::jsonText(list), QJsonObject { { member, list } });
}

QCoro::Task<void> connectFirst(Session session, MCPTools::Timings timings)
{
    co_await live(session).ensureConnected(timings.connectTimeout);
    live(session);
}

QCoro::Task<QJsonObject> send(Session session, TVRequest request)
{
    QJsonObject reply = co_await live(session).request(std::move(request));
    live(session);
    co_return reply;
}

} // namespace MCPToolSupport
