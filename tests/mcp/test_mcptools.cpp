// The tool handlers against the TV emulator through a real session: result texts, what reached
// the TV, every failure text, and the matching rules.
#include "mcpserver.h"
#include "rawhttp.h"
#include "testenv.h"
#include "toolrig.h"
#include "tvsimprocess.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

const QString kHost = QStringLiteral("127.0.0.20");
const QString kOtherHost = QStringLiteral("127.0.0.21");
const QString kNobody = QStringLiteral("127.0.0.22"); // no emulator ever listens here
const QStringList kFast { QStringLiteral("--pairing-delay"), QStringLiteral("50") };
constexpr quint16 kPort = 18720;

QJsonObject args(std::initializer_list<QPair<QString, QJsonValue>> members)
{
    return QJsonObject(members);
}

QJsonValue parsed(const QString &text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

} // namespace

class TestMCPTools : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TVSimProcess> m_sim;
    std::unique_ptr<ToolRig> m_rig;
    QString m_id;

    TVSession &session() { return m_rig->session(); }
    ToolRig::Result call(const QString &name, const QJsonObject &arguments = {})
    {
        return m_rig->call(name, arguments);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<TVSimProcess>(TVSimProcess::Options { .address = kHost, .extraArgs = kFast });
        QVERIFY2(m_sim->start(), qPrintable(m_sim->output()));
        m_rig = std::make_unique<ToolRig>();
        m_id = m_rig->addTV(kHost, QStringLiteral("Living Room TV"));
        QVERIFY(m_rig->pair(m_id));
    }

    void init()
    {
        if (!session().isReady())
            QVERIFY(m_rig->pair(m_id));
        m_sim->clearReceived();
    }

    void cleanupTestCase()
    {
        m_rig.reset();
        m_sim.reset();
    }

    void statusReflectsTheTV()
    {
        m_sim->control(QStringLiteral("/set"),
            args({ { "volume", 17 }, { "muted", true }, { "foregroundAppId", "com.webos.app.hdmi2" } }));
        QTRY_COMPARE_WITH_TIMEOUT(session().foregroundAppId(), QStringLiteral("com.webos.app.hdmi2"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(session().volume(), 17, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(session().muted(), 5000);

        const ToolRig::Result result = call(QStringLiteral("tv_status"));
        QVERIFY(!result.isError);
        const QJsonObject status = parsed(result.text).toObject();
        QCOMPARE(status.value(QStringLiteral("connection")).toString(), QStringLiteral("ready"));
        QCOMPARE(status.value(QStringLiteral("power")).toString(), QStringLiteral("Active"));
        QCOMPARE(status.value(QStringLiteral("device")).toObject(),
            args({ { "name", "Living Room TV" }, { "model", m_rig->store().device(m_id)->model }, { "host", kHost },
                { "paired", true } }));
        QCOMPARE(status.value(QStringLiteral("volume")).toInt(), 17);
        QCOMPARE(status.value(QStringLiteral("muted")).toBool(), true);
        // An input's label names the foreground when its appId matches.
        QCOMPARE(status.value(QStringLiteral("foreground")).toObject(),
            args({ { "id", "com.webos.app.hdmi2" }, { "title", "HDMI 2" } }));
        const QJsonArray inputs = status.value(QStringLiteral("inputs")).toArray();
        QCOMPARE(inputs.size(), 4);
        QCOMPARE(inputs.at(0).toObject(),
            args({ { "id", "HDMI_1" }, { "label", "HDMI 1" }, { "connected", true }, { "active", false } }));
        QCOMPARE(inputs.at(1).toObject(),
            args({ { "id", "HDMI_2" }, { "label", "HDMI 2" }, { "connected", true }, { "active", true } }));
        QCOMPARE(inputs.at(3).toObject(),
            args({ { "id", "HDMI_4" }, { "label", "HDMI 4" }, { "connected", false }, { "active", false } }));
        QCOMPARE(status.size(), 7);

        // Else an app's title, else the id itself.
        m_sim->control(QStringLiteral("/set"), args({ { "foregroundAppId", "youtube.leanback.v4" } }));
        QTRY_COMPARE_WITH_TIMEOUT(session().foregroundAppId(), QStringLiteral("youtube.leanback.v4"), 5000);
        QCOMPARE(parsed(call(QStringLiteral("tv_status")).text)[QStringLiteral("foreground")][QStringLiteral("title")]
                     .toString(),
            QStringLiteral("YouTube"));
        m_sim->control(QStringLiteral("/set"), args({ { "foregroundAppId", "com.example.hidden" } }));
        QTRY_COMPARE_WITH_TIMEOUT(session().foregroundAppId(), QStringLiteral("com.example.hidden"), 5000);
        QCOMPARE(parsed(call(QStringLiteral("tv_status")).text)[QStringLiteral("foreground")][QStringLiteral("title")]
                     .toString(),
            QStringLiteral("com.example.hidden"));
        m_sim->control(QStringLiteral("/set"), args({ { "muted", false } }));
    }

    void listings()
    {
        const ToolRig::Result devices = call(QStringLiteral("tv_list_devices"));
        QVERIFY(!devices.isError);
        QCOMPARE(parsed(devices.text).toArray(),
            QJsonArray {
                args({ { "id", m_id }, { "name", "Living Room TV" }, { "model", m_rig->store().device(m_id)->model },
                    { "host", kHost }, { "paired", true }, { "selected", true } }) });

        const ToolRig::Result apps = call(QStringLiteral("tv_list_apps"));
        QVERIFY(!apps.isError);
        const QJsonArray appList = parsed(apps.text).toArray();
        QCOMPARE(appList.size(), 20);
        QCOMPARE(appList.at(0).toObject(), args({ { "id", "com.webos.app.livetv" }, { "title", "Live TV" } }));
        QCOMPARE(appList.at(1).toObject(), args({ { "id", "youtube.leanback.v4" }, { "title", "YouTube" } }));
        QVERIFY(apps.text.indexOf(QStringLiteral("\"id\"")) < apps.text.indexOf(QStringLiteral("\"title\"")));
        // The list is always read afresh.
        QCOMPARE(
            ssapRequests(m_sim->received(), QStringLiteral("com.webos.applicationManager/listLaunchPoints")).size(), 1);

        const ToolRig::Result inputs = call(QStringLiteral("tv_list_inputs"));
        QVERIFY(!inputs.isError);
        QCOMPARE(parsed(inputs.text).toArray().size(), 4);
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("tv/getExternalInputList")).size(), 1);
        // Indented, keys sorted.
        QVERIFY(inputs.text.contains(QLatin1Char('\n')));
        const QString first = inputs.text.section(QLatin1Char('}'), 0, 0);
        QVERIFY(first.indexOf(QStringLiteral("\"active\"")) < first.indexOf(QStringLiteral("\"connected\"")));
        QVERIFY(first.indexOf(QStringLiteral("\"connected\"")) < first.indexOf(QStringLiteral("\"id\"")));
        QVERIFY(first.indexOf(QStringLiteral("\"id\"")) < first.indexOf(QStringLiteral("\"label\"")));
    }

    void launchAndSwitch()
    {
        QCOMPARE(call(QStringLiteral("tv_launch_app"), args({ { "app", "youtube" } })),
            success(QStringLiteral("Launched YouTube (youtube.leanback.v4)")));
        QCOMPARE(call(QStringLiteral("tv_launch_app"), args({ { "app", "netflix" } })),
            success(QStringLiteral("Launched Netflix (netflix)")));
        // No title equals "video": the first app whose title contains it.
        QCOMPARE(call(QStringLiteral("tv_launch_app"), args({ { "app", "VIDEO" } })),
            success(QStringLiteral("Launched Prime Video (amazon)")));
        const QList<QJsonObject> launches = ssapRequests(m_sim->received(), QStringLiteral("system.launcher/launch"));
        QCOMPARE(launches.size(), 3);
        QCOMPARE(launches.at(0).value(QStringLiteral("payload")).toObject(), args({ { "id", "youtube.leanback.v4" } }));
        QCOMPARE(launches.at(2).value(QStringLiteral("payload")).toObject(), args({ { "id", "amazon" } }));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_sim->state().value(QStringLiteral("foregroundAppId")).toString(), QStringLiteral("amazon"), 5000);

        QCOMPARE(call(QStringLiteral("tv_launch_app"), args({ { "app", "kodi" } })),
            failure(QStringLiteral("No app matches 'kodi'. Use tv_list_apps.")));
        QCOMPARE(
            call(QStringLiteral("tv_launch_app"), args({ { "app", "" } })), failure(QStringLiteral("Missing 'app'")));
        QCOMPARE(
            call(QStringLiteral("tv_launch_app"), args({ { "app", 5 } })), failure(QStringLiteral("Missing 'app'")));

        QCOMPARE(call(QStringLiteral("tv_switch_input"), args({ { "input", "hdmi_2" } })),
            success(QStringLiteral("Switched to HDMI 2 (HDMI_2)")));
        QCOMPARE(call(QStringLiteral("tv_switch_input"), args({ { "input", "mi 3" } })),
            success(QStringLiteral("Switched to HDMI 3 (HDMI_3)")));
        const QList<QJsonObject> switches = ssapRequests(m_sim->received(), QStringLiteral("tv/switchInput"));
        QCOMPARE(switches.size(), 2);
        QCOMPARE(switches.at(0).value(QStringLiteral("payload")).toObject(), args({ { "inputId", "HDMI_2" } }));
        QCOMPARE(call(QStringLiteral("tv_switch_input"), args({ { "input", "console" } })),
            failure(QStringLiteral("No input matches 'console'. Use tv_list_inputs.")));
        QCOMPARE(call(QStringLiteral("tv_switch_input")), failure(QStringLiteral("Missing 'input'")));
    }

    void matchingRules()
    {
        const auto app = [](const QString &id, const QString &title) { return TVApp { id, title, std::nullopt }; };
        const QList<TVApp> apps { app(QStringLiteral("com.example.youtubekids"), QStringLiteral("YouTube Kids")),
            app(QStringLiteral("youtube.leanback.v4"), QStringLiteral("YouTube")),
            app(QStringLiteral("YouTube"), QStringLiteral("Tube Player")) };
        QCOMPARE(MCPTools::matchApp(apps, QStringLiteral("youtube"))->id, QStringLiteral("youtube.leanback.v4"));
        QCOMPARE(MCPTools::matchApp(apps, QStringLiteral("YouTube"))->id, QStringLiteral("YouTube")); // exact id first
        QCOMPARE(MCPTools::matchApp(apps, QStringLiteral("kids"))->id, QStringLiteral("com.example.youtubekids"));
        QCOMPARE(MCPTools::matchApp(apps, QStringLiteral("PLAYER"))->id, QStringLiteral("YouTube"));
        QCOMPARE(MCPTools::matchApp(apps, QStringLiteral("leanback"))->id,
            QStringLiteral("youtube.leanback.v4")); // id contains
        QVERIFY(!MCPTools::matchApp(apps, QStringLiteral("netflix")));

        const QList<ExternalInput> inputs { { QStringLiteral("HDMI_1"), QStringLiteral("HDMI 2 (ARC)"),
                                                QStringLiteral("a1"), true },
            { QStringLiteral("HDMI_2"), QStringLiteral("Game Console"), QStringLiteral("a2"), true } };
        QCOMPARE(MCPTools::matchInput(inputs, QStringLiteral("hdmi_2"))->id, QStringLiteral("HDMI_2"));
        QCOMPARE(MCPTools::matchInput(inputs, QStringLiteral("console"))->id, QStringLiteral("HDMI_2"));
        QCOMPARE(MCPTools::matchInput(inputs, QStringLiteral("hdmi 2"))->id, QStringLiteral("HDMI_1"));
        QVERIFY(!MCPTools::matchInput(inputs, QStringLiteral("HDMI_3")));

        const auto tv = [](const QString &id, const QString &name, const QString &host) {
            TVDevice device;
            device.id = id;
            device.name = name;
            device.host = host;
            return device;
        };
        const QList<TVDevice> devices { tv(QStringLiteral("A"), QStringLiteral("Bedroom"), QStringLiteral("10.0.0.5")),
            tv(QStringLiteral("B"), QStringLiteral(""), QStringLiteral("10.0.0.6")),
            tv(QStringLiteral("C"), QStringLiteral("Living Room"), QStringLiteral("10.0.0.7")) };
        QCOMPARE(MCPTools::matchDevice(devices, QStringLiteral("10.0.0.7"))->id, QStringLiteral("C"));
        QCOMPARE(MCPTools::matchDevice(devices, QStringLiteral("B"))->id, QStringLiteral("B"));
        QCOMPARE(MCPTools::matchDevice(devices, QStringLiteral("ROOM"))->id, QStringLiteral("A"));
        QCOMPARE(
            MCPTools::matchDevice(devices, QStringLiteral("lg 电视"))->id, QStringLiteral("B")); // the displayed name
        QVERIFY(!MCPTools::matchDevice(devices, QStringLiteral("10.0.0")));
    }

    void pressButtons()
    {
        QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "button", "volumeup" }, { "repeat", 3 } })),
            success(QStringLiteral("Pressed VOLUMEUP ×3")));
        QTRY_COMPARE_WITH_TIMEOUT(pointerTexts(m_sim->received()).size(), 3, 5000);
        for (const QString &text : pointerTexts(m_sim->received()))
            QVERIFY2(text.contains(QStringLiteral("name:VOLUMEUP")), qPrintable(text));

        m_sim->clearReceived();
        QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "button", "HOME" }, { "repeat", 50 } })),
            success(QStringLiteral("Pressed HOME ×20")));
        QTRY_COMPARE_WITH_TIMEOUT(pointerTexts(m_sim->received()).size(), 20, 5000);

        // A repeat of 0, 1, a fraction or a text presses once and names no count.
        for (const QJsonValue &repeat :
            { QJsonValue(0), QJsonValue(1), QJsonValue(2.5), QJsonValue(QStringLiteral("3")) }) {
            m_sim->clearReceived();
            QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "button", "Up" }, { "repeat", repeat } })),
                success(QStringLiteral("Pressed UP")));
            QTRY_COMPARE_WITH_TIMEOUT(pointerTexts(m_sim->received()).size(), 1, 5000);
        }

        // OK is a click of the pointer, ENTER a button.
        m_sim->clearReceived();
        QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "button", "ok" } })),
            success(QStringLiteral("Pressed OK")));
        QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "button", "ENTER" } })),
            success(QStringLiteral("Pressed ENTER")));
        QTRY_COMPARE_WITH_TIMEOUT(pointerTexts(m_sim->received()).size(), 2, 5000);
        QVERIFY(pointerTexts(m_sim->received()).at(0).contains(QStringLiteral("type:click")));
        QVERIFY(pointerTexts(m_sim->received()).at(1).contains(QStringLiteral("name:ENTER")));

        m_sim->clearReceived();
        QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "button", "power" } })),
            failure(QStringLiteral("Unsupported button 'POWER'")));
        QCOMPARE(call(QStringLiteral("tv_press_button"), args({ { "repeat", 2 } })),
            failure(QStringLiteral("Missing 'button'")));
        QTest::qWait(100);
        QCOMPARE(pointerTexts(m_sim->received()).size(), 0);
    }

    void volumeAndMute()
    {
        m_sim->control(QStringLiteral("/set"), args({ { "volume", 30 } }));
        QCOMPARE(
            call(QStringLiteral("tv_volume"), args({ { "action", "up" } })), success(QStringLiteral("Volume: 31")));
        QCOMPARE(
            call(QStringLiteral("tv_volume"), args({ { "action", "down" } })), success(QStringLiteral("Volume: 30")));
        QCOMPARE(call(QStringLiteral("tv_volume"), args({ { "action", "set" }, { "level", 0 } })),
            success(QStringLiteral("Volume: 0")));
        QCOMPARE(call(QStringLiteral("tv_volume"), args({ { "action", "set" }, { "level", 100 } })),
            success(QStringLiteral("Volume: 100")));
        QCOMPARE(m_sim->state().value(QStringLiteral("volume")).toInt(), 100);
        const QList<QJsonObject> sets = ssapRequests(m_sim->received(), QStringLiteral("audio/setVolume"));
        QCOMPARE(sets.size(), 2);
        QCOMPARE(sets.at(0).value(QStringLiteral("payload")).toObject(), args({ { "volume", 0 } }));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("audio/volumeUp"))
                     .at(0)
                     .value(QStringLiteral("payload"))
                     .toObject(),
            QJsonObject());

        m_sim->clearReceived();
        for (const QJsonValue &level : { QJsonValue(101), QJsonValue(-1), QJsonValue(QStringLiteral("50")),
                 QJsonValue(12.5), QJsonValue(1e300), QJsonValue() }) {
            QJsonObject arguments = args({ { "action", "set" } });
            if (!level.isUndefined())
                arguments.insert(QStringLiteral("level"), level);
            QCOMPARE(call(QStringLiteral("tv_volume"), arguments), failure(QStringLiteral("'level' must be 0-100")));
        }
        QCOMPARE(call(QStringLiteral("tv_volume"), args({ { "action", "UP" } })),
            failure(QStringLiteral("action must be up, down or set")));
        QCOMPARE(call(QStringLiteral("tv_volume")), failure(QStringLiteral("Missing 'action'")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("audio/setVolume")).size(), 0);

        QCOMPARE(call(QStringLiteral("tv_mute"), args({ { "muted", true } })), success(QStringLiteral("Muted")));
        QCOMPARE(m_sim->state().value(QStringLiteral("muted")).toBool(), true);
        QCOMPARE(call(QStringLiteral("tv_mute"), args({ { "muted", false } })), success(QStringLiteral("Unmuted")));
        QCOMPARE(m_sim->state().value(QStringLiteral("muted")).toBool(), false);
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("audio/setMute"))
                     .at(0)
                     .value(QStringLiteral("payload"))
                     .toObject(),
            args({ { "mute", true } }));
        QCOMPARE(call(QStringLiteral("tv_mute"), args({ { "muted", "true" } })),
            failure(QStringLiteral("'muted' must be boolean")));
        QCOMPARE(call(QStringLiteral("tv_mute"), args({ { "muted", 1 } })),
            failure(QStringLiteral("'muted' must be boolean")));
    }

    void mediaChannelTextAndToast()
    {
        QCOMPARE(call(QStringLiteral("tv_media"), args({ { "action", "fastForward" } })),
            success(QStringLiteral("Media fastForward")));
        QCOMPARE(
            call(QStringLiteral("tv_media"), args({ { "action", "play" } })), success(QStringLiteral("Media play")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("media.controls/fastForward")).size(), 1);
        QCOMPARE(call(QStringLiteral("tv_media"), args({ { "action", "fastforward" } })),
            failure(QStringLiteral("Unsupported action")));

        QCOMPARE(
            call(QStringLiteral("tv_channel"), args({ { "action", "up" } })), success(QStringLiteral("Channel up")));
        QCOMPARE(call(QStringLiteral("tv_channel"), args({ { "action", "down" } })),
            success(QStringLiteral("Channel down")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("tv/channelUp")).size(), 1);
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("tv/channelDown")).size(), 1);
        QCOMPARE(call(QStringLiteral("tv_channel"), args({ { "action", "next" } })),
            failure(QStringLiteral("action must be up or down")));

        // User-perceived characters: a combining accent and a skin-toned emoji count once each.
        m_sim->clearReceived();
        const QString text = QStringLiteral("he\u0301llo 👍🏽👍🇨🇳🇺🇸👨‍👩‍👧");
        QCOMPARE(call(QStringLiteral("tv_input_text"), args({ { "text", text } })),
            success(QStringLiteral("Typed 11 characters (warning: no focused text field reported)")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("com.webos.service.ime/insertText"))
                     .at(0)
                     .value(QStringLiteral("payload"))
                     .toObject(),
            args({ { "text", text }, { "replace", false } }));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("com.webos.service.ime/sendEnterKey")).size(), 0);

        m_sim->control(QStringLiteral("/set"), args({ { "keyboardFocus", true } }));
        QTRY_VERIFY_WITH_TIMEOUT(session().keyboardFocused(), 5000);
        QCOMPARE(call(QStringLiteral("tv_input_text"), args({ { "text", "abc" }, { "submit", true } })),
            success(QStringLiteral("Typed 3 characters")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("com.webos.service.ime/sendEnterKey")).size(), 1);
        m_sim->control(QStringLiteral("/set"), args({ { "keyboardFocus", false } }));
        QCOMPARE(
            call(QStringLiteral("tv_input_text"), args({ { "text", "" } })), failure(QStringLiteral("Missing 'text'")));

        QCOMPARE(call(QStringLiteral("tv_notify"), args({ { "message", "Dinner is ready" } })),
            success(QStringLiteral("Notification shown")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("system.notifications/createToast"))
                     .at(0)
                     .value(QStringLiteral("payload"))
                     .toObject(),
            args({ { "message", "Dinner is ready" } }));
        QCOMPARE(call(QStringLiteral("tv_notify")), failure(QStringLiteral("Missing 'message'")));
        QCOMPARE(call(QStringLiteral("tv_fly")), failure(QStringLiteral("Unknown tool")));
    }

    void tvErrorsPassThrough()
    {
        m_sim->control(QStringLiteral("/fault"),
            args({ { "fail",
                args({ { "uri", "audio/setMute" }, { "error", "Mute is locked" }, { "shape", "error" } }) } }));
        const ToolRig::Result result = call(QStringLiteral("tv_mute"), args({ { "muted", true } }));
        m_sim->control(QStringLiteral("/fault"), args({ { "clear", true } }));
        QVERIFY(result.isError);
        QVERIFY2(result.text.contains(QStringLiteral("Mute is locked")), qPrintable(result.text));
        QCOMPARE(m_sim->state().value(QStringLiteral("muted")).toBool(), false);
    }

    void powerOffAndAlreadyOn()
    {
        QCOMPARE(call(QStringLiteral("tv_power"), args({ { "action", "on" } })),
            success(QStringLiteral("TV is already on")));
        QCOMPARE(m_sim->received().size(), 0);
        QCOMPARE(call(QStringLiteral("tv_power"), args({ { "action", "OFF" } })),
            failure(QStringLiteral("action must be on or off")));
        QCOMPARE(call(QStringLiteral("tv_power")), failure(QStringLiteral("Missing 'action'")));

        QCOMPARE(call(QStringLiteral("tv_power"), args({ { "action", "off" } })),
            success(QStringLiteral("TV turned off (standby)")));
        QCOMPARE(ssapRequests(m_sim->received(), QStringLiteral("system/turnOff")).size(), 1);
        QVERIFY(m_sim->state().value(QStringLiteral("power")).toString() != QStringLiteral("Active"));

        // Without a MAC there is nothing to wake with, and nothing is tried.
        session().disconnect();
        TVDevice device = *m_rig->store().device(m_id);
        device.mac.reset();
        m_rig->store().update(device);
        QCOMPARE(call(QStringLiteral("tv_power"), args({ { "action", "on" } })),
            failure(QStringLiteral("TV MAC address unknown; cannot Wake-on-LAN")));
        QCOMPARE(session().stateKind(), ConnectionState::Kind::Offline);
        m_sim->control(QStringLiteral("/wake"));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_sim->state().value(QStringLiteral("power")).toString(), QStringLiteral("Active"), 10000);
    }

    void connectionComesFirst()
    {
        // A paired TV that cannot be reached: the connection error, never the argument error.
        ToolRig rig;
        const QString id = rig.addTV(kNobody, QStringLiteral("Gone"));
        TVDevice device = *rig.store().device(id);
        device.clientKey = QStringLiteral("0123456789abcdef");
        rig.store().update(device);
        rig.store().setSelectedID(id);
        MCPTools::Timings timings = rig.tools().timings();
        timings.connectTimeout = 3;
        rig.tools().setTimings(timings);

        const ToolRig::Result press = rig.call(QStringLiteral("tv_press_button"), args({ { "button", "POWER" } }));
        QVERIFY(press.isError);
        QVERIFY(press.text != QStringLiteral("Unsupported button 'POWER'"));
        QVERIFY(!press.text.isEmpty());
        QCOMPARE(rig.call(QStringLiteral("tv_volume")), press);

        // tv_status still answers, with what went wrong in "connection".
        const ToolRig::Result status = rig.call(QStringLiteral("tv_status"));
        QVERIFY(!status.isError);
        const QJsonObject object = parsed(status.text).toObject();
        QVERIFY(object.value(QStringLiteral("connection")).toString() != QStringLiteral("ready"));
        QCOMPARE(object.value(QStringLiteral("power")).toString(), QStringLiteral("unknown"));
        QCOMPARE(object[QStringLiteral("device")][QStringLiteral("host")].toString(), kNobody);
    }

    void selectAnotherTV()
    {
        TVSimProcess other({ .address = kOtherHost, .extraArgs = kFast });
        QVERIFY2(other.start(), qPrintable(other.output()));
        const QString otherID = m_rig->addTV(kOtherHost, QStringLiteral("Bedroom TV"));
        QVERIFY(m_rig->pair(otherID));
        QVERIFY(m_rig->pair(m_id));
        QTRY_COMPARE_WITH_TIMEOUT(other.state().value(QStringLiteral("connections")).toInt(), 0, 5000);

        // By address: the first TV is dropped, and the answer comes once the new one is ready.
        QCOMPARE(call(QStringLiteral("tv_select_device"), args({ { "device", kOtherHost } })),
            success(QStringLiteral("Connected to Bedroom TV (127.0.0.21)")));
        QVERIFY(session().isReady());
        QCOMPARE(m_rig->store().selectedID(), std::optional<QString>(otherID));
        QVERIFY(other.state().value(QStringLiteral("connections")).toInt() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->state().value(QStringLiteral("connections")).toInt(), 0, 5000);

        // By part of the name, any case: the first saved TV whose name contains it.
        QCOMPARE(call(QStringLiteral("tv_select_device"), args({ { "device", "ROOM tv" } })),
            success(QStringLiteral("Connected to Living Room TV (127.0.0.20)")));
        QCOMPARE(m_rig->store().selectedID(), std::optional<QString>(m_id));
        // Selecting the TV already selected keeps its connection.
        const int before = m_sim->state().value(QStringLiteral("connections")).toInt();
        QCOMPARE(call(QStringLiteral("tv_select_device"), args({ { "device", m_id } })),
            success(QStringLiteral("Connected to Living Room TV (127.0.0.20)")));
        QCOMPARE(m_sim->state().value(QStringLiteral("connections")).toInt(), before);

        QCOMPARE(call(QStringLiteral("tv_select_device"), args({ { "device", "kitchen" } })),
            failure(QStringLiteral("No saved TV matches 'kitchen'")));
        QCOMPARE(m_rig->store().selectedID(), std::optional<QString>(m_id));

        const QJsonArray devices = parsed(call(QStringLiteral("tv_list_devices")).text).toArray();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices.at(0)[QStringLiteral("selected")].toBool(), true);
        QCOMPARE(devices.at(1)[QStringLiteral("selected")].toBool(), false);
        QCOMPARE(devices.at(1)[QStringLiteral("name")].toString(), QStringLiteral("Bedroom TV"));
        m_rig->store().remove(otherID);
    }

    void slowCallsDoNotBlockTheListener()
    {
        Preferences preferences(m_home.path() + QStringLiteral("/listener.conf"));
        preferences.setInteger(QStringLiteral("mcpPort"), kPort);
        MCPServer server(m_rig->tools(), preferences);
        server.start();
        QVERIFY(server.isRunning());

        m_sim->control(
            QStringLiteral("/fault"), args({ { "delay", args({ { "uri", "audio/volumeUp" }, { "ms", 1500 } }) } }));
        QTcpSocket slow;
        QByteArray slowReply;
        connect(&slow, &QTcpSocket::readyRead, &slow, [&] { slowReply += slow.readAll(); });
        slow.connectToHost(QStringLiteral("127.0.0.1"), kPort);
        QVERIFY(slow.waitForConnected(5000));
        slow.write(postRequest(
            R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"tv_volume","arguments":{"action":"up"}}})"));
        QTRY_COMPARE_WITH_TIMEOUT(ssapRequests(m_sim->received(), QStringLiteral("audio/volumeUp")).size(), 1, 5000);

        // Another request is answered while the first one waits for the TV, and stopping the
        // listener does not drop the request in progress.
        const RawResponse quick
            = splitResponse(rawExchange(kPort, { postRequest(R"({"id":2,"method":"ping"})") }).response);
        QCOMPARE(quick.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QVERIFY(slowReply.isEmpty());
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(slow.state() == QAbstractSocket::UnconnectedState, 10000);
        m_sim->control(QStringLiteral("/fault"), args({ { "clear", true } }));
        const QJsonObject answer = QJsonDocument::fromJson(splitResponse(slowReply).body).object();
        QCOMPARE(answer[QStringLiteral("result")][QStringLiteral("isError")].toBool(), false);
        QVERIFY(answer[QStringLiteral("result")][QStringLiteral("content")][0][QStringLiteral("text")]
                    .toString()
                    .startsWith(QStringLiteral("Volume: ")));
    }
};

QTEST_GUILESS_MAIN(TestMCPTools)
#include "test_mcptools.moc"
