#pragma once

#include "externalinput.h"
#include "tvapp.h"
#include "tvchannel.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

// The TV's live state as its subscriptions and replies report it, reduced to fields. Pure JSON to
// fields: no socket in sight. Every field notifies only when its value really changes.
class TVStateMirror : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    int volume() const { return m_volume; }
    bool muted() const { return m_muted; }
    QString foregroundAppId() const { return m_foregroundAppId; }
    QString powerState() const { return m_powerState; }
    bool keyboardFocused() const { return m_keyboardFocused; }
    QString soundOutput() const { return m_soundOutput; }
    const QList<ExternalInput> &inputs() const { return m_inputs; }
    const QList<TVApp> &apps() const { return m_apps; }
    const QList<TVChannel> &channels() const { return m_channels; }
    std::optional<TVChannel> currentChannel() const { return m_currentChannel; }

    // The power state names a standby ("Active Standby", "Suspend").
    bool powerIsStandby() const;
    // The input or app in the foreground by its label, a name for the TV's own apps, "—" for none.
    QString sourceName() const;
    // For QML: the current channel {id, number, name}.
    QVariantMap currentChannelMap() const;

    // The subscriptions' pushes.
    void handleVolume(const QJsonObject &payload);
    void handleForeground(const QJsonObject &payload);
    void handlePower(const QJsonObject &payload);
    void handleKeyboard(const QJsonObject &payload);

    void setVolume(int volume);
    void setMuted(bool muted);
    void setForegroundAppId(const QString &appID);
    void setPowerState(const QString &state);
    void setKeyboardFocused(bool focused);
    void setSoundOutput(const QString &output);
    void setInputs(const QList<ExternalInput> &inputs);
    void setApps(const QList<TVApp> &apps);
    void setChannels(const QList<TVChannel> &channels);
    void setCurrentChannel(const std::optional<TVChannel> &channel);

Q_SIGNALS:
    void volumeChanged();
    void mutedChanged();
    void foregroundAppIdChanged();
    void powerStateChanged();
    void keyboardFocusedChanged();
    void soundOutputChanged();
    void inputsChanged();
    void appsChanged();
    void channelsChanged();
    void currentChannelChanged();

private:
    template <typename T> void assign(T &field, const T &value, void (TVStateMirror::*changed)());

    int m_volume = 0;
    bool m_muted = false;
    QString m_foregroundAppId;
    QString m_powerState;
    bool m_keyboardFocused = false;
    QString m_soundOutput;
    QList<ExternalInput> m_inputs;
    QList<TVApp> m_apps;
    QList<TVChannel> m_channels;
    std::optional<TVChannel> m_currentChannel;
};
