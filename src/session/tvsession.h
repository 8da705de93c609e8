#pragma once

#include "autoreconnect.h"
#include "connectionstate.h"
#include "externalinput.h"
#include "tvapp.h"
#include "tvchannel.h"

#include "devicestore.h"
#include "pointerclient.h"
#include "ssapclient.h"
#include "ssdpdiscovery.h"

#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariantList>

#include <QCoro/QCoroTask>

#include <optional>

class Preferences;

// The one controller of the connection to the selected TV: connection state, live TV state
// and every remote action. Lives on the main thread; the window and the MCP tools share it.
// Every observable field notifies only when its value really changes.
class TVSession : public QObject {
    Q_OBJECT
    // Connection state, for the window.
    Q_PROPERTY(ConnectionState::Kind stateKind READ stateKind NOTIFY stateChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY stateChanged)
    Q_PROPERTY(QString stateMessage READ stateMessage NOTIFY stateChanged)
    Q_PROPERTY(bool awaitingPin READ awaitingPin NOTIFY stateChanged)
    Q_PROPERTY(bool isReady READ isReady NOTIFY stateChanged)
    Q_PROPERTY(bool isReconnecting READ isReconnecting NOTIFY reconnectingChanged)
    // Live TV state.
    Q_PROPERTY(int volume READ volume WRITE setVolumeValue NOTIFY volumeChanged)
    Q_PROPERTY(bool muted READ muted NOTIFY mutedChanged)
    Q_PROPERTY(QString foregroundAppId READ foregroundAppId NOTIFY foregroundAppIdChanged)
    Q_PROPERTY(QString powerState READ powerState NOTIFY powerStateChanged)
    Q_PROPERTY(bool keyboardFocused READ keyboardFocused NOTIFY keyboardFocusedChanged)
    Q_PROPERTY(bool isStandby READ isStandby NOTIFY isStandbyChanged)
    Q_PROPERTY(QString currentSourceName READ currentSourceName NOTIFY currentSourceNameChanged)
    // Lists as maps for QML: apps {id, title, icon (text, "" when none)}, inputs {id, label,
    // appId, connected}, discovered {host, uuid, name, model, location}.
    Q_PROPERTY(QVariantList appList READ appList NOTIFY appsChanged)
    Q_PROPERTY(QVariantList inputList READ inputList NOTIFY inputsChanged)
    Q_PROPERTY(QVariantList discoveredList READ discoveredList NOTIFY discoveredChanged)
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool hasClient READ hasClient NOTIFY clientChanged)
    Q_PROPERTY(bool hasPointer READ hasPointer NOTIFY pointerChanged)
    // The TV's reason for refusing remote-control input, once the user's input has met it on
    // this connection; empty otherwise.
    Q_PROPERTY(QString inputRefusal READ inputRefusal NOTIFY inputRefusalChanged)
    Q_PROPERTY(DeviceStore *store READ store CONSTANT)
    // Sound output ("tv_speaker", "external_arc", …; "" until known) and live TV channels as maps
    // {id, number, name}; currentChannel is an empty map while unknown.
    Q_PROPERTY(QString soundOutput READ soundOutput NOTIFY soundOutputChanged)
    Q_PROPERTY(QVariantList channelList READ channelList NOTIFY channelsChanged)
    Q_PROPERTY(QVariantMap currentChannel READ currentChannelMap NOTIFY currentChannelChanged)

public:
    // Waits of the wake loop, ensureConnected, the keepalive and the background reconnect; the
    // defaults are the real values, tests shorten them.
    struct Timings {
        double keepaliveInterval = 5.0; // a ping on each socket while ready
        double keepaliveTimeout = 10.0; // silence after which a socket counts as closed
        AutoReconnect::Timings reconnect = {};
        double scanSeconds = 3.0; // how long a discovery scan listens for answers
        double wakePause = 3.0; // before each wake attempt
        double wakePoll = 0.2; // while an attempt is connecting
        int wakeAttempts = 10;
        double ensurePoll = 0.1; // ensureConnected
        int moveFlushMs = 16; // pointer motion coalescing
        double selfTestWaitScale = 1.0; // factor on every wait of the self-test
    };

    // What became of a button press or click. Without an error it reached the TV: as a frame
    // that went out on an open pointer socket, or as the button's own request, answered. refused:
    // the TV refused the pointer socket and the input has no request of its own; the error then
    // carries the TV's reason.
    struct InputOutcome {
        std::optional<SSAPError> error;
        bool refused = false;
    };

    explicit TVSession(DeviceStore &store, Preferences &preferences, QObject *parent = nullptr);
    ~TVSession() override;

    DeviceStore *store() const { return &m_store; }
    void setTimings(const Timings &timings)
    {
        m_timings = timings;
        applyTimings();
    }
    const Timings &timings() const { return m_timings; }
    // The arp program learnMAC asks about the TV (a path that is not executable: /proc/net/arp).
    void setARPProgram(const QString &program) { m_arpProgram = program; }

    // ---- connection lifecycle
    ConnectionState state() const { return m_state; }
    ConnectionState::Kind stateKind() const { return m_state.kind(); }
    QString statusText() const { return m_state.statusText(); }
    QString stateMessage() const { return m_state.message(); }
    bool awaitingPin() const;
    bool isReady() const { return m_state.kind() == ConnectionState::Kind::Ready; }

    Q_INVOKABLE void connect(const QString &deviceID, bool usePin = false);
    Q_INVOKABLE void disconnect();
    QCoro::Task<void> ensureConnected(double timeout); // throws SSAPError
    Q_INVOKABLE void wake();
    Q_INVOKABLE void submitPin(const QString &pin);
    // Background attempts after a connection was lost without the user asking.
    bool isReconnecting() const;
    void reconnectNow(); // the network came back or the system resumed

    // ---- live state
    int volume() const { return m_volume; }
    void setVolumeValue(int volume); // the slider writes the field while dragging; sends nothing
    bool muted() const { return m_muted; }
    QString foregroundAppId() const { return m_foregroundAppId; }
    QString powerState() const { return m_powerState; }
    bool keyboardFocused() const { return m_keyboardFocused; }
    const QList<TVApp> &apps() const { return m_apps; }
    const QList<ExternalInput> &inputs() const { return m_inputs; }
    const QList<SSDPDiscovery::Found> &discovered() const { return m_discovered; }
    bool isScanning() const { return m_isScanning; }
    bool isStandby() const;
    QString currentSourceName() const;

    SSAPClient *client() const { return m_client; }
    PointerClient *pointer() const { return m_pointer; }
    bool hasClient() const { return m_client != nullptr; }
    bool hasPointer() const { return m_pointer != nullptr; }
    QString inputRefusal() const { return m_inputRefusal; }
    // The TV's reason when it refused the pointer socket on the current connection.
    std::optional<QString> pointerRefusal() const;

    QCoro::Task<std::optional<SSAPError>> connectPointer(); // why no pointer was installed
    QCoro::Task<void> refreshInputs();
    QCoro::Task<void> refreshApps();
    QCoro::Task<void> learnMAC();
    QCoro::Task<std::optional<QImage>> icon(const QUrl &url);
    std::optional<QImage> cachedIcon(const QUrl &url) const;

    QVariantList appList() const;
    QVariantList inputList() const;
    QVariantList discoveredList() const;

    // ---- remote actions (return at once; failures are logged, never thrown to the window)
    Q_INVOKABLE void press(const QString &button);
    Q_INVOKABLE void click();
    Q_INVOKABLE void move(double dx, double dy);
    Q_INVOKABLE void scroll(int steps); // pointer scroll dx 0, dy steps; only with a pointer
    Q_INVOKABLE void volumeUp();
    Q_INVOKABLE void volumeDown();
    Q_INVOKABLE void setVolume();
    Q_INVOKABLE void setMute(bool mute);
    Q_INVOKABLE void insertText(const QString &text);
    void launch(const TVApp &app);
    void switchInput(const ExternalInput &input);
    Q_INVOKABLE void launchApp(const QString &appID); // the app with that id, if listed
    Q_INVOKABLE void switchToInput(const QString &inputID); // the input with that id, if listed
    Q_INVOKABLE void powerOff();
    Q_INVOKABLE void refreshLists(); // refreshInputs() then refreshApps(), not awaited
    Q_INVOKABLE void startScan(); // scan(), not awaited
    QCoro::Task<QJsonObject> request(const QString &uri, const QJsonObject &payload = {}); // throws
    QCoro::Task<void> scan();

    // The awaitable forms the MCP tools and the self-test use.
    QCoro::Task<InputOutcome> pressAsync(const QString &button);
    QCoro::Task<InputOutcome> clickAsync();
    QCoro::Task<void> setMuteAsync(bool mute);

    // ---- sound output, screen, channels, web pages and launching into content. The awaitable
    // forms throw SSAPError carrying the TV's reason (the MCP tools show it); the Q_INVOKABLE
    // forms are the window's: they return at once and log a failure, like the actions above.
    QString soundOutput() const { return m_soundOutput; }
    const QList<TVChannel> &channels() const { return m_channels; }
    std::optional<TVChannel> currentChannel() const { return m_currentChannel; }
    QVariantList channelList() const;
    QVariantMap currentChannelMap() const;
    static bool isWebAddress(const QString &url); // http or https with a host: all a TV may open
    QCoro::Task<QString> readSoundOutput(); // "audio/getSoundOutput"
    QCoro::Task<void> changeSoundOutput(QString output);
    QCoro::Task<void> turnScreen(bool on); // the picture only; sound keeps playing while it is off
    QCoro::Task<QList<TVChannel>> readChannels();
    QCoro::Task<TVChannel> readCurrentChannel();
    QCoro::Task<void> openChannel(TVChannel channel); // by its id
    QCoro::Task<void> openURL(QString url); // in the TV's browser; callers check isWebAddress
    // "system.launcher/launch" with the content id and parameters when given.
    QCoro::Task<void> launchInto(TVApp app, QString contentId, QJsonObject params);
    Q_INVOKABLE void refreshSoundOutput();
    Q_INVOKABLE void selectSoundOutput(const QString &output);
    Q_INVOKABLE void screenOff();
    Q_INVOKABLE void screenOn();
    Q_INVOKABLE void refreshChannels(); // the list and the current channel
    Q_INVOKABLE void tuneChannel(const QString &channelID); // a listed channel
    Q_INVOKABLE void openWebPage(const QString &url); // nothing unless isWebAddress
    Q_INVOKABLE void launchContent(const QString &appID, const QString &contentId, const QVariantMap &params);

Q_SIGNALS:
    void stateChanged();
    void volumeChanged();
    void mutedChanged();
    void foregroundAppIdChanged();
    void powerStateChanged();
    void keyboardFocusedChanged();
    void isStandbyChanged();
    void currentSourceNameChanged();
    void appsChanged();
    void inputsChanged();
    void discoveredChanged();
    void isScanningChanged();
    void clientChanged();
    void pointerChanged();
    void reconnectingChanged();
    void inputRefusalChanged();
    void soundOutputChanged();
    void channelsChanged();
    void currentChannelChanged();

private:
    class Private;
    friend class Private;

    template <typename T> bool assign(T &field, const T &value, void (TVSession::*changed)());
    void setState(const ConnectionState &state);
    void setPowerStateValue(const QString &value);
    void setForegroundAppIdValue(const QString &value);
    void setMutedValue(bool value);
    void setKeyboardFocusedValue(bool value);
    void setInputs(const QList<ExternalInput> &inputs);
    void setApps(const QList<TVApp> &apps);
    void setDiscovered(const QList<SSDPDiscovery::Found> &found);
    void setScanning(bool scanning);
    void updateDerived();

    bool isCurrent(const QPointer<SSAPClient> &client) const { return client && m_client == client; }
    void dropPointer();
    void dropClient();
    void handleClientClosed(SSAPClient *closing, const std::optional<SSAPError> &error);
    // Who started a connection attempt: the user (or an agent), the wake loop, the reconnect.
    enum class Attempt { User, Wake, Reconnect };

    void failConnection(const QPointer<SSAPClient> &client, const SSAPError &error,
        const std::optional<TVDevice> &relocate = std::nullopt);
    QCoro::Task<void> findMovedTV(TVDevice device, bool background);
    void endConnection(SSAPClient *closing, const std::optional<SSAPError> &error);
    void dropConnection();
    void connectionLost(bool duringReconnect);
    void reconnectAttempt();
    void checkAlive();
    void notePowerOff(const QString &uri);
    void applyTimings() { m_reconnect->setTimings(m_timings.reconnect); }
    static QCoro::Task<bool> readModel(QPointer<SSAPClient> client, TVDevice &device);
    void storePairing(const TVDevice &copy, bool modelChanged);
    void storeMAC(const QString &deviceID, const QString &mac);

    void startConnection(const QString &deviceID, bool usePin, Attempt attempt);
    QCoro::Task<void> runConnection(TVDevice device, bool usePin, Attempt attempt);
    QCoro::Task<void> afterRegistration(QPointer<SSAPClient> client);
    QCoro::Task<std::optional<QJsonArray>> fetchObjectList(QString uri, QString member);
    QCoro::Task<void> wakeLoop(QString deviceID, QString host, QString mac, quint64 generation);
    QCoro::Task<std::optional<SSAPError>> ensurePointer();
    QCoro::Task<InputOutcome> pointerInput(QString button, bool click);
    QCoro::Task<void> showRefusal(QCoro::Task<InputOutcome> input);
    void showInputRefusal(const QString &reason);
    void forgetStaleRefusal();
    QCoro::Task<void> flushMove();
    QCoro::Task<void> refreshBoth();
    void sendOneWay(const QString &uri, const QJsonObject &payload);

    void handleVolume(const QJsonObject &payload);
    void handleForeground(const QJsonObject &payload);
    void handlePower(const QJsonObject &payload);
    void handleKeyboard(const QJsonObject &payload);

    DeviceStore &m_store;
    Preferences &m_preferences;
    Timings m_timings;
    QString m_arpProgram;

    ConnectionState m_state;
    int m_volume = 0;
    bool m_muted = false;
    QList<ExternalInput> m_inputs;
    QList<TVApp> m_apps;
    QString m_foregroundAppId;
    QString m_powerState;
    bool m_keyboardFocused = false;
    QList<SSDPDiscovery::Found> m_discovered;
    bool m_isScanning = false;
    QPointer<SSAPClient> m_client;
    QPointer<PointerClient> m_pointer;
    QPointer<SSAPClient> m_pointerRefusedBy; // the connection whose TV refused the pointer socket
    QString m_pointerRefusal; // and its reason
    QString m_inputRefusal;
    double m_pendingMoveX = 0;
    double m_pendingMoveY = 0;
    bool m_moveScheduled = false;
    QHash<QUrl, QImage> m_iconCache;
    QPointer<SSAPClient> m_pairingClient; // its connection sequence has not reached ready yet
    std::optional<SSAPError> m_pairingCloseError; // set when that client's socket ended meanwhile
    quint64 m_wakeGeneration = 0; // a newer wake() ends the older wake loop
    QPointer<SSAPClient> m_wakeAttemptClient; // the attempt a running wake loop is watching
    QPointer<SSAPClient> m_reconnectAttemptClient; // the attempt of the background reconnect
    AutoReconnect *m_reconnect;
    QTimer m_keepalive;
    bool m_ownPowerOff = false; // we sent "system/turnOff" on this connection
    bool m_lastStandby = false; // derived values as last announced
    QString m_lastSourceName;
    QString m_soundOutput;
    QList<TVChannel> m_channels;
    std::optional<TVChannel> m_currentChannel;
};
