#include "mcptools.h"

#include "buttonrequest.h"
#include "ssaperror.h"
#include "tvsession.h"

#include <QCoro/QCoroTimer>

#include <QDeadlineTimer>
#include <QHash>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using Session = QPointer<TVSession>;
using Failure = MCPTools::Failure;
using Timings = MCPTools::Timings;
using Result = MCPTools::Result;

// ---- definitions

QJsonObject stringProperty(const QString &description = {})
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

QJsonObject booleanProperty(const QString &description = {})
{
    QJsonObject property { { QStringLiteral("type"), QStringLiteral("boolean") } };
    if (!description.isEmpty())
        property.insert(QStringLiteral("description"), description);
    return property;
}

QJsonObject tool(const QString &name, const QString &description, const QJsonObject &properties = {},
    const QStringList &required = {})
{
    return QJsonObject {
        { QStringLiteral("name"), name },
        { QStringLiteral("description"), description },
        { QStringLiteral("inputSchema"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("object") },
                { QStringLiteral("properties"), properties },
                { QStringLiteral("required"), QJsonArray::fromStringList(required) } } },
    };
}

QJsonArray buildDefinitions()
{
    const QString action = QStringLiteral("action");
    return QJsonArray {
        tool(QStringLiteral("tv_status"),
            QStringLiteral(
                "Get TV connection, power state, volume, mute, foreground app/input and the list of inputs.")),
        tool(QStringLiteral("tv_list_devices"),
            QStringLiteral("List TVs saved in Corvane Remote and which one is selected.")),
        tool(QStringLiteral("tv_select_device"), QStringLiteral("Select a saved, paired TV and connect to it."),
            { { QStringLiteral("device"),
                stringProperty(QStringLiteral("Device id, name or IP address from tv_list_devices")) } },
            { QStringLiteral("device") }),
        tool(QStringLiteral("tv_list_apps"), QStringLiteral("List installed TV apps (id and title).")),
        tool(QStringLiteral("tv_launch_app"), QStringLiteral("Launch a TV app by id or (partial) title."),
            { { QStringLiteral("app"),
                  stringProperty(QStringLiteral("App id like 'youtube.leanback.v4' or a title like 'YouTube'")) },
                { QStringLiteral("contentId"),
                    stringProperty(QStringLiteral("Optional: content to open in the app, e.g. a video id")) },
                { QStringLiteral("params"),
                    QJsonObject { { QStringLiteral("type"), QStringLiteral("object") },
                        { QStringLiteral("description"),
                            QStringLiteral("Optional: launch parameters passed to the app as they are") } } } },
            { QStringLiteral("app") }),
        tool(QStringLiteral("tv_list_inputs"),
            QStringLiteral("List external inputs (HDMI etc.) with connection status.")),
        tool(QStringLiteral("tv_switch_input"),
            QStringLiteral("Switch to an external input by id (e.g. HDMI_2) or label."),
            { { QStringLiteral("input"), stringProperty(QStringLiteral("Input id or label from tv_list_inputs")) } },
            { QStringLiteral("input") }),
        tool(QStringLiteral("tv_press_button"),
            QStringLiteral("Press a remote-control button. OK/ENTER confirms the focused item."),
            { { QStringLiteral("button"), enumProperty(MCPTools::buttons()) },
                { QStringLiteral("repeat"), integerProperty(1, 20, QStringLiteral("Times to press, default 1")) } },
            { QStringLiteral("button") }),
        tool(QStringLiteral("tv_volume"),
            QStringLiteral("Change volume: step up/down or set an absolute level (0-100). Returns the new volume."),
            { { action, enumProperty({ QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("set") }) },
                { QStringLiteral("level"), integerProperty(0, 100, QStringLiteral("Required when action is 'set'")) } },
            { action }),
        tool(QStringLiteral("tv_mute"), QStringLiteral("Mute or unmute the TV."),
            { { QStringLiteral("muted"), booleanProperty() } }, { QStringLiteral("muted") }),
        tool(QStringLiteral("tv_media"), QStringLiteral("Media playback control for the current app."),
            { { action,
                enumProperty({ QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("stop"),
                    QStringLiteral("rewind"), QStringLiteral("fastForward") }) } },
            { action }),
        tool(QStringLiteral("tv_channel"), QStringLiteral("Change live TV channel."),
            { { action,
                  describedEnumProperty({ QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("list"),
                                            QStringLiteral("current"), QStringLiteral("set") },
                      QStringLiteral("Step up/down, list the channels, read the current one, or set one by number")) },
                { QStringLiteral("number"),
                    stringProperty(QStringLiteral("Channel number as the TV shows it, e.g. '7' or '7-1'; required "
                                                  "when action is 'set'")) } },
            { action }),
        tool(QStringLiteral("tv_input_text"),
            QStringLiteral("Type text into the focused text field on the TV (e.g. a search box)."),
            { { QStringLiteral("text"), stringProperty() },
                { QStringLiteral("submit"),
                    booleanProperty(QStringLiteral("Press Enter after typing, default false")) } },
            { QStringLiteral("text") }),
        tool(QStringLiteral("tv_power"),
            QStringLiteral("Turn the TV off, or on via Wake-on-LAN (requires TV network wake setting)."),
            { { action, enumProperty({ QStringLiteral("on"), QStringLiteral("off") }) } }, { action }),
        tool(QStringLiteral("tv_notify"), QStringLiteral("Show a toast notification on the TV screen."),
            { { QStringLiteral("message"), stringProperty() } }, { QStringLiteral("message") }),
        tool(QStringLiteral("tv_sound_output"),
            QStringLiteral("Read or choose where the TV's sound goes: TV speakers, HDMI ARC, optical, Bluetooth "
                           "soundbar, headphones, … Returns the sound output."),
            { { action, enumProperty({ QStringLiteral("get"), QStringLiteral("set") }) },
                { QStringLiteral("output"),
                    stringProperty(
                        QStringLiteral("Required when action is 'set': tv_speaker, external_arc, "
                                       "external_optical, bt_soundbar, headphone, tv_external_speaker, …")) } },
            { action }),
        tool(QStringLiteral("tv_screen"),
            QStringLiteral("Turn the TV's screen off while sound keeps playing (e.g. for music), or back on."),
            { { action, enumProperty({ QStringLiteral("off"), QStringLiteral("on") }) } }, { action }),
        tool(QStringLiteral("tv_open_url"), QStringLiteral("Open a web page in the TV's browser."),
            { { QStringLiteral("url"), stringProperty(QStringLiteral("An http:// or https:// address")) } },
            { QStringLiteral("url") }),
    };
}

// ---- titles, hints and output schemas

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

// An object whose members are all required.
QJsonObject recordSchema(const QJsonObject &properties)
{
    return objectSchema(properties, properties.keys());
}

QJsonObject arraySchema(const QJsonObject &items)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("array") }, { QStringLiteral("items"), items } };
}

QJsonObject inputSchema()
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
        { QStringLiteral("inputs"), arraySchema(inputSchema()) },
    });
}

struct Description {
    QString title;
    bool readOnly = false;
    bool destructive = false;
    bool idempotent = false;
    QJsonObject outputSchema; // none when empty
};

QHash<QString, Description> descriptions()
{
    const QJsonObject text = typed(QStringLiteral("string"));
    const QJsonObject flag = typed(QStringLiteral("boolean"));
    const QJsonObject devices = arraySchema(recordSchema({ { QStringLiteral("id"), text },
        { QStringLiteral("name"), text }, { QStringLiteral("model"), text }, { QStringLiteral("host"), text },
        { QStringLiteral("paired"), flag }, { QStringLiteral("selected"), flag } }));
    const QJsonObject apps
        = arraySchema(recordSchema({ { QStringLiteral("id"), text }, { QStringLiteral("title"), text } }));
    const QJsonObject channel = objectSchema(
        {
            { QStringLiteral("action"), text },
            { QStringLiteral("channel"), channelSchema() },
            { QStringLiteral("channels"), arraySchema(channelSchema()) },
            { QStringLiteral("total"), typed(QStringLiteral("integer")) },
            { QStringLiteral("truncated"), flag },
        },
        { QStringLiteral("action") });
    // Reading tools change nothing; "idempotent" marks those whose repeat changes nothing more.
    return {
        { QStringLiteral("tv_status"), { QStringLiteral("TV status"), true, false, true, statusSchema() } },
        { QStringLiteral("tv_list_devices"),
            { QStringLiteral("List saved TVs"), true, false, true,
                recordSchema({ { QStringLiteral("devices"), devices } }) } },
        { QStringLiteral("tv_select_device"), { QStringLiteral("Select TV"), false, false, true, {} } },
        { QStringLiteral("tv_list_apps"),
            { QStringLiteral("List apps"), true, false, true, recordSchema({ { QStringLiteral("apps"), apps } }) } },
        { QStringLiteral("tv_launch_app"), { QStringLiteral("Launch app"), false, false, true, {} } },
        { QStringLiteral("tv_list_inputs"),
            { QStringLiteral("List inputs"), true, false, true,
                recordSchema({ { QStringLiteral("inputs"), arraySchema(inputSchema()) } }) } },
        { QStringLiteral("tv_switch_input"), { QStringLiteral("Switch input"), false, false, true, {} } },
        { QStringLiteral("tv_press_button"), { QStringLiteral("Press remote button"), false, false, false, {} } },
        { QStringLiteral("tv_volume"),
            { QStringLiteral("Change volume"), false, false, false,
                recordSchema({ { QStringLiteral("volume"), typed(QStringLiteral("integer")) } }) } },
        { QStringLiteral("tv_mute"),
            { QStringLiteral("Mute or unmute"), false, false, true,
                recordSchema({ { QStringLiteral("muted"), flag } }) } },
        { QStringLiteral("tv_media"), { QStringLiteral("Media playback"), false, false, false, {} } },
        { QStringLiteral("tv_channel"), { QStringLiteral("Live TV channel"), false, false, false, channel } },
        { QStringLiteral("tv_input_text"), { QStringLiteral("Type text"), false, false, false, {} } },
        { QStringLiteral("tv_power"), { QStringLiteral("Power on or off"), false, true, true, {} } },
        { QStringLiteral("tv_notify"), { QStringLiteral("Show notification"), false, false, false, {} } },
        { QStringLiteral("tv_sound_output"),
            { QStringLiteral("Sound output"), false, false, true,
                recordSchema({ { QStringLiteral("output"), text } }) } },
        { QStringLiteral("tv_screen"),
            { QStringLiteral("Screen off or on"), false, false, true,
                recordSchema({ { QStringLiteral("screen"),
                    enumProperty({ QStringLiteral("off"), QStringLiteral("on") }) } }) } },
        { QStringLiteral("tv_open_url"),
            { QStringLiteral("Open web page"), false, false, true,
                recordSchema({ { QStringLiteral("url"), text } }) } },
    };
}

// Every tool with its title and hints (the title also among the hints, where clients of the
// 2025-03-26 revision look for it), and its output schema where it has one.
QJsonArray describedDefinitions()
{
    const QHash<QString, Description> table = descriptions();
    QJsonArray tools;
    for (const QJsonValue &value : buildDefinitions()) {
        QJsonObject tool = value.toObject();
        const Description description = table.value(tool.value(QStringLiteral("name")).toString());
        tool.insert(QStringLiteral("title"), description.title);
        tool.insert(QStringLiteral("annotations"),
            QJsonObject { { QStringLiteral("title"), description.title },
                { QStringLiteral("readOnlyHint"), description.readOnly },
                { QStringLiteral("destructiveHint"), description.destructive },
                { QStringLiteral("idempotentHint"), description.idempotent },
                { QStringLiteral("openWorldHint"), false } });
        if (!description.outputSchema.isEmpty())
            tool.insert(QStringLiteral("outputSchema"), description.outputSchema);
        tools.append(tool);
    }
    return tools;
}

// ---- argument readers

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

// ---- helpers

// The session, or the not-connected error once it is gone (only while the process ends).
TVSession &live(const Session &session)
{
    if (!session)
        throw SSAPError::notConnected();
    return *session;
}

bool containsIgnoringCase(const QString &text, const QString &query)
{
    return text.toCaseFolded().contains(query.toCaseFolded());
}

bool equalIgnoringCase(const QString &a, const QString &b)
{
    return a.toCaseFolded() == b.toCaseFolded();
}

bool regionalIndicatorAt(const QString &text, qsizetype pos)
{
    if (pos + 1 >= text.size() || !text.at(pos).isHighSurrogate() || !text.at(pos + 1).isLowSurrogate())
        return false;
    const char32_t c = QChar::surrogateToUcs4(text.at(pos), text.at(pos + 1));
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// User-perceived characters. Qt 6.4 pairs flag halves (regional indicators) wrongly after an
// emoji ("👍🇨🇳" gives 3), so inside every run of them the breaks are set anew: one per pair.
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

std::optional<TVDevice> selectedDevice(const TVSession &session)
{
    const DeviceStore &store = *session.store();
    if (!store.selectedID())
        return std::nullopt;
    return store.device(*store.selectedID());
}

QJsonObject inputObject(const ExternalInput &input, const QString &foregroundAppId)
{
    return QJsonObject { { QStringLiteral("id"), input.id }, { QStringLiteral("label"), input.label },
        { QStringLiteral("connected"), input.connected },
        { QStringLiteral("active"), input.appId == foregroundAppId } };
}

QJsonArray inputArray(const TVSession &session)
{
    QJsonArray inputs;
    for (const ExternalInput &input : session.inputs())
        inputs.append(inputObject(input, session.foregroundAppId()));
    return inputs;
}

// ---- handlers

QCoro::Task<void> connectFirst(Session session, Timings timings)
{
    co_await live(session).ensureConnected(timings.connectTimeout);
    live(session);
}

// The session's request. Callers build uri and payload before co_await: g++ 12 rejects string
// literal macros inside a co_await expression.
QCoro::Task<QJsonObject> send(Session session, QString uri, QJsonObject payload = {})
{
    QJsonObject reply = co_await live(session).request(uri, payload);
    live(session);
    co_return reply;
}

QCoro::Task<Result> status(Session session, Timings timings)
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

    QString title = s.foregroundAppId();
    const auto input = std::find_if(
        s.inputs().cbegin(), s.inputs().cend(), [&](const ExternalInput &i) { return i.appId == s.foregroundAppId(); });
    if (input != s.inputs().cend()) {
        title = input->label;
    } else {
        const auto app = std::find_if(
            s.apps().cbegin(), s.apps().cend(), [&](const TVApp &a) { return a.id == s.foregroundAppId(); });
        if (app != s.apps().cend())
            title = app->title;
    }

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
            QJsonObject { { QStringLiteral("id"), s.foregroundAppId() }, { QStringLiteral("title"), title } } },
        { QStringLiteral("inputs"), inputArray(s) },
    };
    co_return Result(MCPTools::jsonText(result), result);
}

// A listing: the array as text, and under its member as structured content.
Result listing(const QString &member, const QJsonArray &list)
{
    return Result(MCPTools::jsonText(list), QJsonObject { { member, list } });
}

Result listDevices(const TVSession &session)
{
    const DeviceStore &store = *session.store();
    QJsonArray devices;
    for (const TVDevice &device : store.devices()) {
        devices.append(QJsonObject { { QStringLiteral("id"), device.id },
            { QStringLiteral("name"), device.displayName() }, { QStringLiteral("model"), device.model },
            { QStringLiteral("host"), device.host }, { QStringLiteral("paired"), device.clientKey.has_value() },
            { QStringLiteral("selected"), store.selectedID() == device.id } });
    }
    return listing(QStringLiteral("devices"), devices);
}

QCoro::Task<QString> selectDevice(Session session, Timings timings, QJsonObject arguments)
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

QCoro::Task<Result> listApps(Session session, Timings timings)
{
    co_await connectFirst(session, timings);
    co_await live(session).refreshApps();
    QJsonArray apps;
    for (const TVApp &app : live(session).apps())
        apps.append(QJsonObject { { QStringLiteral("id"), app.id }, { QStringLiteral("title"), app.title } });
    co_return listing(QStringLiteral("apps"), apps);
}

QCoro::Task<QString> launchApp(Session session, Timings timings, QJsonObject arguments)
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
    const QString contentId = content.toString();
    co_await live(session).launchInto(app, contentId, params.toObject());
    live(session);
    QString result = QStringLiteral("Launched ") + app.title + QStringLiteral(" (") + app.id + QLatin1Char(')');
    if (!contentId.isEmpty())
        result += QStringLiteral(" with content ") + contentId;
    co_return result;
}

QCoro::Task<Result> listInputs(Session session, Timings timings)
{
    co_await connectFirst(session, timings);
    co_await live(session).refreshInputs();
    co_return listing(QStringLiteral("inputs"), inputArray(live(session)));
}

QCoro::Task<QString> switchInput(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    if (live(session).inputs().isEmpty())
        co_await live(session).refreshInputs();
    const QString query = requireString(arguments, QStringLiteral("input"));
    const std::optional<ExternalInput> match = MCPTools::matchInput(live(session).inputs(), query);
    if (!match)
        throw Failure::invalid(QStringLiteral("No input matches '") + query + QStringLiteral("'. Use tv_list_inputs."));
    const ExternalInput input = *match;
    const QString uri = QStringLiteral("tv/switchInput");
    const QJsonObject payload { { QStringLiteral("inputId"), input.id } };
    co_await send(session, uri, payload);
    co_return QStringLiteral("Switched to ") + input.label + QStringLiteral(" (") + input.id + QLatin1Char(')');
}

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

QCoro::Task<QString> pressButton(Session session, Timings timings, QJsonObject arguments)
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
    QString uri;
    QJsonObject payload;
    if (action == QLatin1String("up")) {
        uri = QStringLiteral("audio/volumeUp");
    } else if (action == QLatin1String("down")) {
        uri = QStringLiteral("audio/volumeDown");
    } else if (action == QLatin1String("set")) {
        const std::optional<qint64> level = optionalInteger(arguments, QStringLiteral("level"));
        if (!level || *level < 0 || *level > 100)
            throw Failure::invalid(QStringLiteral("'level' must be 0-100"));
        uri = QStringLiteral("audio/setVolume");
        payload.insert(QStringLiteral("volume"), int(*level));
    } else {
        throw Failure::invalid(QStringLiteral("action must be up, down or set"));
    }
    const QJsonObject reply = co_await send(session, uri, payload);
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
    const QString uri = QStringLiteral("audio/setMute");
    const QJsonObject payload { { QStringLiteral("mute"), *muted } };
    co_await send(session, uri, payload);
    co_return Result(
        *muted ? QStringLiteral("Muted") : QStringLiteral("Unmuted"), { { QStringLiteral("muted"), *muted } });
}

QCoro::Task<QString> media(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    static const QStringList actions { QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("stop"),
        QStringLiteral("rewind"), QStringLiteral("fastForward") };
    if (!actions.contains(action))
        throw Failure::invalid(QStringLiteral("Unsupported action"));
    const QString uri = QStringLiteral("media.controls/") + action;
    co_await send(session, uri);
    co_return QStringLiteral("Media ") + action;
}

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

QCoro::Task<Result> channel(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString action = requireString(arguments, QStringLiteral("action"));
    QJsonObject data { { QStringLiteral("action"), action } };
    QString uri;
    if (action == QLatin1String("up")) {
        uri = QStringLiteral("tv/channelUp");
    } else if (action == QLatin1String("down")) {
        uri = QStringLiteral("tv/channelDown");
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
    co_await send(session, uri);
    co_return Result(QStringLiteral("Channel ") + action, data);
}

QCoro::Task<QString> inputText(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString text = requireString(arguments, QStringLiteral("text"));
    const QString insertURI = QStringLiteral("com.webos.service.ime/insertText");
    const QJsonObject payload { { QStringLiteral("text"), text }, { QStringLiteral("replace"), false } };
    co_await send(session, insertURI, payload);
    if (optionalBoolean(arguments, QStringLiteral("submit")).value_or(false)) {
        const QString enterURI = QStringLiteral("com.webos.service.ime/sendEnterKey");
        co_await send(session, enterURI);
    }
    QString result = QStringLiteral("Typed ") + QString::number(characterCount(text)) + QStringLiteral(" characters");
    if (!live(session).keyboardFocused())
        result += QStringLiteral(" (warning: no focused text field reported)");
    co_return result;
}

QCoro::Task<QString> power(Session session, Timings timings, QJsonObject arguments)
{
    const QString action = requireString(arguments, QStringLiteral("action"));
    if (action == QLatin1String("off")) {
        co_await connectFirst(session, timings);
        const QString uri = QStringLiteral("system/turnOff");
        co_await send(session, uri);
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

QCoro::Task<QString> notify(Session session, Timings timings, QJsonObject arguments)
{
    co_await connectFirst(session, timings);
    const QString message = requireString(arguments, QStringLiteral("message"));
    const QString uri = QStringLiteral("system.notifications/createToast");
    const QJsonObject payload { { QStringLiteral("message"), message } };
    co_await send(session, uri, payload);
    co_return QStringLiteral("Notification shown");
}

QCoro::Task<Result> run(QString name, QJsonObject arguments, Session session, Timings timings)
{
    if (name == QLatin1String("tv_status"))
        co_return co_await status(session, timings);
    if (name == QLatin1String("tv_list_devices"))
        co_return listDevices(live(session));
    if (name == QLatin1String("tv_select_device"))
        co_return co_await selectDevice(session, timings, arguments);
    if (name == QLatin1String("tv_list_apps"))
        co_return co_await listApps(session, timings);
    if (name == QLatin1String("tv_launch_app"))
        co_return co_await launchApp(session, timings, arguments);
    if (name == QLatin1String("tv_list_inputs"))
        co_return co_await listInputs(session, timings);
    if (name == QLatin1String("tv_switch_input"))
        co_return co_await switchInput(session, timings, arguments);
    if (name == QLatin1String("tv_press_button"))
        co_return co_await pressButton(session, timings, arguments);
    if (name == QLatin1String("tv_volume"))
        co_return co_await volume(session, timings, arguments);
    if (name == QLatin1String("tv_mute"))
        co_return co_await mute(session, timings, arguments);
    if (name == QLatin1String("tv_media"))
        co_return co_await media(session, timings, arguments);
    if (name == QLatin1String("tv_channel"))
        co_return co_await channel(session, timings, arguments);
    if (name == QLatin1String("tv_input_text"))
        co_return co_await inputText(session, timings, arguments);
    if (name == QLatin1String("tv_power"))
        co_return co_await power(session, timings, arguments);
    if (name == QLatin1String("tv_notify"))
        co_return co_await notify(session, timings, arguments);
    if (name == QLatin1String("tv_sound_output"))
        co_return co_await soundOutput(session, timings, arguments);
    if (name == QLatin1String("tv_screen"))
        co_return co_await screen(session, timings, arguments);
    if (name == QLatin1String("tv_open_url"))
        co_return co_await openURL(session, timings, arguments);
    throw Failure::unknownTool();
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
    : m_session(session)
{
}

namespace {

template <typename T, typename Predicate> std::optional<T> findFirst(const QList<T> &list, Predicate predicate)
{
    const auto hit = std::find_if(list.cbegin(), list.cend(), predicate);
    return hit == list.cend() ? std::nullopt : std::optional<T>(*hit);
}

} // namespace

QJsonObject MCPTools::loggedArguments(const QString &name, const QJsonObject &arguments)
{
    const QString key = QStringLiteral("text");
    if (name != QLatin1String("tv_input_text") || !arguments.contains(key))
        return arguments;
    const QJsonValue text = arguments.value(key);
    QString typed = text.toString();
    if (!text.isString()) {
        // The handler refuses it, but a number may still be a PIN: its JSON form is counted.
        const QByteArray wrapped = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
        typed = QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
    }
    QJsonObject logged = arguments;
    logged.insert(key, QStringLiteral("<%1 个字符>").arg(characterCount(typed)));
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
    static const QJsonArray list = describedDefinitions();
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
    return run(name, arguments, Session(&m_session), m_timings);
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
