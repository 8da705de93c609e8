#include "tvcommands.h"

namespace {

TVRequest plain(const char *uri)
{
    return TVRequest { QString::fromLatin1(uri), QJsonObject() };
}

TVRequest with(const char *uri, const QString &key, const QJsonValue &value)
{
    QJsonObject payload;
    payload.insert(key, value);
    return TVRequest { QString::fromLatin1(uri), payload };
}

} // namespace

namespace TVCommands {

TVRequest volume()
{
    return plain("audio/getVolume");
}

TVRequest foregroundAppInfo()
{
    return plain("com.webos.applicationManager/getForegroundAppInfo");
}

TVRequest powerState()
{
    return plain("com.webos.service.tvpower/power/getPowerState");
}

TVRequest remoteKeyboard()
{
    return plain("com.webos.service.ime/registerRemoteKeyboard");
}

TVRequest soundOutput()
{
    return plain("audio/getSoundOutput");
}

TVRequest channelList()
{
    return plain("tv/getChannelList");
}

TVRequest currentChannel()
{
    return plain("tv/getCurrentChannel");
}

TVRequest setPin(const QString &pin)
{
    return with("pairing/setPin", QStringLiteral("pin"), pin);
}

TVRequest systemInfo()
{
    return plain("system/getSystemInfo");
}

TVRequest pointerInputSocket()
{
    return plain("com.webos.service.networkinput/getPointerInputSocket");
}

TVRequest externalInputList()
{
    return plain("tv/getExternalInputList");
}

TVRequest launchPoints()
{
    return plain("com.webos.applicationManager/listLaunchPoints");
}

TVRequest networkInfo()
{
    return plain("com.webos.service.connectionmanager/getinfo");
}

TVRequest volumeUp()
{
    return plain("audio/volumeUp");
}

TVRequest volumeDown()
{
    return plain("audio/volumeDown");
}

TVRequest setVolume(int level)
{
    return with("audio/setVolume", QStringLiteral("volume"), level);
}

TVRequest setMute(bool mute)
{
    return with("audio/setMute", QStringLiteral("mute"), mute);
}

TVRequest channelUp()
{
    return plain("tv/channelUp");
}

TVRequest channelDown()
{
    return plain("tv/channelDown");
}

TVRequest media(const QString &action)
{
    return TVRequest { QStringLiteral("media.controls/") + action, QJsonObject() };
}

TVRequest insertText(const QString &text)
{
    return TVRequest { QStringLiteral("com.webos.service.ime/insertText"),
        QJsonObject { { QStringLiteral("text"), text }, { QStringLiteral("replace"), false } } };
}

TVRequest sendEnterKey()
{
    return plain("com.webos.service.ime/sendEnterKey");
}

TVRequest launch(const QString &appID, const QString &contentID, const QJsonObject &params)
{
    TVRequest request = with("system.launcher/launch", QStringLiteral("id"), appID);
    if (!contentID.isEmpty())
        request.payload.insert(QStringLiteral("contentId"), contentID);
    if (!params.isEmpty())
        request.payload.insert(QStringLiteral("params"), params);
    return request;
}

TVRequest switchInput(const QString &inputID)
{
    return with("tv/switchInput", QStringLiteral("inputId"), inputID);
}

TVRequest openChannel(const QString &channelID)
{
    return with("tv/openChannel", QStringLiteral("channelId"), channelID);
}

TVRequest openURL(const QString &url)
{
    return with("system.launcher/open", QStringLiteral("target"), url);
}

TVRequest changeSoundOutput(const QString &output)
{
    return with("audio/changeSoundOutput", QStringLiteral("output"), output);
}

TVRequest turnScreen(bool on)
{
    return plain(on ? "com.webos.service.tvpower/power/turnOnScreen" : "com.webos.service.tvpower/power/turnOffScreen");
}

TVRequest turnOff()
{
    return plain("system/turnOff");
}

TVRequest createToast(const QString &message)
{
    return with("system.notifications/createToast", QStringLiteral("message"), message);
}

QString servicePath(const QString &uri)
{
    static const QString prefix = QStringLiteral("ssap://");
    return uri.startsWith(prefix) ? uri.mid(prefix.size()) : uri;
}

} // namespace TVCommands
