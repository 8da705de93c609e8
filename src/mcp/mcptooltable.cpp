#include "mcptooltable.h"

#include "mcpschemas.h"
#include "mcptoolhandlers.h"

#include <QJsonArray>

#include <algorithm>

using namespace MCPSchemas;

namespace {

QList<MCPTool> buildTable()
{
    const QString action = QStringLiteral("action");
    const QJsonObject text = typed(QStringLiteral("string"));
    const QJsonObject flag = typed(QStringLiteral("boolean"));
    const MCPTool::Hints reading { .readOnly = true, .idempotent = true };
    const MCPTool::Hints repeatable { .idempotent = true };
    const MCPTool::Hints acting {};
    return {
        {
            .name = QStringLiteral("tv_status"),
            .title = QStringLiteral("TV status"),
            .description = QStringLiteral(
                "Get TV connection, power state, volume, mute, foreground app/input and the list of inputs."),
            .inputSchema = objectSchema(),
            .outputSchema = statusSchema(),
            .hints = reading,
            .handler = MCPToolHandlers::status,
        },
        {
            .name = QStringLiteral("tv_list_devices"),
            .title = QStringLiteral("List saved TVs"),
            .description = QStringLiteral("List TVs saved in Corvane Remote and which one is selected."),
            .inputSchema = objectSchema(),
            .outputSchema = recordSchema({ { QStringLiteral("devices"), devicesSchema() } }),
            .hints = reading,
            .handler = MCPToolHandlers::listDevices,
        },
        {
            .name = QStringLiteral("tv_select_device"),
            .title = QStringLiteral("Select TV"),
            .description = QStringLiteral("Select a saved, paired TV and connect to it."),
            .inputSchema
            = objectSchema({ { QStringLiteral("device"),
                               stringProperty(QStringLiteral("Device id, name or IP address from tv_list_devices")) } },
                { QStringLiteral("device") }),
            .hints = repeatable,
            .handler = MCPToolHandlers::selectDevice,
        },
        {
            .name = QStringLiteral("tv_list_apps"),
            .title = QStringLiteral("List apps"),
            .description = QStringLiteral("List installed TV apps (id and title)."),
            .inputSchema = objectSchema(),
            .outputSchema = recordSchema({ { QStringLiteral("apps"), appsSchema() } }),
            .hints = reading,
            .handler = MCPToolHandlers::listApps,
        },
        {
            .name = QStringLiteral("tv_launch_app"),
            .title = QStringLiteral("Launch app"),
            .description = QStringLiteral("Launch a TV app by id or (partial) title."),
            .inputSchema = objectSchema(
                { { QStringLiteral("app"),
                      stringProperty(QStringLiteral("App id like 'youtube.leanback.v4' or a title like 'YouTube'")) },
                    { QStringLiteral("contentId"),
                        stringProperty(QStringLiteral("Optional: content to open in the app, e.g. a video id")) },
                    { QStringLiteral("params"),
                        QJsonObject { { QStringLiteral("type"), QStringLiteral("object") },
                            { QStringLiteral("description"),
                                QStringLiteral("Optional: launch parameters passed to the app as they are") } } } },
                { QStringLiteral("app") }),
            .hints = repeatable,
            .handler = MCPToolHandlers::launchApp,
        },
        {
            .name = QStringLiteral("tv_list_inputs"),
            .title = QStringLiteral("List inputs"),
            .description = QStringLiteral("List external inputs (HDMI etc.) with connection status."),
            .inputSchema = objectSchema(),
            .outputSchema = recordSchema({ { QStringLiteral("inputs"), arraySchema(externalInputSchema()) } }),
            .hints = reading,
            .handler = MCPToolHandlers::listInputs,
        },
        {
            .name = QStringLiteral("tv_switch_input"),
            .title = QStringLiteral("Switch input"),
            .description = QStringLiteral("Switch to an external input by id (e.g. HDMI_2) or label."),
            .inputSchema = objectSchema({ { QStringLiteral("input"),
                                            stringProperty(QStringLiteral("Input id or label from tv_list_inputs")) } },
                { QStringLiteral("input") }),
            .hints = repeatable,
            .handler = MCPToolHandlers::switchInput,
        },
        {
            .name = QStringLiteral("tv_press_button"),
            .title = QStringLiteral("Press remote button"),
            .description = QStringLiteral("Press a remote-control button. OK/ENTER confirms the focused item."),
            .inputSchema = objectSchema(
                { { QStringLiteral("button"), enumProperty(MCPTools::buttons()) },
                    { QStringLiteral("repeat"), integerProperty(1, 20, QStringLiteral("Times to press, default 1")) } },
                { QStringLiteral("button") }),
            .hints = acting,
            .handler = MCPToolHandlers::pressButton,
        },
        {
            .name = QStringLiteral("tv_volume"),
            .title = QStringLiteral("Change volume"),
            .description
            = QStringLiteral("Change volume: step up/down or set an absolute level (0-100). Returns the new volume."),
            .inputSchema = objectSchema(
                { { action, enumProperty({ QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("set") }) },
                    { QStringLiteral("level"),
                        integerProperty(0, 100, QStringLiteral("Required when action is 'set'")) } },
                { action }),
            .outputSchema = recordSchema({ { QStringLiteral("volume"), typed(QStringLiteral("integer")) } }),
            .hints = acting,
            .handler = MCPToolHandlers::volume,
        },
        {
            .name = QStringLiteral("tv_mute"),
            .title = QStringLiteral("Mute or unmute"),
            .description = QStringLiteral("Mute or unmute the TV."),
            .inputSchema
            = objectSchema({ { QStringLiteral("muted"), booleanProperty() } }, { QStringLiteral("muted") }),
            .outputSchema = recordSchema({ { QStringLiteral("muted"), flag } }),
            .hints = repeatable,
            .handler = MCPToolHandlers::mute,
        },
        {
            .name = QStringLiteral("tv_media"),
            .title = QStringLiteral("Media playback"),
            .description = QStringLiteral("Media playback control for the current app."),
            .inputSchema
            = objectSchema({ { action,
                               enumProperty({ QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("stop"),
                                   QStringLiteral("rewind"), QStringLiteral("fastForward") }) } },
                { action }),
            .hints = acting,
            .handler = MCPToolHandlers::media,
        },
        {
            .name = QStringLiteral("tv_channel"),
            .title = QStringLiteral("Live TV channel"),
            .description = QStringLiteral("Change live TV channel."),
            .inputSchema = objectSchema(
                { { action,
                      describedEnumProperty({ QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("list"),
                                                QStringLiteral("current"), QStringLiteral("set") },
                          QStringLiteral(
                              "Step up/down, list the channels, read the current one, or set one by number")) },
                    { QStringLiteral("number"),
                        stringProperty(QStringLiteral("Channel number as the TV shows it, e.g. '7' or '7-1'; "
                                                      "required when action is 'set'")) } },
                { action }),
            .outputSchema = channelResultSchema(),
            .hints = acting,
            .handler = MCPToolHandlers::channel,
        },
        {
            .name = QStringLiteral("tv_input_text"),
            .title = QStringLiteral("Type text"),
            .description = QStringLiteral("Type text into the focused text field on the TV (e.g. a search box)."),
            .inputSchema
            = objectSchema({ { QStringLiteral("text"), stringProperty() },
                               { QStringLiteral("submit"),
                                   booleanProperty(QStringLiteral("Press Enter after typing, default false")) } },
                { QStringLiteral("text") }),
            .hints = acting,
            .typedTextArgument = QStringLiteral("text"),
            .handler = MCPToolHandlers::inputText,
        },
        {
            .name = QStringLiteral("tv_power"),
            .title = QStringLiteral("Power on or off"),
            .description = QStringLiteral("Turn the TV off, or on via Wake-on-LAN (requires TV network wake setting)."),
            .inputSchema
            = objectSchema({ { action, enumProperty({ QStringLiteral("on"), QStringLiteral("off") }) } }, { action }),
            .hints = { .destructive = true, .idempotent = true },
            .handler = MCPToolHandlers::power,
        },
        {
            .name = QStringLiteral("tv_notify"),
            .title = QStringLiteral("Show notification"),
            .description = QStringLiteral("Show a toast notification on the TV screen."),
            .inputSchema
            = objectSchema({ { QStringLiteral("message"), stringProperty() } }, { QStringLiteral("message") }),
            .hints = acting,
            .handler = MCPToolHandlers::notify,
        },
        {
            .name = QStringLiteral("tv_sound_output"),
            .title = QStringLiteral("Sound output"),
            .description = QStringLiteral("Read or choose where the TV's sound goes: TV speakers, HDMI ARC, optical, "
                                          "Bluetooth soundbar, headphones, … Returns the sound output."),
            .inputSchema = objectSchema(
                { { action, enumProperty({ QStringLiteral("get"), QStringLiteral("set") }) },
                    { QStringLiteral("output"),
                        stringProperty(QStringLiteral("Required when action is 'set': tv_speaker, external_arc, "
                                                      "external_optical, bt_soundbar, headphone, "
                                                      "tv_external_speaker, …")) } },
                { action }),
            .outputSchema = recordSchema({ { QStringLiteral("output"), text } }),
            .hints = repeatable,
            .handler = MCPToolHandlers::soundOutput,
        },
        {
            .name = QStringLiteral("tv_screen"),
            .title = QStringLiteral("Screen off or on"),
            .description
            = QStringLiteral("Turn the TV's screen off while sound keeps playing (e.g. for music), or back on."),
            .inputSchema
            = objectSchema({ { action, enumProperty({ QStringLiteral("off"), QStringLiteral("on") }) } }, { action }),
            .outputSchema = recordSchema(
                { { QStringLiteral("screen"), enumProperty({ QStringLiteral("off"), QStringLiteral("on") }) } }),
            .hints = repeatable,
            .handler = MCPToolHandlers::screen,
        },
        {
            .name = QStringLiteral("tv_open_url"),
            .title = QStringLiteral("Open web page"),
            .description = QStringLiteral("Open a web page in the TV's browser."),
            .inputSchema = objectSchema(
                { { QStringLiteral("url"), stringProperty(QStringLiteral("An http:// or https:// address")) } },
                { QStringLiteral("url") }),
            .outputSchema = recordSchema({ { QStringLiteral("url"), text } }),
            .hints = repeatable,
            .handler = MCPToolHandlers::openURL,
        },
    };
}

} // namespace

QJsonObject MCPTool::definition() const
{
    QJsonObject tool {
        { QStringLiteral("name"), name },
        { QStringLiteral("title"), title },
        { QStringLiteral("description"), description },
        { QStringLiteral("inputSchema"), inputSchema },
        { QStringLiteral("annotations"),
            QJsonObject { { QStringLiteral("title"), title }, { QStringLiteral("readOnlyHint"), hints.readOnly },
                { QStringLiteral("destructiveHint"), hints.destructive },
                { QStringLiteral("idempotentHint"), hints.idempotent }, { QStringLiteral("openWorldHint"), false } } },
    };
    if (!outputSchema.isEmpty())
        tool.insert(QStringLiteral("outputSchema"), outputSchema);
    return tool;
}

const QList<MCPTool> &mcpToolTable()
{
    static const QList<MCPTool> table = buildTable();
    return table;
}

const MCPTool *findMCPTool(const QString &name)
{
    const QList<MCPTool> &table = mcpToolTable();
    const auto hit = std::find_if(table.cbegin(), table.cend(), [&](const MCPTool &tool) { return tool.name == name; });
    return hit == table.cend() ? nullptr : &*hit;
}
