// The session's value types: connection states, the TV's list entries as the TV sends them and
// the requests of the command vocabulary as they go on the wire.
#include "buttonrequest.h"
#include "connectionstate.h"
#include "externalinput.h"
#include "tvapp.h"
#include "tvcommands.h"
#include "tvstatemirror.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

namespace {

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

// A request as the SSAP message carries it: the path, then the compact payload.
QString wire(const TVRequest &request)
{
    return request.uri + QLatin1Char(' ')
        + QString::fromUtf8(QJsonDocument(request.payload).toJson(QJsonDocument::Compact));
}

} // namespace

class TestSessionValues : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The subscriptions' pushes as fields: every shape the TVs send, and a signal only on a change.
    void mirrorReadsThePushes()
    {
        TVStateMirror mirror;
        QSignalSpy volume(&mirror, &TVStateMirror::volumeChanged);
        QSignalSpy muted(&mirror, &TVStateMirror::mutedChanged);
        mirror.handleVolume(
            json("{\"volumeStatus\":{\"volume\":12,\"muteStatus\":true,\"soundOutput\":\"external_arc\"}}"));
        QCOMPARE(mirror.volume(), 12);
        QCOMPARE(mirror.muted(), true);
        QCOMPARE(mirror.soundOutput(), QStringLiteral("external_arc"));
        // Older firmware: flat, "muted"; a fraction or a wild number is no volume.
        mirror.handleVolume(json("{\"volume\":12,\"muted\":false}"));
        mirror.handleVolume(json("{\"volume\":7.5}"));
        mirror.handleVolume(json("{\"volume\":1e300,\"soundOutput\":\"\"}"));
        QCOMPARE(mirror.volume(), 12);
        QCOMPARE(mirror.muted(), false);
        QCOMPARE(mirror.soundOutput(), QStringLiteral("external_arc"));
        QCOMPARE(volume.size(), 1);
        QCOMPARE(muted.size(), 2);

        mirror.handlePower(json("{\"state\":\"Active Standby\"}"));
        QVERIFY(mirror.powerIsStandby());
        mirror.handlePower(json("{\"state\":5}"));
        QCOMPARE(mirror.powerState(), QString());
        mirror.handleKeyboard(json("{\"currentWidget\":{\"focus\":true}}"));
        mirror.handleKeyboard(json("{\"other\":1}")); // no widget: unchanged
        QCOMPARE(mirror.keyboardFocused(), true);

        // The source's name: an input's label before an app's title, then the TV's own apps.
        QCOMPARE(mirror.sourceName(), QStringLiteral("—"));
        mirror.setInputs({ { "HDMI_1", "Game", "com.webos.app.hdmi1", true } });
        mirror.setApps({ { "com.webos.app.hdmi1", "HDMI 1", std::nullopt }, { "netflix", "Netflix", std::nullopt } });
        mirror.handleForeground(json("{\"appId\":\"com.webos.app.hdmi1\"}"));
        QCOMPARE(mirror.sourceName(), QStringLiteral("Game"));
        mirror.handleForeground(json("{\"appId\":\"netflix\"}"));
        QCOMPARE(mirror.sourceName(), QStringLiteral("Netflix"));
        mirror.handleForeground(json("{\"appId\":\"com.webos.app.livetv\"}"));
        QCOMPARE(mirror.sourceName(), QStringLiteral("电视直播"));
        mirror.handleForeground(json("{\"appId\":\"some.other.app\"}"));
        QCOMPARE(mirror.sourceName(), QStringLiteral("some.other.app"));
    }

    void commandsOnTheWire_data()
    {
        QTest::addColumn<TVRequest>("request");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const TVRequest &request, const char *expected) {
            QTest::newRow(name) << request << QString::fromUtf8(expected);
        };
        // Requests without a payload that the emulator answers in the session and tool tests are
        // not repeated here: a wrong path there fails with "404 no such service or method".
        row("pin", TVCommands::setPin("1234"), "pairing/setPin {\"pin\":\"1234\"}");
        row("set volume", TVCommands::setVolume(42), "audio/setVolume {\"volume\":42}");
        row("mute", TVCommands::setMute(true), "audio/setMute {\"mute\":true}");
        row("text", TVCommands::insertText("héllo \"TV\""),
            "com.webos.service.ime/insertText {\"replace\":false,\"text\":\"héllo \\\"TV\\\"\"}");
        row("launch", TVCommands::launch("netflix"), "system.launcher/launch {\"id\":\"netflix\"}");
        row("launch into", TVCommands::launch("youtube.leanback.v4", "dQw4", QJsonObject { { "t", 30 } }),
            "system.launcher/launch {\"contentId\":\"dQw4\",\"id\":\"youtube.leanback.v4\",\"params\":{\"t\":30}}");
        row("switch input", TVCommands::switchInput("HDMI_2"), "tv/switchInput {\"inputId\":\"HDMI_2\"}");
        row("open channel", TVCommands::openChannel("7-1"), "tv/openChannel {\"channelId\":\"7-1\"}");
        row("open url", TVCommands::openURL("https://a.example/"),
            "system.launcher/open {\"target\":\"https://a.example/\"}");
        row("change output", TVCommands::changeSoundOutput("external_arc"),
            "audio/changeSoundOutput {\"output\":\"external_arc\"}");
        row("toast", TVCommands::createToast("Corvane Remote 已连接"),
            "system.notifications/createToast {\"message\":\"Corvane Remote 已连接\"}");
        // The buttons that stand in for the pointer socket; MUTE toggles what the TV reported.
        row("MUTE while muted", *ButtonRequest::forButton("MUTE", true), "audio/setMute {\"mute\":false}");
        row("ENTER", *ButtonRequest::forButton("ENTER", false), "com.webos.service.ime/sendEnterKey {}");
        row("REWIND", *ButtonRequest::forButton("REWIND", false), "media.controls/rewind {}");
    }

    void commandsOnTheWire()
    {
        QFETCH(TVRequest, request);
        QFETCH(QString, expected);
        QCOMPARE(wire(request), expected);
    }

    void everyListedButtonHasARequest()
    {
        for (const QString &button : ButtonRequest::buttons())
            QVERIFY2(ButtonRequest::forButton(button, false), qPrintable(button));
        QCOMPARE(ButtonRequest::forButton("HOME", false), std::nullopt);
    }

    void listEntriesFromTheTV()
    {
        QCOMPARE(ExternalInput::fromJson(json(
                     "{\"id\":\"HDMI_1\",\"label\":\"Game\",\"appId\":\"com.webos.app.hdmi1\",\"connected\":true}")),
            (ExternalInput { "HDMI_1", "Game", "com.webos.app.hdmi1", true }));
        // Only an id: the label is the id, nothing else.
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":\"AV_1\"}")), (ExternalInput { "AV_1", "AV_1", "", false }));
        // Members of the wrong type count as absent.
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":\"X\",\"label\":5,\"appId\":null,\"connected\":\"yes\"}")),
            (ExternalInput { "X", "X", "", false }));
        QCOMPARE(ExternalInput::fromJson(json("{\"label\":\"no id\"}")), std::nullopt);
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":7}")), std::nullopt);

        // Apps: "largeIcon" before "icon".
        const std::optional<TVApp> both = TVApp::fromJson(
            json("{\"id\":\"a\",\"title\":\"A\",\"largeIcon\":\"http://tv/l.png\",\"icon\":\"http://tv/s.png\"}"));
        QVERIFY(both);
        QCOMPARE(both->icon, std::optional<QUrl>(QUrl("http://tv/l.png")));
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"icon\":\"http://tv/s.png\"}"))->icon,
            std::optional<QUrl>(QUrl("http://tv/s.png")));
        // "largeIcon" present but unusable: "icon" is not consulted.
        QCOMPARE(
            TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"largeIcon\":3,\"icon\":\"http://tv/s.png\"}"))->icon,
            std::nullopt);
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"icon\":\"http://bad host/x.png\"}"))->icon,
            std::nullopt);
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\"}")), std::nullopt);
        QCOMPARE(TVApp::fromJson(json("{\"title\":\"A\"}")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestSessionValues)
#include "test_sessionvalues.moc"
