// The handlers for what the TV shows: apps, inputs, channels, web pages, notifications.
#include "mcptoolhandlers.h"

#include "mcptoolsupport.h"
#include "tvsession.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace MCPToolHandlers {

using namespace MCPToolSupport;
using Failure = MCPTools::Failure;

QCoro::Task<Result> listApps(Session session, Timings timings, QJsonObject)
{
    co_await connectFirst(session, timings);
    co_await live(session).refreshApps();
    QJsonArray apps;
    for (const TVApp &app : live(session).apps())
        apps.append(QJsonObject { { QStringLiteral("id"), app.id }, { QStringLiteral("title"), app.title } });
    co_return listing(QStringLiteral("apps"), apps);
}

QCoro::Task<Result> launchApp(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    if (live(session).apps().isEmpty())
        co_await live(session).refreshApps();
    const QString query = requireString(arguments, QStringLiteral("app"));
    const std::optional<TVApp> match = MCPTools::matchApp(live(session).apps(), query);
    if (!match)
        throw Failure::invalid(QStringLiteral("No app matches '") + query + QStringLiteral("'. Use tv_list_apps."));
    const TVApp app = *match;
    const QJsonValue content = arguments.value(QStringLiteral("contentId"));
    if (!content.isUndefined() && !content.isNull() && !content.isString())
        throw Failure::invalid(QStringLiteral("'contentId' must be a string"));
    const QJsonValue params = arguments.value(QStringLiteral("params"));
    if (!params.isUndefined() && !params.isNull() && !params.isObject())
        throw Failure::invalid(QStringLiteral("'params' must be an object"));
    const QString contentID = content.toString();
    co_await live(session).launchInto(app, contentID, params.toObject());
    live(session);
    QString result = QStringLiteral("Launched ") + app.title + QStringLiteral(" (") + app.id + QLatin1Char(')');
    if (!contentID.isEmpty())
        result += QStringLiteral(" with content ") + contentID;
    co_return result;
}

QCoro::Task<Result> listInputs(Session session, Timings timings, QJsonObject)
{
    co_await connectFirst(session, timings);
    co_await live(session).refreshInputs();
    co_return listing(QStringLiteral("inputs"), inputArray(live(session)));
}

QCoro::Task<Result> switchInput(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    if (live(session).inputs().isEmpty())
        co_await live(session).refreshInputs();
    const QString query = requireString(arguments, QStringLiteral("input"));
    const std::optional<ExternalInput> match = MCPTools::matchInput(live(session).inputs(), query);
    if (!match)
        throw Failure::invalid(QStringLiteral("No input matches '") + query + QStringLiteral("'. Use tv_list_inputs."));
    const ExternalInput input = *match;
    co_await send(session, TVCommands::switchInput(input.id));
    co_return QStringLiteral("Switched to ") + input.label + QStringLiteral(" (") + input.id + QLatin1Char(')');
}

namespace {

// "7 (News 24)", or the number alone when the TV names no channel.
QString channelLabel(const TVChannel &channel)
{
    return channel.name.isEmpty() ? channel.number : channel.number + QStringLiteral(" (") + channel.name + u')';
}

// A channel number as a value to compare: "7" is 7, "7-1" and "7.1" are 7.001; none when it is no number.
std::optional<double> channelValue(const QString &number)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,6})(?:\\s*[-.]\\s*(\\d{1,3}))?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(number);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt() + match.captured(2).toInt() / 1000.0;
}

// The number as the TV shows it, else the same value ("07" is 7); first hit in list order.
std::optional<TVChannel> matchChannel(const QList<TVChannel> &channels, const QString &number)
{
    for (const TVChannel &channel : channels) {
        if (channel.number == number)
            return channel;
    }
    const std::optional<double> value = channelValue(number);
    for (const TVChannel &channel : channels) {
        if (value && channelValue(channel.number) == value)
            return channel;
    }
    return std::nullopt;
}

// What an agent can do next when a number is not in the list: the three closest channels.
QString noChannelText(const QList<TVChannel> &channels, const QString &number)
{
    const QString start = QStringLiteral("No channel ") + number;
    if (channels.isEmpty())
        return start + QStringLiteral(": the TV lists no channels");
    const std::optional<double> value = channelValue(number);
    QList<std::pair<double, TVChannel>> near;
    for (const TVChannel &channel : channels) {
        const std::optional<double> other = channelValue(channel.number);
        if (value && other)
            near.append({ *other, channel });
    }
    if (near.isEmpty())
        return start + QStringLiteral(". Use action 'list' to see the channels.");
    std::stable_sort(near.begin(), near.end(),
        [&](const auto &a, const auto &b) { return std::fabs(a.first - *value) < std::fabs(b.first - *value); });
    near.resize(std::min<qsizetype>(near.size(), 3));
    std::stable_sort(near.begin(), near.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList labels;
    for (const auto &entry : near)
        labels << channelLabel(entry.second);
    return start + QStringLiteral(". Nearest: ") + labels.join(QStringLiteral(", "));
}

constexpr qsizetype listedChannels = 50; // more are counted, not listed

} // namespace

QCoro::Task<Result> channel(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    QJsonObject data { { QStringLiteral("action"), action } };
    TVRequest request;
    if (action == QLatin1String("up")) {
        request = TVCommands::channelUp();
    } else if (action == QLatin1String("down")) {
        request = TVCommands::channelDown();
    } else if (action == QLatin1String("list")) {
        const QList<TVChannel> channels = co_await live(session).readChannels();
        QJsonArray listed;
        for (const TVChannel &channel : channels.first(std::min(channels.size(), listedChannels)))
            listed.append(channel.toJson());
        data.insert(QStringLiteral("channels"), listed);
        data.insert(QStringLiteral("total"), int(channels.size()));
        if (channels.size() > listedChannels)
            data.insert(QStringLiteral("truncated"), true);
        co_return Result(MCPTools::jsonText(data), data);
    } else if (action == QLatin1String("current")) {
        const TVChannel current = co_await live(session).readCurrentChannel();
        data.insert(QStringLiteral("channel"), current.toJson());
        co_return Result(QStringLiteral("Current channel: ") + channelLabel(current), data);
    } else if (action == QLatin1String("set")) {
        const std::optional<qint64> integer = optionalInteger(arguments, QStringLiteral("number"));
        const QString number
            = integer ? QString::number(*integer) : requireString(arguments, QStringLiteral("number")).trimmed();
        const QList<TVChannel> channels = co_await live(session).readChannels();
        const std::optional<TVChannel> match = matchChannel(channels, number);
        if (!match)
            throw Failure::invalid(noChannelText(channels, number));
        co_await live(session).openChannel(*match);
        live(session);
        data.insert(QStringLiteral("channel"), match->toJson());
        co_return Result(QStringLiteral("Switched to channel ") + channelLabel(*match), data);
    } else {
        throw Failure::invalid(QStringLiteral("action must be up or down"));
    }
    co_await send(session, std::move(request));
    co_return Result(QStringLiteral("Channel ") + action, data);
}

QCoro::Task<Result> openURL(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString url = requireString(arguments, QStringLiteral("url"));
    if (!TVSession::isWebAddress(url))
        throw Failure::invalid(QStringLiteral("Refused '") + url
            + QStringLiteral("': only http:// and https:// addresses with a host can be opened"));
    co_await live(session).openURL(url);
    live(session);
    co_return Result(QStringLiteral("Opened ") + url, { { QStringLiteral("url"), url } });
}

QCoro::Task<Result> notify(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString message = requireString(arguments, QStringLiteral("message"));
    co_await send(session, TVCommands::createToast(message));
    co_return QStringLiteral("Notification shown");
}

} // namespace MCPToolHandlers
