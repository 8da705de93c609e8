#include "tvservices.h"

#include "tvstate.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QUrl>

namespace {

const QString kVolume = QStringLiteral("audio/getVolume");
const QString kForeground = QStringLiteral("com.webos.applicationManager/getForegroundAppInfo");
const QString kPower = QStringLiteral("com.webos.service.tvpower/power/getPowerState");
const QString kKeyboard = QStringLiteral("com.webos.service.ime/registerRemoteKeyboard");

QJsonObject channelObject(const TVState::Channel &channel)
{
    return QJsonObject { { QStringLiteral("channelId"), channel.id },
        { QStringLiteral("channelNumber"), channel.number }, { QStringLiteral("channelName"), channel.name },
        { QStringLiteral("channelMode"), QStringLiteral("Terrestrial") },
        { QStringLiteral("channelTypeName"), QStringLiteral("Terrestrial Digital TV") },
        { QStringLiteral("Radio"), false } };
}

QString randomHex(int bytes)
{
    QString text;
    for (int i = 0; i < bytes; ++i)
        text += QStringLiteral("%1").arg(QRandomGenerator::global()->bounded(256), 2, 16, QLatin1Char('0'));
    return text;
}

} // namespace

TVServices::TVServices(TVState *state, const QString &resourceBase)
    : m_state(state)
    , m_resourceBase(resourceBase)
{
}

bool TVServices::isVolume(const QString &path)
{
    return path == kVolume || path == QStringLiteral("audio/getStatus");
}

bool TVServices::isForegroundApp(const QString &path)
{
    return path == kForeground;
}

bool TVServices::isPowerState(const QString &path)
{
    return path == kPower;
}

bool TVServices::isKeyboard(const QString &path)
{
    return path == kKeyboard;
}

TVServices::Reply TVServices::ok(QJsonObject payload)
{
    payload.insert(QStringLiteral("returnValue"), true);
    return Reply { false, {}, payload };
}

TVServices::Reply TVServices::badParameters(const QString &text)
{
    return Reply { false, {},
        QJsonObject { { QStringLiteral("returnValue"), false }, { QStringLiteral("errorCode"), -1000 },
            { QStringLiteral("errorText"), text } } };
}

TVServices::Reply TVServices::notFound()
{
    return Reply { true, QStringLiteral("404 no such service or method"), {} };
}

QString TVServices::iconURL(const QString &id, bool large) const
{
    return QStringLiteral("%1/resources/%2/%3")
        .arg(m_resourceBase, id, large ? QStringLiteral("largeIcon.png") : QStringLiteral("icon.png"));
}

QJsonObject TVServices::volumePayload() const
{
    if (m_state->flatVolume())
        return QJsonObject { { QStringLiteral("returnValue"), true },
            { QStringLiteral("scenario"), QStringLiteral("mastervolume_tv_speaker") },
            { QStringLiteral("volume"), m_state->volume() }, { QStringLiteral("muted"), m_state->muted() },
            { QStringLiteral("volumeMax"), 100 } };
    return QJsonObject { { QStringLiteral("returnValue"), true },
        { QStringLiteral("callerId"), QStringLiteral("secondscreen.client") },
        { QStringLiteral("volumeStatus"),
            QJsonObject { { QStringLiteral("activeStatus"), true }, { QStringLiteral("adjustVolume"), true },
                { QStringLiteral("maxVolume"), 100 }, { QStringLiteral("muteStatus"), m_state->muted() },
                { QStringLiteral("volume"), m_state->volume() }, { QStringLiteral("mode"), QStringLiteral("normal") },
                { QStringLiteral("soundOutput"), m_state->soundOutput() } } } };
}

QJsonObject TVServices::volumeChangeReply() const
{
    // Volume commands answer with the level at top level on every firmware.
    QJsonObject reply = volumePayload();
    reply.insert(QStringLiteral("volume"), m_state->volume());
    reply.insert(QStringLiteral("muted"), m_state->muted());
    return reply;
}

QJsonObject TVServices::foregroundAppPayload() const
{
    return QJsonObject { { QStringLiteral("returnValue"), true },
        { QStringLiteral("appId"), m_state->foregroundAppId() }, { QStringLiteral("windowId"), QString() },
        { QStringLiteral("processId"), QString() } };
}

QJsonObject TVServices::powerStatePayload() const
{
    QJsonObject payload { { QStringLiteral("returnValue"), true }, { QStringLiteral("state"), m_state->powerState() } };
    if (m_state->powerState() == QStringLiteral("Active Standby"))
        payload.insert(QStringLiteral("processing"), QStringLiteral("Request Power Off"));
    return payload;
}

QJsonObject TVServices::keyboardPayload() const
{
    QJsonObject widget { { QStringLiteral("focus"), m_state->keyboardFocus() } };
    if (m_state->keyboardFocus()) {
        widget.insert(QStringLiteral("contentType"), QStringLiteral("text"));
        widget.insert(QStringLiteral("cursorVisible"), true);
        widget.insert(QStringLiteral("hasSurroundingText"), !m_state->text().isEmpty());
        widget.insert(QStringLiteral("surroundingTextLength"), int(m_state->text().size()));
        widget.insert(QStringLiteral("hiddenText"), false);
        widget.insert(QStringLiteral("predictionEnabled"), false);
    }
    return QJsonObject { { QStringLiteral("returnValue"), true }, { QStringLiteral("currentWidget"), widget } };
}

TVServices::Reply TVServices::call(const QString &path, const QJsonObject &payload, bool subscribe)
{
    TVState &s = *m_state;
    Reply reply = notFound();
    if (isVolume(path)) {
        reply = Reply { false, {}, volumePayload() };
    } else if (isForegroundApp(path)) {
        reply = Reply { false, {}, foregroundAppPayload() };
    } else if (isPowerState(path)) {
        reply = Reply { false, {}, powerStatePayload() };
    } else if (isKeyboard(path)) {
        reply = Reply { false, {}, keyboardPayload() };
    } else if (path == QStringLiteral("system/getSystemInfo")) {
        reply = ok({ { QStringLiteral("features"),
                         QJsonObject { { QStringLiteral("3d"), false }, { QStringLiteral("dvr"), true } } },
            { QStringLiteral("receiverType"), QStringLiteral("dvb") },
            { QStringLiteral("modelName"), s.options().model },
            { QStringLiteral("programMode"), QStringLiteral("false") } });
    } else if (path == QStringLiteral("com.webos.service.update/getCurrentSWInformation")) {
        const bool classic = s.isClassicFirmware();
        reply = ok({ { QStringLiteral("product_name"), QStringLiteral("webOSTV 23") },
            { QStringLiteral("model_name"), QStringLiteral("HE_DTV_W23O_AFABATAA") },
            { QStringLiteral("sw_type"), QStringLiteral("FIRMWARE") },
            { QStringLiteral("major_ver"), classic ? QStringLiteral("03") : QStringLiteral("33") },
            { QStringLiteral("minor_ver"), classic ? QStringLiteral("21.30") : QStringLiteral("10.05") },
            { QStringLiteral("country"), QStringLiteral("CN") }, { QStringLiteral("device_id"), s.wiredMAC() } });
    } else if (path == QStringLiteral("audio/volumeUp") || path == QStringLiteral("audio/volumeDown")) {
        s.setVolume(s.volume() + (path.endsWith(QStringLiteral("Up")) ? 1 : -1));
        reply = Reply { false, {}, volumeChangeReply() };
    } else if (path == QStringLiteral("audio/setVolume")) {
        const QJsonValue volume = payload.value(QStringLiteral("volume"));
        if (!volume.isDouble())
            return badParameters(QStringLiteral("Invalid parameters: volume must be an integer"));
        s.setVolume(int(volume.toDouble()));
        reply = Reply { false, {}, volumeChangeReply() };
    } else if (path == QStringLiteral("audio/setMute")) {
        const QJsonValue mute = payload.value(QStringLiteral("mute"));
        if (!mute.isBool())
            return badParameters(QStringLiteral("Invalid parameters: mute must be a boolean"));
        s.setMuted(mute.toBool());
        reply = ok({ { QStringLiteral("mute"), s.muted() } });
    } else if (path == QStringLiteral("tv/getExternalInputList")) {
        QJsonArray devices;
        int port = 1;
        for (const TVState::Input &input : s.inputs())
            devices.append(QJsonObject { { QStringLiteral("id"), input.id }, { QStringLiteral("label"), input.label },
                { QStringLiteral("port"), port++ }, { QStringLiteral("appId"), input.appId },
                { QStringLiteral("icon"), iconURL(input.id, false) }, { QStringLiteral("modified"), false },
                { QStringLiteral("subList"), QJsonArray() }, { QStringLiteral("connected"), input.connected },
                { QStringLiteral("favorite"), false } });
        reply = ok({ { QStringLiteral("devices"), devices } });
    } else if (path == QStringLiteral("tv/switchInput")) {
        const QJsonValue id = payload.value(QStringLiteral("inputId"));
        if (!id.isString())
            return badParameters(QStringLiteral("Invalid parameters: inputId is missing"));
        const TVState::Input *input = s.findInput(id.toString());
        if (!input)
            return badParameters(QStringLiteral("Unknown input: %1").arg(id.toString()));
        s.setForegroundAppId(input->appId);
        reply = ok();
    } else if (path == QStringLiteral("com.webos.applicationManager/listLaunchPoints")) {
        QJsonArray points;
        for (const TVState::App &app : s.apps()) {
            QJsonObject point { { QStringLiteral("id"), app.id },
                { QStringLiteral("launchPointId"), app.id + QStringLiteral("_default") },
                { QStringLiteral("title"), app.title }, { QStringLiteral("icon"), iconURL(app.id, false) },
                { QStringLiteral("removable"), !app.id.startsWith(QStringLiteral("com.webos.")) },
                { QStringLiteral("systemApp"), app.id.startsWith(QStringLiteral("com.webos.")) } };
            if (app.hasLargeIcon)
                point.insert(QStringLiteral("largeIcon"), iconURL(app.id, true));
            points.append(point);
        }
        reply = ok({ { QStringLiteral("launchPoints"), points } });
    } else if (path == QStringLiteral("system.launcher/open") && payload.contains(QStringLiteral("target"))) {
        // A web address opens in the browser.
        const QUrl target(payload.value(QStringLiteral("target")).toString(), QUrl::StrictMode);
        const QString scheme = target.scheme();
        if (!target.isValid() || target.host().isEmpty()
            || (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")))
            return badParameters(QStringLiteral("Invalid parameters: target is not a web address"));
        const QString browser = QStringLiteral("com.webos.app.browser");
        s.setWebPage(payload.value(QStringLiteral("target")).toString());
        s.setForegroundAppId(browser);
        reply = ok({ { QStringLiteral("id"), browser }, { QStringLiteral("sessionId"), randomHex(16) } });
    } else if (path == QStringLiteral("system.launcher/launch") || path == QStringLiteral("system.launcher/open")) {
        const QString id = payload.value(QStringLiteral("id")).toString();
        if (id.isEmpty())
            return badParameters(QStringLiteral("Invalid parameters: id is missing"));
        bool known = s.findApp(id) != nullptr;
        for (const TVState::Input &input : s.inputs())
            known = known || input.appId == id;
        if (!known)
            return badParameters(QStringLiteral("App not found: %1").arg(id));
        if (payload.contains(QStringLiteral("params")) && !payload.value(QStringLiteral("params")).isObject())
            return badParameters(QStringLiteral("Invalid parameters: params must be an object"));
        s.setLastLaunch(payload);
        s.setForegroundAppId(id);
        reply = ok({ { QStringLiteral("id"), id }, { QStringLiteral("sessionId"), randomHex(16) } });
    } else if (path == QStringLiteral("com.webos.service.connectionmanager/getinfo")) {
        reply = ok({ { QStringLiteral("isInternetConnectionAvailable"), true },
            { QStringLiteral("wiredInfo"),
                QJsonObject { { QStringLiteral("macAddress"), s.wiredMAC() },
                    { QStringLiteral("state"), QStringLiteral("connected") } } },
            { QStringLiteral("wifiInfo"),
                QJsonObject { { QStringLiteral("macAddress"), s.wifiMAC() },
                    { QStringLiteral("state"), QStringLiteral("disconnected") } } },
            { QStringLiteral("p2pInfo"), QJsonObject { { QStringLiteral("macAddress"), s.wifiMAC() } } } });
    } else if (path == QStringLiteral("com.webos.service.ime/insertText")) {
        const QJsonValue text = payload.value(QStringLiteral("text"));
        if (!text.isString())
            return badParameters(QStringLiteral("Invalid parameters: text is missing"));
        const bool replace = payload.value(QStringLiteral("replace")).toBool();
        s.setText(replace ? text.toString() : s.text() + text.toString());
        reply = ok();
    } else if (path == QStringLiteral("com.webos.service.ime/deleteCharacters")) {
        const int count = payload.value(QStringLiteral("count")).toInt(1);
        s.setText(s.text().left(std::max<qsizetype>(0, s.text().size() - count)));
        reply = ok();
    } else if (path == QStringLiteral("com.webos.service.ime/sendEnterKey")) {
        reply = ok();
    } else if (path.startsWith(QStringLiteral("media.controls/"))) {
        static const QStringList actions { QStringLiteral("play"), QStringLiteral("pause"), QStringLiteral("stop"),
            QStringLiteral("rewind"), QStringLiteral("fastForward") };
        const QString action = path.mid(qsizetype(std::char_traits<char>::length("media.controls/")));
        if (!actions.contains(action))
            return notFound();
        s.setMediaState(action);
        reply = ok();
    } else if (path == QStringLiteral("tv/channelUp") || path == QStringLiteral("tv/channelDown")) {
        s.stepChannel(path.endsWith(QStringLiteral("Up")) ? 1 : -1);
        s.setForegroundAppId(QStringLiteral("com.webos.app.livetv"));
        reply = ok();
    } else if (path == QStringLiteral("tv/getCurrentChannel")) {
        const TVState::Channel *channel = s.currentChannel();
        if (!channel)
            return badParameters(QStringLiteral("There is no channel to watch"));
        reply = ok(channelObject(*channel));
    } else if (path == QStringLiteral("tv/getChannelList")) {
        QJsonArray list;
        for (const TVState::Channel &channel : s.channels())
            list.append(channelObject(channel));
        reply
            = ok({ { QStringLiteral("channelList"), list }, { QStringLiteral("channelListCount"), int(list.size()) } });
    } else if (path == QStringLiteral("tv/openChannel")) {
        const QString id = payload.value(QStringLiteral("channelId")).toString();
        if (!s.findChannel(id))
            return badParameters(QStringLiteral("Invalid parameters: no channel with id '%1'").arg(id));
        s.setCurrentChannel(id);
        s.setForegroundAppId(QStringLiteral("com.webos.app.livetv"));
        reply = ok();
    } else if (path == QStringLiteral("audio/getSoundOutput")) {
        reply = ok({ { QStringLiteral("soundOutput"), s.soundOutput() } });
    } else if (path == QStringLiteral("audio/changeSoundOutput")) {
        const QString output = payload.value(QStringLiteral("output")).toString();
        if (!TVState::soundOutputs().contains(output))
            return badParameters(QStringLiteral("Invalid parameters: unknown sound output '%1'").arg(output));
        s.setSoundOutput(output);
        reply = ok({ { QStringLiteral("method"), QStringLiteral("changeSoundOutput") } });
    } else if (path == QStringLiteral("com.webos.service.tvpower/power/turnOffScreen")
        || path == QStringLiteral("com.webos.service.tvpower/power/turnOnScreen")) {
        if (!s.isOn())
            return badParameters(QStringLiteral("The TV is in standby"));
        s.setPowerState(
            path.endsWith(QStringLiteral("OffScreen")) ? QStringLiteral("Screen Off") : QStringLiteral("Active"));
        reply = ok();
    } else if (path == QStringLiteral("system.notifications/createToast")) {
        const QJsonValue message = payload.value(QStringLiteral("message"));
        if (!message.isString() || message.toString().isEmpty())
            return badParameters(QStringLiteral("Invalid parameters: message is missing"));
        s.addToast(message.toString());
        reply = ok(
            { { QStringLiteral("toastId"), QStringLiteral("com.webos.service.apiadapter-%1").arg(randomHex(4)) } });
    }
    if (subscribe && !reply.isError)
        reply.payload.insert(QStringLiteral("subscribed"), true);
    return reply;
}
