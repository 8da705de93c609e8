#pragma once

#include "tvsimoptions.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The TV's own state: what its services report and change. Every change of a subscribable
// value is announced, so the SSAP side can push it.
class TVState : public QObject {
    Q_OBJECT
public:
    struct App {
        QString id;
        QString title;
        bool hasTextField = false; // the on-screen keyboard takes focus while it is in front
        bool hasLargeIcon = true;
    };
    struct Input {
        QString id;
        QString label;
        QString appId;
        bool connected = false;
    };
    struct Channel {
        QString id;
        QString number;
        QString name;
    };

    explicit TVState(const TVSimOptions &options, QObject *parent = nullptr);

    // Device UUID and client keys live in the state directory.
    bool load(QString *error);

    const TVSimOptions &options() const { return m_options; }
    QString deviceUUID() const { return m_deviceUUID; }
    QString friendlyName() const;
    bool isClassicFirmware() const { return m_options.firmware != QStringLiteral("2026"); }

    bool hasClientKey(const QString &key) const;
    QString issueClientKey();
    QStringList clientKeys() const { return m_clientKeys; }

    QString wiredMAC() const { return m_wiredMAC; }
    QString wifiMAC() const { return m_wifiMAC; }
    QString interfaceMAC() const { return m_interfaceMAC; }
    void setInterfaceMAC(const QString &mac) { m_interfaceMAC = mac; }
    QStringList macs() const; // every MAC a magic packet may name

    QString powerState() const { return m_power; }
    void setPowerState(const QString &state);
    bool isOn() const { return m_power == QStringLiteral("Active") || m_power == QStringLiteral("Screen Off"); }

    int volume() const { return m_volume; }
    bool muted() const { return m_muted; }
    void setVolume(int volume); // clamped to 0..100
    void setMuted(bool muted);
    bool flatVolume() const { return m_volumeShape == QStringLiteral("flat"); }
    QString volumeShape() const { return m_volumeShape; }
    void setVolumeShape(const QString &shape) { m_volumeShape = shape; }

    QString foregroundAppId() const { return m_foregroundAppId; }
    void setForegroundAppId(const QString &appId); // also moves the keyboard focus with the app
    bool keyboardFocus() const { return m_keyboardFocus; }
    void setKeyboardFocus(bool focus);

    // Where sound goes; a change is pushed with the volume, as newer firmware does.
    static const QStringList &soundOutputs();
    QString soundOutput() const { return m_soundOutput; }
    void setSoundOutput(const QString &output);

    const QList<Channel> &channels() const { return m_channels; }
    const Channel *currentChannel() const; // none without channels
    void stepChannel(int step); // through the list, wrapping around
    const Channel *findChannel(const QString &id) const;
    void setCurrentChannel(const QString &id);

    QString webPage() const { return m_webPage; } // the browser's address, "" until one is opened
    void setWebPage(const QString &url) { m_webPage = url; }
    QJsonObject lastLaunch() const { return m_lastLaunch; } // payload of the last launch
    void setLastLaunch(const QJsonObject &payload) { m_lastLaunch = payload; }
    QString text() const { return m_text; }
    void setText(const QString &text) { m_text = text; }
    QString mediaState() const { return m_mediaState; }
    void setMediaState(const QString &state) { m_mediaState = state; }
    QStringList toasts() const { return m_toasts; }
    void addToast(const QString &message) { m_toasts.append(message); }

    const QList<App> &apps() const { return m_apps; }
    const QList<Input> &inputs() const { return m_inputs; }
    const App *findApp(const QString &id) const;
    const Input *findInput(const QString &id) const;

    QJsonObject toJson() const;

signals:
    void volumeChanged();
    void foregroundAppChanged();
    void powerStateChanged();
    void keyboardFocusChanged();

private:
    bool saveClientKeys() const;

    TVSimOptions m_options;
    QString m_deviceUUID;
    QStringList m_clientKeys;
    QString m_wiredMAC;
    QString m_wifiMAC;
    QString m_interfaceMAC;
    QString m_power = QStringLiteral("Active");
    int m_volume = 12;
    bool m_muted = false;
    QString m_volumeShape;
    QString m_foregroundAppId = QStringLiteral("com.webos.app.livetv");
    bool m_keyboardFocus = false;
    QString m_soundOutput = QStringLiteral("tv_speaker");
    QList<Channel> m_channels;
    QString m_channel; // the number of the channel on screen
    QString m_webPage;
    QJsonObject m_lastLaunch;
    QString m_text;
    QString m_mediaState = QStringLiteral("stopped");
    QStringList m_toasts;
    QList<App> m_apps;
    QList<Input> m_inputs;
};
