// The handlers for the TV itself and the saved TVs: status, selection, power, screen.
#include "mcptoolhandlers.h"

#include "mcptoolsupport.h"
#include "tvsession.h"

#include <QCoro/QCoroTimer>

#include <QDeadlineTimer>

namespace MCPToolHandlers {

using namespace MCPToolSupport;
using Failure = MCPTools::Failure;

QCoro::Task<Result> status(Session session, Timings timings, QJsonObject)
{
    const std::optional<TVDevice> selected = selectedDevice(live(session));
    if (selected && selected->clientKey) {
        try {
            co_await live(session).ensureConnected(timings.connectTimeout);
        } catch (const std::exception &) {
            // The status answers anyway; the connection member tells what went wrong.
        }
    }
    const TVSession &s = live(session);
    const std::optional<TVDevice> device = selectedDevice(s);

    QJsonValue deviceValue(QJsonValue::Null);
    if (device) {
        deviceValue = QJsonObject { { QStringLiteral("name"), device->displayName() },
            { QStringLiteral("model"), device->model }, { QStringLiteral("host"), device->host },
            { QStringLiteral("paired"), device->clientKey.has_value() } };
    }
    const QJsonObject result {
        { QStringLiteral("connection"), connectionText(s.state()) },
        { QStringLiteral("power"), s.powerState().isEmpty() ? QStringLiteral("unknown") : s.powerState() },
        { QStringLiteral("device"), deviceValue },
        { QStringLiteral("volume"), s.volume() },
        { QStringLiteral("muted"), s.muted() },
        { QStringLiteral("foreground"),
            QJsonObject {
                { QStringLiteral("id"), s.foregroundAppId() }, { QStringLiteral("title"), s.currentSourceName() } } },
        { QStringLiteral("inputs"), inputArray(s) },
    };
    co_return Result(MCPTools::jsonText(result), result);
}

QCoro::Task<Result> listDevices(Session session, Timings, QJsonObject)
{
    const DeviceStore &store = *live(session).store();
    QJsonArray devices;
    for (const TVDevice &device : store.devices()) {
        devices.append(QJsonObject { { QStringLiteral("id"), device.id },
            { QStringLiteral("name"), device.displayName() }, { QStringLiteral("model"), device.model },
            { QStringLiteral("host"), device.host }, { QStringLiteral("paired"), device.clientKey.has_value() },
            { QStringLiteral("selected"), store.selectedID() == device.id } });
    }
    co_return listing(QStringLiteral("devices"), devices);
}

QCoro::Task<Result> selectDevice(Session session, Timings timings, QJsonObject arguments)
{
    const QString query = requireString(arguments, QStringLiteral("device"));
    TVSession &s = live(session);
    DeviceStore &store = *s.store();
    const std::optional<TVDevice> match = MCPTools::matchDevice(store.devices(), query);
    if (!match)
        throw Failure::invalid(QStringLiteral("No saved TV matches '") + query + QLatin1Char('\''));
    const TVDevice device = *match;

    if (store.selectedID() != device.id)
        s.disconnect();
    store.setSelectedID(device.id);
    co_await connectFirst(session, timings);
    co_return QStringLiteral("Connected to ") + device.displayName() + QStringLiteral(" (") + device.host
        + QLatin1Char(')');
}

QCoro::Task<Result> power(Session session, Timings timings, QJsonObject arguments)
{
    const QString action = requireString(arguments, QStringLiteral("action"));
    if (action == QLatin1String("off")) {
        co_await connectFirst(session, timings);
        co_await send(session, TVCommands::turnOff());
        co_return QStringLiteral("TV turned off (standby)");
    }
    if (action != QLatin1String("on"))
        throw Failure::invalid(QStringLiteral("action must be on or off"));

    bool screenOff = false;
    {
        const TVSession &s = live(session);
        screenOff = s.state().kind() == ConnectionState::Kind::Ready && s.powerState() == QLatin1String("Screen Off");
    }
    if (screenOff) {
        // On, but dark: "on" means the picture too.
        co_await live(session).turnScreen(true);
        live(session);
        co_return QStringLiteral("Screen turned on (the TV was on with its screen off)");
    }
    {
        TVSession &s = live(session);
        if (s.state().kind() == ConnectionState::Kind::Ready && !s.isStandby())
            co_return QStringLiteral("TV is already on");
        const std::optional<TVDevice> device = selectedDevice(s);
        if (!device || !device->mac)
            throw Failure::invalid(QStringLiteral("TV MAC address unknown; cannot Wake-on-LAN"));
        s.wake();
    }
    // Monotonic: a step of the wall clock neither cuts nor stretches the wait.
    const QDeadlineTimer deadline(timings.powerOnDeadline);
    for (;;) {
        if (deadline.hasExpired())
            throw Failure::invalid(QStringLiteral("Wake-on-LAN sent but TV did not come online in %1s")
                                       .arg(qRound(timings.powerOnDeadline.count() / 1000.0)));
        const TVSession &s = live(session);
        if (s.state().kind() == ConnectionState::Kind::Ready && !s.isStandby()
            && s.powerState() == QLatin1String("Active"))
            co_return QStringLiteral("TV is on");
        // The wake loop keeps its failed attempts in waking: an error is its final answer.
        if (s.state().kind() == ConnectionState::Kind::Error)
            throw Failure::invalid(s.state().message());
        co_await QCoro::sleepFor(timings.powerOnPoll);
    }
}

QCoro::Task<Result> screen(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    if (action != QLatin1String("off") && action != QLatin1String("on"))
        throw Failure::invalid(QStringLiteral("action must be off or on"));
    const bool on = action == QLatin1String("on");
    co_await live(session).turnScreen(on);
    live(session);
    co_return Result(on ? QStringLiteral("Screen on") : QStringLiteral("Screen off (sound keeps playing)"),
        { { QStringLiteral("screen"), action } });
}

} // namespace MCPToolHandlers
