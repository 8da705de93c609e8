#pragma once

#include "connectionstate.h"
#include "externalinput.h"
#include "pointerinput.h"
#include "sessiontimings.h"
#include "tvactions.h"
#include "tvapp.h"
#include "tvcatalogue.h"
#include "tvchannel.h"
#include "tvcommands.h"
#include "tvconnection.h"
#include "tvstatemirror.h"

#include "devicestore.h"
#include "pointerclient.h"
#include "ssapclient.h"
#include "tvscanner.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <QCoro/QCoroTask>

#include <optional>

// The one controller of the connection to the selected TV: connection state, live TV state
// and every remote action. Lives on the main thread; the window and the MCP tools share it.
// A façade over its parts: the connection, the state mirror, pointer input, the catalogue and
// the actions. Every observable field notifies only when its value really changes.
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
    // The program's discovery scans; the session's own use is finding a TV that moved.
    Q_PROPERTY(TVScanner *scanner READ scanner CONSTANT)
    Q_PROPERTY(bool hasClient READ hasClient NOTIFY clientChanged)
    Q_PROPERTY(bool hasPointer READ hasPointer NOTIFY pointerChanged)
    // The TV's reason for refusing remote-control input, once the user's input has met it on
    // this connection; empty otherwise.
    Q_PROPERTY(QString inputRefusal READ inputRefusal NOTIFY inputRefusalChanged)
    Q_PROPERTY(DeviceStore *store READ store CONSTANT)
    // Sound output ("tv_speaker", "external_arc", …; "" until known) and the live TV channel as a
    // map {id, number, name}, empty while unknown.
    Q_PROPERTY(QString soundOutput READ soundOutput NOTIFY soundOutputChanged)
    Q_PROPERTY(QVariantMap currentChannel READ currentChannelMap NOTIFY currentChannelChanged)

public:
    using Timings = SessionTimings;
    using InputOutcome = PointerInput::Outcome;

    TVSession(DeviceStore &store, TVScanner &scanner, const Timings &timings = {}, QObject *parent = nullptr);
    ~TVSession() override;

    DeviceStore *store() const { return &m_store; }
    TVScanner *scanner() const { return &m_scanner; }
    const Timings &timings() const { return m_timings; }
    // The arp program learnMAC asks about the TV (a path that is not executable: /proc/net/arp).
    void setARPProgram(const QString &program) { m_catalogue->setARPProgram(program); }

    // ---- connection lifecycle
    ConnectionState state() const { return m_connection->state(); }
    ConnectionState::Kind stateKind() const { return state().kind(); }
    QString statusText() const { return state().statusText(); }
    QString stateMessage() const { return state().message(); }
    bool awaitingPin() const;
    bool isReady() const { return m_connection->isReady(); }

    Q_INVOKABLE void connect(const QString &deviceID, bool usePin = false);
    Q_INVOKABLE void disconnect();
    QCoro::Task<void> ensureConnected(double timeout); // throws SSAPError
    Q_INVOKABLE void wake();
    Q_INVOKABLE void submitPin(const QString &pin);
    // Background attempts after a connection was lost without the user asking.
    bool isReconnecting() const;
    void reconnectNow(); // the network came back or the system resumed

    // ---- live state
    TVStateMirror *mirror() const { return m_mirror; }
    int volume() const { return m_mirror->volume(); }
    void setVolumeValue(int volume); // the slider writes the field while dragging; sends nothing
    bool muted() const { return m_mirror->muted(); }
    QString foregroundAppId() const { return m_mirror->foregroundAppId(); }
    QString powerState() const { return m_mirror->powerState(); }
    bool keyboardFocused() const { return m_mirror->keyboardFocused(); }
    const QList<TVApp> &apps() const { return m_mirror->apps(); }
    const QList<ExternalInput> &inputs() const { return m_mirror->inputs(); }
    bool isStandby() const;
    QString currentSourceName() const;

    SSAPClient *client() const { return m_connection->client(); }
    PointerClient *pointer() const { return m_pointerInput->pointer(); }
    bool hasClient() const { return client() != nullptr; }
    bool hasPointer() const { return pointer() != nullptr; }
    QString inputRefusal() const { return m_pointerInput->inputRefusal(); }
    // The TV's reason when it refused the pointer socket on the current connection.
    std::optional<QString> pointerRefusal() const { return m_pointerInput->pointerRefusal(); }
    bool moveScheduled() const { return m_pointerInput->moveScheduled(); }

    QCoro::Task<std::optional<SSAPError>> connectPointer(); // why no pointer was installed
    QCoro::Task<void> refreshInputs();
    QCoro::Task<void> refreshApps();
    QCoro::Task<void> learnMAC();
    QCoro::Task<std::optional<QByteArray>> icon(const QUrl &url); // the bytes; the window decodes them
    std::optional<QByteArray> cachedIcon(const QUrl &url) const;

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
    QCoro::Task<QJsonObject> request(const QString &uri, const QJsonObject &payload = {}); // throws
    QCoro::Task<QJsonObject> request(TVRequest command); // throws

    // The awaitable forms the MCP tools and the self-test use.
    QCoro::Task<InputOutcome> pressAsync(const QString &button);
    QCoro::Task<InputOutcome> clickAsync();
    QCoro::Task<void> setMuteAsync(bool mute);

    // ---- sound output, screen, channels, web pages and launching into content. The awaitable
    // forms throw SSAPError carrying the TV's reason (the MCP tools show it); the Q_INVOKABLE
    // forms are the window's: they return at once and log a failure, like the actions above.
    QString soundOutput() const { return m_mirror->soundOutput(); }
    const QList<TVChannel> &channels() const { return m_mirror->channels(); }
    std::optional<TVChannel> currentChannel() const { return m_mirror->currentChannel(); }
    QVariantMap currentChannelMap() const { return m_mirror->currentChannelMap(); }
    static bool isWebAddress(const QString &url) { return TVActions::isWebAddress(url); }
    QCoro::Task<QString> readSoundOutput(); // "audio/getSoundOutput"
    QCoro::Task<void> changeSoundOutput(QString output);
    QCoro::Task<void> turnScreen(bool on); // the picture only; sound keeps playing while it is off
    QCoro::Task<QList<TVChannel>> readChannels();
    QCoro::Task<TVChannel> readCurrentChannel();
    QCoro::Task<void> openChannel(TVChannel channel); // by its id
    QCoro::Task<void> openURL(QString url); // in the TV's browser; callers check isWebAddress
    // "system.launcher/launch" with the content id and parameters when given.
    QCoro::Task<void> launchInto(TVApp app, QString contentID, QJsonObject params);
    Q_INVOKABLE void refreshSoundOutput();
    Q_INVOKABLE void selectSoundOutput(const QString &output);
    Q_INVOKABLE void screenOff();
    Q_INVOKABLE void screenOn();
    Q_INVOKABLE void refreshChannels(); // the list and the current channel
    Q_INVOKABLE void tuneChannel(const QString &channelID); // a listed channel
    Q_INVOKABLE void openWebPage(const QString &url); // nothing unless isWebAddress
    Q_INVOKABLE void launchContent(const QString &appID, const QString &contentID, const QVariantMap &params);

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
    void clientChanged();
    void pointerChanged();
    void reconnectingChanged();
    void inputRefusalChanged();
    void soundOutputChanged();
    void channelsChanged();
    void currentChannelChanged();
    // A new connection has taken its first steps: pointer, subscriptions, lists and MAC.
    void connectionSettled();

private:
    void updateDerived();
    QCoro::Task<void> afterRegistration(QPointer<SSAPClient> client);
    QCoro::Task<void> refreshBoth();

    DeviceStore &m_store;
    TVScanner &m_scanner;
    const Timings m_timings;

    TVStateMirror *m_mirror;
    PointerInput *m_pointerInput;
    TVConnection *m_connection = nullptr;
    TVCatalogue *m_catalogue;
    TVActions *m_actions;

    bool m_lastStandby = false; // derived values as last announced
    QString m_lastSourceName;
};
