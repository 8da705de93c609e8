#pragma once

#include "autoreconnect.h"
#include "connectionstate.h"
#include "devicestore.h"
#include "sessiontimings.h"
#include "ssapclient.h"
#include "wakeloop.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

class PointerInput;
class TVStateMirror;

// The connection to the selected TV: connecting and pairing, the keepalive, the background
// reconnect, the wake loop and following a TV that moved to another address.
class TVConnection : public QObject {
    Q_OBJECT

public:
    // relocationScan: one discovery scan (after any running one) that updates the store's hosts.
    TVConnection(DeviceStore &store, TVStateMirror &mirror, PointerInput &pointer, const SessionTimings &timings,
        std::function<QCoro::Task<void>()> relocationScan, QObject *parent = nullptr);
    ~TVConnection() override;

    // Fails whatever still waits on the client and ends the wake loop, while the owner is whole.
    void shutDown();

    const ConnectionState &state() const { return m_state; }
    bool isReady() const { return m_state.kind() == ConnectionState::Kind::Ready; }
    SSAPClient *client() const { return m_client; }
    bool isReconnecting() const { return m_reconnect->isActive(); }

    void connect(const QString &deviceID, bool usePin);
    void disconnect();
    QCoro::Task<void> ensureConnected(double timeout); // throws SSAPError
    void wake();
    void submitPin(const QString &pin);
    void reconnectNow();
    // A TV we switched off stays off: its closing connection is not brought back.
    void notePowerOff(const QString &uri);

Q_SIGNALS:
    void stateChanged();
    void clientChanged();
    void reconnectingChanged();
    // Pairing is done and the state is ready: the connection's first steps run now.
    void registered(SSAPClient *client);

private:
    // Who started a connection attempt: the user (or an agent), the wake loop, the reconnect.
    enum class Attempt { User, Wake, Reconnect };

    bool isCurrent(const QPointer<SSAPClient> &client) const { return client && m_client == client; }
    void setState(const ConnectionState &state);
    void dropClient();
    void handleClientClosed(SSAPClient *closing, const std::optional<SSAPError> &error);
    void failConnection(const QPointer<SSAPClient> &client, const SSAPError &error,
        const std::optional<TVDevice> &relocate = std::nullopt);
    QCoro::Task<void> findMovedTV(TVDevice device, bool background);
    void endConnection(SSAPClient *closing, const std::optional<SSAPError> &error);
    void dropConnection();
    void connectionLost(bool duringReconnect);
    void reconnectAttempt();
    void checkAlive();
    static QCoro::Task<bool> readModel(QPointer<SSAPClient> client, TVDevice &device);
    void storePairing(const TVDevice &copy, bool modelChanged);
    std::optional<TVDevice> selectedRecord() const;

    void startConnection(const QString &deviceID, bool usePin, Attempt attempt);
    QCoro::Task<void> runConnection(TVDevice device, bool usePin, Attempt attempt);

    DeviceStore &m_store;
    TVStateMirror &m_mirror;
    PointerInput &m_pointer;
    const SessionTimings m_timings;
    std::function<QCoro::Task<void>()> m_relocationScan;

    ConnectionState m_state;
    QPointer<SSAPClient> m_client;
    QPointer<SSAPClient> m_pairingClient; // its connection sequence has not reached ready yet
    std::optional<SSAPError> m_pairingCloseError; // set when that client's socket ended meanwhile
    QString m_wakeDeviceID; // the TV the wake loop powers on
    QPointer<SSAPClient> m_wakeAttemptClient; // the attempt a running wake loop is watching
    QPointer<SSAPClient> m_reconnectAttemptClient; // the attempt of the background reconnect
    AutoReconnect *m_reconnect;
    WakeLoop *m_wakeLoop;
    QTimer m_keepalive;
    bool m_ownPowerOff = false; // we sent "system/turnOff" on this connection
};
