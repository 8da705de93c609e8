// The handlers of the remote control: buttons, volume, sound, playback, typed text.
#include "mcptoolhandlers.h"

#include "buttonrequest.h"
#include "mcptoolsupport.h"
#include "tvsession.h"

#include <QCoro/QCoroTimer>

#include <algorithm>

namespace MCPToolHandlers {

using namespace MCPToolSupport;
using Failure = MCPTools::Failure;

namespace {

// A button the TV would not take, and what the agent can still do.
QString refusedText(const QString &name, const QString &reason)
{
    QStringList buttons = ButtonRequest::buttons();
    const QString last = buttons.takeLast();
    return QStringLiteral("The TV refused remote-control input (") + reason + QStringLiteral("), so ") + name
        + QStringLiteral(" was not pressed. Still available: the buttons ") + buttons.join(QStringLiteral(", "))
        + QStringLiteral(" and ") + last
        + QStringLiteral(", and the tools for apps, inputs, volume, mute, media, channels and text.");
}

QCoro::Task<void> typeIntoTextField(Session session, QString text, bool submit)
{
    co_await send(session, TVCommands::insertText(text));
    if (submit)
        co_await send(session, TVCommands::sendEnterKey());
}

} // namespace

QCoro::Task<Result> pressButton(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString name = requireString(arguments, QStringLiteral("button")).toUpper();
    if (!MCPTools::buttons().contains(name))
        throw Failure::invalid(QStringLiteral("Unsupported button '") + name + QLatin1Char('\''));
    const std::optional<qint64> repeat = optionalInteger(arguments, QStringLiteral("repeat"));
    const int count = int(std::clamp<qint64>(repeat.value_or(1), 1, 20));
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            co_await QCoro::sleepFor(timings.pressSpacing);
        // Answered only once each press reached the TV: its frame went out, or its request was
        // answered.
        TVSession::InputOutcome outcome;
        if (name == QLatin1String("OK"))
            outcome = co_await live(session).clickAsync();
        else
            outcome = co_await live(session).pressAsync(name);
        if (outcome.refused)
            throw Failure::invalid(refusedText(name, outcome.error->description()));
        if (outcome.error)
            throw *outcome.error;
    }
    QString result = QStringLiteral("Pressed ") + name;
    if (repeat && *repeat >= 2)
        result += QStringLiteral(" ×") + QString::number(count);
    co_return result;
}

QCoro::Task<Result> volume(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    TVRequest request;
    if (action == QLatin1String("up")) {
        request = TVCommands::volumeUp();
    } else if (action == QLatin1String("down")) {
        request = TVCommands::volumeDown();
    } else if (action == QLatin1String("set")) {
        const std::optional<qint64> level = optionalInteger(arguments, QStringLiteral("level"));
        if (!level || *level < 0 || *level > 100)
            throw Failure::invalid(QStringLiteral("'level' must be 0-100"));
        request = TVCommands::setVolume(int(*level));
    } else {
        throw Failure::invalid(QStringLiteral("action must be up, down or set"));
    }
    const QJsonObject reply = co_await send(session, std::move(request));
    const std::optional<qint64> level = optionalInteger(reply, QStringLiteral("volume"));
    const qint64 now = level ? *level : qint64(live(session).volume());
    co_return Result(QStringLiteral("Volume: ") + QString::number(now), { { QStringLiteral("volume"), now } });
}

QCoro::Task<Result> mute(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const std::optional<bool> muted = optionalBoolean(arguments, QStringLiteral("muted"));
    if (!muted)
        throw Failure::invalid(QStringLiteral("'muted' must be boolean"));
    co_await send(session, TVCommands::setMute(*muted));
    co_return Result(
        *muted ? QStringLiteral("Muted") : QStringLiteral("Unmuted"), { { QStringLiteral("muted"), *muted } });
}

QCoro::Task<Result> soundOutput(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    QString output;
    if (action == QLatin1String("get")) {
        output = co_await live(session).readSoundOutput();
    } else if (action == QLatin1String("set")) {
        output = requireString(arguments, QStringLiteral("output"));
        co_await live(session).changeSoundOutput(output);
    } else {
        throw Failure::invalid(QStringLiteral("action must be get or set"));
    }
    live(session);
    co_return Result(QStringLiteral("Sound output: ") + output, { { QStringLiteral("output"), output } });
}

QCoro::Task<Result> media(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    static const QStringList actions { QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("stop"),
        QStringLiteral("rewind"), QStringLiteral("fastForward") };
    if (!actions.contains(action))
        throw Failure::invalid(QStringLiteral("Unsupported action"));
    co_await send(session, TVCommands::media(action));
    co_return QStringLiteral("Media ") + action;
}

QCoro::Task<Result> inputText(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString text = requireString(arguments, QStringLiteral("text"));
    co_await typeIntoTextField(session, text, optionalBoolean(arguments, QStringLiteral("submit")).value_or(false));
    QString result = QStringLiteral("Typed ") + QString::number(characterCount(text)) + QStringLiteral(" characters");
    if (!live(session).keyboardFocused())
        result += QStringLiteral(" (warning: no focused text field reported)");
    co_return result;
}

} // namespace MCPToolHandlers
