// The tool handlers against the TV emulator through a real session: result texts, what reached
// the TV, every failure text, and the matching rules.
#include "pairedtv.h"
#include "simmessages.h"
#include "testenv.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <tuple>

namespace {

const QString kHost = QStringLiteral("127.0.0.20");
const QString kOtherHost = QStringLiteral("127.0.0.21");
const QString kNobody = QStringLiteral("127.0.0.22"); // no emulator ever listens here
const QStringList kFast { "--pairing-delay", "50" };

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
    PairedTV m_tv { { .address = kHost, .extraArgs = kFast + QStringList { "--channels", "60" } } };

    TVSession &session() { return m_tv.session(); }
    AppParts::ToolAnswer call(const QString &name, const QJsonObject &arguments = {})
    {
        return m_tv.parts.callTool(name, arguments);
    }
    QList<QJsonObject> sent(const QString &uri) { return m_tv.sent(uri); }
    QJsonObject payload(const QString &uri, qsizetype index = 0) { return m_tv.payload(uri, index); }
    QJsonValue simState(const QString &key) { return m_tv.sim->state().value(key); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tv.start(QStringLiteral("Living Room TV"))); }

    void init()
    {
        if (!session().isReady())
            QVERIFY(m_tv.pair());
        m_tv.sim->clearReceived();
    }

    void statusAndListings()
    {
        m_tv.set({ { "volume", 17 }, { "muted", true }, { "foregroundAppId", "com.webos.app.hdmi2" } });
        QTRY_COMPARE_WITH_TIMEOUT(session().foregroundAppId(), QStringLiteral("com.webos.app.hdmi2"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(session().volume(), 17, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(session().muted(), 5000);

        const AppParts::ToolAnswer result = call("tv_status");
        const QJsonObject device { { "name", "Living Room TV" }, { "model", m_tv.parts.store().device(m_tv.id)->model },
            { "host", kHost }, { "paired", true } };
        QJsonObject status = parsed(result.text).toObject();
        QCOMPARE(result.structured, status);
        // An input's label names the foreground when its appId matches, else an app's title, else the id.
        const QJsonArray inputs = status.take("inputs").toArray();
        QCOMPARE(status,
            QJsonObject({ { "connection", "ready" }, { "power", "Active" }, { "device", device }, { "volume", 17 },
                { "muted", true },
                { "foreground", QJsonObject { { "id", "com.webos.app.hdmi2" }, { "title", "HDMI 2" } } } }));
        QCOMPARE(inputs.at(1).toObject(),
            QJsonObject({ { "id", "HDMI_2" }, { "label", "HDMI 2" }, { "connected", true }, { "active", true } }));
        QCOMPARE(inputs.at(3)["active"].toBool(), false);

        // Texts stay as agents have always read them; the structured content holds the same data.
        const AppParts::ToolAnswer devices = call("tv_list_devices");
        QJsonObject listed = device;
        listed.insert("id", m_tv.id);
        listed.insert("selected", true);
        QCOMPARE(parsed(devices.text), QJsonArray { listed });
        QCOMPARE(devices.structured, QJsonObject({ { "devices", parsed(devices.text) } }));

        // Lists are always read afresh from the TV.
        m_tv.sim->clearReceived();
        const AppParts::ToolAnswer apps = call("tv_list_apps");
        const QJsonArray appList = parsed(apps.text).toArray();
        QCOMPARE(appList.size(), 20);
        QCOMPARE(appList.at(1).toObject(), QJsonObject({ { "id", "youtube.leanback.v4" }, { "title", "YouTube" } }));
        QCOMPARE(apps.structured, QJsonObject({ { "apps", appList } }));
        QCOMPARE(sent("com.webos.applicationManager/listLaunchPoints").size(), 1);
        const AppParts::ToolAnswer inputList = call("tv_list_inputs");
        QCOMPARE(parsed(inputList.text), inputs);
        QCOMPARE(inputList.structured, QJsonObject({ { "inputs", inputs } }));
        QCOMPARE(sent("tv/getExternalInputList").size(), 1);
    }

    // Refused before anything changes: only reads reach the TV.
    void argumentErrors()
    {
        const QList<std::tuple<QString, QJsonObject, QString>> cases {
            { "tv_launch_app", { { "app", "netflix" }, { "params", "t=42" } }, "'params' must be an object" },
            { "tv_launch_app", { { "app", "netflix" }, { "contentId", 7 } }, "'contentId' must be a string" },
            { "tv_launch_app", { { "app", "kodi" } }, "No app matches 'kodi'. Use tv_list_apps." },
            { "tv_launch_app", { { "app", "" } }, "Missing 'app'" },
            { "tv_launch_app", { { "app", 5 } }, "Missing 'app'" },
            { "tv_switch_input", { { "input", "console" } }, "No input matches 'console'. Use tv_list_inputs." },
            { "tv_volume", { { "action", "UP" } }, "action must be up, down or set" },
            { "tv_volume", {}, "Missing 'action'" },
            { "tv_mute", { { "muted", "true" } }, "'muted' must be boolean" },
            { "tv_sound_output", { { "action", "set" } }, "Missing 'output'" },
            { "tv_sound_output", { { "action", "toggle" } }, "action must be get or set" },
            { "tv_media", { { "action", "fastforward" } }, "Unsupported action" },
            { "tv_channel", { { "action", "next" } }, "action must be up or down" },
            { "tv_channel", { { "action", "set" } }, "Missing 'number'" },
            { "tv_channel", { { "action", "set" }, { "number", "6" } },
                "No channel 6. Nearest: 4 (Kids), 5 (Movies), 7 (Music Hits)" },
            { "tv_input_text", { { "text", "" } }, "Missing 'text'" },
            { "tv_notify", {}, "Missing 'message'" },
            { "tv_fly", {}, "Unknown tool" },
            { "tv_screen", { { "action", "dim" } }, "action must be off or on" },
            { "tv_power", { { "action", "OFF" } }, "action must be on or off" },
            { "tv_power", {}, "Missing 'action'" },
            { "tv_select_device", { { "device", "kitchen" } }, "No saved TV matches 'kitchen'" },
        };
        for (const auto &[tool, arguments, text] : cases)
            QCOMPARE(call(tool, arguments), failure(text));
        for (const QJsonValue &level : { QJsonValue(101), QJsonValue(-1), QJsonValue("50"), QJsonValue(12.5),
                 QJsonValue(1e300), QJsonValue(QJsonValue::Undefined) })
            QCOMPARE(call("tv_volume", { { "action", "set" }, { "level", level } }), failure("'level' must be 0-100"));
        for (const QString url :
            { "file:///etc/passwd", "javascript:alert(1)", "example.com", "http://", "ftp://a.b/c" })
            QCOMPARE(call("tv_open_url", { { "url", url } }),
                failure("Refused '" + url + "': only http:// and https:// addresses with a host can be opened"));
        for (const QJsonObject &request : ssapOfType(m_tv.sim->received(), "request"))
            QVERIFY2(QRegularExpression("/(get|list)[A-Z]").match(request["uri"].toString()).hasMatch(),
                qPrintable(request["uri"].toString()));
        QCOMPARE(m_tv.parts.store().selectedID(), std::optional<QString>(m_tv.id));
    }

    void matchingRules()
    {
        const QList<TVApp> apps { { "com.example.youtubekids", "YouTube Kids", std::nullopt },
            { "youtube.leanback.v4", "YouTube", std::nullopt }, { "YouTube", "Tube Player", std::nullopt } };
        QCOMPARE(MCPTools::matchApp(apps, "YouTube")->id, QStringLiteral("YouTube")); // exact id first

        const QList<ExternalInput> inputs { { "HDMI_1", "HDMI 2 (ARC)", "a1", true },
            { "HDMI_2", "Game Console", "a2", true } };
        QCOMPARE(MCPTools::matchInput(inputs, "hdmi_2")->id, QStringLiteral("HDMI_2")); // id before label

        QList<TVDevice> devices(3);
        const QStringList names { "Bedroom", "", "Living Room" };
        for (int i = 0; i < 3; ++i) {
            devices[i].id = QString(QChar('A' + i));
            devices[i].name = names.at(i);
            devices[i].host = QStringLiteral("10.0.0.%1").arg(5 + i);
        }
        QCOMPARE(MCPTools::matchDevice(devices, "lg 电视")->id, QStringLiteral("B")); // the displayed name
        QVERIFY(!MCPTools::matchDevice(devices, "10.0.0"));
    }

    void pressButtons()
    {
        // A repeat of 0, 1, a fraction or a text presses once and names no count, at most 20 times;
        // OK is a click of the pointer, ENTER a button; refused presses send nothing. BACK marks the end.
        QCOMPARE(
            call("tv_press_button", { { "button", "volumeup" }, { "repeat", 3 } }), success("Pressed VOLUMEUP ×3"));
        QCOMPARE(call("tv_press_button", { { "button", "HOME" }, { "repeat", 50 } }), success("Pressed HOME ×20"));
        for (const QJsonValue &repeat : { QJsonValue(0), QJsonValue(1), QJsonValue(2.5), QJsonValue("3") })
            QCOMPARE(call("tv_press_button", { { "button", "Up" }, { "repeat", repeat } }), success("Pressed UP"));
        QCOMPARE(call("tv_press_button", { { "button", "ok" } }), success("Pressed OK"));
        QCOMPARE(call("tv_press_button", { { "button", "ENTER" } }), success("Pressed ENTER"));
        QCOMPARE(call("tv_press_button", { { "button", "power" } }), failure("Unsupported button 'POWER'"));
        QCOMPARE(call("tv_press_button", { { "repeat", 2 } }), failure("Missing 'button'"));
        QCOMPARE(call("tv_press_button", { { "button", "back" } }), success("Pressed BACK"));
        const auto button = [](const QString &name) { return "type:button\nname:" + name + "\n\n"; };
        QTRY_VERIFY_WITH_TIMEOUT(pointerTexts(m_tv.sim->received()).endsWith(button("BACK")), 5000);
        const QStringList expected = QStringList(3, button("VOLUMEUP")) + QStringList(20, button("HOME"))
            + QStringList(4, button("UP")) + QStringList { "type:click\n\n", button("ENTER"), button("BACK") };
        QCOMPARE(pointerTexts(m_tv.sim->received()), expected);
    }

    void volumeAndMute()
    {
        m_tv.set({ { "volume", 30 } });
        QCOMPARE(call("tv_volume", { { "action", "up" } }), success("Volume: 31"));
        QCOMPARE(call("tv_volume", { { "action", "down" } }), success("Volume: 30"));
        QCOMPARE(call("tv_volume", { { "action", "set" }, { "level", 0 } }), success("Volume: 0"));
        QCOMPARE(payload("audio/setVolume"), QJsonObject({ { "volume", 0 } }));
        QCOMPARE(call("tv_volume", { { "action", "set" }, { "level", 100 } }).structured,
            QJsonObject({ { "volume", 100 } }));
        QCOMPARE(simState("volume").toInt(), 100);

        QCOMPARE(call("tv_mute", { { "muted", true } }), success("Muted"));
        QCOMPARE(payload("audio/setMute"), QJsonObject({ { "mute", true } }));
        QCOMPARE(call("tv_mute", { { "muted", false } }).structured, QJsonObject({ { "muted", false } }));
        QCOMPARE(simState("muted").toBool(), false);

        // Sound output: read and chosen; the TV's reason when it refuses one.
        QCOMPARE(call("tv_sound_output", { { "action", "get" } }), success("Sound output: tv_speaker"));
        const AppParts::ToolAnswer arc = call("tv_sound_output", { { "action", "set" }, { "output", "external_arc" } });
        QCOMPARE(arc, success("Sound output: external_arc"));
        QCOMPARE(arc.structured, QJsonObject({ { "output", "external_arc" } }));
        QCOMPARE(payload("audio/changeSoundOutput"), QJsonObject({ { "output", "external_arc" } }));
        QCOMPARE(session().soundOutput(), QStringLiteral("external_arc"));
        const AppParts::ToolAnswer unknown = call("tv_sound_output", { { "action", "set" }, { "output", "hdmi_9" } });
        QVERIFY2(unknown.isError && unknown.text.contains("unknown sound output 'hdmi_9'"), qPrintable(unknown.text));
        QCOMPARE(call("tv_sound_output", { { "action", "set" }, { "output", "tv_speaker" } }),
            success("Sound output: tv_speaker"));

        // The TV's own error passes through, in either form, and nothing changes.
        const QList<std::tuple<QString, QJsonObject, QString>> refusals {
            { "tv_mute", { { "muted", true } }, "audio/setMute" },
            { "tv_sound_output", { { "action", "get" } }, "audio/getSoundOutput" },
            { "tv_sound_output", { { "action", "set" }, { "output", "bt_soundbar" } }, "audio/changeSoundOutput" },
            { "tv_screen", { { "action", "off" } }, "com.webos.service.tvpower/power/turnOffScreen" },
            { "tv_channel", { { "action", "list" } }, "tv/getChannelList" },
            { "tv_channel", { { "action", "current" } }, "tv/getCurrentChannel" },
            { "tv_channel", { { "action", "set" }, { "number", "3" } }, "tv/openChannel" },
            { "tv_open_url", { { "url", "http://example.com" } }, "system.launcher/open" },
            { "tv_launch_app", { { "app", "netflix" }, { "contentId", "81234" } }, "system.launcher/launch" },
        };
        for (const auto &[tool, arguments, uri] : refusals) {
            const QString shape = tool == "tv_mute" ? "error" : "returnValue";
            m_tv.sim->control(
                "/fault", { { "fail", QJsonObject { { "uri", uri }, { "error", "Not now" }, { "shape", shape } } } });
            const AppParts::ToolAnswer answer = call(tool, arguments);
            m_tv.clearFaults();
            QVERIFY2(answer.isError && answer.text.contains("Not now"), qPrintable(tool + ": " + answer.text));
        }
        QCOMPARE(simState("muted").toBool(), false);
        QCOMPARE(simState("soundOutput").toString(), QStringLiteral("tv_speaker"));
        QCOMPARE(simState("power").toString(), QStringLiteral("Active"));
        QCOMPARE(simState("webPage").toString(), QString());
        QCOMPARE(session().soundOutput(), QStringLiteral("tv_speaker"));
    }

    // Apps, inputs, media, channels, text, toasts, the screen and web pages: the answers and what
    // reached the TV.
    void contentAndControls()
    {
        QCOMPARE(call("tv_launch_app", { { "app", "youtube" } }), success("Launched YouTube (youtube.leanback.v4)"));
        // No title equals "video": the first app whose title contains it.
        QCOMPARE(call("tv_launch_app", { { "app", "VIDEO" } }), success("Launched Prime Video (amazon)"));
        QCOMPARE(sent("system.launcher/launch").size(), 2);
        QCOMPARE(payload("system.launcher/launch", 0), QJsonObject({ { "id", "youtube.leanback.v4" } }));
        QCOMPARE(payload("system.launcher/launch", 1), QJsonObject({ { "id", "amazon" } }));
        QTRY_COMPARE_WITH_TIMEOUT(simState("foregroundAppId").toString(), QStringLiteral("amazon"), 5000);
        // Into content: the id and the parameters go along as given.
        const QJsonObject params { { "t", 42 } };
        QCOMPARE(call("tv_launch_app", { { "app", "netflix" }, { "contentId", "81234" }, { "params", params } }),
            success("Launched Netflix (netflix) with content 81234"));
        QCOMPARE(payload("system.launcher/launch", 2),
            QJsonObject({ { "id", "netflix" }, { "contentId", "81234" }, { "params", params } }));

        QCOMPARE(call("tv_switch_input", { { "input", "mi 3" } }), success("Switched to HDMI 3 (HDMI_3)"));
        QCOMPARE(payload("tv/switchInput"), QJsonObject({ { "inputId", "HDMI_3" } }));

        QCOMPARE(call("tv_media", { { "action", "fastForward" } }), success("Media fastForward"));
        QCOMPARE(sent("media.controls/fastForward").size(), 1);
        QCOMPARE(call("tv_channel", { { "action", "down" } }), success("Channel down"));
        QCOMPARE(sent("tv/channelDown").size(), 1);

        // User-perceived characters: a combining accent and a skin-toned emoji count once each.
        const QString text = QStringLiteral("he\u0301llo 👍🏽👍🇨🇳🇺🇸👨‍👩‍👧");
        QCOMPARE(call("tv_input_text", { { "text", text } }),
            success("Typed 11 characters (warning: no focused text field reported)"));
        QCOMPARE(payload("com.webos.service.ime/insertText"), QJsonObject({ { "text", text }, { "replace", false } }));
        QCOMPARE(sent("com.webos.service.ime/sendEnterKey").size(), 0);
        m_tv.set({ { "keyboardFocus", true } });
        QTRY_VERIFY_WITH_TIMEOUT(session().keyboardFocused(), 5000);
        QCOMPARE(call("tv_input_text", { { "text", "abc" }, { "submit", true } }), success("Typed 3 characters"));
        QCOMPARE(sent("com.webos.service.ime/sendEnterKey").size(), 1);
        m_tv.set({ { "keyboardFocus", false } });

        QCOMPARE(call("tv_notify", { { "message", "Dinner is ready" } }), success("Notification shown"));
        QCOMPARE(payload("system.notifications/createToast"), QJsonObject({ { "message", "Dinner is ready" } }));

        // Channels: a long list comes cut, with its count; set by number (a number not in the list
        // names the nearest ones), read back after a step.
        const AppParts::ToolAnswer list = call("tv_channel", { { "action", "list" } });
        const QJsonObject listed = parsed(list.text).toObject();
        QCOMPARE(list.structured, listed);
        QCOMPARE(listed["total"].toInt(), 60);
        QCOMPARE(listed["truncated"].toBool(), true);
        QCOMPARE(listed["channels"].toArray().size(), 50);
        QCOMPARE(listed["channels"][1].toObject(),
            QJsonObject({ { "id", "7_2_2_0_0_1001_0" }, { "number", "2" }, { "name", "News 24" } }));
        QCOMPARE(call("tv_channel", { { "action", "set" }, { "number", 7 } }),
            success("Switched to channel 7 (Music Hits)"));
        QCOMPARE(payload("tv/openChannel"), QJsonObject({ { "channelId", "7_7_7_0_0_1005_0" } }));
        QCOMPARE(call("tv_channel", { { "action", "up" } }).structured, QJsonObject({ { "action", "up" } }));
        QCOMPARE(call("tv_channel", { { "action", "current" } }), success("Current channel: 8 (Weather)"));
        QCOMPARE(simState("channel").toString(), QStringLiteral("8"));

        // The screen goes off while sound plays, and on again; the power state tells.
        QCOMPARE(call("tv_screen", { { "action", "off" } }), success("Screen off (sound keeps playing)"));
        QTRY_COMPARE_WITH_TIMEOUT(session().powerState(), QStringLiteral("Screen Off"), 5000);
        QCOMPARE(call("tv_screen", { { "action", "on" } }).structured, QJsonObject({ { "screen", "on" } }));
        QTRY_COMPARE_WITH_TIMEOUT(session().powerState(), QStringLiteral("Active"), 5000);
        // Asked to switch on while only the screen is off, tv_power brings the picture back.
        QCOMPARE(call("tv_screen", { { "action", "off" } }), success("Screen off (sound keeps playing)"));
        QTRY_COMPARE_WITH_TIMEOUT(session().powerState(), QStringLiteral("Screen Off"), 5000);
        QCOMPARE(
            call("tv_power", { { "action", "on" } }), success("Screen turned on (the TV was on with its screen off)"));
        QTRY_COMPARE_WITH_TIMEOUT(session().powerState(), QStringLiteral("Active"), 5000);

        // Web pages: http and https only; anything else never reaches the TV.
        const QString page = QStringLiteral("https://example.com/news?day=1");
        QCOMPARE(call("tv_open_url", { { "url", page } }), success("Opened " + page));
        QCOMPARE(payload("system.launcher/open"), QJsonObject({ { "target", page } }));
    }

    // A second saved TV, on firmware that refuses the pointer socket.
    void selectAnotherTV()
    {
        TVSimProcess other({ .address = kOtherHost, .extraArgs = kFast + QStringList { "--firmware", "2026" } });
        QVERIFY2(other.start(), qPrintable(other.output()));
        const QString otherID = m_tv.parts.addTV(kOtherHost, "Bedroom TV");
        QVERIFY(m_tv.parts.pair(otherID));
        QVERIFY(m_tv.parts.pair(m_tv.id));
        QTRY_COMPARE_WITH_TIMEOUT(other.state().value("connections").toInt(), 0, 5000);

        // By address: the first TV is dropped, and the answer comes once the new one is ready.
        QCOMPARE(
            call("tv_select_device", { { "device", kOtherHost } }), success("Connected to Bedroom TV (127.0.0.21)"));
        QVERIFY(session().isReady());
        QCOMPARE(m_tv.parts.store().selectedID(), std::optional<QString>(otherID));
        QVERIFY(other.state().value("connections").toInt() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(simState("connections").toInt(), 0, 5000);

        // With the pointer refused, a button with a request of its own is pressed through it,
        // answered only once the TV has it; any other is an error that gives the TV's reason and
        // what still works.
        other.control("/set", { { "volume", 20 } });
        QCOMPARE(
            call("tv_press_button", { { "button", "volumeup" }, { "repeat", 2 } }), success("Pressed VOLUMEUP ×2"));
        QCOMPARE(other.state().value("volume").toInt(), 22);
        QCOMPARE(call("tv_press_button", { { "button", "HOME" }, { "repeat", 3 } }),
            failure("The TV refused remote-control input (401 insufficient permissions), so HOME was not pressed. "
                    "Still available: the buttons VOLUMEUP, VOLUMEDOWN, MUTE, CHANNELUP, CHANNELDOWN, PLAY, PAUSE, "
                    "STOP, REWIND, FASTFORWARD and ENTER, and the tools for apps, inputs, volume, mute, media, "
                    "channels and text."));
        QVERIFY(call("tv_press_button", { { "button", "OK" } }).text.contains("(401 insufficient permissions), so OK"));
        QCOMPARE(pointerTexts(other.received()), QStringList());

        // A paired TV that cannot be reached: the connection error, never the argument error;
        // tv_status still answers, with what went wrong in "connection".
        TVDevice gone = *m_tv.parts.store().device(m_tv.parts.addTV(kNobody, "Gone"));
        gone.clientKey = QStringLiteral("0123456789abcdef");
        m_tv.parts.store().update(gone);
        const AppParts::ToolAnswer refused = call("tv_select_device", { { "device", "gone" } });
        QVERIFY2(refused.isError && !refused.text.isEmpty(), qPrintable(refused.text));
        QCOMPARE(call("tv_press_button", { { "button", "POWER" } }), refused);
        QCOMPARE(call("tv_volume"), refused);
        const QJsonObject status = parsed(call("tv_status").text).toObject();
        QVERIFY(status.value("connection").toString() != QStringLiteral("ready"));
        QCOMPARE(status.value("power").toString(), QStringLiteral("unknown"));
        QCOMPARE(status["device"]["host"].toString(), kNobody);

        // By part of the name, any case: the first saved TV whose name contains it.
        QCOMPARE(
            call("tv_select_device", { { "device", "ROOM tv" } }), success("Connected to Living Room TV (127.0.0.20)"));
        QCOMPARE(m_tv.parts.store().selectedID(), std::optional<QString>(m_tv.id));
        // Selecting the TV already selected keeps its connection.
        const int before = simState("connections").toInt();
        QCOMPARE(
            call("tv_select_device", { { "device", m_tv.id } }), success("Connected to Living Room TV (127.0.0.20)"));
        QCOMPARE(simState("connections").toInt(), before);
    }
};

QTEST_GUILESS_MAIN(TestMCPTools)
#include "test_mcptools.moc"
