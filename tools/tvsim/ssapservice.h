#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class Certificates;
class FaultSettings;
class MessageLog;
class QWebSocket;
class QWebSocketServer;
class SSAPConnection;
class TVServices;
class TVState;
class TraceReplay;

// The TV's second-screen service: a TLS WebSocket server on ADDRESS:3001 carrying the SSAP
// connections and the pointer sockets (same port, paths handed out by getPointerInputSocket).
class SSAPService : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 port = 3001;

    SSAPService(const QHostAddress &address, const Certificates *certificates, TVState *state, TVServices *services,
        FaultSettings *faults, MessageLog *log, QObject *parent = nullptr);
    ~SSAPService() override;

    bool startListening(QString *error);
    // Stops accepting; open sockets are closed cleanly (standby) or dropped at once.
    void stopListening();
    bool isListening() const;
    void closeAll(bool abort);

    int connectionCount() const;
    int pointerConnectionCount() const;
    bool pairingPending() const;
    QString openPin() const; // the PIN of an open PIN pairing, or empty
    int answerPairing(bool accept); // answers every open pairing; returns how many there were
    void pushOdd(const QString &kind, int mebibytes = 5); // "notjson" | "array" | "binary" | "intid" | "huge"

    // Used by the connections.
    TVState *state() const { return m_state; }
    TVServices *services() const { return m_services; }
    FaultSettings *faults() const { return m_faults; }
    MessageLog *log() const { return m_log; }
    TraceReplay *replay() const { return m_replay; } // null unless replaying a trace
    void setReplay(TraceReplay *replay) { m_replay = replay; }
    QString newPointerSocketPath(); // full wss URL

signals:
    void turnOffRequested();

private:
    void onNewConnection();
    void onPointerMessage(QWebSocket *socket, const QString &text);
    void pushVolume();
    void pushForegroundApp();
    void pushPowerState();
    void pushKeyboard();

    QHostAddress m_address;
    const Certificates *m_certificates;
    TVState *m_state;
    TVServices *m_services;
    FaultSettings *m_faults;
    MessageLog *m_log;
    TraceReplay *m_replay = nullptr;
    QWebSocketServer *m_server = nullptr;
    QList<QPointer<SSAPConnection>> m_connections;
    QList<QPointer<QWebSocket>> m_pointerSockets;
    QSet<QString> m_pointerPaths;
};
