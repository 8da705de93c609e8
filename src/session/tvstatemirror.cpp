#include "tvstatemirror.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

template <typename T> void TVStateMirror::assign(T &field, const T &value, void (TVStateMirror::*changed)())
{
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)();
}

bool TVStateMirror::powerIsStandby() const
{
    return m_powerState.contains(QLatin1String("Standby")) || m_powerState == QLatin1String("Suspend");
}

QString TVStateMirror::sourceName() const
{
    for (const ExternalInput &input : m_inputs) {
        if (input.appId == m_foregroundAppId)
            return input.label;
    }
    for (const TVApp &app : m_apps) {
        if (app.id == m_foregroundAppId)
            return app.title;
    }
    if (m_foregroundAppId.isEmpty())
        return QStringLiteral("—");
    // Marked for the "TVSession" context the window translates in.
    if (m_foregroundAppId == QLatin1String("com.webos.app.home"))
        return QString::fromUtf8(QT_TRANSLATE_NOOP("TVSession", "主页"));
    if (m_foregroundAppId == QLatin1String("com.webos.app.livetv"))
        return QString::fromUtf8(QT_TRANSLATE_NOOP("TVSession", "电视直播"));
    if (m_foregroundAppId == QLatin1String("com.webos.app.screensaver"))
        return QString::fromUtf8(QT_TRANSLATE_NOOP("TVSession", "屏幕保护"));
    return m_foregroundAppId;
}

QVariantMap TVStateMirror::currentChannelMap() const
{
    return m_currentChannel ? m_currentChannel->toMap() : QVariantMap();
}

void TVStateMirror::handleVolume(const QJsonObject &payload)
{
    const QJsonValue nested = payload.value(QLatin1String("volumeStatus"));
    const QJsonObject status = nested.isObject() ? nested.toObject() : payload;

    const QJsonValue volume = status.value(QLatin1String("volume"));
    if (volume.isDouble()) {
        const double value = volume.toDouble();
        if (std::isfinite(value) && value == std::trunc(value) && std::abs(value) <= std::numeric_limits<int>::max())
            setVolume(static_cast<int>(value));
    }
    const QJsonValue mute = status.contains(QLatin1String("muteStatus")) ? status.value(QLatin1String("muteStatus"))
                                                                         : status.value(QLatin1String("muted"));
    if (mute.isBool())
        setMuted(mute.toBool());
    // Newer firmware names the sound output here, so a change made on the TV shows at once.
    const QJsonValue output = status.value(QLatin1String("soundOutput"));
    if (output.isString() && !output.toString().isEmpty())
        setSoundOutput(output.toString());
}

void TVStateMirror::handleForeground(const QJsonObject &payload)
{
    const QJsonValue appId = payload.value(QLatin1String("appId"));
    setForegroundAppId(appId.isString() ? appId.toString() : QString());
}

void TVStateMirror::handlePower(const QJsonObject &payload)
{
    const QJsonValue state = payload.value(QLatin1String("state"));
    setPowerState(state.isString() ? state.toString() : QString());
}

void TVStateMirror::handleKeyboard(const QJsonObject &payload)
{
    const QJsonValue widget = payload.value(QLatin1String("currentWidget"));
    if (!widget.isObject())
        return;
    const QJsonValue focus = widget.toObject().value(QLatin1String("focus"));
    setKeyboardFocused(focus.isBool() && focus.toBool());
}

void TVStateMirror::setVolume(int volume)
{
    assign(m_volume, volume, &TVStateMirror::volumeChanged);
}

void TVStateMirror::setMuted(bool muted)
{
    assign(m_muted, muted, &TVStateMirror::mutedChanged);
}

void TVStateMirror::setForegroundAppId(const QString &appID)
{
    assign(m_foregroundAppId, appID, &TVStateMirror::foregroundAppIdChanged);
}

void TVStateMirror::setPowerState(const QString &state)
{
    assign(m_powerState, state, &TVStateMirror::powerStateChanged);
}

void TVStateMirror::setKeyboardFocused(bool focused)
{
    assign(m_keyboardFocused, focused, &TVStateMirror::keyboardFocusedChanged);
}

void TVStateMirror::setSoundOutput(const QString &output)
{
    assign(m_soundOutput, output, &TVStateMirror::soundOutputChanged);
}

void TVStateMirror::setInputs(const QList<ExternalInput> &inputs)
{
    assign(m_inputs, inputs, &TVStateMirror::inputsChanged);
}

void TVStateMirror::setApps(const QList<TVApp> &apps)
{
    assign(m_apps, apps, &TVStateMirror::appsChanged);
}

void TVStateMirror::setChannels(const QList<TVChannel> &channels)
{
    assign(m_channels, channels, &TVStateMirror::channelsChanged);
}

void TVStateMirror::setCurrentChannel(const std::optional<TVChannel> &channel)
{
    assign(m_currentChannel, channel, &TVStateMirror::currentChannelChanged);
}
