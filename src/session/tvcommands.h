#pragma once

#include <QJsonObject>
#include <QString>

// One request to the TV's SSAP service: its path and payload, as sent.
struct TVRequest {
    QString uri;
    QJsonObject payload;

    bool operator==(const TVRequest &) const = default;
};

// The TV's command vocabulary: every request the session, the self-test and the MCP tools send
// is written here once.
namespace TVCommands {

// Subscriptions and reads of the live state.
TVRequest volume();
TVRequest foregroundAppInfo();
TVRequest powerState();
TVRequest remoteKeyboard();
TVRequest soundOutput();
TVRequest channelList();
TVRequest currentChannel();

// Connection and catalogue.
TVRequest setPin(const QString &pin);
TVRequest systemInfo();
TVRequest pointerInputSocket();
TVRequest externalInputList();
TVRequest launchPoints();
TVRequest networkInfo();

// Actions.
TVRequest volumeUp();
TVRequest volumeDown();
TVRequest setVolume(int level);
TVRequest setMute(bool mute);
TVRequest channelUp();
TVRequest channelDown();
TVRequest media(const QString &action); // "play", "pause", "stop", "rewind", "fastForward"
TVRequest insertText(const QString &text);
TVRequest sendEnterKey();
// contentID and params are sent only when given.
TVRequest launch(const QString &appID, const QString &contentID = {}, const QJsonObject &params = {});
TVRequest switchInput(const QString &inputID);
TVRequest openChannel(const QString &channelID);
TVRequest openURL(const QString &url);
TVRequest changeSoundOutput(const QString &output);
TVRequest turnScreen(bool on); // the picture only
TVRequest turnOff();
TVRequest createToast(const QString &message);

// A URI as the log shows it: the service path, without "ssap://".
QString servicePath(const QString &uri);

} // namespace TVCommands
